// The resource image and the frame buffer on the simulated board's memories.
#include "tests/support/screen.h"

#include <stdlib.h>
#include <string.h>

#include "board/bsp/bsp.h"
#include "board/host/test_board.h"
#include "gfx/gui.h"
#include "resource/resource.h"

static void boardOn(void) {
    static bool on;
    if (on) return;
    if (!testboard::open()) abort();
    on = true;
}

void loadImage(const std::vector<uint8_t> &bin) {
    boardOn();
    ExtMemSize = BSP_EXTRAM_SIZE;
    ExtMemBuffer = ExtMemRamBuffer = BSP_EXTRAM_BASE;
    uint8_t *region = imageBytes();
    size_t size = BSP_EXTRAM_SIZE;
    memset(region, 0, bin.size() + 4096 < size ? bin.size() + 4096 : size);
    if (!bin.empty()) memcpy(region, bin.data(), bin.size());
    QV_Fixup_ExtMem(BSP_EXTRAM_BASE, ExtMemSize);
}

uint8_t *imageBytes(void) {
    boardOn();
    return (uint8_t *)bsp_mem(BSP_EXTRAM_BASE, BSP_EXTRAM_SIZE);
}

void freshScreen(uint16_t background) {
    static bool ready;
    boardOn();
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
