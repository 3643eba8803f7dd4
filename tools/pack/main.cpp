// zefo5-pack: the resource-image builder.
//
//   zefo5-pack PROJECT IMAGE.BIN               build the image from a project file
//   zefo5-pack list IMAGE.BIN [--bitmaps] [--macros]
//                                              the record table as the display's "ls" shows it
//                                              ("lsbmp" detail, "lsmac" listing)
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tools/pack/image.h"
#include "tools/pack/project.h"

static int usage() {
    fprintf(stderr, "usage: zefo5-pack PROJECT IMAGE.BIN\n"
                    "       zefo5-pack list IMAGE.BIN [--bitmaps] [--macros]\n");
    return 2;
}

static int listImage(int argc, char **argv) {
    if (argc < 3) return usage();
    bool bitmaps = false, macros = false;
    for (int i = 3; i < argc; i++) {
        if (!strcmp(argv[i], "--bitmaps"))
            bitmaps = true;
        else if (!strcmp(argv[i], "--macros"))
            macros = true;
        else
            return usage();
    }
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        fprintf(stderr, "zefo5-pack: %s: cannot read the file\n", argv[2]);
        return 1;
    }
    std::vector<uint8_t> bin((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string text, error;
    if (!pack::list(bin, bitmaps, macros, &text, &error)) {
        fprintf(stderr, "zefo5-pack: %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    fputs(text.c_str(), stdout);
    return 0;
}

int main(int argc, char **argv) {
    if (argc >= 2 && !strcmp(argv[1], "list")) return listImage(argc, argv);
    if (argc != 3 || argv[1][0] == '-') return usage();
    pack::Image image;
    std::vector<std::string> errors;
    if (!pack::readProject(argv[1], &image, &errors)) {
        for (const std::string &e : errors) fprintf(stderr, "%s\n", e.c_str());
        return 1;
    }
    std::vector<uint8_t> bin;
    std::string error;
    if (!pack::build(image, &bin, &error)) {
        fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    FILE *f = fopen(argv[2], "wb");
    bool ok = f && fwrite(bin.data(), 1, bin.size(), f) == bin.size();
    if (f && fclose(f) != 0) ok = false;
    if (!ok) {
        fprintf(stderr, "zefo5-pack: %s: cannot write the image\n", argv[2]);
        remove(argv[2]);
        return 1;
    }
    return 0;
}
