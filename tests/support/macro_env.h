// The macro engine in a unit test: on the test board (its EEPROM, its memory for the image
// region), with the rooms it talks to stood in (tests/support/standins.h: the recording
// interpreter, the receive side's abort and escape checks, touch handling).
#pragma once

#include <string>

#include "board/host/test_board.h"  // the EEPROM, sim_set_temperature, sim_board
#include "tests/support/console.h"  // sent: every byte sent, replies and notices alike
#include "tests/support/screen.h"   // loadImage: an image in the region, converted as the loader does
#include "tests/support/standins.h" // ran, abortAfter, escapeAfter, onTouch

// A freshly powered board (blank EEPROM, cleared memory, temperature 25.5 degrees) and the macro
// engine's registers, queue, depth, switches, output and text position as at power-up.
void resetEnv();
// A host line as the main loop handles it: comment removal, expansion, arithmetic, interpreter.
int host(const char *line);
// Expansion then arithmetic of a line, with macro arguments (null: none).
std::string expand(const char *line, const char *const *args = nullptr, int size = 130);
