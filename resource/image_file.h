// Image files on the card drawn by the image decoders.
#pragma once

#include <stdint.h>

// The open card file as a decoders' data source (the source is the file's window state).
uint32_t GetData_Ex_SdImageFile(void *source, const uint8_t **data, uint32_t bytes, uint32_t offset);
// "xif": draws the BMP, GIF (first frame) or JPG file `name` at (x, y); 1 on success, 0 with the
// message on failure.
int QV_Draw_SdImageFile(const char *name, int32_t x, int32_t y);

// Command
int cmd_xif(char *line);
