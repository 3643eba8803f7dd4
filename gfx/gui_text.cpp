// Text entry points of the library. The text functions (fonts, glyph drawing, rotation, wrapping)
// replace this file; until then text moves the text position only.
#include "gfx/gui_private.h"

struct GUI_ROTATION {
    int32_t quarterTurns; // counter-clockwise
};
const GUI_ROTATION LCD_APIListCCW = {1};
const GUI_ROTATION LCD_APIListCW = {3};
const GUI_ROTATION LCD_APIList180 = {2};

void GUI_DispString(const char *) {}
void GUI_DispStringAt(const char *text, int32_t x, int32_t y) {
    GUI_GotoXY(x, y);
    GUI_DispString(text);
}
void GUI_DispNextLine(void) {
    GUI_Context.DispPosY += GUI_GetFontDistY() + GUI_Context.LineSpacing;
    GUI_Context.DispPosX = GUI_Context.LBorder;
}
void GUI_DispStringInRect(const char *, const GUI_RECT *, int32_t) {}
void GUI_DispStringInRectEx(const char *, const GUI_RECT *, int32_t, int32_t, const GUI_ROTATION *) {}
void GUI_DispStringInRectWrap(const char *, const GUI_RECT *, int32_t, int32_t) {}
int32_t GUI_GetStringDistX(const char *) {
    return 0;
}
int32_t GUI_GetFontDistY(void) {
    return 0;
}
int32_t GUI_GetCharDistX(uint16_t) {
    return 0;
}
