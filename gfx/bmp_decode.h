// Windows BMP decoder: 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed or with 8-bit and 4-bit
// run-length compression, at most 1024 x 1024 pixels. Pixels go through the drawing core (clip
// rectangle and draw mode apply), converted with the library's colour rule.
#pragma once

#include <stdint.h>

#include "gfx/image_source.h"

enum : int32_t { GUI_BMP_MAX_SIZE = 1024 };

// A BMP of `size` bytes in memory, its top-left corner at (x, y). 0 on success.
int GUI_BMP_Draw(const void *data, uint32_t size, int32_t x, int32_t y);
// The same through a data source. 0 on success; a refused or damaged image draws nothing or the
// part decoded so far.
int GUI_BMP_DrawEx(GUI_GET_DATA_FUNC getData, void *source, int32_t x, int32_t y);
// Width and height from the header; 0 when it is not a BMP this decoder draws.
int32_t GUI_BMP_GetXSize(const void *data, uint32_t size);
int32_t GUI_BMP_GetYSize(const void *data, uint32_t size);
