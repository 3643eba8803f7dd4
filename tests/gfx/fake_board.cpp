// The few board operations the drawing core uses, on a plain array standing in for video RAM.
#include <string.h>

#include "board/bsp/bsp.h"

static uint8_t videoRam[BSP_VIDEORAM_SIZE] __attribute__((aligned(8)));

void *bsp_mem(uint32_t addr, uint32_t len) {
    if (addr < BSP_VIDEORAM_BASE || addr + len > BSP_VIDEORAM_BASE + BSP_VIDEORAM_SIZE) return nullptr;
    return videoRam + (addr - BSP_VIDEORAM_BASE);
}
uint32_t bsp_addr(const void *ptr) {
    const uint8_t *p = (const uint8_t *)ptr;
    if (p < videoRam || p >= videoRam + sizeof videoRam) return 0;
    return BSP_VIDEORAM_BASE + (uint32_t)(p - videoRam);
}
void bsp_lcd_setup(uint32_t, uint16_t, uint16_t) {}
void bsp_lcd_timing(uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t) {}
