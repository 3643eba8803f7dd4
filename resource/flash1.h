// The serial data flash as the store of the resource image: erase and program operations, loading
// the image from it, copying an image into it, and the progress display of a copy.
#pragma once

#include <stdint.h>

// Results of the flash operations, returned by value.
enum FLASH_STATUS : int {
    FLASH_OK = 0,
    FLASH_ERR_RANGE = 1,   // the area passes Flash1Size
    FLASH_ERR_NO_DATA = 2, // nothing to program from
    FLASH_ERR_SECTOR = 3,  // the sector number is not below Flash1NumSectors
    FLASH_ERR_VERIFY = 4,  // the bytes read back differ from those programmed (area not erased)
};

FLASH_STATUS QV_ExtMem_Erase_Chip(void);
// Sector n of Flash1SectorSize bytes, so that the 64 sectors cover the whole part.
FLASH_STATUS QV_ExtMem_Erase_Sector(uint32_t n);
// Split at a 256-byte page boundary.
FLASH_STATUS QV_ExtMem_ProgramArea(uint32_t address, const uint8_t *data, uint32_t count);
int IsFlash1Usable(void);

// A host upload into the data flash ("xmp", "bdld"). The first two bytes of the flash, the image
// magic, are held back and programmed only when the upload completes: a display that loses power
// half-way through never finds a magic in front of half an image. Every write is read back.
void flashUploadBegin(void);
FLASH_STATUS flashUploadWrite(uint32_t address, const uint8_t *data, uint32_t count);
FLASH_STATUS flashUploadFinish(void);

// Loads the image at flash address 0 into the image region at board address destination (at most
// limit bytes); may draw bitmap 1 early as the splash. 0 on success, 1 on failure (after a message).
int Flash1LoadFile(uint32_t destination, uint32_t limit);
// Programs size bytes of buffer at flash address 0, first erasing every sector they occupy. 0.
int CopyMemToFlash1(uint32_t size, const uint8_t *buffer);

void startProgressDots(const char *title);
void addProgressDot(void);
void endProgressDots(const char *text);
