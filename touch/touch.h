// Touch sampling, hotspots and controls: what the main loop and the tick call.
#pragma once

void QV_Touch_Init(void);
void QV_Update_Touch(void); // from the 1 ms tick
void ButtonTimer(void);     // from the 1 ms tick
void handle_touch(void);    // from the main loop
int GetPenState(void);
void QV_Slider_Init(void);
void handle_animation(void);
void handle_agif(void);
void init_agif(void);
void doCalibration(void);
