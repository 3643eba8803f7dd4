// Helpers of the picture tests: a fresh screen, frame-buffer snapshots, and comparison of a screen
// region with a reference picture in tests/ref_imgs.
//
// References are made on purpose only: with ZEFO_UPDATE_REFS=1 in the environment a comparison writes
// its reference (and passes); otherwise a missing reference fails. Look at every new reference before
// committing it.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

#include "gfx/gui.h"

// GUI_Init, black on white, the screen cleared.
void freshScreen(void);
std::vector<uint16_t> snapshot(void);
// Number of pixels that differ between two snapshots; optionally the box of the differences.
int32_t countDiff(const std::vector<uint16_t> &a, const std::vector<uint16_t> &b, GUI_RECT *box = nullptr);
// Pixels in the region with the given value.
int32_t countValue(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t value);
uint16_t px(int32_t x, int32_t y);
// Compares the region with tests/ref_imgs/<name>.png; returns an empty string when equal, else why not.
std::string matchReference(const char *name, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// Writes the region as a PNG (for looking at a failure).
bool writePng(const std::string &path, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
