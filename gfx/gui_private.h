// Inside the graphics library: the frame buffer, clipped runs, and the span sink that lets a shape be
// drawn into a coverage mask first, so that XOR mode inverts every pixel of a shape exactly once.
#pragma once

#include "gfx/gui.h"

// ---- frame buffer ---------------------------------------------------------------------------------------
extern LCD_PIXELINDEX *LCD__pVRAM;
extern int32_t LCD__XSize, LCD__YSize;

// Fills n 16-bit values from dst with one value, writing 32 bits at a time where aligned.
void LCD__Fill16(LCD_PIXELINDEX *dst, uint32_t n, LCD_PIXELINDEX value);
// Inverts n 16-bit values from dst.
void LCD__Xor16(LCD_PIXELINDEX *dst, uint32_t n);

// Runs in screen coordinates, clipped to the clip rectangle, in the current draw mode and colour.
void LCD__HLine(int32_t x0, int32_t x1, int32_t y);
void LCD__FillRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void LCD__FillRectIndex(int32_t x0, int32_t y0, int32_t x1, int32_t y1, LCD_PIXELINDEX index);
// The index a primitive draws with: the foreground, or the background in reverse mode.
static inline LCD_PIXELINDEX LCD__DrawIndex(void) {
    return (GUI_Context.DrawMode & GUI_DRAWMODE_REV) ? GUI_Context.BkColorIndex : GUI_Context.ColorIndex;
}
// True when the clipped rectangle (screen coordinates) is empty; otherwise narrows it.
bool LCD__ClipRect(int32_t *x0, int32_t *y0, int32_t *x1, int32_t *y1);

// ---- the span sink -------------------------------------------------------------------------------------
// Primitives emit horizontal runs in screen coordinates (the logical origin already taken off).
// Normally they go straight to the frame buffer; between GUI__MaskBegin and GUI__MaskEnd they are
// collected in a one-bit mask of the shape's box and inverted once at the end.
void GUI__Span(int32_t x0, int32_t x1, int32_t y);
// Starts a mask for a shape that may cover pixels more than once, when the draw mode is XOR.
// Returns 1 when a mask was started (the box is in screen coordinates). Without a mask the shape is
// drawn directly.
int GUI__MaskBegin(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void GUI__MaskEnd(int started);

// Logical to screen coordinates.
static inline int32_t GUI__SX(int32_t x) {
    return x - GUI_Context.OrgX;
}
static inline int32_t GUI__SY(int32_t y) {
    return y - GUI_Context.OrgY;
}

// ---- shared rasterisers (screen coordinates) -------------------------------------------------------------
// A one-pixel line with the current line style; skip_last leaves out the end point.
void GUI__Line1(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int skip_last);
// A line of the current pen size, shape and style.
void GUI__LineWide(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// The pen's dot centred on (x, y).
void GUI__Dot(int32_t x, int32_t y, int32_t size, uint8_t shape);
// Fills a polygon with vertices in 1/256 pixel (pixel centres at whole values): a pixel belongs to it
// when its centre is inside by the non-zero winding rule, edges on the left and top included.
void GUI__FillPolyFixed(const int32_t *xs, const int32_t *ys, int32_t n);
// The closed or open chain of segments of a point list, with the pen (mask handled by the caller).
void GUI__Chain(const GUI_POINT *points, int32_t count, int32_t x, int32_t y, int closed);

// Deterministic sine and cosine in double precision (same bits on every target).
void GUI__SinCos(double a, double *s, double *c);
// Integer square root, floor.
uint32_t GUI__ISqrt64(uint64_t v);
