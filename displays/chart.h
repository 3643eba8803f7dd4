// Charts: ten strip-chart areas of up to eight pens, one sample column per call, and the axis
// scaling that charts, level bars and sliders share.
#pragma once

#include <stdint.h>

#include "gfx/gui.h"

// ---- the common axis: a pixel range along one axis and the value range it shows -------------------
enum : int32_t { AXIS_VERTICAL = 0, AXIS_HORIZONTAL = 1 };
enum : uint8_t { AXIS_REVERSED = 1 };

struct ChartAxis {
    int32_t x1, y1, x2, y2; // screen pixels, inclusive
    int32_t orientation;    // AXIS_VERTICAL or AXIS_HORIZONTAL
    uint8_t flags;          // AXIS_REVERSED
    int32_t span;           // y2 - y1 (vertical) or x2 - x1 (horizontal)
    int32_t max, min;
};

// Puts the corners of a rectangle in order: x0 <= x1, y0 <= y1.
void sortCorners(int32_t *x0, int32_t *y0, int32_t *x1, int32_t *y1);
// Fills the axis; 0 for an orientation above 1, which leaves the record as it was.
int QV_Chart_Common(ChartAxis *axis, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t orientation,
                    uint8_t flags, int32_t max, int32_t min);
// Pixel offset of v from the min end, rounded half away from zero; -1 for v < min or an empty
// range, -2 for v > max.
int32_t QV_Chart_value_to_pixel(const ChartAxis *axis, int32_t v);
// Value at screen coordinate p along the axis (limited to the track); min at the start unless reversed.
int32_t QV_Chart_pixel_to_value(const ChartAxis *axis, int32_t p);
// The offset a plotted value takes: below min the bottom (0), above max the top (span).
int32_t QV_Chart_clamped_pixel(const ChartAxis *axis, int32_t v);

// ---- charts -------------------------------------------------------------------------------------------
enum { CHARTS = 10, CHART_PENS = 8 };
enum : int32_t { CHART_NO_VALUE = -31999 };
enum : int32_t {
    CHART_SCROLL = 0,
    CHART_SWEEP = 1,
    CHART_BITMAP = 2,
    CHART_SCROLL_RIGHT = 3, // scrolling, the first column at the right edge
    CHART_UNDEFINED = 4,
};
enum : uint8_t {
    CF_UP = 1,          // values grow upwards
    CF_REMAINDER = 2,   // the width is not a multiple of the step: clear the rest after a scroll
    CF_RETRACE = 4,     // a sweep chart starts again at the left edge
    CF_FULL = 8,        // a sweep chart without retrace reached the right edge
    CF_ERASE_AHEAD = 16 // a sweep chart clears the columns ahead of its cursor
};
enum : uint8_t { PEN_DEFINED = 1 };

struct ChartPen {
    GUI_COLOR colour;
    uint8_t width;
    uint8_t flags;
    int32_t last; // offset of the last plotted point, -1 none
};

struct Chart {
    int32_t type;
    ChartPen pen[CHART_PENS];
    ChartAxis area; // x1..y2 hold the chart's x0, y0, x1, y1; vertical, span = height - 1
    uint8_t flags;
    GUI_COLOR background;
    uint8_t step;
    int32_t cursor; // x offset of the current column from the left edge
    uint16_t bitmap;
};

extern Chart chart[CHARTS];

void QV_Chart_Init(void);
int QV_Chart_Setup(int n, int32_t type, int32_t step, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                   int32_t min, int32_t max, GUI_COLOR background);
int QV_BitmapChart_Setup(int n, int32_t x, int32_t y, int32_t step, int32_t min, int32_t max, int bitmap);
int QV_Chart_Set_Pen(int n, int pen, GUI_COLOR colour, int width);
int QV_ChangeChartPen(int n, int pen, int width, GUI_COLOR colour);
void QV_Chart_FinishSetup(int n, int width);
int QV_Chart_Get_Pens(int n);
int QV_SetChartDrawMode(int n, int on);
int QV_SetChartRetraceMode(int n, int on);
int QV_SetChartBackgroundColor(int n, GUI_COLOR colour);
int QV_SetChartBitmap(int n, int bitmap);
int QV_ResetChartCursor(int n);
int QV_ClearAndResetChartDisplay(int n);
// Plots one column; values[k] for pen k, CHART_NO_VALUE for none. 1 when done or when the chart is
// full (with its message), 0 for a bad chart or a failed scroll.
int QV_Chart_Show(int n, int count, const int32_t *values);
