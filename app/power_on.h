// The power-on screen: splash or version text, power-on calibration, the demo or power-on macro,
// and the first prompt.
#pragma once

void powerOnScreen(void);
