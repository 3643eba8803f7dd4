// The configuration block: the RAM copy `eepromData` of the EEPROM settings and its byte layout.
// Offsets are named, not overlaid with a struct, because the block is a byte layout (little-endian)
// shared with stored EEPROMs. Every room may read it; the store in settings/ loads and saves it.
#pragma once

#include <stdint.h>

enum : uint32_t { CONFIG_BLOCK_SIZE = 176 };

// Byte offsets in the block.
enum : uint16_t {
    CFG_VERSION = 0x00, // u16, 0x1255
    CFG_TC_TIMEOUT = 0x02,
    CFG_OLD_CAL = 0x04, // 8 x i32
    CFG_TPLO = 0x24,    // u16
    CFG_TPHI = 0x26,    // u16
    CFG_TP_DELTA_LIM = 0x28,
    CFG_TSAMP = 0x29,
    CFG_TSPAN = 0x2A,
    CFG_TOUCH_SWAP = 0x2B,
    CFG_BEEP_FREQ = 0x2C, // u32
    CFG_BEEP_VOL = 0x30,
    CFG_BEEP_VOL_MAX = 0x31,
    CFG_BRITE = 0x32,
    CFG_TYPEMATIC_DELAY = 0x33,
    CFG_DEBOUNCE = 0x34, // i32
    CFG_TYPEMATIC_REPEAT = 0x38,
    CFG_SPLASH_ON = 0x39,
    CFG_SPLASH_BITMAP = 0x3A,
    CFG_PONMAC = 0x3B,
    CFG_RS485_MODE = 0x3C,
    CFG_RS485_SOF = 0x3D,
    CFG_RS485_ADDR = 0x3E,
    CFG_PONMAC_QUIET = 0x3F,
    CFG_DEMOMAC = 0x40,
    CFG_AUX_FORWARD = 0x41,
    CFG_AUX_ESC = 0x42,
    CFG_MAIN_PORT = 0x43,
    CFG_FIRMWARE_ID = 0x4A, // 8 bytes
    CFG_INV_ENA_HI_TRUE = 0x52,
    CFG_HFP = 0x53,
    CFG_HPW = 0x54,
    CFG_HBP = 0x55,
    CFG_VFP = 0x56,
    CFG_VPW = 0x57,
    CFG_VBP = 0x58,
    CFG_MAX_BRITE = 0x59,
    CFG_MIN_BRITE = 0x5A,
    CFG_PWM_IS_ENABLE = 0x5B,
    CFG_ORIENT = 0x5C,
    CFG_CONFIG_NAME = 0x5D, // 32 bytes
    CFG_TOUCH_MODE = 0x7D,
    CFG_AUTOCAL = 0x7E,
    CFG_LCD_SHIFT_CLOCK = 0x7F,
    CFG_BAUD0 = 0x80,
    CFG_BAUD1 = 0x81,
    CFG_EXTERNAL_SPEAKER = 0x82,
    CFG_MARKER_AA = 0x83,
    CFG_CAL_LOG_X = 0x84, // 5 x i16
    CFG_CAL_PHY_X = 0x8E,
    CFG_CAL_LOG_Y = 0x98,
    CFG_CAL_PHY_Y = 0xA2,
    CFG_MARKER_01 = 0xAC,
};

enum : uint8_t { CFG_ENABLED = 0xA5, CFG_UNSET = 0xFF, CFG_MODE_ON = 'Z' };
enum : uint16_t { CFG_VERSION_CURRENT = 0x1255, CFG_VERSION_INVALID = 0xEDAA };
enum : uint32_t { CFG_CONFIG_NAME_SIZE = 32, CFG_CAL_POINTS = 5 };

// EEPROM map: two copies of the block, each with its checksum, and the user area.
enum : uint16_t {
    EE_COPY_A = 0x000,
    EE_COPY_B = 0x100,
    EE_CHECKSUM = 0x0FF, // offset of a copy's checksum byte
    EE_USER_AREA = 0x1000,
    EE_USER_SIZE = 256,
};

extern uint8_t eepromData[CONFIG_BLOCK_SIZE];

// Little-endian field access on the RAM block.
uint16_t cfgU16(uint16_t offset);
uint32_t cfgU32(uint16_t offset);
void cfgSetU16(uint16_t offset, uint16_t value);
void cfgSetU32(uint16_t offset, uint32_t value);
void cfgSetByte(uint16_t offset, uint8_t value, bool *changed);              // sets *changed when it differed
void cfgSetBytes(uint16_t offset, uint32_t value, int bytes, bool *changed); // little-endian, the same
int QV_EEPROMvalid(void);                         // the block carries the current version
uint8_t QV_EEPROM_Rate2eeVal(uint32_t rate);      // 0xFF: the rate has no code
uint32_t QV_EEPROM_eeVal2Rate(uint8_t code);      // any other code reads as 115200
uint8_t QV_EEPROM_Checksum(const uint8_t *block); // sum of bytes 0x00-0x45 and 0x52-0xAF
bool cfgIsSummed(uint32_t offset);                // the byte is saved and summed (not 0x46-0x51)
