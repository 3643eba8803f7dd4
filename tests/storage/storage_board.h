// The storage rooms on the test board (board/host/test_board.h): the card slot, the EEPROM and the
// 1 ms tick that runs the card's hot-plug debounce, with the output captured (tests/support).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "board/host/test_board.h"
#include "tests/support/console.h"
#include "tests/support/standins.h"

namespace sb {

// A fresh board (empty slot, blank EEPROM, the tick running) and the storage rooms, the stand-ins
// and the captured output as at power-up.
void powerOn();
void powerOff(); // the board closed: the card image may be removed

std::string take(); // everything sent, then forget it
// Commands given to the card, application commands as 100 + n.
std::vector<int> commands();
long eepromWrites(); // completed byte writes since the board was opened

} // namespace sb
