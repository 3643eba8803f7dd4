// The 1 ms tick on SP804 timer 0, clocked at 1 MHz on this machine. The firmware counts in units of
// a 16.384 MHz clock, 16384 per millisecond: the timer's microseconds are scaled into that range.
#include "board/bsp/bsp.h"
#include "board/versatilepb/vpb.h"

enum : uint32_t {
    TIMER_LOAD = VPB_TIMER01 + 0x00u,
    TIMER_VALUE = VPB_TIMER01 + 0x04u,
    TIMER_CONTROL = VPB_TIMER01 + 0x08u,
    TIMER_INTCLR = VPB_TIMER01 + 0x0Cu,

    CTRL_32BIT = 1u << 1,
    CTRL_INTEN = 1u << 5,
    CTRL_PERIODIC = 1u << 6,
    CTRL_ENABLE = 1u << 7,

    TIMER_HZ = 1000000u,
    TICKS_PER_MS = TIMER_HZ / 1000u, // the counter runs from TICKS_PER_MS - 1 down to 0
};

void bsp_timer_start(void) {
    vpbReg(TIMER_CONTROL) = 0;
    vpbReg(TIMER_LOAD) = TICKS_PER_MS - 1;
    vpbReg(TIMER_INTCLR) = 1;
    vpbReg(TIMER_CONTROL) = CTRL_ENABLE | CTRL_PERIODIC | CTRL_INTEN | CTRL_32BIT;
}

uint32_t bsp_timer_count(void) {
    uint32_t value = vpbReg(TIMER_VALUE);
    if (value > TICKS_PER_MS - 1) value = TICKS_PER_MS - 1;
    uint32_t elapsed = TICKS_PER_MS - 1 - value;
    return elapsed * BSP_TIMER_PERIOD / TICKS_PER_MS;
}

void bsp_timer_ack(void) {
    vpbReg(TIMER_INTCLR) = 1;
}
