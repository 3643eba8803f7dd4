// The 1 ms tick, its counters and the delays built on the free-running count.
#include "board/services/timer.h"

#include "board/bsp/bsp.h"
#include "board/services/beeper.h"

volatile uint32_t msCounter32;
volatile uint32_t frameTimer;
volatile uint32_t delayTimer, gpTimer, wvrTimer;
volatile int32_t animateTimer[2];
volatile int32_t agifTimer;
void (*msecTickHook)(void);

void msec_timer_isr(void) {
    if (bsp_lcd_frame_start())
        frameTimer = 0;
    else
        frameTimer = frameTimer + 1;
    if (delayTimer) delayTimer = delayTimer - 1;
    if (gpTimer) gpTimer = gpTimer - 1;
    if (wvrTimer) wvrTimer = wvrTimer - 1;
    msCounter32 = msCounter32 + 1;
    BeepTimerCheck();
    if (msecTickHook) msecTickHook();
    bsp_timer_ack();
}

void QV_TimerInit(void) {
    bsp_timer_start();
    interrupt_set_isr(BSP_IRQ_TICK, msec_timer_isr);
    interrupt_enable(BSP_IRQ_TICK, 0);
}

void QV_TimerEnable(void) {
    interrupt_enable(BSP_IRQ_TICK, 0);
}
void QV_TimerDisable(void) {
    interrupt_disable(BSP_IRQ_TICK);
}

// The tick may change a counter between two reads: read until two reads agree.
static uint32_t stableRead(const volatile uint32_t *v) {
    uint32_t a = *v, b = *v;
    while (a != b) {
        a = b;
        b = *v;
    }
    return a;
}

uint32_t QV_TimerGetMsCount(void) {
    return stableRead(&msCounter32);
}
uint32_t QV_TimerGetFrameTime(void) {
    return stableRead(&frameTimer);
}

uint32_t QV_TimerGetRawCount(void) {
    return bsp_timer_count_settled();
}

// Counts since start, converted to microseconds (counts / 16.384); the product is kept to 29 bits.
uint32_t QV_TimerElapsedMicroSecs(uint32_t start) {
    uint32_t counts = (QV_TimerGetRawCount() - start + BSP_TIMER_PERIOD) % BSP_TIMER_PERIOD;
    return ((counts * 125u) & 0x1FFFFFFFu) / 2048u;
}

void QV_Delay_uSec(uint32_t us) {
    if (us == 0) return;
    for (uint32_t blocks = us / 512; blocks; blocks--) bsp_timer_wait(0x20C4 + 1);
    uint32_t rest = us % 512;
    if (rest) bsp_timer_wait(rest * 16384u / 1000u + 1);
}

void QV_Delay(uint32_t ms) {
    while (ms--) QV_Delay_uSec(1000);
}
