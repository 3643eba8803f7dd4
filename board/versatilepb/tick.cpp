// The 1 ms tick on SP804 timer 0, clocked at 1 MHz on this machine. The firmware counts in units of
// a 16.384 MHz clock, 16384 per millisecond: the count is the position within the current
// millisecond of the machine's free-running 24 MHz counter, scaled into that range. It is finer
// than the timer's microseconds (the firmware's reads must agree within 4 counts, 0.24 us), and
// under QEMU it keeps time even while the timer's own count waits for the emulator to reload it.
#include "board/bsp/bsp.h"
#include "board/versatilepb/vpb.h"

enum : uint32_t {
    TIMER_LOAD = VPB_TIMER01 + 0x00u,
    TIMER_CONTROL = VPB_TIMER01 + 0x08u,
    TIMER_INTCLR = VPB_TIMER01 + 0x0Cu,

    CTRL_32BIT = 1u << 1,
    CTRL_INTEN = 1u << 5,
    CTRL_PERIODIC = 1u << 6,
    CTRL_ENABLE = 1u << 7,

    TIMER_HZ = 1000000u,
    TICKS_PER_MS = TIMER_HZ / 1000u, // the counter runs from TICKS_PER_MS - 1 down to 0
    COUNTER_24MHZ = VPB_SYSCTL + 0x5Cu,
    COUNTS_24_PER_MS = 24000u,
};

static uint32_t start24; // the 24 MHz counter when the tick started

void bsp_timer_start(void) {
    vpbReg(TIMER_CONTROL) = 0;
    vpbReg(TIMER_LOAD) = TICKS_PER_MS - 1;
    vpbReg(TIMER_INTCLR) = 1;
    start24 = vpbReg(COUNTER_24MHZ);
    vpbReg(TIMER_CONTROL) = CTRL_ENABLE | CTRL_PERIODIC | CTRL_INTEN | CTRL_32BIT;
}

uint32_t bsp_timer_count(void) {
    uint32_t phase = (vpbReg(COUNTER_24MHZ) - start24) % COUNTS_24_PER_MS;
    return phase * BSP_TIMER_PERIOD / COUNTS_24_PER_MS;
}

void bsp_timer_ack(void) {
    vpbReg(TIMER_INTCLR) = 1;
}
