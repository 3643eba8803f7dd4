// A fake board for the storage tests: the serial output as a string, an I2C EEPROM that can lose
// its power after the Nth byte write, an SD card on the native bus backed by an image in memory,
// the external-memory region, and counted (not slept) delays.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/support/console.h" // sent: the captured output

namespace fake {

// ---- serial --------------------------------------------------------------------------------------
extern int mainPortSwitches; // makeUart0Main/makeUart1Main calls
extern int mainPortNow;      // 0 or 1
std::string take();          // everything sent (tests/support/console.h), then forget it

// ---- EEPROM --------------------------------------------------------------------------------------
extern std::vector<uint8_t> eeprom; // 8 KiB, starts blank (0xFF)
extern long writes;                 // completed byte writes
extern long cutAfter;               // writes after which the power is lost (-1: never)
bool powerLost();

// ---- SD card ----------------------------------------------------------------------------------------
struct Card {
    std::vector<uint8_t> image;
    bool present = false;
    bool powered = true;
    int busyAnswers = 2;            // ACMD41 replies "busy" this many times
    bool neverPowersUp = false;     // ACMD41 always "busy"
    long removeAfterTransfers = -1; // the card leaves the slot after this many block transfers
    uint32_t failNextRead = 0;      // error flags the next data read reports
    uint32_t failNextWrite = 0;
    std::vector<int> commands; // command numbers in order (application commands as 100 + n)
    long transfers = 0;
    int clock = 0;    // last clock mode
    int busWidth = 1; // after ACMD6
    int led = 0;
    uint64_t delayUs = 0;
};
extern Card card;
void insertCard(const std::vector<uint8_t> &image);
void removeCard();

// ---- time ----------------------------------------------------------------------------------------------
// Runs the 1 ms debounce for n milliseconds.
void ticks(int n);

// ---- everything back to power-on ------------------------------------------------------------------------
void reset();

// The screen the fake BMP writer sends (bytes of a tiny 2 x 2 BMP), followed by `bmpExtra` more
// bytes; it takes `bmpMsPerByte` milliseconds a byte.
std::vector<uint8_t> fakeScreenBmp();
extern uint32_t bmpExtra;
extern int bmpMsPerByte;

} // namespace fake
