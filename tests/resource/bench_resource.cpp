// Stored bitmaps and the BMP decoder per second: plain, transparent and compressed blits of a
// 200 x 120 picture, the look-up of a full-screen compressed bitmap (its stream is checked each
// time), and a 320 x 240 BMP decoded onto the screen.
#include <benchmark/benchmark.h>

#include <vector>

#include "gfx/bmp_decode.h"
#include "gfx/gui.h"
#include "resource/bitmap.h"
#include "tests/support/screen.h"
#include "tools/pack/image.h"

namespace {

void setUp() {
    static bool done;
    if (done) return;
    done = true;
    pack::Image img;
    img.records.resize(5);
    auto picture = [](pack::Record &r, int type, int w, int h) {
        r.type = (uint8_t)type;
        r.width = w;
        r.height = h;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                uint16_t sky = (uint16_t)(0x001F + ((y / 4) << 5));
                r.pixels.push_back(y < h / 2 ? sky : (uint16_t)(((x / 10 + y / 10) & 1) ? 0x07E0 : 0x0320));
            }
        r.transparent = 0x001F;
    };
    picture(img.records[1], 1, 200, 120);
    picture(img.records[2], 5, 200, 120);
    picture(img.records[3], 2, 200, 120);
    picture(img.records[4], 2, 800, 480);
    std::vector<uint8_t> bin;
    std::string error;
    pack::build(img, &bin, &error);
    loadImage(bin);
    freshScreen(0);
}

void drawBitmap(benchmark::State &state) {
    setUp();
    const ExtRecord *r = QV_GetExtBitmap((int)state.range(0));
    for (auto _ : state) QV_DrawBitmap(r, 300, 200);
    state.SetItemsProcessed(state.iterations() * 200 * 120);
}
BENCHMARK(drawBitmap)->Arg(1)->Arg(2)->Arg(3)->Name("draw 200x120 (1 plain, 2 transparent, 3 compressed)");

void lookUpCompressed(benchmark::State &state) {
    setUp();
    for (auto _ : state) benchmark::DoNotOptimize(QV_GetExtBitmap(4));
}
BENCHMARK(lookUpCompressed)->Name("look-up of an 800x480 compressed bitmap");

void decodeBmp(benchmark::State &state) {
    setUp();
    const int w = 320, h = 240;
    std::vector<uint8_t> f(54 + w * h * 3);
    f[0] = 'B';
    f[1] = 'M';
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) f[at + i] = (uint8_t)(v >> (8 * i));
    };
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    f[26] = 1;
    f[28] = 24;
    for (size_t i = 54; i < f.size(); i++) f[i] = (uint8_t)(i * 7);
    for (auto _ : state) GUI_BMP_Draw(f.data(), (uint32_t)f.size(), 10, 10);
    state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(decodeBmp)->Name("BMP 320x240x24 decoded");

} // namespace

BENCHMARK_MAIN();
