// JPEG decoder: baseline, extended sequential and progressive Huffman-coded frames, greyscale and
// colour (YCbCr, or RGB when an Adobe marker says so), sampling factors of 1 and 2 (4:4:4, 4:2:2,
// 4:2:0, 4:4:0), restart intervals. The image is decoded in horizontal bands of one MCU row, so its
// working memory (from the library's memory pool) grows with the width that is drawn, not with the
// height. Chroma is upsampled with a triangle filter, and pixels are converted with the library's
// colour rule.
#pragma once

#include <stdint.h>

#include "gfx/image_source.h"

struct GUI_JPEG_INFO {
    int32_t XSize, YSize;
    int32_t Progressive;
    int32_t Components;
};

// 0 on success.
int GUI_JPEG_GetInfoEx(GUI_GET_DATA_FUNC getData, void *source, GUI_JPEG_INFO *info);
// Draws the image with its top-left corner at (x, y). A damaged image draws the bands decoded so far
// and fails. Drawn columns whose working memory does not fit in the pool are drawn in narrower
// strips (each reads the data again); when not even one MCU column fits, it draws nothing and fails.
int GUI_JPEG_DrawEx(GUI_GET_DATA_FUNC getData, void *source, int32_t x, int32_t y);
int GUI_JPEG_Draw(const void *data, uint32_t size, int32_t x, int32_t y);
int GUI_JPEG_GetInfo(const void *data, uint32_t size, GUI_JPEG_INFO *info);
// The pool bytes the last GUI_JPEG_DrawEx took (for measurements).
uint32_t GUI_JPEG_LastPoolUse(void);
