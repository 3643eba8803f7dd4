// Chart columns per second: a full-width, full-height scrolling chart with eight 1-pixel pens, full
// already, so that every column moves the whole picture left with the block move; and a sweep
// chart of the same size, which never moves its picture.
#include <benchmark/benchmark.h>

#include "displays/chart.h"
#include "gfx/gui.h"

namespace {

void setUp(int32_t type) {
    static bool done;
    if (!done) GUI_Init();
    done = true;
    QV_Chart_Init();
    QV_Chart_Setup(0, type, 1, 0, 0, LCD_GetXSize() - 1, LCD_GetYSize() - 1, 0, 1000, 0xFFFFFF);
    static const GUI_COLOR colours[8] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF,
                                         0xFF00FF, 0xFFFF00, 0x000000, 0x808080};
    for (int k = 0; k < 8; k++) QV_Chart_Set_Pen(0, k, colours[k], 1);
    QV_Chart_FinishSetup(0, 1);
}

void columns(benchmark::State &state, int32_t type) {
    setUp(type);
    uint32_t seed = 1;
    int32_t values[8];
    auto column = [&] {
        for (int32_t &v : values) {
            seed = seed * 1103515245u + 12345u;
            v = (int32_t)((seed >> 8) % 1001);
        }
        QV_Chart_Show(0, 8, values);
    };
    for (int k = 0; k < LCD_GetXSize(); k++) column(); // full: from here on every column scrolls
    for (auto _ : state) column();
    state.SetItemsProcessed((int64_t)state.iterations());
    state.SetLabel("columns");
}

void BM_ScrollingChartFullWidth8Pens(benchmark::State &state) {
    columns(state, CHART_SCROLL);
}
BENCHMARK(BM_ScrollingChartFullWidth8Pens);

void BM_SweepChartFullWidth8Pens(benchmark::State &state) {
    columns(state, CHART_SWEEP);
}
BENCHMARK(BM_SweepChartFullWidth8Pens);

} // namespace

BENCHMARK_MAIN();
