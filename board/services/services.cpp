// Backlight, panel power and LEDs. Minimal until their issue lands: the panel is powered and lit,
// the status LED follows the activity.
#include "board/services/services.h"

#include "board/bsp/bsp.h"
#include "base/config_block.h"

uint8_t userLedState;
static uint8_t screenLit;

void QV_led_init(void) { Led(0); }
void QV_led_set(int state) { Led(state); }
void ledBlinkTick(void) {}
void FlashLed(uint32_t) {}


void QV_Panel_Power(int on) { bsp_panel_supply(on); }
void QV_Brite_Set(uint8_t level) {
    eepromData[CFG_BRITE] = level;
    bsp_backlight_duty(level);
}
void QV_External_Inverter_On(void) {
    bsp_backlight_pwm_enable(1);
    bsp_backlight_duty(eepromData[CFG_BRITE]);
    bsp_inverter_enable_line(eepromData[CFG_INV_ENA_HI_TRUE] == 1 ? 0 : 1);
}
void QV_External_Inverter_Off(void) { bsp_inverter_enable_line(eepromData[CFG_INV_ENA_HI_TRUE] == 1 ? 1 : 0); }
void QV_Visibility_Init(void) {
    if (screenLit) return;
    screenLit = 1;
    QV_External_Inverter_On();
}
