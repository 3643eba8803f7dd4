// Level-bar commands: "ld" defines a bar with up to three bands, "lv" shows a value.
#include <stdio.h>

#include "app/commands.h"
#include "app/control_args.h"
#include "base/parse.h"
#include "displays/level_bar.h"
#include "gfx/gfx_state.h"

// "ld bar x0 y0 x1 y1 orientation reversed min background [limit colour]..." (at most three pairs)
int cmd_ld(char *line) {
    char *p = line + 2;
    int32_t n, x0, y0, x1, y1, orientation, reversed, min;
    GUI_COLOR bg;
    if (!nextNumber(&p, &n) || !nextNumber(&p, &x0) || !nextNumber(&p, &y0) || !nextNumber(&p, &x1) ||
        !nextNumber(&p, &y1) || !nextNumber(&p, &orientation) || !nextNumber(&p, &reversed) ||
        !nextNumber(&p, &min) || !nextColour(&p, &bg))
        return CMD_FAIL;
    if (!areaFromOrigin(&x0, &y0, &x1, &y1)) return CMD_FAIL;
    if (!QV_LevelBar_Setup(n, 1, orientation, reversed, x0, y0, x1, y1, min, bg)) return CMD_FAIL;
    while (!atEnd(p)) {
        int32_t limit;
        GUI_COLOR colour;
        if (!nextNumber(&p, &limit) || !nextColour(&p, &colour) || !QV_LevelBar_Add_Color(n, colour, limit))
            return CMD_FAIL;
    }
    return CMD_OK;
}

int cmd_lv(char *line) {
    int n, v;
    if (sscanf(line, "lv %d %d", &n, &v) != 2) return CMD_FAIL;
    return QV_LevelBar_Show(n, v) ? CMD_OK : CMD_FAIL;
}
