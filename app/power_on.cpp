// The power-on screen, in its fixed order.
#include "app/power_on.h"

#include "board/bsp/bsp.h"
#include "board/services/services.h"
#include "board/services/timer.h"
#include "gfx/font_table.h"
#include "macro/macro.h"
#include "serial/rs485.h"
#include "serial/serial.h"
#include "storage/config_store.h"
#include "storage/resource.h"
#include "touch/touch.h"

// Power-on touch calibration: a touch within 50 ms of this point asks for it.
static void powerOnCalibration(void) {
    if (eepromData[CFG_AUTOCAL] != CFG_ENABLED) return;
    gpTimer = 50;
    while (gpTimer && !GetPenState()) bsp_wait_for_interrupt();
    if (!GetPenState()) return;
    BeepImmediate(50);
    QV_Delay(100);
    BeepImmediate(50);
    QV_Delay(2000);
    doCalibration();
}

void powerOnScreen(void) {
    GUIDEMO_SetFont("16");
    // The host skips the power-on macro with ESC CR already in the ring.
    bool macroCancelled = checkEscape() != 0;
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

    if (!rs485Active()) txString(">\r");
    if (eepromData[CFG_DEMOMAC] == 0xFF) eepromData[CFG_DEMOMAC] = 1; // saved with the next save
}
