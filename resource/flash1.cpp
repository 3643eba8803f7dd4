// The data flash as the store of the resource image: it keeps the image across power cycles so that
// the display can start without a card. The image lies at flash address 0 exactly as the ".BIN" file.
#include "resource/flash1.h"

#include <string.h>

#include "base/console.h"
#include "board/bsp/bsp.h"
#include "board/services/services.h"
#include "gfx/font_table.h"
#include "gfx/gfx_state.h"
#include "gfx/gui.h"
#include "resource/bitmap.h"
#include "resource/resource.h"
#include "sdcard/sdcard.h"
#include "settings/settings.h"

enum : uint32_t { FLASH_PAGE = 256, ERASE_UNIT = 65536 };

FLASH_STATUS QV_ExtMem_Erase_Chip(void) {
    EraseSerialFlash();
    return FLASH_OK;
}

FLASH_STATUS QV_ExtMem_Erase_Sector(uint32_t n) {
    if (n >= Flash1NumSectors) return FLASH_ERR_SECTOR;
    // The erase command is addressed in 64 KB units; a larger sector is erased whole.
    SectorEraseSerialFlash(n * (Flash1SectorSize / ERASE_UNIT));
    return FLASH_OK;
}

FLASH_STATUS QV_ExtMem_ProgramArea(uint32_t address, const uint8_t *data, uint32_t count) {
    if (!data) return FLASH_ERR_NO_DATA;
    if (address > Flash1Size || count > Flash1Size - address) return FLASH_ERR_RANGE;
    uint32_t first = FLASH_PAGE - (address % FLASH_PAGE);
    if (first >= count) {
        WriteSerialFlash(address, count, data);
    } else {
        WriteSerialFlash(address, first, data);
        WriteSerialFlash(address + first, count - first, data + first);
    }
    return FLASH_OK;
}

int IsFlash1Usable(void) {
    return 1;
}

enum : uint32_t { MAGIC_BYTES = 2 };
static uint8_t heldMagic[MAGIC_BYTES];
static uint8_t heldMask; // bit i: byte i of heldMagic waits to be programmed

void flashUploadBegin(void) {
    heldMask = 0;
}

static FLASH_STATUS programChecked(uint32_t address, const uint8_t *data, uint32_t count) {
    FLASH_STATUS s = QV_ExtMem_ProgramArea(address, data, count);
    if (s != FLASH_OK) return s;
    uint8_t back[64];
    for (uint32_t done = 0; done < count; done += sizeof back) {
        uint32_t n = count - done < sizeof back ? count - done : (uint32_t)sizeof back;
        ReadSerialFlash(address + done, n, back);
        if (memcmp(back, data + done, n) != 0) return FLASH_ERR_VERIFY;
    }
    return FLASH_OK;
}

FLASH_STATUS flashUploadWrite(uint32_t address, const uint8_t *data, uint32_t count) {
    if (!data) return FLASH_ERR_NO_DATA;
    if (address > Flash1Size || count > Flash1Size - address) return FLASH_ERR_RANGE;
    uint32_t skip = 0;
    while (skip < count && address + skip < MAGIC_BYTES) {
        heldMagic[address + skip] = data[skip];
        heldMask |= (uint8_t)(1u << (address + skip));
        skip++;
    }
    return skip < count ? programChecked(address + skip, data + skip, count - skip) : FLASH_OK;
}

FLASH_STATUS flashUploadFinish(void) {
    FLASH_STATUS s = FLASH_OK;
    for (uint32_t i = 0; i < MAGIC_BYTES && s == FLASH_OK; i++)
        if (heldMask & (1u << i)) s = programChecked(i, heldMagic + i, 1);
    heldMask = 0;
    return s;
}

static void readFlash(uint32_t from, uint32_t to, uint8_t *image) {
    for (uint32_t a = from; a < to; a += FLASH_PAGE)
        ReadSerialFlash(a, to - a < FLASH_PAGE ? to - a : FLASH_PAGE, image + a);
}

int Flash1LoadFile(uint32_t destination, uint32_t limit) {
    uint8_t head[32];
    ReadSerialFlash(0, sizeof head, head);
    ExtHeader h;
    memcpy(&h, head, sizeof h);
    if (h.magic != RES_MAGIC) {
        perr(":Data Flash header is not valid  Magic was 0x%04X, not 0x%04X\r", h.magic, RES_MAGIC);
        return 1;
    }
    if (h.size > ExtMemSize || h.size > limit || h.size > Flash1Size || h.size < RES_HEADER_SIZE) {
        perr(":Data Flash size is not valid (%d)\r", (int)h.size);
        return 1;
    }
    uint8_t *image = (uint8_t *)bsp_mem(destination, h.size);
    if (!image) return 1;
    memcpy(image, head, h.size < sizeof head ? h.size : sizeof head);

    // Early splash: bitmap 1 is read and drawn before the rest of the image.
    ExtRecord r1;
    memcpy(&r1, head + RES_HEADER_SIZE + RES_RECORD_SIZE, sizeof r1);
    const bool bitmap = r1.type == RES_BITMAP || r1.type == RES_RLE_BITMAP || r1.type == RES_TRANS_BITMAP;
    if (eepromData[CFG_SPLASH_ON] == CFG_ENABLED && eepromData[CFG_SPLASH_BITMAP] == 1 && h.count > 1 &&
        bitmap && r1.addr < h.size && r1.size <= h.size - r1.addr && r1.addr + r1.size > sizeof head) {
        readFlash(sizeof head, r1.addr + r1.size, image);
        const ExtRecord *rec = QV_GetExtBitmap(1);
        if (rec && QV_DrawBitmap(rec, 0, 0)) {
            if (splashShownHook) splashShownHook();
            splashShown = 1;
            QV_Visibility_Init();
        }
    }

    pout(":loading %dKB bitmap/macro file from data flash\r", h.size < 1024 ? 1 : (int)(h.size / 1024));
    readFlash(RES_HEADER_SIZE, h.size, image);
    return 0;
}

int CopyMemToFlash1(uint32_t size, const uint8_t *buffer) {
    if (size == 0) {
        pout(": No memory to copy to Data Flash?\r");
        return 0;
    }
    // Every sector the image occupies, whatever the part's sector size.
    uint32_t sector = Flash1SectorSize ? Flash1SectorSize : ERASE_UNIT;
    uint32_t n = (uint32_t)(((uint64_t)size + sector - 1) / sector);
    if (n > Flash1Size / sector) n = Flash1Size / sector;
    FlashLed(100);
    pout(":Copy SD Card to Data Flash:");
    if (n == 0) perr(":Error - no sectors to erase\r");
    startProgressDots("Copying Flash Data File to Flash Memory");
    for (uint32_t i = 0; i < n; i++) {
        if (i % 8 == 1) pout("+");
        SectorEraseSerialFlash(i * (sector / ERASE_UNIT));
        uint8_t status = SerialFlashStatus();
        if (status) perr(":Error - sector erase has status 0x%X  Continuing... ", status);
        addProgressDot();
    }
    uint32_t writes = 0;
    for (uint32_t a = 0; a < size; a += 8) {
        QV_ExtMem_ProgramArea(a, buffer + a, size - a < 8 ? size - a : 8);
        writes++;
        if (writes % 16384 == 1) pout(".");
        if (writes % 1024 == 1) addProgressDot();
    }
    FlashLed(0);
    pout("  DONE!\r");
    return 0;
}

// ---- progress display -------------------------------------------------------------------------------

static int dots;

static void newLine(void) {
    GUI_SetLBorder(Origin_X + 10);
    GUI_DispNextLine();
}

void startProgressDots(const char *title) {
    GUIDEMO_SetFont("m12");
    GUI_Clear();
    GUI_DispStringAt(title, Origin_X + 10, Origin_Y + 10);
    newLine();
    dots = 0;
}

void addProgressDot(void) {
    SD_ledToggle();
    GUI_DispString(".");
    if (++dots % 64 == 0) newLine();
}

void endProgressDots(const char *text) {
    newLine();
    GUI_DispStringAt(text, Origin_X + 10, GUI_GetDispPosY());
}
