// Copies and moves of 16-bit pixels. The C library's memcpy/memmove on small processors often copy
// whole words only when both pointers share a word alignment and fall back to one byte at a time
// otherwise, which is what a chart scrolled by one pixel or a bitmap drawn at an odd x give them.
// The word helpers below copy 32 bits at a time for every halfword alignment.
#pragma once

#include <stddef.h>
#include <stdint.h>
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

// Processors with wide vectors the build does not assume (x86-64 with AVX2, found at run time) copy
// and fill with them; everywhere else these are 0 and the portable paths run.
#if defined(__x86_64__) && defined(__GNUC__) && !GUI_PIXEL_COPY_WORDS
#define GUI_WIDE_VECTORS 1
#else
#define GUI_WIDE_VECTORS 0
#endif
#if GUI_WIDE_VECTORS
bool GUI__WideVectors(void); // the processor has them
// rows rows of n pixels each (n >= 1): source rows srcPitch bytes apart, destination rows
// dstPitch bytes apart. The blocks must not overlap.
void GUI__CopyRows16Wide(void *dst, size_t dstPitch, const void *src, size_t srcPitch, size_t n, size_t rows);
// bytes bytes (a multiple of 4) of the 32-bit pattern pair from a 4-byte aligned dst.
void GUI__Fill32Wide(void *dst, size_t bytes, uint32_t pair);
#endif

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
