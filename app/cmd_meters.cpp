// Meter commands: "md" / "mdb" define a meter (with a scale and band), "mv" / "mvb" set its value.
#include <stdio.h>

#include "app/commands.h"
#include "base/console.h"
#include "base/parse.h"
#include "displays/meter.h"
#include "gfx/gfx_state.h"

int cmd_md(char *line) {
    return meterDefine(line) ? CMD_OK : CMD_FAIL;
}

int cmd_mdb(char *line) {
    return meterDefine(line) ? CMD_OK : CMD_FAIL;
}

int cmd_mv(char *line) {
    int n, v;
    if (sscanf(line, "mv %d %d", &n, &v) != 2) return CMD_FAIL;
    return meterValue(n, v) ? CMD_OK : CMD_FAIL;
}

// "mvb n v": the value in the needle colour of the last "mvb"; "mvb n v low high radius width
// bandColour colour": value, band and needle colour together.
int cmd_mvb(char *line) {
    int n, v, low, high, radius, width;
    char bandWord[4], colourWord[4];
    int got = sscanf(line, "mvb %d %d %d %d %d %d %3s %3s", &n, &v, &low, &high, &radius, &width, bandWord,
                     colourWord);
    if (got < 2) return CMD_FAIL;
    if (got == 2) return meterValueband(n, v, nullptr, meterBandNeedleColour(n)) ? CMD_OK : CMD_FAIL;
    if (got != 8) {
        pout(":Incorrect number of parameters");
        return meterValue(n, v) ? CMD_OK : CMD_FAIL;
    }
    int band = atoBGR(bandWord), colour = atoBGR(colourWord);
    if (band < 0 || colour < 0) return CMD_FAIL;
    MeterBand b = {low, high, radius, width, (GUI_COLOR)band};
    return meterValueband(n, v, &b, (GUI_COLOR)colour) ? CMD_OK : CMD_FAIL;
}
