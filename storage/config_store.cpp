// The configuration block: loading and repairing its two EEPROM copies, upgrading blocks of older
// firmware, the defaults of this panel build, "config.ini", "currconf.txt", the user area and the
// EEPROM commands.
//
// A copy is rewritten so that a power loss after any single byte write leaves a copy that loads:
// its version byte leaves 0x12 before the first changed byte and gets it back after the checksum,
// so a half-written copy is never read, and the other copy is only touched once this one is whole.
#include "storage/config_store.h"

#include <stdio.h>
#include <string.h>

#include "app/commands.h"
#include "app/parse.h"
#include "board/bsp/bsp.h"
#include "config/panel.h"
#include "macro/macro.h"
#include "serial/serial.h"
#include "storage/ff.h"
#include "storage/sdcard.h"

uint8_t eepromData[CONFIG_BLOCK_SIZE];

static const char CONFIG_INI[] = "config.ini";
static const char CURRCONF[] = "currconf.txt";
enum : uint8_t { VERSION_HIGH = 0x12 };
enum : uint16_t { VERSION_FIRST = 0x1255, VERSION_LAST = 0x1260 };
enum { INI_LINE_MAX = 130 }; // a quoted value is looked at on the first 130 characters of its line

uint16_t cfgU16(uint16_t o) {
    return (uint16_t)(eepromData[o] | (eepromData[o + 1] << 8));
}
uint32_t cfgU32(uint16_t o) {
    return (uint32_t)cfgU16(o) | ((uint32_t)cfgU16(o + 2) << 16);
}
void cfgSetU16(uint16_t o, uint16_t v) {
    eepromData[o] = (uint8_t)v;
    eepromData[o + 1] = (uint8_t)(v >> 8);
}
void cfgSetU32(uint16_t o, uint32_t v) {
    cfgSetU16(o, (uint16_t)v);
    cfgSetU16(o + 2, (uint16_t)(v >> 16));
}

// Bytes 0x46-0x51 (reserved and the firmware identification) are loaded but not saved or summed.
static bool isSummed(uint32_t i) {
    return i < 0x46 || i >= 0x52;
}

uint8_t QV_EEPROM_Checksum(const uint8_t *block) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < CONFIG_BLOCK_SIZE; i++)
        if (isSummed(i)) sum += block[i];
    return (uint8_t)sum;
}

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
        if (!isSummed(i)) continue;
        stored[i] = EEpromRead((uint16_t)(base + i));
        if (stored[i] != eepromData[i]) differs = true;
    }
    if (!differs) return;
    if (stored[1] == VERSION_HIGH) {
        EEpromWrite((uint16_t)(base + 1), 0xFF);
        stored[1] = 0xFF;
    }
    for (uint32_t i = 0; i < CONFIG_BLOCK_SIZE; i++)
        if (i != 1 && isSummed(i) && stored[i] != eepromData[i])
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

int QV_EEPROMvalid(void) {
    return cfgU16(CFG_VERSION) == CFG_VERSION_CURRENT;
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
static void defaultCalibration(int16_t cal[4 * CFG_CAL_POINTS]) {
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
    defaultCalibration(cal);
    storeCalibration(cal);
    eepromData[CFG_MARKER_01] = 1;
}

static int32_t mean(int32_t a, int32_t b) {
    return a / 2 + b / 2 + (a % 2 + b % 2) / 2;
}

static void upgradeBlock(uint16_t version) {
    int16_t cal[4 * CFG_CAL_POINTS];
    defaultCalibration(cal);
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

static void setByte(uint16_t offset, uint8_t value, bool *changed) {
    if (eepromData[offset] != value) {
        eepromData[offset] = value;
        *changed = true;
    }
}

// ---- "config.ini" ------------------------------------------------------------------------------------
static const char *lineStart(const char *text, const char *p) {
    while (p > text && p[-1] != '\n' && p[-1] != '\r') p--;
    return p;
}

static int lineLength(const char *p) {
    int n = 0;
    while (p[n] && p[n] != '\n' && p[n] != '\r') n++;
    return n;
}

// The next occurrence of key that is not on a comment line.
static const char *findKey(const char *text, const char *key) {
    const char *p = text;
    while ((p = strstr(p, key)) != nullptr) {
        if (*lineStart(text, p) != '#') return p;
        p++;
    }
    return nullptr;
}

static void syntaxError(const char *at) {
    perr(":Syntax error \"%.*s\"\r", lineLength(at), at);
}

int lookfor(const char *text, const char *key, char mode, int *value, int verbose) {
    if (!text || !key || !*key) return 0;
    const char *at = findKey(text, key);
    if (!at) return 0;
    bool hex = mode == 'h' || mode == 'x';
    int v = 0;
    unsigned h = 0;
    bool ok = hex ? sscanf(at, "%*s = %x", &h) == 1 || sscanf(at, "%*s %x", &h) == 1
                  : sscanf(at, "%*s = %d", &v) == 1 || sscanf(at, "%*s %d", &v) == 1;
    if (!ok) {
        if (verbose) syntaxError(at);
        return 0;
    }
    if (hex) v = (int)h;
    if (verbose) {
        if (hex)
            pout(":%s = 0x%X\r", key, (unsigned)v);
        else
            pout(":%s = %d\r", key, v);
    }
    *value = v;
    return 1;
}

int lookforQuotedString(const char *text, const char *key, char *destination, int capacity, int verbose) {
    if (!text || !key || !*key || !destination || capacity <= 0) return 0;
    const char *at = findKey(text, key);
    if (!at) return 0;
    char c;
    if (sscanf(at, "%*s = \"%c", &c) != 1 && sscanf(at, "%*s \"%c", &c) != 1) {
        if (verbose) syntaxError(at);
        return 0;
    }
    // The quoted text lies on this line; the escapes are decoded in a copy of it.
    char line[INI_LINE_MAX + 1];
    int n = lineLength(at);
    if (n > INI_LINE_MAX) n = INI_LINE_MAX;
    memcpy(line, at, (size_t)n);
    line[n] = 0;
    char *rest;
    int length;
    char *quoted = escstrl(line, '"', &rest, &length);
    if (!quoted || length + 1 > capacity) return 0;
    memcpy(destination, quoted, (size_t)length);
    destination[length] = 0;
    if (verbose) pout(":%s = \"%s\"\r", key, destination);
    return 1;
}

enum KeyKind : uint8_t {
    K_U8,
    K_U16,
    K_U32,
    K_I32,
    K_BOOL,   // stores 0 or 1
    K_BIT,    // keeps bit 0
    K_ORIENT, // keeps two bits
    K_HEX8,
    K_AUTOCAL,
    K_MACDEBUG,
    K_PONMAC,
    K_SPL,
    K_MAINPORT,
    K_BAUD,
    K_CONFIG,
};
struct ConfigKey {
    const char *name;
    uint8_t offset;
    uint8_t kind;
};

// In the order they are applied; "currconf.txt" lists the same keys but "macdebug" and "tpDeltaLim".
static const ConfigKey configKeys[] = {
    {"autoCal", CFG_AUTOCAL, K_AUTOCAL},
    {"macdebug", 0, K_MACDEBUG},
    {"orient", CFG_ORIENT, K_ORIENT},
    {"invEnaHiTrue", CFG_INV_ENA_HI_TRUE, K_BOOL},
    {"touchSwap", CFG_TOUCH_SWAP, K_BOOL},
    {"tplo", CFG_TPLO, K_U16},
    {"tphi", CFG_TPHI, K_U16},
    {"tpDeltaLim", CFG_TP_DELTA_LIM, K_U8},
    {"tsamp", CFG_TSAMP, K_U8},
    {"tspan", CFG_TSPAN, K_U8},
    {"touchMode", CFG_TOUCH_MODE, K_U8},
    {"tcTimeout", CFG_TC_TIMEOUT, K_U8},
    {"auxEsc", CFG_AUX_ESC, K_HEX8},
    {"beepFreq", CFG_BEEP_FREQ, K_U32},
    {"beepVol", CFG_BEEP_VOL, K_U8},
    {"typematicDelay", CFG_TYPEMATIC_DELAY, K_U8},
    {"typematicRepeat", CFG_TYPEMATIC_REPEAT, K_U8},
    {"debounce", CFG_DEBOUNCE, K_I32},
    {"PONMAC", CFG_PONMAC, K_PONMAC},
    {"SPL", CFG_SPLASH_BITMAP, K_SPL},
    {"hfp", CFG_HFP, K_U8},
    {"hpw", CFG_HPW, K_U8},
    {"hbp", CFG_HBP, K_U8},
    {"vfp", CFG_VFP, K_U8},
    {"vpw", CFG_VPW, K_U8},
    {"vbp", CFG_VBP, K_U8},
    {"maxBrite", CFG_MAX_BRITE, K_U8},
    {"minBrite", CFG_MIN_BRITE, K_U8},
    {"brite", CFG_BRITE, K_U8},
    {"pwmIsEnable", CFG_PWM_IS_ENABLE, K_BOOL},
    {"mainPort", CFG_MAIN_PORT, K_MAINPORT},
    {"LCDshiftclock", CFG_LCD_SHIFT_CLOCK, K_BOOL},
    {"baud0", CFG_BAUD0, K_BAUD},
    {"baud1", CFG_BAUD1, K_BAUD},
    {"externalSpeaker", CFG_EXTERNAL_SPEAKER, K_BIT},
    {"config", CFG_CONFIG_NAME, K_CONFIG},
};

// The configuration name as text: empty when unset or erased.
static void configName(char *out) {
    const uint8_t *field = &eepromData[CFG_CONFIG_NAME];
    uint32_t n = 0;
    if (field[0] != 0xFF)
        while (n < CFG_CONFIG_NAME_SIZE - 1 && field[n]) {
            out[n] = (char)field[n];
            n++;
        }
    out[n] = 0;
}

// Applies one key when present; returns true when its stored form changed.
static bool applyKey(const char *text, const ConfigKey &k, int verbose, bool *mainPortChanged) {
    bool changed = false;
    if (k.kind == K_CONFIG) {
        char name[CFG_CONFIG_NAME_SIZE], current[CFG_CONFIG_NAME_SIZE];
        if (!lookforQuotedString(text, k.name, name, (int)sizeof name, verbose)) return false;
        configName(current);
        if (strcmp(name, current) == 0) return false;
        memset(&eepromData[CFG_CONFIG_NAME], 0, CFG_CONFIG_NAME_SIZE);
        memcpy(&eepromData[CFG_CONFIG_NAME], name, strlen(name));
        return true;
    }
    int v;
    if (!lookfor(text, k.name, k.kind == K_HEX8 ? 'h' : 'd', &v, verbose)) return false;
    switch (k.kind) {
    case K_U8:
    case K_HEX8:
        setByte(k.offset, (uint8_t)v, &changed);
        break;
    case K_BOOL:
        setByte(k.offset, v != 0, &changed);
        break;
    case K_BIT:
        setByte(k.offset, (uint8_t)(v & 1), &changed);
        break;
    case K_ORIENT:
        setByte(k.offset, (uint8_t)(v & 3), &changed);
        break;
    case K_AUTOCAL:
        setByte(k.offset, v ? CFG_ENABLED : CFG_UNSET, &changed);
        break;
    case K_U16:
        if (cfgU16(k.offset) != (uint16_t)v) {
            cfgSetU16(k.offset, (uint16_t)v);
            changed = true;
        }
        break;
    case K_U32:
    case K_I32:
        // beepFreq and beepVol are only stored here: the beeper takes them when it starts, after this
        if (cfgU32(k.offset) != (uint32_t)v) {
            cfgSetU32(k.offset, (uint32_t)v);
            changed = true;
        }
        break;
    case K_MACDEBUG:
        if (macroVerbose != (v & 1)) {
            macroVerbose = v & 1;
            changed = true;
        }
        break;
    case K_PONMAC:
        setByte(CFG_PONMAC_QUIET, (uint8_t)v == 0 ? CFG_UNSET : CFG_ENABLED, &changed);
        setByte(CFG_PONMAC, (uint8_t)v, &changed);
        break;
    case K_SPL:
        if (v == 0) {
            setByte(CFG_SPLASH_ON, CFG_UNSET, &changed);
        } else {
            setByte(CFG_SPLASH_ON, CFG_ENABLED, &changed);
            setByte(CFG_SPLASH_BITMAP, (uint8_t)v, &changed);
        }
        break;
    case K_MAINPORT:
        if (v == 0 || v == 1) {
            setByte(k.offset, (uint8_t)v, &changed);
            if (changed) *mainPortChanged = true;
        }
        break;
    case K_BAUD: {
        uint8_t code = QV_EEPROM_Rate2eeVal((uint32_t)v);
        if (code == 0xFF) {
            if (verbose) pout(":new rate not valid, not saved\r");
        } else {
            setByte(k.offset, code, &changed);
            if (changed && verbose) pout(":new rate will take effect on next powerup/reset\r");
        }
        break;
    }
    default:
        break;
    }
    return changed;
}

// Reads "config.ini" from the card's current directory into the external-memory region (the
// resource image is not there yet) and applies its keys. Returns true when the file opened.
static bool applyConfigFile(bool *changed, bool *mainPortChanged, int *verbose) {
    if (!SDisInitialized()) return false;
    ff::FF_FILE *f = SD_fopen(CONFIG_INI, ff::FF_READ);
    if (!f) return false;
    uint32_t size = f->size;
    char *text = size < BSP_EXTRAM_SIZE ? (char *)bsp_mem(BSP_EXTRAM_BASE, size + 1) : nullptr;
    bool loaded = text && ff::fread(text, 1, size, f) == size;
    SD_fclose(f);
    if (!loaded) {
        perr(":%s could not be loaded\r", CONFIG_INI);
        return true;
    }
    text[size] = 0;
    int v;
    if (lookfor(text, "verbose", 'd', &v, 0)) {
        pout(":%s verbose mode enabled\r", CONFIG_INI);
        *verbose = v != 0;
    }
    for (const ConfigKey &k : configKeys)
        if (applyKey(text, k, *verbose, mainPortChanged)) *changed = true;
    return true;
}

void QV_EEPROM_Init(void) {
    bool changed = false, mainPortChanged = false;
    uint16_t version = cfgU16(CFG_VERSION);
    if (versionInRange(version)) {
        if (version != CFG_VERSION_CURRENT || eepromData[CFG_MARKER_AA] != 0xAA) {
            upgradeBlock(version);
            changed = true;
        }
        setByte(CFG_MARKER_01, 1, &changed);
        setByte(CFG_MARKER_AA, 0xAA, &changed);
        if (version != CFG_VERSION_CURRENT) {
            cfgSetU16(CFG_VERSION, CFG_VERSION_CURRENT);
            changed = true;
        }
        if (eepromData[CFG_MAIN_PORT] >= 2) setByte(CFG_MAIN_PORT, 0, &changed);
    } else {
        QV_EEPROM_SetDefaults();
        changed = true;
    }
    int verbose = 0;
    if (applyConfigFile(&changed, &mainPortChanged, &verbose) && eepromData[CFG_TSPAN] < 4) {
        eepromData[CFG_TSPAN] = 12;
        if (verbose) pout(":tspan too low!! Set to default (12)\r");
    }
    if (changed) {
        cfgSetU16(CFG_VERSION, CFG_VERSION_CURRENT);
        if (verbose) pout(":storing new values in EEPROM\r");
        QV_EEPROM_Save();
    }
    if (mainPortChanged) {
        if (eepromData[CFG_MAIN_PORT] == 1)
            makeUart1Main();
        else
            makeUart0Main();
    }
}

// ---- baud-rate codes ----------------------------------------------------------------------------------
static const uint32_t rateOfCode[10] = {0, 1200, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};

uint8_t QV_EEPROM_Rate2eeVal(uint32_t rate) {
    for (uint8_t c = 1; c < 10; c++)
        if (rateOfCode[c] == rate) return c;
    return 0xFF;
}

uint32_t QV_EEPROM_eeVal2Rate(uint8_t code) {
    return (code >= 1 && code <= 9) ? rateOfCode[code] : 115200;
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

// ---- "currconf.txt" ---------------------------------------------------------------------------------
static int formatKey(const ConfigKey &k, char *line, size_t size) {
    const uint8_t *b = eepromData;
    switch (k.kind) {
    case K_U16:
        return snprintf(line, size, "%s = %u", k.name, (unsigned)cfgU16(k.offset));
    case K_U32:
        return snprintf(line, size, "%s = %u", k.name, (unsigned)cfgU32(k.offset));
    case K_I32:
        return snprintf(line, size, "%s = %d", k.name, (int)(int32_t)cfgU32(k.offset));
    case K_HEX8:
        return snprintf(line, size, "%s = 0x%02x", k.name, (unsigned)b[k.offset]);
    case K_AUTOCAL:
        return snprintf(line, size, "%s = %d", k.name, b[k.offset] == CFG_ENABLED ? 1 : 0);
    case K_SPL:
        return snprintf(line, size, "%s = %d", k.name,
                        b[CFG_SPLASH_ON] == CFG_ENABLED ? b[CFG_SPLASH_BITMAP] : 0);
    case K_BAUD:
        return snprintf(line, size, "%s = %d", k.name, (int)QV_EEPROM_eeVal2Rate(b[k.offset]));
    case K_CONFIG: {
        char name[CFG_CONFIG_NAME_SIZE];
        configName(name);
        return snprintf(line, size, "%s = \"%s\"", k.name, name);
    }
    default:
        return snprintf(line, size, "%s = %d", k.name, (int)b[k.offset]);
    }
}

int QV_EEPROM_saveConfigToFile(void) {
    if (eepromData[CFG_MARKER_01] != 1 || eepromData[CFG_MARKER_AA] != 0xAA || !QV_EEPROMvalid()) {
        perr(":EEPROM invalid\r");
        return 0;
    }
    if (!SDisInitialized()) {
        perr(":SD Card not initialized\r");
        return 0;
    }
    ff::FF_DIRENT info;
    if (ff::fget_file_info(CURRCONF, &info) && ff::remove(CURRCONF) == 0)
        pout(":existing config file removed\r");
    ff::FF_FILE *f = ff::fcreate(CURRCONF, ff::FF_WRITE);
    if (!f) {
        perr(":error creating config file\r");
        return 0;
    }
    SD_led(1);
    pout(":writing SD File %s\r", CURRCONF);
    static const char *const header[3] = {
        "##########################################################",
        "# active config data generated by *getConfigAsFile command",
        "##########################################################",
    };
    bool ok = true;
    for (const char *line : header) ok = ok && ff::fputs(line, f) == 0;
    for (const ConfigKey &k : configKeys) {
        if (!ok) break;
        if (k.kind == K_MACDEBUG || k.offset == CFG_TP_DELTA_LIM) continue;
        char line[80];
        formatKey(k, line, sizeof line);
        ok = ff::fputs(line, f) == 0;
    }
    if (SD_fclose(f) != 0) ok = false;
    if (!ok) {
        perr(":error writing config file\r");
        return 0;
    }
    f = SD_fopen(CURRCONF, ff::FF_READ);
    if (!f) {
        perr(":file %s not created\r", CURRCONF);
        return 0;
    }
    SD_fclose(f);
    return 1;
}

// ---- commands ---------------------------------------------------------------------------------------
static uint16_t userAddress(unsigned a) {
    return (uint16_t)(EE_USER_AREA + (a & 0xFF));
}

// "*eer %x", "*eerc %x": read a user byte.
int cmd_sys_eer(char *line) {
    const char *p = line + 4;
    bool compact = *p == 'c';
    if (compact) p++;
    unsigned a;
    if (sscanf(p, "%x", &a) != 1) return CMD_FAIL;
    uint8_t value = EEpromRead(userAddress(a));
    if (compact)
        snprintf(out_buffer, sizeof out_buffer, "%02X\r", value);
    else
        snprintf(out_buffer, sizeof out_buffer, "%02X = %02X\r", a & 0xFF, value);
    txString(out_buffer);
    return CMD_OK;
}

// "*eew %x %x", "*eewc %x %x": write a user byte when it differs, then read it back.
int cmd_sys_eew(char *line) {
    const char *p = line + 4;
    bool quiet = *p == 'c';
    if (quiet) p++;
    unsigned a, v;
    if (sscanf(p, "%x %x", &a, &v) != 2) return CMD_FAIL;
    uint16_t address = userAddress(a);
    if (EEpromRead(address) != (uint8_t)v) EEpromWrite(address, (uint8_t)v);
    uint8_t back = EEpromRead(address);
    if (!quiet) {
        snprintf(out_buffer, sizeof out_buffer, "%02X = %02X\r", a & 0xFF, back);
        txString(out_buffer);
    }
    return CMD_OK;
}

// "*eed": copy A as 22 lines of eight bytes, in hexadecimal and as characters.
int cmd_sys_eed(char *) {
    for (uint32_t row = 0; row < CONFIG_BLOCK_SIZE; row += 8) {
        uint8_t b[8];
        for (uint32_t k = 0; k < 8; k++) b[k] = EEpromRead((uint16_t)(EE_COPY_A + row + k));
        int n = snprintf(out_buffer, sizeof out_buffer, "%02X:", (unsigned)row);
        for (uint32_t k = 0; k < 8; k++)
            n += snprintf(out_buffer + n, sizeof out_buffer - (size_t)n, " %02X", b[k]);
        out_buffer[n++] = ' ';
        for (uint32_t k = 0; k < 8; k++) out_buffer[n++] = (b[k] >= 0x21 && b[k] <= 0x79) ? (char)b[k] : '.';
        out_buffer[n++] = '\r';
        out_buffer[n] = 0;
        txString(out_buffer);
    }
    return CMD_OK;
}

// "*eec [n]": clear area n, or both copies of the block.
int cmd_sys_eec(char *line) {
    int which;
    if (sscanf(line, "%*s%d", &which) == 1) {
        QV_EEPROM_Clear(which);
    } else {
        QV_EEPROM_Clear(1);
        QV_EEPROM_Clear(2);
    }
    return CMD_OK;
}

int cmd_sys_ees(char *) {
    return QV_EEPROM_Save();
}

// "*config \"name\"" sets the configuration name; "*config" replies it.
int cmd_sys_config(char *line) {
    if (strncmp(line, "*config \"", 9) == 0) {
        char *rest;
        int length;
        char *text = escstrl(line, '"', &rest, &length);
        if (!text) return CMD_FAIL;
        if (length > (int)CFG_CONFIG_NAME_SIZE - 1) length = CFG_CONFIG_NAME_SIZE - 1;
        memset(&eepromData[CFG_CONFIG_NAME], 0, CFG_CONFIG_NAME_SIZE);
        memcpy(&eepromData[CFG_CONFIG_NAME], text, (size_t)length);
        return QV_EEPROM_Save();
    }
    char name[CFG_CONFIG_NAME_SIZE];
    configName(name);
    if (!name[0])
        txString("(not set)\r");
    else {
        snprintf(out_buffer, sizeof out_buffer, "%s\r", name);
        txString(out_buffer);
    }
    return CMD_OK;
}

int cmd_sys_getConfigAsFile(char *) {
    return QV_EEPROM_saveConfigToFile();
}
