// The calls that lower rooms make into higher ones, composed here: what the 1 ms tick does for the
// rooms above the board services (in its fixed order), who words the SD card's interface errors,
// what a splash drawn while the image loads turns on, the touch service between macro lines, the
// panel set-up that the drawing core's initialisation runs, and the communication watchdog's macro.
#include "app/hooks.h"

#include "board/services/panel.h"
#include "board/services/services.h"
#include "board/services/timer.h"
#include "gfx/gui.h"
#include "macro/macro.h"
#include "resource/resource.h"
#include "sdcard/sdcard.h"
#include "serial/rs485.h"
#include "touch/hotspot.h"
#include "touch/touch.h"

static void tickWork(void) {
    ButtonTimer();
    for (int i = 0; i < 2; i++)
        if (animateTimer[i] > 0) animateTimer[i] = animateTimer[i] - 1;
    if (agifTimer > 0) agifTimer = agifTimer - 1;
    QV_Update_Touch();
    ledBlinkTick();
    SDhotplugUpdate();
}

// A splash on the screen turns the macro start notices on.
static void macroNoticesOn(void) {
    macroNotify = 1;
}

// The communication watchdog's macro runs with touches ignored; what was set before comes back.
static void runCommWatchDogMacro(int macro, const char *label) {
    uint8_t touchWas = ignoreTouch;
    ignoreTouch = 1;
    processMacro(macro, "", label);
    ignoreTouch = touchWas;
}

void installHooks(void) {
    msecTickHook = tickWork;
    SDCardErrorHook = SDCardReportErrors;
    splashShownHook = macroNoticesOn;
    macroLineDone = handle_touch;
    GUI_X_InitLCD = InitLCD;
    commWatchDogRun = runCommWatchDogMacro;
}
