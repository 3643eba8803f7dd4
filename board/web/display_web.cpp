// No window of the board's own in a page: the page draws the frame buffer on its canvas while the
// board waits for the wall clock (web_board.cpp), and the pen reaches the touch panel from there.
#include "board/host/display_sdl.h"

namespace host {
namespace display {

bool shown;
uint64_t nextCheck = UINT64_MAX;

bool open() {
    return false;
}
void close() {}
bool check(SimEvent &) {
    return false;
}
bool closeRequested() {
    return false;
}
void closeTaken() {}
bool parkBegin() {
    return true;
}
void parkEnd() {}

} // namespace display
} // namespace host
