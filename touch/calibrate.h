// Touch calibration: the full-screen procedure behind "tc" and the power-on touch (doCalibration,
// declared with getCalPoint in touch/touch.h), and its verification step.
#pragma once

// Circle n (1..4) at (x, y): 1 once the calibrated position hits it within 12 pixels, 0 when no
// touch came for timeoutSeconds.
int doVerify(int x, int y, int n, int timeoutSeconds);

int cmd_tc(char *line);
