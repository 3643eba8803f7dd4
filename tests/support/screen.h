// The resource image and the frame buffer of the simulated board (board/host), for unit tests that
// draw without the firmware: the board is powered on at the first use.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tests/support/console.h" // sent: the captured output

// The image region as the loader leaves it: the bytes copied in and converted.
void loadImage(const std::vector<uint8_t> &bin);
uint8_t *imageBytes(void); // the region itself
// A fresh screen of one colour index, normal draw mode, whole-screen clipping.
void freshScreen(uint16_t background);
uint16_t pixelAt(int x, int y);
// Frame-buffer pixels that differ from the background.
int changedPixels(uint16_t background);
