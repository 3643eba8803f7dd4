// The simulated board without the firmware: a unit test opens the devices (UARTs and interrupts,
// SD card, EEPROM, data flash, touch, panel, memories) and calls the board operations of bsp.h on
// them itself. There is no firmware thread: time moves as the operations use it, or as the test
// moves it, and interrupts are taken on the test's own thread. The board's state, time and
// memories are read with the sim_* calls of sim.h (sim_board, sim_now, sim_eeprom, sim_card ...).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "board/bsp/bsp.h"
#include "board/host/sim.h"

namespace testboard {

// Powers the board on with these options (unset ports are captured, the clock is virtual); false
// with a message on standard error when a file named in them cannot be opened.
bool open(const SimOptions &o = SimOptions{});
void close();
// Power off and on: every device in its power-on state, stored contents kept (EEPROM, data flash,
// card), an EEPROM power cut undone.
void powerCycle();
// Time moves to `count` (timer counts), running the device events due on the way and taking the
// interrupts they raise; never backwards.
void runUntil(uint64_t count);
void runFor(uint64_t ms);
// Time moves until every byte sent to the board so far (sendAt's included) has arrived and been
// read and both transmitters are empty; false when that needs more than limitMs of virtual time,
// or can never be (a host held by XOFF, a receiver nobody reads).
bool settle(uint64_t limitMs = 10000);

// ---- UARTs (bytes in: sim_send; bytes out: sim_output, sim_tx_log) -------------------------------
// Bytes that the far end of a port starts to send at virtual time `count` (timer counts).
void sendAt(uint64_t count, int port, const std::string &bytes);
// The interrupt handler installed for a source.
bsp_isr_t handler(int source);

// ---- SD card ------------------------------------------------------------------------------------
// Puts a card image file in the slot (the card is in; sim_card takes it out and back).
bool insertCard(const std::string &image);
SimCardQuirks &cardQuirks();
// Every command the card was given since the board was opened or the log was cleared.
std::vector<SimCardCommand> &cardCommands();

// ---- EEPROM -------------------------------------------------------------------------------------
// Its contents, to look at or to change behind the firmware's back (changes skip the file).
std::vector<uint8_t> &eeprom();
// The supply is lost after `writes` more completed byte writes (0: now, negative: never); the
// EEPROM then drops every write until powerCycle. Writes so far: sim_board().eepromByteWrites.
void cutEepromPowerAfter(long writes);

} // namespace testboard
