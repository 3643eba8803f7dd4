// Backlight, panel power and LEDs: a brightness level becomes a PWM duty between two configured
// limits, the inverter's enable line follows its configured polarity, the panel supply and signals
// are sequenced, and the status LED may blink from the 1 ms tick.
#include "board/services/services.h"

#include "base/config_block.h"
#include "board/bsp/bsp.h"
#include "board/services/panel.h"
#include "board/services/timer.h"
#include "config/panel.h"

uint8_t userLedState;
static uint8_t screenLit;

// The blink state is shared with the tick: three plain words, each written in one store.
static volatile uint8_t ledState, ledBlinking;
static volatile uint32_t ledPeriod, ledCountdown;

static void ledWrite(int on) {
    ledState = on != 0;
    Led(ledState);
}

void QV_led_init(void) {
    ledBlinking = 0;
    userLedState = 0;
    ledWrite(0);
}

void QV_led_set(int state) {
    ledWrite(state);
}

void ledBlinkTick(void) {
    if (!ledBlinking) return;
    if (ledCountdown == 0) {
        ledWrite(!ledState);
        ledCountdown = ledPeriod;
    } else {
        ledCountdown = ledCountdown - 1;
    }
}

void FlashLed(uint32_t period) {
    if (period == 0) {
        ledBlinking = 0;
        ledWrite(0);
        return;
    }
    ledPeriod = period;
    ledCountdown = period;
    ledBlinking = 1;
}

void QV_led_user(uint8_t mode) {
    userLedState = mode;
    if (mode == 1) ledWrite(1);
    if (mode == 2) ledWrite(0);
}

// ---- backlight --------------------------------------------------------------------------------

static bool pwmInUse(void) {
    return (eepromData[CFG_PWM_IS_ENABLE] & 1) != 0;
}

// The enable line's level for the inverter on or off: "invEnaHiTrue" 0 drives high for on.
static int inverterLevel(bool on) {
    bool activeLow = (eepromData[CFG_INV_ENA_HI_TRUE] & 1) != 0;
    return on != activeLow ? 1 : 0;
}

uint8_t QV_Brite_Duty(uint8_t level, uint8_t lo, uint8_t hi) {
    uint32_t v;
    if (lo < hi) {
        v = lo + (uint32_t)level * (uint32_t)(hi - lo) / 255u;
        if (v > hi) v = hi;
    } else {
        v = hi + (uint32_t)(lo - hi) * (255u - level) / 255u;
        if (v > lo) v = lo;
    }
    return (uint8_t)(255u - v);
}

void QV_Brite_Set(uint8_t level) {
    eepromData[CFG_BRITE] = level;
    bsp_backlight_duty(QV_Brite_Duty(level, eepromData[CFG_MIN_BRITE], eepromData[CFG_MAX_BRITE]));
}

void QV_External_Inverter_On(void) {
    if (pwmInUse()) {
        bsp_backlight_pwm_enable(1);
        QV_Brite_Set(eepromData[CFG_BRITE]);
    }
    bsp_inverter_enable_line(inverterLevel(true));
}

void QV_External_Inverter_Off(void) {
    if (pwmInUse()) {
        // An inverter that is darkest at full duty is held there; otherwise the output stops.
        if (eepromData[CFG_MIN_BRITE] < eepromData[CFG_MAX_BRITE])
            bsp_backlight_duty(255);
        else
            bsp_backlight_pwm_enable(0);
    }
    bsp_inverter_enable_line(inverterLevel(false));
}

void QV_Pwm_Enable(int on) {
    bsp_backlight_pwm_enable(on);
    if (on) QV_Brite_Set(eepromData[CFG_BRITE]);
}

void QV_Panel_Power(int on) {
    bsp_panel_supply(on);
}

void QV_Visibility_Init(void) {
    if (screenLit) return;
    screenLit = 1;
    QV_External_Inverter_On();
}

void QV_Video_On(void) {
    LCD_sigs_low();
    LCD_sigs_buf_ena(1);
    QV_Panel_Power(1);
    QV_Delay(panelConfig.powerOnDelayMs);
    QV_Panel_Signals_Active();
    QV_Delay(50);
    QV_External_Inverter_On();
}

void QV_Video_Off(void) {
    QV_External_Inverter_Off();
    LCD_sigs_low();
    QV_Delay(panelConfig.powerOnDelayMs);
    QV_Panel_Power(0);
}
