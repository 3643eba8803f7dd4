// The stored-bitmap commands "xi", "xit", "xim", "xic" and "xio". Positions are relative to the
// drawing origin, which is added first.
#include <stdio.h>

#include "base/console.h"
#include "base/parse.h"
#include "board/services/timer.h"
#include "gfx/gfx_state.h"
#include "gfx/gif_decode.h"
#include "gfx/gui.h"
#include "resource/bitmap.h"
#include "resource/resource.h"

__attribute__((weak)) void wvr(int row);

// Coordinates far off the screen behave like any off-screen coordinate; the cut keeps sums in range.
static int cut(int v) {
    return v < -100000 ? -100000 : v > 100000 ? 100000 : v;
}

int cmd_xi(char *line) {
    int n, x, y;
    if (sscanf(line, "xi %d%d%d", &n, &x, &y) != 3) return CMD_FAIL;
    const ExtRecord *r = QV_GetExtBitmap(n);
    if (r) {
        QV_DrawBitmap(r, Origin_X + cut(x), Origin_Y + cut(y));
        return CMD_OK;
    }
    // A GIF record: every frame in turn, each shown for its delay.
    uint32_t size = 0;
    const uint8_t *gif = QV_GetExtGIF(n, &size);
    GUI_GIF_INFO info;
    if (!gif || GUI_GIF_GetInfo(gif, size, &info) != 0) return CMD_FAIL; // no later form takes the line
    for (int32_t k = 0; k < info.NumImages; k++) {
        GUI_GIF_DrawSub(gif, size, Origin_X + cut(x), Origin_Y + cut(y), k);
        GUI_GIF_IMAGE_INFO frame;
        if (GUI_GIF_GetImageInfo(gif, size, &frame, k) == 0 && frame.Delay > 0)
            QV_Delay((uint32_t)frame.Delay * 10);
    }
    return CMD_OK;
}

int cmd_xit(char *line) {
    int n, x, y;
    unsigned t;
    if (sscanf(line, "xit %d%d%d%x", &n, &x, &y, &t) != 4) return CMD_FAIL;
    return QV_DrawBitmapTr(QV_GetExtBitmap(n), Origin_X + cut(x), Origin_Y + cut(y), (uint16_t)t) ? CMD_OK
                                                                                                  : CMD_FAIL;
}

int cmd_xim(char *line) {
    int n, x, y;
    if (sscanf(line, "xim %d%d%d", &n, &x, &y) != 3) return CMD_FAIL;
    const ExtRecord *r = QV_GetExtBitmap(n);
    if (!r) return CMD_FAIL;
    const int left = Origin_X + cut(x) - QV_BitmapWidth(r) / 2;
    const int top = Origin_Y + cut(y) - QV_BitmapHeight(r) / 2;
    if (left < 0 || top < 0) {
        perr(":argument error\r");
        return CMD_FAIL;
    }
    QV_DrawBitmap(r, left, top);
    return CMD_OK;
}

int cmd_xic(char *line) {
    int n, x, y, cx0, cy0, cx1, cy1;
    if (sscanf(line, "xic %d%d%d%d%d%d%d", &n, &x, &y, &cx0, &cy0, &cx1, &cy1) != 7) return CMD_FAIL;
    const ExtRecord *r = QV_GetExtBitmap(n);
    if (!r) return CMD_FAIL;
    x = Origin_X + cut(x);
    y = Origin_Y + cut(y);
    const int x0 = x + cut(cx0), y0 = y + cut(cy0), x1 = x + cut(cx1), y1 = y + cut(cy1);
    switch (r->type) {
    case RES_RLE_BITMAP: {
        if (x0 < x || y0 < y || x1 < x0 || y1 < y0) return CMD_FAIL;
        GUI_RECT saved, rect = {x0, y0, x1, y1};
        GUI_GetClipRect(&saved);
        GUI_SetClipRect(&rect);
        QV_DrawCompressedBitmap(r, x, y);
        GUI_SetClipRect(&saved);
        return CMD_OK;
    }
    case RES_TRANS_BITMAP:
        return QV_DrawBitmapTrClipAbs(r, x, y, x0, y0, x1, y1, QV_BitmapTransparent(r)) ? CMD_OK : CMD_FAIL;
    case RES_BITMAP:
        return QV_DrawBitmapClipAbs(r, x, y, x0, y0, x1, y1) ? CMD_OK : CMD_FAIL;
    default:
        return CMD_FAIL;
    }
}

// One band of a plain bitmap: direction non-zero a vertical band of `length` columns from `offset`,
// zero a horizontal band of `length` rows, drawn with its corner at (x, y).
int cmd_xio(char *line) {
    int n, x, y, direction, length, offset;
    if (sscanf(line, "xio %d%d%d%d%d%d", &n, &x, &y, &direction, &length, &offset) != 6) return CMD_FAIL;
    const ExtRecord *r = QV_GetExtBitmap(n);
    if (!r) {
        perr(":invalid bitmap\r");
        return CMD_FAIL;
    }
    if (!screenCompressedBitmap(r)) return CMD_FAIL;
    if (r->type == RES_TRANS_BITMAP) {
        perr(":transparency not supported\r");
        perr(":invalid bitmap\r");
        return CMD_FAIL;
    }
    x = Origin_X + cut(x);
    y = Origin_Y + cut(y);
    length = cut(length);
    offset = cut(offset);
    const int w = QV_BitmapWidth(r), h = QV_BitmapHeight(r);
    if (wvr) wvr(direction ? y + h - 1 : y + offset + length - 1);
    if (direction)
        QV_DrawBitmapCutOff(r, x, y, offset, 0, offset + length, h);
    else
        QV_DrawBitmapCutOff(r, x, y, 0, offset, w, offset + length);
    return CMD_OK;
}
