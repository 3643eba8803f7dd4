// The I2C bus with its one device: a 24xx64-style EEPROM (8 KiB, 32-byte pages) at bus address
// 0xA0, 16-bit word addresses high byte first. After a write's STOP the device programs for 5 ms
// and does not acknowledge its address meanwhile.
#include "board/host/host.h"

namespace host {
namespace {

constexpr size_t SIZE = 8192;
constexpr uint16_t MASK = SIZE - 1;
constexpr uint16_t PAGE = 32;
constexpr uint8_t DEVICE = 0xA0;
constexpr uint64_t WRITE_CYCLE = 5 * SIM_COUNTS_PER_MS;
// Bus time at 400 kHz: 9 clocks a byte (10 with the start condition), about 369 timer counts.
constexpr uint32_t BYTE_TIME = 9 * BSP_TIMER_HZ / 400000;

enum class State { Idle, AddrHigh, AddrLow, Data, Read, Ignored };

std::vector<uint8_t> mem;
int fd = -1;
State state;
uint16_t pointer;
uint64_t busyUntil;
struct Pending {
    uint16_t addr;
    uint8_t value;
};
std::vector<Pending> pending; // the page buffer of a write
bool unpowered;               // the power was cut: writes are lost until the next power-on

void loseSupply() {
    char what[64];
    snprintf(what, sizeof what, "after %u EEPROM byte writes", board.eepromByteWrites);
    unpowered = true;
    powerCut(what);
}

void commit() {
    for (const Pending &w : pending) {
        if (unpowered) break;
        mem[w.addr] = w.value;
        writeStore(fd, mem, w.addr, 1);
        board.eepromByteWrites++;
        if (opts.eepromPowerCut >= 0 && board.eepromByteWrites >= (uint32_t)opts.eepromPowerCut) {
            loseSupply();
            break;
        }
    }
    pending.clear();
    busyUntil = now + WRITE_CYCLE;
}

} // namespace

namespace eeprom {
bool configure() {
    return openStore(opts.eeprom, SIZE, 0xFF, mem, fd, "EEPROM");
}
void powerOn() {
    state = State::Idle;
    pointer = 0;
    busyUntil = 0;
    pending.clear();
    unpowered = false;
}
void close() {
    closeStore(fd);
}
std::vector<uint8_t> contents() {
    return mem;
}
std::vector<uint8_t> &memory() {
    return mem;
}
void cutPowerAfter(long writes) {
    opts.eepromPowerCut = writes < 0 ? -1 : (long)board.eepromByteWrites + writes;
    if (writes == 0) loseSupply();
}
} // namespace eeprom

} // namespace host

using namespace host;

void InitI2C(void) {
    board.initDone |= 16;
    access();
}

int bsp_i2c_start(uint8_t addressByte) {
    pending.clear(); // a repeated start abandons a write that was not stopped
    int ack = 0;
    if ((addressByte & 0xFE) != DEVICE || now < busyUntil) {
        state = State::Ignored;
    } else if (addressByte & 1) {
        state = State::Read;
        ack = 1;
    } else {
        state = State::AddrHigh;
        ack = 1;
    }
    access(BYTE_TIME + BYTE_TIME / 9);
    return ack;
}

int bsp_i2c_write(uint8_t byte) {
    int ack = 1;
    switch (state) {
    case State::AddrHigh:
        pointer = (uint16_t)((byte << 8) & MASK);
        state = State::AddrLow;
        break;
    case State::AddrLow:
        pointer = (uint16_t)((pointer | byte) & MASK);
        state = State::Data;
        break;
    case State::Data: {
        // Within a page the address rolls over, like the real part.
        if (pending.size() == PAGE) pending.erase(pending.begin());
        pending.push_back(Pending{pointer, byte});
        pointer = (uint16_t)((pointer & ~(PAGE - 1)) | ((pointer + 1) & (PAGE - 1)));
        break;
    }
    default:
        ack = 0;
        break;
    }
    access(BYTE_TIME);
    return ack;
}

uint8_t bsp_i2c_read(int) {
    uint8_t value = 0xFF; // nobody drives the bus
    if (state == State::Read) {
        value = mem[pointer];
        pointer = (uint16_t)((pointer + 1) & MASK);
    }
    access(BYTE_TIME);
    return value;
}

void bsp_i2c_stop(void) {
    bool write = state == State::Data && !pending.empty();
    state = State::Idle;
    if (write) commit();
    access(BYTE_TIME / 9);
}

std::vector<uint8_t> sim_eeprom() {
    return eeprom::contents();
}
