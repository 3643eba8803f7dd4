// The screen as a Windows BMP file, 16 bits per pixel (5-5-5), bottom row first, byte by byte.
#include "gfx/gui_private.h"

static void put16(GUI_BMP_SerializeFunc sink, void *arg, uint32_t v) {
    sink((uint8_t)v, arg);
    sink((uint8_t)(v >> 8), arg);
}
static void put32(GUI_BMP_SerializeFunc sink, void *arg, uint32_t v) {
    put16(sink, arg, v & 0xFFFF);
    put16(sink, arg, v >> 16);
}

// One frame-buffer index as 5-5-5, each 8-bit channel of its colour value scaled to 5 bits.
static uint32_t to555(LCD_PIXELINDEX index) {
    GUI_COLOR c = LCD_Index2Color_M565(index);
    uint32_t r = ((c & 0xFF) * 31 + 127) / 255;
    uint32_t g = (((c >> 8) & 0xFF) * 31 + 127) / 255;
    uint32_t b = (((c >> 16) & 0xFF) * 31 + 127) / 255;
    return (r << 10) | (g << 5) | b;
}

void GUI_BMP_Serialize(GUI_BMP_SerializeFunc sink, void *arg) {
    uint32_t w = (uint32_t)LCD__XSize, h = (uint32_t)LCD__YSize;
    uint32_t rowBytes = (w * 2 + 3) & ~3u;
    uint32_t dataSize = rowBytes * h;
    sink('B', arg);
    sink('M', arg);
    put32(sink, arg, 54 + dataSize); // file size
    put32(sink, arg, 0);             // reserved
    put32(sink, arg, 54);            // pixel data offset
    put32(sink, arg, 40);            // information header size
    put32(sink, arg, w);
    put32(sink, arg, h);
    put16(sink, arg, 1);                             // planes
    put16(sink, arg, 16);                            // bits per pixel
    for (int i = 0; i < 6; i++) put32(sink, arg, 0); // compression, image size, resolution, colours
    for (uint32_t y = h; y-- > 0;) {
        const LCD_PIXELINDEX *row = LCD__pVRAM + y * w;
        for (uint32_t x = 0; x < w; x++) put16(sink, arg, to555(row[x]));
        for (uint32_t pad = w * 2; pad < rowBytes; pad++) sink(0, arg);
    }
}
