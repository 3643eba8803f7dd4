// Touch sampling: the 1 ms sampler that filters bursts of readings of the resistive panel into one
// published raw position, the five-point transform to screen pixels, the touch trace, and the
// touch configuration and diagnostic commands.
#pragma once

#include <stdint.h>

enum : int { TOUCH_POINTS = 5, TTRACE_SIZE = 1024 };

// The published raw touch: first field runs along screen x, second along screen y.
struct TouchState {
    int32_t raw1, raw2;
    uint8_t valid;
};

extern volatile TouchState State;
extern int32_t calLogX[TOUCH_POINTS], calLogY[TOUCH_POINTS], calPhyX[TOUCH_POINTS], calPhyY[TOUCH_POINTS];
extern volatile uint8_t calibratingTouch;
extern volatile uint16_t lastPress, pMin, pMax;
extern volatile int32_t stateX, stateY;

void enableTouch(int on);
void QV_Touch_Get_State(uint8_t *valid, int32_t *raw1, int32_t *raw2);
void QV_GetLocation(int32_t *x, int32_t *y);
int32_t ADC2X(int32_t p, int32_t q);
int32_t ADC2Y(int32_t p, int32_t q);
void convToScreenXY(int32_t *chX, int32_t *chY);
int QV_Touch_Calibrate(const int16_t logX[5], const int16_t logY[5], const int16_t phyX[5],
                       const int16_t phyY[5]);
void QV_Touch_Calibrate_Default(void);
void QV_Touch_Calibrate_from_EEPROM(void);
void QV_Touch_Info(uint16_t *press, uint16_t *min, uint16_t *max, int *state);
int QV_Touch_ever(void);
void QV_Touch_ever_reset(void);
void ttrace(int32_t a, int32_t b, int32_t c);
// Single readings of the panel channels, 10 bits (for diagnostics with the sampler disabled).
uint16_t touchReadX(void);
uint16_t touchReadY(void);
// The same after a settling conversion, as the sampler reads them.
uint16_t touchReadXSettled(void);
uint16_t touchReadYSettled(void);
void touchReadZ(uint16_t *z1, uint16_t *z2);
// The sampler's pressure of one reading (smaller is firmer); z1 must not be 0.
uint32_t touchPressure(uint32_t x, uint32_t y, uint32_t z1, uint32_t z2);

// Commands
int cmd_sys_touchParm(char *line);
int cmd_sys_tsamp(char *line);
int cmd_sys_tspan(char *line);
int cmd_sys_tplo(char *line);
int cmd_sys_tphi(char *line);
int cmd_sys_tpDeltaLim(char *line);
int cmd_sys_tcTimeout(char *line);
int cmd_sys_debounce(char *line);
int cmd_sys_touchMode(char *line);
int cmd_sys_touchSwap(char *line);
int cmd_sys_autoCal(char *line);
int cmd_sys_QV(char *line);
int cmd_sys_getTouch(char *line);
int cmd_sys_ever(char *line);
int cmd_tclr(char *line);
int cmd_sys_tt(char *line);
int cmd_sys_ttt(char *line);
int cmd_sys_td(char *line);
int cmd_sys_td2(char *line);
int cmd_sys_tr(char *line);
int cmd_sys_gcp(char *line);
