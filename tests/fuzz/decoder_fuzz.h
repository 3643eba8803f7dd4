// What the image decoder fuzz targets share: the input as a data source that hands out at most a
// few bytes per request (so every reader boundary is crossed), and the screen checks.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "gfx/gui.h"
#include "gfx/image_source.h"

struct SmallWindows {
    const uint8_t *data;
    uint32_t size;
    uint32_t window;
};

inline uint32_t smallWindows(void *source, const uint8_t **data, uint32_t bytes, uint32_t offset) {
    const SmallWindows *s = (const SmallWindows *)source;
    if (offset >= s->size) return 0;
    *data = s->data + offset;
    uint32_t n = s->size - offset;
    if (n > bytes) n = bytes;
    return n < s->window ? n : s->window;
}

// Every pool block must be back after a decoder returns.
inline void checkPool(void) {
    if (GUI_ALLOC_GetMaxSize() < GUI_POOL_SIZE - 16) __builtin_trap();
}

inline void prepare(void) {
    static bool ready;
    if (!ready) {
        GUI_Init();
        ready = true;
    }
    GUI_SetClipRect(nullptr);
    GUI_SetOrg(0, 0);
}
