// Touch controls still to come: sliders. Empty until their issues land.
#include "touch/touch.h"

#include "touch/hotspot.h"

void QV_Slider_Init(void) {}
int isXYinSlider(int32_t, int32_t) {
    return 0;
}
