// The configuration store: loading and repairing the block's two EEPROM copies, upgrading blocks of
// older firmware, the defaults of this panel build and the user area.
//
// A copy is rewritten so that a power loss after any single byte write leaves a copy that loads:
// its version byte leaves 0x12 before the first changed byte and gets it back after the checksum,
// so a half-written copy is never read, and the other copy is only touched once this one is whole.
#include "settings/settings.h"

#include <string.h>

#include "base/console.h"
#include "board/bsp/bsp.h"
#include "config/panel.h"

enum : uint8_t { VERSION_HIGH = 0x12 };
enum : uint16_t { VERSION_FIRST = 0x1255, VERSION_LAST = 0x1260 };

// ---- the two copies ----------------------------------------------------------------------------------
int QV_EEPROM_Load(uint16_t base) {
    if (EEpromRead((uint16_t)(base + 1)) != VERSION_HIGH) return 0;
    for (uint32_t i = 0; i < CONFIG_BLOCK_SIZE; i++) eepromData[i] = EEpromRead((uint16_t)(base + i));
    return QV_EEPROM_Checksum(eepromData) == EEpromRead((uint16_t)(base + EE_CHECKSUM));
}

uint8_t getCsum(uint16_t base) {
    return EEpromRead((uint16_t)(base + EE_CHECKSUM));
}

// Writes the RAM block to one copy: only the bytes that differ, the version byte last.
static void saveEEandCsum(uint16_t base) {
    uint8_t stored[CONFIG_BLOCK_SIZE];
    uint8_t sum = QV_EEPROM_Checksum(eepromData);
    uint8_t storedSum = EEpromRead((uint16_t)(base + EE_CHECKSUM));
    bool differs = storedSum != sum;
    for (uint32_t i = 0; i < CONFIG_BLOCK_SIZE; i++) {
        if (!cfgIsSummed(i)) continue;
        stored[i] = EEpromRead((uint16_t)(base + i));
        if (stored[i] != eepromData[i]) differs = true;
    }
    if (!differs) return;
    if (stored[1] == VERSION_HIGH) {
        EEpromWrite((uint16_t)(base + 1), 0xFF);
        stored[1] = 0xFF;
    }
    for (uint32_t i = 0; i < CONFIG_BLOCK_SIZE; i++)
        if (i != 1 && cfgIsSummed(i) && stored[i] != eepromData[i])
            EEpromWrite((uint16_t)(base + i), eepromData[i]);
    if (storedSum != sum) EEpromWrite((uint16_t)(base + EE_CHECKSUM), sum);
    if (stored[1] != eepromData[1]) EEpromWrite((uint16_t)(base + 1), eepromData[1]);
}

int QV_EEPROM_Save(void) {
    saveEEandCsum(EE_COPY_A);
    saveEEandCsum(EE_COPY_B);
    return 1;
}

static bool versionInRange(uint16_t v) {
    return v >= VERSION_FIRST && v <= VERSION_LAST;
}

void QV_EEPROM_LoadAndFix(void) {
    cfgSetU16(CFG_VERSION, CFG_VERSION_INVALID);
    if (QV_EEPROM_Load(EE_COPY_B)) {
        if (!QV_EEPROM_Load(EE_COPY_A)) {
            QV_EEPROM_Load(EE_COPY_B);
            saveEEandCsum(EE_COPY_A);
        } else {
            // Both good but possibly different, after a power loss between the two halves of a
            // save: copy A is the newer one (it is written first). Nothing is written when equal.
            saveEEandCsum(EE_COPY_B);
        }
    } else if (QV_EEPROM_Load(EE_COPY_A)) {
        saveEEandCsum(EE_COPY_B);
    } else if (versionInRange(cfgU16(CFG_VERSION))) {
        saveEEandCsum(EE_COPY_A);
        saveEEandCsum(EE_COPY_B);
    }
    if (getCsum(EE_COPY_A) != getCsum(EE_COPY_B)) QV_EEPROM_Load(EE_COPY_A);
}

void QV_EEPROM_Clear(int which) {
    uint16_t from, count;
    switch (which) {
    case 0: // the user area but its last byte
        from = EE_USER_AREA;
        count = EE_USER_SIZE - 1;
        break;
    case 1:
        from = EE_COPY_A;
        count = 0x100;
        break;
    case 2:
        from = EE_COPY_B;
        count = 0x100;
        break;
    default:
        return;
    }
    for (uint16_t i = 0; i < count; i++)
        if (EEpromRead((uint16_t)(from + i)) != 0xFF) EEpromWrite((uint16_t)(from + i), 0xFF);
}

// ---- defaults and upgrades ---------------------------------------------------------------------------
// Calibration: logical x, raw x, logical y, raw y of the five points (centre, then the corners
// top left, top right, bottom right, bottom left).
void QV_EEPROM_DefaultCalibration(int16_t cal[4 * CFG_CAL_POINTS]) {
    const int16_t centre = panelConfig.calCentreX, right = panelConfig.calRightX;
    const int16_t values[4 * CFG_CAL_POINTS] = {
        centre, 20, right, right, 20,  500, 850, 150, 150, 850, // x
        239,    20, 20,    459,   459, 500, 150, 150, 850, 850, // y
    };
    memcpy(cal, values, sizeof values);
}

static void storeCalibration(const int16_t cal[4 * CFG_CAL_POINTS]) {
    for (uint32_t i = 0; i < 4 * CFG_CAL_POINTS; i++)
        cfgSetU16((uint16_t)(CFG_CAL_LOG_X + 2 * i), (uint16_t)cal[i]);
}

void QV_EEPROM_SetDefaults(void) {
    memset(eepromData, 0xFF, sizeof eepromData);
    cfgSetU16(CFG_VERSION, CFG_VERSION_CURRENT);
    eepromData[CFG_TC_TIMEOUT] = 10;
    const int32_t oldCal[8] = {15, panelConfig.legacyRightX, 150, 850, 464, 15, 850, 150};
    for (uint32_t i = 0; i < 8; i++) cfgSetU32((uint16_t)(CFG_OLD_CAL + 4 * i), (uint32_t)oldCal[i]);
    cfgSetU16(CFG_TPLO, 250);
    cfgSetU16(CFG_TPHI, 700);
    eepromData[CFG_TP_DELTA_LIM] = 10;
    eepromData[CFG_TSAMP] = 8;
    eepromData[CFG_TSPAN] = 12;
    eepromData[CFG_TOUCH_SWAP] = 0;
    cfgSetU32(CFG_BEEP_FREQ, 2600);
    eepromData[CFG_BEEP_VOL] = 200;
    eepromData[CFG_BEEP_VOL_MAX] = 255;
    eepromData[CFG_BRITE] = 255;
    eepromData[CFG_TYPEMATIC_DELAY] = 75;
    cfgSetU32(CFG_DEBOUNCE, 100);
    eepromData[CFG_TYPEMATIC_REPEAT] = 20;
    eepromData[CFG_PONMAC] = 0;
    eepromData[CFG_AUX_ESC] = 0x0D;
    eepromData[CFG_MAIN_PORT] = 0;
    eepromData[CFG_INV_ENA_HI_TRUE] = 0;
    eepromData[CFG_MAX_BRITE] = panelConfig.maxBrite;
    eepromData[CFG_MIN_BRITE] = panelConfig.minBrite;
    eepromData[CFG_PWM_IS_ENABLE] = 1;
    eepromData[CFG_ORIENT] = 0;
    memset(&eepromData[CFG_CONFIG_NAME], 0, CFG_CONFIG_NAME_SIZE);
    eepromData[CFG_TOUCH_MODE] = 0;
    eepromData[CFG_LCD_SHIFT_CLOCK] = 1;
    eepromData[CFG_BAUD0] = 7;
    eepromData[CFG_BAUD1] = 7;
    eepromData[CFG_EXTERNAL_SPEAKER] = 0;
    eepromData[CFG_MARKER_AA] = 0xAA;
    int16_t cal[4 * CFG_CAL_POINTS];
    QV_EEPROM_DefaultCalibration(cal);
    storeCalibration(cal);
    eepromData[CFG_MARKER_01] = 1;
}

static int32_t mean(int32_t a, int32_t b) {
    return a / 2 + b / 2 + (a % 2 + b % 2) / 2;
}

static void upgradeBlock(uint16_t version) {
    int16_t cal[4 * CFG_CAL_POINTS];
    QV_EEPROM_DefaultCalibration(cal);
    if (version == 0x1259) {
        // 32-bit calibration values from 0x84: eleven of them fit in the block; the rest keep
        // their defaults.
        for (uint32_t i = 0; i < 11; i++) cal[i] = (int16_t)cfgU32((uint16_t)(CFG_CAL_LOG_X + 4 * i));
        storeCalibration(cal);
    } else if (version <= 0x1258) {
        // Older blocks kept two points per axis at 0x04: left and right x, bottom and top y, each
        // as a logical value and a raw reading.
        int32_t o[8];
        for (uint32_t i = 0; i < 8; i++) o[i] = (int32_t)cfgU32((uint16_t)(CFG_OLD_CAL + 4 * i));
        const int32_t rebuilt[4 * CFG_CAL_POINTS] = {
            mean(o[0], o[1]), o[0], o[1], o[1], o[0], mean(o[2], o[3]), o[2], o[3], o[3], o[2],
            mean(o[4], o[5]), o[5], o[5], o[4], o[4], mean(o[6], o[7]), o[7], o[7], o[6], o[6],
        };
        for (uint32_t i = 0; i < 4 * CFG_CAL_POINTS; i++) cal[i] = (int16_t)rebuilt[i];
        storeCalibration(cal);
        if (version == 0x1255) eepromData[CFG_EXTERNAL_SPEAKER] = 0;
    }
    if (eepromData[CFG_BAUD0] < 3 || eepromData[CFG_BAUD0] > 8) eepromData[CFG_BAUD0] = 7;
    if (eepromData[CFG_BAUD1] < 3 || eepromData[CFG_BAUD1] > 8) eepromData[CFG_BAUD1] = 7;
    if (eepromData[CFG_LCD_SHIFT_CLOCK] > 1) eepromData[CFG_LCD_SHIFT_CLOCK] = 1;
    if (eepromData[CFG_AUTOCAL] > 1) eepromData[CFG_AUTOCAL] = 0;
}

// Brings a loaded block of an older version up to date, or gives an unusable one the defaults.
// True when the block changed.
bool QV_EEPROM_Repair(void) {
    bool changed = false;
    uint16_t version = cfgU16(CFG_VERSION);
    if (versionInRange(version)) {
        if (version != CFG_VERSION_CURRENT || eepromData[CFG_MARKER_AA] != 0xAA) {
            upgradeBlock(version);
            changed = true;
        }
        cfgSetByte(CFG_MARKER_01, 1, &changed);
        cfgSetByte(CFG_MARKER_AA, 0xAA, &changed);
        if (version != CFG_VERSION_CURRENT) {
            cfgSetU16(CFG_VERSION, CFG_VERSION_CURRENT);
            changed = true;
        }
        if (eepromData[CFG_MAIN_PORT] >= 2) cfgSetByte(CFG_MAIN_PORT, 0, &changed);
    } else {
        QV_EEPROM_SetDefaults();
        changed = true;
    }
    return changed;
}

// The configuration name as text: empty when unset or erased.
void configName(char *out) {
    const uint8_t *field = &eepromData[CFG_CONFIG_NAME];
    uint32_t n = 0;
    if (field[0] != 0xFF)
        while (n < CFG_CONFIG_NAME_SIZE - 1 && field[n]) {
            out[n] = (char)field[n];
            n++;
        }
    out[n] = 0;
}

int QV_save_baudrate_eeprom(int port, uint32_t rate) {
    uint8_t code = QV_EEPROM_Rate2eeVal(rate);
    if (code == 0xFF) {
        perr(":baud rate %d not supported, not saved\r", (int)rate);
        return 0;
    }
    eepromData[port == 0 ? CFG_BAUD0 : CFG_BAUD1] = code;
    return QV_EEPROM_Save();
}
