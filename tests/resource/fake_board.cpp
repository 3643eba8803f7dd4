// Board operations of the resource tests on plain arrays.
#include "tests/resource/fake_board.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "board/bsp/bsp.h"
#include "gfx/gui.h"
#include "resource/resource.h"
#include "serial/serial.h"

static uint8_t extRam[BSP_EXTRAM_SIZE] __attribute__((aligned(8)));
static uint8_t videoRam[BSP_VIDEORAM_SIZE] __attribute__((aligned(8)));

void *bsp_mem(uint32_t addr, uint32_t len) {
    if (addr >= BSP_EXTRAM_BASE && len <= BSP_EXTRAM_SIZE && addr - BSP_EXTRAM_BASE <= BSP_EXTRAM_SIZE - len)
        return extRam + (addr - BSP_EXTRAM_BASE);
    if (addr >= BSP_VIDEORAM_BASE && len <= BSP_VIDEORAM_SIZE &&
        addr - BSP_VIDEORAM_BASE <= BSP_VIDEORAM_SIZE - len)
        return videoRam + (addr - BSP_VIDEORAM_BASE);
    return nullptr;
}
uint32_t bsp_addr(const void *p) {
    const uint8_t *b = (const uint8_t *)p;
    if (b >= videoRam && b < videoRam + sizeof videoRam) return BSP_VIDEORAM_BASE + (uint32_t)(b - videoRam);
    if (b >= extRam && b < extRam + sizeof extRam) return BSP_EXTRAM_BASE + (uint32_t)(b - extRam);
    return 0;
}
void bsp_lcd_setup(uint32_t, uint16_t, uint16_t) {}
void bsp_lcd_timing(uint8_t, uint8_t, uint8_t, uint8_t, uint8_t, uint8_t) {}

void loadImage(const std::vector<uint8_t> &bin) {
    ExtMemSize = BSP_EXTRAM_SIZE;
    ExtMemBuffer = ExtMemRamBuffer = BSP_EXTRAM_BASE;
    memset(extRam, 0, bin.size() + 4096 < sizeof extRam ? bin.size() + 4096 : sizeof extRam);
    if (!bin.empty()) memcpy(extRam, bin.data(), bin.size());
    QV_Fixup_ExtMem(BSP_EXTRAM_BASE, ExtMemSize);
}

uint8_t *imageBytes(void) {
    return extRam;
}

void freshScreen(uint16_t background) {
    static bool ready;
    if (!ready) {
        GUI_Init();
        ready = true;
    }
    GUI_SetClipRect(nullptr);
    GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    LCD_PIXELINDEX *fb = LCD_GetFrameBuffer();
    for (int i = 0; i < LCD_GetXSize() * LCD_GetYSize(); i++) fb[i] = background;
    sent.clear();
}

uint16_t pixelAt(int x, int y) {
    return LCD_GetFrameBuffer()[y * LCD_GetXSize() + x];
}

int changedPixels(uint16_t background) {
    int n = 0;
    const LCD_PIXELINDEX *fb = LCD_GetFrameBuffer();
    for (int i = 0; i < LCD_GetXSize() * LCD_GetYSize(); i++) n += fb[i] != background;
    return n;
}
