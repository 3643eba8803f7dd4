// Scrolling text boxes: ten log windows. Lines are added at the bottom (the box scrolls up when
// full) or at the top (it scrolls down); each box draws with the graphics state it was defined in.
// Text is not kept: a line scrolled out is gone.
#pragma once

#include <stdint.h>

#include "gfx/gfx_state.h"

enum { SCROLL_BOXES = 10 };

struct ScrollTextBox {
    int32_t state;          // -1 not defined, 0 defined
    int32_t x0, y0, x1, y1; // the text area: whole rows and columns, centred in the given rectangle
    int32_t rows, columns;
    int32_t lineHeight, charWidth;
    int32_t shown; // lines shown, 0..rows
    GraphicsState gs;
    int16_t align;
};

extern ScrollTextBox stbCommon[SCROLL_BOXES];

void STB_InitScrollTB_Resources(void);
// Type 0 only, with a fixed-pitch current font, room for 2 rows and 1 column; rectangle relative to
// the origin. Clears the area in the background colour. 1, or 0 when refused.
int STB_DefineScrollTB(int box, int type, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
int STB_AppendScrollTB(int box, const char *text);
int STB_PrependScrollTB(int box, const char *text);
int STB_ClearScrollTB(int box);
int STB_QueryScrollTB(int box, int32_t *rows, int32_t *columns, int32_t *a, int32_t *b);
