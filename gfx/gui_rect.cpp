// Rectangles, clearing, pixels and points.
#include "gfx/gui_private.h"

static void order(int32_t *a, int32_t *b) {
    if (*a > *b) {
        int32_t t = *a;
        *a = *b;
        *b = t;
    }
}

void GUI_FillRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    order(&x0, &x1);
    order(&y0, &y1);
    LCD__FillRect(GUI__SX(x0), GUI__SY(y0), GUI__SX(x1), GUI__SY(y1));
}

void GUI_ClearRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    order(&x0, &x1);
    order(&y0, &y1);
    LCD__FillRectIndex(GUI__SX(x0), GUI__SY(y0), GUI__SX(x1), GUI__SY(y1), GUI_Context.BkColorIndex);
}

void GUI_Clear(void) {
    GUI_GotoXY(0, 0);
    LCD__FillRectIndex(0, 0, LCD__XSize - 1, LCD__YSize - 1, GUI_Context.BkColorIndex);
}

// Top and bottom rows whole, the sides without the corners: each pixel once, so XOR is safe.
void GUI_DrawRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    order(&x0, &x1);
    order(&y0, &y1);
    GUI_DrawHLine(y0, x0, x1);
    if (y1 == y0) return;
    GUI_DrawHLine(y1, x0, x1);
    if (y1 - y0 < 2) return;
    GUI_DrawVLine(x0, y0 + 1, y1 - 1);
    if (x1 != x0) GUI_DrawVLine(x1, y0 + 1, y1 - 1);
}

void GUI_DrawPixel(int32_t x, int32_t y) {
    x = GUI__SX(x);
    LCD__HLine(x, x, GUI__SY(y));
}

void GUI_DrawPoint(int32_t x, int32_t y) {
    GUI__Dot(GUI__SX(x), GUI__SY(y), GUI_Context.PenSize, GUI_Context.PenShape);
}
