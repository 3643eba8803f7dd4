// Speed of the drawing core's hot paths. The fill benchmark also reports how its time compares with a
// plain memset of the frame buffer (fill_to_memset: 1.0 means as fast as memset).
#include <benchmark/benchmark.h>

#include <chrono>
#include <string.h>

#include "gfx/gui.h"

static void setUp(void) {
    static bool done;
    if (!done) GUI_Init();
    done = true;
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    GUI_SetPenSize(1);
}

static size_t frameBytes(void) {
    return (size_t)LCD_GetXSize() * LCD_GetYSize() * 2;
}

static void BM_MemsetFrameBuffer(benchmark::State &state) {
    setUp();
    int v = 0;
    for (auto _ : state) {
        memset(LCD_GetFrameBuffer(), v++ & 0xFF, frameBytes());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)frameBytes());
}
BENCHMARK(BM_MemsetFrameBuffer);

static void BM_FillScreen(benchmark::State &state) {
    setUp();
    uint32_t c = 0x123456;
    for (auto _ : state) {
        GUI_SetColor(c += 0x010203);
        GUI_FillRect(0, 0, LCD_GetXSize() - 1, LCD_GetYSize() - 1);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)frameBytes());
    // Side-by-side timing against memset in the same run.
    const int rounds = 200;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; i++) {
        memset(LCD_GetFrameBuffer(), i & 0xFF, frameBytes());
        benchmark::ClobberMemory();
    }
    auto t1 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; i++) {
        GUI_SetColor(0x123456u + (uint32_t)i * 0x010203u);
        GUI_FillRect(0, 0, LCD_GetXSize() - 1, LCD_GetYSize() - 1);
        benchmark::ClobberMemory();
    }
    auto t2 = std::chrono::steady_clock::now();
    state.counters["fill_to_memset"] =
        std::chrono::duration<double>(t2 - t1).count() / std::chrono::duration<double>(t1 - t0).count();
}
BENCHMARK(BM_FillScreen);

static void BM_FillRectNarrow(benchmark::State &state) {
    setUp();
    for (auto _ : state) {
        GUI_FillRect(13, 7, 13 + 200, 7 + 300);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FillRectNarrow);

static void BM_Lines(benchmark::State &state) {
    setUp();
    GUI_SetPenSize((uint8_t)state.range(0));
    uint32_t seed = 1;
    auto rnd = [&](int32_t m) {
        seed = seed * 1103515245u + 12345u;
        return (int32_t)((seed >> 8) % (uint32_t)m);
    };
    for (auto _ : state) GUI_DrawLine(rnd(800), rnd(480), rnd(800), rnd(480));
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("lines/s at pen " + std::to_string(state.range(0)));
}
BENCHMARK(BM_Lines)->Arg(1)->Arg(5);

static void BM_HVLines(benchmark::State &state) {
    setUp();
    int32_t i = 0;
    for (auto _ : state) {
        GUI_DrawHLine(i % 480, 0, 799);
        GUI_DrawVLine(i % 800, 0, 479);
        i++;
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_HVLines);

static void BM_Circles(benchmark::State &state) {
    setUp();
    bool fill = state.range(0);
    int32_t i = 0;
    for (auto _ : state) {
        int32_t x = 100 + (i * 37) % 600, y = 100 + (i * 53) % 280, r = 10 + i % 90;
        if (fill)
            GUI_FillCircle(x, y, r);
        else
            GUI_DrawCircle(x, y, r);
        i++;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(fill ? "filled circles/s, r 10..99" : "circles/s, r 10..99");
}
BENCHMARK(BM_Circles)->Arg(0)->Arg(1);

static void BM_Polygons(benchmark::State &state) {
    setUp();
    static const GUI_POINT star[] = {{30, 0}, {48, 57}, {0, 21}, {60, 21}, {12, 57}};
    static const GUI_POINT big[] = {{0, 0}, {150, 20}, {200, 120}, {90, 200}, {10, 150}, {40, 80}};
    bool fill = state.range(0);
    int32_t i = 0;
    for (auto _ : state) {
        int32_t x = (i * 37) % 580, y = (i * 53) % 260;
        if (fill)
            GUI_FillPolygon(big, 6, x, y);
        else
            GUI_DrawPolygon(star, 5, x, y);
        i++;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(fill ? "filled 6-point polygons/s (200 x 200)" : "5-point star outlines/s");
}
BENCHMARK(BM_Polygons)->Arg(0)->Arg(1);

static void BM_Blit16(benchmark::State &state) {
    setUp();
    static uint16_t pixels[64 * 64];
    GUI_BITMAP bm = {64, 64, 128, 16, (const uint8_t *)pixels, nullptr, &GUI_BitmapMethodsM565};
    int32_t i = 0;
    for (auto _ : state) {
        GUI_DrawBitmap(&bm, (i * 37) % 736, (i * 53) % 416);
        i++;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("64 x 64 16-bit bitmaps/s");
}
BENCHMARK(BM_Blit16);

BENCHMARK_MAIN();
