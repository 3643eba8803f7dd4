// The simulated board without the firmware: a unit test opens the devices (UARTs and interrupts,
// SD card, EEPROM, data flash, touch, panel, memories) and calls the board operations of bsp.h on
// them itself. There is no firmware thread: time moves as the operations use it, or as the test
// moves it, and interrupts are taken on the test's own thread.
#pragma once

#include <stdint.h>

#include "board/host/sim.h"

namespace testboard {

// Powers the board on with these options (unset ports are captured, the clock is virtual); false
// with a message on standard error when a file named in them cannot be opened.
bool open(const SimOptions &o = SimOptions{});
void close();
// Time moves to `count` (timer counts), running the device events due on the way and taking the
// interrupts they raise; never backwards.
void runUntil(uint64_t count);
void runFor(uint64_t ms);

} // namespace testboard
