// Lines: one-pixel lines (Bresenham, the same pixels whichever end they start from), wide lines as
// filled quadrilaterals with their end shapes, dash patterns, polylines and the pen position.
#include "gfx/gui_private.h"

#include <math.h>

// Dash patterns: bit i (from bit 0) says whether pixel i of a period is drawn.
struct DashPattern {
    uint32_t bits;
    int32_t length;
};
static const DashPattern dashPatterns[] = {
    {0x1u, 1},     // solid
    {0x3Fu, 9},    // dash: 6 on, 3 off
    {0x1u, 3},     // dot: 1 on, 2 off
    {0x23Fu, 13},  // dash dot: 6 on, 3 off, 1 on, 3 off
    {0x223Fu, 17}, // dash dot dot: 6 on, 3 off, 1 on, 3 off, 1 on, 3 off
};

static const DashPattern &currentPattern(void) {
    uint8_t s = GUI_Context.LineStyle;
    return dashPatterns[s < sizeof dashPatterns / sizeof dashPatterns[0] ? s : 0];
}

// Rows outside the clip rectangle draw nothing: a run reaching far off the screen is not walked.
static void vspanWide(int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
    const GUI_RECT &c = GUI_Context.ClipRect;
    if (y0 < c.y0) y0 = c.y0;
    if (y1 > c.y1) y1 = c.y1;
    for (int32_t y = y0; y <= y1; y++) GUI__Span(x0, x1, y);
}

static void vspan(int32_t x, int32_t y0, int32_t y1) {
    vspanWide(x, x, y0, y1);
}

// A vertical run straight into the frame buffer (screen coordinates, clipped here).
static void screenVLine(int32_t x, int32_t y0, int32_t y1) {
    const GUI_RECT &c = GUI_Context.ClipRect;
    if (x < c.x0 || x > c.x1) return;
    if (y0 < c.y0) y0 = c.y0;
    if (y1 > c.y1) y1 = c.y1;
    if (y0 > y1) return;
    LCD_PIXELINDEX *p = LCD__pVRAM + y0 * LCD__XSize + x;
    int32_t n = y1 - y0 + 1;
    if (GUI_Context.DrawMode & GUI_DRAWMODE_XOR) {
        for (; n; n--, p += LCD__XSize) *p ^= 0xFFFF;
    } else {
        LCD_PIXELINDEX v = LCD__DrawIndex();
        for (; n; n--, p += LCD__XSize) *p = v;
    }
}

void GUI__Line1(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int) {
    const DashPattern &pat = currentPattern();
    bool solid = pat.length == 1;
    if (solid && y0 == y1) {
        GUI__Span(x0 < x1 ? x0 : x1, x0 < x1 ? x1 : x0, y0);
        return;
    }
    int32_t dx = x1 - x0, dy = y1 - y0;
    int32_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    // Always walk from the smaller major coordinate so that both directions give the same pixels.
    if ((adx >= ady && dx < 0) || (adx < ady && dy < 0)) {
        int32_t t = x0;
        x0 = x1;
        x1 = t;
        t = y0;
        y0 = y1;
        y1 = t;
        dx = -dx;
        dy = -dy;
    }
    if (solid && dx == 0) {
        vspan(x0, y0, y1);
        return;
    }
    int32_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const bool xMajor = adx > ady;
    const int64_t n = xMajor ? adx : ady;
    const int64_t minor = xMajor ? ady : adx;
    // Only the steps whose major coordinate lies inside the clip rectangle can touch a pixel: the
    // walk starts where the line enters that band and ends where it leaves, so that a line reaching
    // far off the screen costs no more than one across it.
    const GUI_RECT &c = GUI_Context.ClipRect;
    const int64_t lo = xMajor ? c.x0 : c.y0, hi = xMajor ? c.x1 : c.y1;
    const int64_t from = xMajor ? x0 : y0, step = xMajor ? sx : sy;
    int64_t first = step > 0 ? lo - from : from - hi, last = step > 0 ? hi - from : from - lo;
    if (first < 0) first = 0;
    if (last > n) last = n;
    if (first > last) return;
    // err counts in units of 2*n; a tie goes to the earlier step, the same from either end because
    // the walk always starts at the same end. After i steps the minor coordinate has moved m times,
    // the least m that leaves err at or below 0 (64 bits: 2*n overflows 32 for far-off ends).
    int64_t moved = 0;
    if (n > 0 && 2 * minor * first - n > 0) moved = (2 * minor * first - n + 2 * n - 1) / (2 * n);
    int64_t err = -n + 2 * minor * first - 2 * n * moved;
    int32_t x = (int32_t)(x0 + (xMajor ? first * sx : moved * sx));
    int32_t y = (int32_t)(y0 + (xMajor ? moved * sy : first * sy));
    if (solid && !xMajor && !(GUI_Context.DrawMode & GUI_DRAWMODE_XOR)) {
        // A steep solid line has one pixel per row: written straight into its row (no mask can be
        // open outside XOR mode), the row band already cut to the clip rectangle.
        LCD_PIXELINDEX v = LCD__DrawIndex(), *row = LCD__pVRAM + y * LCD__XSize;
        int32_t stride = sy * LCD__XSize;
        for (int64_t i = first; i <= last; i++, row += stride) {
            if (x >= c.x0 && x <= c.x1) row[x] = v;
            err += 2 * minor;
            if (err > 0) {
                err -= 2 * n;
                x += sx;
            }
        }
        return;
    }
    int32_t runStart = 0, runY = 0, runEnd = 0, runOpen = 0;
    int32_t phase = (int32_t)(first % pat.length);
    for (int64_t i = first; i <= last; i++) {
        bool on = (pat.bits >> phase) & 1;
        if (++phase == pat.length) phase = 0;
        if (on) {
            if (runOpen && runY == y && x == runEnd + sx) {
                runEnd = x;
            } else {
                if (runOpen)
                    GUI__Span(runStart < runEnd ? runStart : runEnd, runStart < runEnd ? runEnd : runStart,
                              runY);
                runStart = runEnd = x;
                runY = y;
                runOpen = 1;
            }
        }
        err += 2 * minor;
        if (err > 0) {
            err -= 2 * n;
            if (xMajor)
                y += sy;
            else
                x += sx;
        }
        if (xMajor)
            x += sx;
        else
            y += sy;
    }
    if (runOpen)
        GUI__Span(runStart < runEnd ? runStart : runEnd, runStart < runEnd ? runEnd : runStart, runY);
}

// Floor division for the rasterisers.
static int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) q--;
    return q;
}

uint32_t GUI__ISqrt64(uint64_t v) {
    uint64_t res = 0, bit = (uint64_t)1 << 62;
    while (bit > v) bit >>= 2;
    while (bit) {
        if (v >= res + bit) {
            v -= res + bit;
            res = (res >> 1) + bit;
        } else {
            res >>= 1;
        }
        bit >>= 2;
    }
    return (uint32_t)res;
}

void GUI__Dot(int32_t x, int32_t y, int32_t size, uint8_t shape) {
    if (size <= 1) {
        GUI__Span(x, x, y);
        return;
    }
    int32_t lo = -(size / 2), hi = lo + size - 1;
    if (shape != GUI_PS_ROUND) {
        for (int32_t dy = lo; dy <= hi; dy++) GUI__Span(x + lo, x + hi, y + dy);
        return;
    }
    // A pixel belongs to the round dot when its centre lies inside the circle of diameter size
    // around the dot's centre (half a pixel up and left for even sizes): (2dx+e)^2 + (2dy+e)^2 < size^2.
    int32_t e = (size & 1) ? 0 : 1;
    int32_t s2 = size * size;
    for (int32_t dy = lo; dy <= hi; dy++) {
        int32_t v = 2 * dy + e;
        int32_t r = s2 - v * v;
        if (r <= 0) continue;
        int32_t q = (int32_t)GUI__ISqrt64((uint64_t)(r - 1)); // largest q with q*q < r
        int32_t a = (int32_t)-floorDiv(q + e, 2);             // ceil((-q - e) / 2)
        int32_t b = (int32_t)floorDiv(q - e, 2);
        if (a <= b) GUI__Span(x + a, x + b, y + dy);
    }
}

// A wide segment between two points given in 1/256 pixel; ends extended by ext (1/256 pixel).
static void wideSegmentFixed(int32_t fx0, int32_t fy0, int32_t fx1, int32_t fy1, int32_t w, int32_t ext) {
    int64_t dx = fx1 - fx0, dy = fy1 - fy0;
    int64_t len = GUI__ISqrt64((uint64_t)(dx * dx + dy * dy));
    if (len == 0) return;
    int64_t half = (int64_t)w * 128;
    int32_t nx = (int32_t)(-dy * half / len), ny = (int32_t)(dx * half / len);
    int32_t ex = (int32_t)(dx * ext / len), ey = (int32_t)(dy * ext / len);
    int32_t xs[4] = {fx0 - ex + nx, fx1 + ex + nx, fx1 + ex - nx, fx0 - ex - nx};
    int32_t ys[4] = {fy0 - ey + ny, fy1 + ey + ny, fy1 + ey - ny, fy0 - ey - ny};
    GUI__FillPolyFixed(xs, ys, 4);
}

// Cuts a segment to a box far around any screen, so that the fixed-point rasteriser (24.8 bits)
// never meets a coordinate it cannot hold; a segment inside the box stays exactly as given. False
// when nothing of it is inside.
static bool cutToBox(int32_t &x0, int32_t &y0, int32_t &x1, int32_t &y1) {
    const int64_t box = 1 << 20;
    auto inside = [&](int32_t v) { return v >= -box && v <= box; };
    if (inside(x0) && inside(y0) && inside(x1) && inside(y1)) return true;
    double t0 = 0, t1 = 1, dx = (double)x1 - x0, dy = (double)y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {(double)x0 + box, box - (double)x0, (double)y0 + box, box - (double)y0};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0 && t > t0) t0 = t;
        if (p[i] > 0 && t < t1) t1 = t;
    }
    if (t0 > t1) return false;
    double ax = x0 + t0 * dx, ay = y0 + t0 * dy, bx = x0 + t1 * dx, by = y0 + t1 * dy;
    x0 = (int32_t)lround(ax);
    y0 = (int32_t)lround(ay);
    x1 = (int32_t)lround(bx);
    y1 = (int32_t)lround(by);
    return true;
}

static void wideSegment(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t w, uint8_t shape) {
    if (x0 == x1 && y0 == y1) {
        GUI__Dot(x0, y0, w, shape);
        return;
    }
    if (shape == GUI_PS_ROUND) {
        GUI__Dot(x0, y0, w, shape);
        GUI__Dot(x1, y1, w, shape);
    }
    if (!cutToBox(x0, y0, x1, y1)) return;
    // Even widths sit half a pixel up and left of the line, as the dots do.
    int32_t off = (w & 1) ? 0 : -128;
    int32_t ext = shape == GUI_PS_SQUARE ? w * 128 : 128;
    if (x0 == x1 || y0 == y1) { // axis-parallel: an exact rectangle
        int32_t lo = -(w / 2), hi = lo + w - 1;
        int32_t ax = x0 < x1 ? x0 : x1, bx = x0 < x1 ? x1 : x0;
        int32_t ay = y0 < y1 ? y0 : y1, by = y0 < y1 ? y1 : y0;
        int32_t e = shape == GUI_PS_SQUARE ? w / 2 : 0;
        if (y0 == y1)
            for (int32_t y = ay + lo; y <= ay + hi; y++) GUI__Span(ax - e, bx + e, y);
        else
            vspanWide(ax + lo, ax + hi, ay - e, by + e);
        return;
    }
    wideSegmentFixed(x0 * 256 + off, y0 * 256 + off, x1 * 256 + off, y1 * 256 + off, w, ext);
}

void GUI__LineWide(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    int32_t w = GUI_Context.PenSize;
    uint8_t shape = GUI_Context.PenShape;
    const DashPattern &pat = currentPattern();
    if (w <= 1) {
        GUI__Line1(x0, y0, x1, y1, 0);
        return;
    }
    if (pat.length == 1) {
        wideSegment(x0, y0, x1, y1, w, shape);
        return;
    }
    // Dashes of a wide line: the pattern scaled by the pen size; each dash is a wide segment whose
    // ends (with their caps) stay inside the dash's share of the line.
    int32_t runLen[32];
    bool runOn[32];
    int32_t runs = 0;
    for (int32_t i = 0; i < pat.length; i++) {
        bool on = (pat.bits >> i) & 1;
        if (runs == 0 || runOn[runs - 1] != on) {
            runOn[runs] = on;
            runLen[runs++] = 0;
        }
        runLen[runs - 1]++;
    }
    int64_t dx = x1 - x0, dy = y1 - y0;
    int64_t len = GUI__ISqrt64((uint64_t)(dx * dx + dy * dy) << 16); // 1/256 pixel
    int64_t unit = (int64_t)w * 256;
    int64_t t = 0;
    for (int32_t k = 0; t <= len; k = k + 1 == runs ? 0 : k + 1) {
        int64_t span = runLen[k] * unit;
        if (runOn[k]) {
            int64_t a = t + unit / 2, b = t + span - unit / 2;
            if (a > len) a = len;
            if (b > len) b = len;
            wideSegment(x0 + (int32_t)(dx * a / len), y0 + (int32_t)(dy * a / len),
                        x0 + (int32_t)(dx * b / len), y0 + (int32_t)(dy * b / len), w, shape);
        }
        t += span;
    }
}

// ---- polygon fill (shared with the polygon and wide-line code) -----------------------------------------
enum { MAX_POLY_POINTS = 256 };

void GUI__FillPolyFixed(const int32_t *xs, const int32_t *ys, int32_t n) {
    if (n < 3) return;
    if (n > MAX_POLY_POINTS) n = MAX_POLY_POINTS;
    int32_t ymin = ys[0], ymax = ys[0];
    for (int32_t i = 1; i < n; i++) {
        if (ys[i] < ymin) ymin = ys[i];
        if (ys[i] > ymax) ymax = ys[i];
    }
    // Rows whose centre y*256 lies in [ymin, ymax).
    int32_t r0 = (int32_t)-floorDiv(-(int64_t)ymin, 256);
    int32_t r1 = (int32_t)-floorDiv(-(int64_t)ymax, 256) - 1;
    const GUI_RECT &c = GUI_Context.ClipRect;
    if (r0 < c.y0) r0 = c.y0;
    if (r1 > c.y1) r1 = c.y1;
    int32_t cx[MAX_POLY_POINTS];
    int8_t cd[MAX_POLY_POINTS];
    for (int32_t row = r0; row <= r1; row++) {
        int64_t yc = (int64_t)row * 256;
        int32_t m = 0;
        for (int32_t i = 0; i < n; i++) {
            int32_t j = i + 1 == n ? 0 : i + 1;
            int64_t ya = ys[i], yb = ys[j];
            if (ya == yb) continue;
            int8_t dir = ya < yb ? 1 : -1;
            int64_t lo = ya < yb ? ya : yb, hi = ya < yb ? yb : ya;
            if (yc < lo || yc >= hi) continue;
            int64_t xa = xs[i], xb = xs[j];
            int32_t x = (int32_t)(xa + floorDiv((yc - ya) * (xb - xa), yb - ya));
            // insertion sort by x
            int32_t k = m++;
            while (k > 0 && cx[k - 1] > x) {
                cx[k] = cx[k - 1];
                cd[k] = cd[k - 1];
                k--;
            }
            cx[k] = x;
            cd[k] = dir;
        }
        int32_t wind = 0, start = 0;
        for (int32_t k = 0; k < m; k++) {
            int32_t before = wind;
            wind += cd[k];
            if (before == 0 && wind != 0) start = cx[k];
            if (before != 0 && wind == 0) {
                // Pixels whose centre x*256 lies in [start, cx[k]).
                int32_t a = (int32_t)-floorDiv(-(int64_t)start, 256);
                int32_t b = (int32_t)-floorDiv(-(int64_t)cx[k], 256) - 1;
                if (a <= b) GUI__Span(a, b, row);
            }
        }
    }
}

// ---- chains of segments ---------------------------------------------------------------------------------
void GUI__Chain(const GUI_POINT *points, int32_t count, int32_t x, int32_t y, int closed) {
    if (count <= 0) return;
    x = GUI__SX(x);
    y = GUI__SY(y);
    if (count == 1) {
        GUI__Dot(points[0].x + x, points[0].y + y, GUI_Context.PenSize, GUI_Context.PenShape);
        return;
    }
    int32_t segments = closed ? count : count - 1;
    for (int32_t i = 0; i < segments; i++) {
        const GUI_POINT &a = points[i], &b = points[i + 1 == count ? 0 : i + 1];
        GUI__LineWide(a.x + x, a.y + y, b.x + x, b.y + y);
    }
}

static void chainBox(const GUI_POINT *points, int32_t count, int32_t x, int32_t y, int32_t grow,
                     int32_t *box) {
    int32_t x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
    for (int32_t i = 1; i < count; i++) {
        if (points[i].x < x0) x0 = points[i].x;
        if (points[i].x > x1) x1 = points[i].x;
        if (points[i].y < y0) y0 = points[i].y;
        if (points[i].y > y1) y1 = points[i].y;
    }
    box[0] = GUI__SX(x0 + x) - grow;
    box[1] = GUI__SY(y0 + y) - grow;
    box[2] = GUI__SX(x1 + x) + grow;
    box[3] = GUI__SY(y1 + y) + grow;
}

// The pen reaches this far beyond a line's end points.
static int32_t penReach(void) {
    return GUI_Context.PenSize / 2 + 1;
}

void GUI_DrawPolygon(const GUI_POINT *points, int32_t count, int32_t x, int32_t y) {
    if (!points || count <= 0) return;
    int32_t box[4];
    chainBox(points, count, x, y, penReach(), box);
    int m = GUI__MaskBegin(box[0], box[1], box[2], box[3]);
    GUI__Chain(points, count, x, y, 1);
    GUI__MaskEnd(m);
}

void GUI_DrawPolyLine(const GUI_POINT *points, int32_t count, int32_t x, int32_t y) {
    if (!points || count <= 0) return;
    int32_t box[4];
    chainBox(points, count, x, y, penReach(), box);
    int m = GUI__MaskBegin(box[0], box[1], box[2], box[3]);
    GUI__Chain(points, count, x, y, 0);
    GUI__MaskEnd(m);
}

void GUI_FillPolygon(const GUI_POINT *points, int32_t count, int32_t x, int32_t y) {
    if (!points || count <= 0) return;
    if (count > MAX_POLY_POINTS) count = MAX_POLY_POINTS;
    int32_t box[4];
    chainBox(points, count, x, y, 0, box);
    int m = GUI__MaskBegin(box[0], box[1], box[2], box[3]);
    int32_t xs[MAX_POLY_POINTS], ys[MAX_POLY_POINTS];
    int32_t sx = GUI__SX(x), sy = GUI__SY(y);
    for (int32_t i = 0; i < count; i++) {
        xs[i] = (points[i].x + sx) * 256;
        ys[i] = (points[i].y + sy) * 256;
    }
    // The inside by pixel centres, plus the one-pixel edges: the fill covers exactly what its outline
    // and everything within it cover, as a filled rectangle covers its corners.
    GUI__FillPolyFixed(xs, ys, count);
    uint8_t style = GUI_SetLineStyle(GUI_LS_SOLID);
    for (int32_t i = 0; i < count; i++) {
        int32_t j = i + 1 == count ? 0 : i + 1;
        GUI__Line1(xs[i] / 256, ys[i] / 256, xs[j] / 256, ys[j] / 256, 0);
    }
    GUI_SetLineStyle(style);
    GUI__MaskEnd(m);
}

void GUI_RotatePolygon(GUI_POINT *dest, const GUI_POINT *src, int32_t count, float angle) {
    double s, c;
    GUI__SinCos((double)angle, &s, &c);
    for (int32_t i = 0; i < count; i++) {
        double x = src[i].x, y = src[i].y;
        double xr = x * c + y * s;
        double yr = -x * s + y * c;
        dest[i].x = (int16_t)(int32_t)xr;
        dest[i].y = (int16_t)(int32_t)yr;
    }
}

// ---- the line operations ----------------------------------------------------------------------------------
void GUI_DrawLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    x0 = GUI__SX(x0);
    x1 = GUI__SX(x1);
    y0 = GUI__SY(y0);
    y1 = GUI__SY(y1);
    if (GUI_Context.PenSize <= 1) {
        if (x0 == x1 && GUI_Context.LineStyle == GUI_LS_SOLID)
            screenVLine(x0, y0 < y1 ? y0 : y1, y0 < y1 ? y1 : y0);
        else
            GUI__Line1(x0, y0, x1, y1, 0); // never touches a pixel twice
        return;
    }
    int32_t g = penReach();
    int m = GUI__MaskBegin((x0 < x1 ? x0 : x1) - g, (y0 < y1 ? y0 : y1) - g, (x0 < x1 ? x1 : x0) + g,
                           (y0 < y1 ? y1 : y0) + g);
    GUI__LineWide(x0, y0, x1, y1);
    GUI__MaskEnd(m);
}

void GUI_DrawLineTo(int32_t x, int32_t y) {
    GUI_DrawLine(GUI_Context.DrawPosX, GUI_Context.DrawPosY, x, y);
    GUI_Context.DrawPosX = x;
    GUI_Context.DrawPosY = y;
}
void GUI_DrawLineRel(int32_t dx, int32_t dy) {
    GUI_DrawLineTo(GUI_Context.DrawPosX + dx, GUI_Context.DrawPosY + dy);
}
void GUI_MoveTo(int32_t x, int32_t y) {
    GUI_Context.DrawPosX = x;
    GUI_Context.DrawPosY = y;
}
void GUI_MoveRel(int32_t dx, int32_t dy) {
    GUI_Context.DrawPosX += dx;
    GUI_Context.DrawPosY += dy;
}

void GUI_DrawHLine(int32_t y, int32_t x0, int32_t x1) {
    if (x0 > x1) return;
    LCD__HLine(GUI__SX(x0), GUI__SX(x1), GUI__SY(y));
}

void GUI_DrawVLine(int32_t x, int32_t y0, int32_t y1) {
    if (y0 > y1) return;
    screenVLine(GUI__SX(x), GUI__SY(y0), GUI__SY(y1));
}
