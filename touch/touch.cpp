// Touch input and controls. Empty until their issues land.
#include "touch/touch.h"

void QV_Touch_Init(void) {}
void QV_Update_Touch(void) {}
void ButtonTimer(void) {}
void handle_touch(void) {}
int GetPenState(void) {
    return 0;
}
void QV_Slider_Init(void) {}
void doCalibration(void) {}
