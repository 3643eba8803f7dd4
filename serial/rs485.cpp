// RS485 mode and the communication watchdog. The address filter and the watchdog are still
// empty: every line is taken and the watchdog never fires.
#include "serial/rs485.h"

#include "serial/serial.h"
#include "storage/config_store.h"

int rs485Active(void) {
    return eepromData[CFG_RS485_MODE] == CFG_MODE_ON;
}

void Init_485mode(void) {
    if (!rs485Active()) {
        rxStopped = 0;
        return;
    }
    rxStopped = 1;
    rs485prefix[0] = (char)eepromData[CFG_RS485_SOF];
    rs485prefix[1] = 'F';
    rs485prefix[2] = 'F';
    rs485prefix[3] = 0;
    makeUart1Main();
}

int rs485LineFilter(void) {
    return 1;
}

void processCommWatchDog(int) {}
