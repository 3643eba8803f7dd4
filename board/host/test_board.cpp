// The board core driven by a unit test instead of the firmware thread.
#include "board/host/test_board.h"

#include "board/host/host.h"

namespace testboard {

static std::vector<SimCardCommand> commands;
static std::vector<std::pair<int, std::string>> sends; // of sendAt, by index
static size_t sendsPending;                            // of them, not yet sent

bool open(const SimOptions &o) {
    host::closeBoard();
    if (!host::openBoard(o, true)) return false;
    host::powerOnDevices();
    commands.clear();
    sends.clear();
    sendsPending = 0;
    host::sd::commandLog = &commands;
    return true;
}

void close() {
    host::uart::flush();
    host::closeBoard();
}

void powerCycle() {
    host::control = 0; // a power cut's request: nobody else takes it here
    host::opts.eepromPowerCut = -1;
    host::powerOnDevices();
    host::recomputeDue();
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

bool settle(uint64_t limitMs) {
    uint64_t limit = host::now + host::msToCounts(limitMs);
    while (sendsPending || !host::uart::settled()) {
        uint64_t next = host::nextEventTime();
        if (next > limit) return false;
        if (next > host::now) {
            runUntil(next);
        } else {
            host::service();
            if (host::irqDeliverable()) host::dispatch();
        }
    }
    return true;
}

static void sendEvent(uint64_t index, uint64_t) {
    sendsPending--;
    host::uart::inject(sends[index].first, sends[index].second);
}

void sendAt(uint64_t count, int port, const std::string &bytes) {
    sends.emplace_back(port, bytes);
    sendsPending++;
    host::schedule(count, sendEvent, sends.size() - 1);
}

bsp_isr_t handler(int source) {
    return host::isrOf(source);
}

bool insertCard(const std::string &image) {
    return host::sd::insert(image);
}
SimCardQuirks &cardQuirks() {
    return host::sd::quirks;
}
std::vector<SimCardCommand> &cardCommands() {
    return commands;
}

std::vector<uint8_t> &eeprom() {
    return host::eeprom::memory();
}
void cutEepromPowerAfter(long writes) {
    host::eeprom::cutPowerAfter(writes);
}

} // namespace testboard
