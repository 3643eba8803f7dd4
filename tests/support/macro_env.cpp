// The macro engine in a unit test (see macro_env.h).
#include "tests/support/macro_env.h"

#include <stdlib.h>
#include <string.h>

#include <vector>

#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "board/host/test_board.h"
#include "gfx/gfx_state.h"
#include "gfx/gui.h"
#include "macro/macro.h"
#include "resource/resource.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "touch/touch.h"

void resetEnv() {
    if (!testboard::open()) abort();
    QV_Macros_Init();
    QV_DisableInternalMacros();
    memset(iMem, 0, sizeof iMem);
    memset(pt, 0, sizeof pt);
    macroVerbose = 0;
    macroNotify = 0;
    macroLineDone = handle_touch;
    sent.clear();
    standin::ran.clear();
    standin::resetSerial();
    standin::resetTouch();
    Origin_X = Origin_Y = 0;
    GUI_GotoXY(0, 0);
    memset(eepromData, 0xFF, sizeof eepromData);
    ExtMemSize = BSP_EXTRAM_SIZE;
    ExtMemBuffer = ExtMemRamBuffer = BSP_EXTRAM_BASE;
}

int host(const char *line) {
    char buf[131], exp[130], math[130];
    strncpy(buf, line, 130);
    buf[130] = 0;
    if (!killTrailingComment(buf)) return 1;
    expandVariables(buf, exp, "");
    processMath(exp, math);
    return parse_command(math);
}

std::string expand(const char *line, const char *const *args, int size) {
    std::vector<char> exp((size_t)size), math((size_t)size);
    expandVariables(exp.data(), size, line, args);
    processMath(math.data(), size, exp.data());
    return math.data();
}
