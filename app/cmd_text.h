// Text state of the command layer that other rooms use: the text mode by name and the text cursor.
#pragma once

#include <stdint.h>

// Sets the text mode by the first letters of word: "N" normal, "R" reverse, "TR" transparent and
// reverse, "T" transparent, "X" XOR (tested in that order). 1, or 0 for any other word.
int setTextMode(const char *word);
// The mode last set by name.
uint8_t getTextMode(void);
// Text cursor and left text border to (x, y) from the origin.
void setCursor(int x, int y);
// The current font for a saved graphics state, and its return (a font-table row or user font).
const void *textFontSave(void);
void textFontRestore(const void *entry);
