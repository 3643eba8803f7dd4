// Meters. Angles: the sweep runs from startAngle towards endAngle with decreasing angle, and is
// worked out from the angles as the host gave them. The angle-sense setting that turns polygon
// rotation around mirrors only what is drawn (needle and arcs), never the sweep, so a meter from
// 225 to 315 degrees sweeps 270 degrees either way. An arc angle is the needle's drawn angle
// + 270 (the needle at rotation 0 points down, the arcs count from three o'clock).
#include "displays/meter.h"

#include <stdlib.h>
#include <string.h>

#include "base/console.h"
#include "gfx/gfx_state.h"
#include "resource/bitmap.h"
#include "resource/resource.h"

__attribute__((weak)) void wvr(int row);

Meter meters[METERS];

void QV_Meter_Init(void) {
    for (Meter &m : meters) {
        m = Meter{};
        m.background = -1;
    }
}

static int32_t sweepOf(const Meter &m) {
    int32_t s = ((m.startAngle + 360 - m.endAngle) % 360 + 360) % 360;
    return s == 0 ? 360 : s;
}

// Needle angle of v in whole degrees (truncated), as the arcs use it.
static int32_t angleOf(const Meter &m, int32_t v) {
    return m.startAngle - (int32_t)((int64_t)sweepOf(m) * ((int64_t)v - m.min) / ((int64_t)m.max - m.min));
}

static int32_t norm360(int32_t a) {
    return ((a % 360) + 360) % 360;
}

// The arc between needle angles hi (reached first, at the lower value) and lo, in drawing degrees:
// the start and the counter-clockwise extent.
static void arcSpan(int32_t hi, int32_t lo, int32_t *start, int32_t *extent) {
    *extent = hi - lo;
    *start = norm360((angleSense ? 360 - hi : lo) + 270);
}

static void drawArc(const Meter &m, int32_t start, int32_t extent, GUI_COLOR colour, int32_t width) {
    if (extent <= 0) return;
    GUI_SetColor(colour);
    GUI_SetPenSize((uint8_t)width);
    GL_DrawArc(m.pivotX, m.pivotY, m.arcRadius, m.arcRadius, start, start + extent);
}

static bool hasBand(const Meter &m) {
    return m.bandColour != -1;
}

// The scale arc over the whole sweep (band meters), then the band over it.
static void drawArcs(const Meter &m) {
    if (!hasBand(m)) return;
    int32_t start, extent;
    arcSpan(m.startAngle, m.startAngle - sweepOf(m), &start, &extent);
    if (m.scale) drawArc(m, start, extent, (GUI_COLOR)m.scaleColour, m.penWidth);
    drawArc(m, m.bandStart, m.bandEnd - m.bandStart, (GUI_COLOR)m.bandColour, m.penWidth);
}

static void setBandAngles(Meter &m) {
    int32_t start, extent;
    arcSpan(angleOf(m, m.bandLow), angleOf(m, m.bandHigh), &start, &extent);
    m.bandStart = start;
    m.bandEnd = start + extent;
}

static const double DEGREE = 3.14159265358979323846 / 180.0;

// The needle rotated by `degrees` of needle angle from the stored polygon.
static void rotated(const Meter &m, double degrees, GUI_POINT *out) {
    if (angleSense) degrees = -degrees;
    GUI_RotatePolygon(out, m.polygon, m.count, (float)(degrees * DEGREE));
}

static void boxOf(const Meter &m, const GUI_POINT *p, int16_t *box) {
    if (m.count < 1) {
        box[0] = box[1] = 1023;
        box[2] = box[3] = 0;
        return;
    }
    int32_t x0 = p[0].x, y0 = p[0].y, x1 = p[0].x, y1 = p[0].y;
    for (int k = 1; k < m.count; k++) {
        if (p[k].x < x0) x0 = p[k].x;
        if (p[k].x > x1) x1 = p[k].x;
        if (p[k].y < y0) y0 = p[k].y;
        if (p[k].y > y1) y1 = p[k].y;
    }
    box[0] = (int16_t)(m.pivotX + x0);
    box[1] = (int16_t)(m.pivotY + y0);
    box[2] = (int16_t)(m.pivotX + x1);
    box[3] = (int16_t)(m.pivotY + y1);
}

// What lay under a part of the meter: the background and the arcs, inside the box.
static bool restoreBox(const Meter &m, GUI_RECT box, bool arcs) {
    const ExtRecord *rec = QV_GetExtBitmap(m.background);
    if (!rec) return false;
    if (wvr) wvr(box.y1);
    GUI_RECT saved;
    if (box.x0 > box.x1 || box.y0 > box.y1) return true;
    GUI_GetClipRect(&saved);
    GUI_SetClipRect(&box);
    QV_DrawBitmap(rec, m.x, m.y);
    if (arcs) drawArcs(m);
    GUI_SetClipRect(&saved);
    return true;
}

static bool restoreUnderNeedle(const Meter &m) {
    return restoreBox(m, GUI_RECT{m.box[0], m.box[1], m.box[2], m.box[3]}, true);
}

static void drawNeedle(Meter &m, int32_t v, GUI_COLOR colour) {
    GUI_POINT outline[METER_POINTS];
    rotated(m, (double)((int64_t)m.refValue - v) * sweepOf(m) / (double)((int64_t)m.max - m.min), outline);
    boxOf(m, outline, m.box);
    m.lastValue = v;
    if (wvr) wvr(m.box[3]);
    GUI_SetColor(colour);
    GUI_FillPolygon(outline, m.count, m.pivotX, m.pivotY);
}

// ---- definition ----------------------------------------------------------------------------------------

static bool number(char **p, int32_t *v) {
    char *end;
    long x = strtol(*p, &end, 10);
    if (end == *p) return false;
    if (x > INT32_MAX) x = INT32_MAX;
    if (x < INT32_MIN) x = INT32_MIN;
    *v = (int32_t)x;
    *p = end;
    return true;
}

// A colour word of at most 3 characters, as "%3s" reads it.
static bool word3(char **p, char *w) {
    char *s = *p;
    while (*s == ' ' || *s == '\t') s++;
    int n = 0;
    while (n < 3 && s[n] && s[n] != ' ' && s[n] != '\t') {
        w[n] = s[n];
        n++;
    }
    w[n] = 0;
    *p = s + n;
    return n > 0;
}

static bool penWidthOk(int32_t w) {
    return w >= 1 && w <= LCD_GetXSize() && w <= LCD_GetYSize();
}

int meterDefine(char *line) {
    bool band = line[2] == 'b';
    char *p = line + (band ? 4 : 3);
    // n bitmap x y (unused) min max initial start end
    int32_t head[10], bandF[4] = {0, 0, 0, 0}, rest[22];
    char words[2][4] = {"", ""};
    int fields = 0, got = 0;
    while (got < 10 && number(&p, &head[got])) got++;
    fields = got;
    if (band && got == 10) {
        while (got < 14 && number(&p, &bandF[got - 10])) got++;
        fields = got;
        if (got == 14 && word3(&p, words[0])) fields++;
        if (fields == 15 && word3(&p, words[1])) fields++;
    }
    int pairsNumbers = 0;
    if (fields == (band ? 16 : 10))
        while (pairsNumbers < 22 && number(&p, &rest[pairsNumbers])) pairsNumbers++;
    fields += pairsNumbers;
    if (fields < (band ? 24 : 18)) {
        pout(":missing argument(s)");
        return 0;
    }
    int32_t n = head[0], bitmap = head[1], min = head[5], max = head[6], initial = head[7];
    if (n < 0 || n >= METERS) {
        pout(":index %d > max %d\r", (int)n, METERS);
        return 0;
    }
    const ExtRecord *rec = QV_GetExtBitmap(bitmap);
    if (!rec) {
        pout(":bitmap %d invalid\r", (int)bitmap);
        return 0;
    }
    if (!screenCompressedBitmap(rec)) return 0;
    // An empty range has no angles to scale into.
    if (initial < min || initial > max || max <= min) {
        pout(":Initial value out of range");
        return 0;
    }
    GUI_COLOR bandColour = 0, scaleColour = 0;
    if (band) {
        int b = atoBGR(words[0]), s = atoBGR(words[1]);
        if (b < 0 || s < 0) return 0;
        bandColour = (GUI_COLOR)b;
        scaleColour = (GUI_COLOR)s;
    }
    Meter &m = meters[n];
    m = Meter{};
    m.x = head[2] + Origin_X;
    m.y = head[3] + Origin_Y;
    m.background = bitmap;
    m.min = min;
    m.max = max;
    m.refValue = initial;
    m.startAngle = head[8];
    m.endAngle = head[9];
    m.needleColour = m.bandNeedleColour = GUI_GetColor();
    m.count = (uint8_t)(pairsNumbers / 2 - 1);
    m.pivotX = (int16_t)(m.x + rest[0]);
    m.pivotY = (int16_t)(m.y + rest[1]);
    for (int k = 0; k < m.count; k++)
        m.polygon[k] = GUI_POINT{(int16_t)rest[2 + 2 * k], (int16_t)rest[3 + 2 * k]};
    m.bandColour = -1;
    GUI_CONTEXT saved;
    GUI_SaveContext_M(&saved);
    QV_DrawBitmap(rec, m.x, m.y);
    if (band) {
        m.bandLow = bandF[0];
        m.bandHigh = bandF[1];
        m.arcRadius = bandF[2];
        m.penWidth = bandF[3];
        m.bandColour = (int32_t)bandColour;
        m.scaleColour = (int32_t)scaleColour;
        m.scale = 1;
        if (!penWidthOk(m.penWidth)) {
            GUI_RestoreContext(&saved);
            m.background = -1;
            pout(":pen width out of range");
            return 0;
        }
        setBandAngles(m);
        drawArcs(m);
    }
    // The stored outline takes the initial value's angle; later values rotate from it.
    GUI_POINT given[METER_POINTS];
    memcpy(given, m.polygon, sizeof given);
    double deg = m.startAngle - (double)sweepOf(m) * ((double)initial - min) / ((double)max - min);
    GUI_RotatePolygon(m.polygon, given, m.count, (float)((angleSense ? 360 - deg : deg) * DEGREE));
    boxOf(m, m.polygon, m.box);
    m.lastValue = initial;
    GUI_SetColor(m.needleColour);
    GUI_FillPolygon(m.polygon, m.count, m.pivotX, m.pivotY);
    GUI_RestoreContext(&saved);
    return 1;
}

// ---- values ---------------------------------------------------------------------------------------------

static Meter *valueMeter(int n, int32_t v) {
    if (n < 0 || n >= METERS) return nullptr;
    Meter &m = meters[n];
    if (m.background < 0 || v < m.min || v > m.max || !QV_GetExtBitmap(m.background)) return nullptr;
    return &m;
}

int meterValue(int n, int32_t v) {
    Meter *m = valueMeter(n, v);
    if (!m) return 0;
    if (v == m->lastValue) return 1;
    GUI_CONTEXT saved;
    GUI_SaveContext_M(&saved);
    restoreUnderNeedle(*m);
    drawNeedle(*m, v, m->needleColour);
    GUI_RestoreContext(&saved);
    return 1;
}

GUI_COLOR meterBandNeedleColour(int n) {
    return n >= 0 && n < METERS ? meters[n].bandNeedleColour : 0;
}

int meterValueband(int n, int32_t v, const MeterBand *band, GUI_COLOR colour) {
    Meter *mp = valueMeter(n, v);
    if (!mp) return 0;
    Meter &m = *mp;
    if (band && !penWidthOk(band->penWidth)) {
        pout(":pen width out of range");
        return 0;
    }
    bool valueChanged = v != m.lastValue, colourChanged = colour != m.bandNeedleColour;
    bool bandChanged = band && (band->low != m.bandLow || band->high != m.bandHigh ||
                                (int32_t)band->colour != m.bandColour || band->radius != m.arcRadius ||
                                band->penWidth != m.penWidth);
    if (!valueChanged && !colourChanged && !bandChanged) return 1;
    GUI_CONTEXT saved;
    GUI_SaveContext_M(&saved);
    if (valueChanged) restoreUnderNeedle(m);
    if (valueChanged || colourChanged) {
        m.bandNeedleColour = colour;
        drawNeedle(m, v, colour);
    }
    if (bandChanged) {
        if (m.scale) {
            // The old band goes back to the scale colour, then the new band is drawn over the scale.
            drawArc(m, m.bandStart, m.bandEnd - m.bandStart, (GUI_COLOR)m.scaleColour, m.penWidth);
        } else if (hasBand(m)) {
            // No scale under the old band: the background comes back around its circle, needle included.
            int32_t r = m.arcRadius + m.penWidth;
            restoreBox(m, GUI_RECT{m.pivotX - r, m.pivotY - r, m.pivotX + r, m.pivotY + r}, false);
        }
        m.bandLow = band->low;
        m.bandHigh = band->high;
        m.arcRadius = band->radius;
        m.penWidth = band->penWidth;
        m.bandColour = (int32_t)band->colour;
        setBandAngles(m);
        drawArc(m, m.bandStart, m.bandEnd - m.bandStart, band->colour, m.penWidth);
        if (!m.scale) drawNeedle(m, m.lastValue, m.bandNeedleColour);
    }
    GUI_RestoreContext(&saved);
    return 1;
}
