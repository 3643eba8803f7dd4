// Glyph look-up for compiled fonts, and user fonts built from system-independent "GUIP" data.
//
// "GUIP" data, all fields little-endian: the signature, a header of six 16-bit values, the character
// ranges, one record per character of every range (range after range, in code order), then the
// glyph rows. Record offsets count from the signature; glyph rows are whole bytes, most significant
// pixel first.
#include <string.h>

#include "gfx/font.h"

// Header
#define SIF_Signature 0
#define SIF_YSize     4
#define SIF_YDist     6
#define SIF_Baseline  8
#define SIF_LHeight   10
#define SIF_CHeight   12
#define SIF_NumRanges 14
#define SIF_Ranges    16 // NumRanges x (first u16, last u16)
#define SIF_RangeSize 4
// Character record of the full-height formats (proportional, 2- and 4-bit anti-aliased)
#define SIFP_XSize        0
#define SIFP_XDist        2
#define SIFP_BytesPerLine 4
#define SIFP_Offset       8
#define SIFP_RecordSize   12
// Character record of the formats with glyph boxes (extended, framed)
#define SIFX_XSize        0
#define SIFX_YSize        2
#define SIFX_XOff         4
#define SIFX_YOff         6
#define SIFX_XDist        8
#define SIFX_BytesPerLine 10
#define SIFX_Offset       12
#define SIFX_RecordSize   16

// Glyphs larger than this are refused: no real font needs them, and coordinates stay small.
#define SIF_MAX_EXTENT 1024

static uint32_t rd16(const uint8_t *p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}
static int32_t rds16(const uint8_t *p) {
    return (int32_t)(int16_t)rd16(p);
}
static uint32_t rd32(const uint8_t *p) {
    return rd16(p) | (rd16(p + 2) << 16);
}

static int sifGlyph(const GUI_FONT *font, uint16_t c, GUI_GLYPH *g) {
    const uint8_t *d = font->pSIF;
    uint32_t index = 0;
    const uint8_t *range = d + SIF_Ranges;
    uint32_t k;
    for (k = 0; k < font->NumRanges; k++, range += SIF_RangeSize) {
        uint32_t first = rd16(range), last = rd16(range + 2);
        if (c >= first && c <= last) {
            index += c - first;
            break;
        }
        index += last - first + 1;
    }
    if (k == font->NumRanges) return 0;
    // The records of every range were checked to lie inside the data when the font was built.
    const uint8_t *r = d + SIF_Ranges + SIF_RangeSize * font->NumRanges + index * font->SIFRecordSize;
    uint32_t xsize, ysize, bpl, offset;
    int32_t xoff = 0, yoff = 0;
    if (font->SIFRecordSize == SIFX_RecordSize) {
        xsize = rd16(r + SIFX_XSize);
        ysize = rd16(r + SIFX_YSize);
        xoff = rds16(r + SIFX_XOff);
        yoff = rds16(r + SIFX_YOff);
        g->XDist = (int32_t)rd16(r + SIFX_XDist);
        bpl = rd16(r + SIFX_BytesPerLine);
        offset = rd32(r + SIFX_Offset);
    } else {
        xsize = rd16(r + SIFP_XSize);
        ysize = font->YSize;
        g->XDist = (int32_t)rd16(r + SIFP_XDist);
        bpl = rd16(r + SIFP_BytesPerLine);
        offset = rd32(r + SIFP_Offset);
    }
    if (xsize == 0 || ysize == 0) {
        if (g->XDist == 0) return 0; // a hole in a range
        xsize = ysize = 0;
    } else if (xsize > SIF_MAX_EXTENT || ysize > SIF_MAX_EXTENT || xoff < -SIF_MAX_EXTENT ||
               xoff > SIF_MAX_EXTENT || yoff < -SIF_MAX_EXTENT || yoff > SIF_MAX_EXTENT ||
               bpl * 8 < xsize * font->BitsPerPixel || offset > font->SIFSize ||
               bpl * ysize > font->SIFSize - offset) {
        return 0; // a glyph reaching outside the data is not drawn
    }
    if (g->XDist > SIF_MAX_EXTENT) g->XDist = SIF_MAX_EXTENT;
    g->XSize = (int32_t)xsize;
    g->YSize = (int32_t)ysize;
    g->XOff = xoff;
    g->YOff = yoff;
    g->BytesPerLine = (int32_t)bpl;
    g->pData = d + offset;
    return 1;
}

int GUI__GetGlyph(const GUI_FONT *font, uint16_t c, GUI_GLYPH *g) {
    if (!font) return 0;
    if (font->pSIF) return sifGlyph(font, c, g);
    const GUI_FONT_RANGE *r = font->pRanges;
    for (uint32_t k = 0; k < font->NumRanges; k++, r++) {
        if (c < r->First || c > r->Last) continue;
        const GUI_CHARINFO *info = &r->pInfo[c - r->First];
        if (info->XDist == 0 && info->XSize == 0) return 0;
        g->XSize = info->XSize;
        g->YSize = info->YSize;
        g->XOff = info->XOff;
        g->YOff = info->YOff;
        g->XDist = info->XDist;
        g->BytesPerLine = (info->XSize * font->BitsPerPixel + 7) >> 3;
        g->pData = font->pBits + info->Offset;
        return 1;
    }
    return 0;
}

int GUI_SIF_TypeSupported(uint8_t sifType) {
    return sifType <= GUI_FONTKIND_FRM || sifType == 0xFF;
}

int GUI_SIF_CreateFont(const uint8_t *data, uint32_t size, GUI_FONT *font, uint8_t sifType) {
    if (!data || !font || !GUI_SIF_TypeSupported(sifType)) return 0;
    if (size < SIF_Ranges || memcmp(data + SIF_Signature, "GUIP", 4) != 0) return 0;
    uint32_t ysize = rd16(data + SIF_YSize), na = rd16(data + SIF_NumRanges);
    if (ysize == 0 || ysize > SIF_MAX_EXTENT || na == 0) return 0;
    if (na > (size - SIF_Ranges) / SIF_RangeSize) return 0;
    uint32_t chars = 0;
    for (uint32_t k = 0; k < na; k++) {
        uint32_t first = rd16(data + SIF_Ranges + SIF_RangeSize * k);
        uint32_t last = rd16(data + SIF_Ranges + SIF_RangeSize * k + 2);
        if (first > last) return 0;
        chars += last - first + 1; // at most 65536 per range, 2^32 / 2^16 ranges
    }
    uint8_t kind = sifType == 0xFF ? (uint8_t)GUI_FONTKIND_PROP : sifType;
    uint32_t recSize =
        (kind == GUI_FONTKIND_PROP_EXT || kind == GUI_FONTKIND_FRM) ? SIFX_RecordSize : SIFP_RecordSize;
    uint32_t infoAt = SIF_Ranges + SIF_RangeSize * na;
    if (chars > (size - infoAt) / recSize) return 0;
    static const uint8_t bpp[] = {1, 1, 2, 4, 2};
    memset(font, 0, sizeof *font);
    font->Kind = kind;
    font->BitsPerPixel = bpp[kind];
    font->YSize = (uint16_t)ysize;
    font->YDist = (uint16_t)rd16(data + SIF_YDist);
    if (font->YDist > SIF_MAX_EXTENT) font->YDist = SIF_MAX_EXTENT;
    font->Baseline = (uint16_t)rd16(data + SIF_Baseline);
    font->LHeight = (uint16_t)rd16(data + SIF_LHeight);
    font->CHeight = (uint16_t)rd16(data + SIF_CHeight);
    font->NumRanges = (uint16_t)na;
    font->pSIF = data;
    font->SIFSize = size;
    font->SIFRecordSize = (uint16_t)recSize;
    return 1;
}
