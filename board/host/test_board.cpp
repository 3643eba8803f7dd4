// The board core driven by a unit test instead of the firmware thread.
#include "board/host/test_board.h"

#include "board/host/host.h"

namespace testboard {

static std::vector<SimCardCommand> commands;

bool open(const SimOptions &o) {
    host::closeBoard();
    if (!host::openBoard(o, true)) return false;
    host::powerOnDevices();
    commands.clear();
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
