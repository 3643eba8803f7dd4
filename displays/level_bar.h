// Level bars: 32 rectangles that show one value as a bar of up to three colour bands growing from
// one edge, the rest in a background colour. Scaling is the charts' axis scaling.
#pragma once

#include <stdint.h>

#include "displays/chart.h"

enum { LEVEL_BARS = 32, LEVEL_BANDS = 3 };

struct LevelBar {
    int32_t defined;
    ChartAxis axis; // the rectangle; orientation, reversed flag, span, max (the first band), min
    GUI_COLOR background;
    uint8_t bands;
    GUI_COLOR bandColour[LEVEL_BANDS];
    int32_t bandTop[LEVEL_BANDS]; // pixel offset of each band's upper limit
};

extern LevelBar LevelBars[LEVEL_BARS];

void QV_LevelBar_Init(void);
// 1, or 0 for bar > 31 or orientation > 1 (the bar is then undefined). Nothing is drawn.
int QV_LevelBar_Setup(int bar, int defined, int orientation, int reversed, int32_t x0, int32_t y0, int32_t x1,
                      int32_t y1, int32_t min, GUI_COLOR background);
// Adds a band, highest limit first: the first limit is the bar's max, later ones lie in [min, max].
int QV_LevelBar_Add_Color(int bar, GUI_COLOR colour, int32_t limit);
// 1 when drawn; 0 for an undefined bar or one without bands.
int QV_LevelBar_Show(int bar, int32_t value);
