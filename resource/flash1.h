// The serial data flash as the store of the resource image: erase and program operations, loading
// the image from it, copying an image into it, and the progress display of a copy.
#pragma once

#include <stdint.h>

int QV_ExtMem_Erase_Chip(void);         // 0
int QV_ExtMem_Erase_Sector(uint32_t n); // 0, or 3 when n is not below Flash1NumSectors
// 0; 2 without data; 1 when the area passes Flash1Size. Split at a 256-byte page boundary.
int QV_ExtMem_ProgramArea(uint32_t address, const uint8_t *data, uint32_t count);
int IsFlash1Usable(void);

// Loads the image at flash address 0 into the image region at board address destination (at most
// limit bytes); may draw bitmap 1 early as the splash. 0 on success, 1 on failure (after a message).
int Flash1LoadFile(uint32_t destination, uint32_t limit);
// Programs size bytes of buffer at flash address 0, first erasing every sector they occupy. 0.
int CopyMemToFlash1(uint32_t size, const uint8_t *buffer);

void startProgressDots(const char *title);
void addProgressDot(void);
void endProgressDots(const char *text);
