// Drawing of the resource image's bitmaps. Plain and transparent pixels are 16-bit frame-buffer
// values: rows are copied straight into the frame buffer, clamped once to the bitmap, the screen and
// the clip rectangle, so that buttons and sliders can redraw between two panel scans.
#include "storage/bitmap.h"

#include <string.h>

#include "gfx/gui.h"
#include "serial/serial.h"

// The scan-line wait of the panel services, when they are part of the build.
__attribute__((weak)) void wvr(int row);

namespace {

struct Pixels {
    const uint8_t *data;
    int32_t w, h, bpl;
};

bool plain(const ExtRecord *r, Pixels *p) {
    const ExtBitmap *o = QV_BitmapObject(r);
    const uint8_t *data = QV_BitmapPixels(r);
    if (!o || !data) return false;
    *p = Pixels{data, o->XSize, o->YSize, o->BytesPerLine};
    return true;
}

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

// Copies the bitmap whose pixel (0, 0) lands on screen point (ox, oy) into the screen area
// ax0..ax1, ay0..ay1, cut to the bitmap, the screen and the clip rectangle. With `trans`, pixels
// equal to t are left alone.
void copyArea(const Pixels &p, int64_t ox, int64_t oy, int64_t ax0, int64_t ay0, int64_t ax1, int64_t ay1,
              bool trans, uint16_t t) {
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
            memcpy(dst, src, n * 2);
            continue;
        }
        // Runs of pixels to keep are copied whole between the transparent ones.
        for (size_t i = 0; i < n;) {
            while (i < n && pixel(src, i) == t) i++;
            size_t j = i;
            while (j < n && pixel(src, j) != t) j++;
            memcpy(dst + i, src + 2 * i, (j - i) * 2);
            i = j;
        }
    }
}

bool cornersInOrder(int x, int y, int x0, int y0, int x1, int y1) {
    return x0 >= x && y0 >= y && x1 >= x0 && y1 >= y0;
}

} // namespace

int QV_DrawCompressedBitmap(const ExtRecord *r, int x, int y) {
    const ExtBitmap *o = QV_BitmapObject(r);
    const uint8_t *stream = QV_BitmapStream(r);
    if (!o || !stream) return 0;
    GUI_BITMAP bm = {o->XSize, o->YSize, o->BytesPerLine, 16, stream, nullptr, &GUI_BitmapMethodsRLEM16};
    GUI_DrawBitmap(&bm, x, y);
    return 1;
}

int QV_DrawBitmapTr(const ExtRecord *r, int x, int y, uint16_t transparent) {
    Pixels p;
    if (!plain(r, &p)) return 0;
    copyArea(p, x, y, x, y, (int64_t)x + p.w - 1, (int64_t)y + p.h - 1, true, transparent);
    return 1;
}

int QV_DrawBitmap(const ExtRecord *r, int x, int y) {
    if (!r) return 0;
    if (r->type == RES_RLE_BITMAP) return QV_DrawCompressedBitmap(r, x, y);
    if (r->type == RES_TRANS_BITMAP) return QV_DrawBitmapTr(r, x, y, QV_BitmapTransparent(r));
    Pixels p;
    if (!plain(r, &p)) return 0;
    GUI_BITMAP bm = {(uint16_t)p.w, (uint16_t)p.h, (uint16_t)p.bpl,       16,
                     p.data,        nullptr,       &GUI_BitmapMethodsM565};
    GUI_DrawBitmap(&bm, x, y);
    return 1;
}

int QV_DrawBitmapW(const ExtRecord *r, int x, int y) {
    if (wvr) wvr(y + QV_BitmapHeight(r));
    return QV_DrawBitmap(r, x, y);
}

int QV_DrawBitmapClipAbs(const ExtRecord *r, int x, int y, int x0, int y0, int x1, int y1) {
    Pixels p;
    if (!cornersInOrder(x, y, x0, y0, x1, y1) || !plain(r, &p)) return 0;
    copyArea(p, x, y, x0, y0, x1, y1, false, 0);
    return 1;
}

int QV_DrawBitmapTrClipAbs(const ExtRecord *r, int x, int y, int x0, int y0, int x1, int y1,
                           uint16_t transparent) {
    Pixels p;
    if (!cornersInOrder(x, y, x0, y0, x1, y1) || !plain(r, &p)) return 0;
    copyArea(p, x, y, x0, y0, x1, y1, true, transparent);
    return 1;
}

int QV_DrawBitmapCutOff(const ExtRecord *r, int x, int y, int xOffset, int yOffset, int xEnd, int yEnd) {
    Pixels p;
    if (!plain(r, &p)) return 0;
    const int64_t ox = (int64_t)x - xOffset, oy = (int64_t)y - yOffset;
    copyArea(p, ox, oy, x, y, (int64_t)x + ((int64_t)xEnd - xOffset) - 1,
             (int64_t)y + ((int64_t)yEnd - yOffset) - 1, false, 0);
    return 1;
}

int screenCompressedBitmap(const ExtRecord *r) {
    if (r && r->type == RES_RLE_BITMAP) {
        perr(":bitmap must be uncompressed\r");
        return 0;
    }
    return 1;
}
