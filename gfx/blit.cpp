// Blits of 16-bit frame-buffer pixels: rows are copied straight into the frame buffer, clamped once
// to the pixel block, the screen and the clip rectangle, so that buttons and sliders can redraw
// between two panel scans.
#include "gfx/blit.h"

#include <string.h>

#include "gfx/gui.h"
#include "gfx/pixel_copy.h"

namespace {

// A 16-bit pixel of the image, which stores them little-endian like both targets.
inline uint16_t pixel(const uint8_t *row, size_t i) {
    uint16_t v;
    memcpy(&v, row + 2 * i, 2);
    return v;
}

int64_t max64(int64_t a, int64_t b) {
    return a > b ? a : b;
}
int64_t min64(int64_t a, int64_t b) {
    return a < b ? a : b;
}

} // namespace

void GUI_BlitArea(const GUI_PIXELS16 &p, int64_t ox, int64_t oy, int64_t ax0, int64_t ay0, int64_t ax1,
                  int64_t ay1, bool trans, uint16_t t) {
    GUI_RECT clip;
    GUI_GetClipRect(&clip);
    ax0 = max64(max64(ax0, ox), max64(clip.x0, 0));
    ay0 = max64(max64(ay0, oy), max64(clip.y0, 0));
    ax1 = min64(min64(ax1, ox + p.w - 1), min64(clip.x1, LCD_GetXSize() - 1));
    ay1 = min64(min64(ay1, oy + p.h - 1), min64(clip.y1, LCD_GetYSize() - 1));
    if (ax0 > ax1 || ay0 > ay1) return;
    LCD_PIXELINDEX *fb = LCD_GetFrameBuffer();
    const int32_t stride = LCD_GetXSize();
    const size_t n = (size_t)(ax1 - ax0 + 1);
    for (int64_t y = ay0; y <= ay1; y++) {
        const uint8_t *src = p.data + (y - oy) * p.bpl + (ax0 - ox) * 2;
        LCD_PIXELINDEX *dst = fb + y * stride + ax0;
        if (!trans) {
            GUI__CopyPixels16(dst, src, n);
            continue;
        }
        // Runs of pixels to keep are copied whole between the transparent ones.
        for (size_t i = 0; i < n;) {
            while (i < n && pixel(src, i) == t) i++;
            size_t j = i;
            while (j < n && pixel(src, j) != t) j++;
            GUI__CopyPixels16(dst + i, src + 2 * i, j - i);
            i = j;
        }
    }
}
