// The font compiler: renders a TrueType face with FreeType into the display's fonts, either as C++
// sources of a compiled font (gfx/font.h) or as a system-independent "GUIP" user font for the
// resource image. The resource-image builder links this library to put user fonts into images.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fontc {

// Glyph formats of the fonts; the user-font SIF type byte of each is given beside it.
enum class Format {
    Prop,    // 1 bit per pixel, full-height glyphs (SIF type 0)
    PropExt, // 1 bit per pixel, tight glyph boxes (SIF type 1)
    AA2,     // 2-bit anti-aliased, full-height glyphs (SIF type 2)
    AA4,     // 4-bit anti-aliased, full-height glyphs (SIF type 3)
    Frm,     // tight boxes, 2 bits per pixel: 1 glyph, 2 frame (SIF type 4)
};

int bitsPerPixel(Format f);
uint8_t sifType(Format f);
bool parseFormat(const std::string &name, Format *out);

struct Glyph {
    uint32_t code = 0;
    int xsize = 0, ysize = 0; // box
    int xoff = 0, yoff = 0;   // box corner from the pen position on the cell's top line
    int xdist = 0;            // advance
    std::vector<uint8_t> pix; // xsize * ysize values of 0 .. 2^bpp - 1, row after row
};

struct Font {
    Format format = Format::AA4;
    int height = 0, ydist = 0, baseline = 0, lheight = 0, cheight = 0;
    std::vector<std::pair<uint32_t, uint32_t>> ranges; // inclusive, ascending
    std::vector<Glyph> glyphs;                         // one per code of every range, in order
    std::string description;                           // for the generated source's header
};

struct RenderOptions {
    std::string ttf;
    double points = 0; // size in points at 96 dpi, or
    double pixels = 0; // the em size in pixels
    int height = 0;    // cell height; 0: the face's line height at this size
    Format format = Format::AA4;
    bool monospace = false; // every advance made equal to the widest
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
};

// Renders the font; on failure returns false with a message in *error.
bool render(const RenderOptions &opt, Font *font, std::string *error);

// "0x20-0x7E,0xA0-0xFF" (decimal or hexadecimal, single codes allowed).
bool parseRanges(const std::string &text, std::vector<std::pair<uint32_t, uint32_t>> *out);

// C++ source of a compiled font with the given symbol (the firmware's font structures).
std::string writeCpp(const Font &font, const std::string &symbol);
// System-independent font data: "GUIP", header, ranges, character records, glyph bits.
std::vector<uint8_t> writeGuip(const Font &font);

} // namespace fontc
