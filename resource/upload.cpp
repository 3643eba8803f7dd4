// Memory sizes, flash erase and the line-encoded image upload. The upload asks for each line with
// "p>" CR; without a card it programs the data flash (erased by the host first), with a card and
// start address 2 it replaces the card's image file, and at the end escape it loads the new image.
#include "resource/upload.h"

#include <stdio.h>
#include <string.h>

#include "base/console.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "fat/ff.h"
#include "resource/flash1.h"
#include "resource/resource.h"
#include "resource/resource_load.h"
#include "resource/xmp_line.h"
#include "sdcard/sdcard.h"
#include "serial/serial.h"

int cmd_xma(char *) {
    const bool card = SDisInitialized();
    pout("%ld %ld %ld\r", (long)(card ? ExtMemSize : Flash1Size), (long)Flash1SectorSize, (long)ExtMemSize);
    return CMD_OK;
}

// With a card the upload goes to the card: nothing is erased, the host only waits as it would.
int cmd_xmc(char *line) {
    unsigned magic = 0;
    int sector = 0;
    const int n = sscanf(line, "xmc %x %d", &magic, &sector);
    if (n < 1 || magic != RES_MAGIC) {
        perr(":Magic value was wrong (got 0x%X, should be 0x%X\r", magic, (unsigned)RES_MAGIC);
        return CMD_FAIL;
    }
    const bool card = SDisInitialized();
    if (n == 2) {
        pout(":Erasing sector %d...", sector);
        if (card) {
            QV_Delay(100);
        } else if (QV_ExtMem_Erase_Sector((uint32_t)sector) != FLASH_OK) {
            perr("\r:Erase sector %d failed\r", sector);
            return CMD_FAIL;
        }
    } else {
        pout(":Erasing chip...");
        if (card) {
            QV_Delay(1000);
        } else if (QV_ExtMem_Erase_Chip() != FLASH_OK) {
            perr(":Erase failed\r");
            return CMD_FAIL;
        }
    }
    pout(" done\r");
    return CMD_OK;
}

// ---- xmp ------------------------------------------------------------------------------------------

enum Target { TO_FLASH, TO_CARD, TO_NOWHERE };

struct Upload {
    Target target;
    uint64_t address; // where the next decoded line goes (a start beyond 32 bits is past any end)
    uint32_t limit;
    ff::FF_FILE *file; // TO_CARD
    char name[16];
    bool verbose;
};

static const char *plural(uint32_t n) {
    return n == 1 ? "" : "s";
}

// Replaces the card's image file by an empty contiguous one of the region's size, the magic at
// its start; 0 after a message.
static int openCardTarget(Upload &u) {
    if (findZefoBin(u.name)) {
        if (ff::remove(u.name) != ff::FF_OK) {
            perr(":SD card error %d\r", ff::_FF_error);
            return 0;
        }
    } else {
        strcpy(u.name, "ZEFO5.BIN");
    }
    if (ff::fcreate_contig_file(u.name, ExtMemSize) != ff::FF_OK ||
        !(u.file = SD_fopen(u.name, ff::FF_APPEND_CONTIG))) {
        perr(":SD card error %d\r", ff::_FF_error);
        return 0;
    }
    const uint8_t magic[2] = {(uint8_t)RES_MAGIC, (uint8_t)(RES_MAGIC >> 8)};
    if (ff::fwriteChunkToContiguousFile(u.file, magic, sizeof magic) != sizeof magic) {
        perr("\rWrite to SD Card failed!");
        u.address = 0;
        return 0;
    }
    return 1;
}

// The card file keeps what was written and is closed, whatever ended the upload.
static void closeCardTarget(Upload &u) {
    if (!u.file) return;
    ff::fsetFileSize(u.file, (uint32_t)u.address);
    SD_fclose(u.file);
    u.file = nullptr;
}

// Waits for the next line: 1 when one is ready, 0 after a message when the host went quiet, the
// ring overflowed or the port reported an error (the ring is emptied then).
static int waitLine(void) {
    gpTimer = XMP_IDLE_MS;
    int held = rxHeld();
    for (;;) {
        const int s = isLineAvail();
        if (s == 1) return 1;
        if (s == 2) perr("\rInput buffer overflowed!\r");
        if (s != 0) return 0;
        if (rxHeld() != held) {
            held = rxHeld();
            gpTimer = XMP_IDLE_MS;
        }
        if (!gpTimer) {
            perr(":Upload timed out\r");
            return 0;
        }
        bsp_idle(); // like the main loop, waiting for the host's next line
    }
}

// The echo of verbose mode: the line as received, cut into pieces the transmit path takes whole.
static void echoLine(const char *text, uint32_t len) {
    txString("\rSaw: '");
    char piece[TX_MAX + 1];
    for (uint32_t at = 0; at < len; at += TX_MAX) {
        uint32_t n = len - at < (uint32_t)TX_MAX ? len - at : (uint32_t)TX_MAX;
        memcpy(piece, text + at, n);
        piece[n] = 0;
        txString(piece);
    }
    txString("'\r");
}

static int store(Upload &u, const uint8_t *data, uint32_t count) {
    if (u.verbose)
        pout("Programming %u byte%s @ 0x%08X...\r", (unsigned)count, plural(count), (unsigned)u.address);
    if (u.address + count > u.limit) {
        perr("\rCannot write past end of external memory!\r");
        return 0;
    }
    bool ok = true;
    if (u.target == TO_FLASH) {
        ok = flashUploadWrite((uint32_t)u.address, data, count) == FLASH_OK;
    } else if (u.target == TO_CARD) {
        if (ff::fwriteChunkToContiguousFile(u.file, data, count) != count) {
            perr("\rWrite to SD Card failed!");
            return 0;
        }
    }
    if (!ok) {
        perr("\r!Write to external memory failed!");
        perr(" (%u byte%s @ 0x%04X%04X)\r", (unsigned)count, plural(count),
             (unsigned)(u.address >> 16 & 0xFFFF), (unsigned)(u.address & 0xFFFF));
        return 0;
    }
    u.address += count;
    return 1;
}

// One line: 1 to go on, 2 at the end escape, 0 when the upload failed.
static int takeLine(Upload &u) {
    char text[XMP_LINE_MAX + 1];
    rxString(text, XMP_LINE_MAX);
    uint32_t len = (uint32_t)strlen(text);
    if (len && text[len - 1] == '\r') {
        len--;
    } else if (len != XMP_LINE_MAX) {
        // No CR and shorter than the limit: the ring's reader refused a line that was too long.
        perr("\rInput buffer overflowed!\r");
        return 0;
    }
    if (u.verbose) echoLine(text, len);
    uint8_t data[XMP_DATA_MAX];
    const XmpLine r = xmpDecodeLine(text, len, data, XMP_DATA_MAX);
    if (u.verbose)
        for (uint32_t i = 0; i < r.count; i++) pout("byte %u: %02X\r", (unsigned)i, data[i]);
    if (r.overflow) {
        perr("\rInput buffer overflowed!\r");
        return 0;
    }
    if (r.count && !store(u, data, r.count)) return 0;
    return r.ended ? 2 : 1;
}

static int finish(Upload &u) {
    switch (u.target) {
    case TO_FLASH:
        if (flashUploadFinish() != FLASH_OK) {
            perr("\r!Write to external memory failed!");
            perr(" (%u byte%s @ 0x%04X%04X)\r", 2u, plural(2), 0u, 0u);
            return 0;
        }
        return QV_Load_Uploaded_Flash();
    case TO_CARD:
        closeCardTarget(u);
        return QV_Load_Uploaded_File(u.name);
    default:
        return 1;
    }
}

int cmd_xmp(char *line) {
    unsigned high, low;
    int verbose;
    if (sscanf(line, "xmp %x %x %d", &high, &low, &verbose) != 3) return CMD_FAIL;
    Upload u = {};
    u.address = (uint64_t)high * 65536u + low;
    u.verbose = verbose != 0;
    if (!SDisInitialized()) {
        u.target = TO_FLASH;
        u.limit = Flash1Size;
        flashUploadBegin();
    } else if (u.address == 2) {
        u.target = TO_CARD;
        u.limit = ExtMemSize;
        if (!openCardTarget(u)) {
            closeCardTarget(u);
            return CMD_FAIL;
        }
    } else {
        u.target = TO_NOWHERE;
        u.limit = ExtMemSize;
    }
    // Lead bytes of binary lines are image data here.
    binaryEnable = 0;
    int result = 0;
    for (;;) {
        txString("p>\r");
        const int s = waitLine() ? takeLine(u) : 0;
        if (s == 1) continue;
        result = s == 2 && finish(u);
        break;
    }
    closeCardTarget(u);
    binaryEnable = binaryDisable ? 0 : 1;
    return result ? CMD_OK : CMD_FAIL;
}
