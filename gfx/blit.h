// Blits of 16-bit frame-buffer pixels (RGB 5-6-5, little-endian rows) straight into the frame buffer.
#pragma once

#include <stdint.h>

struct GUI_PIXELS16 {
    const uint8_t *data;
    int32_t w, h, bpl; // size in pixels, bytes per row
};

// Copies the block whose pixel (0, 0) lands on screen point (ox, oy) into the screen area
// ax0..ax1, ay0..ay1, cut to the block, the screen and the clip rectangle. With `trans`, pixels
// equal to t are left alone.
void GUI_BlitArea(const GUI_PIXELS16 &p, int64_t ox, int64_t oy, int64_t ax0, int64_t ay0, int64_t ax1,
                  int64_t ay1, bool trans, uint16_t t);
