// The configuration store as the serial tests see it: a RAM block and a count of saves.
#pragma once

namespace fe {
void reset();     // the block as after a fresh configuration: valid, 115200 on both ports
extern int saves; // QV_EEPROM_Save and QV_save_baudrate_eeprom calls
} // namespace fe
