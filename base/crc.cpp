// CRC-16/MODBUS, table-driven with the standard's two 256-byte tables. The tables are built at
// compile time from the reflected polynomial rather than typed in.
#include "base/crc.h"

struct CrcTables {
    uint8_t hi[256]; // low byte of each table entry: the Modbus convention names it "Hi"
    uint8_t lo[256];
};

static constexpr CrcTables makeTables() {
    CrcTables t{};
    for (int i = 0; i < 256; i++) {
        uint16_t c = (uint16_t)i;
        for (int b = 0; b < 8; b++) c = (c & 1) ? (uint16_t)((c >> 1) ^ 0xA001) : (uint16_t)(c >> 1);
        t.hi[i] = (uint8_t)(c & 0xFF);
        t.lo[i] = (uint8_t)(c >> 8);
    }
    return t;
}

static constexpr CrcTables crcTables = makeTables();
static_assert(crcTables.hi[1] == 0xC1 && crcTables.lo[1] == 0xC0, "CRC tables");
#define CRCHi crcTables.hi
#define CRCLo crcTables.lo

uint16_t CalcCRCwithSeed(const uint8_t *data, uint32_t length, uint16_t seed) {
    uint8_t hi = (uint8_t)(seed & 0xFF); // the register's low byte is the one combined with the data
    uint8_t lo = (uint8_t)(seed >> 8);
    while (length--) {
        uint8_t i = hi ^ *data++;
        hi = lo ^ CRCHi[i];
        lo = CRCLo[i];
    }
    return (uint16_t)(lo << 8 | hi);
}

uint16_t CalcCRC(const uint8_t *data, uint32_t length) {
    return CalcCRCwithSeed(data, length, 0xFFFF);
}
