// The touch room, for programs without it: the main loop's touch handling as a callback, and the
// values a touch left for the macros to read.
#include "macro/macro.h"
#include "tests/support/standins.h"
#include "touch/touch.h"

namespace standin {
std::function<void(int)> onTouch;
static int touchCalls;
void resetTouch() {
    onTouch = nullptr;
    touchCalls = 0;
}
} // namespace standin

void handle_touch(void) {
    int n = ++standin::touchCalls;
    if (standin::onTouch) standin::onTouch(n);
}

bool macroTouchRelative(int32_t *x, int32_t *y) {
    *x = 5;
    *y = 6;
    return true;
}
bool macroTouchAbsolute(int32_t *x, int32_t *y) {
    *x = 105;
    *y = 206;
    return true;
}
bool macroSliderValue(int id, int32_t *value) {
    *value = id * 10;
    return id == 3;
}
