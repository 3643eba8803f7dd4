// Bitmap objects: the five methods tables and palette bitmaps. Rows are clipped once and written
// straight into the frame buffer; 16-bit rows in the frame-buffer layout are copied whole.
#include "gfx/gui_private.h"
#include "gfx/pixel_copy.h"

struct Clip {
    int32_t x0, y0, x1, y1; // visible part in screen coordinates
};

static bool clipBitmap(int32_t x0, int32_t y0, int32_t xs, int32_t ys, Clip *c) {
    c->x0 = x0;
    c->y0 = y0;
    c->x1 = x0 + xs - 1;
    c->y1 = y0 + ys - 1;
    return xs > 0 && ys > 0 && !LCD__ClipRect(&c->x0, &c->y0, &c->x1, &c->y1);
}

static inline uint32_t rd16(const uint8_t *p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}
// Blue-high 5-6-5 to the frame-buffer layout: the same as converting through the colour value.
static inline LCD_PIXELINDEX swap565(uint32_t v) {
    return (LCD_PIXELINDEX)(((v & 0x1F) << 11) | (v & 0x7E0) | ((v >> 11) & 0x1F));
}

// ---- 16 bits per pixel, uncompressed
// ------------------------------------------------------------------------
static void drawM565(int32_t x0, int32_t y0, int32_t xs, int32_t ys, int32_t bpl, const uint8_t *data,
                     const GUI_LOGPALETTE *) {
    Clip c;
    if (!clipBitmap(x0, y0, xs, ys, &c)) return;
    uint32_t n = (uint32_t)(c.x1 - c.x0 + 1);
    bool xorMode = GUI_Context.DrawMode & GUI_DRAWMODE_XOR;
#if GUI_WIDE_VECTORS
    if (!xorMode && GUI__WideVectors()) { // all rows in one call
        GUI__CopyRows16Wide(LCD__pVRAM + c.y0 * LCD__XSize + c.x0, (size_t)LCD__XSize * 2,
                            data + (c.y0 - y0) * bpl + (c.x0 - x0) * 2, (size_t)bpl, n,
                            (size_t)(c.y1 - c.y0 + 1));
        return;
    }
#endif
    for (int32_t y = c.y0; y <= c.y1; y++) {
        LCD_PIXELINDEX *dst = LCD__pVRAM + y * LCD__XSize + c.x0;
        if (xorMode)
            LCD__Xor16(dst, n);
        else
            GUI__CopyPixels16(dst, data + (y - y0) * bpl + (c.x0 - x0) * 2, n);
    }
}

static void draw565(int32_t x0, int32_t y0, int32_t xs, int32_t ys, int32_t bpl, const uint8_t *data,
                    const GUI_LOGPALETTE *) {
    Clip c;
    if (!clipBitmap(x0, y0, xs, ys, &c)) return;
    int32_t n = c.x1 - c.x0 + 1;
    bool xorMode = GUI_Context.DrawMode & GUI_DRAWMODE_XOR;
    for (int32_t y = c.y0; y <= c.y1; y++) {
        LCD_PIXELINDEX *dst = LCD__pVRAM + y * LCD__XSize + c.x0;
        if (xorMode) {
            LCD__Xor16(dst, (uint32_t)n);
            continue;
        }
        const uint8_t *src = data + (y - y0) * bpl + (c.x0 - x0) * 2;
        for (int32_t i = 0; i < n; i++, src += 2) dst[i] = swap565(rd16(src));
    }
}

// ---- run-length streams
// ------------------------------------------------------------------------------------------ Packets: N
// (1..255) then one pixel: N copies; 0, M, then M pixels (M = 0: 256). Packets run on from one row into the
// next; the stream ends when every row is filled.
struct RleState {
    int32_t x0, y0, xs, ys;
    Clip c;
    int32_t row, col;
    bool trans, xorMode;
};

static void rleRun(RleState &s, int32_t n, LCD_PIXELINDEX v, bool zero) {
    while (n > 0 && s.row < s.ys) {
        int32_t k = s.xs - s.col < n ? s.xs - s.col : n;
        int32_t y = s.y0 + s.row;
        if (!(s.trans && zero) && y >= s.c.y0 && y <= s.c.y1) {
            int32_t a = s.x0 + s.col, b = a + k - 1;
            if (a < s.c.x0) a = s.c.x0;
            if (b > s.c.x1) b = s.c.x1;
            if (a <= b) {
                LCD_PIXELINDEX *dst = LCD__pVRAM + y * LCD__XSize + a;
                if (s.xorMode)
                    LCD__Xor16(dst, (uint32_t)(b - a + 1));
                else
                    LCD__Fill16(dst, (uint32_t)(b - a + 1), v);
            }
        }
        s.col += k;
        n -= k;
        if (s.col == s.xs) {
            s.col = 0;
            s.row++;
        }
    }
}

static inline void rlePixel(RleState &s, LCD_PIXELINDEX v, bool zero) {
    int32_t x = s.x0 + s.col, y = s.y0 + s.row;
    if (!(s.trans && zero) && x >= s.c.x0 && x <= s.c.x1 && y >= s.c.y0 && y <= s.c.y1) {
        LCD_PIXELINDEX *dst = LCD__pVRAM + y * LCD__XSize + x;
        *dst = s.xorMode ? (LCD_PIXELINDEX)(*dst ^ 0xFFFF) : v;
    }
    if (++s.col == s.xs) {
        s.col = 0;
        s.row++;
    }
}

static bool rleStart(RleState &s, int32_t x0, int32_t y0, int32_t xs, int32_t ys) {
    s.x0 = x0;
    s.y0 = y0;
    s.xs = xs;
    s.ys = ys;
    s.row = s.col = 0;
    s.trans = GUI_Context.DrawMode & GUI_DRAWMODE_TRANS;
    s.xorMode = GUI_Context.DrawMode & GUI_DRAWMODE_XOR;
    return clipBitmap(x0, y0, xs, ys, &s.c);
}

template <bool Swap>
static void drawRLE16(int32_t x0, int32_t y0, int32_t xs, int32_t ys, int32_t, const uint8_t *p,
                      const GUI_LOGPALETTE *) {
    RleState s;
    if (!rleStart(s, x0, y0, xs, ys)) return;
    int32_t lastRow = s.c.y1 - y0; // rows below the clip rectangle need not be decoded
    while (s.row < ys && s.row <= lastRow) {
        uint32_t n = *p++;
        if (n) {
            uint32_t raw = rd16(p);
            p += 2;
            rleRun(s, (int32_t)n, Swap ? swap565(raw) : (LCD_PIXELINDEX)raw, raw == 0);
        } else {
            uint32_t m = *p++;
            if (m == 0) m = 256;
            for (; m && s.row < ys; m--, p += 2) {
                uint32_t raw = rd16(p);
                rlePixel(s, Swap ? swap565(raw) : (LCD_PIXELINDEX)raw, raw == 0);
            }
        }
    }
}

// Frame-buffer indices of a palette (no palette: index 0 is the background, others the foreground).
static int32_t paletteIndices(const GUI_LOGPALETTE *pal, LCD_PIXELINDEX *lut, int32_t bpp) {
    int32_t entries = 1 << bpp;
    for (int32_t i = 0; i < entries; i++) {
        if (pal && pal->pPalEntries && i < pal->NumEntries)
            lut[i] = LCD_L0_Color2Index(pal->pPalEntries[i]);
        else if (pal)
            lut[i] = 0;
        else
            lut[i] = i ? GUI_Context.ColorIndex : GUI_Context.BkColorIndex;
    }
    return entries;
}

static void drawRLE8(int32_t x0, int32_t y0, int32_t xs, int32_t ys, int32_t, const uint8_t *p,
                     const GUI_LOGPALETTE *pal) {
    RleState s;
    if (!rleStart(s, x0, y0, xs, ys)) return;
    LCD_PIXELINDEX lut[256];
    paletteIndices(pal, lut, 8);
    int32_t lastRow = s.c.y1 - y0;
    while (s.row < ys && s.row <= lastRow) {
        uint32_t n = *p++;
        if (n) {
            uint32_t idx = *p++;
            rleRun(s, (int32_t)n, lut[idx], idx == 0);
        } else {
            uint32_t m = *p++;
            if (m == 0) m = 256;
            for (; m && s.row < ys; m--, p++) rlePixel(s, lut[*p], *p == 0);
        }
    }
}

// ---- palette bitmaps (1, 2, 4, 8 bits per pixel, leftmost pixel in the high bits)
// -----------------------------------
static void drawPalette(int32_t x0, int32_t y0, int32_t xs, int32_t ys, int32_t bpl, int32_t bpp,
                        const uint8_t *data, const GUI_LOGPALETTE *pal) {
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8) return;
    Clip c;
    if (!clipBitmap(x0, y0, xs, ys, &c)) return;
    LCD_PIXELINDEX lut[256];
    paletteIndices(pal, lut, bpp);
    bool skipZero = (pal && pal->HasTrans) || (GUI_Context.DrawMode & GUI_DRAWMODE_TRANS);
    bool xorMode = GUI_Context.DrawMode & GUI_DRAWMODE_XOR;
    uint32_t mask = (1u << bpp) - 1;
    for (int32_t y = c.y0; y <= c.y1; y++) {
        const uint8_t *src = data + (y - y0) * bpl;
        LCD_PIXELINDEX *dst = LCD__pVRAM + y * LCD__XSize;
        for (int32_t x = c.x0; x <= c.x1; x++) {
            uint32_t bit = (uint32_t)(x - x0) * (uint32_t)bpp;
            uint32_t idx = (src[bit >> 3] >> (8 - bpp - (bit & 7))) & mask;
            if (skipZero && idx == 0) continue;
            dst[x] = xorMode ? (LCD_PIXELINDEX)(dst[x] ^ 0xFFFF) : lut[idx];
        }
    }
}

const GUI_BITMAP_METHODS GUI_BitmapMethodsM565 = {drawM565, LCD_Index2Color_M565};
const GUI_BITMAP_METHODS GUI_BitmapMethods565 = {draw565, LCD_Index2Color_565};
const GUI_BITMAP_METHODS GUI_BitmapMethodsRLEM16 = {drawRLE16<false>, LCD_Index2Color_M565};
const GUI_BITMAP_METHODS GUI_BitmapMethodsRLE16 = {drawRLE16<true>, LCD_Index2Color_565};
const GUI_BITMAP_METHODS GUI_BitmapMethodsRLE8 = {drawRLE8, nullptr};

void GUI_DrawBitmap(const GUI_BITMAP *bm, int32_t x, int32_t y) {
    if (!bm || !bm->pData) return;
    int32_t sx = GUI__SX(x), sy = GUI__SY(y);
    if (bm->pMethods)
        bm->pMethods->pfDraw(sx, sy, bm->XSize, bm->YSize, bm->BytesPerLine, bm->pData, bm->pPal);
    else if (bm->BitsPerPixel == 16) // no palette describes 16-bit pixels: they are frame-buffer values
        drawM565(sx, sy, bm->XSize, bm->YSize, bm->BytesPerLine, bm->pData, nullptr);
    else
        drawPalette(sx, sy, bm->XSize, bm->YSize, bm->BytesPerLine, bm->BitsPerPixel, bm->pData, bm->pPal);
}
