// Loading the resource image into the external-memory region: from the SD card (the first
// "zefo*.bin" of the current directory), or from the data flash, optionally re-programming the flash
// from the card ("flash1.ini"). Also the splash picture "splash.bmp" and the demonstration switch
// file "rundemo.ini".
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "base/console.h"
#include "board/bsp/bsp.h"
#include "board/services/services.h"
#include "gfx/bmp_decode.h"
#include "gfx/font_table.h"
#include "gfx/gui.h"
#include "resource/flash1.h"
#include "resource/resource.h"
#include "resource/resource_load.h"
#include "sdcard/sdcard.h"
#include "settings/settings.h"

using ff::FF_FILE;

static uint8_t *ram(void) {
    return (uint8_t *)bsp_mem(ExtMemRamBuffer, ExtMemSize);
}

static int kb(uint32_t bytes) {
    return bytes < 1024 ? 1 : (int)(bytes / 1024);
}

int findZefoBin(char *name) {
    ff::FF_DIRENT e;
    for (int next = 0; ff::read_directory_entry(&e, next); next = 1) {
        if (e.attr & (ff::FF_ATTR_DIRECTORY | ff::FF_ATTR_VOLUME)) continue;
        char base[5], ext[4];
        for (int i = 0; i < 4; i++) base[i] = (char)tolower((unsigned char)e.name[i]);
        for (int i = 0; i < 3; i++) ext[i] = (char)tolower((unsigned char)e.ext[i]);
        base[4] = ext[3] = 0;
        if (strcmp(base, "zefo") == 0 && strcmp(ext, "bin") == 0) {
            ff::NameFromDirEntry(&e, name);
            return 1;
        }
    }
    return 0;
}

uint32_t fastFileLoad(FF_FILE *file, uint8_t *destination, uint32_t capacity) {
    uint32_t total = 0;
    while (total < capacity) {
        int32_t n = ff::freadChunk(file, destination + total, capacity - total);
        if (n <= 0) break;
        total += (uint32_t)n;
    }
    return total;
}

// The header is checked in a buffer of its own, so that a file that is refused leaves the image in
// use as it was.
int SDvalidateBin(FF_FILE *file) {
    uint8_t head[RES_HEADER_SIZE];
    ff::fseek(file, 0, ff::FF_SEEK_SET);
    if (ff::fread(head, 1, sizeof head, file) < sizeof head) {
        perr(":SD card .BIN file too small\r");
        return 0;
    }
    ff::fseek(file, 0, ff::FF_SEEK_SET);
    ExtHeader h;
    memcpy(&h, head, sizeof h);
    if (h.magic != RES_MAGIC) {
        if (h.magic == RES_MAGIC_XT)
            perr(":SD card .BIN file created for ZEFO5 XT; select ZEFO5 in Pixforge\r");
        else
            perr(":SD card .BIN file header is not valid (got 0x%04X, expected 0x%04X)\r", h.magic,
                 RES_MAGIC);
        return 0;
    }
    if (h.size != file->size) {
        perr(":SD card .BIN file invalid (internal size error)\r");
        return 0;
    }
    if (file->size > ExtMemSize) {
        pout(":SD card .BIN file %dKB > max %dKB\r", (int)(file->size / 1024), (int)(ExtMemSize / 1024));
        return 0;
    }
    return 1;
}

int SDLoadBinFileToRam(FF_FILE *file) {
    if (!SDvalidateBin(file)) return 0;
    ff::fseek(file, 0, ff::FF_SEEK_SET);
    uint8_t *image = ram();
    return image && fastFileLoad(file, image, ExtMemSize) >= file->size;
}

int CopyBinFileToFlash1(FF_FILE *file, const char *name, uint32_t buffer, uint32_t limit) {
    startProgressDots("Loading Flash Data file from SD Card (5-10 seconds)...");
    uint8_t *image = (uint8_t *)bsp_mem(buffer, limit);
    ff::fseek(file, 0, ff::FF_SEEK_SET);
    uint32_t n = image ? fastFileLoad(file, image, limit) : 0;
    if (n < file->size) {
        perr(":Failed to read file '%s' into memory\r", name);
        return 21;
    }
    memcpy(image + 4, &n, 4); // the header's size field holds the bytes copied
    return CopyMemToFlash1(n, image);
}

// "splash.bmp" of the current directory, drawn at (0, 0) through the region the image goes to.
static void loadSplash(void) {
    FF_FILE *f = SD_fopen("splash.bmp", ff::FF_READ);
    if (!f) return;
    uint8_t *image = ram();
    if (f->size > ExtMemSize || !image) {
        perr(":splash.bmp could not be loaded - too big\r");
    } else if (fastFileLoad(f, image, ExtMemSize) < f->size) {
        perr(":splash.bmp could not be loaded\r");
    } else {
        GUI_CONTEXT saved;
        GUI_SaveContext_M(&saved);
        const int failed = GUI_BMP_Draw(image, f->size, 0, 0);
        GUI_RestoreContext(&saved);
        if (!failed) {
            if (splashShownHook) splashShownHook();
            splashShown = 1;
            QV_Visibility_Init();
        }
    }
    SD_fclose(f);
}

// The user fonts of the image, for the font look-up.
static void registerFonts(void) {
    QV_UserFontsClear();
    const ExtHeader *h = QV_ExtHeader();
    for (int i = 0; h && i < h->count; i++) {
        const ExtFont *font = QV_GetExtFont(i);
        uint32_t size = 0;
        const uint8_t *data = font ? QV_ExtFontData(font, &size) : nullptr;
        if (data && !QV_UserFontAdd(font->name, data, size, font->sifType)) break;
    }
}

static int finishLoad(void) {
    ExtMemBuffer = ExtMemRamBuffer;
    QV_Fixup_ExtMem(ExtMemRamBuffer, ExtMemSize);
    return 1;
}

// Reads the open image file into the region and closes it; 0 after a read error.
static int loadOpenCardFile(FF_FILE *f) {
    if (!SDLoadBinFileToRam(f)) {
        perr(":SD card error %d\r", ff::_FF_error);
        SD_fclose(f);
        return 0;
    }
    SD_fclose(f);
    return finishLoad();
}

static int loadImage(void) {
    if (!SDisInitialized()) {
        if (Flash1LoadFile(ExtMemRamBuffer, ExtMemSize)) {
            perr(":No .BIN file in flash or on SD card\r");
            return 0;
        }
        return finishLoad();
    }
    loadSplash();
    FF_FILE *ini = SD_fopen("flash1.ini", ff::FF_READ);
    const bool toFlash = ini != nullptr;
    if (ini) SD_fclose(ini);

    char name[16];
    FF_FILE *f = nullptr;
    if (findZefoBin(name)) {
        f = SD_fopen(name, ff::FF_READ);
        if (f && !SDvalidateBin(f)) {
            SD_fclose(f);
            f = nullptr;
        }
    }
    if (!f) {
        if (Flash1LoadFile(ExtMemRamBuffer, ExtMemSize)) {
            perr(":No bin file in Flash or SD card (%d)\r", 1);
            return 0;
        }
        return finishLoad();
    }
    if (!toFlash) {
        pout(":loading %dKB bitmap/macro file from SD card\r", kb(f->size));
        return loadOpenCardFile(f);
    }
    if (f->size > Flash1Size) {
        perr(":Failed to copy .BIN file (%d bytes) from SD Card to Data Flash (max %d bytes)\r", (int)f->size,
             (int)Flash1Size);
        SD_fclose(f);
        return 0;
    }
    int rc = CopyBinFileToFlash1(f, name, ExtMemRamBuffer, ExtMemSize);
    SD_fclose(f);
    if (rc) {
        perr(":Error - Failed to copy .BIN file from SD Card to Data Flash (%d)\r", rc);
        return 0;
    }
    return finishLoad();
}

// After any load, successful or not, the font look-up knows the fonts of what the region holds now.
int QV_Load_ExtMem(void) {
    int ok = loadImage();
    registerFonts();
    return ok;
}

static int loadDirectoryImage(void) {
    char name[16];
    if (!findZefoBin(name)) return 0;
    FF_FILE *f = SD_fopen(name, ff::FF_READ);
    if (!f) return 0;
    pout(":loading %dKB bitmap/macro file from SD card...\r", kb(f->size));
    return loadOpenCardFile(f);
}

int QV_Load_Uploaded_Flash(void) {
    uint8_t magic[2];
    ReadSerialFlash(0, sizeof magic, magic);
    int ok = 1;
    if ((magic[0] | magic[1] << 8) == RES_MAGIC && Flash1LoadFile(ExtMemRamBuffer, ExtMemSize)) {
        perr(":Failed to copy new image from Data Flash to memory!\r");
        ok = 0;
    }
    finishLoad();
    registerFonts();
    return ok;
}

int QV_Load_Uploaded_File(const char *name) {
    FF_FILE *f = SD_fopen(name, ff::FF_READ);
    uint8_t *image = ram();
    const uint32_t size = f ? f->size : 0;
    const uint32_t n = f && image && size <= ExtMemSize ? fastFileLoad(f, image, size) : 0;
    if (f) SD_fclose(f);
    int ok = 1;
    if (!f || n < size) {
        perr(":Failed to load new bin file to memory!\r");
        ok = 0;
    }
    finishLoad();
    registerFonts();
    return ok;
}

int QV_Load_ZefoBin_To_ExtMem(void) {
    int ok = loadDirectoryImage();
    registerFonts();
    return ok;
}

int QV_Check_Demo(void) {
    if (!SDisInitialized()) return 0;
    FF_FILE *f = SD_fopen("rundemo.ini", ff::FF_READ);
    if (!f) return 0;
    char *text = (char *)GUI_ALLOC_Alloc(f->size + 1);
    uint32_t n = text ? fastFileLoad(f, (uint8_t *)text, f->size) : 0;
    SD_fclose(f);
    if (!text || n < f->size) {
        GUI_ALLOC_Free(text);
        perr(":rundemo.ini could not be loaded\r");
        return 0;
    }
    text[n] = 0;
    int verbose = 0, demo = 0;
    if (lookfor(text, "verbose", 'd', &verbose, 0) && verbose) pout(":rundemo.ini verbose mode enabled\r");
    if (!lookfor(text, "demomac", 'd', &demo, verbose)) demo = 0;
    GUI_ALLOC_Free(text);
    return demo & 0xFF;
}
