#include "tests/board_host/support.h"

#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

uint32_t standinDelayMs;
uint32_t standinRate;

std::function<void()> scenario;

int scenarioEntry(void) {
    if (scenario) scenario();
    for (;;) bsp_idle();
}

SimOptions scenarioOptions(std::function<void()> body) {
    scenario = std::move(body);
    SimOptions o;
    o.entry = scenarioEntry;
    return o;
}

SimOptions standinOptions(uint32_t delayMs, uint32_t rate) {
    standinDelayMs = delayMs;
    standinRate = rate;
    SimOptions o;
    o.entry = standin_main;
    return o;
}

static std::string dir;

static void removeTempDir() {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
}

std::string tempPath(const std::string &name) {
    if (dir.empty()) {
        char tmpl[] = "/tmp/zefo5-board-XXXXXX";
        dir = mkdtemp(tmpl);
        atexit(removeTempDir);
    }
    static int n;
    return dir + "/" + std::to_string(++n) + "-" + name;
}

void writeFile(const std::string &path, const std::string &bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

std::string readFile(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool readPng(const std::string &path, Png &out) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB || png_get_bit_depth(png, info) != 8) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(f);
        return false;
    }
    out.width = (int)png_get_image_width(png, info);
    out.height = (int)png_get_image_height(png, info);
    out.rgb.assign((size_t)out.width * out.height * 3, 0);
    for (int y = 0; y < out.height; y++) png_read_row(png, &out.rgb[(size_t)y * out.width * 3], nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    return true;
}
