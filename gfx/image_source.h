// What the image decoders share: the data-source callback, a source over bytes in memory, a
// buffered sequential reader on top of any source, and the row output into the drawing core.
#pragma once

#include <stdint.h>

#include "gfx/gui.h"

// Data source of the image decoders: makes up to `bytes` bytes from file offset `offset` available
// at *data and returns how many (fewer at the end of the data, 0 on error). The bytes stay valid
// until the next call.
typedef uint32_t (*GUI_GET_DATA_FUNC)(void *source, const uint8_t **data, uint32_t bytes, uint32_t offset);

// An image held in memory, read in place.
struct GUI_MEMORY_SOURCE {
    const uint8_t *data;
    uint32_t size;
};
uint32_t GUI_GetDataMemory(void *source, const uint8_t **data, uint32_t bytes, uint32_t offset);

// Reads a source front to back through the windows it hands out. Every failure (end of data, a
// source error) makes the reads return false or -1 and sets `failed`; nothing reads outside a window.
struct GUI_ImageReader {
    GUI_GET_DATA_FUNC get;
    void *source;
    uint32_t winOffset; // file offset of win[0]
    const uint8_t *win, *cur, *end;
    bool failed;

    void begin(GUI_GET_DATA_FUNC g, void *s, uint32_t offset) {
        get = g;
        source = s;
        failed = false;
        winOffset = offset;
        win = cur = end = nullptr;
    }
    uint32_t tell() const { return winOffset + (uint32_t)(cur - win); }
    void seek(uint32_t offset);
    bool fill(); // a new window at tell(); false at the end or on error
    int byte() {
        if (cur == end && !fill()) return -1;
        return *cur++;
    }
    bool read(uint8_t *dst, uint32_t n);
    bool skip(uint32_t n);
    uint32_t available() const { return (uint32_t)(end - cur); }
};

// Draws n frame-buffer values as one row at screen position (x, y) through the drawing core (clip
// rectangle and draw mode apply).
void GUI__DrawPixelRow(int32_t x, int32_t y, const LCD_PIXELINDEX *pixels, int32_t n);
