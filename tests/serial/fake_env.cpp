// The configuration store as the serial tests need it (see fake_env.h); the block itself, its
// validity and the baud-rate codes are the firmware's own (base/config_block.cpp).
#include "tests/serial/fake_env.h"

#include <string.h>

#include "settings/settings.h"

namespace fe {
int saves;

void reset() {
    memset(eepromData, 0xFF, sizeof eepromData);
    cfgSetU16(CFG_VERSION, CFG_VERSION_CURRENT);
    eepromData[CFG_BAUD0] = 7;
    eepromData[CFG_BAUD1] = 7;
    eepromData[CFG_AUX_ESC] = 0x0D;
    eepromData[CFG_MAIN_PORT] = 0;
    saves = 0;
}
} // namespace fe

int QV_EEPROM_Save(void) {
    fe::saves++;
    return 1;
}

int QV_save_baudrate_eeprom(int port, uint32_t rate) {
    uint8_t code = QV_EEPROM_Rate2eeVal(rate);
    if (code == 0xFF) return 0;
    eepromData[port == 0 ? CFG_BAUD0 : CFG_BAUD1] = code;
    return QV_EEPROM_Save();
}
