// Text functions of the graphics library (the entry points are declared in gfx/gui.h).
#pragma once

#include <stdint.h>

#include "gfx/gui.h"

// Wrap modes of GUI_DispStringInRectWrap.
enum : int32_t { GUI_WRAPMODE_NONE = 0, GUI_WRAPMODE_WORD = 1, GUI_WRAPMODE_CHAR = 2 };

// The next character code of a text of at most *left bytes in the current encoding (0 at the end);
// advances the text and counts down *left.
uint16_t GUI__NextChar(const char **text, int32_t *left);
