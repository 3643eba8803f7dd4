// Busy waits on the timer count, written once on top of the board's primitives. A board that
// can do better defines the waits itself (the simulated board lets its virtual time jump to the end
// of a wait); these polling forms then stay as its reference.
#include "board/bsp/busy_wait.h"

#include "board/bsp/bsp.h"

uint32_t bsp_timer_count_settled(void) {
    uint32_t a = bsp_timer_count();
    for (;;) {
        uint32_t b = bsp_timer_count();
        uint32_t d = (b - a + BSP_TIMER_PERIOD) % BSP_TIMER_PERIOD;
        if (d <= 4) return b;
        a = b;
    }
}

void bsp_timer_wait_polling(uint32_t counts) {
    uint32_t last = bsp_timer_count_settled();
    uint32_t passed = 0;
    while (passed < counts) {
        uint32_t now = bsp_timer_count_settled();
        passed += (now - last + BSP_TIMER_PERIOD) % BSP_TIMER_PERIOD;
        last = now;
    }
}

__attribute__((weak)) void bsp_timer_wait(uint32_t counts) {
    bsp_timer_wait_polling(counts);
}
