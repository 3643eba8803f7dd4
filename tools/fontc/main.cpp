// fontc: the font compiler on the command line.
//
//   fontc cpp  --ttf FILE (--pt P | --px N) [--height H] --format F [--mono] [--ranges R] --symbol S -o OUT
//   fontc guip --ttf FILE (--pt P | --px N) [--height H] --format F [--mono] [--ranges R] -o OUT
//   fontc table TABLE OUTDIR [--fontdir DIR]
//
// Formats: prop, ext, aa2, aa4, frm. Ranges default to printable ASCII and Latin-1
// (0x20-0x7E,0xA0-0xFF). "table" compiles every row of a font table (symbol, font file, points,
// cell height, format, optional "mono") into OUTDIR/<symbol>.cpp.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/fontc/fontc.h"

static const char *kDefaultRanges = "0x20-0x7E,0xA0-0xFF";

static int usage() {
    fprintf(stderr, "usage: fontc cpp|guip --ttf FILE (--pt P | --px N) [--height H] --format "
                    "prop|ext|aa2|aa4|frm [--mono] [--ranges R] [--symbol S] -o OUT\n"
                    "       fontc table TABLE OUTDIR [--fontdir DIR]\n");
    return 2;
}

static bool writeFile(const std::string &path, const void *data, size_t size) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

static int table(int argc, char **argv) {
    if (argc < 4) return usage();
    std::string tablePath = argv[2], outDir = argv[3], fontDir = "/usr/share/fonts/truetype";
    for (int i = 4; i + 1 < argc; i += 2)
        if (!strcmp(argv[i], "--fontdir")) fontDir = argv[i + 1];
    std::ifstream in(tablePath);
    if (!in) {
        fprintf(stderr, "fontc: cannot read %s\n", tablePath.c_str());
        return 1;
    }
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string symbol, file, format, extra;
        double pt;
        int height;
        if (!(words >> symbol >> file >> pt >> height >> format)) {
            fprintf(stderr, "fontc: bad table line: %s\n", line.c_str());
            return 1;
        }
        fontc::RenderOptions opt;
        opt.ttf = fontDir + "/" + file;
        opt.points = pt;
        opt.height = height;
        while (words >> extra)
            if (extra == "mono") opt.monospace = true;
        fontc::parseRanges(kDefaultRanges, &opt.ranges);
        if (!fontc::parseFormat(format, &opt.format)) {
            fprintf(stderr, "fontc: bad format %s\n", format.c_str());
            return 1;
        }
        fontc::Font font;
        std::string error;
        if (!fontc::render(opt, &font, &error)) {
            fprintf(stderr, "fontc: %s: %s\n", symbol.c_str(), error.c_str());
            return 1;
        }
        std::string src = fontc::writeCpp(font, symbol);
        if (!writeFile(outDir + "/" + symbol + ".cpp", src.data(), src.size())) {
            fprintf(stderr, "fontc: cannot write %s\n", (outDir + "/" + symbol + ".cpp").c_str());
            return 1;
        }
        n++;
    }
    fprintf(stderr, "fontc: %d fonts written to %s\n", n, outDir.c_str());
    return 0;
}

int main(int argc, char **argv) {
    if (argc < 2) return usage();
    std::string mode = argv[1];
    if (mode == "table") return table(argc, argv);
    if (mode != "cpp" && mode != "guip") return usage();
    fontc::RenderOptions opt;
    std::string out, symbol = "GUI_FontUser", ranges = kDefaultRanges;
    bool haveFormat = false;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--mono") {
            opt.monospace = true;
            continue;
        }
        if (!v) return usage();
        i++;
        if (a == "--ttf")
            opt.ttf = v;
        else if (a == "--pt")
            opt.points = atof(v);
        else if (a == "--px")
            opt.pixels = atof(v);
        else if (a == "--height")
            opt.height = atoi(v);
        else if (a == "--format") {
            if (!fontc::parseFormat(v, &opt.format)) return usage();
            haveFormat = true;
        } else if (a == "--ranges")
            ranges = v;
        else if (a == "--symbol")
            symbol = v;
        else if (a == "-o")
            out = v;
        else
            return usage();
    }
    if (opt.ttf.empty() || out.empty() || !haveFormat || (opt.points <= 0 && opt.pixels <= 0)) return usage();
    if (!fontc::parseRanges(ranges, &opt.ranges)) {
        fprintf(stderr, "fontc: bad character ranges %s\n", ranges.c_str());
        return 2;
    }
    fontc::Font font;
    std::string error;
    if (!fontc::render(opt, &font, &error)) {
        fprintf(stderr, "fontc: %s\n", error.c_str());
        return 1;
    }
    bool ok;
    if (mode == "cpp") {
        std::string src = fontc::writeCpp(font, symbol);
        ok = writeFile(out, src.data(), src.size());
    } else {
        std::vector<uint8_t> data = fontc::writeGuip(font);
        ok = writeFile(out, data.data(), data.size());
    }
    if (!ok) {
        fprintf(stderr, "fontc: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
