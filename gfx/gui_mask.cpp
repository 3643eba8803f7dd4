// The span sink. Shapes made of several parts (outlines of polygons, wide lines with their caps,
// filled polygons with their edges) may touch a pixel twice; in XOR mode that would cancel it. Such
// shapes collect their runs in a one-bit mask of their box, taken from the memory pool, and invert
// each covered pixel once at the end. Without pool memory they are drawn directly.
#include <string.h>

#include "gfx/gui_private.h"

static struct {
    uint8_t *bits;
    int32_t x0, y0, x1, y1; // the box, inside the clip rectangle
    int32_t stride;         // bytes per mask row
    int active;
} mask;

static void maskSetRun(uint8_t *row, int32_t a, int32_t b) { // bits a..b of the row
    int32_t ba = a >> 3, bb = b >> 3;
    uint8_t first = (uint8_t)(0xFF >> (a & 7));
    uint8_t last = (uint8_t)(0xFF << (7 - (b & 7)));
    if (ba == bb) {
        row[ba] |= first & last;
        return;
    }
    row[ba] |= first;
    if (bb - ba > 1) memset(row + ba + 1, 0xFF, (size_t)(bb - ba - 1));
    row[bb] |= last;
}

void GUI__Span(int32_t x0, int32_t x1, int32_t y) {
    if (!mask.active) {
        LCD__HLine(x0, x1, y);
        return;
    }
    if (y < mask.y0 || y > mask.y1) return;
    if (x0 < mask.x0) x0 = mask.x0;
    if (x1 > mask.x1) x1 = mask.x1;
    if (x0 > x1) return;
    maskSetRun(mask.bits + (y - mask.y0) * mask.stride, x0 - mask.x0, x1 - mask.x0);
}

int GUI__MaskBegin(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (!(GUI_Context.DrawMode & GUI_DRAWMODE_XOR) || mask.active) return 0;
    if (LCD__ClipRect(&x0, &y0, &x1, &y1)) return 0; // nothing visible: direct drawing clips it all
    int32_t stride = ((x1 - x0) >> 3) + 1;
    uint32_t size = (uint32_t)(stride * (y1 - y0 + 1));
    uint8_t *bits = (uint8_t *)GUI_ALLOC_Alloc(size);
    if (!bits) return 0;
    memset(bits, 0, size);
    mask.bits = bits;
    mask.x0 = x0;
    mask.y0 = y0;
    mask.x1 = x1;
    mask.y1 = y1;
    mask.stride = stride;
    mask.active = 1;
    return 1;
}

void GUI__MaskEnd(int started) {
    if (!started) return;
    mask.active = 0;
    int32_t w = mask.x1 - mask.x0 + 1;
    for (int32_t y = mask.y0; y <= mask.y1; y++) {
        const uint8_t *row = mask.bits + (y - mask.y0) * mask.stride;
        int32_t x = 0;
        while (x < w) {
            if (row[x >> 3] == 0 && (x & 7) == 0) { // skip empty bytes
                x += 8;
                continue;
            }
            if (!(row[x >> 3] & (0x80 >> (x & 7)))) {
                x++;
                continue;
            }
            int32_t start = x;
            while (x < w && row[x >> 3] == 0xFF && (x & 7) == 0) x += 8;
            while (x < w && (row[x >> 3] & (0x80 >> (x & 7)))) x++;
            LCD__HLine(mask.x0 + start, mask.x0 + x - 1, y);
        }
    }
    GUI_ALLOC_Free(mask.bits);
    mask.bits = nullptr;
}
