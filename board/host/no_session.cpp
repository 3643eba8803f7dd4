// The board operations that belong to a session (the main loop's idle, the watchdog), for a board
// without one: a unit test that links the board alone. A program with a session takes its own.
#include "board/host/host.h"

using namespace host;

// Nothing to do: time moves to the next device event, whose interrupt may bring work.
void bsp_idle(void) {
    access();
    waitForEvent();
}

// There is no firmware to restart.
void bsp_watchdog_reset(void) {
    fault("watchdog reset on a board without a session");
}
