// Arguments of the control and setting commands: numbers and colour words taken one token at a time
// from a line; and the plain number reply of a setting's query form.
#pragma once

#include <stdint.h>

#include "gfx/gui.h"

// The next decimal number after blanks; false (and *p unchanged) when there is none or the token
// does not end at a blank or the end of the line.
bool nextNumber(char **p, int32_t *value);
// The next colour word (3 or 6 hexadecimal digits) as a library colour; false when missing or invalid.
bool nextColour(char **p, GUI_COLOR *colour);
// True when nothing but blanks is left.
bool atEnd(const char *p);
// Moves the rectangle by the drawing origin; true when it then lies on the screen, else the
// out-of-bounds message has been sent.
bool areaFromOrigin(int32_t *x0, int32_t *y0, int32_t *x1, int32_t *y1);
// Replies the number and a CR.
void replyNumber(long v);
