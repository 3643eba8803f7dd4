// What the macro engine meets around it, in a test: an interpreter that records the lines it is
// given (and hands the macro and register commands to their handlers), captured output, the
// receive side's abort and escape checks, touch handling, the EEPROM and the image region.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/console.h" // sent: every byte sent, replies and notices alike

extern std::vector<std::string> ran;     // lines the interpreter was given, in order
extern int abortAfter;                   // checkAbortCmd reports "*abt" from this call on (-1 never)
extern int escapeAfter;                  // checkEscape reports ESC CR from this call on (-1 never)
extern std::function<void(int)> onTouch; // called by handle_touch with its call count
extern uint8_t fakeEeprom[0x2000];
extern int eepromWrites;
extern int configSaves;
extern int16_t temperature;
extern int32_t textX, textY; // the library's text position (absolute)

// Registers, queue, depth, switches, output, counters and the image region back to power-up.
void resetEnv();
// Copies an image into the region and converts it, as the loader does.
void loadImage(const std::vector<uint8_t> &bin);
// A host line as the main loop handles it: comment removal, expansion, arithmetic, interpreter.
int host(const char *line);
// Expansion then arithmetic of a line, with macro arguments (null: none).
std::string expand(const char *line, const char *const *args = nullptr, int size = 130);
