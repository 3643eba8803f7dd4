// Reading a project file into an image: macros as written, pictures from PNG and BMP files, user
// fonts rendered from TrueType files by the font compiler, GIF files as they are.
#include "tools/pack/project.h"

#include <png.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#ifdef ZEFO_PACK_FONTS
#include "tools/fontc/fontc.h"
#endif

#include "resource/resource.h"

namespace pack {

namespace {

// Marks a record number taken by "blank" while the project is read.
const char *const kReserved = "\x01";

bool readFile(const std::string &path, std::vector<uint8_t> *out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string directoryOf(const std::string &path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// A file named in the project: relative to the project's folder unless it is absolute.
std::string pathOf(const std::string &dir, const std::string &name) {
    return !name.empty() && name[0] == '/' ? name : dir + name;
}

std::string trim(const std::string &s) {
    size_t a = 0, b = s.size();
    while (a < b && isspace((unsigned char)s[a])) a++;
    while (b > a && isspace((unsigned char)s[b - 1])) b--;
    return s.substr(a, b - a);
}

// Words separated by blanks; a word in double quotes may hold blanks.
bool tokenize(const std::string &line, std::vector<std::string> *words, std::string *error) {
    words->clear();
    size_t i = 0;
    while (i < line.size()) {
        if (isspace((unsigned char)line[i])) {
            i++;
            continue;
        }
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                *error = "missing closing double quote";
                return false;
            }
            words->push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        size_t end = i;
        while (end < line.size() && !isspace((unsigned char)line[end])) end++;
        words->push_back(line.substr(i, end - i));
        i = end;
    }
    return true;
}

bool isNumber(const std::string &s) {
    if (s.empty() || s.size() > 6) return false;
    for (char c : s)
        if (!isdigit((unsigned char)c)) return false;
    return true;
}

bool validMacroName(const std::string &s) {
    if (s.empty() || s.size() > 31 || !(isalpha((unsigned char)s[0]) || s[0] == '_')) return false;
    for (char c : s)
        if (!(isalnum((unsigned char)c) || c == '_')) return false;
    return true;
}

bool parseColour(const std::string &s, uint32_t *rgb) {
    if (s.size() != 3 && s.size() != 6) return false;
    for (char c : s)
        if (!isxdigit((unsigned char)c)) return false;
    uint32_t v = (uint32_t)std::stoul(s, nullptr, 16);
    if (s.size() == 3) v = ((v >> 8) & 0xF) * 0x110000 + ((v >> 4) & 0xF) * 0x1100 + (v & 0xF) * 0x11;
    *rgb = v;
    return true;
}

uint32_t le16(const std::vector<uint8_t> &b, size_t at) {
    return b[at] | (uint32_t)b[at + 1] << 8;
}
uint32_t le32(const std::vector<uint8_t> &b, size_t at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}

// Uncompressed Windows BMP files of 1, 4, 8, 16 (5-5-5), 24 and 32 bits per pixel.
bool loadBmp(const std::vector<uint8_t> &f, int *w, int *h, std::vector<uint32_t> *argb, std::string *error) {
    if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') {
        *error = "not a BMP file";
        return false;
    }
    int32_t width = (int32_t)le32(f, 18), height = (int32_t)le32(f, 22);
    uint32_t bpp = le16(f, 28), compression = le32(f, 30), colours = le32(f, 46);
    uint32_t dataOffset = le32(f, 10), paletteOffset = 14 + le32(f, 14);
    bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) {
        *error = "BMP size out of range";
        return false;
    }
    if (compression != 0 && !(compression == 3 && (bpp == 16 || bpp == 32))) {
        *error = "compressed BMP files are not read; save the picture uncompressed";
        return false;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        *error = "BMP with " + std::to_string(bpp) + " bits per pixel";
        return false;
    }
    std::vector<uint32_t> pal;
    if (bpp <= 8) {
        if (colours == 0 || colours > (1u << bpp)) colours = 1u << bpp;
        for (uint32_t i = 0; i < colours; i++) {
            size_t at = paletteOffset + 4 * i;
            if (at + 4 > f.size()) {
                *error = "BMP palette runs past the end of the file";
                return false;
            }
            pal.push_back(0xFF000000u | (uint32_t)f[at + 2] << 16 | (uint32_t)f[at + 1] << 8 | f[at]);
        }
    }
    const size_t stride = ((size_t)width * bpp + 31) / 32 * 4;
    if (dataOffset + stride * (size_t)height > f.size()) {
        *error = "BMP pixel data runs past the end of the file";
        return false;
    }
    argb->assign((size_t)width * height, 0);
    for (int32_t r = 0; r < height; r++) {
        const uint8_t *row = &f[dataOffset + stride * (size_t)r];
        int32_t y = topDown ? r : height - 1 - r;
        for (int32_t x = 0; x < width; x++) {
            uint32_t v;
            switch (bpp) {
            case 1:
                v = pal[std::min<uint32_t>((row[x >> 3] >> (7 - (x & 7))) & 1, (uint32_t)pal.size() - 1)];
                break;
            case 4:
                v = pal[std::min<uint32_t>((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF,
                                           (uint32_t)pal.size() - 1)];
                break;
            case 8:
                v = pal[std::min<uint32_t>(row[x], (uint32_t)pal.size() - 1)];
                break;
            case 16: {
                uint32_t p = row[2 * x] | (uint32_t)row[2 * x + 1] << 8;
                v = 0xFF000000u | ((p >> 10) & 0x1F) * 255 / 31 << 16 | ((p >> 5) & 0x1F) * 255 / 31 << 8 |
                    (p & 0x1F) * 255 / 31;
                break;
            }
            case 24:
                v = 0xFF000000u | (uint32_t)row[3 * x + 2] << 16 | (uint32_t)row[3 * x + 1] << 8 | row[3 * x];
                break;
            default:
                v = 0xFF000000u | (uint32_t)row[4 * x + 2] << 16 | (uint32_t)row[4 * x + 1] << 8 | row[4 * x];
                break;
            }
            (*argb)[(size_t)y * width + x] = v;
        }
    }
    *w = width;
    *h = height;
    return true;
}

bool loadPng(const std::string &path, int *w, int *h, std::vector<uint32_t> *argb, std::string *error) {
    png_image img;
    memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) {
        *error = img.message;
        return false;
    }
    img.format = PNG_FORMAT_BGRA; // 0xAARRGGBB in memory on a little-endian PC
    if (img.width > 0xFFFF || img.height > 0xFFFF) {
        png_image_free(&img);
        *error = "PNG size out of range";
        return false;
    }
    std::vector<uint8_t> buf(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) {
        *error = img.message;
        return false;
    }
    argb->resize((size_t)img.width * img.height);
    for (size_t i = 0; i < argb->size(); i++)
        (*argb)[i] = (uint32_t)buf[4 * i] | (uint32_t)buf[4 * i + 1] << 8 | (uint32_t)buf[4 * i + 2] << 16 |
                     (uint32_t)buf[4 * i + 3] << 24;
    *w = (int)img.width;
    *h = (int)img.height;
    return true;
}

struct Parser {
    std::string file;
    std::string dir;
    Image *image;
    std::vector<std::string> *errors;
    int line = 0;
    int nextRecord = 1;

    void fail(int at, const std::string &message) {
        errors->push_back(file + ":" + std::to_string(at) + ": " + message);
    }

    // An optional record number as the first word, else the next one.
    bool recordIndex(std::vector<std::string> &w, size_t minWords, int *index) {
        if (w.size() > minWords && isNumber(w[1])) {
            *index = std::stoi(w[1]);
            w.erase(w.begin() + 1);
            if (*index < 1 || *index > 4095) {
                fail(line, "record number " + std::to_string(*index) + " out of range 1..4095");
                return false;
            }
        } else {
            *index = nextRecord;
        }
        if ((size_t)*index < image->records.size() &&
            (image->records[*index].type != RES_BLANK || image->records[*index].fontName == kReserved)) {
            fail(line, "record " + std::to_string(*index) + " is used twice");
            return false;
        }
        if (image->records.size() <= (size_t)*index) image->records.resize(*index + 1);
        if (*index >= nextRecord) nextRecord = *index + 1;
        return true;
    }

    void bitmap(std::vector<std::string> w) {
        int index;
        if (w.size() < 2)
            return fail(line,
                        "bitmap needs a file: bitmap [RECORD] FILE [plain|compressed|transparent COLOUR]");
        if (!recordIndex(w, 2, &index)) return;
        Record r;
        r.type = RES_BITMAP;
        uint32_t transparentRgb = 0;
        if (w.size() >= 3) {
            if (w[2] == "plain") {
                r.type = RES_BITMAP;
            } else if (w[2] == "compressed") {
                r.type = RES_RLE_BITMAP;
            } else if (w[2] == "transparent") {
                r.type = RES_TRANS_BITMAP;
                if (w.size() < 4 || !parseColour(w[3], &transparentRgb))
                    return fail(line, "transparent needs a colour as RGB or RRGGBB in hexadecimal");
            } else {
                return fail(line,
                            "unknown bitmap kind \"" + w[2] + "\" (plain, compressed, transparent COLOUR)");
            }
        }
        size_t expected = r.type == RES_TRANS_BITMAP ? 4 : w.size() >= 3 ? 3 : 2;
        if (w.size() > expected) return fail(line, "unexpected \"" + w[expected] + "\"");
        std::vector<uint32_t> argb;
        std::string err;
        if (!loadPicture(pathOf(dir, w[1]), &r.width, &r.height, &argb, &err))
            return fail(line, w[1] + ": " + err);
        r.transparent = rgbTo565(transparentRgb);
        r.pixels.resize(argb.size());
        for (size_t i = 0; i < argb.size(); i++) {
            bool clear = r.type == RES_TRANS_BITMAP && (argb[i] >> 24) < 128;
            r.pixels[i] = clear ? r.transparent : rgbTo565(argb[i] & 0xFFFFFF);
        }
        image->records[index] = r;
    }

    void gif(std::vector<std::string> w) {
        int index;
        if (w.size() < 2) return fail(line, "gif needs a file: gif [RECORD] FILE");
        if (!recordIndex(w, 2, &index)) return;
        if (w.size() > 2) return fail(line, "unexpected \"" + w[2] + "\"");
        Record r;
        r.type = RES_GIF;
        if (!readFile(pathOf(dir, w[1]), &r.data)) return fail(line, w[1] + ": cannot read the file");
        if (r.data.size() < 13 ||
            (memcmp(r.data.data(), "GIF87a", 6) != 0 && memcmp(r.data.data(), "GIF89a", 6) != 0))
            return fail(line, w[1] + ": not a GIF file");
        image->records[index] = r;
    }

    void blank(std::vector<std::string> w) {
        int index;
        if (!recordIndex(w, 1, &index)) return;
        if (w.size() > 1) return fail(line, "unexpected \"" + w[1] + "\"");
        // Reserve the number: a blank record that no later directive may take.
        image->records[index].type = RES_BLANK;
        image->records[index].fontName = kReserved;
    }

    void font(std::vector<std::string> w) {
        int index;
        if (!recordIndex(w, 4, &index)) return;
        if (w.size() < 4)
            return fail(line,
                        "font needs a name, a TrueType file and a size: font [RECORD] NAME FILE SIZE ...");
        const std::string &name = w[1];
        if (name.empty() || name.size() > 9)
            return fail(line, "font name \"" + name + "\" must have 1 to 9 characters");
#ifdef ZEFO_PACK_FONTS
        fontc::RenderOptions opt;
        opt.ttf = pathOf(dir, w[2]);
        std::string size = w[3];
        bool points = size.size() > 2 && size.compare(size.size() - 2, 2, "pt") == 0;
        if (size.size() > 2 && (points || size.compare(size.size() - 2, 2, "px") == 0))
            size.resize(size.size() - 2);
        char *end = nullptr;
        double v = strtod(size.c_str(), &end);
        if (size.empty() || *end || v <= 0 || v > 200)
            return fail(line, "font size \"" + w[3] + "\" (pixels, or points with pt)");
        (points ? opt.points : opt.pixels) = v;
        opt.format = fontc::Format::AA4;
        std::string ranges = "0x20-0x7E,0xA0-0xFF";
        for (size_t i = 4; i < w.size(); i++) {
            fontc::Format f;
            if (fontc::parseFormat(w[i], &f)) {
                opt.format = f;
            } else if (w[i] == "mono") {
                opt.monospace = true;
            } else if ((w[i] == "height" || w[i] == "ranges") && i + 1 < w.size()) {
                if (w[i] == "height") {
                    if (!isNumber(w[i + 1])) return fail(line, "height needs a number of pixels");
                    opt.height = std::stoi(w[i + 1]);
                } else {
                    ranges = w[i + 1];
                }
                i++;
            } else {
                return fail(line, "unknown font option \"" + w[i] + "\"");
            }
        }
        if (!fontc::parseRanges(ranges, &opt.ranges))
            return fail(line, "bad character ranges \"" + ranges + "\"");
        fontc::Font rendered;
        std::string err;
        if (!fontc::render(opt, &rendered, &err)) return fail(line, w[2] + ": " + err);
        Record r;
        r.type = RES_FONT;
        r.fontName = name;
        r.sifType = fontc::sifType(opt.format);
        r.data = fontc::writeGuip(rendered);
        image->records[index] = r;
#else
        fail(line, "this builder was made without the font compiler (FreeType): fonts cannot be added");
#endif
    }

    // "macro [NUMBER] [NAME]" and its lines up to "end".
    void macro(const std::vector<std::string> &w, std::istream &in) {
        const int start = line;
        int number = 0;
        std::string name;
        size_t i = 1;
        if (i < w.size() && isNumber(w[i])) number = std::stoi(w[i++]);
        if (i < w.size()) name = w[i++];
        bool ok = true;
        if (i < w.size()) {
            fail(start, "unexpected \"" + w[i] + "\" (macro [NUMBER] [NAME])");
            ok = false;
        }
        if (number == 0 && i > 1 && isNumber(w[1])) {
            fail(start, "macro numbers start at 1");
            ok = false;
        }
        if (number > 255) {
            fail(start, "macro number " + std::to_string(number) + " above 255");
            ok = false;
        }
        if (!name.empty() && !validMacroName(name)) {
            fail(start,
                 "macro name \"" + name + "\": a letter or _ first, then letters, digits and _ (at most 31)");
            ok = false;
        }
        if (!name.empty())
            for (size_t k = 0; k < image->macros.size(); k++)
                if (image->macros[k].name == name) {
                    fail(start, "macro name \"" + name + "\" is used twice");
                    ok = false;
                }
        if (number == 0) number = (int)image->macros.size() + 1;
        if (ok && number > 255) {
            fail(start, "more than 255 macros");
            ok = false;
        }
        if (ok && (size_t)number <= image->macros.size() && image->macros[number - 1].defined) {
            fail(start, "macro " + std::to_string(number) + " is defined twice");
            ok = false;
        }
        Macro m;
        m.name = name;
        m.defined = true;
        std::string text;
        bool ended = false;
        while (std::getline(in, text)) {
            line++;
            std::string t = trim(text);
            if (t == "end") {
                ended = true;
                break;
            }
            if (t.empty() || t[0] == '#') continue;
            if (t.size() > 128) {
                fail(line, "macro line of " + std::to_string(t.size()) + " characters; at most 128 fit");
                ok = false;
            }
            m.lines.push_back(t);
        }
        if (!ended) {
            fail(start, "macro without \"end\"");
            return;
        }
        if (!ok) return;
        if (image->macros.size() < (size_t)number) image->macros.resize(number);
        image->macros[number - 1] = m;
    }
};

} // namespace

bool loadPicture(const std::string &path, int *width, int *height, std::vector<uint32_t> *argb,
                 std::string *error) {
    std::vector<uint8_t> f;
    if (!readFile(path, &f)) {
        *error = "cannot read the file";
        return false;
    }
    if (f.size() >= 8 && memcmp(f.data(), "\x89PNG", 4) == 0)
        return loadPng(path, width, height, argb, error);
    if (f.size() >= 2 && f[0] == 'B' && f[1] == 'M') return loadBmp(f, width, height, argb, error);
    *error = "neither a PNG nor a BMP file";
    return false;
}

bool readProject(const std::string &path, Image *image, std::vector<std::string> *errors) {
    std::ifstream in(path);
    if (!in) {
        errors->push_back(path + ": cannot read the project file");
        return false;
    }
    Parser p{path, directoryOf(path), image, errors};
    std::string text;
    while (std::getline(in, text)) {
        p.line++;
        std::string t = trim(text);
        if (t.empty() || t[0] == '#') continue;
        std::vector<std::string> w;
        std::string err;
        if (!tokenize(t, &w, &err)) {
            p.fail(p.line, err);
            continue;
        }
        if (w[0] == "macro")
            p.macro(w, in);
        else if (w[0] == "bitmap")
            p.bitmap(w);
        else if (w[0] == "font")
            p.font(w);
        else if (w[0] == "gif")
            p.gif(w);
        else if (w[0] == "blank")
            p.blank(w);
        else if (w[0] == "end")
            p.fail(p.line, "\"end\" without a macro");
        else
            p.fail(p.line, "unknown directive \"" + w[0] + "\" (macro, bitmap, font, gif, blank)");
    }
    for (Record &r : image->records)
        if (r.type == RES_BLANK) r.fontName.clear();
    return errors->empty();
}

} // namespace pack
