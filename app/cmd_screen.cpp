// Screen commands: graphics state save and restore per macro depth, clearing the screen with every
// control on it, scrolling and rotating an area, and the frame-buffer checksum and row dump.
#include <stdio.h>
#include <string.h>

#include "app/commands.h"
#include "base/crc.h"
#include "base/parse.h"
#include "displays/displays.h"
#include "gfx/gfx_state.h"
#include "macro/macro.h"
#include "resource/resource.h"
#include "serial/serial.h"
#include "touch/touch.h"

// Resets of rooms that may not be part of this build yet: each runs when its room is linked in.
__attribute__((weak)) void QV_Touch_HotSpot_Clear(void);
__attribute__((weak)) void CircSliderInit(void);
__attribute__((weak)) void init_animation(void);

static int depth(void) {
    return macroDepth < GDI_STATES ? macroDepth : GDI_STATES - 1;
}

int cmd_ss(char *) {
    SaveState(&GDIState[depth()]);
    return CMD_OK;
}

int cmd_sr(char *) {
    RestoreState(&GDIState[depth()]);
    return CMD_OK;
}

// A bitmap record of the resource image drawn at (x, y) through the library.
static void drawRecord(const ExtRecord *rec, int x, int y) {
    const ExtBitmap *obj = QV_BitmapObject(rec);
    if (!obj) return;
    GUI_BITMAP bm = {obj->XSize, obj->YSize, obj->BytesPerLine, 16, nullptr, nullptr, &GUI_BitmapMethodsM565};
    if (rec->type == RES_RLE_BITMAP) {
        bm.pData = QV_BitmapStream(rec);
        bm.pMethods = &GUI_BitmapMethodsRLEM16;
        GUI_DrawBitmap(&bm, x, y);
        return;
    }
    bm.pData = QV_BitmapPixels(rec);
    if (!bm.pData) return;
    if (rec->type != RES_TRANS_BITMAP) {
        GUI_DrawBitmap(&bm, x, y);
        return;
    }
    // One transparent colour: the rows in runs of the other pixels.
    uint16_t trans = QV_BitmapTransparent(rec);
    GUI_RECT clip;
    GUI_GetClipRect(&clip);
    LCD_PIXELINDEX *fb = LCD_GetFrameBuffer();
    for (int r = 0; r < obj->YSize; r++) {
        int sy = y + r;
        if (sy < clip.y0 || sy > clip.y1) continue;
        const uint8_t *row = bm.pData + r * obj->BytesPerLine;
        for (int c = 0; c < obj->XSize; c++) {
            int sx = x + c;
            uint16_t px = (uint16_t)(row[2 * c] | row[2 * c + 1] << 8);
            if (px != trans && sx >= clip.x0 && sx <= clip.x1) fb[sy * LCD_GetXSize() + sx] = px;
        }
    }
}

void GUIDEMO_Clear(int arg) {
    if (QV_Touch_HotSpot_Clear) QV_Touch_HotSpot_Clear();
    QV_Chart_Init();
    QV_LevelBar_Init();
    QV_Slider_Init();
    if (CircSliderInit) CircSliderInit();
    QV_Meter_Init();
    STB_InitScrollTB_Resources();
    Origin_X = Origin_Y = 0;
    if (arg == 0) {
        GUI_Clear();
    } else if (arg != -1) {
        const ExtRecord *rec = QV_GetExtBitmap(arg);
        if (rec) drawRecord(rec, 0, 0);
    }
    GUI_GotoXY(0, 0);
    GUI_SetLBorder(0);
}

int cmd_zs(char *line) {
    int n = 0;
    if (sscanf(line, "zs %d", &n) != 1 || n == 0)
        GUIDEMO_Clear(-1);
    else
        GUIDEMO_Clear(n);
    return CMD_OK;
}

int cmd_z(char *) {
    if (init_animation) init_animation();
    init_agif();
    GUIDEMO_Clear(0);
    return CMD_OK;
}

// ---- scrolling ------------------------------------------------------------------------------------------
int areaIsOnScreen(int x1, int y1, int x2, int y2) {
    int xm = LCD_GetXSize() - 1, ym = LCD_GetYSize() - 1;
    if (x1 >= 0 && y1 >= 0 && x2 <= xm && y2 <= ym) return 1;
    char buf[100];
    snprintf(buf, sizeof buf, "Part of control/bitmap area is out of screen bounds (0,0 -- %d,%d)\r", xm, ym);
    txString(buf);
    return 0;
}

static void fill16(LCD_PIXELINDEX *p, int n, LCD_PIXELINDEX v) {
    for (int i = 0; i < n; i++) p[i] = v;
}

int scroll(uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2, int n, const char *direction) {
    if (x1 >= x2 || y1 >= y2 || !areaIsOnScreen(x1, y1, x2, y2)) return 0;
    int w = x2 - x1 + 1, h = y2 - y1 + 1, stride = LCD_GetXSize();
    if (n < 0) return 0; // a negative count would move pixels out of the area
    LCD_PIXELINDEX *fb = LCD_GetFrameBuffer(), bg = GUI_GetBkColorIndex();
    LCD_PIXELINDEX *area = fb + y1 * stride + x1;
    size_t rowBytes = (size_t)w * 2;
    switch (direction[0]) {
    case 'l':
        if (n >= w) return 0;
        for (int r = 0; r < h; r++) {
            LCD_PIXELINDEX *row = area + r * stride;
            memmove(row, row + n, (size_t)(w - n) * 2);
            fill16(row + w - n, n, bg);
        }
        return 1;
    case 'r':
        if (n >= w) return 0;
        for (int r = 0; r < h; r++) {
            LCD_PIXELINDEX *row = area + r * stride;
            memmove(row + n, row, (size_t)(w - n) * 2);
            fill16(row, n, bg);
        }
        return 1;
    case 'u':
        if (n >= h) return 0;
        for (int r = 0; r < h - n; r++) memcpy(area + r * stride, area + (r + n) * stride, rowBytes);
        for (int r = h - n; r < h; r++) fill16(area + r * stride, w, bg);
        return 1;
    case 'd':
        if (n >= h) return 0;
        for (int r = h - 1; r >= n; r--) memcpy(area + r * stride, area + (r - n) * stride, rowBytes);
        for (int r = 0; r < n; r++) fill16(area + r * stride, w, bg);
        return 1;
    case 'L':
        if (n != 1) return 0;
        for (int r = 0; r < h; r++) {
            LCD_PIXELINDEX *row = area + r * stride, first = row[0];
            memmove(row, row + 1, (size_t)(w - 1) * 2);
            row[w - 1] = first;
        }
        return 1;
    case 'R':
        if (n != 1) return 0;
        for (int r = 0; r < h; r++) {
            LCD_PIXELINDEX *row = area + r * stride, last = row[w - 1];
            memmove(row + 1, row, (size_t)(w - 1) * 2);
            row[0] = last;
        }
        return 1;
    default:
        return 0;
    }
}

int cmd_k(char *line) {
    int x1, y1, x2, y2, n;
    char dir[10];
    if (sscanf(line, "k %d%d%d%d %d%9s", &x1, &y1, &x2, &y2, &n, dir) != 6) return CMD_FAIL;
    return scroll((uint16_t)(x1 + Origin_X), (uint16_t)(y1 + Origin_Y), (uint16_t)(x2 + Origin_X),
                  (uint16_t)(y2 + Origin_Y), n, dir);
}

// ---- frame-buffer checks
// ------------------------------------------------------------------------------------
int cmd_sys_CRC(char *) {
    uint32_t bytes = (uint32_t)(LCD_GetXSize() * LCD_GetYSize() * 2);
    snprintf(out_buffer, sizeof out_buffer, "0x%04X\r",
             (unsigned)CalcCRC((const uint8_t *)LCD_GetFrameBuffer(), bytes));
    txString(out_buffer);
    return CMD_OK;
}

int cmd_sys_FB(char *line) {
    int y;
    if (sscanf(line, "*FB %d", &y) != 1 || y < 0 || y >= LCD_GetYSize()) return CMD_FAIL;
    const LCD_PIXELINDEX *row = LCD_GetFrameBuffer() + y * LCD_GetXSize();
    int w = LCD_GetXSize();
    char buf[128];
    int len = 0;
    for (int x = 0; x < w; x++) {
        len += snprintf(buf + len, sizeof buf - (size_t)len, x + 1 < w ? "%04X," : "%04X", (unsigned)row[x]);
        if (len > (int)sizeof buf - 8 || x + 1 == w) {
            txString(buf);
            len = 0;
        }
    }
    return CMD_OK;
}
