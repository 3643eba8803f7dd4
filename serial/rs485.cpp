// RS485 mode and the communication watchdog. The address filter and the watchdog are still
// empty: every line is taken and the watchdog never fires.
#include "serial/rs485.h"

#include "serial/serial.h"
#include "settings/settings.h"

int rs485Active(void) {
    return eepromData[CFG_RS485_MODE] == CFG_MODE_ON;
}

// Set while RS485 mode holds rxStopped (no XOFF may go out on a shared line).
static uint8_t heldForRs485;

void Init_485mode(void) {
    if (!rs485Active()) {
        // Only the hold of RS485 mode is released here. An XOFF that went out while the display
        // started (a host sending more than the ring's threshold during start-up) stays in force,
        // so that its XON follows once the ring has drained; clearing it would stall the host.
        if (heldForRs485) rxStopped = 0;
        heldForRs485 = 0;
        return;
    }
    heldForRs485 = 1;
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
