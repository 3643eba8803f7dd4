// Linear sliders. The thumb is redrawn only when its position changes: the background it covered
// comes back, then the thumb is drawn at the new place, after the panel's scan has passed it.
#include "displays/slider.h"

#include "base/console.h"
#include "macro/macro.h"
#include "resource/bitmap.h"
#include "resource/resource.h"
#include "touch/hotspot.h"
#include "touch/touch.h"

__attribute__((weak)) void wvr(int row);

Slider sliders[SLIDERS];

void QV_Slider_Init(void) {
    for (Slider &s : sliders) s = Slider{-1, {}, 0, -1, 0, 0, 0};
}

void QV_Slider_Unset(int slot) {
    if (slot >= 0 && slot < SLIDERS) sliders[slot] = Slider{-1, {}, 0, -1, 0, 0, 0};
}

int QV_Slider_Find(int n) {
    if (n < 0 || n >= HOTSPOTS) return -1;
    for (int k = 0; k < SLIDERS; k++)
        if (sliders[k].hotspot == n) return k;
    return -1;
}

int32_t QV_Slider_GetValue(int slot) {
    return slot >= 0 && slot < SLIDERS ? sliders[slot].value : 0;
}

// Every slot is looked at, so a slider stored after a freed slot is still followed while dragged.
int isXYinSlider(int32_t x, int32_t y) {
    for (const Slider &s : sliders) {
        if (s.hotspot < 0) continue;
        const HotSpot &h = TouchHotSpots[s.hotspot];
        if (x >= h.x1 && x <= h.x2 && y >= h.y1 && y <= h.y2) return 1;
    }
    return 0;
}

bool macroSliderValue(int id, int32_t *value) {
    int slot = QV_Slider_Find(id);
    if (slot < 0) return false;
    *value = sliders[slot].value;
    return true;
}

int32_t QV_Slider_Touched(int slot, int32_t x, int32_t y) {
    if (slot < 0 || slot >= SLIDERS || sliders[slot].hotspot < 0) return 0;
    Slider &s = sliders[slot];
    const HotSpot &h = TouchHotSpots[s.hotspot];
    const ExtRecord *bg = QV_GetExtBitmap(s.background), *th = QV_GetExtBitmap(s.thumb);
    if (!bg || !th) return 0;
    bool horizontal = s.axis.orientation == AXIS_HORIZONTAL;
    int32_t p = horizontal ? x : y, first = horizontal ? s.axis.x1 : s.axis.y1,
            end = horizontal ? s.axis.x2 : s.axis.y2;
    if (p < first) p = first;
    if (p > end) p = end;
    if (p == s.last) return s.value;
    int32_t tw = QV_BitmapWidth(th), tht = QV_BitmapHeight(th);
    int32_t half = (horizontal ? tw : tht) - 1;
    if (p - half / 2 < 0) return 0;
    // The thumb's corner for a centre at c along the axis.
    auto corner = [&](int32_t c, int32_t *tx, int32_t *ty) {
        *tx = horizontal ? c - half / 2 : h.x1 + s.offset;
        *ty = horizontal ? h.y1 + s.offset : c - half / 2;
    };
    int32_t tx, ty;
    corner(p, &tx, &ty);
    if (wvr) wvr(ty + tht / 2);
    if (s.last >= 0) {
        int32_t ox, oy;
        corner(s.last, &ox, &oy);
        QV_DrawBitmapClipAbs(bg, h.x1, h.y1, ox < h.x1 ? h.x1 : ox, oy < h.y1 ? h.y1 : oy, ox + tw - 1,
                             oy + tht - 1);
    }
    QV_DrawBitmap(th, tx, ty);
    s.last = p;
    s.value = QV_Chart_pixel_to_value(&s.axis, p);
    return s.value;
}

int QV_Slider_Setup(int n, int orientation, int typematic, int32_t x, int32_t y, int32_t offset, int reversed,
                    int32_t max, int32_t min, int background, int thumb) {
    if (n < BUTTON_SPOTS || n >= HOTSPOTS) return 0;
    int slot = QV_Slider_Find(n);
    for (int k = 0; slot < 0 && k < SLIDERS; k++)
        if (sliders[k].hotspot < 0) slot = k;
    if (slot < 0) {
        pout("max sliders\r");
        return 0;
    }
    if (offset < 0) {
        pout("offset must be >= 0\r");
        return 0;
    }
    const ExtRecord *bg = QV_GetExtBitmap(background);
    if (!bg) {
        pout("bad background bitmap\r");
        return 0;
    }
    int32_t bw = QV_BitmapWidth(bg), bh = QV_BitmapHeight(bg);
    if (x < 0 || y < 0 || x + bw > LCD_GetXSize() || y + bh > LCD_GetYSize()) {
        pout("bad background bitmap size or location\r");
        return 0;
    }
    const ExtRecord *th = QV_GetExtBitmap(thumb);
    if (!th) {
        pout("bad slider bitmap\r");
        return 0;
    }
    int32_t tw = QV_BitmapWidth(th), tht = QV_BitmapHeight(th);
    bool horizontal = orientation == AXIS_HORIZONTAL;
    bool fits = horizontal ? tw < bw && tht + offset <= bh : tht < bh && tw + offset <= bw;
    // The axis takes orientations 0 and 1 only; another value fails here, before anything changes.
    if (!fits || (orientation != AXIS_VERTICAL && !horizontal)) {
        pout("bad slider size or offset\r");
        return 0;
    }
    QV_Touch_HotSpot_Set(n, HS_AREA, x, y, x + bw - 1, y + bh - 1, HF_REPORTS, typematic ? HF2_TYPEMATIC : 0);
    Slider &s = sliders[slot];
    s = Slider{n, {}, offset, -1, background, thumb, min};
    QV_Chart_Common(&s.axis, x + tw / 2, y + tht / 2, x + bw - 1 - tw / 2, y + bh - 1 - tht / 2, orientation,
                    reversed ? AXIS_REVERSED : 0, max, min);
    QV_DrawBitmap(bg, x, y);
    int32_t at = reversed ? (horizontal ? s.axis.x2 : s.axis.y2) : (horizontal ? s.axis.x1 : s.axis.y1);
    QV_Slider_Touched(slot, at, at);
    s.value = min;
    return 1;
}

int QV_Slider_Value(int n, int32_t v) {
    int slot = QV_Slider_Find(n);
    if (slot < 0) return 0;
    Slider &s = sliders[slot];
    if (v < s.axis.min || v > s.axis.max) return 0;
    int32_t p = QV_Chart_value_to_pixel(&s.axis, v);
    if (p < 0) p = 0;
    bool horizontal = s.axis.orientation == AXIS_HORIZONTAL, reversed = s.axis.flags & AXIS_REVERSED;
    int32_t first = horizontal ? s.axis.x1 : s.axis.y1, end = horizontal ? s.axis.x2 : s.axis.y2;
    int32_t at = reversed ? end - p : first + p;
    QV_Slider_Touched(slot, at, at);
    // The value set stays, not the one the thumb's pixel would give.
    s.value = v;
    return 1;
}
