// The storage rooms on the test board (see storage_board.h).
#include "tests/storage/storage_board.h"

#include <stdlib.h>

#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "fat/ff.h"
#include "macro/macro.h"
#include "sdcard/sdcard.h"

namespace sb {

void powerOn() {
    if (!testboard::open()) abort();
    ff::ffUnmount();
    SDhotplug = SD_NO_CARD;
    SDCardErrorHook = SDCardReportErrors;
    sdLedChoice = 0;
    delayTimer = 0;
    macroVerbose = 0;
    standin::resetSerial();
    standin::resetScreen();
    interrupt_init();
    msecTickHook = SDhotplugUpdate;
    QV_TimerInit();
    sent.clear();
}

void powerOff() {
    ff::ffUnmount();
    testboard::close();
}

std::string take() {
    std::string s = sent;
    sent.clear();
    return s;
}

std::vector<int> commands() {
    std::vector<int> list;
    for (const SimCardCommand &c : testboard::cardCommands()) list.push_back(c.app ? 100 + c.cmd : c.cmd);
    return list;
}

long eepromWrites() {
    return (long)sim_board().eepromByteWrites;
}

} // namespace sb
