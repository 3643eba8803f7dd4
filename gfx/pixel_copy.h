// Copies and moves of 16-bit pixels. The C library's memcpy/memmove on small processors often copy
// whole words only when both pointers share a word alignment and fall back to one byte at a time
// otherwise, which is what a chart scrolled by one pixel or a bitmap drawn at an odd x give them.
// The word helpers below copy 32 bits at a time for every halfword alignment.
#pragma once

#include <stddef.h>
#include <string.h>

// Set to 1 by builds whose C library copies misaligned blocks a byte at a time; otherwise the
// library's own memcpy/memmove are used, as they are faster where they are vectorised.
#ifndef GUI_PIXEL_COPY_WORDS
#define GUI_PIXEL_COPY_WORDS 0
#endif

// n pixels from src to dst; the blocks must not overlap. Pointers that are not on a halfword
// boundary are copied by memcpy.
void GUI__CopyPixels16Words(void *dst, const void *src, size_t n);
// n pixels from src to dst; the blocks may overlap.
void GUI__MovePixels16Words(void *dst, const void *src, size_t n);

inline void GUI__CopyPixels16(void *dst, const void *src, size_t n) {
#if GUI_PIXEL_COPY_WORDS
    GUI__CopyPixels16Words(dst, src, n);
#else
    memcpy(dst, src, n * 2);
#endif
}

inline void GUI__MovePixels16(void *dst, const void *src, size_t n) {
#if GUI_PIXEL_COPY_WORDS
    GUI__MovePixels16Words(dst, src, n);
#else
    memmove(dst, src, n * 2);
#endif
}
