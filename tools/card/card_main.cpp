// zefo5-card: makes, lists, reads and writes SD card images with the display's own FAT code.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/card/cardpack.h"

namespace fs = std::filesystem;

static void usage(FILE *out) {
    fprintf(out, "usage:\n"
                 "  zefo5-card make IMAGE DIR [--size MB] [--fat12|--fat16]\n"
                 "                          format a new card image and copy the tree DIR into it\n"
                 "  zefo5-card ls IMAGE [PATH]        list the root or the directory PATH\n"
                 "  zefo5-card get IMAGE PATH [DEST]  copy a file out (DEST '-': standard output)\n"
                 "  zefo5-card put IMAGE FILE [PATH]  copy a file in (into the directory PATH, or as PATH)\n"
                 "Names on the card are 8.3 names; paths use '/' or '\\'.\n");
}

static std::string baseName(const std::string &path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

static int failed(const std::string &why) {
    fprintf(stderr, "zefo5-card: %s\n", why.c_str());
    return 1;
}

static int make(int argc, char **argv) {
    if (argc < 4) {
        usage(stderr);
        return 2;
    }
    uint32_t sizeMB = 0;
    int fatBits = 0;
    for (int i = 4; i < argc; i++) {
        if (!strcmp(argv[i], "--fat12")) {
            fatBits = 12;
        } else if (!strcmp(argv[i], "--fat16")) {
            fatBits = 16;
        } else if (!strcmp(argv[i], "--size") && i + 1 < argc) {
            char *end;
            unsigned long mb = strtoul(argv[++i], &end, 10);
            if (*end || mb == 0 || mb > CARD_MAX_MB) return failed(std::string("bad size ") + argv[i]);
            sizeMB = (uint32_t)mb;
        } else {
            usage(stderr);
            return 2;
        }
    }
    std::string error;
    if (!cardMakeImage(argv[2], argv[3], &error, sizeMB, fatBits)) return failed(error);
    return 0;
}

static int list(int argc, char **argv) {
    if (argc < 3 || argc > 4) {
        usage(stderr);
        return 2;
    }
    std::vector<CardEntry> entries;
    std::string error;
    if (!cardList(argv[2], argc == 4 ? argv[3] : "", entries, &error)) return failed(error);
    for (const CardEntry &e : entries) {
        char size[16];
        if (e.directory)
            snprintf(size, sizeof size, "<DIR>");
        else
            snprintf(size, sizeof size, "%u", (unsigned)e.size);
        printf("%-13s %10s  %04u-%02u-%02u %02u:%02u\n", (e.name + (e.directory ? "/" : "")).c_str(), size,
               1980u + (e.date >> 9), (e.date >> 5) & 15u, e.date & 31u, e.time >> 11, (e.time >> 5) & 63u);
    }
    return 0;
}

static int get(int argc, char **argv) {
    if (argc < 4 || argc > 5) {
        usage(stderr);
        return 2;
    }
    std::vector<uint8_t> data;
    std::string error;
    if (!cardGet(argv[2], argv[3], data, &error)) return failed(error);
    std::string dest = argc == 5 ? argv[4] : baseName(argv[3]);
    if (dest == "-") {
        if (!data.empty() && fwrite(data.data(), 1, data.size(), stdout) != data.size())
            return failed("standard output");
        return fflush(stdout) == 0 ? 0 : failed("standard output");
    }
    std::error_code ec;
    if (fs::is_directory(dest, ec)) dest = (fs::path(dest) / baseName(argv[3])).string();
    std::ofstream out(dest, std::ios::binary | std::ios::trunc);
    out.write((const char *)data.data(), (std::streamsize)data.size());
    if (!out.good()) return failed(dest + ": cannot be written");
    return 0;
}

static int put(int argc, char **argv) {
    if (argc < 4 || argc > 5) {
        usage(stderr);
        return 2;
    }
    std::ifstream in(argv[3], std::ios::binary);
    if (!in) return failed(std::string(argv[3]) + ": cannot be read");
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    if (!cardPut(argv[2], argc == 5 ? argv[4] : "", baseName(argv[3]).c_str(), data, &error))
        return failed(error);
    return 0;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    std::string verb = argv[1];
    if (verb == "make") return make(argc, argv);
    if (verb == "ls") return list(argc, argv);
    if (verb == "get") return get(argc, argv);
    if (verb == "put") return put(argc, argv);
    if (verb == "-h" || verb == "--help" || verb == "help") {
        usage(stdout);
        return 0;
    }
    usage(stderr);
    return 2;
}
