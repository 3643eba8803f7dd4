// The configuration store: the block's two EEPROM copies with checksums, its repair and upgrade,
// the defaults of this panel build, the user area, and the ini-style key search that "config.ini",
// "flash1.ini" and "rundemo.ini" share.
#pragma once

#include <stdint.h>

#include "base/config_block.h"

void QV_EEPROM_LoadAndFix(void);
int QV_EEPROM_Load(uint16_t base);
int QV_EEPROM_Save(void);
uint8_t getCsum(uint16_t base);
void QV_EEPROM_Clear(int which);
int QV_save_baudrate_eeprom(int port, uint32_t rate);
void QV_EEPROM_SetDefaults(void); // the block a blank EEPROM gets (this panel build)
// The calibration tables of this panel build, in the stored order (five logical x, five raw x,
// five logical y, five raw y).
void QV_EEPROM_DefaultCalibration(int16_t cal[4 * CFG_CAL_POINTS]);
// Upgrades a block of older firmware or gives an unusable one the defaults; true when it changed.
bool QV_EEPROM_Repair(void);
void configName(char *out); // the configuration name as text, CFG_CONFIG_NAME_SIZE bytes

// Key search in an ini-style text: "key = value" or "key value" on a line not starting with '#'.
// mode 'd' decimal, 'h' or 'x' hexadecimal. 1 when found; verbose echoes the key or a syntax error.
int lookfor(const char *text, const char *key, char mode, int *value, int verbose);
// The same for a quoted text (with escapes), copied to destination when it fits capacity.
int lookforQuotedString(const char *text, const char *key, char *destination, int capacity, int verbose);

// ---- commands of this room (return the interpreter's result code) -------------------------------
int cmd_sys_eer(char *line);    // "*eer", "*eerc"
int cmd_sys_eew(char *line);    // "*eew", "*eewc"
int cmd_sys_eed(char *line);    // "*eed"
int cmd_sys_eec(char *line);    // "*eec"
int cmd_sys_ees(char *line);    // "*ees"
int cmd_sys_config(char *line); // "*config"
