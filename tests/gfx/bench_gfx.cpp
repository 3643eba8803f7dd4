// Speed of the drawing core's hot paths. The fill and blit benchmarks also report how their time
// compares with memset / memcpy of the same bytes in the same run (1.0: as fast), beside the goal.
#include <benchmark/benchmark.h>

#include <string.h>

#include <time.h>

#include <algorithm>

#include "gfx/gui.h"
#include "gfx/pixel_copy.h"

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

// Processor time of this thread: on a shared machine the wall clock also counts other programs.
static double threadSeconds(void) {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// Best of many short alternating rounds of each, so that a busy machine disturbs the ratio less.
template <typename A, typename B> static double ratioOfBest(A subject, B reference, int rounds) {
    double best[2] = {1e30, 1e30};
    for (int trial = 0; trial < 61; trial++) {
        double t0 = threadSeconds();
        for (int i = 0; i < rounds; i++) reference(i);
        double t1 = threadSeconds();
        for (int i = 0; i < rounds; i++) subject(i);
        double t2 = threadSeconds();
        best[0] = std::min(best[0], t2 - t1);
        best[1] = std::min(best[1], t1 - t0);
    }
    return best[0] / best[1];
}

static void BM_FillScreen(benchmark::State &state) {
    setUp();
    uint32_t c = 0x123456;
    for (auto _ : state) {
        GUI_SetColor(c += 0x010203);
        GUI_FillRect(0, 0, LCD_GetXSize() - 1, LCD_GetYSize() - 1);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)frameBytes());
    // Side by side with memset of the same bytes, in the same run.
    state.counters["fill_to_memset"] = ratioOfBest(
        [](int i) {
            GUI_SetColor(0x123456u + (uint32_t)i * 0x010203u);
            GUI_FillRect(0, 0, LCD_GetXSize() - 1, LCD_GetYSize() - 1);
            benchmark::ClobberMemory();
        },
        [](int i) {
            memset(LCD_GetFrameBuffer(), i & 0xFF, frameBytes());
            benchmark::ClobberMemory();
        },
        4);
    state.SetLabel("fill_to_memset goal <= 1.10");
}
BENCHMARK(BM_FillScreen);

// A w x h 16-bit bitmap drawn at places spread over the screen, against memcpy of the same bytes to
// the same places of the frame buffer in one piece (blit_to_memcpy) and row by row, as the rows of
// the bitmap lie on the screen (blit_to_row_memcpy).
static void BM_Blit16ToMemcpy(benchmark::State &state) {
    setUp();
    const int w = (int)state.range(0), h = (int)state.range(1);
    static uint16_t pixels[320 * 240];
    for (int i = 0; i < w * h; i++) pixels[i] = (uint16_t)(i * 2654435761u >> 16);
    GUI_BITMAP bm = {(uint16_t)w, (uint16_t)h,           (uint16_t)(w * 2), 16, (const uint8_t *)pixels,
                     nullptr,     &GUI_BitmapMethodsM565};
    const int xs = LCD_GetXSize() - w, ys = LCD_GetYSize() - h;
    auto blit = [&](int i) {
        GUI_DrawBitmap(&bm, (i * 37) % xs, (i * 53) % ys);
        benchmark::ClobberMemory();
    };
    auto copy = [&](int i) {
        uint16_t *fb = LCD_GetFrameBuffer() + ((i * 53) % ys) * LCD_GetXSize() + (i * 37) % xs;
        memcpy(fb, pixels, (size_t)w * h * 2);
        benchmark::ClobberMemory();
    };
    // The same rows to the same places, one memcpy per row: what the blit adds to the copying.
    auto rows = [&](int i) {
        uint16_t *fb = LCD_GetFrameBuffer() + ((i * 53) % ys) * LCD_GetXSize() + (i * 37) % xs;
        for (int y = 0; y < h; y++) memcpy(fb + y * LCD_GetXSize(), pixels + y * w, (size_t)w * 2);
        benchmark::ClobberMemory();
    };
    int32_t i = 0;
    for (auto _ : state) blit(i++);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * w * h * 2);
    state.counters["blit_to_memcpy"] = ratioOfBest(blit, copy, 400000 / (w * h));
    state.counters["blit_to_row_memcpy"] = ratioOfBest(blit, rows, 400000 / (w * h));
    state.SetLabel("blit_to_memcpy goal <= 1.20");
}
BENCHMARK(BM_Blit16ToMemcpy)->Args({64, 64})->Args({200, 120})->Args({320, 240});

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

// A chart row scrolled left by one pixel (source and destination half a word apart): the C library's
// memmove against the word helper the ARM build uses. The ratio shows which is faster on this machine.
static void BM_RowScrollByOneWordsToMemmove(benchmark::State &state) {
    static uint16_t row[801];
    auto words = [](int) {
        GUI__MovePixels16Words(row, row + 1, 800);
        benchmark::ClobberMemory();
    };
    auto library = [](int) {
        memmove(row, row + 1, 1600);
        benchmark::ClobberMemory();
    };
    double ratio = 0;
    for (auto _ : state) ratio = ratioOfBest(words, library, 200);
    state.counters["words/memmove"] = ratio;
}
BENCHMARK(BM_RowScrollByOneWordsToMemmove)->Iterations(1);

BENCHMARK_MAIN();
