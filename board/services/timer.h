// The 1 ms tick and everything timed by it: counters, down-counters, delays.
#pragma once

#include <stdint.h>

extern volatile uint32_t msCounter32;
extern volatile uint32_t frameTimer;
extern volatile uint32_t delayTimer, gpTimer, wvrTimer;
extern volatile int32_t animateTimer[2];
extern volatile int32_t agifTimer;

void QV_TimerInit(void);
uint32_t QV_TimerGetMsCount(void);
uint32_t QV_TimerGetFrameTime(void);
uint32_t QV_TimerGetRawCount(void);
uint32_t QV_TimerElapsedMicroSecs(uint32_t start);
void QV_Delay_uSec(uint32_t us);
void QV_Delay(uint32_t ms);
void QV_TimerEnable(void);
void QV_TimerDisable(void);

// The tick counts time and runs the beeper's time-out; the work it does for the rooms above (button
// and animation timers, touch sampling, the LED blink, the SD card's hot-plug debounce) is composed
// there and installed here before the tick starts (app/hooks.cpp).
extern void (*msecTickHook)(void);
void msec_timer_isr(void);
