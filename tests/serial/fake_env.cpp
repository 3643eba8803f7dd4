// The configuration store as the serial tests need it (see fake_env.h).
#include "tests/serial/fake_env.h"

#include <string.h>

#include "settings/settings.h"

uint8_t eepromData[CONFIG_BLOCK_SIZE];

namespace fe {
int saves;
bool valid;

void reset() {
    memset(eepromData, 0xFF, sizeof eepromData);
    eepromData[CFG_BAUD0] = 7;
    eepromData[CFG_BAUD1] = 7;
    eepromData[CFG_AUX_ESC] = 0x0D;
    eepromData[CFG_MAIN_PORT] = 0;
    saves = 0;
    valid = true;
}
} // namespace fe

int QV_EEPROMvalid(void) {
    return fe::valid;
}
int QV_EEPROM_Save(void) {
    fe::saves++;
    return 1;
}

static const uint32_t rates[10] = {0, 1200, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};
uint8_t QV_EEPROM_Rate2eeVal(uint32_t rate) {
    for (uint8_t c = 1; c < 10; c++)
        if (rates[c] == rate) return c;
    return 0xFF;
}
uint32_t QV_EEPROM_eeVal2Rate(uint8_t code) {
    return code >= 1 && code <= 9 ? rates[code] : 115200;
}

int QV_save_baudrate_eeprom(int port, uint32_t rate) {
    uint8_t code = QV_EEPROM_Rate2eeVal(rate);
    if (code == 0xFF) return 0;
    eepromData[port == 0 ? CFG_BAUD0 : CFG_BAUD1] = code;
    return QV_EEPROM_Save();
}
