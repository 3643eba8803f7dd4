// Fonts of the graphics library: the compiled fonts (const tables in program flash) and the user
// fonts built from system-independent "GUIP" data in the resource image. Both hand the text
// functions the same glyph description.
#pragma once

#include <stdint.h>

// Glyph formats. The values are the SIF type bytes of user fonts (0xFF also means proportional).
enum : uint8_t {
    GUI_FONTKIND_PROP = 0,     // 1 bit per pixel
    GUI_FONTKIND_PROP_EXT = 1, // 1 bit per pixel, glyph boxes of their own
    GUI_FONTKIND_AA2 = 2,      // 2-bit anti-aliased
    GUI_FONTKIND_AA4 = 3,      // 4-bit anti-aliased
    GUI_FONTKIND_FRM = 4,      // 2 bits per pixel: 1 glyph, 2 frame (drawn in the background colour)
};

// One glyph of a compiled font: its box, placed from the pen position on the cell's top line, the
// advance, and the offset of its rows (most significant pixel first, whole bytes per row) in the
// font's bits.
struct GUI_CHARINFO {
    uint8_t XSize, YSize;
    int8_t XOff;
    uint8_t YOff;
    uint32_t XDist : 8;
    uint32_t Offset : 24;
};

struct GUI_FONT_RANGE {
    uint16_t First, Last; // inclusive
    const GUI_CHARINFO *pInfo;
};

struct GUI_FONT {
    uint8_t Kind;
    uint8_t BitsPerPixel;
    uint16_t YSize;    // cell height
    uint16_t YDist;    // line distance
    uint16_t Baseline; // from the cell's top line
    uint16_t LHeight;  // height of lower-case letters
    uint16_t CHeight;  // height of capitals
    uint16_t NumRanges;
    const GUI_FONT_RANGE *pRanges; // compiled fonts
    const uint8_t *pBits;
    const uint8_t *pSIF; // user fonts: the "GUIP" data the font reads its glyphs from, else nullptr
    uint32_t SIFSize;    // bytes of it that may be read
    uint16_t SIFRecordSize;
};

// What the text functions draw: a glyph of any font.
struct GUI_GLYPH {
    const uint8_t *pData; // first row
    int32_t XSize, YSize, XOff, YOff, XDist, BytesPerLine;
};

// The glyph of character c; 0 when the font has none (nothing drawn, no advance).
int GUI__GetGlyph(const GUI_FONT *font, uint16_t c, GUI_GLYPH *glyph);

// Builds a user font from "GUIP" data of at most size bytes, read with the glyph format of the SIF
// type byte (0 or 0xFF proportional, 1 extended, 2 and 3 anti-aliased with 2 and 4 bits, 4 framed).
// Returns 0 for an unsupported type or data that is not a sound font; the font then stays as it was.
int GUI_SIF_CreateFont(const uint8_t *data, uint32_t size, GUI_FONT *font, uint8_t sifType);
// True when the type byte names a glyph format.
int GUI_SIF_TypeSupported(uint8_t sifType);

// ---- the compiled fonts ---------------------------------------------------------------------------
extern const GUI_FONT GUI_FontArial8, GUI_FontArial8B, GUI_FontArial10, GUI_FontArial10B;
extern const GUI_FONT GUI_Font16_1, GUI_Font16B_1;
extern const GUI_FONT GUI_FontArial10AA4, GUI_FontArial10BAA4, GUI_FontArial12AA4, GUI_FontArial12BAA4;
extern const GUI_FONT GUI_FontArial14AA4, GUI_FontArial14BAA4, GUI_FontArial16AA4, GUI_FontArial16BAA4;
extern const GUI_FONT GUI_FontArial20AA4, GUI_FontArial20BAA4, GUI_FontArial24AA4, GUI_FontArial24BAA4;
extern const GUI_FONT GUI_FontArial32AA4, GUI_FontArial32BAA4;
extern const GUI_FONT GUI_FontMono8AA4, GUI_FontMono8BAA4, GUI_FontMono10AA4, GUI_FontMono10BAA4;
extern const GUI_FONT GUI_FontMono12AA4, GUI_FontMono12BAA4, GUI_FontMono14AA4, GUI_FontMono14BAA4;
extern const GUI_FONT GUI_FontMono16AA4, GUI_FontMono16BAA4, GUI_FontMono20AA4, GUI_FontMono20BAA4;
extern const GUI_FONT GUI_FontMono24AA4, GUI_FontMono24BAA4, GUI_FontMono32AA4, GUI_FontMono32BAA4;
extern const GUI_FONT GUI_FontMono48, GUI_FontMono64;
