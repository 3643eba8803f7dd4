// Characters drawn per second: 1-bit and anti-aliased fonts, normal and transparent modes, plain and
// rotated text, and the width measurement.
#include <benchmark/benchmark.h>

#include "gfx/font_table.h"
#include "gfx/text.h"
#include "tests/gfx/picture.h"

namespace {

const char kLine[] = "The quick brown fox jumps over the lazy dog 0123456789";
const int64_t kChars = sizeof kLine - 1;

void setUp(const char *font, int16_t mode) {
    freshScreen();
    GUIDEMO_SetFont(font);
    GUI_SetTextMode(mode);
}

void drawLines(benchmark::State &state, const char *font, int16_t mode) {
    setUp(font, mode);
    int32_t y = 0, dy = GUI_GetFontDistY();
    for (auto _ : state) {
        GUI_DispStringAt(kLine, 0, y);
        y += dy;
        if (y + dy > LCD_GetYSize()) y = 0;
    }
    state.SetItemsProcessed(state.iterations() * kChars);
}

void BM_Text1BitNormal(benchmark::State &s) {
    drawLines(s, "10s", GUI_TM_NORMAL);
}
void BM_Text1BitTrans(benchmark::State &s) {
    drawLines(s, "10s", GUI_TM_TRANS);
}
void BM_Text1BitLarge(benchmark::State &s) {
    drawLines(s, "48", GUI_TM_NORMAL);
}
void BM_TextAA4Normal16(benchmark::State &s) {
    drawLines(s, "16", GUI_TM_NORMAL);
}
void BM_TextAA4Trans16(benchmark::State &s) {
    drawLines(s, "16", GUI_TM_TRANS);
}
void BM_TextAA4Normal32(benchmark::State &s) {
    drawLines(s, "32", GUI_TM_NORMAL);
}
void BM_TextAA4Xor16(benchmark::State &s) {
    drawLines(s, "16", GUI_TM_XOR);
}

void BM_TextRotatedCW16(benchmark::State &state) {
    setUp("16", GUI_TM_NORMAL);
    GUI_RECT r = {0, 0, 40, 479};
    for (auto _ : state) GUI_DispStringInRectEx(kLine, &r, GUI_TA_LEFT, -1, &LCD_APIListCW);
    state.SetItemsProcessed(state.iterations() * kChars);
}

void BM_TextWrapped16(benchmark::State &state) {
    setUp("16", GUI_TM_NORMAL);
    GUI_RECT r = {0, 0, 299, 479};
    for (auto _ : state) GUI_DispStringInRectWrap(kLine, &r, GUI_TA_LEFT, GUI_WRAPMODE_WORD);
    state.SetItemsProcessed(state.iterations() * kChars);
}

void BM_StringWidth(benchmark::State &state) {
    setUp("16", GUI_TM_NORMAL);
    for (auto _ : state) benchmark::DoNotOptimize(GUI_GetStringDistX(kLine));
    state.SetItemsProcessed(state.iterations() * kChars);
}

} // namespace

BENCHMARK(BM_Text1BitNormal);
BENCHMARK(BM_Text1BitTrans);
BENCHMARK(BM_Text1BitLarge);
BENCHMARK(BM_TextAA4Normal16);
BENCHMARK(BM_TextAA4Trans16);
BENCHMARK(BM_TextAA4Normal32);
BENCHMARK(BM_TextAA4Xor16);
BENCHMARK(BM_TextRotatedCW16);
BENCHMARK(BM_TextWrapped16);
BENCHMARK(BM_StringWidth);
BENCHMARK_MAIN();
