// The firmware on the simulated board for the display tests: lines in, replies and pixels out.
#pragma once

#include <stdint.h>

#include <string>

#include <gtest/gtest.h>

#include "board/host/sim.h"

class Display : public ::testing::Test {
  protected:
    void TearDown() override { sim_stop(); }
    // Powers on (with the card of the control tests when `card`) and waits for the first prompt.
    void start(bool card = false);
    std::string say(const std::string &line);
    static uint16_t pixel(int x, int y);
    // CRC-32 of the rectangle's pixels, a picture's fingerprint.
    static uint32_t crc(int x0, int y0, int x1, int y1);
    // True when the two same-sized rectangles hold the same pixels.
    static bool same(int ax, int ay, int bx, int by, int w, int h);
    // Number of pixels of the rectangle equal to `index`.
    static int count(int x0, int y0, int x1, int y1, uint16_t index);
};

// Frame-buffer indices of the colours the tests use.
enum : uint16_t {
    BLACK = 0x0000,
    WHITE = 0xFFFF,
    RED = 0xF800,
    GREEN = 0x07E0,
    BLUE = 0x001F,
    YELLOW = 0xFFE0
};
