// The serial NOR data flash on the SPI controller: identification 0xEF 0x40 <capacity>, status with
// busy and write-enable bits, page program within a 256-byte page (bits only go from 1 to 0), fast
// read, sector and chip erase. Program and erase keep the part busy for a realistic time.
#include <string.h>
#include <sys/mman.h>

#include <algorithm>

#include "board/host/host.h"

namespace host {
namespace {

constexpr uint8_t ST_BUSY = 0x01, ST_WEL = 0x02;
constexpr uint64_t PROGRAM_TIME = 1 * SIM_COUNTS_PER_MS;
constexpr uint64_t SECTOR_ERASE_TIME = 50 * SIM_COUNTS_PER_MS;
constexpr uint64_t CHIP_ERASE_TIME = 2000 * SIM_COUNTS_PER_MS;
constexpr uint32_t XFER_TIME = 4; // one byte on the SPI bus, timer counts

// The contents are kept inverted in zero pages from the kernel: an erased part (all 0xFF) costs
// nothing until it is written. `shown` is the plain copy handed to sim_flash.
constexpr uint32_t MAX_SIZE = 16u << 20;
uint8_t *inv;
std::vector<uint8_t> shown;
int fd = -1;
uint32_t size, sectorSize;
bool selected;
uint8_t opcode;
uint32_t count; // bytes of this command so far, the opcode included
uint32_t address;
bool writeEnabled;
uint64_t busyUntil;
std::vector<uint8_t> page(256);
std::vector<bool> pageTouched(256);

bool unpowered; // the power was cut: nothing is programmed or erased until the next power-on

bool busy() {
    return now < busyUntil;
}

// Counts a program or erase; true when the power fails during this one (it is then done by half).
bool cutNow() {
    board.flashWrites++;
    if (opts.flashPowerCut < 0 || board.flashWrites != (uint32_t)opts.flashPowerCut) return false;
    unpowered = true;
    return true;
}

void loseSupply() {
    char what[64];
    snprintf(what, sizeof what, "during data-flash write %u", board.flashWrites);
    powerCut(what);
}

void persist(uint32_t from, uint32_t len) {
    if (fd < 0) return;
    std::vector<uint8_t> bytes(len);
    for (uint32_t i = 0; i < len; i++) bytes[i] = (uint8_t)~inv[from + i];
    writeStore(fd, bytes.data(), from, len);
}

void finishProgram() {
    uint32_t base = address & ~0xFFu;
    uint32_t touched = 0;
    for (uint32_t i = 0; i < 256; i++) touched += pageTouched[i];
    if (!touched || unpowered) return;
    const bool cut = cutNow();
    uint32_t done = 0;
    for (uint32_t i = 0; i < 256; i++) {
        if (!pageTouched[i]) continue;
        if (cut && done == touched / 2) break;
        inv[base + i] |= (uint8_t)~page[i];
        done++;
    }
    persist(base, 256);
    if (cut) {
        loseSupply();
        return;
    }
    busyUntil = now + PROGRAM_TIME;
    writeEnabled = false;
}

void erase(uint32_t from, uint32_t len, uint64_t time) {
    if (unpowered) return;
    const bool cut = cutNow();
    memset(inv + from, 0, cut ? len / 2 : len);
    persist(from, len);
    if (cut) {
        loseSupply();
        return;
    }
    busyUntil = now + time;
    writeEnabled = false;
}

// Ends the command at chip-select high: programs and erases start here.
void deselect() {
    if (busy()) return; // only the status register answers while the part is busy
    switch (opcode) {
    case 0x06:
        writeEnabled = true;
        break;
    case 0x04:
        writeEnabled = false;
        break;
    case 0x02:
        if (writeEnabled && count > 4) finishProgram();
        break;
    case 0xD8:
        if (writeEnabled && count == 4) {
            uint32_t start = (address % size) & ~(sectorSize - 1);
            trace("data flash: erase sector at 0x%06X", start);
            erase(start, sectorSize, SECTOR_ERASE_TIME);
        }
        break;
    case 0xC7:
    case 0x60:
        if (writeEnabled && count == 1) {
            trace("data flash: chip erase");
            erase(0, size, CHIP_ERASE_TIME);
        }
        break;
    default:
        break;
    }
}

uint8_t exchange(uint8_t out) {
    uint32_t n = count++;
    if (n == 0) {
        opcode = busy() && out != 0x05 ? 0x00 : out;
        if (opcode == 0x02) {
            std::fill(pageTouched.begin(), pageTouched.end(), false);
        }
        return 0xFF;
    }
    switch (opcode) {
    case 0x9F: {
        static const uint8_t id[3] = {0xEF, 0x40, 0};
        if (n == 3) return opts.flashId;
        return n <= 2 ? id[n - 1] : 0xFF;
    }
    case 0x05:
        return (uint8_t)((busy() ? ST_BUSY : 0) | (writeEnabled ? ST_WEL : 0));
    case 0x03:
    case 0x0B:
    case 0x02:
    case 0xD8:
        if (n <= 3) {
            address = ((address << 8) | out) & 0xFFFFFF;
            if (n == 3) address %= size;
            return 0xFF;
        }
        if (opcode == 0x0B && n == 4) return 0xFF; // dummy byte
        if (opcode == 0x03 || opcode == 0x0B) {
            uint8_t v = (uint8_t)~inv[address];
            address = (address + 1) % size;
            return v;
        }
        if (opcode == 0x02) {
            // Bytes past the end of the page wrap to its start, like the real part.
            uint32_t offset = (address + (n - 4)) & 0xFF;
            page[offset] = out;
            pageTouched[offset] = true;
        }
        return 0xFF;
    default:
        return 0xFF;
    }
}

} // namespace

namespace flash {
bool configure() {
    switch (opts.flashId) {
    case 0x17:
        size = 8u << 20;
        sectorSize = 128u << 10;
        break;
    case 0x18:
        size = 16u << 20;
        sectorSize = 256u << 10;
        break;
    default:
        size = 4u << 20;
        sectorSize = 64u << 10;
        break;
    }
    if (!inv) {
        void *p = mmap(nullptr, MAX_SIZE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) {
            fprintf(stderr, "zefo5: cannot map the data flash\n");
            return false;
        }
        inv = (uint8_t *)p;
    } else if (madvise(inv, MAX_SIZE, MADV_DONTNEED) != 0) {
        memset(inv, 0, MAX_SIZE);
    }
    shown.clear();
    fd = -1;
    if (opts.flash.empty()) return true;
    std::vector<uint8_t> file;
    if (!openStore(opts.flash, size, 0xFF, file, fd, "data flash")) return false;
    for (uint32_t i = 0; i < size; i++) inv[i] = (uint8_t)~file[i];
    return true;
}
void powerOn() {
    unpowered = false;
    selected = false;
    writeEnabled = false;
    busyUntil = 0;
    count = 0;
}
void reset() {
    selected = false;
    count = 0;
}
void close() {
    closeStore(fd);
}
const std::vector<uint8_t> &contents() {
    shown.resize(size);
    for (uint32_t i = 0; i < size; i++) shown[i] = (uint8_t)~inv[i];
    return shown;
}
} // namespace flash

} // namespace host

using namespace host;

void InitSerialFlash(void) {
    board.initDone |= 64;
    access();
}

void bsp_flash_select(int on) {
    if (on && !selected) {
        count = 0;
        opcode = 0;
        address = 0;
    } else if (!on && selected) {
        deselect();
    }
    selected = on != 0;
    access();
}

uint8_t bsp_flash_xfer(uint8_t out) {
    uint8_t in = selected ? exchange(out) : 0xFF;
    access(XFER_TIME);
    return in;
}

const std::vector<uint8_t> &sim_flash() {
    return flash::contents();
}
