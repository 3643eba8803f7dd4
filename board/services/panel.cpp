// The LCD panel's timing and orientation, and the scan-line wait.
#include "board/services/panel.h"

#include "base/config_block.h"
#include "board/bsp/bsp.h"
#include "board/services/timer.h"
#include "config/panel.h"

static double lineTimeMs;    // one line of htot pixel clocks at 16.384 MHz
static uint32_t frameTimeMs; // vtot lines, truncated

static const uint8_t timingOffset[PT_COUNT] = {CFG_HFP, CFG_HPW, CFG_HBP, CFG_VFP, CFG_VPW, CFG_VBP};

uint8_t QV_Panel_Default(int which) {
    const uint8_t d[PT_COUNT] = {panelConfig.hfp, panelConfig.hpw, panelConfig.hbp,
                                 panelConfig.vfp, panelConfig.vpw, panelConfig.vbp};
    return which >= 0 && which < PT_COUNT ? d[which] : 0;
}

// 0xFF stands for the build default, at start-up and whenever a command stores it, so that a
// stored value gives the same timing now and after the next power-up.
static uint8_t settled(int which) {
    uint8_t v = eepromData[timingOffset[which]];
    if (v == 0xFF) {
        v = QV_Panel_Default(which);
        eepromData[timingOffset[which]] = v;
    }
    return v;
}

uint8_t QV_Panel_Setting(int which) {
    return which >= 0 && which < PT_COUNT ? settled(which) : 0;
}

void QV_Panel_SetSetting(int which, uint8_t value) {
    if (which < 0 || which >= PT_COUNT) return;
    eepromData[timingOffset[which]] = value;
    setLCDtiming();
}

void setLCDtiming(void) {
    uint8_t t[PT_COUNT];
    for (int i = 0; i < PT_COUNT; i++) t[i] = settled(i);
    bsp_lcd_timing(t[PT_HFP], t[PT_HPW], t[PT_HBP], t[PT_VFP], t[PT_VPW], t[PT_VBP]);
    uint32_t htot = (uint32_t)t[PT_HFP] + panelConfig.width + t[PT_HBP] + t[PT_HPW];
    uint32_t vtot = (uint32_t)t[PT_VFP] + panelConfig.height + t[PT_VBP] + t[PT_VPW];
    lineTimeMs = htot * 1000 / 16384000.0;
    frameTimeMs = (uint32_t)(lineTimeMs * vtot);
}

double QV_LineTimeMs(void) {
    return lineTimeMs;
}
uint32_t QV_FrameTimeMs(void) {
    return frameTimeMs;
}

void InitLCD(void) {
    bsp_vq_set(panelConfig.width == 320 ? 0 : 1);
    bsp_lcd_setup(BSP_VIDEORAM_BASE, panelConfig.width, panelConfig.height);
    bsp_lcd_clock_edge(eepromData[CFG_LCD_SHIFT_CLOCK] & 1);
    bsp_backlight_pwm_enable(eepromData[CFG_PWM_IS_ENABLE] & 1);
    setLCDtiming();
}

void setOrient(uint8_t bits) {
    bsp_scan_direction(bits & 3);
}

void QV_Panel_Signals_Active(void) {
    LCD_sigs_active();
    setOrient(eepromData[CFG_ORIENT]);
}

// The frame timer counts whole ms since the tick that saw the frame start; the frame starts at the
// front porch, so a row has been scanned (vfp + vpw + vbp + row + 1) line times after it.
void wvr(int row) {
    const int height = panelConfig.height;
    if (row > height - 1) row = height - 1;
    if (row < 0) row = 0;
    const uint32_t frame = frameTimeMs ? frameTimeMs : 1;
    uint32_t lines = (uint32_t)settled(PT_VFP) + settled(PT_VPW) + 1u + settled(PT_VBP) + (uint32_t)row;
    uint32_t target = (uint32_t)(lines * lineTimeMs + 0.0005) + 1;
    // A row in the frame's last, partial millisecond is passed only when the next frame starts: the
    // truncated frame time would let the wait end while that row is still being scanned.
    if (target > frame) target = 0;
    wvrTimer = 2 * frame;
    while (wvrTimer) {
        uint32_t now = QV_TimerGetFrameTime();
        if (now < target) {
            if ((target - now) * 4 > frame * 3) return; // passed in this frame's first quarter
        } else if ((now - target) * 4 <= frame) {
            return;
        }
        bsp_wait_for_interrupt();
    }
}
