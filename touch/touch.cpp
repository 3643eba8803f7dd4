// Touch controls still to come: calibration. Empty until their issues land.
#include "touch/touch.h"

#include "touch/hotspot.h"

void doCalibration(void) {}
// Buttons draw their faces once they are built.
void QV_Button_Draw(int) {}
