// Loading the resource image from the SD card and the data flash (the look-ups are in resource.h).
#pragma once

#include <stdint.h>

#include "fat/ff.h"

// The first entry of the current directory named "zefo*" with extension "bin" (any case); its 8.3
// name goes to name (at least 13 bytes). 1 when found.
int findZefoBin(char *name);
// 1 when the open file holds an image this edition can load (messages otherwise).
int SDvalidateBin(ff::FF_FILE *file);
// Validates and reads the file whole into the image region; 1 on success.
int SDLoadBinFileToRam(ff::FF_FILE *file);
// Reads the file from its position in chunks until its end (at most capacity bytes); the bytes read.
uint32_t fastFileLoad(ff::FF_FILE *file, uint8_t *destination, uint32_t capacity);
// Reads the file into the region at board address buffer and programs the data flash with it.
// 0 on success, 21 when the file could not be read.
int CopyBinFileToFlash1(ff::FF_FILE *file, const char *name, uint32_t buffer, uint32_t limit);
