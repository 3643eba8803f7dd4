// Level bars: empty until they are built.
#include "displays/displays.h"

void QV_LevelBar_Init(void) {}
