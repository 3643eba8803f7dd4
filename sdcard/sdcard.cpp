// SD card slot: hot-plug debounce in the tick, initialisation and clean-up in the main loop, the
// card's identification sequence, single-block transfers and the card interface's error flags.
// Only standard-capacity cards (byte addresses) are supported.
#include "sdcard/sdcard.h"

#include <stdio.h>
#include <string.h>

#include "board/bsp/bsp.h"
#include "board/services/timer.h"

volatile uint8_t SDhotplug = SD_NO_CARD;
static volatile uint32_t debounceMs;

static uint32_t cardRca; // relative card address, already in the argument's high half
static uint32_t cardCid[4], cardCsd[4];
static uint8_t cardReady; // the card finished its initialisation: blocks may be transferred
static uint8_t fullClock;
static uint32_t errorFlags; // gathered from the card interface until reported
static uint8_t ledLevel;    // the SD-activity LED as last driven
uint8_t sdLedChoice;        // "*sdled": its level while no file is open

enum : uint8_t {
    CMD_GO_IDLE = 0,
    CMD_ALL_SEND_CID = 2,
    CMD_SEND_RCA = 3,
    ACMD_BUS_WIDTH = 6,
    CMD_SELECT = 7,
    CMD_SEND_CSD = 9,
    CMD_SEND_STATUS = 13,
    CMD_READ_BLOCK = 17,
    CMD_WRITE_BLOCK = 24,
    ACMD_OP_COND = 41,
    CMD_APP = 55,
};
enum : uint32_t {
    OCR_VOLTAGE_WINDOW = 0x00FF8000u,
    OCR_POWER_UP_DONE = 0x80000000u,
    STATUS_READY_FOR_DATA = 1u << 8,
    // out of range, address, block length, write protect, CRC, illegal command, ECC, controller, error
    STATUS_ERRORS = 0xE4F80000u,
    READY_POLLS = 999999,
    OP_COND_TRIES = 200,
};

// ---- hot plug ------------------------------------------------------------------------------------
void SDhotplugUpdate(void) {
    uint8_t state = SDhotplug;
    bool wanted; // the detect level that counts towards the next state
    if (state == SD_NO_CARD)
        wanted = true;
    else if (state == SD_READY || state == SD_INIT_FAILED)
        wanted = false;
    else
        return;
    if ((bsp_sd_card_detect() != 0) != wanted) {
        debounceMs = 0;
        return;
    }
    debounceMs = debounceMs + 1;
    if (debounceMs > SD_DEBOUNCE_MS) {
        debounceMs = 0;
        SDhotplug = wanted ? SD_INSERTED : SD_REMOVED;
    }
}

void SDcheckHotplug(void) {
    switch (SDhotplug) {
    case SD_INSERTED:
        bsp_sd_power(1);
        SDCardSlotInit();
        SDhotplug = initialize_media() == SD_OK ? SD_READY : SD_INIT_FAILED;
        break;
    case SD_REMOVED:
        ff::ffUnmount(); // whatever was cached belongs to a card that is gone
        cardReady = 0;
        bsp_sd_clock(BSP_SD_CLOCK_OFF);
        bsp_sd_lines_low();
        bsp_sd_power(0);
        SD_led(sdLedChoice);
        SDhotplug = SD_NO_CARD;
        break;
    default:
        break;
    }
}

int SDisInitialized(void) {
    return SDhotplug == SD_READY;
}
void SDhotplugInitialized(void) {
    SDhotplug = SD_READY;
}
void SDhotplugFailedToInit(void) {
    SDhotplug = SD_INIT_FAILED;
}

// ---- card commands -------------------------------------------------------------------------------
static int command(uint8_t cmd, uint32_t arg, int kind, uint32_t resp[4]) {
    int flags = bsp_sd_command(cmd, arg, kind, resp);
    QV_Delay_uSec(fullClock ? 3 : 105);
    errorFlags |= (uint32_t)flags;
    return flags == BSP_SD_OK;
}

static SD_STATUS initFailed(void) {
    bsp_sd_clock(BSP_SD_CLOCK_OFF);
    fullClock = 0;
    errorFlags = 0; // a card that does not answer is the hot-plug logic's business, not a message
    return SD_ERR_INIT;
}

SD_STATUS SDCardInit(void) {
    uint32_t r[4] = {};
    cardReady = 0;
    cardRca = 0;
    fullClock = 0;
    errorFlags = 0;
    bsp_sd_clock(BSP_SD_CLOCK_IDENT);
    if (!command(CMD_GO_IDLE, 0, BSP_SD_RESP_NONE, r)) return initFailed();
    bool poweredUp = false;
    for (uint32_t i = 0; i < OP_COND_TRIES && !poweredUp; i++) {
        if (!bsp_sd_card_detect()) break;
        if (command(CMD_APP, 0, BSP_SD_RESP_SHORT, r) &&
            command(ACMD_OP_COND, OCR_VOLTAGE_WINDOW, BSP_SD_RESP_SHORT_NOCRC, r) &&
            (r[0] & OCR_POWER_UP_DONE))
            poweredUp = true;
        else
            QV_Delay(1);
    }
    if (!poweredUp) return initFailed();
    if (!command(CMD_ALL_SEND_CID, 0, BSP_SD_RESP_LONG, cardCid)) return initFailed();
    if (!command(CMD_SEND_RCA, 0, BSP_SD_RESP_SHORT, r)) return initFailed();
    cardRca = r[0] & 0xFFFF0000u;
    if (!command(CMD_SEND_CSD, cardRca, BSP_SD_RESP_LONG, cardCsd) ||
        !command(CMD_SELECT, cardRca, BSP_SD_RESP_SHORT, r) ||
        !command(CMD_APP, cardRca, BSP_SD_RESP_SHORT, r) || !command(ACMD_BUS_WIDTH, 2, BSP_SD_RESP_SHORT, r))
        return initFailed();
    bsp_sd_clock(BSP_SD_CLOCK_FULL);
    fullClock = 1;
    cardReady = 1;
    return SD_OK;
}

// Bits hi..lo of a 128-bit register held most significant word first.
static uint32_t regBits(const uint32_t *reg, int hi, int lo) {
    uint32_t v = 0;
    for (int b = hi; b >= lo; b--) v = v << 1 | (reg[3 - b / 32] >> (b % 32) & 1u);
    return v;
}

uint32_t SDCardSectors(void) {
    if (!cardReady) return 0;
    if (regBits(cardCsd, 127, 126) == 1) return (regBits(cardCsd, 69, 48) + 1) * 1024u;
    uint32_t size = regBits(cardCsd, 73, 62), mult = regBits(cardCsd, 49, 47),
             blockLen = regBits(cardCsd, 83, 80);
    if (blockLen < 9 || blockLen > 11) return 0;
    return (size + 1) << (mult + 2 + blockLen - 9);
}

void SDCardGetCIDString(char *buffer) {
    char name[6];
    for (int i = 0; i < 5; i++) name[i] = (char)regBits(cardCid, 103 - 8 * i, 96 - 8 * i);
    name[5] = 0;
    snprintf(buffer, 80, "MID=%u\rOID=%04Xh\rPNM=%s\rPSN=%06u\rMDT=%02u/%02u\r",
             (unsigned)regBits(cardCid, 127, 120), (unsigned)regBits(cardCid, 119, 104), name,
             (unsigned)regBits(cardCid, 55, 24), (unsigned)regBits(cardCid, 19, 12),
             (unsigned)regBits(cardCid, 11, 8));
}

void (*SDCardErrorHook)(uint32_t flags);

uint32_t SDCardTakeErrors(void) {
    uint32_t f = errorFlags;
    errorFlags = 0;
    return f;
}

// The card finishes programming a written block before it takes the next transfer.
static int waitReady(void) {
    uint32_t r[4] = {};
    for (uint32_t i = 0; i < READY_POLLS; i++) {
        if (!command(CMD_SEND_STATUS, cardRca, BSP_SD_RESP_SHORT, r)) return 0;
        if (r[0] & STATUS_READY_FOR_DATA) return 1;
    }
    return 0;
}

static SD_STATUS transfer(uint8_t cmd, uint32_t address, uint8_t *in, const uint8_t *out) {
    if (!cardReady) return SD_ERR_NOT_READY;
    uint32_t r[4] = {};
    bsp_sd_clock(BSP_SD_CLOCK_FULL);
    fullClock = 1;
    int ok = waitReady() && command(cmd, address, BSP_SD_RESP_SHORT, r) && !(r[0] & STATUS_ERRORS);
    if (ok) errorFlags |= (uint32_t)(in ? bsp_sd_read_data(in) : bsp_sd_write_data(out));
    bsp_sd_clock(BSP_SD_CLOCK_OFF);
    if (uint32_t f = SDCardTakeErrors()) {
        if (SDCardErrorHook) SDCardErrorHook(f);
        ok = 0;
    }
    return ok ? SD_OK : SD_ERR_TRANSFER;
}

SD_STATUS SDCardReadBlock(uint32_t address, uint8_t *buffer) {
    return transfer(CMD_READ_BLOCK, address, buffer, nullptr);
}
SD_STATUS SDCardWriteBlock(uint32_t address, const uint8_t *buffer) {
    return transfer(CMD_WRITE_BLOCK, address, nullptr, buffer);
}

// ---- the file system on the card -------------------------------------------------------------------
enum : uint32_t { BYTE_ADDRESSED_SECTORS = 0x800000 }; // 4 GiB of byte addresses

static int readSector(void *, uint32_t sector, uint8_t *buffer) {
    return sector < BYTE_ADDRESSED_SECTORS && SDCardReadBlock(sector * ff::FF_SECTOR_SIZE, buffer) == SD_OK;
}
static int writeSector(void *, uint32_t sector, const uint8_t *buffer) {
    return sector < BYTE_ADDRESSED_SECTORS && SDCardWriteBlock(sector * ff::FF_SECTOR_SIZE, buffer) == SD_OK;
}

SD_STATUS initialize_media(void) {
    ff::ffUnmount();
    if (!bsp_sd_card_detect()) return SD_ERR_NO_CARD;
    if (SD_STATUS s = SDCardInit(); s != SD_OK) return s;
    ff::FF_BlockDevice device = {readSector, writeSector, nullptr, SDCardSectors()};
    return ff::ffMount(&device) == ff::FF_OK ? SD_OK : SD_ERR_NO_VOLUME;
}

void SD_led(int on) {
    ledLevel = on != 0;
    bsp_sd_led(ledLevel);
}
void SD_ledToggle(void) {
    SD_led(!ledLevel);
}

ff::FF_FILE *SD_fopen(const char *name, int mode) {
    ff::FF_FILE *f = ff::fopen(name, mode);
    if (f) SD_led(1);
    return f;
}

int SD_fclose(ff::FF_FILE *file) {
    int r = ff::fclose(file);
    SD_led(sdLedChoice);
    return r;
}
