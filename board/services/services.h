// Backlight, panel power and LEDs: the board services above the bsp (the beeper: beeper.h).
#pragma once

#include <stdint.h>

extern uint8_t userLedState; // 0: the firmware drives the status LED; 1 forced on, 2 forced off

void QV_led_init(void);
void QV_led_set(int state);
void ledBlinkTick(void); // from the 1 ms tick
void FlashLed(uint32_t period);


void QV_Panel_Power(int on);
void QV_External_Inverter_On(void);
void QV_External_Inverter_Off(void);
void QV_Visibility_Init(void);
void QV_Brite_Set(uint8_t level);
