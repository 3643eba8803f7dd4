// The macro engine's trace switch, for programs without the macro room.
#include "macro/macro.h"

int macroVerbose;
