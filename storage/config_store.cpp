// Provisional: the block with its version only, until the configuration store lands.
#include "storage/config_store.h"

#include <string.h>

uint8_t eepromData[CONFIG_BLOCK_SIZE];

uint16_t cfgU16(uint16_t o) { return (uint16_t)(eepromData[o] | (eepromData[o + 1] << 8)); }
uint32_t cfgU32(uint16_t o) { return (uint32_t)cfgU16(o) | ((uint32_t)cfgU16(o + 2) << 16); }
void cfgSetU16(uint16_t o, uint16_t v) {
    eepromData[o] = (uint8_t)v;
    eepromData[o + 1] = (uint8_t)(v >> 8);
}
void cfgSetU32(uint16_t o, uint32_t v) {
    cfgSetU16(o, (uint16_t)v);
    cfgSetU16(o + 2, (uint16_t)(v >> 16));
}
void QV_EEPROM_LoadAndFix(void) {
    memset(eepromData, 0xFF, sizeof eepromData);
    cfgSetU16(CFG_VERSION, CFG_VERSION_CURRENT);
    eepromData[CFG_BAUD0] = 7;
    eepromData[CFG_BAUD1] = 7;
    eepromData[CFG_AUX_ESC] = 0x0D;
    eepromData[CFG_MAIN_PORT] = 0;
    eepromData[CFG_PONMAC] = 0;
    eepromData[CFG_CONFIG_NAME] = 0;
}
void QV_EEPROM_Init(void) {}
int QV_EEPROMvalid(void) { return cfgU16(CFG_VERSION) == CFG_VERSION_CURRENT; }
int QV_EEPROM_Load(uint16_t) { return 0; }
int QV_EEPROM_Save(void) { return 1; }
uint8_t getCsum(uint16_t) { return 0; }
void QV_EEPROM_Clear(int) {}
int QV_save_baudrate_eeprom(int, uint32_t) { return 1; }

static const uint32_t rateOfCode[10] = {0, 1200, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};
uint8_t QV_EEPROM_Rate2eeVal(uint32_t rate) {
    for (uint8_t c = 1; c < 10; c++)
        if (rateOfCode[c] == rate) return c;
    return 0xFF;
}
uint32_t QV_EEPROM_eeVal2Rate(uint8_t code) { return (code >= 1 && code <= 9) ? rateOfCode[code] : 115200; }
