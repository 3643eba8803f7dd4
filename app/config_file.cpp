// "config.ini", applied at power-up over the configuration block, and "currconf.txt", the active
// settings written back as a file. They reach into the serial ports and the macro engine, so they
// live above those rooms.
#include "app/config_file.h"

#include <stdio.h>
#include <string.h>

#include "base/console.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "fat/ff.h"
#include "macro/macro.h"
#include "sdcard/sdcard.h"
#include "serial/serial.h"
#include "settings/settings.h"

static const char CONFIG_INI[] = "config.ini";
static const char CURRCONF[] = "currconf.txt";

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
        cfgSetByte(k.offset, (uint8_t)v, &changed);
        break;
    case K_BOOL:
        cfgSetByte(k.offset, v != 0, &changed);
        break;
    case K_BIT:
        cfgSetByte(k.offset, (uint8_t)(v & 1), &changed);
        break;
    case K_ORIENT:
        cfgSetByte(k.offset, (uint8_t)(v & 3), &changed);
        break;
    case K_AUTOCAL:
        cfgSetByte(k.offset, v ? CFG_ENABLED : CFG_UNSET, &changed);
        break;
    case K_U16:
        cfgSetBytes(k.offset, (uint16_t)v, 2, &changed);
        break;
    case K_U32:
    case K_I32:
        // beepFreq and beepVol are only stored here: the beeper takes them when it starts, after this
        cfgSetBytes(k.offset, (uint32_t)v, 4, &changed);
        break;
    case K_MACDEBUG:
        if (macroVerbose != (v & 1)) {
            macroVerbose = v & 1;
            changed = true;
        }
        break;
    case K_PONMAC:
        cfgSetByte(CFG_PONMAC_QUIET, (uint8_t)v == 0 ? CFG_UNSET : CFG_ENABLED, &changed);
        cfgSetByte(CFG_PONMAC, (uint8_t)v, &changed);
        break;
    case K_SPL:
        if (v == 0) {
            cfgSetByte(CFG_SPLASH_ON, CFG_UNSET, &changed);
        } else {
            cfgSetByte(CFG_SPLASH_ON, CFG_ENABLED, &changed);
            cfgSetByte(CFG_SPLASH_BITMAP, (uint8_t)v, &changed);
        }
        break;
    case K_MAINPORT:
        if (v == 0 || v == 1) {
            cfgSetByte(k.offset, (uint8_t)v, &changed);
            if (changed) *mainPortChanged = true;
        }
        break;
    case K_BAUD: {
        uint8_t code = QV_EEPROM_Rate2eeVal((uint32_t)v);
        if (code == 0xFF) {
            if (verbose) pout(":new rate not valid, not saved\r");
        } else {
            cfgSetByte(k.offset, code, &changed);
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
    bool changed = QV_EEPROM_Repair(), mainPortChanged = false;
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

int cmd_sys_getConfigAsFile(char *) {
    return QV_EEPROM_saveConfigToFile();
}
