// Rectangles, clearing, pixels and points.
#include "gfx/gui_private.h"
#include "gfx/pixel_copy.h"

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

// Block move: whole rows of the frame buffer at a time. The destination is cut to the clip
// rectangle and the source to the screen; rows are walked against the direction of the move so
// that an overlapping source is read before it is overwritten.
void GUI_MoveRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t dx, int32_t dy) {
    order(&x0, &x1);
    order(&y0, &y1);
    x0 = GUI__SX(x0) + dx;
    x1 = GUI__SX(x1) + dx;
    y0 = GUI__SY(y0) + dy;
    y1 = GUI__SY(y1) + dy;
    if (LCD__ClipRect(&x0, &y0, &x1, &y1)) return;
    // The source rows and columns that lie off the screen are not moved.
    if (x0 - dx < 0) x0 = dx;
    if (x1 - dx > LCD__XSize - 1) x1 = LCD__XSize - 1 + dx;
    if (y0 - dy < 0) y0 = dy;
    if (y1 - dy > LCD__YSize - 1) y1 = LCD__YSize - 1 + dy;
    if (x0 > x1 || y0 > y1) return;
    size_t pixels = (size_t)(x1 - x0 + 1);
    int32_t stride = LCD__XSize;
    LCD_PIXELINDEX *dst = LCD__pVRAM + y0 * stride + x0, *src = dst - dy * stride - dx;
    int32_t rows = y1 - y0 + 1;
    if (dy > 0) {
        dst += (rows - 1) * stride;
        src += (rows - 1) * stride;
        stride = -stride;
    }
    for (int32_t r = 0; r < rows; r++, dst += stride, src += stride) GUI__MovePixels16(dst, src, pixels);
}
