// The hotspot table and touch event dispatch. handle_touch runs once per main-loop pass: it finds
// the hotspot under the current position and turns changes into events; a typematic hotspot held
// down repeats as a release followed by a fresh press. Macros of events are queued, never run here.
#include "touch/hotspot.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/config_block.h"
#include "base/console.h"
#include "base/parse.h"
#include "board/services/beeper.h"
#include "gfx/font.h"
#include "gfx/gfx_state.h"
#include "gfx/gui.h"
#include "macro/args.h"
#include "macro/macro.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "touch/button.h"
#include "touch/sampler.h"
#include "touch/touch.h"

HotSpot TouchHotSpots[HOTSPOTS];
uint8_t allowPreExistingTouch;

static int previousSpot = -1, currentSpot = -1;
static volatile uint32_t typematicTimer;
uint8_t ignoreTouch, debug_touch;
static uint8_t waitForRelease, waitForNoTouch;
static uint8_t simulateTouch, simulatedDown;
static int32_t cursX = -1, cursY = -1;
static int32_t lastHotAX = -1, lastHotAY = -1, lastHotRX = -1, lastHotRY = -1;

static bool active(const HotSpot &h) {
    return h.type < HS_DISABLED;
}

static bool typematic(const HotSpot &h) {
    return (h.flags2 & HF2_TYPEMATIC) && h.type >= HS_INVERT && h.type <= HS_BUTTON;
}

int QV_SearchHotSpot(int32_t x, int32_t y) {
    if (x == -1 || y == -1) return -1;
    for (int n = 0; n < HOTSPOTS; n++) {
        const HotSpot &h = TouchHotSpots[n];
        if (active(h) && x >= h.x1 && x <= h.x2 && y >= h.y1 && y <= h.y2) return n;
    }
    return -1;
}

int QV_Touch_HotSpot_Unset(int n) {
    if (n < 0 || n >= HOTSPOTS) return 0;
    TouchHotSpots[n] = HotSpot{HS_FREE, 0, 0, 0, 0, 0, 0, 0, 0};
    releaseMacroArgs(n, 0);
    releaseMacroArgs(n, 1);
    return 1;
}

void QV_Touch_HotSpot_Clear(void) {
    for (HotSpot &h : TouchHotSpots) h = HotSpot{HS_FREE, 0, 0, 0, 0, 0, 0, 0, 0};
    clearMacroArgStore();
}

void QV_Touch_HotSpot_Set(int n, int32_t type, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t flags,
                          uint8_t flags2) {
    QV_Touch_HotSpot_Unset(n);
    TouchHotSpots[n] = HotSpot{type, x1, y1, x2, y2, 0, 0, flags, flags2};
    handle_spotNotReleasedWhenDefined(n);
}

// The current position: the simulated one once a simulated touch was given.
static void position(int32_t *x, int32_t *y) {
    if (simulateTouch) {
        *x = simulatedDown ? cursX : -1;
        *y = simulatedDown ? cursY : -1;
    } else {
        QV_GetLocation(x, y);
    }
}

void handle_spotNotReleasedWhenDefined(int n) {
    if (allowPreExistingTouch) {
        previousSpot = -1;
        return;
    }
    int32_t x, y;
    position(&x, &y);
    if (QV_SearchHotSpot(x, y) == n) previousSpot = n;
}

// ---- reports and macros ------------------------------------------------------------------------------

// An event report: the text form, or with binary responses the byte form.
static void report(const char *text, const uint8_t *bytes, int n) {
    if (!binaryResponses) {
        txNotify(text);
    } else if (!rs485Active()) {
        txBinary(bytes, n);
    } else {
        // Held notices are strings: the byte form goes as far as its first zero byte.
        char held[8];
        memcpy(held, bytes, (size_t)n);
        held[n] = 0;
        txNotify(held);
    }
}

static void reportPress(int n, bool coords, int32_t rx, int32_t ry) {
    char text[40];
    if (coords) {
        snprintf(text, sizeof text, "x%d %d %d\r", n, (int)rx, (int)ry);
        const uint8_t b[6] = {'Y',         (uint8_t)n,        (uint8_t)rx, (uint8_t)(rx >> 8),
                              (uint8_t)ry, (uint8_t)(ry >> 8)};
        report(text, b, 6);
    } else {
        snprintf(text, sizeof text, "x%d\r", n);
        const uint8_t b[2] = {'X', (uint8_t)n};
        report(text, b, 2);
    }
}

static void reportRelease(int n) {
    char text[16];
    snprintf(text, sizeof text, "r%d\r", n);
    const uint8_t b[2] = {'R', (uint8_t)n};
    report(text, b, 2);
}

static void reportToggle(int n, int state) {
    char text[16];
    snprintf(text, sizeof text, "s%d %d\r", n, state);
    const uint8_t b[3] = {'S', (uint8_t)n, (uint8_t)state};
    report(text, b, 3);
}

// Queues macro k of hotspot n for one event (kind 0 press, 1 release), entered at its label.
static void queueMacro(int k, int n, int kind, int labelEvent) {
    if (!k) return;
    setQueuedMacroLabel(n, labelEvent);
    const char *args = getMacroArgs(n, kind);
    scheduleMacro(k, args ? args : "");
}

void setQueuedMacroLabel(int id, int event) {
    macroQueuedLabel[0] = 0;
    if (id < 0 || id >= HOTSPOTS) return;
    const HotSpot &h = TouchHotSpots[id];
    int32_t type = h.type;
    if (type >= HS_INVERT && type <= HS_BUTTON) {
        if (event == 1 && (h.flags2 & HF2_LABEL_FIRST))
            snprintf(macroQueuedLabel, sizeof macroQueuedLabel, ":x%d", id);
        else if (h.flags2 & HF2_LABEL_SECOND)
            snprintf(macroQueuedLabel, sizeof macroQueuedLabel, ":r%d", id);
    } else if (type == HS_TOGGLE && id < BUTTON_SPOTS) {
        if ((event == 0 && (h.flags2 & HF2_LABEL_FIRST)) || (event == 1 && (h.flags2 & HF2_LABEL_SECOND)))
            snprintf(macroQueuedLabel, sizeof macroQueuedLabel, ":s%d_%d", id, buttonInfo[id].state);
    }
}

int checkQueuedMacroLabel(int id, const char *label, int kind) {
    if (id < 0 || id >= HOTSPOTS) return 0;
    HotSpot &h = TouchHotSpots[id];
    char expected[24];
    uint8_t flag;
    if (h.type >= HS_INVERT && h.type <= HS_BUTTON) {
        snprintf(expected, sizeof expected, kind == 1 ? ":x%d" : ":r%d", id);
        flag = kind == 1 ? HF2_LABEL_FIRST : HF2_LABEL_SECOND;
    } else if (h.type == HS_TOGGLE) {
        snprintf(expected, sizeof expected, ":s%d_%d", id, kind);
        flag = kind == 1 ? HF2_LABEL_FIRST : HF2_LABEL_SECOND;
    } else {
        pout(":no macro label support for hotspot type %d\r", (int)h.type);
        return 0;
    }
    if (strncmp(label, expected, strlen(expected)) != 0) {
        pout(":xm label should be %s\r", expected);
        return 0;
    }
    h.flags2 |= flag;
    return 1;
}

// ---- dispatch -------------------------------------------------------------------------------------

void updateSpot(int pressed, int n, int report, int32_t x, int32_t y, int quiet) {
    if (n < 0 || n >= HOTSPOTS) return;
    HotSpot &h = TouchHotSpots[n];
    if (n >= BUTTON_SPOTS && h.type != HS_INVERT && h.type != HS_AREA) return;
    // Sliders are not part of the table yet: every hotspot takes the plain path.
    GUI_CONTEXT saved;
    GUI_SaveContext_M(&saved);
    if (pressed && report && (h.flags & HF_CLICK) && (!(h.flags & HF_NO_REPEAT_CLICK) || !typematicTimer))
        keyClick();
    switch (h.type) {
    case HS_INVERT:
        GUI_SetDrawMode(GUI_DRAWMODE_XOR);
        GUI_FillRect(h.x1, h.y1, h.x2, h.y2);
        break;
    case HS_AREA:
        break;
    case HS_BUTTON:
        buttonInfo[n].state = (uint8_t)pressed;
        QV_Button_Draw(n, report);
        break;
    case HS_TOGGLE: {
        if (pressed) {
            uint8_t state = buttonInfo[n].state >= 1 ? 0 : 1;
            buttonInfo[n].state = state;
            QV_Button_Draw(n, report);
            if (report && (h.flags & HF_REPORTS)) reportToggle(n, state);
            if (!quiet) queueMacro(state ? h.pressMacro : h.releaseMacro, n, state ? 0 : 1, state ? 0 : 1);
        }
        GUI_RestoreContext(&saved);
        return;
    }
    default:
        GUI_RestoreContext(&saved);
        return;
    }
    GUI_RestoreContext(&saved);
    if (!report) return;
    if (pressed) {
        if ((h.flags & HF_REPORTS) && (h.flags & HF_REPORT_PRESS) && !waitForRelease) {
            lastHotAX = x;
            lastHotAY = y;
            lastHotRX = x - h.x1;
            lastHotRY = y - h.y1;
            reportPress(n, (h.flags & HF_COORDS) != 0, lastHotRX, lastHotRY);
            waitForRelease = 1;
        }
        if (!quiet) queueMacro(h.pressMacro, n, 0, 1);
    } else {
        if ((h.flags & HF_REPORTS) && (h.flags & HF_REPORT_RELEASE)) reportRelease(n);
        if (!quiet) queueMacro(h.releaseMacro, n, 1, 0);
        waitForRelease = 0;
    }
}

void ButtonTimer(void) {
    if (typematicTimer) typematicTimer = typematicTimer - 1;
}

void handle_touch(void) {
    if (ignoreTouch) return;
    int32_t x, y;
    position(&x, &y);
    bool touched = !(x == -1 && y == -1);
    if (debug_touch && touched) {
        GUI_DrawLine(x - 5, y - 5, x + 5, y + 5);
        GUI_DrawLine(x - 5, y + 5, x + 5, y - 5);
        if (debug_touch == 2) {
            char text[40];
            snprintf(text, sizeof text, "Pmin %5d; Pmax %5d", pMin, pMax);
            GUI_DispStringAt(text, 0, 0);
        }
    }
    if (waitForNoTouch) {
        if (touched) return;
        waitForNoTouch = 0;
    }
    int spot = QV_SearchHotSpot(x, y);
    if (!touched)
        waitForRelease = 0;
    else if (spot == -1)
        return;
    currentSpot = spot;
    int prev = previousSpot;
    if (spot == prev) {
        if (spot >= 0 && typematic(TouchHotSpots[spot]) && typematicTimer == 0) {
            updateSpot(0, spot, 1, x, y, 0);
            typematicTimer = eepromData[CFG_TYPEMATIC_REPEAT] * 10u;
            previousSpot = -1;
        }
        return;
    }
    if (prev >= 0 && (TouchHotSpots[prev].flags2 & HF2_HELD)) {
        updateSpot(0, prev, 1, x, y, 0);
        TouchHotSpots[prev].flags2 &= (uint8_t)~HF2_HELD;
    }
    updateSpot(1, spot, 1, x, y, 0);
    if (spot >= 0) {
        TouchHotSpots[spot].flags2 |= HF2_HELD;
        if (typematic(TouchHotSpots[spot]) && typematicTimer == 0)
            typematicTimer = eepromData[CFG_TYPEMATIC_DELAY] * 10u;
    }
    if (prev >= 0 && typematic(TouchHotSpots[prev])) typematicTimer = 0;
    previousSpot = spot;
}

bool macroTouchRelative(int32_t *x, int32_t *y) {
    if (lastHotRX == -1 && lastHotRY == -1) return false;
    *x = lastHotRX;
    *y = lastHotRY;
    return true;
}

bool macroTouchAbsolute(int32_t *x, int32_t *y) {
    if (lastHotAX == -1 && lastHotAY == -1) return false;
    *x = lastHotAX;
    *y = lastHotAY;
    return true;
}

// ---- commands ----------------------------------------------------------------------------------------

// "x", "xs" ... : a touch area 128..255 with its flags, coordinates from the origin.
static int defineArea(const char *line, int32_t type, uint8_t flags, uint8_t flags2) {
    int n, x1, y1, x2, y2;
    const char *p = strchr(line, ' ');
    if (!p || sscanf(p, "%d %d %d %d %d", &n, &x1, &y1, &x2, &y2) != 5) return CMD_FAIL;
    if (n < BUTTON_SPOTS || n >= HOTSPOTS) return CMD_FAIL;
    QV_Touch_HotSpot_Set(n, type, x1 + Origin_X, y1 + Origin_Y, x2 + Origin_X, y2 + Origin_Y, flags, flags2);
    return CMD_OK;
}

static constexpr uint8_t AREA_FLAGS = HF_REPORT_PRESS | HF_REPORTS;

int cmd_x(char *line) {
    return defineArea(line, HS_INVERT, (uint8_t)(AREA_FLAGS | HF_CLICK), 0);
}
int cmd_xs(char *line) {
    return defineArea(line, HS_AREA, (uint8_t)(AREA_FLAGS | HF_CLICK), 0);
}
int cmd_xsnb(char *line) {
    return defineArea(line, HS_AREA, AREA_FLAGS, 0);
}
int cmd_xt(char *line) {
    return defineArea(line, HS_INVERT, (uint8_t)(AREA_FLAGS | HF_CLICK), HF2_TYPEMATIC);
}
int cmd_xst(char *line) {
    return defineArea(line, HS_AREA, (uint8_t)(AREA_FLAGS | HF_CLICK | HF_NO_REPEAT_CLICK), HF2_TYPEMATIC);
}
int cmd_xxy(char *line) {
    return defineArea(line, HS_AREA, (uint8_t)(AREA_FLAGS | HF_CLICK | HF_COORDS), 0);
}
int cmd_xxynb(char *line) {
    return defineArea(line, HS_AREA, (uint8_t)(AREA_FLAGS | HF_COORDS), 0);
}

int cmd_xset(char *line) {
    int n;
    char c1 = 0, c2 = 0;
    if (sscanf(line, "xset %d %c%c", &n, &c1, &c2) < 2 || n < 0 || n >= HOTSPOTS) return CMD_FAIL;
    HotSpot &h = TouchHotSpots[n];
    if (h.type == HS_FREE) return CMD_FAIL;
    bool set = c1 != '-';
    char letter = (c1 == '+' || c1 == '-') ? c2 : c1;
    uint8_t *field = &h.flags;
    uint8_t bit;
    switch (letter) {
    case 'p':
        bit = HF_REPORT_PRESS;
        break;
    case 'r':
        bit = HF_REPORT_RELEASE;
        break;
    case 'x':
        if (n < BUTTON_SPOTS) return CMD_FAIL;
        bit = HF_COORDS;
        break;
    case 't':
        field = &h.flags2;
        bit = HF2_TYPEMATIC;
        break;
    case 'T':
        bit = HF_NO_REPEAT_CLICK;
        break;
    case 'b':
        bit = HF_CLICK;
        break;
    default:
        return CMD_FAIL;
    }
    if (set)
        *field |= bit;
    else
        *field &= (uint8_t)~bit;
    return CMD_OK;
}

// The range of "xd" / "xe": "n", "n m" or "all"; false when the line gives none.
static bool spotRange(const char *args, int *first, int *last) {
    args = skipLeadingWhitespace((char *)args);
    if (!strncmp(args, "all", 3)) {
        *first = 0;
        *last = HOTSPOTS - 1;
        return true;
    }
    int got = sscanf(args, "%d %d", first, last);
    if (got < 1 || *first < 0 || *first >= HOTSPOTS) return false;
    if (got == 1) *last = *first;
    return true;
}

int cmd_xd(char *line) {
    int first, last;
    if (!spotRange(line + 2, &first, &last)) return CMD_FAIL;
    for (int n = first; n <= last; n++) {
        if (n >= HOTSPOTS) return CMD_FAIL;
        if (active(TouchHotSpots[n])) TouchHotSpots[n].type += HS_DISABLED;
    }
    return CMD_OK;
}

int cmd_xe(char *line) {
    bool quiet = line[2] == 's';
    int first, last;
    if (!spotRange(line + (quiet ? 3 : 2), &first, &last)) return CMD_FAIL;
    for (int n = first; n <= last; n++)
        if (!buttonReEnable(n, quiet)) return CMD_FAIL;
    return CMD_OK;
}

int cmd_xc(char *line) {
    int n;
    if (sscanf(line, "xc %d", &n) != 1) return CMD_FAIL;
    if (n < BUTTON_SPOTS || n >= HOTSPOTS) {
        pout(":touch index must be %d to %d\r", BUTTON_SPOTS, HOTSPOTS - 1);
        return CMD_FAIL;
    }
    QV_Touch_HotSpot_Unset(n);
    return CMD_OK;
}

int cmd_xc_all(char *) {
    QV_Touch_HotSpot_Clear();
    return CMD_OK;
}

// Reports on (xm/xa) or off (xmq/xaq) for hotspot n.
static void setReports(HotSpot &h, bool on) {
    if (on)
        h.flags |= HF_REPORTS;
    else
        h.flags &= (uint8_t)~HF_REPORTS;
}

// A macro given by name or number, optionally with ":label"; *k = 0 for "0". Splits off the rest.
static bool macroArgument(char **p, int *k, char *label, char **rest) {
    label[0] = 0;
    if (formatMacroNameString(p, rest)) {
        char *l = *rest, *e = l;
        while (*e && *e != ' ' && *e != '\t') e++;
        size_t len = (size_t)(e - l);
        if (len > MACRO_LABEL_MAX) len = MACRO_LABEL_MAX;
        memcpy(label, l, len);
        label[len] = 0;
        *rest = *e ? e + 1 : e;
    }
    if (!strcmp(*p, "0")) {
        *k = 0;
        return true;
    }
    return convertStringtoIndexMacro(*p, k) && *k > 0;
}

int cmd_xa(char *line) {
    if (!strcmp(line, "xa")) {
        snprintf(out_buffer, sizeof out_buffer, "%d\r", getMacroArgBytesAvailable());
        txString(out_buffer);
        return CMD_OK;
    }
    bool quiet = line[2] == 'q';
    char *p = line + (quiet ? 3 : 2);
    int n, used;
    char event;
    if (sscanf(p, "%d %c%n", &n, &event, &used) != 2 || n < 0 || n >= HOTSPOTS) return CMD_FAIL;
    p += used;
    bool press = event == 'p' || event == '1';
    char label[MACRO_LABEL_MAX + 1], *rest;
    int k;
    if (!macroArgument(&p, &k, label, &rest)) return CMD_FAIL;
    HotSpot &h = TouchHotSpots[n];
    if (label[0] && !checkQueuedMacroLabel(n, label, press ? 1 : 0)) return CMD_FAIL;
    if (k && !assignMacroArgs(n, press ? 0 : 1, rest)) return CMD_FAIL;
    (press ? h.pressMacro : h.releaseMacro) = (uint8_t)k;
    if (!k) releaseMacroArgs(n, press ? 0 : 1);
    setReports(h, !quiet);
    return CMD_OK;
}

int cmd_xm(char *line) {
    bool quiet = line[2] == 'q';
    char *p = line + (quiet ? 3 : 2);
    char *end;
    long n = strtol(p, &end, 10);
    if (end == p || n < 0 || n >= HOTSPOTS) return CMD_FAIL;
    HotSpot &h = TouchHotSpots[n];
    if (h.type == HS_FREE) return CMD_FAIL;
    p = end;
    char label[MACRO_LABEL_MAX + 1], *rest;
    int press, release = 0;
    if (!macroArgument(&p, &press, label, &rest)) return CMD_FAIL;
    if (label[0] && !checkQueuedMacroLabel((int)n, label, 1)) return CMD_FAIL;
    p = skipLeadingWhitespace(rest);
    if (*p) {
        char label2[MACRO_LABEL_MAX + 1];
        if (!macroArgument(&p, &release, label2, &rest)) return CMD_FAIL;
        if (label2[0] && !checkQueuedMacroLabel((int)n, label2, 0)) return CMD_FAIL;
    }
    if (!press) {
        h.pressMacro = h.releaseMacro = 0;
        setReports(h, true);
        return CMD_OK;
    }
    h.pressMacro = (uint8_t)press;
    h.releaseMacro = (uint8_t)release;
    setReports(h, !quiet);
    return CMD_OK;
}

int cmd_touch(char *line) {
    char *p = skipLeadingWhitespace(line + 5);
    if (!strncmp(p, "on", 2)) {
        ignoreTouch = 0;
        if (!allowPreExistingTouch) waitForNoTouch = 1;
    } else if (!strncmp(p, "off", 3)) {
        ignoreTouch = 1;
    } else {
        txString(ignoreTouch ? "touch off\r" : "touch on\r");
    }
    return CMD_OK;
}

int cmd_sys_apt(char *) {
    allowPreExistingTouch = 1;
    return CMD_OK;
}

int cmd_sys_xn_off(char *) {
    for (HotSpot &h : TouchHotSpots) h.flags &= (uint8_t)~HF_REPORTS;
    return CMD_OK;
}

int cmd_sys_tsm(char *line) {
    int x, y;
    switch (line[4]) {
    case 'p':
        if (sscanf(line + 5, "%d %d", &x, &y) != 2) return CMD_FAIL;
        simulateTouch = simulatedDown = 1;
        cursX = x;
        cursY = y;
        return CMD_OK;
    case 'm':
        if (sscanf(line + 5, "%d %d", &x, &y) != 2) return CMD_OK;
        if (simulateTouch && simulatedDown) return CMD_FAIL;
        simulateTouch = simulatedDown = 1;
        cursX = x;
        cursY = y;
        handle_touch();
        simulatedDown = 0;
        return CMD_OK;
    case 't':
        if (!(simulateTouch && simulatedDown)) return CMD_OK;
        simulatedDown = 0;
        handle_touch();
        simulatedDown = 1;
        return CMD_OK;
    case 'r':
        if (!(simulateTouch && simulatedDown)) return CMD_FAIL;
        simulatedDown = 0;
        return CMD_OK;
    default:
        return CMD_FAIL;
    }
}

int cmd_sys_debug(char *line) {
    int n;
    if (sscanf(line, "*debug %d", &n) != 1) return CMD_FAIL;
    debug_touch = (uint8_t)n;
    if (n == 2) {
        txString(":Display pressure option; font set to m10\r");
        GUI_SetFont(&GUI_FontMono10AA4);
    }
    return CMD_OK;
}

int cmd_typematic(char *line) {
    bool noSave = line[9] == 's';
    int delay, repeat;
    if (sscanf(line + (noSave ? 10 : 9), "%d %d", &delay, &repeat) == 2) {
        if (delay < 0 || repeat < 0 || delay > 255 || repeat > 255) return CMD_FAIL;
        eepromData[CFG_TYPEMATIC_DELAY] = (uint8_t)delay;
        eepromData[CFG_TYPEMATIC_REPEAT] = (uint8_t)repeat;
        if (!noSave) QV_EEPROM_Save();
    }
    snprintf(out_buffer, sizeof out_buffer, "Delay %dms, Repeat %dms\r", eepromData[CFG_TYPEMATIC_DELAY] * 10,
             eepromData[CFG_TYPEMATIC_REPEAT] * 10);
    txString(out_buffer);
    return CMD_OK;
}
