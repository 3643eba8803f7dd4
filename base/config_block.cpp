// The configuration block in RAM: little-endian field access, its checksum and the baud-rate codes.
#include "base/config_block.h"

uint8_t eepromData[CONFIG_BLOCK_SIZE];

uint16_t cfgU16(uint16_t o) {
    return (uint16_t)(eepromData[o] | (eepromData[o + 1] << 8));
}
uint32_t cfgU32(uint16_t o) {
    return (uint32_t)cfgU16(o) | ((uint32_t)cfgU16(o + 2) << 16);
}
void cfgSetU16(uint16_t o, uint16_t v) {
    eepromData[o] = (uint8_t)v;
    eepromData[o + 1] = (uint8_t)(v >> 8);
}
void cfgSetU32(uint16_t o, uint32_t v) {
    cfgSetU16(o, (uint16_t)v);
    cfgSetU16(o + 2, (uint16_t)(v >> 16));
}

// Bytes 0x46-0x51 (reserved and the firmware identification) are loaded but not saved or summed.
bool cfgIsSummed(uint32_t i) {
    return i < 0x46 || i >= 0x52;
}

uint8_t QV_EEPROM_Checksum(const uint8_t *block) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < CONFIG_BLOCK_SIZE; i++)
        if (cfgIsSummed(i)) sum += block[i];
    return (uint8_t)sum;
}

int QV_EEPROMvalid(void) {
    return cfgU16(CFG_VERSION) == CFG_VERSION_CURRENT;
}

void cfgSetByte(uint16_t offset, uint8_t value, bool *changed) {
    if (eepromData[offset] != value) {
        eepromData[offset] = value;
        *changed = true;
    }
}
void cfgSetBytes(uint16_t offset, uint32_t value, int bytes, bool *changed) {
    for (int i = 0; i < bytes; i++) cfgSetByte((uint16_t)(offset + i), (uint8_t)(value >> (8 * i)), changed);
}

// ---- baud-rate codes ----------------------------------------------------------------------------------
static const uint32_t rateOfCode[10] = {0, 1200, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};

uint8_t QV_EEPROM_Rate2eeVal(uint32_t rate) {
    for (uint8_t c = 1; c < 10; c++)
        if (rateOfCode[c] == rate) return c;
    return 0xFF;
}

uint32_t QV_EEPROM_eeVal2Rate(uint8_t code) {
    return (code >= 1 && code <= 9) ? rateOfCode[code] : 115200;
}
