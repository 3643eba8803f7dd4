// The configuration EEPROM on the I2C bus: bus address 0xA0, 16-bit word addresses high byte first.
#include "board/bsp/bsp.h"

enum : uint8_t { EEPROM_WRITE = 0xA0, EEPROM_READ = 0xA1 };

// The device ignores its address while an internal write cycle runs: poll with empty writes until
// it acknowledges again.
static void waitReady(void) {
    while (!bsp_i2c_start(EEPROM_WRITE)) bsp_i2c_stop();
    bsp_i2c_stop();
}

uint8_t EEpromRead(uint16_t address) {
    waitReady();
    bsp_i2c_start(EEPROM_WRITE);
    bsp_i2c_write((uint8_t)(address >> 8));
    bsp_i2c_write((uint8_t)address);
    bsp_i2c_start(EEPROM_READ); // repeated start
    uint8_t value = bsp_i2c_read(0);
    bsp_i2c_stop();
    return value;
}

void EEpromWrite(uint16_t address, uint8_t byte) {
    waitReady();
    bsp_i2c_start(EEPROM_WRITE);
    bsp_i2c_write((uint8_t)(address >> 8));
    bsp_i2c_write((uint8_t)address);
    bsp_i2c_write(byte);
    bsp_i2c_stop();
    waitReady(); // the write is complete when we return
}
