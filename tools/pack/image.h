// The resource image as the PC builds it: macros, bitmaps (plain, run-length compressed,
// transparent), user fonts and GIF files, written byte for byte in the layout the firmware loads
// (resource/resource.h), and listed the way the display's "ls" lists it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pack {

struct Macro {
    std::string name;               // "" when it has none
    std::vector<std::string> lines; // as the user wrote them
    bool defined = false;           // false: a gap in the numbering (no lines, no name)
};

struct Record {
    uint8_t type = 0; // 0 blank, 1 plain, 2 compressed, 4 font, 5 transparent, 6 GIF
    // Bitmaps: frame-buffer pixels (5-6-5, red high), row after row.
    int width = 0, height = 0;
    std::vector<uint16_t> pixels;
    uint16_t transparent = 0;
    // Fonts: name (at most 9 characters) and glyph format; the "GUIP" data goes to `data`.
    std::string fontName;
    uint8_t sifType = 0;
    std::vector<uint8_t> data; // font data, or the GIF file
};

struct Image {
    std::vector<Macro> macros;   // macro k is macros[k - 1]
    std::vector<Record> records; // record i is records[i]; record 0 is written by build()
};

// The run-length stream of the pixels: repeat packets (N, pixel) and literal packets (0, M, M
// pixels; M = 0 for 256), running on from row to row.
std::vector<uint8_t> rleEncode(const std::vector<uint16_t> &pixels);
// Decodes a stream back into count pixels; false when it runs short.
bool rleDecode(const uint8_t *stream, size_t size, size_t count, std::vector<uint16_t> *pixels);

// The ".BIN" bytes; false with a message when the image cannot be written (too large, ...).
bool build(const Image &image, std::vector<uint8_t> *out, std::string *error);

// The record table as "ls" shows it once the image is loaded (addresses in external memory), one
// line per '\n'; with bitmaps, every bitmap record is followed by the "lsbmp" detail. With macros,
// the macro definitions as "lsmac" shows them. False with a message for a file that is no image.
bool list(const std::vector<uint8_t> &bin, bool bitmaps, bool macros, std::string *out, std::string *error);

// 24-bit RGB to the frame-buffer index, as the display converts colours.
uint16_t rgbTo565(uint32_t rgb);

} // namespace pack
