// The serial room's main-port switches, transmit wait and receive checks, for programs without the
// serial room.
#include "serial/rs485.h"
#include "serial/serial.h"
#include "tests/support/standins.h"

namespace standin {
int mainPortSwitches, mainPort;
int abortAfter = -1, escapeAfter = -1;
static int abortCalls, escapeCalls;
void resetSerial() {
    mainPortSwitches = mainPort = 0;
    abortAfter = escapeAfter = -1;
    abortCalls = escapeCalls = 0;
    baudrate0 = 115200;
}
} // namespace standin

uint32_t baudrate0 = 115200;
int checkAbortCmd(void) {
    int n = standin::abortCalls++;
    return standin::abortAfter >= 0 && n >= standin::abortAfter;
}
int checkEscape(void) {
    int n = standin::escapeCalls++;
    return standin::escapeAfter >= 0 && n >= standin::escapeAfter;
}
int rs485Active(void) {
    return 0;
}

void txWait(void) {}
void makeUart0Main(void) {
    standin::mainPortSwitches++;
    standin::mainPort = 0;
}
void makeUart1Main(void) {
    standin::mainPortSwitches++;
    standin::mainPort = 1;
}
