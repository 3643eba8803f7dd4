// Test surroundings of the text room: captured output and a screen in its power-up text state.
#pragma once

#include <string>

#include "tests/support/console.h" // sent: the captured output

// A cleared screen, black on white, font "16", normal mode, left-top alignment, origin and cursor at
// (0, 0), one byte per character, nothing sent.
void textScreen(void);
// Runs a command handler on a writable copy of the line and returns its result.
int run(int (*handler)(char *), const char *line);
