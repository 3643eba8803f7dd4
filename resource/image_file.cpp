// Image files drawn straight from the card ("xif"): the card file as a data source for the image
// decoders, through a window of three bytes per screen column.
#include <stdio.h>
#include <string.h>

#include "base/parse.h"
#include "fat/ff.h"
#include "gfx/bmp_decode.h"
#include "gfx/gfx_state.h"
#include "gfx/gif_decode.h"
#include "gfx/jpeg_decode.h"
#include "resource/image_file.h"
#include "sdcard/sdcard.h"
#include "serial/serial.h"

namespace {

enum : uint32_t { SECTOR = 512, WINDOW_MAX = 2400 };

struct SdImageFile {
    ff::FF_FILE *file;
    uint32_t start, length; // the window: file bytes start .. start + length - 1 in buffer
};

uint8_t windowBuffer[WINDOW_MAX];

// Reads file bytes from `from` into the buffer at `at` until the buffer (of `capacity`) or the file ends.
bool readInto(SdImageFile *f, uint32_t from, uint32_t at, uint32_t capacity) {
    uint32_t want = capacity - at;
    if (from + want > f->file->size) want = f->file->size - from;
    if (ff::fseek(f->file, (int32_t)from, ff::FF_SEEK_SET) != 0) return false;
    return ff::fread(windowBuffer + at, 1, want, f->file) == want && (f->length = at + want, true);
}

} // namespace

// The data source over the open card file: a request is cut to the window size; one inside the
// window is served from it; one just past it keeps the window's last sector and reads on; any other
// refills the window from the request's sector.
uint32_t GetData_Ex_SdImageFile(void *source, const uint8_t **data, uint32_t bytes, uint32_t offset) {
    SdImageFile *f = (SdImageFile *)source;
    const uint32_t capacity =
        (uint32_t)LCD_GetXSize() * 3 < WINDOW_MAX ? (uint32_t)LCD_GetXSize() * 3 : WINDOW_MAX;
    const uint32_t size = f->file->size;
    if (offset >= size) return 0;
    if (bytes > capacity) bytes = capacity;
    if (bytes > size - offset) bytes = size - offset;
    const uint32_t end = f->start + f->length;
    const bool inside = f->length && offset >= f->start && offset + bytes <= end;
    if (!inside) {
        if (f->length >= SECTOR && offset != 0 && offset >= end - SECTOR && offset <= end &&
            offset + bytes > end) {
            memmove(windowBuffer, windowBuffer + f->length - SECTOR, SECTOR);
            f->start = end - SECTOR;
            if (!readInto(f, end, SECTOR, capacity)) return f->length = 0;
        } else {
            f->start = offset / SECTOR * SECTOR;
            if (!readInto(f, f->start, 0, capacity)) return f->length = 0;
        }
    }
    const uint32_t have = f->start + f->length - offset;
    *data = windowBuffer + (offset - f->start);
    return bytes < have ? bytes : have;
}

int QV_Draw_SdImageFile(const char *name, int32_t x, int32_t y) {
    if (!SDisInitialized()) {
        perr(":SD Card not initialized.\r");
        return 0;
    }
    ff::FF_FILE *file = ff::fopen(name, ff::FF_READ);
    if (!file) {
        perr(":cannot open SD card file \"%s\".\r", name);
        return 0;
    }
    const size_t n = strlen(name);
    char type[4];
    for (int i = 0; i < 3; i++) {
        const char c = n >= 3 ? name[n - 3 + i] : 0;
        type[i] = c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
    }
    type[3] = 0;
    SdImageFile source = {file, 0, 0};
    int failed = 1;
    SD_led(1);
    if (strcmp(type, "BMP") == 0)
        failed = GUI_BMP_DrawEx(GetData_Ex_SdImageFile, &source, x, y);
    else if (strcmp(type, "GIF") == 0)
        failed = GUI_GIF_DrawEx(GetData_Ex_SdImageFile, &source, x, y);
    else if (strcmp(type, "JPG") == 0)
        failed = GUI_JPEG_DrawEx(GetData_Ex_SdImageFile, &source, x, y);
    else
        perr(":file type\"%s\" not supported.\r", type);
    SD_fclose(file);
    return failed ? 0 : 1;
}

// "xif name x y"
int cmd_xif(char *line) {
    char name[17];
    int x, y;
    if (sscanf(line, "xif %16s %d%d", name, &x, &y) != 3) return CMD_FAIL;
    return QV_Draw_SdImageFile(name, x + Origin_X, y + Origin_Y) ? CMD_OK : CMD_FAIL;
}
