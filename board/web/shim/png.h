// The calls of libpng that the board's screenshot makes, for the browser build, which has no libpng:
// 8-bit rows gathered in memory and written at the end as one PNG with stored (uncompressed) deflate
// blocks. It never long-jumps: a write error shows in the file's close.
#pragma once

#include <setjmp.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <vector>

#define PNG_LIBPNG_VER_STRING "zefo5-web"
enum {
    PNG_COLOR_TYPE_RGB = 2,
    PNG_INTERLACE_NONE = 0,
    PNG_COMPRESSION_TYPE_DEFAULT = 0,
    PNG_FILTER_TYPE_DEFAULT = 0
};

typedef uint32_t png_uint_32;
struct png_struct_def {
    FILE *file = nullptr;
    uint32_t width = 0, height = 0;
    int channels = 3;
    std::vector<uint8_t> rows; // each row: filter byte 0, then its pixels
    jmp_buf jump;
};
struct png_info_def {};
typedef png_struct_def *png_structp;
typedef png_info_def *png_infop;

#define png_jmpbuf(png) ((png)->jump)

namespace pngshim {

inline uint32_t crc(uint32_t c, const uint8_t *p, size_t n) {
    c = ~c;
    while (n--) {
        c ^= *p++;
        for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

inline void be32(std::vector<uint8_t> &out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back((uint8_t)(v >> s));
}

inline void chunk(FILE *f, const char *type, const std::vector<uint8_t> &data) {
    std::vector<uint8_t> c;
    be32(c, (uint32_t)data.size());
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data.begin(), data.end());
    be32(c, crc(0, c.data() + 4, c.size() - 4));
    fwrite(c.data(), 1, c.size(), f);
}

} // namespace pngshim

inline png_structp png_create_write_struct(const char *, void *, void *, void *) {
    return new png_struct_def;
}
inline png_infop png_create_info_struct(png_structp) {
    static png_info_def info;
    return &info;
}
inline void png_destroy_write_struct(png_structp *png, png_infop *info) {
    delete *png;
    *png = nullptr;
    if (info) *info = nullptr;
}
inline void png_init_io(png_structp png, FILE *f) {
    png->file = f;
}
inline void png_set_IHDR(png_structp png, png_infop, png_uint_32 w, png_uint_32 h, int, int color, int, int,
                         int) {
    png->width = w;
    png->height = h;
    png->channels = color == PNG_COLOR_TYPE_RGB ? 3 : 4;
}
inline void png_write_info(png_structp, png_infop) {}
inline void png_write_row(png_structp png, const uint8_t *row) {
    png->rows.push_back(0);
    png->rows.insert(png->rows.end(), row, row + (size_t)png->width * png->channels);
}
inline void png_write_end(png_structp png, png_infop) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    fwrite(signature, 1, sizeof signature, png->file);
    std::vector<uint8_t> head;
    pngshim::be32(head, png->width);
    pngshim::be32(head, png->height);
    head.insert(head.end(), {8, (uint8_t)(png->channels == 3 ? 2 : 6), 0, 0, 0});
    pngshim::chunk(png->file, "IHDR", head);
    // zlib stream of stored blocks, then the Adler-32 of the data.
    const std::vector<uint8_t> &raw = png->rows;
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t at = 0;
    do {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.insert(z.end(), {(uint8_t)n, (uint8_t)(n >> 8), (uint8_t)~n, (uint8_t)(~n >> 8)});
        z.insert(z.end(), raw.begin() + (ptrdiff_t)at, raw.begin() + (ptrdiff_t)(at + n));
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    pngshim::be32(z, b << 16 | a);
    pngshim::chunk(png->file, "IDAT", z);
    pngshim::chunk(png->file, "IEND", {});
}
