// The macro argument store: the argument text of each control's press and release macro, in 100
// slots over an 8000-byte area that is only ever emptied as a whole.
#pragma once

#include <stdint.h>

enum : int { ARG_SLOTS = 100, ARG_STORE_BYTES = 8000 };

// kind: 0 press, anything else release. 1 when stored; 0 (after a message) when it does not fit.
int assignMacroArgs(int id, int kind, const char *text);
const char *getMacroArgs(int id, int kind); // null when none
void releaseMacroArgs(int id, int kind);
void clearMacroArgStore(void);
int getMacroArgBytesAvailable(void);
