// The fake board of the storage tests (see fake_board.h).
#include "tests/storage/fake_board.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "fat/ff.h"
#include "gfx/gui.h"
#include "macro/macro.h"
#include "sdcard/sdcard.h"
#include "serial/serial.h"

namespace fake {

int mainPortSwitches, mainPortNow;
std::vector<uint8_t> eeprom(0x2000, 0xFF);
long writes, cutAfter = -1;
Card card;
uint32_t bmpExtra;
int bmpMsPerByte = 100;
static std::vector<uint8_t> extram;

std::string take() {
    std::string s = sent;
    sent.clear();
    return s;
}

bool powerLost() {
    return cutAfter >= 0 && writes >= cutAfter;
}

void insertCard(const std::vector<uint8_t> &image) {
    card.image = image;
    card.present = true;
}

void removeCard() {
    card.present = false;
}

void ticks(int n) {
    for (int i = 0; i < n; i++) {
        if (delayTimer) delayTimer = delayTimer - 1;
        SDhotplugUpdate();
    }
}

void reset() {
    sent.clear();
    mainPortSwitches = 0;
    mainPortNow = 0;
    eeprom.assign(0x2000, 0xFF);
    writes = 0;
    cutAfter = -1;
    card = Card();
    bmpExtra = 0;
    bmpMsPerByte = 100;
    macroVerbose = 0;
    delayTimer = 0;
    ff::ffUnmount();
    SDhotplug = SD_NO_CARD;
    SDCardErrorHook = SDCardReportErrors;
}

std::vector<uint8_t> fakeScreenBmp() {
    std::vector<uint8_t> b(62, 0);
    auto put16 = [&](size_t at, uint32_t v) {
        b[at] = (uint8_t)v;
        b[at + 1] = (uint8_t)(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at, v);
        put16(at + 2, v >> 16);
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 62);
    put32(10, 54);
    put32(14, 40);
    put32(18, 2);
    put32(22, 2);
    put16(26, 1);
    put16(28, 16);
    put16(54, 0x7C00); // red, bottom row first
    put16(56, 0x03E0);
    put16(58, 0x001F);
    put16(60, 0x7FFF);
    b.resize(b.size() + bmpExtra, 0x42);
    return b;
}

} // namespace fake

using namespace fake;

// ---- serial --------------------------------------------------------------------------------------------
void txWait(void) {}
void makeUart0Main(void) {
    mainPortSwitches++;
    mainPortNow = 0;
}
void makeUart1Main(void) {
    mainPortSwitches++;
    mainPortNow = 1;
}

// ---- time and memory ----------------------------------------------------------------------------------
volatile uint32_t delayTimer;
void QV_Delay_uSec(uint32_t us) {
    card.delayUs += us;
}
void QV_Delay(uint32_t ms) {
    card.delayUs += 1000ull * ms;
    ticks((int)ms);
}

void *bsp_mem(uint32_t addr, uint32_t len) {
    if (addr < BSP_EXTRAM_BASE || addr - BSP_EXTRAM_BASE + (uint64_t)len > BSP_EXTRAM_SIZE) return nullptr;
    if (extram.empty()) extram.assign(BSP_EXTRAM_SIZE, 0);
    return extram.data() + (addr - BSP_EXTRAM_BASE);
}

// ---- EEPROM -----------------------------------------------------------------------------------------------
uint8_t EEpromRead(uint16_t address) {
    return eeprom[address % eeprom.size()];
}
void EEpromWrite(uint16_t address, uint8_t byte) {
    if (powerLost()) return;
    eeprom[address % eeprom.size()] = byte;
    writes++;
}

// ---- macro trace switch, screen dump --------------------------------------------------------------------
int macroVerbose;
void GUI_BMP_Serialize(GUI_BMP_SerializeFunc sink, void *arg) {
    for (uint8_t b : fakeScreenBmp()) {
        sink(b, arg);
        ticks(bmpMsPerByte);
    }
}

// ---- SD card
// ------------------------------------------------------------------------------------------------
namespace {
enum State { IDLE, READY, IDENT, STBY, TRAN, DATA, RCV };
State state = IDLE;
bool appCmd;
int busyLeft;
uint32_t dataAddr;
constexpr uint32_t RCA = 0x1234;

void setBits(uint32_t reg[4], int hi, int lo, uint32_t v) {
    for (int bit = lo; bit <= hi; bit++) {
        uint32_t &w = reg[3 - bit / 32];
        uint32_t m = 1u << (bit % 32);
        w = (v >> (bit - lo)) & 1 ? w | m : w & ~m;
    }
}

void cid(uint32_t r[4]) {
    memset(r, 0, 16);
    setBits(r, 127, 120, 0x5A);
    setBits(r, 119, 104, 'Z' << 8 | 'F');
    const char *name = "ZTEST";
    for (int i = 0; i < 5; i++) setBits(r, 103 - 8 * i, 96 - 8 * i, (uint8_t)name[i]);
    setBits(r, 55, 24, 0x12345);
    setBits(r, 19, 12, 24);
    setBits(r, 11, 8, 6);
}

void csd(uint32_t r[4]) {
    memset(r, 0, 16);
    uint64_t blocks = card.image.size() / 512;
    int e = 2;
    while (e < 9 && ((blocks >> e) > 4096 || (blocks & ((1ull << e) - 1)))) e++;
    setBits(r, 83, 80, 9);
    setBits(r, 73, 62, (uint32_t)(blocks >> e) - 1);
    setBits(r, 49, 47, (uint32_t)(e - 2));
}

bool alive() {
    return card.present && card.powered;
}

uint32_t status() {
    return (uint32_t)state << 9 | (state == TRAN ? 1u << 8 : 0);
}

void transferDone() {
    card.transfers++;
    if (card.removeAfterTransfers > 0 && --card.removeAfterTransfers == 0) card.present = false;
}
} // namespace

int bsp_sd_card_detect(void) {
    return card.present;
}
void SDCardSlotInit(void) {}
void bsp_sd_power(int on) {
    if (on && !card.powered) state = IDLE;
    card.powered = on != 0;
}
void bsp_sd_lines_low(void) {}
void bsp_sd_clock(int mode) {
    card.clock = mode;
}
void bsp_sd_led(int on) {
    card.led = on;
}

int bsp_sd_command(uint8_t cmd, uint32_t arg, int kind, uint32_t resp[4]) {
    memset(resp, 0, 16);
    bool app = appCmd && cmd != 55;
    appCmd = false;
    card.commands.push_back(app ? 100 + cmd : cmd);
    if (!alive()) return kind == BSP_SD_RESP_NONE ? BSP_SD_OK : BSP_SD_ERR_RESP_TIMEOUT;
    bool addressed = arg >> 16 == RCA;
    if (app && cmd == 41) {
        if (state != IDLE) return BSP_SD_ERR_RESP_TIMEOUT;
        if (!card.neverPowersUp && busyLeft-- <= 0) state = READY;
        resp[0] = 0x00FF8000u | (state == READY ? 0x80000000u : 0);
        return BSP_SD_OK;
    }
    if (app && cmd == 6) {
        if (state != TRAN) return BSP_SD_ERR_RESP_TIMEOUT;
        card.busWidth = arg == 2 ? 4 : 1;
        resp[0] = status();
        return BSP_SD_OK;
    }
    switch (cmd) {
    case 0:
        state = IDLE;
        busyLeft = card.busyAnswers;
        return BSP_SD_OK;
    case 55:
        appCmd = true;
        resp[0] = status() | 1u << 5;
        return BSP_SD_OK;
    case 2:
        if (state != READY) return BSP_SD_ERR_RESP_TIMEOUT;
        state = IDENT;
        cid(resp);
        return BSP_SD_OK;
    case 3:
        if (state != IDENT) return BSP_SD_ERR_RESP_TIMEOUT;
        state = STBY;
        resp[0] = RCA << 16;
        return BSP_SD_OK;
    case 9:
        if (state != STBY || !addressed) return BSP_SD_ERR_RESP_TIMEOUT;
        csd(resp);
        return BSP_SD_OK;
    case 7:
        if (state != STBY || !addressed) return BSP_SD_ERR_RESP_TIMEOUT;
        state = TRAN;
        resp[0] = status();
        return BSP_SD_OK;
    case 13:
        if (!addressed || state < STBY) return BSP_SD_ERR_RESP_TIMEOUT;
        resp[0] = status();
        return BSP_SD_OK;
    case 17:
    case 24:
        if (state != TRAN) return BSP_SD_ERR_RESP_TIMEOUT;
        if (arg % 512 || (uint64_t)arg + 512 > card.image.size()) {
            resp[0] = status() | 1u << 31;
            return BSP_SD_OK;
        }
        resp[0] = status();
        dataAddr = arg;
        state = cmd == 17 ? DATA : RCV;
        return BSP_SD_OK;
    default:
        return BSP_SD_ERR_RESP_TIMEOUT;
    }
}

int bsp_sd_read_data(uint8_t *block) {
    if (!alive() || state != DATA) return BSP_SD_ERR_DATA_TIMEOUT;
    state = TRAN;
    memcpy(block, card.image.data() + dataAddr, 512);
    transferDone();
    uint32_t f = card.failNextRead;
    card.failNextRead = 0;
    return (int)f;
}

int bsp_sd_write_data(const uint8_t *block) {
    if (!alive() || state != RCV) return BSP_SD_ERR_DATA_TIMEOUT;
    state = TRAN;
    uint32_t f = card.failNextWrite;
    card.failNextWrite = 0;
    if (!f) memcpy(card.image.data() + dataAddr, block, 512);
    transferDone();
    return (int)f;
}
