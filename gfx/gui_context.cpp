// The drawing context: colours, modes, pen, clip rectangle, origin, text settings; start-up.
#include <string.h>

#include "board/bsp/bsp.h"
#include "config/panel.h"
#include "gfx/gui_private.h"

GUI_CONTEXT GUI_Context;

static void setScreenClip(void) {
    GUI_Context.ClipRect.x0 = 0;
    GUI_Context.ClipRect.y0 = 0;
    GUI_Context.ClipRect.x1 = LCD__XSize - 1;
    GUI_Context.ClipRect.y1 = LCD__YSize - 1;
}

void (*GUI_X_InitLCD)(void);

void GUI_Init(void) {
    if (GUI_X_InitLCD) {
        GUI_X_InitLCD();
    } else {
        bsp_lcd_setup(BSP_VIDEORAM_BASE, panelConfig.width, panelConfig.height);
        bsp_lcd_timing(panelConfig.hfp, panelConfig.hpw, panelConfig.hbp, panelConfig.vfp, panelConfig.vpw,
                       panelConfig.vbp);
    }
    LCD__XSize = panelConfig.width;
    LCD__YSize = panelConfig.height;
    LCD__pVRAM = (LCD_PIXELINDEX *)bsp_mem(BSP_VIDEORAM_BASE, (uint32_t)(LCD__XSize * LCD__YSize * 2));
    memset(&GUI_Context, 0, sizeof GUI_Context);
    GUI_SetColor(0x000000);
    GUI_SetBkColor(0xFFFFFF);
    GUI_Context.PenSize = 1;
    GUI_Context.PenShape = GUI_PS_ROUND;
    GUI_Context.LineStyle = GUI_LS_SOLID;
    setScreenClip();
    GUI_ALLOC_Init();
}

GUI_COLOR GUI_SetColor(GUI_COLOR color) {
    GUI_COLOR prev = GUI_Context.Color;
    GUI_Context.Color = color & 0xFFFFFF;
    GUI_Context.ColorIndex = LCD_L0_Color2Index(color);
    return prev;
}
GUI_COLOR GUI_GetColor(void) {
    return GUI_Context.Color;
}

GUI_COLOR GUI_SetBkColor(GUI_COLOR color) {
    GUI_COLOR prev = GUI_Context.BkColor;
    GUI_Context.BkColor = color & 0xFFFFFF;
    GUI_Context.BkColorIndex = LCD_L0_Color2Index(color);
    return prev;
}
GUI_COLOR GUI_GetBkColor(void) {
    return GUI_Context.BkColor;
}
LCD_PIXELINDEX GUI_GetColorIndex(void) {
    return GUI_Context.ColorIndex;
}
LCD_PIXELINDEX GUI_GetBkColorIndex(void) {
    return GUI_Context.BkColorIndex;
}

uint8_t GUI_SetDrawMode(uint8_t mode) {
    uint8_t prev = GUI_Context.DrawMode;
    GUI_Context.DrawMode = mode;
    return prev;
}
uint8_t GUI_GetDrawMode(void) {
    return GUI_Context.DrawMode;
}

uint8_t GUI_SetPenSize(uint8_t size) {
    uint8_t prev = GUI_Context.PenSize;
    GUI_Context.PenSize = size ? size : 1; // a pen is at least one pixel wide
    return prev;
}
uint8_t GUI_GetPenSize(void) {
    return GUI_Context.PenSize;
}

uint8_t GUI_SetPenShape(uint8_t shape) {
    uint8_t prev = GUI_Context.PenShape;
    GUI_Context.PenShape = shape;
    return prev;
}
uint8_t GUI_GetPenShape(void) {
    return GUI_Context.PenShape;
}

uint8_t GUI_SetLineStyle(uint8_t style) {
    uint8_t prev = GUI_Context.LineStyle;
    GUI_Context.LineStyle = style;
    return prev;
}
uint8_t GUI_GetLineStyle(void) {
    return GUI_Context.LineStyle;
}

const GUI_FONT *GUI_SetFont(const GUI_FONT *font) {
    const GUI_FONT *prev = GUI_Context.pAFont;
    if (font) GUI_Context.pAFont = font;
    return prev;
}
const GUI_FONT *GUI_GetFont(void) {
    return GUI_Context.pAFont;
}

int16_t GUI_SetTextMode(int16_t mode) {
    int16_t prev = GUI_Context.TextMode;
    GUI_Context.TextMode = mode;
    return prev;
}
int16_t GUI_GetTextMode(void) {
    return GUI_Context.TextMode;
}

int16_t GUI_SetTextAlign(int16_t align) {
    int16_t prev = GUI_Context.TextAlign;
    GUI_Context.TextAlign = align;
    return prev;
}
int16_t GUI_GetTextAlign(void) {
    return GUI_Context.TextAlign;
}

void GUI_GotoX(int32_t x) {
    GUI_Context.DispPosX = x;
}
void GUI_GotoY(int32_t y) {
    GUI_Context.DispPosY = y;
}
void GUI_GotoXY(int32_t x, int32_t y) {
    GUI_Context.DispPosX = x;
    GUI_Context.DispPosY = y;
}
int32_t GUI_GetDispPosX(void) {
    return GUI_Context.DispPosX;
}
int32_t GUI_GetDispPosY(void) {
    return GUI_Context.DispPosY;
}

int32_t GUI_SetLBorder(int32_t x) {
    int32_t prev = GUI_Context.LBorder;
    GUI_Context.LBorder = x;
    return prev;
}

void GUI_SetClipRect(const GUI_RECT *rect) {
    setScreenClip();
    if (!rect) return;
    GUI_RECT &c = GUI_Context.ClipRect;
    // The rectangle is kept inside the screen, so the runs never need the screen check again.
    if (rect->x0 > c.x0) c.x0 = rect->x0;
    if (rect->y0 > c.y0) c.y0 = rect->y0;
    if (rect->x1 < c.x1) c.x1 = rect->x1;
    if (rect->y1 < c.y1) c.y1 = rect->y1;
}
void GUI_GetClipRect(GUI_RECT *rect) {
    *rect = GUI_Context.ClipRect;
}

void GUI_SetOrg(int32_t x, int32_t y) {
    GUI_Context.OrgX = x;
    GUI_Context.OrgY = y;
}

void GUI_SaveContext_M(GUI_CONTEXT *copy) {
    *copy = GUI_Context;
}
void GUI_RestoreContext(const GUI_CONTEXT *copy) {
    GUI_Context = *copy;
}

void GUI_UC_SetEncodeNone(void) {
    GUI_Context.Encoding = GUI_ENCODE_NONE;
}
void GUI_UC_SetEncodeUTF8(void) {
    GUI_Context.Encoding = GUI_ENCODE_UTF8;
}
