// Writing and listing resource images.
#include "tools/pack/image.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "resource/resource.h"

namespace pack {

namespace {

const uint32_t kBase = 0x08400000;  // where the display keeps the image (board address)
const uint32_t kMaxSize = 0xB00000; // the display's image region

void put16(std::vector<uint8_t> &b, size_t at, uint32_t v) {
    b[at] = (uint8_t)v;
    b[at + 1] = (uint8_t)(v >> 8);
}
void put32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}
uint32_t get16(const std::vector<uint8_t> &b, size_t at) {
    return b[at] | (uint32_t)b[at + 1] << 8;
}
uint32_t get32(const std::vector<uint8_t> &b, size_t at) {
    return get16(b, at) | get16(b, at + 2) << 16;
}

void align4(std::vector<uint8_t> &b) {
    while (b.size() % 4) b.push_back(0);
}

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

// Width, height and frames of a GIF, walking its blocks.
void gifInfo(const uint8_t *p, size_t size, int *w, int *h, int *frames) {
    *w = *h = *frames = 0;
    if (size < 13 || memcmp(p, "GIF8", 4) != 0) return;
    *w = p[6] | p[7] << 8;
    *h = p[8] | p[9] << 8;
    size_t i = 13;
    if (p[10] & 0x80) i += (size_t)3 << ((p[10] & 7) + 1);
    auto skipBlocks = [&]() {
        while (i < size && p[i]) i += 1u + p[i];
        i++;
    };
    while (i < size) {
        uint8_t b = p[i++];
        if (b == 0x2C) {
            if (size - i < 9) break;
            uint8_t flags = p[i + 8];
            i += 9;
            if (flags & 0x80) i += (size_t)3 << ((flags & 7) + 1);
            i++;
            skipBlocks();
            ++*frames;
        } else if (b == 0x21) {
            i++;
            skipBlocks();
        } else {
            break;
        }
    }
}

} // namespace

uint16_t rgbTo565(uint32_t rgb) {
    uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return (uint16_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

std::vector<uint8_t> rleEncode(const std::vector<uint16_t> &px) {
    std::vector<uint8_t> out;
    const size_t n = px.size();
    size_t i = 0;
    auto runAt = [&](size_t at) {
        size_t r = 1;
        while (at + r < n && r < 255 && px[at + r] == px[at]) r++;
        return r;
    };
    while (i < n) {
        size_t run = runAt(i);
        if (run >= 2) {
            out.push_back((uint8_t)run);
            out.push_back((uint8_t)px[i]);
            out.push_back((uint8_t)(px[i] >> 8));
            i += run;
            continue;
        }
        // Literal pixels up to the next run of three or more (at most 256).
        size_t start = i, count = 0;
        while (i < n && count < 256 && !(count > 0 && runAt(i) >= 3)) {
            i++;
            count++;
        }
        out.push_back(0);
        out.push_back((uint8_t)(count == 256 ? 0 : count));
        for (size_t k = start; k < start + count; k++) {
            out.push_back((uint8_t)px[k]);
            out.push_back((uint8_t)(px[k] >> 8));
        }
    }
    return out;
}

bool rleDecode(const uint8_t *s, size_t size, size_t count, std::vector<uint16_t> *px) {
    px->clear();
    size_t i = 0;
    while (px->size() < count) {
        if (i >= size) return false;
        uint32_t n = s[i++];
        if (n) {
            if (size - i < 2) return false;
            uint16_t v = (uint16_t)(s[i] | s[i + 1] << 8);
            i += 2;
            for (uint32_t k = 0; k < n && px->size() < count; k++) px->push_back(v);
            continue;
        }
        if (i >= size) return false;
        uint32_t m = s[i++];
        if (m == 0) m = 256;
        if (size - i < 2 * m) return false;
        for (uint32_t k = 0; k < m && px->size() < count; k++, i += 2)
            px->push_back((uint16_t)(s[i] | s[i + 1] << 8));
    }
    return true;
}

bool build(const Image &image, std::vector<uint8_t> *out, std::string *error) {
    std::vector<Record> recs = image.records;
    if (recs.empty()) recs.resize(1);
    if (recs.size() > 0xFFFF) {
        *error = "too many records";
        return false;
    }
    const size_t count = recs.size();
    std::vector<uint8_t> b(RES_HEADER_SIZE + count * RES_RECORD_SIZE, 0);
    put16(b, 0, RES_MAGIC);
    put16(b, 2, (uint32_t)count);
    auto setRecord = [&](size_t i, uint8_t type, uint32_t offset, uint32_t size) {
        size_t at = RES_HEADER_SIZE + i * RES_RECORD_SIZE;
        b[at] = type;
        put32(b, at + 4, offset);
        put32(b, at + 8, size);
    };

    // Record 0: the macro table, its name table, then the macro texts.
    if (!image.macros.empty()) {
        if (image.macros.size() > 255) {
            *error = "more than 255 macros";
            return false;
        }
        align4(b);
        const size_t table = b.size(), m = image.macros.size();
        setRecord(0, RES_MACROS, (uint32_t)table, (uint32_t)m);
        b.resize(table + m * RES_MACRO_ENTRY_SIZE, 0);
        // Name table: marker, the byte length of the names, then string 0 (empty) and one per macro.
        std::vector<uint8_t> names(1, 0);
        for (const Macro &mac : image.macros) {
            names.insert(names.end(), mac.name.begin(), mac.name.end());
            names.push_back(0);
        }
        size_t meta = b.size();
        b.resize(meta + 6, 0);
        put16(b, meta, RES_META_MARKER);
        put32(b, meta + 2, (uint32_t)names.size());
        b.insert(b.end(), names.begin(), names.end());
        for (size_t k = 0; k < m; k++) {
            const Macro &mac = image.macros[k];
            size_t text = b.size();
            for (const std::string &line : mac.lines) {
                b.insert(b.end(), line.begin(), line.end());
                b.push_back(0);
            }
            if (mac.lines.size() > 0xFFFF) {
                *error = "macro with too many lines";
                return false;
            }
            size_t e = table + k * RES_MACRO_ENTRY_SIZE;
            put32(b, e, (uint32_t)text);
            put16(b, e + 4, (uint32_t)mac.lines.size());
            put16(b, e + 6, (uint32_t)(k + 1));
        }
    }

    for (size_t i = 1; i < count; i++) {
        const Record &r = recs[i];
        align4(b);
        const size_t obj = b.size();
        switch (r.type) {
        case RES_BLANK:
            break;
        case RES_BITMAP:
        case RES_RLE_BITMAP:
        case RES_TRANS_BITMAP: {
            if (r.width < 1 || r.height < 1 || r.width > 0xFFFF || r.height > 0xFFFF ||
                r.pixels.size() != (size_t)r.width * r.height) {
                *error = "record " + std::to_string(i) + ": bad bitmap size";
                return false;
            }
            b.resize(obj + RES_BITMAP_SIZE, 0);
            put16(b, obj, (uint32_t)r.width);
            put16(b, obj + 2, (uint32_t)r.height);
            put16(b, obj + 4, (uint32_t)r.width * 2);
            put16(b, obj + 6, 16);
            put32(b, obj + 8, (uint32_t)(obj + RES_BITMAP_SIZE));
            put32(b, obj + 12, r.type == RES_TRANS_BITMAP ? r.transparent : 0);
            if (r.type == RES_RLE_BITMAP) {
                std::vector<uint8_t> s = rleEncode(r.pixels);
                b.insert(b.end(), s.begin(), s.end());
            } else {
                for (uint16_t v : r.pixels) {
                    b.push_back((uint8_t)v);
                    b.push_back((uint8_t)(v >> 8));
                }
            }
            setRecord(i, r.type, (uint32_t)obj, (uint32_t)(b.size() - obj));
            break;
        }
        case RES_FONT: {
            if (r.fontName.empty() || r.fontName.size() >= RES_FONT_NAME_MAX) {
                *error = "record " + std::to_string(i) + ": font name must have 1 to 9 characters";
                return false;
            }
            b.resize(obj + 20, 0);
            put32(b, obj, (uint32_t)(obj + 8));
            put32(b, obj + 4, (uint32_t)(obj + 20));
            memcpy(&b[obj + 8], r.fontName.data(), r.fontName.size());
            b[obj + 18] = r.sifType;
            b.insert(b.end(), r.data.begin(), r.data.end());
            setRecord(i, RES_FONT, (uint32_t)obj, (uint32_t)(b.size() - obj));
            break;
        }
        case RES_GIF:
            b.insert(b.end(), r.data.begin(), r.data.end());
            setRecord(i, RES_GIF, (uint32_t)obj, (uint32_t)r.data.size());
            break;
        default:
            *error = "record " + std::to_string(i) + ": unknown type";
            return false;
        }
    }
    if (b.size() > kMaxSize) {
        *error = "the image has " + std::to_string(b.size()) + " bytes; the display holds at most " +
                 std::to_string(kMaxSize);
        return false;
    }
    put32(b, 4, (uint32_t)b.size());
    *out = std::move(b);
    return true;
}

bool list(const std::vector<uint8_t> &b, bool bitmaps, bool macros, std::string *out, std::string *error) {
    if (b.size() < RES_HEADER_SIZE || get16(b, 0) != RES_MAGIC) {
        *error = "not a resource image (no 0xFEEB magic)";
        return false;
    }
    const uint32_t count = get16(b, 2);
    if (get32(b, 4) != b.size() || RES_HEADER_SIZE + (size_t)count * RES_RECORD_SIZE > b.size()) {
        *error = "the header does not match the file size";
        return false;
    }
    std::string s;
    auto in = [&](uint32_t off, uint32_t len) { return off <= b.size() && len <= b.size() - off; };
    auto addr = [&](uint32_t v) { return v < kBase ? kBase + v : v; };
    auto bitmapLines = [&](uint32_t obj, uint8_t type, bool detail) {
        if (!in(obj, RES_BITMAP_SIZE)) return std::string();
        uint32_t w = get16(b, obj), h = get16(b, obj + 2), bpl = get16(b, obj + 4), bpp = get16(b, obj + 6);
        uint32_t data = get32(b, obj + 8), pal = get32(b, obj + 12);
        std::string t;
        if (type == RES_BITMAP) t = format("    Uncompressed Bitmap: %ux%u\n", w, h);
        if (type == RES_RLE_BITMAP) t = format("    Compressed Bitmap: %ux%u\n", w, h);
        if (type == RES_TRANS_BITMAP)
            t = format("    Uncompressed Transparent Bitmap: %ux%u (0x%X)\n", w, h, pal & 0xFFFF);
        if (!detail) return t;
        t += format("    %ux%u %ubpp (%u Bpl)\n", w, h, bpp, bpl);
        t += format("    gBitmap  @ %06x\n", addr(obj));
        t += format("    gPal     @ %06x\n", pal);
        t += format("    pixels   @ %06x\n", addr(data));
        for (uint32_t k = 0; k < 4 && in(data, 4); k++) t += format("      %u: 0x%02X\n", k, b[data + k]);
        return t;
    };
    s += format("Records: %u\n", count);
    uint32_t used = 0;
    for (uint32_t i = 0; i < count; i++) {
        size_t at = RES_HEADER_SIZE + i * RES_RECORD_SIZE;
        uint8_t type = b[at];
        uint32_t off = get32(b, at + 4), size = get32(b, at + 8);
        s += format("  %02u: type %0X @ %06x size %u\n", i, type, addr(off), size);
        switch (type & 0x0F) {
        case RES_BLANK:
            s += "    Blank Record\n";
            break;
        case RES_BITMAP:
        case RES_RLE_BITMAP:
        case RES_TRANS_BITMAP:
            s += bitmapLines(off, type, bitmaps);
            break;
        case RES_MACROS:
            s += "    Macro Definitions\n";
            break;
        case RES_FONT:
            s += "    User Font\n";
            break;
        case RES_GIF: {
            int w = 0, h = 0, frames = 0;
            if (in(off, size)) gifInfo(&b[off], size, &w, &h, &frames);
            s += format("    GIF: %dx%d, %d frames\n", w, h, frames);
            break;
        }
        default:
            s += "    Unknown record type!\n";
            break;
        }
        if (i + 1 == count) used = size ? off + size : 0;
    }
    s += "\n";
    s += format("Total Used %uKB\n", used < 1024 ? 1 : used / 1024);

    if (macros) {
        s += "Macro Definitions\n";
        uint32_t table = get32(b, RES_HEADER_SIZE + 4), m = get32(b, RES_HEADER_SIZE + 8);
        if (count && b[RES_HEADER_SIZE] == RES_MACROS && in(table, m * RES_MACRO_ENTRY_SIZE + 6)) {
            uint32_t meta = table + m * RES_MACRO_ENTRY_SIZE;
            std::vector<std::string> names;
            if (get16(b, meta) == RES_META_MARKER) {
                size_t p = meta + 6;
                for (uint32_t k = 0; k <= m && p < b.size(); k++) {
                    size_t e = p;
                    while (e < b.size() && b[e]) e++;
                    names.emplace_back((const char *)&b[p], e - p);
                    p = e + 1;
                }
            }
            for (uint32_t k = 1; k <= m; k++) {
                const std::string name = k < names.size() ? names[k] : "";
                s += name.empty() ? format("  #%u:\n", k) : format("  #%u: %s\n", k, name.c_str());
                uint32_t e = table + (k - 1) * RES_MACRO_ENTRY_SIZE;
                size_t p = get32(b, e);
                for (uint32_t line = 0; line < get16(b, e + 4) && p < b.size(); line++) {
                    size_t q = p;
                    while (q < b.size() && b[q]) q++;
                    s += "    '" + std::string((const char *)&b[p], q - p) + "'\n";
                    p = q + 1;
                }
            }
        }
        s += "\nButton -> macro (args):\n";
    }
    *out = s;
    return true;
}

} // namespace pack
