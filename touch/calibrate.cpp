// Touch calibration: five targets measured with the default transform, the panel's orientation
// found from them (touchSwap), four numbered circles to prove the new transform, a pressure check
// when pressure mode is on, and the tables saved. A time-out anywhere leaves the stored calibration,
// touchSwap and touchMode as they were.
//
// The target positions are the build's default logical calibration points, so that every mark lies
// on the screen of the build (the 640-pixel build has its right marks at x = 619).
#include "touch/calibrate.h"

#include <stdio.h>
#include <stdlib.h>

#include "base/config_block.h"
#include "base/console.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/services/beeper.h"
#include "board/services/timer.h"
#include "gfx/font.h"
#include "gfx/gfx_state.h"
#include "gfx/gui.h"
#include "settings/settings.h"
#include "touch/hotspot.h"
#include "touch/sampler.h"
#include "touch/touch.h"

enum : GUI_COLOR { BLACK = 0x000000, WHITE = 0xFFFFFF, RED = 0x0000FF };
enum { HIT_RANGE = 12, MODE_P = 2 };

static int32_t prMin[4], prMax[4];

// ---- drawing ----------------------------------------------------------------------------------------

static int32_t centreX(void) {
    return LCD_GetXSize() / 2;
}

static void whiteScreen(void) {
    GUI_SetBkColor(WHITE);
    GUI_SetColor(BLACK);
    GUI_Clear();
}

// Black text on white, centred on (x, y) both ways; "\n" starts a new line.
static void message(const char *text, int32_t x, int32_t y) {
    GUI_SetFont(&GUI_Font16B_1);
    GUI_SetColor(BLACK);
    GUI_SetBkColor(WHITE);
    const int32_t w = LCD_GetXSize();
    GUI_RECT r = {x - w, y - 60, x + w, y + 60};
    GUI_DispStringInRect(text, &r, GUI_TA_HCENTER | GUI_TA_VCENTER);
}

// "(Timeout in NN seconds) ", redrawn only when the number changes.
static void countdown(int *shown) {
    int s = (int)(gpTimer / 1000) + 1;
    if (s == *shown) return;
    *shown = s;
    char text[40];
    snprintf(text, sizeof text, "(Timeout in %2d seconds) ", s);
    message(text, centreX(), 300);
}

static void caption(const char *text, bool textLeft, int32_t x, int32_t y) {
    GUI_SetFont(&GUI_Font16B_1);
    GUI_SetColor(BLACK);
    GUI_SetTextAlign(textLeft ? GUI_TA_RIGHT : GUI_TA_LEFT);
    GUI_DispStringAt(text, textLeft ? x - 20 : x + 20, y - 10);
    GUI_SetTextAlign(GUI_TA_LEFT);
}

static void drawTarget(int32_t x, int32_t y) {
    GUI_SetColor(BLACK);
    GUI_FillCircle(x, y, 15);
    GUI_SetColor(WHITE);
    GUI_FillCircle(x, y, 11);
    GUI_SetColor(BLACK);
    GUI_DrawLine(x - 10, y, x + 10, y);
    GUI_DrawLine(x, y - 10, x, y + 10);
}

static void drawCircle(int32_t x, int32_t y, int n) {
    GUI_SetColor(RED);
    GUI_DrawCircle(x, y, 13);
    GUI_DrawCircle(x, y, 12);
    GUI_SetColor(BLACK);
    GUI_SetFont(&GUI_Font16B_1);
    char text[8];
    snprintf(text, sizeof text, "%d", n);
    GUI_DispStringAt(text, x - 3, y - 7);
}

static void drawMark(int32_t x, int32_t y) {
    GUI_SetColor(BLACK);
    GUI_DrawLine(x - 5, y - 5, x + 5, y + 5);
    GUI_DrawLine(x - 5, y + 5, x + 5, y - 5);
}

// ---- measuring ------------------------------------------------------------------------------------------

static bool touchValid(void) {
    uint8_t valid;
    QV_Touch_Get_State(&valid, nullptr, nullptr);
    return valid != 0;
}

static uint32_t timeoutMs(void) {
    return eepromData[CFG_TC_TIMEOUT] * 1000u;
}

static int measure(bool textLeft, int32_t x, int32_t y, int16_t *raw1, int16_t *raw2) {
    drawTarget(x, y);
    caption("Press here", textLeft, x, y);
    int32_t sum1 = 0, sum2 = 0;
    int got = 0, shown = -1;
    gpTimer = timeoutMs();
    for (;;) {
        uint8_t valid;
        int32_t r1, r2;
        QV_Touch_Get_State(&valid, &r1, &r2);
        if (valid) {
            sum1 += r1;
            sum2 += r2;
            if (++got == 3) break;
        }
        countdown(&shown);
        if (!gpTimer) {
            GUI_Clear();
            return 0;
        }
        QV_Delay(50);
    }
    BeepImmediate(100);
    *raw1 = (int16_t)(sum1 / 3);
    *raw2 = (int16_t)(sum2 / 3);
    GUI_Clear();
    caption("OK", textLeft, x, y);
    // The finger must leave before the next target.
    gpTimer = timeoutMs();
    bool lifted = false;
    while (!lifted && gpTimer) {
        QV_Delay(100);
        lifted = !touchValid();
    }
    GUI_Clear();
    return lifted ? 1 : 0;
}

// Draws in black on the current background and gives the caller its drawing state back.
int getCalPoint(int textLeft, int x, int y, int16_t *raw1, int16_t *raw2) {
    GUI_CONTEXT saved;
    GUI_SaveContext_M(&saved);
    int ok = measure(textLeft != 0, x, y, raw1, raw2);
    GUI_RestoreContext(&saved);
    return ok;
}

// Circle n (1..4) must be hit within HIT_RANGE pixels by the new transform; every touch restarts
// the time-out and leaves a mark where the transform put it.
int doVerify(int x, int y, int n, int timeoutSeconds) {
    drawCircle(x, y, n);
    int shown = -1;
    gpTimer = timeoutSeconds * 1000u;
    for (;;) {
        int32_t tx, ty;
        QV_GetLocation(&tx, &ty);
        if (touchValid()) {
            drawMark(tx, ty);
            gpTimer = timeoutSeconds * 1000u;
            if (abs(tx - x) <= HIT_RANGE && abs(ty - y) <= HIT_RANGE) {
                prMin[n - 1] = pMin;
                prMax[n - 1] = pMax;
                BeepImmediate(100);
                return 1;
            }
        }
        countdown(&shown);
        if (!gpTimer) return 0;
        QV_Delay(10);
    }
}

// Waits (10 ms polls) until the panel is free and then touched.
static void waitForTap(void) {
    while (touchValid()) QV_Delay(10);
    while (!touchValid()) QV_Delay(10);
}

// Pressure mode was on: the verification touches must lie inside its window. Reported, not fatal.
static void pressureCheck(void) {
    bool low = false, high = false;
    for (int i = 0; i < 4; i++) {
        if (prMin[i] < cfgU16(CFG_TPLO)) low = true;
        if (prMax[i] > cfgU16(CFG_TPHI)) high = true;
    }
    if (!low && !high) return;
    GUI_Clear();
    GUI_SetTextAlign(GUI_TA_LEFT);
    GUI_SetFont(&GUI_FontMono10AA4);
    GUI_DispStringAt("TouchMode P (pressure) fault: \n\n", 0, 50);
    char line[100];
    if (low) {
        txNotify(":*** CAL PRESSURE LESS THAN CURRENT LIMIT ***\r");
        GUI_DispString("*** CAL PRESSURE LESS THAN CURRENT LIMIT ***\n");
        snprintf(line, sizeof line, ":Measured Pressure Min = %d %d %d %d; limit %d\r", (int)prMin[0],
                 (int)prMin[1], (int)prMin[2], (int)prMin[3], cfgU16(CFG_TPLO));
        txNotify(line);
        GUI_DispString(line);
        GUI_DispString("\n\n");
    }
    if (high) {
        txNotify(":*** CAL PRESSURE MORE THAN CURRENT LIMIT ***\r");
        GUI_DispString("*** CAL PRESSURE MORE THAN CURRENT LIMIT ***\n");
        snprintf(line, sizeof line, ":Measured Pressure Max = %d %d %d %d; limit %d\r", (int)prMax[0],
                 (int)prMax[1], (int)prMax[2], (int)prMax[3], cfgU16(CFG_TPHI));
        txNotify(line);
        GUI_DispString(line);
        GUI_DispString("\n\n");
    }
    GUI_DispString("Touch display to continue...");
    waitForTap();
}

static void debugTables(const int16_t logX[5], const int16_t logY[5], const int16_t phy1[5],
                        const int16_t phy2[5]) {
    txNotify("Calibrate info\r[#]:   ax   ay  axP  ayP\r");
    for (int i = 0; i < TOUCH_POINTS; i++) {
        snprintf(out_buffer, sizeof out_buffer, "[%1d]:  %3d  %3d  %3d  %3d\r", i, logX[i], logY[i], phy1[i],
                 phy2[i]);
        txNotify(out_buffer);
    }
}

static void debugPressure(void) {
    snprintf(out_buffer, sizeof out_buffer, "Pressure Min = %d %d %d %d\r", (int)prMin[0], (int)prMin[1],
             (int)prMin[2], (int)prMin[3]);
    txNotify(out_buffer);
    snprintf(out_buffer, sizeof out_buffer, "Pressure Max = %d %d %d %d\r", (int)prMax[0], (int)prMax[1],
             (int)prMax[2], (int)prMax[3]);
    txNotify(out_buffer);
    GUI_Clear();
    GUI_SetFont(&GUI_Font16_1);
    GUI_DispStringAt("Please touch display to continue...", 0, 0);
    waitForTap();
}

static void saveTables(const int16_t logX[5], const int16_t logY[5], const int16_t phy1[5],
                       const int16_t phy2[5]) {
    for (int i = 0; i < TOUCH_POINTS; i++) {
        cfgSetU16((uint16_t)(CFG_CAL_LOG_X + 2 * i), (uint16_t)logX[i]);
        cfgSetU16((uint16_t)(CFG_CAL_PHY_X + 2 * i), (uint16_t)phy1[i]);
        cfgSetU16((uint16_t)(CFG_CAL_LOG_Y + 2 * i), (uint16_t)logY[i]);
        cfgSetU16((uint16_t)(CFG_CAL_PHY_Y + 2 * i), (uint16_t)phy2[i]);
    }
    QV_EEPROM_Save();
    QV_Touch_Calibrate_from_EEPROM();
}

void doCalibration(void) {
    GUI_CONTEXT saved; // the user's colours, font and pen come back afterwards
    GUI_SaveContext_M(&saved);
    const uint8_t modeAtEntry = eepromData[CFG_TOUCH_MODE], swapAtEntry = eepromData[CFG_TOUCH_SWAP];
    const int32_t cx = centreX();

    int16_t def[4 * TOUCH_POINTS], logX[TOUCH_POINTS], logY[TOUCH_POINTS];
    QV_EEPROM_DefaultCalibration(def);
    for (int i = 0; i < TOUCH_POINTS; i++) {
        logX[i] = (int16_t)(def[i] + Origin_X);
        logY[i] = (int16_t)(def[2 * TOUCH_POINTS + i] + Origin_Y);
    }
    GUI_SetTextMode(GUI_TM_NORMAL);
    GUI_SetPenSize(2);
    QV_Touch_Calibrate_Default();
    eepromData[CFG_TOUCH_MODE] = 0;

    bool ok = true;
    if (touchValid()) {
        whiteScreen();
        message("PLEASE REMOVE FINGER\nSO CALIBRATION CAN START", cx, 180);
        for (int waited = 0; touchValid() && waited < 5000; waited += 100) QV_Delay(100);
        if (touchValid()) {
            message("ERROR - SENSOR BEING TOUCHED\nBEFORE CALIBRATION CAN START", cx, 180);
            QV_Delay(2000);
            QV_Touch_Calibrate_from_EEPROM();
            eepromData[CFG_TOUCH_MODE] = modeAtEntry;
            GUI_RestoreContext(&saved);
            GUI_SetTextAlign(GUI_TA_LEFT);
            return;
        }
    }
    whiteScreen();
    message("CALIBRATING TOUCH SCREEN", cx, 180);
    calibratingTouch = 1;

    int16_t phy1[TOUCH_POINTS], phy2[TOUCH_POINTS];
    for (int i = 0; ok && i < TOUCH_POINTS; i++)
        ok = getCalPoint(i == 2 || i == 3, logX[i], logY[i], &phy1[i], &phy2[i]);
    if (ok) {
        // The first field must run along screen x: if it changes less from bottom-left to
        // bottom-right than from bottom-right to top-right, the panel's other channel does.
        int32_t a = abs(phy1[3] - phy1[4]), b = abs(phy1[2] - phy1[3]);
        eepromData[CFG_TOUCH_SWAP] = b < a ? 0 : 1;
        if (b >= a)
            for (int i = 0; i < TOUCH_POINTS; i++) {
                int16_t t = phy1[i];
                phy1[i] = phy2[i];
                phy2[i] = t;
            }
        QV_Touch_Calibrate(logX, logY, phy1, phy2);
        if (debug_touch) debugTables(logX, logY, phy1, phy2);
        calibratingTouch = 0;
        GUI_Clear();
        message("Touch anywhere to see alignment", cx, 180);
        message("Then, touch circles 1 - 4", cx, 216);
        message("to save new calibration", cx, 232);
        // Circles 1..4: bottom-left, top-left, top-right, bottom-right.
        static const uint8_t circlePoint[4] = {4, 1, 2, 3};
        for (int n = 1; ok && n <= 4; n++) {
            int p = circlePoint[n - 1];
            ok = doVerify(logX[p], logY[p], n, eepromData[CFG_TC_TIMEOUT]);
        }
    }
    if (!ok) {
        calibratingTouch = 0;
        QV_Touch_Calibrate_from_EEPROM();
        eepromData[CFG_TOUCH_SWAP] = swapAtEntry;
        eepromData[CFG_TOUCH_MODE] = modeAtEntry;
        GUI_Clear();
        GUI_RestoreContext(&saved);
        GUI_SetTextAlign(GUI_TA_LEFT);
        return;
    }
    if (modeAtEntry & MODE_P) pressureCheck();
    if (debug_touch) debugPressure();
    eepromData[CFG_TOUCH_MODE] = modeAtEntry;
    saveTables(logX, logY, phy1, phy2);
    GUI_Clear();
    message("NEW CALIBRATION SAVED", cx + Origin_X, 240 + Origin_Y);
    QV_Delay(1000);
    GUI_RestoreContext(&saved);
    GUI_SetTextAlign(GUI_TA_LEFT);
    GUI_Clear();
}

int cmd_tc(char *) {
    ignoreTouch = 0;
    setOrigin(0, 0);
    doCalibration();
    GUIDEMO_Clear(0);
    return CMD_OK;
}
