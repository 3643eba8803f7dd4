// The SD card slot and a standard-capacity (byte-addressed, version 1.x) card on the native SD bus.
// The card is a raw image file: block reads and writes go to the file. The card follows the
// identification sequence of the SD physical layer: CMD0, CMD55+ACMD41 until powered up, CMD2,
// CMD3, CMD9, CMD7, then transfers with CMD17/CMD24. A command the card does not know, or one
// given in the wrong state, gets no response (the host sees a response time-out) and is flagged
// as illegal in the next status.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "board/host/host.h"

namespace host {
namespace {

enum CardState { IDLE = 0, READY = 1, IDENT = 2, STBY = 3, TRAN = 4, DATA = 5, RCV = 6, PRG = 7 };

// Card status bits (R1).
constexpr uint32_t OUT_OF_RANGE = 1u << 31, ADDRESS_ERROR = 1u << 30, BLOCK_LEN_ERROR = 1u << 29,
                   ILLEGAL_COMMAND = 1u << 22, READY_FOR_DATA = 1u << 8, APP_CMD = 1u << 5;
constexpr uint32_t OCR_VOLTAGES = 0x00FF8000u, OCR_POWERED_UP = 0x80000000u;
constexpr uint16_t RCA = 0x5A01;
constexpr int POWER_UP_TRIES = 3; // ACMD41 answers "busy" this many times first
constexpr uint64_t PROGRAM_TIME = SIM_COUNTS_PER_MS / 2;

int fd = -1;
uint64_t imageSize;
bool powered = true; // the slot's supply is on after reset until the firmware switches it
CardState state;
CardState stateAtCommand; // the state a response reports: the one the command found
bool appCmd;
int powerUpTries;
uint32_t pendingErrors; // reported in the next R1 status, then cleared
uint32_t blockLen = 512;
uint32_t dataAddr;
uint64_t programUntil;
uint32_t cid[4], csd[4];

// A block transfer went through: a card set to leave after so many leaves now.
void transferDone() {
    if (sd::quirks.removeAfterTransfers > 0 && --sd::quirks.removeAfterTransfers == 0) sd::setPresent(false);
}

bool cardAlive() {
    return board.cardPresent && powered && fd >= 0;
}

void cardPowerUp() {
    state = IDLE;
    appCmd = false;
    powerUpTries = 0;
    pendingErrors = 0;
    blockLen = 512;
    board.sdBusWidth = 1;
}

// Register fields by bit position, 127 the most significant bit of word 0.
void setBits(uint32_t reg[4], int hi, int lo, uint32_t value) {
    for (int bit = lo; bit <= hi; bit++) {
        uint32_t &w = reg[3 - bit / 32];
        uint32_t mask = 1u << (bit % 32);
        w = (value >> (bit - lo)) & 1 ? w | mask : w & ~mask;
    }
}

// CRC7 (x^7 + x^3 + 1) over bits 127..8, stored in bits 7..1; bit 0 is always 1.
void sealRegister(uint32_t reg[4]) {
    uint8_t crc = 0;
    for (int bit = 127; bit >= 8; bit--) {
        int in = (reg[3 - bit / 32] >> (bit % 32)) & 1;
        int top = (crc >> 6) & 1;
        crc = (uint8_t)((crc << 1) & 0x7F);
        if (in ^ top) crc ^= 0x09;
    }
    setBits(reg, 7, 1, crc);
    setBits(reg, 0, 0, 1);
}

void buildCid() {
    memset(cid, 0, sizeof cid);
    setBits(cid, 127, 120, 0x5A);             // manufacturer ID
    setBits(cid, 119, 104, ('Z' << 8) | 'F'); // OEM ID
    const char *name = "ZSIM5";
    for (int i = 0; i < 5; i++) setBits(cid, 103 - 8 * i, 96 - 8 * i, (uint8_t)name[i]);
    setBits(cid, 63, 56, 0x10);       // product revision 1.0
    setBits(cid, 55, 24, 0x00012345); // serial number
    setBits(cid, 19, 12, 24);         // manufactured 2024 ...
    setBits(cid, 11, 8, 6);           // ... in June
    sealRegister(cid);
}

// CSD version 1.0 describing the image: capacity = (C_SIZE + 1) * 2^(C_SIZE_MULT + 2) *
// 2^READ_BL_LEN, the largest such value not above the image size.
void buildCsd() {
    uint64_t blocks = imageSize / 512;
    int e = 2; // capacity in 512-byte blocks = (C_SIZE + 1) << e
    while (e < 11 && ((blocks >> e) > 4096 || (blocks & ((1ull << e) - 1)))) e++;
    while ((blocks >> e) > 4096) e++; // not reachable: sizes above 4 GiB are refused
    uint32_t cSize = (uint32_t)(blocks >> e);
    if (cSize == 0) cSize = 1;
    int blLen = e <= 9 ? 9 : e; // C_SIZE_MULT stops at 7: longer blocks make up the rest
    int mult = e - 2 - (blLen - 9);
    memset(csd, 0, sizeof csd);
    setBits(csd, 127, 126, 0);    // CSD structure 1.0
    setBits(csd, 119, 112, 0x0E); // TAAC 1 ms
    setBits(csd, 111, 104, 0x00); // NSAC
    setBits(csd, 103, 96, 0x32);  // 25 MHz
    setBits(csd, 95, 84, 0x5B5);  // command classes
    setBits(csd, 83, 80, (uint32_t)blLen);
    setBits(csd, 79, 79, 1); // partial block reads
    setBits(csd, 73, 62, cSize - 1);
    setBits(csd, 61, 59, 7);
    setBits(csd, 58, 56, 6);
    setBits(csd, 55, 53, 7);
    setBits(csd, 52, 50, 6);
    setBits(csd, 49, 47, (uint32_t)mult);
    setBits(csd, 46, 46, 1);    // erase by 512-byte blocks
    setBits(csd, 45, 39, 0x7F); // sector size
    setBits(csd, 28, 26, 2);    // write speed factor
    setBits(csd, 25, 22, (uint32_t)blLen);
    sealRegister(csd);
}

bool openImage(std::string path) {
    struct stat st;
    bool packed = false;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (!packDirectory) {
            fprintf(stderr, "zefo5: the card %s is a directory; this board takes image files only\n",
                    path.c_str());
            return false;
        }
        path = packDirectory(path);
        if (path.empty()) return false;
        packed = true;
    }
    fd = open(path.c_str(), O_RDWR);
    const int openError = errno;
    const bool regular = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // The packed image lives as long as the card is open. Unlinked only once its status is read:
    // the browser's file system has none for an unlinked file.
    if (packed) unlink(path.c_str());
    if (fd < 0) {
        fprintf(stderr, "zefo5: cannot open the card image %s: %s\n", path.c_str(), strerror(openError));
        return false;
    }
    if (!regular) {
        fprintf(stderr, "zefo5: the card image %s is not a regular file\n", path.c_str());
        return false;
    }
    imageSize = (uint64_t)st.st_size;
    const char *problem = nullptr;
    if (imageSize % 512)
        problem = "is not a whole number of 512-byte blocks";
    else if (imageSize < 2048)
        problem = "is smaller than the smallest card (2 KiB)";
    else if (imageSize > (4ull << 30))
        problem = "is larger than a standard-capacity card (4 GiB)";
    if (problem) {
        fprintf(stderr, "zefo5: the card image %s (%llu bytes) %s\n", path.c_str(),
                (unsigned long long)imageSize, problem);
        ::close(fd);
        fd = -1;
        return false;
    }
    buildCid();
    buildCsd();
    return true;
}

void refreshState() {
    if (state == PRG && now >= programUntil) state = TRAN;
}

uint32_t status() {
    refreshState();
    uint32_t s = pendingErrors | ((uint32_t)stateAtCommand << 9) | (state != PRG ? READY_FOR_DATA : 0);
    if (appCmd) s |= APP_CMD;
    pendingErrors = 0;
    return s;
}

// Bus time of a command and its response: 48 + 48 bits plus turn-around at the bus clock.
uint32_t commandTime() {
    return board.sdClock == BSP_SD_CLOCK_FULL ? 66 : 4096;
}
uint32_t blockTime() {
    uint32_t clocks = 4096 / (uint32_t)board.sdBusWidth + 32;
    return board.sdClock == BSP_SD_CLOCK_FULL ? clocks * 16384 / 25000 : clocks * 16384 / 400;
}

enum Answer { NONE, R1, R2_CID, R2_CSD, R3, R6, TIMEOUT };

Answer execute(uint8_t cmd, uint32_t arg, bool app) {
    refreshState();
    stateAtCommand = state;
    bool addressed = (arg >> 16) == RCA;
    if (app) {
        switch (cmd) {
        case 41:
            if (state != IDLE) return TIMEOUT;
            if ((arg & OCR_VOLTAGES) && !sd::quirks.neverPowersUp && ++powerUpTries > POWER_UP_TRIES)
                state = READY;
            return R3;
        case 6:
            if (state != TRAN) return TIMEOUT;
            board.sdBusWidth = (arg & 3) == 2 ? 4 : 1;
            return R1;
        default:
            break; // not an application command: the card takes it as the plain command
        }
    }
    switch (cmd) {
    case 0:
        cardPowerUp();
        return NONE;
    case 2:
        if (state != READY) return TIMEOUT;
        state = IDENT;
        return R2_CID;
    case 3:
        if (state != IDENT && state != STBY) return TIMEOUT;
        state = STBY;
        return R6;
    case 7:
        if (addressed && state == STBY) {
            state = TRAN;
            return R1;
        }
        if (!addressed && (state == TRAN || state == STBY)) {
            state = STBY; // deselected: no response
            return NONE;
        }
        return TIMEOUT;
    case 9:
    case 10:
        if (state != STBY || !addressed) return TIMEOUT;
        return cmd == 9 ? R2_CSD : R2_CID;
    case 13:
        if (!addressed || state < STBY) return TIMEOUT;
        return R1;
    case 16:
        if (state != TRAN) return TIMEOUT;
        if (arg == 512)
            blockLen = 512;
        else
            pendingErrors |= BLOCK_LEN_ERROR;
        return R1;
    case 17:
    case 24:
        if (state != TRAN) return TIMEOUT;
        if (arg % 512)
            pendingErrors |= ADDRESS_ERROR;
        else if ((uint64_t)arg + 512 > imageSize)
            pendingErrors |= OUT_OF_RANGE;
        else if (blockLen != 512)
            pendingErrors |= BLOCK_LEN_ERROR;
        else {
            dataAddr = arg;
            state = cmd == 17 ? DATA : RCV;
        }
        return R1;
    case 55:
        if (state != IDLE && !addressed) return TIMEOUT;
        if (state == READY || state == IDENT) return TIMEOUT;
        appCmd = true;
        return R1;
    default:
        return TIMEOUT;
    }
}

} // namespace

namespace sd {
SimCardQuirks quirks;
std::vector<SimCardCommand> *commandLog;
bool unpowered;

bool configure() {
    quirks = SimCardQuirks{};
    commandLog = nullptr;
    board.cardPresent = 0;
    if (opts.sd.empty()) return true;
    if (!openImage(opts.sd)) return false;
    board.cardPresent = 1;
    return true;
}
void powerOn() {
    unpowered = false;
    powered = true;
    board.sdPower = 1;
    board.sdClock = BSP_SD_CLOCK_OFF;
    cardPowerUp();
}
void close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
}
bool insert(const std::string &image) {
    close();
    opts.sd = image;
    board.cardPresent = 0;
    if (!openImage(image)) return false;
    cardPowerUp();
    trace("card in");
    board.cardPresent = 1;
    return true;
}
void setPresent(bool present) {
    if (present && fd < 0) return; // no card to insert
    if (present && !board.cardPresent) cardPowerUp();
    if (board.cardPresent != (int)present) trace("card %s", present ? "in" : "out");
    board.cardPresent = present;
}
} // namespace sd

} // namespace host

using namespace host;

int bsp_sd_card_detect(void) {
    int present = board.cardPresent;
    access();
    return present;
}

void SDCardSlotInit(void) {
    board.initDone |= 128;
    access();
}

void bsp_sd_power(int on) {
    if (on && !powered) cardPowerUp();
    powered = on != 0;
    board.sdPower = powered;
    access();
}

void bsp_sd_lines_low(void) {
    access();
}

void bsp_sd_clock(int mode) {
    board.sdClock = mode;
    access();
}

int bsp_sd_command(uint8_t cmd, uint32_t arg, int respKind, uint32_t resp[4]) {
    if (resp) resp[0] = resp[1] = resp[2] = resp[3] = 0;
    access(commandTime());
    bool app = appCmd && cmd != 55;
    if (sd::commandLog) sd::commandLog->push_back(SimCardCommand{cmd, app, now});
    if (!cardAlive()) return respKind == BSP_SD_RESP_NONE ? BSP_SD_OK : BSP_SD_ERR_RESP_TIMEOUT;
    if (cmd != 55) appCmd = false;
    Answer a = execute(cmd, arg, app);
    if (a == TIMEOUT) {
        pendingErrors |= ILLEGAL_COMMAND;
        return respKind == BSP_SD_RESP_NONE ? BSP_SD_OK : BSP_SD_ERR_RESP_TIMEOUT;
    }
    if (!resp || respKind == BSP_SD_RESP_NONE) return BSP_SD_OK;
    switch (a) {
    case NONE:
        return BSP_SD_ERR_RESP_TIMEOUT; // the host waited for a response that never came
    case R1:
        resp[0] = status() | (app ? APP_CMD : 0);
        break;
    case R3:
        resp[0] = OCR_VOLTAGES | (state == READY ? OCR_POWERED_UP : 0);
        break;
    case R6: {
        uint32_t s = status();
        resp[0] = (uint32_t)RCA << 16 | ((s >> 8) & 0xC000) | ((s >> 6) & 0x2000) | (s & 0x1FFF);
        break;
    }
    case R2_CID:
        memcpy(resp, cid, sizeof cid);
        break;
    case R2_CSD:
        memcpy(resp, csd, sizeof csd);
        break;
    default:
        break;
    }
    return BSP_SD_OK;
}

int bsp_sd_read_data(uint8_t *block) {
    access(blockTime());
    if (!cardAlive() || state != DATA) return BSP_SD_ERR_DATA_TIMEOUT;
    state = TRAN;
    ssize_t n = pread(fd, block, 512, (off_t)dataAddr);
    if (n != 512) return BSP_SD_ERR_DATA_TIMEOUT;
    int flags = sd::quirks.failNextRead;
    sd::quirks.failNextRead = 0;
    transferDone();
    return flags;
}

int bsp_sd_write_data(const uint8_t *block) {
    access(blockTime());
    if (!cardAlive() || state != RCV || sd::unpowered) return BSP_SD_ERR_DATA_TIMEOUT;
    if (++board.cardBlockWrites == (uint32_t)opts.cardPowerCut && opts.cardPowerCut >= 0) {
        // The block never reaches the card.
        sd::unpowered = true;
        char what[64];
        snprintf(what, sizeof what, "during card block write %u", board.cardBlockWrites);
        powerCut(what);
        return BSP_SD_ERR_DATA_TIMEOUT;
    }
    if (int flags = sd::quirks.failNextWrite) {
        sd::quirks.failNextWrite = 0;
        state = TRAN;
        transferDone();
        return flags;
    }
    ssize_t n = pwrite(fd, block, 512, (off_t)dataAddr);
    if (n != 512) {
        state = TRAN;
        return BSP_SD_ERR_WRITE_STATUS;
    }
    state = PRG;
    programUntil = now + PROGRAM_TIME;
    transferDone();
    return BSP_SD_OK;
}

void bsp_sd_led(int on) {
    if (board.sdLed != (on != 0)) trace("SD LED %d", on != 0);
    board.sdLed = on != 0;
    access();
}

void sim_card(bool present) {
    sd::setPresent(present);
}
