// The LCD panel: its set-up from the configuration block, the six timing settings (0xFF: the
// build's default), orientation, the VQ line, and the scan-line wait that drawing code uses to
// avoid tearing.
#pragma once

#include <stdint.h>

// Panel set-up at start-up (from the drawing core's initialisation): VQ, frame buffer, timing
// defaults in place of 0xFF, pixel-clock edge, PWM enable, timing.
void InitLCD(void);
// Programs the timing from the RAM block and recomputes the line and frame times.
void setLCDtiming(void);
// The scan-direction pins from the two low bits.
void setOrient(uint8_t bits);
// The panel signals active, with the orientation of the configuration block.
void QV_Panel_Signals_Active(void);

// Timing setting offsets in the configuration block, in the order the status line shows them.
enum PanelTiming { PT_HFP, PT_HPW, PT_HBP, PT_VFP, PT_VPW, PT_VBP, PT_COUNT };
uint8_t QV_Panel_Default(int which);                // the build's default of one setting
uint8_t QV_Panel_Setting(int which);                // the value in force
void QV_Panel_SetSetting(int which, uint8_t value); // RAM block only; reprograms the timing

double QV_LineTimeMs(void);
uint32_t QV_FrameTimeMs(void);
// Waits until the panel's scan has passed the screen row (clamped to the screen); gives up after
// two frame times.
void wvr(int row);
