// Slider commands: "sl" defines a linear slider, "sv" sets its value. The circular forms "slc" and
// "svc" are recognised and always fail: no circular slider can be created.
#include <stdio.h>

#include "app/commands.h"
#include "base/parse.h"
#include "displays/slider.h"
#include "gfx/gfx_state.h"

// "sl n background x y thumb offset orientation reversed typematic max min"
int cmd_sl(char *line) {
    int n, background, x, y, thumb, offset, orientation, reversed, typematic, max, min;
    if (sscanf(line, "sl %d %d %d %d %d %d %d %d %d %d %d", &n, &background, &x, &y, &thumb, &offset,
               &orientation, &reversed, &typematic, &max, &min) != 11)
        return CMD_FAIL;
    return QV_Slider_Setup(n, orientation, typematic, x + Origin_X, y + Origin_Y, offset, reversed, max, min,
                           background, thumb)
               ? CMD_OK
               : CMD_FAIL;
}

int cmd_sv(char *line) {
    int n, v;
    if (sscanf(line, "sv %d %d", &n, &v) != 2) return CMD_FAIL;
    return QV_Slider_Value(n, v) ? CMD_OK : CMD_FAIL;
}

int cmd_slc(char *) {
    return CMD_FAIL;
}

int cmd_svc(char *) {
    return CMD_FAIL;
}
