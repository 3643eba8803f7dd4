// The frame buffer: colour conversion, clipped runs and single pixels. Runs are written as whole
// words; nothing on these paths calls a function per pixel.
#include <string.h>

#include "gfx/gui_private.h"
#include "gfx/pixel_copy.h"

LCD_PIXELINDEX *LCD__pVRAM;
int32_t LCD__XSize, LCD__YSize;

// 32-bit stores into the 16-bit frame buffer.
typedef uint32_t __attribute__((may_alias)) u32_alias;

int32_t LCD_GetXSize(void) {
    return LCD__XSize;
}
int32_t LCD_GetYSize(void) {
    return LCD__YSize;
}
LCD_PIXELINDEX *LCD_GetFrameBuffer(void) {
    return LCD__pVRAM;
}

// ---- colours ----------------------------------------------------------------------------------------------
LCD_PIXELINDEX LCD_L0_Color2Index(GUI_COLOR color) {
    uint32_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    return (LCD_PIXELINDEX)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

GUI_COLOR LCD_Index2Color_M565(uint32_t index) {
    uint32_t r = ((index >> 11) & 0x1F) * 255 / 31;
    uint32_t g = ((index >> 5) & 0x3F) * 255 / 63;
    uint32_t b = (index & 0x1F) * 255 / 31;
    return (b << 16) | (g << 8) | r;
}

GUI_COLOR LCD_Index2Color_565(uint32_t index) {
    uint32_t b = ((index >> 11) & 0x1F) * 255 / 31;
    uint32_t g = ((index >> 5) & 0x3F) * 255 / 63;
    uint32_t r = (index & 0x1F) * 255 / 31;
    return (b << 16) | (g << 8) | r;
}

GUI_COLOR LCD_L0_Index2Color(uint32_t index) {
    return LCD_Index2Color_M565(index);
}
LCD_PIXELINDEX LCD_Color2Index(GUI_COLOR color) {
    return LCD_L0_Color2Index(color);
}
GUI_COLOR LCD_Index2Color(LCD_PIXELINDEX index) {
    return LCD_Index2Color_M565(index);
}

// ---- pixels (screen coordinates, no clipping: callers check)
// -------------------------------------------------
LCD_PIXELINDEX LCD_L0_GetPixelIndex(int32_t x, int32_t y) {
    return LCD__pVRAM[y * LCD__XSize + x];
}
void LCD_L0_SetPixelIndex(int32_t x, int32_t y, LCD_PIXELINDEX index) {
    LCD__pVRAM[y * LCD__XSize + x] = index;
}
void LCD_L0_XorPixel(int32_t x, int32_t y) {
    LCD__pVRAM[y * LCD__XSize + x] ^= 0xFFFF;
}

// ---- runs -------------------------------------------------------------------------------------------------
void LCD__Fill16(LCD_PIXELINDEX *dst, uint32_t n, LCD_PIXELINDEX value) {
    if (n == 0) return;
    if ((uintptr_t)dst & 2) {
        *dst++ = value;
        n--;
    }
    uint32_t pair = (uint32_t)value * 0x10001u;
    u32_alias *d32 = (u32_alias *)dst;
    uint32_t words = n >> 1;
    if ((value & 0xFF) == (value >> 8)) {
        memset(d32, value & 0xFF, words * 4);
        d32 += words;
#if GUI_WIDE_VECTORS
    } else if (words >= 16 && GUI__WideVectors()) {
        GUI__Fill32Wide(d32, words * 4, pair);
        d32 += words;
#endif
    } else {
        // Eight words a round: two 16-byte stores on x86-64, eight register stores on ARM.
        for (uint32_t blocks = words / 8; blocks; blocks--, d32 += 8) {
            d32[0] = pair;
            d32[1] = pair;
            d32[2] = pair;
            d32[3] = pair;
            d32[4] = pair;
            d32[5] = pair;
            d32[6] = pair;
            d32[7] = pair;
        }
        for (words %= 8; words; words--) *d32++ = pair;
    }
    if (n & 1) *(LCD_PIXELINDEX *)d32 = value;
}

void LCD__Xor16(LCD_PIXELINDEX *dst, uint32_t n) {
    if (n == 0) return;
    if ((uintptr_t)dst & 2) {
        *dst++ ^= 0xFFFF;
        n--;
    }
    u32_alias *d32 = (u32_alias *)dst;
    for (uint32_t words = n >> 1; words; words--) *d32++ ^= 0xFFFFFFFFu;
    if (n & 1) *(LCD_PIXELINDEX *)d32 ^= 0xFFFF;
}

bool LCD__ClipRect(int32_t *x0, int32_t *y0, int32_t *x1, int32_t *y1) {
    const GUI_RECT &c = GUI_Context.ClipRect;
    if (*x0 < c.x0) *x0 = c.x0;
    if (*y0 < c.y0) *y0 = c.y0;
    if (*x1 > c.x1) *x1 = c.x1;
    if (*y1 > c.y1) *y1 = c.y1;
    return *x0 > *x1 || *y0 > *y1;
}

void LCD__HLine(int32_t x0, int32_t x1, int32_t y) {
    const GUI_RECT &c = GUI_Context.ClipRect;
    if (y < c.y0 || y > c.y1) return;
    if (x0 < c.x0) x0 = c.x0;
    if (x1 > c.x1) x1 = c.x1;
    if (x0 > x1) return;
    LCD_PIXELINDEX *p = LCD__pVRAM + y * LCD__XSize + x0;
    if (GUI_Context.DrawMode & GUI_DRAWMODE_XOR)
        LCD__Xor16(p, (uint32_t)(x1 - x0 + 1));
    else
        LCD__Fill16(p, (uint32_t)(x1 - x0 + 1), LCD__DrawIndex());
}

static void fillRectRaw(int32_t x0, int32_t y0, int32_t x1, int32_t y1, LCD_PIXELINDEX index, bool xorMode) {
    uint32_t w = (uint32_t)(x1 - x0 + 1);
    LCD_PIXELINDEX *p = LCD__pVRAM + y0 * LCD__XSize + x0;
    if (x0 == 0 && x1 == LCD__XSize - 1) { // whole rows: one contiguous run
        w *= (uint32_t)(y1 - y0 + 1);
        y1 = y0;
    }
    if (!xorMode && w == 1) { // one column (a chart's new column, a border): a store per row
        for (int32_t y = y0; y <= y1; y++, p += LCD__XSize) *p = index;
        return;
    }
    if (!xorMode && w <= 4) { // narrow columns: no call per row
        for (int32_t y = y0; y <= y1; y++, p += LCD__XSize)
            for (uint32_t i = 0; i < w; i++) p[i] = index;
        return;
    }
    for (int32_t y = y0; y <= y1; y++, p += LCD__XSize) {
        if (xorMode)
            LCD__Xor16(p, w);
        else
            LCD__Fill16(p, w, index);
    }
}

void LCD__FillRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (LCD__ClipRect(&x0, &y0, &x1, &y1)) return;
    fillRectRaw(x0, y0, x1, y1, LCD__DrawIndex(), GUI_Context.DrawMode & GUI_DRAWMODE_XOR);
}

void LCD__FillRectIndex(int32_t x0, int32_t y0, int32_t x1, int32_t y1, LCD_PIXELINDEX index) {
    if (LCD__ClipRect(&x0, &y0, &x1, &y1)) return;
    fillRectRaw(x0, y0, x1, y1, index, false);
}
