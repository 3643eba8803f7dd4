// Circles, ellipses and arcs, built row by row from the half widths of a filled ellipse, so that every
// shape is symmetric about both axes, the outline is the border of the matching fill, and no pixel is
// emitted twice.
//
// A pixel (dx, dy) from the centre belongs to the filled ellipse of radii rx, ry when its centre lies
// inside the ellipse of radii rx + 1/2, ry + 1/2:
//   4 dx^2 (2ry+1)^2 + 4 dy^2 (2rx+1)^2 <= (2rx+1)^2 (2ry+1)^2   (for a circle: dx^2 + dy^2 <= r^2 + r).
#include "gfx/gui_private.h"

enum : int32_t { MAX_ELLIPSE_RADIUS = 16383 }; // keeps the ellipse test inside 64 bits

struct Ellipse {
    int32_t rx, ry;
    int64_t a, b; // (2rx+1)^2, (2ry+1)^2
    bool circle;
    bool empty;
};

static Ellipse makeEllipse(int32_t rx, int32_t ry) {
    Ellipse e;
    e.empty = rx < 0 || ry < 0;
    if (rx > MAX_ELLIPSE_RADIUS && rx != ry) rx = MAX_ELLIPSE_RADIUS;
    if (ry > MAX_ELLIPSE_RADIUS && rx != ry) ry = MAX_ELLIPSE_RADIUS;
    e.rx = rx;
    e.ry = ry;
    e.circle = rx == ry;
    // A circle uses its own test (r^2 + r fits for any radius); the squares would overflow there.
    e.a = e.circle ? 0 : (2 * (int64_t)rx + 1) * (2 * (int64_t)rx + 1);
    e.b = e.circle ? 0 : (2 * (int64_t)ry + 1) * (2 * (int64_t)ry + 1);
    return e;
}

// Half width of row dy of the filled ellipse, -1 outside it.
static int32_t halfWidth(const Ellipse &e, int32_t dy) {
    if (e.empty || dy < -e.ry || dy > e.ry) return -1;
    int64_t d2 = (int64_t)dy * dy;
    if (e.circle) return (int32_t)GUI__ISqrt64((uint64_t)((int64_t)e.rx * e.rx + e.rx - d2));
    return (int32_t)GUI__ISqrt64((uint64_t)((e.a * e.b - 4 * d2 * e.a) / (4 * e.b)));
}

// Row spans of a shape, as up to two runs relative to the centre column.
struct RowSpans {
    int32_t n;
    int32_t a[2], b[2];
};

// The one-pixel outline: pixels of the fill with a 4-neighbour outside it.
static RowSpans outlineRow(const Ellipse &e, int32_t dy) {
    RowSpans r;
    r.n = 0;
    int32_t h = halfWidth(e, dy);
    if (h < 0) return r;
    int32_t up = halfWidth(e, dy - 1), down = halfWidth(e, dy + 1);
    int32_t start = (up < down ? up : down) + 1;
    if (start > h) start = h;
    if (start <= 0) {
        r.n = 1;
        r.a[0] = -h;
        r.b[0] = h;
    } else {
        r.n = 2;
        r.a[0] = -h;
        r.b[0] = -start;
        r.a[1] = start;
        r.b[1] = h;
    }
    return r;
}

// The outline of pen width w: the fill of radii r + w/2 less the fill of radii r + w/2 - w.
static RowSpans ringRow(const Ellipse &outer, const Ellipse &inner, int32_t dy) {
    RowSpans r;
    r.n = 0;
    int32_t ho = halfWidth(outer, dy);
    if (ho < 0) return r;
    int32_t hi = halfWidth(inner, dy);
    if (hi < 0) {
        r.n = 1;
        r.a[0] = -ho;
        r.b[0] = ho;
    } else if (hi < ho) {
        r.n = 2;
        r.a[0] = -ho;
        r.b[0] = -hi - 1;
        r.a[1] = hi + 1;
        r.b[1] = ho;
    }
    return r;
}

static RowSpans fillRow(const Ellipse &e, int32_t dy) {
    RowSpans r;
    int32_t h = halfWidth(e, dy);
    r.n = h < 0 ? 0 : 1;
    r.a[0] = -h;
    r.b[0] = h;
    return r;
}

// Rows of the shape that are inside the clip rectangle.
static bool visibleRows(int32_t cy, int32_t reach, int32_t *from, int32_t *to) {
    const GUI_RECT &c = GUI_Context.ClipRect;
    int64_t lo = (int64_t)cy - reach, hi = (int64_t)cy + reach;
    if (lo < c.y0) lo = c.y0;
    if (hi > c.y1) hi = c.y1;
    *from = (int32_t)(lo - cy);
    *to = (int32_t)(hi - cy);
    return lo <= hi;
}

// Angle filter of arcs: a pixel is on the arc when its direction from the centre (in the ellipse's
// own coordinates, y upwards) lies in the sector from the start direction counter-clockwise to the end.
struct Sector {
    bool full;
    int32_t sweep;          // degrees, 0..359
    int64_t sx, sy, ex, ey; // start and end directions, 1/16384
};

static Sector makeSector(int32_t a0, int32_t a1) {
    Sector s;
    int64_t sweep = (int64_t)a1 - a0;
    s.full = sweep >= 360;
    if (sweep < 0) sweep = sweep % 360 + 360;
    if (sweep >= 360) sweep = 0;
    s.sweep = (int32_t)sweep;
    const double degree = 3.14159265358979323846 / 180.0;
    double sn, cs;
    GUI__SinCos((double)(a0 % 360) * degree, &sn, &cs);
    s.sx = (int64_t)(cs * 16384.0 + (cs < 0 ? -0.5 : 0.5));
    s.sy = (int64_t)(sn * 16384.0 + (sn < 0 ? -0.5 : 0.5));
    GUI__SinCos((double)(a1 % 360) * degree, &sn, &cs);
    s.ex = (int64_t)(cs * 16384.0 + (cs < 0 ? -0.5 : 0.5));
    s.ey = (int64_t)(sn * 16384.0 + (sn < 0 ? -0.5 : 0.5));
    return s;
}

static bool inSector(const Sector &s, int64_t px, int64_t py) {
    if (s.full) return true;
    int64_t cs = s.sx * py - s.sy * px; // start x p
    int64_t ce = px * s.ey - py * s.ex; // p x end
    if (s.sweep == 0) return cs == 0 && ce == 0 && px * s.sx + py * s.sy >= 0;
    if (s.sweep <= 180) return cs >= 0 && ce >= 0;
    // More than half a turn: outside only in the open sector from the end round to the start.
    return !(-ce > 0 && -cs > 0);
}

// Emits the rows of a shape; with a sector, only the pixels inside it.
template <typename RowFn>
static void emitRows(int32_t cx, int32_t cy, int32_t reach, const Sector *sector, int32_t rx, int32_t ry,
                     RowFn row) {
    int32_t from, to;
    if (!visibleRows(cy, reach, &from, &to)) return;
    const GUI_RECT &c = GUI_Context.ClipRect;
    int64_t kx = ry > 0 ? ry : 1, ky = rx > 0 ? rx : 1;
    for (int32_t dy = from; dy <= to; dy++) {
        RowSpans r = row(dy);
        for (int32_t k = 0; k < r.n; k++) {
            int64_t a = (int64_t)cx + r.a[k], b = (int64_t)cx + r.b[k];
            if (a < c.x0) a = c.x0;
            if (b > c.x1) b = c.x1;
            if (a > b) continue;
            if (!sector) {
                GUI__Span((int32_t)a, (int32_t)b, cy + dy);
                continue;
            }
            int64_t runStart = -1;
            for (int64_t x = a; x <= b + 1; x++) {
                bool on = x <= b && inSector(*sector, (x - cx) * kx, -(int64_t)dy * ky);
                if (on && runStart < 0) runStart = x;
                if (!on && runStart >= 0) {
                    GUI__Span((int32_t)runStart, (int32_t)(x - 1), cy + dy);
                    runStart = -1;
                }
            }
        }
    }
}

static void outlineShape(int32_t x0, int32_t y0, int32_t rx, int32_t ry, const Sector *sector) {
    if (rx < 0 || ry < 0) return;
    int32_t cx = GUI__SX(x0), cy = GUI__SY(y0);
    int32_t w = GUI_Context.PenSize;
    if (w <= 1) {
        Ellipse e = makeEllipse(rx, ry);
        emitRows(cx, cy, e.ry, sector, e.rx, e.ry, [&](int32_t dy) { return outlineRow(e, dy); });
        return;
    }
    int32_t o = w / 2;
    Ellipse outer = makeEllipse(rx + o, ry + o);
    Ellipse inner = makeEllipse(rx + o - w, ry + o - w);
    if (inner.rx < 0 || inner.ry < 0) inner.empty = true;
    emitRows(cx, cy, outer.ry, sector, rx, ry, [&](int32_t dy) { return ringRow(outer, inner, dy); });
}

static void fillShape(int32_t x0, int32_t y0, int32_t rx, int32_t ry) {
    if (rx < 0 || ry < 0) return;
    Ellipse e = makeEllipse(rx, ry);
    emitRows(GUI__SX(x0), GUI__SY(y0), e.ry, nullptr, rx, ry, [&](int32_t dy) { return fillRow(e, dy); });
}

void GUI_DrawCircle(int32_t x0, int32_t y0, int32_t r) {
    outlineShape(x0, y0, r, r, nullptr);
}
void GUI_FillCircle(int32_t x0, int32_t y0, int32_t r) {
    fillShape(x0, y0, r, r);
}
void GUI_DrawEllipse(int32_t x0, int32_t y0, int32_t rx, int32_t ry) {
    outlineShape(x0, y0, rx, ry, nullptr);
}
void GUI_FillEllipse(int32_t x0, int32_t y0, int32_t rx, int32_t ry) {
    fillShape(x0, y0, rx, ry);
}

void GL_DrawArc(int32_t x0, int32_t y0, int32_t rx, int32_t ry, int32_t a0, int32_t a1) {
    Sector s = makeSector(a0, a1);
    outlineShape(x0, y0, rx, ry, &s);
}
