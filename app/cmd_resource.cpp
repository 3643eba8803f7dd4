// Commands of the resource image: the record listing ("ls", "lsbmp"), loading ("*LOAD", "*LOADF",
// "*sdload"), "*CEXT" and "*SPL".
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "base/crc.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "gfx/gif_decode.h"
#include "macro/macro.h"
#include "macro/scan32.h"
#include "resource/resource.h"
#include "sdcard/sdcard.h"
#include "serial/serial.h"
#include "settings/settings.h"

// The "lsbmp" detail of one bitmap object.
static void DumpBitMapStructure(const ExtRecord *r) {
    const ExtBitmap *b = QV_BitmapObject(r);
    if (!b) return;
    pout("    %ux%u %ubpp (%u Bpl)\r", b->XSize, b->YSize, b->BitsPerPixel, b->BytesPerLine);
    pout("    gBitmap  @ %06lx\r", (unsigned long)r->addr);
    pout("    gPal     @ %06lx\r", (unsigned long)b->pPal);
    const uint8_t *pal = QV_ExtPtr(b->pPal, 12);
    if (r->type != RES_TRANS_BITMAP && pal) {
        uint32_t count, colors;
        memcpy(&count, pal, 4);
        memcpy(&colors, pal + 8, 4);
        pout("    %u color%s (%stransparent)\r", (unsigned)count, count == 1 ? "" : "s",
             pal[4] ? "" : "not ");
        pout("    colors   @ %06lx\r", (unsigned long)colors);
        const uint8_t *c = QV_ExtPtr(colors, 16);
        for (int i = 0; c && i < 4; i++) {
            uint32_t v;
            memcpy(&v, c + 4 * i, 4);
            pout("      %d: 0x%06lX\r", i, (unsigned long)v);
        }
    }
    pout("    pixels   @ %06lx\r", (unsigned long)b->pData);
    const uint8_t *px = QV_ExtPtr(b->pData, 4);
    for (int i = 0; px && i < 4; i++) pout("      %d: 0x%02X\r", i, px[i]);
}

static void listRecord(int index, bool detail) {
    const ExtRecord *r = QV_GetExtRecord(index);
    if (!r) return;
    pout("  %02d: type %0X @ %06lx size %lu\r", index, r->type, (unsigned long)r->addr,
         (unsigned long)r->size);
    const int w = QV_BitmapWidth(r), h = QV_BitmapHeight(r);
    switch (r->type & 0x0F) {
    case RES_BLANK:
        pout("    Blank Record\r");
        break;
    case RES_BITMAP:
        pout("    Uncompressed Bitmap: %dx%d\r", w, h);
        break;
    case RES_RLE_BITMAP:
        pout("    Compressed Bitmap: %dx%d\r", w, h);
        break;
    case RES_MACROS:
        pout("    Macro Definitions\r");
        break;
    case RES_FONT:
        pout("    User Font\r");
        break;
    case RES_TRANS_BITMAP:
        pout("    Uncompressed Transparent Bitmap: %dx%d (0x%X)\r", w, h, QV_BitmapTransparent(r));
        break;
    case RES_GIF: {
        uint32_t size = 0;
        const uint8_t *gif = QV_GetExtGIF(index, &size);
        GUI_GIF_INFO info = {0, 0, 0};
        if (gif && GUI_GIF_GetInfo(gif, size, &info) != 0) info = GUI_GIF_INFO{0, 0, 0};
        pout("    GIF: %dx%d, %d frames\r", (int)info.xSize, (int)info.ySize, (int)info.NumImages);
        break;
    }
    default:
        pout("    Unknown record type!\r");
        break;
    }
    if (detail && (r->type == RES_BITMAP || r->type == RES_RLE_BITMAP || r->type == RES_TRANS_BITMAP))
        DumpBitMapStructure(r);
}

// "ls", "lsbmp", "lsbmp N"; "lsmac" belongs to the macro engine.
int cmd_ls(char *line) {
    if (strncmp(line, "lsmac", 5) == 0) return macroListing(line);
    const ExtHeader *h = QV_ExtHeader();
    if (!h) {
        perr(":External Memory not valid\r");
        return CMD_FAIL;
    }
    const bool bitmaps = strncmp(line, "lsbmp", 5) == 0;
    int index;
    if (bitmaps && sscanf(line, "lsbmp %d", &index) == 1) {
        if (index < 0 || index >= h->count) {
            perr(":index outside valid range\r");
            return CMD_FAIL;
        }
        listRecord(index, true);
        return CMD_OK;
    }
    pout("Records: %d\r", h->count);
    for (int i = 0; i < h->count; i++) listRecord(i, bitmaps);
    pout("\r");
    uint32_t used = ExtMemUsed();
    pout("Total Used %dKB\r", used < 1024 ? 1 : (int)(used / 1024));
    return CMD_OK;
}

int cmd_sys_LOADF(char *) {
    perr(":command implemented on ZEFO5 XT only\r");
    return CMD_FAIL;
}

// CRC of data-flash bytes start..end inclusive, read in blocks of 128.
static uint16_t flashCrc(uint32_t start, uint32_t end) {
    uint8_t block[128];
    uint16_t crc = 0xFFFF;
    for (uint32_t a = start;; a += sizeof block) {
        uint32_t n = end - a + 1 < sizeof block ? end - a + 1 : (uint32_t)sizeof block;
        ReadSerialFlash(a, n, block);
        crc = CalcCRCwithSeed(block, n, crc);
        if (end - a < sizeof block) return crc;
    }
}

int cmd_sys_CEXT(char *line) {
    const char *p = line;
    while (*p && !isspace((unsigned char)*p)) p++;
    uint32_t start, end;
    const bool first = scanHex32(&p, &start);
    const bool second = first && scanHex32(&p, &end);
    if (second) {
        // The range must lie in the flash: beyond it a large range would only wrap round the part.
        if (start > end || end >= Flash1Size) return CMD_FAIL;
        pout("0x%04X\r", flashCrc(start, end));
        return CMD_OK;
    }
    if (first) {
        perr(":missing argument\r");
        return CMD_FAIL;
    }
    const uint8_t *image = (const uint8_t *)bsp_mem(ExtMemBuffer, ExtMemSize);
    uint16_t magic = 0;
    uint32_t size = 0;
    if (image) {
        memcpy(&magic, image, 2);
        memcpy(&size, image + 4, 4);
    }
    if (magic != RES_MAGIC) {
        perr(":External memory invalid (%04X vs %04X)\r", magic, RES_MAGIC);
        return CMD_FAIL;
    }
    if (size == 0 || size == 255 || size > ExtMemSize) {
        perr(":External memory invalid size 0x%08X\r", (unsigned)size);
        return CMD_FAIL;
    }
    pout("0x%04X\r", CalcCRC(image, size));
    return CMD_OK;
}

int cmd_sys_SPL(char *line) {
    int n;
    if (sscanf(line, "*SPL %d", &n) != 1) {
        pout("%d\r", eepromData[CFG_SPLASH_ON] == CFG_ENABLED ? eepromData[CFG_SPLASH_BITMAP] : 0);
        return CMD_OK;
    }
    if (n != 0) {
        // The index is kept in one byte: a larger one would name another bitmap.
        if (n < 0 || n > 255 || !QV_GetExtBitmap(n)) return CMD_FAIL;
        eepromData[CFG_SPLASH_BITMAP] = (uint8_t)n;
        eepromData[CFG_SPLASH_ON] = CFG_ENABLED;
    } else {
        eepromData[CFG_SPLASH_BITMAP] = 0;
        eepromData[CFG_SPLASH_ON] = 0;
    }
    QV_EEPROM_Save();
    return CMD_OK;
}

int cmd_sys_LOAD(char *) {
    return QV_Load_ExtMem() ? CMD_OK : CMD_FAIL;
}

// "*sdload DIR [macro]": loads the image of a directory of the card and queues its start-up macro.
int cmd_sys_sdload(char *line) {
    char dir[17];
    int index = 0;
    if (sscanf(line, "*sdload %16s", dir) != 1) return CMD_FAIL;
    const bool haveIndex = sscanf(line, "*sdload %*s %d", &index) == 1;
    if (!SDisInitialized()) {
        perr(":SD Card not ready\r");
        return CMD_FAIL;
    }
    if (ff::chdir(dir) != 0) {
        perr(":SD Card, chdir(\"%s\") FAILED\r", dir);
        return CMD_FAIL;
    }
    const bool here = strcmp(dir, ".") == 0;
    int ok = 1;
    if (haveIndex && (index < 1 || index > 254)) {
        perr(":invalid macro index number\r");
        ok = 0; // the directory is left again all the same
    } else {
        ok = QV_Load_ZefoBin_To_ExtMem();
    }
    if (!here && ff::chdir("..") != 0) perr(":SD Card, chdir(\"..\") FAILED\r");
    if (!ok) return CMD_FAIL;
    // The start-up macro runs from the main loop, without arguments or label.
    macroQueuedArgs[0] = 0;
    macroQueuedLabel[0] = 0;
    scheduleMacro(index + (int)MACRO_QUEUE_NOARGS, "");
    return CMD_OK;
}
