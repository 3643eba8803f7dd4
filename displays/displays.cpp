// Data displays. Empty until their issue lands.
#include "displays/displays.h"

void QV_Chart_Init(void) {}
void QV_LevelBar_Init(void) {}
