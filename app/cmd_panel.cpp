// The backlight, panel power, LED, panel timing and orientation commands, and the two interactive
// timing screens. Settings they change are saved at once, except the six timing values (saved by
// "!" in the timing screens or by any later save of the block) and the "xbbs" level.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/commands.h"
#include "app/control_args.h"
#include "base/config_block.h"
#include "base/console.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/services/panel.h"
#include "board/services/services.h"
#include "config/panel.h"
#include "gfx/gfx_state.h"
#include "gfx/gui.h"
#include "macro/scan32.h"
#include "serial/serial.h"
#include "settings/settings.h"

// The number after a keyword of `len` characters: 0 when there is none (the query form), 1 with
// the value, -1 when something else follows.
static int numberAfter(char *line, size_t len, int32_t *value) {
    char *p = line + len;
    if (atEnd(p)) return 0;
    return nextNumber(&p, value) && atEnd(p) ? 1 : -1;
}

int cmd_xbl_on(char *) {
    QV_External_Inverter_On();
    return CMD_OK;
}

int cmd_xbl_of(char *) {
    QV_External_Inverter_Off();
    return CMD_OK;
}

int cmd_v_on(char *) {
    QV_Video_On();
    return CMD_OK;
}

int cmd_v_of(char *) {
    QV_Video_Off();
    return CMD_OK;
}

int cmd_led(char *line) {
    char word[10];
    if (sscanf(line, "led %9s", word) != 1) return CMD_FAIL;
    if (strcmp(word, "sys") == 0)
        QV_led_user(0);
    else if (strcmp(word, "on") == 0)
        QV_led_user(1);
    else if (strcmp(word, "off") == 0)
        QV_led_user(2);
    else
        return CMD_FAIL;
    return CMD_OK;
}

// "xbb", "xbbs": no value reports the level; +n / -n change it, clamped; n sets it (0..255).
int cmd_xbb(char *line) {
    bool save = line[3] != 's';
    char *p = line + (save ? 3 : 4);
    if (atEnd(p)) {
        replyNumber(eepromData[CFG_BRITE]);
        return CMD_OK;
    }
    p = skipLeadingWhitespace(p);
    bool relative = *p == '+' || *p == '-';
    int32_t v;
    if (!nextNumber(&p, &v) || !atEnd(p)) return CMD_FAIL;
    if (relative) {
        if (v > 255) v = 255; // keeps the sum inside 32 bits
        if (v < -255) v = -255;
        v += eepromData[CFG_BRITE];
        v = v < 0 ? 0 : v > 255 ? 255 : v;
    } else if (v > 255) {
        return CMD_FAIL;
    }
    QV_Brite_Set((uint8_t)v);
    if (save) QV_EEPROM_Save();
    return CMD_OK;
}

// A saved setting of the panel commands: no value reports it; a value is masked, stored, applied
// at once and saved.
static int savedSetting(char *line, size_t len, uint8_t offset, uint8_t mask, void (*apply)(void)) {
    int32_t v;
    int n = numberAfter(line, len, &v);
    if (n < 0) return CMD_FAIL;
    if (n == 0) {
        replyNumber(eepromData[offset]);
        return CMD_OK;
    }
    eepromData[offset] = (uint8_t)(v & mask);
    apply();
    QV_EEPROM_Save();
    return CMD_OK;
}

// A new limit applies to the level in force at once.
static void applyLevel(void) {
    QV_Brite_Set(eepromData[CFG_BRITE]);
}
static void applyPwm(void) {
    QV_Pwm_Enable(eepromData[CFG_PWM_IS_ENABLE]);
}
static void applyOrient(void) {
    setOrient(eepromData[CFG_ORIENT]);
}

// "*maxBrite", "*minBrite": the PWM value of level 255 / level 0.
int cmd_sys_maxBrite(char *line) {
    return savedSetting(line, 9, CFG_MAX_BRITE, 0xFF, applyLevel);
}
int cmd_sys_minBrite(char *line) {
    return savedSetting(line, 9, CFG_MIN_BRITE, 0xFF, applyLevel);
}
// The enable line's polarity, applied by switching the inverter on.
int cmd_sys_invEnaHiTrue(char *line) {
    return savedSetting(line, 13, CFG_INV_ENA_HI_TRUE, 1, QV_External_Inverter_On);
}
int cmd_sys_pwmIsEnable(char *line) {
    return savedSetting(line, 12, CFG_PWM_IS_ENABLE, 1, applyPwm);
}
int cmd_sys_orient(char *line) {
    return savedSetting(line, 7, CFG_ORIENT, 3, applyOrient);
}

int cmd_sys_vq(char *line) {
    int32_t v;
    int n = numberAfter(line, 3, &v);
    if (n < 0) return CMD_FAIL;
    if (n == 0) {
        replyNumber(bsp_vq_get());
        return CMD_OK;
    }
    bsp_vq_set((int)(v & 1));
    return CMD_OK;
}

int cmd_sys_panel(char *) {
    const char *name = (const char *)&eepromData[CFG_CONFIG_NAME];
    if (name[0] != 0 && (uint8_t)name[0] != 0xFF) {
        char text[CFG_CONFIG_NAME_SIZE + 1];
        memcpy(text, name, CFG_CONFIG_NAME_SIZE);
        text[CFG_CONFIG_NAME_SIZE] = 0; // at most 31 characters and a NUL, unless damaged
        snprintf(out_buffer, sizeof out_buffer, "%s\r", text);
    } else {
        snprintf(out_buffer, sizeof out_buffer, "%s\r", panelConfig.panelName);
    }
    txString(out_buffer);
    return CMD_OK;
}

// ---- timing values ----------------------------------------------------------------------------

// "*hfp" ... "*vbp": the low 8 bits (6 for the pulse widths and vertical values); 0 becomes 1.
static int timingValue(char *line, int which, uint8_t mask) {
    int32_t v;
    int n = numberAfter(line, 4, &v);
    if (n < 0) return CMD_FAIL;
    if (n == 0) {
        replyNumber(QV_Panel_Setting(which));
        return CMD_OK;
    }
    uint8_t value = (uint8_t)(v & mask);
    QV_Panel_SetSetting(which, value ? value : 1);
    return CMD_OK;
}

int cmd_sys_hfp(char *line) {
    return timingValue(line, PT_HFP, 0xFF);
}
int cmd_sys_hbp(char *line) {
    return timingValue(line, PT_HBP, 0xFF);
}
int cmd_sys_hpw(char *line) {
    return timingValue(line, PT_HPW, 0x3F);
}
int cmd_sys_vfp(char *line) {
    return timingValue(line, PT_VFP, 0x3F);
}
int cmd_sys_vpw(char *line) {
    return timingValue(line, PT_VPW, 0x3F);
}
int cmd_sys_vbp(char *line) {
    return timingValue(line, PT_VBP, 0x3F);
}

// ---- the scan-line waits ----------------------------------------------------------------------

// Rows far off the screen wait as for its first or last row.
static void waitForRow(int64_t row) {
    if (row > 0x7FFF) row = 0x7FFF;
    if (row < -0x7FFF) row = -0x7FFF;
    wvr((int)row);
}

int cmd_wvr(char *line) {
    const char *p = line + 3;
    int32_t row = 0; // none: row 0
    scanDec32(&p, &row);
    waitForRow(row);
    return CMD_OK;
}

int cmd_wrf(char *line) {
    const char *p = line + 3;
    int32_t unused, row; // the first number is not used
    if (!scanDec32(&p, &unused) || !scanDec32(&p, &row)) {
        perr(":Incorrect parameters\r");
        return CMD_FAIL;
    }
    waitForRow((int64_t)row + Origin_Y);
    return CMD_OK;
}

// ---- the interactive timing screens -----------------------------------------------------------

static void sendStatusLine(void) {
    uint8_t t[PT_COUNT];
    for (int i = 0; i < PT_COUNT; i++) t[i] = QV_Panel_Setting(i);
    snprintf(out_buffer, sizeof out_buffer,
             "hfp %2d  hpw %2d  hbp %2d (HTOT %3d) / vfp %2d  vpw %2d  vbp %2d (VTOT %3d)\r", t[PT_HFP],
             t[PT_HPW], t[PT_HBP], t[PT_HFP] + t[PT_HPW] + t[PT_HBP] + panelConfig.width, t[PT_VFP],
             t[PT_VPW], t[PT_VBP], t[PT_VFP] + t[PT_VPW] + t[PT_VBP] + panelConfig.height);
    txString(out_buffer);
}

// Both diagonals and the diamond through the mid-points of the edges, in screen coordinates
// whatever the drawing origin: a shifted or cut picture shows at once.
static void drawTestPattern(void) {
    const int32_t w = panelConfig.width - 1, h = panelConfig.height - 1;
    GUI_DrawLine(0, 0, w, h);
    GUI_DrawLine(w, 0, 0, h);
    GUI_DrawLine(w / 2, 0, w, h / 2);
    GUI_DrawLine(w, h / 2, w / 2, h);
    GUI_DrawLine(w / 2, h, 0, h / 2);
    GUI_DrawLine(0, h / 2, w / 2, 0);
}

// One key of the dialogue from the main port; a CR taken here is a line the loop will not see.
static uint8_t dialogueKey(void) {
    uint8_t c = waitChar();
    if (c == '\r') decRxGotLine();
    return c;
}

static void stepSetting(int which, int delta) {
    int v = QV_Panel_Setting(which) + delta;
    if (v < 1) v = 1;
    if (v > 200) v = 200;
    QV_Panel_SetSetting(which, (uint8_t)v);
}

static void timingScreen(bool adjust) {
    txString(":\r");
    if (adjust) {
        txString(":Panel Timing Adjustment\r");
        txString(":Use number pad (4=left,6=right,2=down,8=up) for image adjust\r");
    } else {
        txString(":Touch Operation Adjustment\r");
        txString(":Use number pad (4=left,6=right,2=down,1=up) for image adjust\r");
    }
    txString(":Hit w for pulse width, f for front porch b for back porch\r");
    txString(":(return or escape to end, ! to save changes and quit)\r");
    txString("\r");
    sendStatusLine();
    drawTestPattern();
    int h = PT_HBP, v = PT_VBP; // the selected pair
    for (;;) {
        uint8_t c = dialogueKey();
        if (c == 0x1B || c == '\r') return;
        if (c == '!') {
            QV_EEPROM_Save();
            return;
        }
        if (adjust) {
            switch (c) {
            case '4':
                stepSetting(h, -1);
                break;
            case '6':
                stepSetting(h, +1);
                break;
            case '8':
                stepSetting(v, -1);
                break;
            case '2':
                stepSetting(v, +1);
                break;
            case 'b':
                h = PT_HBP, v = PT_VBP;
                break;
            case 'f':
                h = PT_HFP, v = PT_VFP;
                break;
            case 'w':
                h = PT_HPW, v = PT_VPW;
                break;
            default:
                break;
            }
        }
        sendStatusLine();
        setLCDtiming();
    }
}

int cmd_sys_paneladj(char *) {
    timingScreen(true);
    return CMD_OK;
}

int cmd_sys_touchadj(char *) {
    timingScreen(false);
    return CMD_OK;
}
