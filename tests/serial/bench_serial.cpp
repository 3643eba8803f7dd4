// Line assembly: bytes over the test board's UART0 through the main receive interrupt into the
// ring, then out again as lines with isLineAvail and rxString, as the main loop takes them. The
// figures include the board's part of a received byte (its arrival event and register read).
#include <benchmark/benchmark.h>

#include <string>

#include "board/host/test_board.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "tests/serial/serial_fixture.h"

namespace {

void setUp() {
    serialBoardOn();
    QV_COM_Init0();
    QV_COM_Init1();
    isLineAvail();
}

// A stream of lines; up to 300 bytes go in before the loop takes what is complete.
void runStream(benchmark::State &state, const std::string &stream) {
    setUp();
    char line[LINE_MAX + 1];
    const size_t n = stream.size();
    for (auto _ : state) {
        for (size_t i = 0; i < n; i += 300) {
            sim_send(0, stream.substr(i, 300));
            testboard::settle();
            while (isLineAvail() == 1) {
                rxString(line, LINE_MAX);
                benchmark::DoNotOptimize(line[0]);
            }
        }
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)n);
    testboard::close();
}

std::string textLines(int length, int count) {
    std::string s;
    for (int i = 0; i < count; i++) {
        for (int k = 0; k < length; k++) s += (char)('a' + (i + k) % 26);
        s += '\r';
    }
    return s;
}

void BM_ShortTextLines(benchmark::State &state) {
    runStream(state, textLines(12, 200));
}
void BM_LongTextLines(benchmark::State &state) {
    runStream(state, textLines(129, 40));
}
void BM_CrLfLines(benchmark::State &state) {
    std::string s;
    for (int i = 0; i < 200; i++) s += "l 10 20 30 40\r\n";
    runStream(state, s);
}
void BM_BinaryLines(benchmark::State &state) {
    std::string s;
    for (int i = 0; i < 400; i++) s += std::string("\x83M") + (char)(i & 0x7F) + '\r';
    runStream(state, s);
}

} // namespace

BENCHMARK(BM_ShortTextLines);
BENCHMARK(BM_LongTextLines);
BENCHMARK(BM_CrLfLines);
BENCHMARK(BM_BinaryLines);
BENCHMARK_MAIN();
