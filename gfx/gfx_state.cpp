// The graphics state of the command layer and its save and restore.
#include "gfx/gfx_state.h"

// The text commands' font save and return, when they are part of the build (app/cmd_text.cpp).
__attribute__((weak)) const void *textFontSave(void);
__attribute__((weak)) void textFontRestore(const void *entry);

GraphicsState GDIState[GDI_STATES];
int Origin_X, Origin_Y;
const char *curTextMode = "N";
uint8_t lastTextMode;
int text_border;
const void *(*gfxStateFontSave)(void) = textFontSave;
void (*gfxStateFontRestore)(const void *entry) = textFontRestore;

// Black, white, blue, green, cyan, red, magenta, brown, dark grey, grey, light grey, light blue,
// light green, light cyan, light red, light magenta, yellow, red, green, blue.
const GUI_COLOR color_map[20] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x2A2AA5, 0x404040, 0x808080,
    0xD3D3D3, 0xFF8080, 0x80FF80, 0xFFFF80, 0x8080FF, 0xFF80FF, 0x00FFFF, 0x0000FF, 0x00FF00, 0xFF0000,
};

void GUIDEMO_SetTextBorder(int x) {
    text_border = x;
    GUI_SetLBorder(x);
}

void setOrigin(int x, int y) {
    Origin_X = x;
    Origin_Y = y;
    GUI_GotoXY(x, y);
    GUIDEMO_SetTextBorder(x);
}

void SaveState(GraphicsState *s) {
    s->bkColor = GUI_GetBkColor();
    s->color = GUI_GetColor();
    s->penSize = GUI_GetPenSize();
    s->lineStyle = GUI_GetLineStyle();
    s->drawMode = GUI_GetDrawMode();
    s->textAlign = (uint32_t)(uint16_t)GUI_GetTextAlign();
    s->originX = Origin_X;
    s->originY = Origin_Y;
    s->cursorX = GUI_GetDispPosX();
    s->cursorY = GUI_GetDispPosY();
    s->font = gfxStateFontSave ? gfxStateFontSave() : (const void *)GUI_GetFont();
    s->textMode = GUI_GetTextMode();
    s->textModeName = curTextMode;
}

void RestoreState(const GraphicsState *s) {
    GUI_SetBkColor(s->bkColor);
    GUI_SetColor(s->color);
    GUI_SetPenSize(s->penSize);
    GUI_SetLineStyle(s->lineStyle);
    GUI_SetDrawMode(s->drawMode);
    GUI_SetTextAlign((int16_t)s->textAlign);
    Origin_X = s->originX;
    Origin_Y = s->originY;
    GUI_GotoX(s->cursorX);
    GUI_GotoY(s->cursorY);
    if (gfxStateFontRestore)
        gfxStateFontRestore(s->font);
    else if (s->font)
        GUI_SetFont((const GUI_FONT *)s->font);
    GUI_SetTextMode((int16_t)s->textMode);
    if (s->textModeName) curTextMode = s->textModeName;
}
