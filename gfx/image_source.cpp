// The decoders' data sources and reader.
#include "gfx/image_source.h"

#include <string.h>

enum : uint32_t { WINDOW = 0x10000 }; // what one request asks for; a source may hand out less

uint32_t GUI_GetDataMemory(void *source, const uint8_t **data, uint32_t bytes, uint32_t offset) {
    const GUI_MEMORY_SOURCE *m = (const GUI_MEMORY_SOURCE *)source;
    if (!m->data || offset >= m->size) return 0;
    *data = m->data + offset;
    return bytes < m->size - offset ? bytes : m->size - offset;
}

void GUI_ImageReader::seek(uint32_t offset) {
    if (win && offset >= winOffset && offset - winOffset <= (uint32_t)(end - win)) {
        cur = win + (offset - winOffset);
        return;
    }
    winOffset = offset;
    win = cur = end = nullptr;
}

bool GUI_ImageReader::fill() {
    if (failed) return false;
    const uint32_t at = tell();
    const uint8_t *p = nullptr;
    uint32_t got = get(source, &p, WINDOW, at);
    if (got == 0 || !p) {
        failed = true;
        return false;
    }
    if (got > WINDOW) got = WINDOW;
    winOffset = at;
    win = cur = p;
    end = p + got;
    return true;
}

bool GUI_ImageReader::read(uint8_t *dst, uint32_t n) {
    while (n) {
        if (cur == end && !fill()) return false;
        uint32_t k = available() < n ? available() : n;
        memcpy(dst, cur, k);
        cur += k;
        dst += k;
        n -= k;
    }
    return true;
}

bool GUI_ImageReader::skip(uint32_t n) {
    if (n <= available()) {
        cur += n;
        return true;
    }
    const uint32_t to = tell() + n;
    if (to < n) { // past 4 GB
        failed = true;
        return false;
    }
    seek(to);
    return !failed;
}

void GUI__DrawPixelRow(int32_t x, int32_t y, const LCD_PIXELINDEX *pixels, int32_t n) {
    while (n > 0) { // a bitmap's width is 16 bits
        const int32_t k = n < 0x8000 ? n : 0x8000;
        GUI_BITMAP bm = {(uint16_t)k,           1, (uint16_t)(k * 2), 16, (const uint8_t *)pixels, nullptr,
                         &GUI_BitmapMethodsM565};
        GUI_DrawBitmap(&bm, x, y);
        x += k;
        pixels += k;
        n -= k;
    }
}
