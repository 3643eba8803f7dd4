// Meters: eight dials, each a background bitmap with a needle drawn as a filled polygon rotated
// about a pivot, and optionally a scale arc with a coloured band. A value change restores what was
// under the old needle (the background and the arcs, inside the old needle's box) and fills the
// needle at its new angle.
#pragma once

#include <stdint.h>

#include "gfx/gui.h"

enum { METERS = 8, METER_POINTS = 10 };

struct Meter {
    int32_t x, y;       // background position on the screen
    int32_t background; // bitmap number, -1 none
    int16_t pivotX, pivotY;
    GUI_POINT polygon[METER_POINTS]; // relative to the pivot, rotated to refValue's angle
    uint8_t count;
    GUI_COLOR needleColour, bandNeedleColour;
    int32_t refValue, lastValue;
    int32_t startAngle, endAngle; // degrees as given; the sweep runs from start towards end
    int32_t min, max;
    int16_t box[4]; // x0, y0, x1, y1 of the last needle drawn
    int32_t bandLow, bandHigh;
    int32_t bandStart, bandEnd; // band arc in drawing degrees
    int32_t arcRadius, penWidth;
    int32_t bandColour; // -1: no band
    int32_t scaleColour;
    uint8_t scale; // 1: defined with a scale arc ("mdb")
};

extern Meter meters[METERS];

void QV_Meter_Init(void);
// "md ..." / "mdb ...": parses and defines; messages for the host as the command gives them.
int meterDefine(char *line);
int meterValue(int n, int32_t v);
// With `band` the band fields (low, high, radius, pen width, colour) are replaced too.
struct MeterBand {
    int32_t low, high, radius, penWidth;
    GUI_COLOR colour;
};
int meterValueband(int n, int32_t v, const MeterBand *band, GUI_COLOR colour);
// The colour of the needle that "mvb" without a band draws.
GUI_COLOR meterBandNeedleColour(int n);
