// The decoders against the distribution's libraries on the same screen-size pictures, decoded from
// memory into a 5-6-5 frame buffer: JPEG (baseline 4:2:0 and progressive) against libjpeg-turbo,
// GIF against giflib. The pictures are encoded here by those libraries. Prints each time and the
// ratio ours / theirs.
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <functional>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

#include "gfx/gif_decode.h"
#include "gfx/gui.h"
#include "gfx/jpeg_decode.h"
#include "tests/support/screen.h"

namespace {

const int W = 800, H = 480;

// A photograph stand-in: smooth gradients, edges and fine texture from a fixed generator.
std::vector<uint8_t> picture() {
    std::vector<uint8_t> rgb((size_t)W * H * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            seed = seed * 1103515245u + 12345u;
            const int noise = (int)(seed >> 27) - 16;
            uint8_t *p = &rgb[((size_t)y * W + x) * 3];
            const int ring = ((x - 300) * (x - 300) + (y - 200) * (y - 200)) / 900;
            p[0] = (uint8_t)std::clamp(x * 255 / W + noise, 0, 255);
            p[1] = (uint8_t)std::clamp((ring & 1) ? 200 + noise : 60 + noise, 0, 255);
            p[2] = (uint8_t)std::clamp(y * 255 / H + ((x / 40 + y / 40) & 1) * 40 + noise, 0, 255);
        }
    return rgb;
}

// rgb holds rows of `width` pixels (W by default).
std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t> &rgb, bool progressive, int width = W) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = (JDIMENSION)width;
    c.image_height = H;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < (JDIMENSION)H) {
        JSAMPROW row = (JSAMPROW)&rgb[(size_t)c.next_scanline * (size_t)width * 3];
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> file(out, out + size);
    jpeg_destroy_compress(&c);
    free(out);
    return file;
}

uint16_t fb[W * H];

void libjpegDecode(const std::vector<uint8_t> &file) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), (unsigned long)file.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB565;
    d.dither_mode = JDITHER_NONE;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = (JSAMPROW)&fb[(size_t)d.output_scanline * W];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

// A 256-colour picture: the photograph reduced to 3-3-2 colours.
std::vector<uint8_t> encodeGif(const std::vector<uint8_t> &rgb) {
    struct Sink {
        std::vector<uint8_t> bytes;
    } sink;
    auto write = [](GifFileType *g, const GifByteType *b, int n) {
        Sink *s = (Sink *)g->UserData;
        s->bytes.insert(s->bytes.end(), b, b + n);
        return n;
    };
    int error;
    GifFileType *g = EGifOpen(&sink, write, &error);
    GifColorType colours[256];
    for (int i = 0; i < 256; i++)
        colours[i] = {(GifByteType)((i >> 5) * 255 / 7), (GifByteType)(((i >> 2) & 7) * 255 / 7),
                      (GifByteType)((i & 3) * 255 / 3)};
    ColorMapObject *map = GifMakeMapObject(256, colours);
    EGifPutScreenDesc(g, W, H, 8, 0, map);
    EGifPutImageDesc(g, 0, 0, W, H, false, nullptr);
    std::vector<GifByteType> line(W);
    for (int y = 0; y < H; y++) {
        for (int x = 0; x < W; x++) {
            const uint8_t *p = &rgb[((size_t)y * W + x) * 3];
            line[x] = (GifByteType)((p[0] >> 5) << 5 | (p[1] >> 5) << 2 | p[2] >> 6);
        }
        EGifPutLine(g, line.data(), W);
    }
    EGifCloseFile(g, &error);
    GifFreeMapObject(map);
    return sink.bytes;
}

void giflibDecode(const std::vector<uint8_t> &file) {
    struct Source {
        const std::vector<uint8_t> *f;
        size_t at;
    } src{&file, 0};
    auto read = [](GifFileType *g, GifByteType *b, int n) {
        Source *s = (Source *)g->UserData;
        const int k = (int)std::min((size_t)n, s->f->size() - s->at);
        memcpy(b, s->f->data() + s->at, (size_t)k);
        s->at += (size_t)k;
        return k;
    };
    int error;
    GifFileType *g = DGifOpen(&src, read, &error);
    DGifSlurp(g);
    const SavedImage &im = g->SavedImages[0];
    const ColorMapObject *map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : g->SColorMap;
    uint16_t pal[256] = {};
    for (int i = 0; i < map->ColorCount; i++) {
        const GifColorType &c = map->Colors[i];
        pal[i] = (uint16_t)((c.Red >> 3) << 11 | (c.Green >> 2) << 5 | c.Blue >> 3);
    }
    const int w = im.ImageDesc.Width, h = im.ImageDesc.Height;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) fb[(size_t)y * W + x] = pal[im.RasterBits[(size_t)y * w + x]];
    DGifCloseFile(g, &error);
}

// This thread's processor time in microseconds: other work on a shared machine counts less than
// in wall-clock time.
double cpuMicros() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec * 1e6 + (double)t.tv_nsec / 1e3;
}

int Rounds = 7, PerRound = 10;

// The best of several rounds, in microseconds of processor time per decode.
double timeIt(const std::function<void()> &f) {
    double best = 1e30;
    for (int round = 0; round < Rounds; round++) {
        const int n = PerRound;
        const double t0 = cpuMicros();
        for (int i = 0; i < n; i++) f();
        best = std::min(best, (cpuMicros() - t0) / n);
    }
    return best;
}

void compare(const char *what, double ours, double theirs, const char *library, double limit) {
    printf("%-26s ours %8.0f us  %-14s %8.0f us  ratio %.2f (limit %.1f)\n", what, ours, library, theirs,
           ours / theirs, limit);
}

} // namespace

// "--once": one decode of each, for counting instructions under callgrind, where the machine's
// load does not matter (callgrind_annotate --inclusive=yes: GUI_JPEG_Draw against libjpegDecode).
// "--baseline": only the baseline JPEG, once by each decoder (the same count, for that file alone).
int main(int argc, char **argv) {
    if (argc > 1 && strcmp(argv[1], "--once") == 0) Rounds = PerRound = 1;
    freshScreen(0);
    const std::vector<uint8_t> rgb = picture();
    const std::vector<uint8_t> base = encodeJpeg(rgb, false);
    if (argc > 1 && strcmp(argv[1], "--baseline") == 0) {
        GUI_JPEG_Draw(base.data(), (uint32_t)base.size(), 0, 0);
        libjpegDecode(base);
        return 0;
    }
    const std::vector<uint8_t> prog = encodeJpeg(rgb, true);
    const std::vector<uint8_t> gif = encodeGif(rgb);
    printf(
        "Image decoders, %d x %d, from memory into a 5-6-5 frame buffer (processor time, best of %d x %d)\n",
        W, H, Rounds, PerRound);
    printf("files: baseline JPEG %zu bytes, progressive JPEG %zu bytes, GIF %zu bytes\n", base.size(),
           prog.size(), gif.size());
    auto oursJpeg = [](const std::vector<uint8_t> &f) {
        return [&f]() { GUI_JPEG_Draw(f.data(), (uint32_t)f.size(), 0, 0); };
    };
    compare("JPEG baseline 4:2:0", timeIt(oursJpeg(base)), timeIt([&]() { libjpegDecode(base); }),
            "libjpeg-turbo", 2.5);
    printf("pool use of the baseline JPEG: %u bytes\n", GUI_JPEG_LastPoolUse());
    compare("JPEG progressive 4:2:0", timeIt(oursJpeg(prog)), timeIt([&]() { libjpegDecode(prog); }),
            "libjpeg-turbo", 0);
    printf("pool use of the progressive JPEG: %u bytes\n", GUI_JPEG_LastPoolUse());
    // Twice as wide as the screen (the picture beside its mirror image): drawn in strips of the
    // screen's width, with non-zero masks for the blocks outside each strip.
    std::vector<uint8_t> wide((size_t)2 * W * H * 3);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < 2 * W; x++)
            memcpy(&wide[((size_t)y * 2 * W + x) * 3],
                   &rgb[((size_t)y * W + (x < W ? x : 2 * W - 1 - x)) * 3], 3);
    const std::vector<uint8_t> wideProg = encodeJpeg(wide, true, 2 * W);
    const double progTime = timeIt(oursJpeg(prog)), wideTime = timeIt(oursJpeg(wideProg));
    printf("%-26s ours %8.0f us  the screen-size one %8.0f us  ratio %.2f\n", "JPEG progressive 2x wide",
           wideTime, progTime, wideTime / progTime);
    printf("pool use of the wide progressive JPEG: %u bytes\n", GUI_JPEG_LastPoolUse());
    compare("GIF 256 colours", timeIt([&]() { GUI_GIF_Draw(gif.data(), (uint32_t)gif.size(), 0, 0); }),
            timeIt([&]() { giflibDecode(gif); }), "giflib", 1.5);
    return 0;
}
