// Level bars. The bands are drawn from the last added (the lowest) up, each to its own top or to
// the value, whichever is lower; the rest of the bar is the background.
#include "displays/level_bar.h"

LevelBar LevelBars[LEVEL_BARS];

void QV_LevelBar_Init(void) {
    for (LevelBar &b : LevelBars) b = LevelBar{};
}

int QV_LevelBar_Setup(int bar, int defined, int orientation, int reversed, int32_t x0, int32_t y0, int32_t x1,
                      int32_t y1, int32_t min, GUI_COLOR background) {
    if (bar < 0 || bar >= LEVEL_BARS) return 0;
    LevelBar &b = LevelBars[bar];
    b = LevelBar{};
    sortCorners(&x0, &y0, &x1, &y1);
    if (!QV_Chart_Common(&b.axis, x0, y0, x1, y1, orientation, reversed ? AXIS_REVERSED : 0, 0, min))
        return 0;
    b.defined = defined;
    b.background = background;
    return 1;
}

int QV_LevelBar_Add_Color(int bar, GUI_COLOR colour, int32_t limit) {
    if (bar < 0 || bar >= LEVEL_BARS) return 0;
    LevelBar &b = LevelBars[bar];
    if (!b.defined || b.bands >= LEVEL_BANDS) return 0;
    // The first limit must leave a range above min to scale into.
    if (b.bands == 0) {
        if (limit <= b.axis.min) return 0;
        b.axis.max = limit;
    } else if (limit > b.axis.max || limit < b.axis.min) {
        return 0;
    }
    b.bandColour[b.bands] = colour;
    b.bandTop[b.bands] = QV_Chart_clamped_pixel(&b.axis, limit);
    b.bands++;
    return 1;
}

// Offsets a..b from the bar's base in one colour.
static void fill(const LevelBar &b, int32_t a, int32_t e, GUI_COLOR colour) {
    const ChartAxis &r = b.axis;
    bool reversed = r.flags & AXIS_REVERSED;
    GUI_SetColor(colour);
    if (r.orientation == AXIS_VERTICAL) {
        if (reversed)
            GUI_FillRect(r.x1, r.y1 + a, r.x2, r.y1 + e);
        else
            GUI_FillRect(r.x1, r.y2 - e, r.x2, r.y2 - a);
    } else {
        if (reversed)
            GUI_FillRect(r.x2 - e, r.y1, r.x2 - a, r.y2);
        else
            GUI_FillRect(r.x1 + a, r.y1, r.x1 + e, r.y2);
    }
}

int QV_LevelBar_Show(int bar, int32_t value) {
    if (bar < 0 || bar >= LEVEL_BARS) return 0;
    const LevelBar &b = LevelBars[bar];
    if (!b.defined || !b.bands) return 0;
    int32_t p = QV_Chart_value_to_pixel(&b.axis, value);
    if (p == -2) p = b.axis.span;
    // below min (p = -1) nothing is filled
    GUI_COLOR saved = GUI_GetColor();
    uint8_t mode = GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    int32_t from = 0;
    for (int k = b.bands - 1; k >= 0; k--) {
        int32_t top = b.bandTop[k] < p ? b.bandTop[k] : p;
        if (top >= from) fill(b, from, top, b.bandColour[k]);
        from = top + 1;
        if (from > p) break;
    }
    // Up to and including the top row: a value one pixel below the top clears that row too.
    if (from <= b.axis.span) fill(b, from, b.axis.span, b.background);
    GUI_SetDrawMode(mode);
    GUI_SetColor(saved);
    return 1;
}
