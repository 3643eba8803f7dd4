// Word-at-a-time copies of 16-bit pixels. The destination is brought to a word boundary first; a
// source half a word off is read as aligned words and each output word joins the halves of two.
// No byte outside either block is read or written.
#include "gfx/pixel_copy.h"

#include <stdint.h>

#include <bit>
#include <memory>

namespace {

// Word loads and stores of aligned addresses: memcpy keeps them free of aliasing trouble, and the
// alignment promise lets the compiler emit single instructions on processors without unaligned access.
inline uint32_t load32(const uint8_t *p) {
    uint32_t v;
    memcpy(&v, std::assume_aligned<4>(p), 4);
    return v;
}
inline void store32(uint8_t *p, uint32_t v) {
    memcpy(std::assume_aligned<4>(p), &v, 4);
}
inline void copy16(uint8_t *d, const uint8_t *s) {
    uint16_t v;
    memcpy(&v, std::assume_aligned<2>(s), 2);
    memcpy(std::assume_aligned<2>(d), &v, 2);
}

// Below this many pixels the set-up costs more than it saves.
constexpr size_t kShort = 6;

// Joins two pixels into the word that holds them at increasing addresses.
inline uint32_t join(uint32_t first, uint32_t second) {
    return first | (second << 16);
}

// Ascending: correct for separate blocks and for dst below src.
void forward(uint8_t *d, const uint8_t *s, size_t n) {
    if (n >= kShort) {
        if ((uintptr_t)d & 2) {
            copy16(d, s);
            d += 2, s += 2, n--;
        }
        if (((uintptr_t)s & 2) == 0) {
            // Counted by the source pointer: nothing is left to work out after the loop.
            for (const uint8_t *end = s + (n & ~(size_t)7) * 2; s != end; d += 16, s += 16) {
                uint32_t a = load32(s), b = load32(s + 4), c = load32(s + 8), e = load32(s + 12);
                store32(d, a), store32(d + 4, b), store32(d + 8, c), store32(d + 12, e);
            }
            for (n &= 7; n >= 2; n -= 2, d += 4, s += 4) store32(d, load32(s));
        } else {
            // held: the pixel at s, already read; each pass reads the aligned word after it.
            uint32_t held;
            {
                uint16_t h;
                memcpy(&h, std::assume_aligned<2>(s), 2);
                held = h;
            }
            for (; n >= 9; n -= 8, d += 16, s += 16) {
                uint32_t a = load32(s + 2), b = load32(s + 6), c = load32(s + 10), e = load32(s + 14);
                store32(d, join(held, a & 0xFFFF));
                store32(d + 4, join(a >> 16, b & 0xFFFF));
                store32(d + 8, join(b >> 16, c & 0xFFFF));
                store32(d + 12, join(c >> 16, e & 0xFFFF));
                held = e >> 16;
            }
            for (; n >= 3; n -= 2, d += 4, s += 4) {
                uint32_t a = load32(s + 2);
                store32(d, join(held, a & 0xFFFF));
                held = a >> 16;
            }
        }
    }
    for (; n > 0; n--, d += 2, s += 2) copy16(d, s);
}

// Descending: for dst above an overlapping src. d and s point just past the ends of the blocks.
void backward(uint8_t *d, const uint8_t *s, size_t n) {
    if (n >= kShort) {
        if ((uintptr_t)d & 2) {
            d -= 2, s -= 2, n--;
            copy16(d, s);
        }
        if (((uintptr_t)s & 2) == 0) {
            for (; n >= 8; n -= 8) {
                d -= 16, s -= 16;
                uint32_t a = load32(s), b = load32(s + 4), c = load32(s + 8), e = load32(s + 12);
                store32(d + 12, e), store32(d + 8, c), store32(d + 4, b), store32(d, a);
            }
            for (; n >= 2; n -= 2) {
                d -= 4, s -= 4;
                store32(d, load32(s));
            }
        } else {
            // held: the pixel just below s, already read; each pass reads the aligned word below it.
            uint32_t held;
            {
                uint16_t h;
                memcpy(&h, std::assume_aligned<2>(s - 2), 2);
                held = h;
            }
            for (; n >= 9; n -= 8) {
                d -= 16, s -= 16;
                uint32_t a = load32(s - 2), b = load32(s + 2), c = load32(s + 6), e = load32(s + 10);
                store32(d + 12, join(e >> 16, held));
                store32(d + 8, join(c >> 16, e & 0xFFFF));
                store32(d + 4, join(b >> 16, c & 0xFFFF));
                store32(d, join(a >> 16, b & 0xFFFF));
                held = a & 0xFFFF;
            }
            for (; n >= 3; n -= 2) {
                d -= 4, s -= 4;
                uint32_t a = load32(s - 2);
                store32(d, join(a >> 16, held));
                held = a & 0xFFFF;
            }
        }
    }
    for (; n > 0; n--) {
        d -= 2, s -= 2;
        copy16(d, s);
    }
}

// The shifts above put the first pixel in the low half of a word.
constexpr bool kUsable = std::endian::native == std::endian::little;

bool halfwordAligned(const void *dst, const void *src) {
    return (((uintptr_t)dst | (uintptr_t)src) & 1) == 0;
}

} // namespace

void GUI__CopyPixels16Words(void *dst, const void *src, size_t n) {
    if (!kUsable || !halfwordAligned(dst, src)) {
        memcpy(dst, src, n * 2);
        return;
    }
    forward((uint8_t *)dst, (const uint8_t *)src, n);
}

void GUI__MovePixels16Words(void *dst, const void *src, size_t n) {
    if (!kUsable || !halfwordAligned(dst, src)) {
        memmove(dst, src, n * 2);
        return;
    }
    uintptr_t d = (uintptr_t)dst, s = (uintptr_t)src;
    if (d <= s || d - s >= n * 2)
        forward((uint8_t *)dst, (const uint8_t *)src, n);
    else
        backward((uint8_t *)dst + n * 2, (const uint8_t *)src + n * 2, n);
}

#if GUI_WIDE_VECTORS
namespace {
typedef uint8_t V32 __attribute__((vector_size(32)));
typedef uint8_t V16 __attribute__((vector_size(16)));
typedef uint32_t Pattern32 __attribute__((vector_size(32)));

// Moves of k bytes (k a vector's size or a word's) through a register: unaligned, free of aliasing
// trouble, single instructions.
template <typename T> __attribute__((target("avx2"), always_inline)) inline T get(const uint8_t *p) {
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}
template <typename T> __attribute__((target("avx2"), always_inline)) inline void put(uint8_t *p, T v) {
    memcpy(p, &v, sizeof v);
}

// One row of bytes (even, at least 2). The last piece of each size overlaps the one before it
// rather than stepping down through the smaller sizes: the blocks do not overlap, so writing a
// few bytes twice with the same values is harmless.
__attribute__((target("avx2"), always_inline)) inline void copyRow(uint8_t *d, const uint8_t *s,
                                                                   size_t bytes) {
    if (bytes >= 32) {
        const V32 last = get<V32>(s + bytes - 32);
        for (size_t i = 0; i + 32 < bytes; i += 32) put(d + i, get<V32>(s + i));
        put(d + bytes - 32, last);
    } else if (bytes >= 16) {
        const V16 a = get<V16>(s), b = get<V16>(s + bytes - 16);
        put(d, a), put(d + bytes - 16, b);
    } else if (bytes >= 8) {
        const uint64_t a = get<uint64_t>(s), b = get<uint64_t>(s + bytes - 8);
        put(d, a), put(d + bytes - 8, b);
    } else if (bytes >= 4) {
        const uint32_t a = get<uint32_t>(s), b = get<uint32_t>(s + bytes - 4);
        put(d, a), put(d + bytes - 4, b);
    } else {
        put(d, get<uint16_t>(s));
    }
}

bool detectWide() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
} // namespace

bool GUI__WideVectors(void) {
    static const bool yes = detectWide();
    return yes;
}

__attribute__((target("avx2"))) void GUI__CopyRows16Wide(void *dst, size_t dstPitch, const void *src,
                                                         size_t srcPitch, size_t n, size_t rows) {
    uint8_t *d = (uint8_t *)dst;
    const uint8_t *s = (const uint8_t *)src;
    for (; rows; rows--, d += dstPitch, s += srcPitch) copyRow(d, s, n * 2);
}

__attribute__((target("avx2"))) void GUI__Fill32Wide(void *dst, size_t bytes, uint32_t pair) {
    uint8_t *d = (uint8_t *)dst;
    const Pattern32 v = {pair, pair, pair, pair, pair, pair, pair, pair};
    if (bytes < 32) {
        for (; bytes; bytes -= 4, d += 4) put(d, pair);
        return;
    }
    // The first vector unaligned, then aligned ones from the next 32-byte boundary; the pattern
    // repeats every 4 bytes and the boundary is a multiple of 4 away, so it lines up.
    uint8_t *end = d + bytes;
    put(d, v);
    d = (uint8_t *)(((uintptr_t)d + 32) & ~(uintptr_t)31);
    for (; end - d >= 128; d += 128) {
        put(d, v), put(d + 32, v), put(d + 64, v), put(d + 96, v);
    }
    for (; end - d >= 32; d += 32) put(d, v);
    if (d != end) put(end - 32, v);
}
#endif
