// The screen writer, for programs without the graphics library: a tiny picture sent at a pace
// the test chooses, in board time.
#include "board/host/test_board.h"
#include "gfx/gui.h"
#include "tests/support/standins.h"

namespace standin {

uint32_t bmpExtra;
int bmpMsPerByte = 100;

void resetScreen() {
    bmpExtra = 0;
    bmpMsPerByte = 100;
}

std::vector<uint8_t> screenBmp() {
    std::vector<uint8_t> b(62, 0);
    auto put16 = [&](size_t at, uint32_t v) {
        b[at] = (uint8_t)v;
        b[at + 1] = (uint8_t)(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at, v);
        put16(at + 2, v >> 16);
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 62);
    put32(10, 54);
    put32(14, 40);
    put32(18, 2);
    put32(22, 2);
    put16(26, 1);
    put16(28, 16);
    put16(54, 0x7C00); // red, bottom row first
    put16(56, 0x03E0);
    put16(58, 0x001F);
    put16(60, 0x7FFF);
    b.resize(b.size() + bmpExtra, 0x42);
    return b;
}

} // namespace standin

void GUI_BMP_Serialize(GUI_BMP_SerializeFunc sink, void *arg) {
    for (uint8_t b : standin::screenBmp()) {
        sink(b, arg);
        testboard::runFor((uint64_t)standin::bmpMsPerByte);
    }
}
