// GIF decoder (GIF87a and GIF89a): LZW-coded frames with global and local colour tables, the
// transparent index, interlace, frame positions, delays and disposal, and the comments. Frames are
// drawn row by row through the drawing core with the library's colour rule; the decoder's tables
// come from the library's memory pool, and the file is read through a data source.
#pragma once

#include <stdint.h>

#include "gfx/image_source.h"

struct GUI_GIF_INFO {
    int32_t xSize, ySize; // the logical screen
    int32_t NumImages;    // frames
};

struct GUI_GIF_IMAGE_INFO {
    int32_t xPos, yPos; // inside the logical screen
    int32_t xSize, ySize;
    int32_t Delay;       // 1/100 s
    int32_t Disposal;    // 0, 1 none; 2 restore the background colour; 3 restore what was there
    int32_t Transparent; // the transparent colour index, -1 for none
    int32_t Interlaced;
};

// All return 0 on success. Frame numbers count from 0.
int GUI_GIF_GetInfoEx(GUI_GET_DATA_FUNC getData, void *source, GUI_GIF_INFO *info);
int GUI_GIF_GetImageInfoEx(GUI_GET_DATA_FUNC getData, void *source, GUI_GIF_IMAGE_INFO *info, int32_t index);
// Draws frame `index` with the logical screen's top-left at (x, y). The disposal of the frame before
// it is applied first, so drawing frames 0, 1, 2 ... in turn at one place plays the animation.
// A damaged frame draws the rows decoded so far and fails.
int GUI_GIF_DrawSubEx(GUI_GET_DATA_FUNC getData, void *source, int32_t x, int32_t y, int32_t index);
int GUI_GIF_DrawEx(GUI_GET_DATA_FUNC getData, void *source, int32_t x, int32_t y);
// Comment `index` (counting comment extensions from 0), NUL-terminated and cut to the buffer.
int GUI_GIF_GetCommentEx(GUI_GET_DATA_FUNC getData, void *source, uint8_t *buffer, uint32_t size,
                         int32_t index);

// The same on a GIF held in memory.
int GUI_GIF_GetInfo(const void *data, uint32_t size, GUI_GIF_INFO *info);
int GUI_GIF_GetImageInfo(const void *data, uint32_t size, GUI_GIF_IMAGE_INFO *info, int32_t index);
int GUI_GIF_DrawSub(const void *data, uint32_t size, int32_t x, int32_t y, int32_t index);
int GUI_GIF_Draw(const void *data, uint32_t size, int32_t x, int32_t y);
int GUI_GIF_GetComment(const void *data, uint32_t size, uint8_t *buffer, uint32_t bufferSize, int32_t index);
