// The font compiler's rendering and its two writers.
#include "tools/fontc/fontc.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_MODULE_H
#include FT_DRIVER_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fontc {

int bitsPerPixel(Format f) {
    switch (f) {
    case Format::Prop:
    case Format::PropExt:
        return 1;
    case Format::AA2:
    case Format::Frm:
        return 2;
    case Format::AA4:
        return 4;
    }
    return 1;
}

uint8_t sifType(Format f) {
    return (uint8_t)f;
}

bool parseFormat(const std::string &name, Format *out) {
    static const struct {
        const char *name;
        Format f;
    } names[] = {{"prop", Format::Prop},
                 {"ext", Format::PropExt},
                 {"aa2", Format::AA2},
                 {"aa4", Format::AA4},
                 {"frm", Format::Frm}};
    for (auto &n : names)
        if (name == n.name) {
            *out = n.f;
            return true;
        }
    return false;
}

bool parseRanges(const std::string &text, std::vector<std::pair<uint32_t, uint32_t>> *out) {
    out->clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t comma = text.find(',', pos);
        std::string part = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        pos = comma == std::string::npos ? text.size() : comma + 1;
        char *end;
        unsigned long a = strtoul(part.c_str(), &end, 0), b = a;
        if (end == part.c_str()) return false;
        if (*end == '-') {
            const char *s = end + 1;
            b = strtoul(s, &end, 0);
            if (end == s) return false;
        }
        if (*end || a > b || b > 0xFFFF) return false;
        out->push_back({(uint32_t)a, (uint32_t)b});
    }
    std::sort(out->begin(), out->end());
    for (size_t i = 1; i < out->size(); i++)
        if ((*out)[i].first <= (*out)[i - 1].second) return false;
    return !out->empty();
}

// Cuts a glyph to its smallest box holding every non-zero pixel.
static void trim(Glyph *g) {
    int x0 = g->xsize, y0 = g->ysize, x1 = -1, y1 = -1;
    for (int y = 0; y < g->ysize; y++)
        for (int x = 0; x < g->xsize; x++)
            if (g->pix[(size_t)(y * g->xsize + x)]) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    if (x1 < 0) {
        g->xsize = g->ysize = 0;
        g->xoff = g->yoff = 0;
        g->pix.clear();
        return;
    }
    std::vector<uint8_t> p;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) p.push_back(g->pix[(size_t)(y * g->xsize + x)]);
    g->pix = std::move(p);
    g->xoff += x0;
    g->yoff += y0;
    g->xsize = x1 - x0 + 1;
    g->ysize = y1 - y0 + 1;
}

// A framed glyph: the glyph's pixels (1) surrounded by a one-pixel frame (2).
static void addFrame(Glyph *g) {
    if (!g->xsize) return;
    int w = g->xsize + 2, h = g->ysize + 2;
    std::vector<uint8_t> p((size_t)(w * h), 0);
    for (int y = 0; y < g->ysize; y++)
        for (int x = 0; x < g->xsize; x++)
            if (g->pix[(size_t)(y * g->xsize + x)]) p[(size_t)((y + 1) * w + x + 1)] = 1;
    std::vector<uint8_t> q = p;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            if (p[(size_t)(y * w + x)]) continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; dy++)
                for (int dx = -1; dx <= 1; dx++) {
                    int xx = x + dx, yy = y + dy;
                    if (xx >= 0 && yy >= 0 && xx < w && yy < h && p[(size_t)(yy * w + xx)] == 1) near = true;
                }
            if (near) q[(size_t)(y * w + x)] = 2;
        }
    g->pix = std::move(q);
    g->xsize = w;
    g->ysize = h;
    g->xoff -= 1;
    g->yoff -= 1;
}

// Keeps only the rows inside the cell, so that a text line never draws outside its own height.
static void clipToCell(Glyph *g, int height) {
    if (!g->xsize) return;
    int top = std::max(0, -g->yoff), bottom = std::min(g->ysize, height - g->yoff);
    if (bottom <= top) {
        g->xsize = g->ysize = 0;
        g->pix.clear();
        return;
    }
    std::vector<uint8_t> p(g->pix.begin() + (ptrdiff_t)(top * g->xsize),
                           g->pix.begin() + (ptrdiff_t)(bottom * g->xsize));
    g->pix = std::move(p);
    g->yoff += top;
    g->ysize = bottom - top;
}

bool render(const RenderOptions &opt, Font *font, std::string *error) {
    FT_Library lib;
    if (FT_Init_FreeType(&lib)) {
        *error = "FreeType cannot start";
        return false;
    }
    // The same hinting engine on every machine: the glyphs are part of the firmware's look.
    FT_UInt interpreter = TT_INTERPRETER_VERSION_40;
    FT_Property_Set(lib, "truetype", "interpreter-version", &interpreter);
    FT_Face face;
    if (FT_New_Face(lib, opt.ttf.c_str(), 0, &face)) {
        *error = "cannot open " + opt.ttf;
        FT_Done_FreeType(lib);
        return false;
    }
    double px = opt.pixels > 0 ? opt.pixels : opt.points * 96.0 / 72.0;
    if (px <= 0 || FT_Set_Char_Size(face, 0, (FT_F26Dot6)std::lround(px * 64), 72, 72)) {
        *error = "bad size";
        FT_Done_Face(face);
        FT_Done_FreeType(lib);
        return false;
    }
    double upem = face->units_per_EM;
    double asc = face->ascender * px / upem, desc = -face->descender * px / upem;
    int height = opt.height > 0 ? opt.height : (int)std::ceil(asc + desc);
    *font = Font();
    font->format = opt.format;
    font->height = height;
    font->ydist = height;
    font->baseline = (int)std::floor((height - (asc + desc)) / 2 + asc + 0.5);
    font->ranges = opt.ranges;

    int bpp = bitsPerPixel(opt.format);
    bool mono = bpp == 1 || opt.format == Format::Frm;
    FT_Int32 flags =
        FT_LOAD_RENDER | (mono ? (FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) : FT_LOAD_TARGET_NORMAL);
    int maxLevel = opt.format == Format::Frm ? 1 : (1 << bpp) - 1;
    for (auto &r : opt.ranges)
        for (uint32_t c = r.first; c <= r.second; c++) {
            Glyph g;
            g.code = c;
            FT_UInt index = FT_Get_Char_Index(face, c);
            if (index && !FT_Load_Glyph(face, index, flags)) {
                FT_GlyphSlot s = face->glyph;
                FT_Bitmap &b = s->bitmap;
                g.xdist = (int)((s->advance.x + 32) >> 6);
                g.xoff = s->bitmap_left;
                g.yoff = font->baseline - s->bitmap_top;
                g.xsize = (int)b.width;
                g.ysize = (int)b.rows;
                g.pix.assign((size_t)(g.xsize * g.ysize), 0);
                for (int y = 0; y < g.ysize; y++) {
                    const uint8_t *row = b.buffer + (ptrdiff_t)y * b.pitch;
                    for (int x = 0; x < g.xsize; x++) {
                        int v;
                        if (b.pixel_mode == FT_PIXEL_MODE_MONO)
                            v = (row[x >> 3] >> (7 - (x & 7))) & 1;
                        else
                            v = (row[x] * maxLevel + 127) / 255;
                        g.pix[(size_t)(y * g.xsize + x)] = (uint8_t)v;
                    }
                }
                trim(&g);
                if (opt.format == Format::Frm) addFrame(&g);
                clipToCell(&g, height);
            }
            font->glyphs.push_back(std::move(g));
        }
    if (opt.monospace) {
        int adv = 0;
        for (auto &g : font->glyphs) adv = std::max(adv, g.xdist);
        for (auto &g : font->glyphs)
            if (g.xdist) g.xdist = adv;
    }
    for (auto &g : font->glyphs) {
        if (g.code == 'x' && g.xsize) font->lheight = font->baseline - g.yoff;
        if (g.code == 'X' && g.xsize) font->cheight = font->baseline - g.yoff;
    }
    char desc_text[512];
    snprintf(desc_text, sizeof desc_text, "%s %s, em %.2f px, cell %d px, baseline %d, %d bit%s per pixel",
             face->family_name, face->style_name, px, height, font->baseline, bpp, bpp > 1 ? "s" : "");
    font->description = desc_text;
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    return true;
}

// Glyph rows packed most significant pixel first.
static void packRows(const Glyph &g, int bpp, std::vector<uint8_t> *out) {
    int bpl = (g.xsize * bpp + 7) / 8;
    for (int y = 0; y < g.ysize; y++) {
        std::vector<uint8_t> row((size_t)bpl, 0);
        for (int x = 0; x < g.xsize; x++) {
            int bit = x * bpp;
            row[(size_t)(bit >> 3)] |= (uint8_t)(g.pix[(size_t)(y * g.xsize + x)] << (8 - bpp - (bit & 7)));
        }
        out->insert(out->end(), row.begin(), row.end());
    }
}

static const char *kindName(Format f) {
    switch (f) {
    case Format::Prop:
        return "GUI_FONTKIND_PROP";
    case Format::PropExt:
        return "GUI_FONTKIND_PROP_EXT";
    case Format::AA2:
        return "GUI_FONTKIND_AA2";
    case Format::AA4:
        return "GUI_FONTKIND_AA4";
    case Format::Frm:
        return "GUI_FONTKIND_FRM";
    }
    return "";
}

static std::string charComment(uint32_t c) {
    char buf[32];
    if (c >= 0x21 && c <= 0x7E && c != '\\')
        snprintf(buf, sizeof buf, " // '%c'", (char)c);
    else
        snprintf(buf, sizeof buf, " // 0x%02X", (unsigned)c);
    return buf;
}

std::string writeCpp(const Font &font, const std::string &symbol) {
    int bpp = bitsPerPixel(font.format);
    std::vector<uint8_t> bits;
    std::string info;
    char line[256];
    size_t gi = 0;
    for (auto &r : font.ranges) {
        snprintf(line, sizeof line, "static const GUI_CHARINFO info%04X[] = {\n", (unsigned)r.first);
        info += line;
        for (uint32_t c = r.first; c <= r.second; c++, gi++) {
            const Glyph &g = font.glyphs[gi];
            if (g.xsize > 255 || g.ysize > 255 || g.xoff < -128 || g.xoff > 127 || g.yoff < 0 ||
                g.yoff > 255 || g.xdist > 255 || bits.size() >= (1u << 24)) {
                fprintf(stderr, "fontc: glyph 0x%X does not fit the compiled format\n", (unsigned)c);
                exit(1);
            }
            snprintf(line, sizeof line, "    {%d, %d, %d, %d, %d, %u},", g.xsize, g.ysize, g.xoff, g.yoff,
                     g.xdist, g.xsize ? (unsigned)bits.size() : 0u);
            info += line + charComment(c) + "\n";
            packRows(g, bpp, &bits);
        }
        info += "};\n";
    }
    std::string s;
    s += "// " + symbol + ": " + font.description + ".\n";
    s += "// Generated by the font compiler from the table tools/fontc/fonts.txt (tools/fontc/regen.sh);\n";
    s += "// do not edit. The glyphs are renderings of a free font; its copyright and licence are in\n";
    s += "// gfx/fonts/LICENSE.txt.\n";
    s += "#include \"gfx/font.h\"\n\n// clang-format off\n";
    snprintf(line, sizeof line, "static const uint8_t bits[%zu] = {", bits.empty() ? (size_t)1 : bits.size());
    s += line;
    for (size_t i = 0; i < bits.size(); i++) {
        if (i % 16 == 0) s += "\n   ";
        snprintf(line, sizeof line, " 0x%02X,", bits[i]);
        s += line;
    }
    if (bits.empty()) s += "0";
    s += "\n};\n\n" + info + "\nstatic const GUI_FONT_RANGE ranges[] = {\n";
    for (auto &r : font.ranges) {
        snprintf(line, sizeof line, "    {0x%04X, 0x%04X, info%04X},\n", (unsigned)r.first,
                 (unsigned)r.second, (unsigned)r.first);
        s += line;
    }
    s += "};\n\n";
    snprintf(line, sizeof line,
             "extern const GUI_FONT %s = {%s, %d, %d, %d, %d, %d, %d, %zu, ranges, bits, nullptr, 0, 0};\n",
             symbol.c_str(), kindName(font.format), bpp, font.height, font.ydist, font.baseline, font.lheight,
             font.cheight, font.ranges.size());
    s += line;
    return s;
}

static void put16(std::vector<uint8_t> *v, size_t at, uint32_t x) {
    (*v)[at] = (uint8_t)x;
    (*v)[at + 1] = (uint8_t)(x >> 8);
}
static void put32(std::vector<uint8_t> *v, size_t at, uint32_t x) {
    put16(v, at, x & 0xFFFF);
    put16(v, at + 2, x >> 16);
}

// A full-height glyph of the plain formats: columns from the pen position to the advance (or the
// glyph's right edge), every row of the cell.
static Glyph fullHeight(const Glyph &g, int height) {
    Glyph f;
    f.code = g.code;
    f.xdist = g.xdist;
    f.xsize = std::max(g.xdist, g.xsize ? g.xoff + g.xsize : 0);
    f.ysize = f.xsize ? height : 0;
    f.pix.assign((size_t)(f.xsize * f.ysize), 0);
    for (int y = 0; y < g.ysize; y++)
        for (int x = 0; x < g.xsize; x++) {
            int fx = g.xoff + x, fy = g.yoff + y;
            if (fx >= 0 && fx < f.xsize && fy >= 0 && fy < f.ysize)
                f.pix[(size_t)(fy * f.xsize + fx)] = g.pix[(size_t)(y * g.xsize + x)];
        }
    return f;
}

std::vector<uint8_t> writeGuip(const Font &font) {
    const bool ext = font.format == Format::PropExt || font.format == Format::Frm;
    const size_t recSize = ext ? 16 : 12;
    const int bpp = bitsPerPixel(font.format);
    size_t na = font.ranges.size();
    size_t infoAt = 16 + 4 * na;
    size_t bitsAt = infoAt + font.glyphs.size() * recSize;
    std::vector<uint8_t> out(bitsAt, 0);
    memcpy(out.data(), "GUIP", 4);
    put16(&out, 4, (uint32_t)font.height);
    put16(&out, 6, (uint32_t)font.ydist);
    put16(&out, 8, (uint32_t)font.baseline);
    put16(&out, 10, (uint32_t)font.lheight);
    put16(&out, 12, (uint32_t)font.cheight);
    put16(&out, 14, (uint32_t)na);
    for (size_t k = 0; k < na; k++) {
        put16(&out, 16 + 4 * k, font.ranges[k].first);
        put16(&out, 18 + 4 * k, font.ranges[k].second);
    }
    for (size_t i = 0; i < font.glyphs.size(); i++) {
        Glyph g = ext ? font.glyphs[i] : fullHeight(font.glyphs[i], font.height);
        size_t r = infoAt + i * recSize;
        uint32_t bpl = (uint32_t)(g.xsize * bpp + 7) / 8;
        uint32_t offset = g.xsize ? (uint32_t)out.size() : 0;
        if (ext) {
            put16(&out, r + 0, (uint32_t)g.xsize);
            put16(&out, r + 2, (uint32_t)g.ysize);
            put16(&out, r + 4, (uint32_t)(int16_t)g.xoff);
            put16(&out, r + 6, (uint32_t)(int16_t)g.yoff);
            put16(&out, r + 8, (uint32_t)g.xdist);
            put16(&out, r + 10, bpl);
            put32(&out, r + 12, offset);
        } else {
            put16(&out, r + 0, (uint32_t)g.xsize);
            put16(&out, r + 2, (uint32_t)g.xdist);
            put16(&out, r + 4, bpl);
            put32(&out, r + 8, offset);
        }
        packRows(g, bpp, &out);
    }
    return out;
}

} // namespace fontc
