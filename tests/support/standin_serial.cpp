// The serial room's main-port switches and transmit wait, for programs without the serial room.
#include "serial/serial.h"
#include "tests/support/standins.h"

namespace standin {
int mainPortSwitches, mainPort;
void resetSerial() {
    mainPortSwitches = mainPort = 0;
}
} // namespace standin

void txWait(void) {}
void makeUart0Main(void) {
    standin::mainPortSwitches++;
    standin::mainPort = 0;
}
void makeUart1Main(void) {
    standin::mainPortSwitches++;
    standin::mainPort = 1;
}
