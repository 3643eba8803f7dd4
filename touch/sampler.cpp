// Touch sampling. The 1 ms tick runs one step of the sampler: it takes one X/Y/Z set per call,
// throws a burst away when its readings spread too far or its pressure leaves the window, and
// publishes the burst's average. The main loop converts the published raw pair to screen pixels.
#include "touch/sampler.h"

#include <stdio.h>
#include <string.h>

#include "base/config_block.h"
#include "base/console.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "settings/settings.h"
#include "touch/touch.h"

volatile TouchState State = {-1, -1, 0};
int32_t calLogX[TOUCH_POINTS], calLogY[TOUCH_POINTS], calPhyX[TOUCH_POINTS], calPhyY[TOUCH_POINTS];
volatile uint8_t calibratingTouch;
volatile uint16_t lastPress, pMin = 0xFFFF, pMax;
volatile int32_t stateX, stateY;

enum { ST_IDLE = 0, ST_BURST = 2, ST_SAMPLE = 3, ST_HOLD = 5, ST_OFF = 6 };
enum { MODE_L = 1, MODE_P = 2, MODE_W = 4 };

static volatile int tState;
static uint8_t touchActive, everTouched;
static uint32_t samples, sumX, sumY, timer;
static uint16_t xMin, xMax, yMin, yMax;

static int32_t ttraceData[TTRACE_SIZE][3];
static int ttraceIndex;

// ---- converter readings ---------------------------------------------------------------------

enum : uint8_t {
    TC_X_SETTLE = 0xD3,
    TC_X = 0xD2,
    TC_Y_SETTLE = 0x93,
    TC_Y = 0x92,
    TC_Z1 = 0xBA,
    TC_Z2 = 0xCA,
};

// The 12-bit conversion rounded to 10 bits.
static uint16_t read10(uint8_t command) {
    uint16_t v = (uint16_t)((bsp_touch_convert(command) + 2) >> 2);
    return v > 1023 ? 1023 : v;
}

uint16_t touchReadX(void) {
    return read10(TC_X);
}
uint16_t touchReadY(void) {
    return read10(TC_Y);
}
uint16_t touchReadXSettled(void) {
    bsp_touch_convert(TC_X_SETTLE);
    return read10(TC_X);
}
uint16_t touchReadYSettled(void) {
    bsp_touch_convert(TC_Y_SETTLE);
    return read10(TC_Y);
}

void touchReadZ(uint16_t *z1, uint16_t *z2) {
    *z1 = read10(TC_Z1);
    *z2 = read10(TC_Z2);
}

// Smaller is firmer. Unsigned 32-bit as on the board: a Z2 below Z1 wraps to a huge value that
// every pressure window refuses.
uint32_t touchPressure(uint32_t x, uint32_t y, uint32_t z1, uint32_t z2) {
    return (y * 130) / 1024 + x * ((z2 * 256) / z1 - 256) / 1024;
}

// ---- the sampler ------------------------------------------------------------------------------

static void invalidate(void) {
    State.raw1 = -1;
    State.raw2 = -1;
    State.valid = 0;
}

static void newBurst(void) {
    pMin = 0xFFFF;
    pMax = 0;
    xMin = yMin = 0xFFFF;
    xMax = yMax = 0;
    sumX = sumY = 0;
    samples = 0;
    tState = ST_SAMPLE;
}

static int32_t absDiff(int32_t a, int32_t b) {
    return a > b ? a - b : b - a;
}

static void publish(uint16_t aX, uint16_t aY, uint32_t p) {
    uint8_t mode = eepromData[CFG_TOUCH_MODE];
    if (!((mode & MODE_L) && touchActive)) {
        touchActive = 1;
        lastPress = (uint16_t)p;
        stateX = aX;
        stateY = aY;
        State.valid = 1;
        if (!calibratingTouch && eepromData[CFG_TOUCH_SWAP]) {
            State.raw1 = aX;
            State.raw2 = aY;
        } else {
            State.raw1 = aY;
            State.raw2 = aX;
        }
    }
    if ((mode & MODE_W) && touchActive && (absDiff(aX, stateX) >= 31 || absDiff(aY, stateY) >= 31))
        invalidate();
}

static void sampleStep(void) {
    if (!bsp_touch_pen_down()) {
        tState = ST_IDLE;
        return;
    }
    uint16_t x = touchReadXSettled(), y = touchReadYSettled();
    if (x == 0xFFFF || y == 0xFFFF) {
        tState = ST_IDLE;
        return;
    }
    uint16_t z1 = read10(TC_Z1), z2 = read10(TC_Z2);
    if (z1 == 0xFFFF || z2 == 0xFFFF || z1 == 0) { // no current through the panel: no touch
        tState = ST_IDLE;
        return;
    }
    uint32_t p = touchPressure(x, y, z1, z2);
    if ((eepromData[CFG_TOUCH_MODE] & MODE_P) && (p < cfgU16(CFG_TPLO) || p > cfgU16(CFG_TPHI))) {
        tState = ST_IDLE;
        return;
    }
    if (x < xMin) xMin = x;
    if (x > xMax) xMax = x;
    if (y < yMin) yMin = y;
    if (y > yMax) yMax = y;
    if (p < pMin) pMin = (uint16_t)p;
    if (p > pMax) pMax = (uint16_t)p;
    uint8_t span = eepromData[CFG_TSPAN];
    if (xMax - xMin > span || yMax - yMin > span) {
        tState = ST_IDLE;
        return;
    }
    sumX += x;
    sumY += y;
    samples++;
    if (samples < eepromData[CFG_TSAMP]) return;
    publish((uint16_t)(sumX / samples), (uint16_t)(sumY / samples), p);
    int32_t sx = touchReadXSettled(), sy = touchReadYSettled();
    convToScreenXY(&sx, &sy);
    if (isXYinSlider(sx, sy)) {
        tState = ST_BURST;
        return;
    }
    timer = calibratingTouch ? 10 : cfgU32(CFG_DEBOUNCE);
    tState = ST_HOLD;
}

void QV_Update_Touch(void) {
    switch (tState) {
    case ST_IDLE:
        if (bsp_touch_pen_down()) {
            tState = ST_BURST;
            everTouched = 1;
        } else {
            invalidate();
            touchActive = 0;
        }
        break;
    case ST_BURST:
        newBurst();
        sampleStep();
        break;
    case ST_SAMPLE:
        sampleStep();
        break;
    case ST_HOLD:
        if (timer == 0)
            tState = ST_IDLE;
        else
            timer--;
        break;
    default:
        break;
    }
}

void enableTouch(int on) {
    tState = on ? ST_IDLE : ST_OFF;
}

int GetPenState(void) {
    return bsp_touch_pen_down() ? 1 : 0;
}

// ---- transform ----------------------------------------------------------------------------------

// num / den, or num itself when den is 0.
static int32_t divOr(int32_t num, int32_t den) {
    return den ? num / den : num;
}

int32_t ADC2X(int32_t p, int32_t q) {
    const int32_t *P = calPhyX, *Q = calPhyY;
    int32_t xL = P[1] + divOr((P[4] - P[1]) * (q - Q[1]), Q[4] - Q[1]);
    int32_t xR = P[2] + divOr((P[3] - P[2]) * (q - Q[2]), Q[3] - Q[2]);
    return calLogX[1] + divOr((calLogX[2] - calLogX[1]) * (p - xL), xR - xL);
}

int32_t ADC2Y(int32_t p, int32_t q) {
    const int32_t *P = calPhyX, *Q = calPhyY;
    int32_t yT = Q[1] + divOr((Q[2] - Q[1]) * (p - P[1]), P[2] - P[1]);
    int32_t yB = Q[4] + divOr((Q[3] - Q[4]) * (p - P[4]), P[3] - P[4]);
    return calLogY[1] + divOr((calLogY[4] - calLogY[1]) * (q - yT), yB - yT);
}

void convToScreenXY(int32_t *chX, int32_t *chY) {
    int32_t p = eepromData[CFG_TOUCH_SWAP] ? *chX : *chY;
    int32_t q = eepromData[CFG_TOUCH_SWAP] ? *chY : *chX;
    *chX = ADC2X(p, q);
    *chY = ADC2Y(p, q);
}

void QV_Touch_Get_State(uint8_t *valid, int32_t *raw1, int32_t *raw2) {
    if (valid) *valid = State.valid;
    if (raw1) *raw1 = State.raw1;
    if (raw2) *raw2 = State.raw2;
}

void QV_GetLocation(int32_t *x, int32_t *y) {
    if (!x || !y) return;
    *x = -1;
    *y = -1;
    if (!State.valid) return;
    int32_t p = State.raw1, q = State.raw2;
    *x = ADC2X(p, q);
    *y = ADC2Y(p, q);
}

int QV_Touch_Calibrate(const int16_t logX[5], const int16_t logY[5], const int16_t phyX[5],
                       const int16_t phyY[5]) {
    for (int i = 0; i < TOUCH_POINTS; i++) {
        calLogX[i] = logX[i];
        calLogY[i] = logY[i];
        calPhyX[i] = phyX[i];
        calPhyY[i] = phyY[i];
    }
    return 1;
}

// The stored order: five logical x, five raw x, five logical y, five raw y.
static void calibrateFrom(const int16_t cal[4 * TOUCH_POINTS]) {
    QV_Touch_Calibrate(cal, cal + 2 * TOUCH_POINTS, cal + TOUCH_POINTS, cal + 3 * TOUCH_POINTS);
}

void QV_Touch_Calibrate_Default(void) {
    int16_t cal[4 * TOUCH_POINTS];
    QV_EEPROM_DefaultCalibration(cal);
    calibrateFrom(cal);
}

void QV_Touch_Calibrate_from_EEPROM(void) {
    int16_t cal[4 * TOUCH_POINTS];
    for (int i = 0; i < 4 * TOUCH_POINTS; i++) cal[i] = (int16_t)cfgU16((uint16_t)(CFG_CAL_LOG_X + 2 * i));
    calibrateFrom(cal);
}

void QV_Touch_Info(uint16_t *press, uint16_t *min, uint16_t *max, int *state) {
    if (press) *press = lastPress;
    if (min) *min = pMin;
    if (max) *max = pMax;
    if (state) *state = tState;
}

int QV_Touch_ever(void) {
    return everTouched;
}
void QV_Touch_ever_reset(void) {
    everTouched = 0;
}

void ttrace(int32_t a, int32_t b, int32_t c) {
    if (ttraceIndex >= TTRACE_SIZE) return;
    ttraceData[ttraceIndex][0] = a;
    ttraceData[ttraceIndex][1] = b;
    ttraceData[ttraceIndex][2] = c;
    ttraceIndex++;
}

void QV_Touch_Init(void) {
    QV_Touch_HotSpot_Clear();
    InitTouch();
    touchReadX();
    touchReadY();
    if (eepromData[CFG_TSPAN] < 4) {
        eepromData[CFG_TSPAN] = 12;
        pout(":tspan too low!! Set to default (12)\r");
    }
    QV_Touch_Calibrate_from_EEPROM();
    everTouched = 0;
    invalidate();
    tState = ST_IDLE;
}

// ---- commands -----------------------------------------------------------------------------------

// The number after the keyword of `len` characters, if there is one.
static bool argument(const char *line, int len, int32_t *value) {
    int v; // %d stores an int, which int32_t is not on every C library
    if (sscanf(line + len, "%d", &v) != 1) return false;
    *value = v;
    return true;
}

static void replyNumber(int32_t v) {
    snprintf(out_buffer, sizeof out_buffer, "%d\r", (int)v);
    txString(out_buffer);
}

// A single-byte setting: stored (truncated) and saved, or reported.
static int byteSetting(const char *line, int len, uint16_t offset) {
    int32_t v;
    if (!argument(line, len, &v)) {
        replyNumber(eepromData[offset]);
        return CMD_OK;
    }
    eepromData[offset] = (uint8_t)v;
    QV_EEPROM_Save();
    return CMD_OK;
}

static int wordSetting(const char *line, int len, uint16_t offset) {
    int32_t v;
    if (!argument(line, len, &v)) {
        replyNumber(cfgU16(offset));
        return CMD_OK;
    }
    cfgSetU16(offset, (uint16_t)v);
    QV_EEPROM_Save();
    return CMD_OK;
}

int cmd_sys_touchParm(char *line) {
    int n, span;
    if (sscanf(line + 10, "%d %d", &n, &span) == 2) {
        if (n < 0 || span < 0 || n > 20 || span > 20) {
            txString(":Values too high\r");
            return CMD_FAIL;
        }
        eepromData[CFG_TSAMP] = (uint8_t)n;
        eepromData[CFG_TSPAN] = (uint8_t)span;
        QV_EEPROM_Save();
    }
    snprintf(out_buffer, sizeof out_buffer, ":Samples = %d, Max span = %d\r", eepromData[CFG_TSAMP],
             eepromData[CFG_TSPAN]);
    txString(out_buffer);
    return CMD_OK;
}

int cmd_sys_tsamp(char *line) {
    return byteSetting(line, 6, CFG_TSAMP);
}
int cmd_sys_tspan(char *line) {
    return byteSetting(line, 6, CFG_TSPAN);
}
int cmd_sys_tplo(char *line) {
    return wordSetting(line, 5, CFG_TPLO);
}
int cmd_sys_tphi(char *line) {
    return wordSetting(line, 5, CFG_TPHI);
}
int cmd_sys_tpDeltaLim(char *line) {
    return byteSetting(line, 11, CFG_TP_DELTA_LIM);
}
int cmd_sys_tcTimeout(char *line) {
    return byteSetting(line, 10, CFG_TC_TIMEOUT);
}

int cmd_sys_debounce(char *line) {
    int32_t v;
    if (argument(line, 9, &v)) {
        cfgSetU32(CFG_DEBOUNCE, (uint32_t)v);
        QV_EEPROM_Save();
    }
    snprintf(out_buffer, sizeof out_buffer, "Debounce = %dms\r", (int)cfgU32(CFG_DEBOUNCE));
    txString(out_buffer);
    return CMD_OK;
}

int cmd_sys_touchMode(char *line) {
    bool noSave = line[10] == 's';
    char *p = skipLeadingWhitespace(line + (noSave ? 11 : 10));
    if (!*p) {
        uint8_t m = eepromData[CFG_TOUCH_MODE];
        snprintf(out_buffer, sizeof out_buffer, "%c%c%c%c (%d)\r", m ? '-' : 'S', (m & MODE_L) ? 'L' : '-',
                 (m & MODE_P) ? 'P' : '-', (m & MODE_W) ? 'W' : '-', m);
        txString(out_buffer);
        return CMD_OK;
    }
    int v;
    uint8_t mode;
    if (sscanf(p, "%d", &v) == 1) {
        mode = (uint8_t)v;
    } else {
        mode = eepromData[CFG_TOUCH_MODE];
        bool clear = false;
        for (int i = 0; i < 8 && p[i] && p[i] != ' '; i++) {
            if (p[i] == 'P') mode |= MODE_P;
            if (p[i] == 'L') mode |= MODE_L;
            if (p[i] == 'W') mode |= MODE_W;
            if (p[i] == 'S') clear = true;
        }
        if (clear) mode = 0;
    }
    eepromData[CFG_TOUCH_MODE] = mode;
    if (!noSave) QV_EEPROM_Save();
    return CMD_OK;
}

int cmd_sys_touchSwap(char *line) {
    int32_t v;
    if (!argument(line, 10, &v)) {
        replyNumber(eepromData[CFG_TOUCH_SWAP]);
        return CMD_OK;
    }
    eepromData[CFG_TOUCH_SWAP] = v != 0;
    QV_EEPROM_Save();
    return CMD_OK;
}

int cmd_sys_autoCal(char *line) {
    int32_t v;
    if (!argument(line, 8, &v)) {
        replyNumber(eepromData[CFG_AUTOCAL] == CFG_ENABLED);
        return CMD_OK;
    }
    eepromData[CFG_AUTOCAL] = v ? CFG_ENABLED : CFG_UNSET;
    QV_EEPROM_Save();
    return CMD_OK;
}

int cmd_sys_QV(char *) {
    QV_Touch_Calibrate_Default();
    return CMD_OK;
}

int cmd_sys_getTouch(char *) {
    int x = touchReadX(), y = touchReadY();
    snprintf(out_buffer, sizeof out_buffer, "X=%d, Y=%d\r", x, y);
    txString(out_buffer);
    return CMD_OK;
}

int cmd_sys_ever(char *) {
    if (QV_Touch_ever()) {
        txString("touched\r");
        QV_Touch_ever_reset();
    }
    return CMD_OK;
}

int cmd_tclr(char *) {
    ttraceIndex = 0;
    return CMD_OK;
}

int cmd_sys_tt(char *) {
    for (int i = 0; i < ttraceIndex; i++) {
        snprintf(out_buffer, sizeof out_buffer, "t %3d %3d %d\r", (int)ttraceData[i][0],
                 (int)ttraceData[i][1], (int)ttraceData[i][2]);
        txString(out_buffer);
    }
    ttraceIndex = 0;
    return CMD_OK;
}
