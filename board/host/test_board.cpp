// The board core driven by a unit test instead of the firmware thread.
#include "board/host/test_board.h"

#include "board/host/host.h"

namespace testboard {

bool open(const SimOptions &o) {
    host::closeBoard();
    if (!host::openBoard(o, true)) return false;
    host::powerOnDevices();
    return true;
}

void close() {
    host::uart::flush();
    host::closeBoard();
}

void runUntil(uint64_t count) {
    while (host::now < count) {
        uint64_t next = host::nextEventTime();
        host::now = next < count ? next : count;
        host::service();
        if (host::irqDeliverable()) host::dispatch();
    }
}

void runFor(uint64_t ms) {
    runUntil(host::now + host::msToCounts(ms));
}

} // namespace testboard
