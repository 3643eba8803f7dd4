#include "tests/gfx/picture.h"

#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void freshScreen(void) {
    GUI_Init();
    GUI_SetColor(0x000000);
    GUI_SetBkColor(0xFFFFFF);
    GUI_Clear();
}

std::vector<uint16_t> snapshot(void) {
    const uint16_t *fb = LCD_GetFrameBuffer();
    return std::vector<uint16_t>(fb, fb + LCD_GetXSize() * LCD_GetYSize());
}

int32_t countDiff(const std::vector<uint16_t> &a, const std::vector<uint16_t> &b, GUI_RECT *box) {
    int32_t n = 0, w = LCD_GetXSize();
    GUI_RECT r = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (size_t i = 0; i < a.size(); i++) {
        if (a[i] == b[i]) continue;
        n++;
        int32_t x = (int32_t)(i % w), y = (int32_t)(i / w);
        if (x < r.x0) r.x0 = x;
        if (y < r.y0) r.y0 = y;
        if (x > r.x1) r.x1 = x;
        if (y > r.y1) r.y1 = y;
    }
    if (box) *box = r;
    return n;
}

uint16_t px(int32_t x, int32_t y) {
    return LCD_GetFrameBuffer()[y * LCD_GetXSize() + x];
}

int32_t countValue(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t value) {
    int32_t n = 0;
    for (int32_t y = y0; y <= y1; y++)
        for (int32_t x = x0; x <= x1; x++) n += px(x, y) == value;
    return n;
}

bool writePng(const std::string &path, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    int32_t w = x1 - x0 + 1, h = y1 - y0 + 1;
    png_set_IHDR(png, info, (png_uint_32)w, (png_uint_32)h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row((size_t)w * 3);
    for (int32_t y = y0; y <= y1; y++) {
        for (int32_t x = x0; x <= x1; x++) {
            GUI_COLOR c = LCD_Index2Color(px(x, y));
            row[(x - x0) * 3] = (uint8_t)c;
            row[(x - x0) * 3 + 1] = (uint8_t)(c >> 8);
            row[(x - x0) * 3 + 2] = (uint8_t)(c >> 16);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return true;
}

static bool readPng(const std::string &path, int32_t *w, int32_t *h, std::vector<uint16_t> *pixels) {
    png_image img;
    memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, rgb.data(), 0, nullptr)) return false;
    *w = (int32_t)img.width;
    *h = (int32_t)img.height;
    pixels->resize((size_t)*w * *h);
    for (size_t i = 0; i < pixels->size(); i++)
        (*pixels)[i] = LCD_Color2Index(rgb[i * 3] | (rgb[i * 3 + 1] << 8) | (rgb[i * 3 + 2] << 16));
    return true;
}

std::string matchReference(const char *name, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    std::string path = std::string(ZEFO_REF_DIR) + "/" + name + ".png";
    const char *update = getenv("ZEFO_UPDATE_REFS");
    if (update && strcmp(update, "1") == 0) {
        if (!writePng(path, x0, y0, x1, y1)) return "cannot write " + path;
        return "";
    }
    int32_t w, h;
    std::vector<uint16_t> ref;
    if (!readPng(path, &w, &h, &ref))
        return "missing reference " + path + " (make it with ZEFO_UPDATE_REFS=1, look at it, commit it)";
    if (w != x1 - x0 + 1 || h != y1 - y0 + 1) return "reference " + path + " has another size";
    int32_t diffs = 0;
    std::string first;
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            if (ref[(size_t)y * w + x] != px(x0 + x, y0 + y)) {
                if (!diffs++) first = "first at (" + std::to_string(x) + "," + std::to_string(y) + ")";
            }
    if (!diffs) return "";
    std::string actual = std::string("/tmp/") + name + "-actual.png";
    writePng(actual, x0, y0, x1, y1);
    return std::to_string(diffs) + " pixels differ from " + path + ", " + first + "; actual picture in " +
           actual;
}
