// Charts and the common axis scaling. A column is plotted as one line segment per pen from the
// pen's last point to its new one; a scrolling chart that is full moves its picture left with the
// drawing core's block move, a sweep chart wraps to the left edge or stops.
#include "displays/chart.h"

#include "base/console.h"
#include "resource/bitmap.h"
#include "resource/resource.h"

Chart chart[CHARTS];

void sortCorners(int32_t *x0, int32_t *y0, int32_t *x1, int32_t *y1) {
    int32_t t;
    if (*x0 > *x1) t = *x0, *x0 = *x1, *x1 = t;
    if (*y0 > *y1) t = *y0, *y0 = *y1, *y1 = t;
}

// ---- the common axis ---------------------------------------------------------------------------------
int QV_Chart_Common(ChartAxis *a, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t orientation,
                    uint8_t flags, int32_t max, int32_t min) {
    if (orientation != AXIS_VERTICAL && orientation != AXIS_HORIZONTAL) return 0;
    a->x1 = x1;
    a->y1 = y1;
    a->x2 = x2;
    a->y2 = y2;
    a->orientation = orientation;
    a->flags = flags;
    a->span = orientation == AXIS_HORIZONTAL ? x2 - x1 : y2 - y1;
    a->max = max;
    a->min = min;
    return 1;
}

// The products run in 64 bits: a wide value range times a tall span does not fit in 32.
int32_t QV_Chart_value_to_pixel(const ChartAxis *a, int32_t v) {
    int64_t range = (int64_t)a->max - a->min;
    if (v > a->max && range > 0) return -2;
    if (range <= 0 || v < a->min) return -1;
    int64_t t = ((int64_t)v - a->min) * a->span * 10 / range;
    t += t < 0 ? -5 : 5;
    return (int32_t)(t / 10);
}

int32_t QV_Chart_clamped_pixel(const ChartAxis *a, int32_t v) {
    int32_t p = QV_Chart_value_to_pixel(a, v);
    if (p == -2) return a->span;
    return p < 0 ? 0 : p;
}

int32_t QV_Chart_pixel_to_value(const ChartAxis *a, int32_t p) {
    bool horizontal = a->orientation == AXIS_HORIZONTAL;
    int32_t first = horizontal ? a->x1 : a->y1, last = horizontal ? a->x2 : a->y2;
    if (p > last) p = last;
    int64_t d = p < first ? 0 : p - first;
    if (a->span == 0) return 0;
    int32_t v = (int32_t)((((int64_t)a->max - a->min) * d * 2 / a->span + 1) >> 1);
    return (a->flags & AXIS_REVERSED) ? a->max - v : a->min + v;
}

// ---- charts -------------------------------------------------------------------------------------------
static bool defined(int n) {
    return n >= 0 && n < CHARTS && chart[n].type != CHART_UNDEFINED;
}

static bool sweep(const Chart &c) {
    return c.type == CHART_SWEEP || c.type == CHART_BITMAP;
}

static void forgetPens(Chart &c) {
    for (ChartPen &p : c.pen) p.last = -1;
}

static void undefinePens(Chart &c) {
    for (ChartPen &p : c.pen) p = ChartPen{0, 0, 0, -1};
}

void QV_Chart_Init(void) {
    for (Chart &c : chart) {
        c = Chart{};
        c.type = CHART_UNDEFINED;
        undefinePens(c);
    }
}

static int32_t startCursor(const Chart &c) {
    return c.type == CHART_SCROLL_RIGHT ? (c.area.x2 - c.area.x1) - c.step : 0;
}

// Columns xa..xb of the chart (screen coordinates, cut to the chart) back to its background: the
// colour, or that part of the bitmap.
static void drawBackground(const Chart &c, int32_t xa, int32_t xb) {
    if (xa < c.area.x1) xa = c.area.x1;
    if (xb > c.area.x2) xb = c.area.x2;
    if (xa > xb) return;
    if (c.type != CHART_BITMAP) {
        GUI_COLOR old = GUI_SetColor(c.background);
        uint8_t mode = GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        GUI_FillRect(xa, c.area.y1, xb, c.area.y2);
        GUI_SetDrawMode(mode);
        GUI_SetColor(old);
        return;
    }
    const ExtRecord *rec = QV_GetExtBitmap(c.bitmap);
    if (!rec) return;
    GUI_RECT saved, part = {xa, c.area.y1, xb, c.area.y2};
    GUI_GetClipRect(&saved);
    GUI_SetClipRect(&part);
    QV_DrawBitmap(rec, c.area.x1, c.area.y1);
    GUI_SetClipRect(&saved);
}

static void setArea(Chart &c, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t min, int32_t max) {
    QV_Chart_Common(&c.area, x0, y0, x1, y1, AXIS_VERTICAL, 0, max, min);
}

int QV_Chart_Setup(int n, int32_t type, int32_t step, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                   int32_t min, int32_t max, GUI_COLOR background) {
    // A step of 0 would never advance; the step is kept in a byte.
    if (n < 0 || n >= CHARTS || type < 0 || type > CHART_SCROLL_RIGHT || step < 1 || step > 255) return 0;
    Chart &c = chart[n];
    sortCorners(&x0, &y0, &x1, &y1);
    c.type = type;
    c.step = (uint8_t)step;
    setArea(c, x0, y0, x1, y1, min, max);
    c.background = background;
    c.bitmap = 0;
    c.flags = CF_UP | CF_RETRACE | CF_ERASE_AHEAD;
    if (type == CHART_SCROLL && (x1 - x0) % step) c.flags |= CF_REMAINDER;
    c.cursor = startCursor(c);
    undefinePens(c);
    drawBackground(c, x0, x1);
    return 1;
}

int QV_BitmapChart_Setup(int n, int32_t x, int32_t y, int32_t step, int32_t min, int32_t max, int bitmap) {
    if (n < 0 || n >= CHARTS || step < 1 || step > 255) return 0;
    const ExtRecord *rec = QV_GetExtBitmap(bitmap);
    if (!rec) return 0;
    Chart &c = chart[n];
    c.type = CHART_BITMAP;
    c.step = (uint8_t)step;
    setArea(c, x, y, x + QV_BitmapWidth(rec) - 1, y + QV_BitmapHeight(rec) - 1, min, max);
    c.background = 0;
    c.bitmap = (uint16_t)bitmap;
    c.flags = CF_UP | CF_RETRACE | CF_ERASE_AHEAD;
    c.cursor = 0;
    undefinePens(c);
    QV_DrawBitmap(rec, x, y);
    return 1;
}

int QV_Chart_Set_Pen(int n, int pen, GUI_COLOR colour, int width) {
    if (!defined(n) || pen < 0 || pen >= CHART_PENS || width < 1 || width > 255) return 0;
    chart[n].pen[pen] = ChartPen{colour, (uint8_t)width, PEN_DEFINED, -1};
    return 1;
}

int QV_ChangeChartPen(int n, int pen, int width, GUI_COLOR colour) {
    if (!defined(n) || pen < 0 || pen >= CHART_PENS || width < 1 || width > 255) return 0;
    ChartPen &p = chart[n].pen[pen];
    if (!(p.flags & PEN_DEFINED)) return 0;
    p.colour = colour;
    p.width = (uint8_t)width;
    return 1;
}

void QV_Chart_FinishSetup(int n, int width) {
    if (defined(n) && width <= 1) chart[n].flags &= (uint8_t)~CF_REMAINDER;
}

int QV_Chart_Get_Pens(int n) {
    if (!defined(n)) return 0;
    int k = 0;
    while (k < CHART_PENS && (chart[n].pen[k].flags & PEN_DEFINED)) k++;
    return k;
}

static int setSweepFlag(int n, uint8_t flag, int on) {
    if (!defined(n) || !sweep(chart[n])) return 0;
    if (on)
        chart[n].flags |= flag;
    else
        chart[n].flags &= (uint8_t)~flag;
    return 1;
}

int QV_SetChartDrawMode(int n, int on) {
    return setSweepFlag(n, CF_ERASE_AHEAD, on);
}

int QV_SetChartRetraceMode(int n, int on) {
    return setSweepFlag(n, CF_RETRACE, on);
}

int QV_SetChartBackgroundColor(int n, GUI_COLOR colour) {
    if (!defined(n)) return 0;
    chart[n].background = colour;
    return 1;
}

int QV_SetChartBitmap(int n, int bitmap) {
    if (!defined(n) || chart[n].type != CHART_BITMAP || !QV_GetExtBitmap(bitmap)) return 0;
    chart[n].bitmap = (uint16_t)bitmap;
    return 1;
}

int QV_ResetChartCursor(int n) {
    if (!defined(n)) return 0;
    Chart &c = chart[n];
    forgetPens(c);
    c.cursor = startCursor(c);
    c.flags &= (uint8_t)~CF_FULL;
    return 1;
}

int QV_ClearAndResetChartDisplay(int n) {
    if (!defined(n)) return 0;
    drawBackground(chart[n], chart[n].area.x1, chart[n].area.x2);
    return QV_ResetChartCursor(n);
}

// The two step-wide columns ahead of the cursor, each from one pixel right of it, wrapping to the
// left edge.
static void eraseAhead(const Chart &c) {
    int32_t width = c.area.x2 - c.area.x1 + 1;
    for (int k = 0; k < 2; k++) {
        int32_t from = c.cursor + 1 + k * c.step;
        if (from >= width) from -= width;
        drawBackground(c, c.area.x1 + from, c.area.x1 + from + c.step - 1);
    }
}

// Moves columns x0 .. x0 + cursor left by a step and clears what the move uncovered.
static bool scrollLeft(Chart &c) {
    if (c.cursor < c.step) return false;
    int32_t x0 = c.area.x1;
    GUI_MoveRect(x0 + c.step, c.area.y1, x0 + c.cursor, c.area.y2, -c.step, 0);
    drawBackground(c, x0 + c.cursor - c.step + 1, x0 + c.cursor);
    if (c.flags & CF_REMAINDER) drawBackground(c, x0 + c.cursor, c.area.x2);
    c.cursor -= c.step;
    return true;
}

int QV_Chart_Show(int n, int count, const int32_t *values) {
    if (!defined(n) || count < 0 || count > CHART_PENS) return 0;
    Chart &c = chart[n];
    if (c.flags & CF_FULL) {
        pout(":chart FULL and retrace is OFF\r");
        return 1;
    }
    GUI_CONTEXT saved;
    GUI_SaveContext_M(&saved);
    GUI_RECT area = {c.area.x1, c.area.y1, c.area.x2, c.area.y2};
    GUI_SetClipRect(&area);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    GUI_SetLineStyle(GUI_LS_SOLID);
    int32_t x0 = c.area.x1, y1 = c.area.y2;
    if (sweep(c) && (c.flags & CF_ERASE_AHEAD)) eraseAhead(c);
    if ((c.type == CHART_SCROLL || c.type == CHART_SCROLL_RIGHT) && x0 + c.cursor + c.step > c.area.x2 &&
        !scrollLeft(c)) {
        GUI_RestoreContext(&saved);
        return 0;
    }
    for (int k = 0; k < CHART_PENS; k++) {
        ChartPen &pen = c.pen[k];
        if (k >= count || values[k] == CHART_NO_VALUE) {
            pen.last = -1; // the line is broken here
            continue;
        }
        if (!(pen.flags & PEN_DEFINED)) continue;
        int32_t p = QV_Chart_clamped_pixel(&c.area, values[k]);
        int32_t prev = pen.last < 0 ? p : pen.last;
        GUI_SetPenSize(pen.width);
        GUI_SetColor(pen.colour);
        GUI_DrawLine(x0 + c.cursor, y1 - prev, x0 + c.cursor + c.step, y1 - p);
        pen.last = p;
    }
    c.cursor += c.step;
    if (sweep(c) && x0 + c.cursor + c.step > c.area.x2) {
        if (c.flags & CF_RETRACE)
            c.cursor = 0;
        else
            c.flags |= CF_FULL;
    }
    GUI_RestoreContext(&saved);
    return 1;
}
