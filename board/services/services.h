// Backlight, panel power and LEDs: the board services above the bsp (the beeper: beeper.h; the
// panel timing and the scan-line wait: panel.h).
#pragma once

#include <stdint.h>

// ---- status LED ------------------------------------------------------------------------------
extern uint8_t userLedState; // 0: the firmware drives the status LED; 1 forced on, 2 forced off

void QV_led_init(void);
void QV_led_set(int state);
void ledBlinkTick(void); // from the 1 ms tick
// Period 0 stops blinking and leaves the LED off; otherwise the LED toggles every period + 1 ms.
void FlashLed(uint32_t period);
// "sys" (0): the firmware drives the LED again; 1 forces it on, 2 off.
void QV_led_user(uint8_t mode);

// ---- backlight and panel power -------------------------------------------------------------------
void QV_Panel_Power(int on);
void QV_External_Inverter_On(void);
void QV_External_Inverter_Off(void);
// Switches the backlight on at the configured level the first time only; the screen is lit then.
void QV_Visibility_Init(void);
// Stores the level (RAM only) and sets the PWM duty between the configured limits.
void QV_Brite_Set(uint8_t level);
// The PWM duty byte a level gives with the given limits (lo: level 0, hi: level 255).
uint8_t QV_Brite_Duty(uint8_t level, uint8_t lo, uint8_t hi);
// The PWM output on or off at once ("pwmIsEnable"); on, the current level is applied.
void QV_Pwm_Enable(int on);
// The panel's power sequences of "v on" and "v of".
void QV_Video_On(void);
void QV_Video_Off(void);
