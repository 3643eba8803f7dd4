// "config.ini" at power-up and "currconf.txt" on request.
#pragma once

// Repairs the loaded block, applies "config.ini" from the card and saves the block when it changed.
void QV_EEPROM_Init(void);
int QV_EEPROM_saveConfigToFile(void); // "*getConfigAsFile": 1 when the file was written
