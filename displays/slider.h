// Linear sliders: a background bitmap and a thumb bitmap dragged along one axis, its position mapped
// onto a value range by the charts' axis scaling. A slider is a plain touch area of the hotspot
// table (128..255) bound to one of eight slots; the dispatcher moves it (touch/touch.h).
#pragma once

#include <stdint.h>

#include "displays/chart.h"

enum { SLIDERS = 8 };

struct Slider {
    int32_t hotspot; // 128..255; -1 free
    ChartAxis axis;  // the track: the hotspot inset by half the thumb
    int32_t offset;  // thumb distance from the background's top (horizontal) or left (vertical) edge
    int32_t last;    // thumb centre along the axis at the last draw; -1 never drawn
    int32_t background, thumb; // bitmap numbers
    int32_t value;
};

extern Slider sliders[SLIDERS];

// 1, or 0 with the message for the host (none for a number outside 128..255).
int QV_Slider_Setup(int n, int orientation, int typematic, int32_t x, int32_t y, int32_t offset, int reversed,
                    int32_t max, int32_t min, int background, int thumb);
// Sets the value without a report; 0 when n has no slider or v lies outside [min, max].
int QV_Slider_Value(int n, int32_t v);
