// The power-on screen, in its fixed order.
#include "app/power_on.h"

#include <stdio.h>

#include "app/version.h"
#include "board/bsp/bsp.h"
#include "board/services/beeper.h"
#include "board/services/services.h"
#include "board/services/timer.h"
#include "gfx/font_table.h"
#include "gfx/gfx_state.h"
#include "gfx/gui.h"
#include "macro/macro.h"
#include "resource/bitmap.h"
#include "resource/resource.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "touch/touch.h"

// The splash bitmap, when switched on and nothing is on the screen yet.
static void drawSplash(void) {
    if (eepromData[CFG_SPLASH_ON] != CFG_ENABLED || splashShown) return;
    const ExtRecord *bitmap = QV_GetExtBitmap(eepromData[CFG_SPLASH_BITMAP]);
    if (!bitmap) {
        GUI_DispStringAt("(invalid splash bitmap)", Origin_X, Origin_Y + 10);
        return;
    }
    QV_DrawBitmap(bitmap, Origin_X, Origin_Y);
    splashShown = 1;
}

// Power-on touch calibration: a touch within 50 ms of this point asks for it.
static void powerOnCalibration(void) {
    if (eepromData[CFG_AUTOCAL] != CFG_ENABLED) return;
    gpTimer = 50;
    while (gpTimer && !GetPenState()) bsp_wait_for_interrupt();
    if (!GetPenState()) return;
    BeepImmediate(50);
    QV_Delay(100);
    BeepImmediate(50);
    GUI_Clear();
    GUI_DispStringAt("Touch on power-up detected...starting touch calibrate", Origin_X + 10, Origin_Y + 100);
    GUI_DispStringAt("Release touch to begin calibration", Origin_X + 10, Origin_Y + 150);
    QV_Delay(2000);
    doCalibration();
    GUIDEMO_Clear(0);
}

static void versionScreen(void) {
    char line[LINE_MAX + 1];
    GUI_SetTextAlign(GUI_TA_LEFT);
    GUIDEMO_SetTextBorder(Origin_X);
    GUI_SetLBorder(Origin_X);
    GUI_GotoXY(Origin_X, Origin_Y);
    GUIDEMO_SetFont("12");
    line[0] = line[1] = ' ';
    QV_Copy_Version(line + 2);
    GUI_DispStringAt(line, Origin_X, Origin_Y + 10);
    GUI_DispNextLine();
    snprintf(line, sizeof line, "  (c) ZEFO5 display firmware %s", &__DATE__[7]);
    GUI_DispString(line);
    GUI_DispNextLine();
    GUI_DispString("  ZEFO5 Displays");
    GUI_DispNextLine();
    uint32_t rate = QV_COM_getBaud(mainIsUart0 ? 0 : 1);
    snprintf(line, sizeof line, "  Baud rate = %d,%03d", (int)(rate / 1000), (int)(rate % 1000));
    GUI_DispString(line);
    GUI_DispNextLine();
    if (rs485Active()) {
        uint8_t sof = eepromData[CFG_RS485_SOF];
        snprintf(line, sizeof line, "  RS485 Mode SOF 0x%02X (%c) ADR %02X", sof, sof,
                 eepromData[CFG_RS485_ADDR]);
        GUI_DispString(line);
        GUI_DispNextLine();
    }
    GUI_DispNextLine();
}

void powerOnScreen(void) {
    GUI_SetColor(color_map[0]);
    GUI_SetBkColor(color_map[1]);
    GUIDEMO_Clear(splashShown ? -1 : 0);
    GUIDEMO_SetFont("16");
    GUI_SetTextMode(GUI_TM_NORMAL);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    // The host skips the power-on macro with ESC CR already in the ring.
    bool macroCancelled = checkEscape() != 0;
    drawSplash();
    QV_Delay(16);
    QV_Visibility_Init();
    powerOnCalibration();
    init_agif();

    int demo = QV_Check_Demo();
    uint8_t ponmac = eepromData[CFG_PONMAC];
    if (demo)
        processMacro(demo, "", 0);
    else if (ponmac != 0 && ponmac != 255 && !macroCancelled)
        processMacro(ponmac, "", 0);

    if (!splashShown && !demo && eepromData[CFG_PONMAC_QUIET] != CFG_ENABLED) versionScreen();
    if (!rs485Active()) txString(">\r");
    if (eepromData[CFG_DEMOMAC] == 0xFF) eepromData[CFG_DEMOMAC] = 1; // saved with the next save
    SaveState(&GDIState[0]);
}
