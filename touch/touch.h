// Touch sampling, hotspots and controls: what the main loop and the tick call.
#pragma once

#include <stdint.h>

void QV_Touch_Init(void);
void QV_Update_Touch(void); // from the 1 ms tick
void ButtonTimer(void);     // from the 1 ms tick
void handle_touch(void);    // from the main loop
int GetPenState(void);
void QV_Touch_HotSpot_Clear(void);
void QV_Slider_Init(void);
int isXYinSlider(int32_t x, int32_t y); // 1 when the screen point lies on a linear slider
void handle_animation(void);
void handle_agif(void);
void init_agif(void);
void doCalibration(void);
// One calibration-target measurement at (x, y) (screen pixels), caption left of the target when
// textLeft: the averaged raw pair in State order; 0 on time-out.
int getCalPoint(int textLeft, int x, int y, int16_t *raw1, int16_t *raw2);
