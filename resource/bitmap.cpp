// Drawing of the resource image's bitmap records: plain and transparent ones through the blits of
// the drawing core, compressed ones through its bitmap methods (which obey the clip rectangle).
#include "resource/bitmap.h"

#include "base/console.h"
#include "gfx/blit.h"
#include "gfx/gui.h"

// The scan-line wait of the panel services, when they are part of the build.
__attribute__((weak)) void wvr(int row);

namespace {

bool plain(const ExtRecord *r, GUI_PIXELS16 *p) {
    const ExtBitmap *o = QV_BitmapObject(r);
    const uint8_t *data = QV_BitmapPixels(r);
    if (!o || !data) return false;
    *p = GUI_PIXELS16{data, o->XSize, o->YSize, o->BytesPerLine};
    return true;
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
    GUI_PIXELS16 p;
    if (!plain(r, &p)) return 0;
    GUI_BlitArea(p, x, y, x, y, (int64_t)x + p.w - 1, (int64_t)y + p.h - 1, true, transparent);
    return 1;
}

int QV_DrawBitmap(const ExtRecord *r, int x, int y) {
    if (!r) return 0;
    if (r->type == RES_RLE_BITMAP) return QV_DrawCompressedBitmap(r, x, y);
    if (r->type == RES_TRANS_BITMAP) return QV_DrawBitmapTr(r, x, y, QV_BitmapTransparent(r));
    GUI_PIXELS16 p;
    if (!plain(r, &p)) return 0;
    GUI_BITMAP bm = {(uint16_t)p.w, (uint16_t)p.h, (uint16_t)p.bpl,       16,
                     p.data,        nullptr,       &GUI_BitmapMethodsM565};
    GUI_DrawBitmap(&bm, x, y);
    return 1;
}

void QV_WaitScanPast(int row) {
    if (wvr) wvr(row);
}

int QV_DrawBitmapW(const ExtRecord *r, int x, int y) {
    QV_WaitScanPast(y + QV_BitmapHeight(r));
    return QV_DrawBitmap(r, x, y);
}

int QV_DrawBitmapClipAbs(const ExtRecord *r, int x, int y, int x0, int y0, int x1, int y1) {
    GUI_PIXELS16 p;
    if (!cornersInOrder(x, y, x0, y0, x1, y1) || !plain(r, &p)) return 0;
    GUI_BlitArea(p, x, y, x0, y0, x1, y1, false, 0);
    return 1;
}

int QV_DrawBitmapTrClipAbs(const ExtRecord *r, int x, int y, int x0, int y0, int x1, int y1,
                           uint16_t transparent) {
    GUI_PIXELS16 p;
    if (!cornersInOrder(x, y, x0, y0, x1, y1) || !plain(r, &p)) return 0;
    GUI_BlitArea(p, x, y, x0, y0, x1, y1, true, transparent);
    return 1;
}

int QV_DrawBitmapCutOff(const ExtRecord *r, int x, int y, int xOffset, int yOffset, int xEnd, int yEnd) {
    GUI_PIXELS16 p;
    if (!plain(r, &p)) return 0;
    const int64_t ox = (int64_t)x - xOffset, oy = (int64_t)y - yOffset;
    GUI_BlitArea(p, ox, oy, x, y, (int64_t)x + ((int64_t)xEnd - xOffset) - 1,
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
