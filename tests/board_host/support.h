// Helpers of the board tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "board/bsp/bsp.h"
#include "board/host/sim.h"
#include "tests/board_host/standin.h"

// A firmware made of a test's own code: runs `scenario` once on the firmware's thread, then idles.
extern std::function<void()> scenario;
int scenarioEntry(void);
SimOptions scenarioOptions(std::function<void()> body);

// The stand-in firmware (echo and line commands) with its start-up delay and UART0 rate.
SimOptions standinOptions(uint32_t delayMs = 0, uint32_t rate = 0);

std::string tempPath(const std::string &name); // in a directory of this test process
void writeFile(const std::string &path, const std::string &bytes);
std::string readFile(const std::string &path);

struct Png {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t *at(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
};
bool readPng(const std::string &path, Png &png);

// Timer counts of one 10-bit frame at the rate.
inline uint64_t byteTime(uint32_t rate) {
    return (10ull * 16384000 + rate - 1) / rate;
}
