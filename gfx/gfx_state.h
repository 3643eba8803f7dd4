// The graphics state of the command layer: the drawing origin, the palette of the "s" command, the
// text-mode name and text border that the text commands keep, and the saved graphics states (one per
// macro depth, and the records other controls keep of their own).
#pragma once

#include <stdint.h>

#include "gfx/gui.h"

// One saved graphics state, fields in their fixed order.
struct GraphicsState {
    uint32_t bkColor; // library colours
    uint32_t color;
    uint8_t penSize;
    uint8_t lineStyle;
    uint8_t drawMode;
    uint32_t textAlign;
    int32_t originX, originY;
    int32_t cursorX, cursorY; // absolute text position
    const char *textModeName; // curTextMode
    int32_t textMode;         // library text mode
    const void *font;         // current_font entry (or the library's font when the text room is absent)
};

enum { GDI_STATES = 5 };
extern GraphicsState GDIState[GDI_STATES]; // by macro depth; entry 0 is filled at the end of start-up

extern int Origin_X, Origin_Y;        // added to every coordinate of drawing and text commands
extern const GUI_COLOR color_map[20]; // palette of the "s" command, library colours
extern const char *curTextMode;       // name of the text mode last set by name ("N" at power-up)
extern uint8_t lastTextMode;          // that mode's library value
extern int text_border;               // x where a new text line starts
extern uint8_t angleSense;            // while set, rotation angles of the polygon commands run as 360 - angle

// The text functions keep the current font as an entry of their font table and build user fonts
// into a font slot; they register these two so that a saved state returns to the same font. Without
// them the library's current font pointer is saved and restored.
extern const void *(*gfxStateFontSave)(void);
extern void (*gfxStateFontRestore)(const void *entry);

void SaveState(GraphicsState *state);
void RestoreState(const GraphicsState *state);
// Origin (absolute), text cursor and text border to (x, y).
void setOrigin(int x, int y);
void GUIDEMO_SetTextBorder(int x);

// ---- helpers of the drawing commands (app/cmd_draw.cpp), used by other rooms ------------------------
// "RGB" or "RRGGBB" in hexadecimal to 0xRRGGBB; any other length -1.
int atoRGB(const char *text);
// The same as a library colour (red and blue exchanged).
int atoBGR(const char *text);
// Rectangle by mode: 0 outline with the pen, 1 filled, 2 dotted, 3 one-pixel outline. Absolute
// coordinates. 1, or 0 for another mode.
int GUIDEMO_DrawRect(int mode, int x1, int y1, int x2, int y2);
// Bounding box of count points offset by (x, y); (0x3FF, 0x3FF, 0, 0) for no points.
void savePolyBoxCorners(int x, int y, const GUI_POINT *points, int count, GUI_RECT *box);

// ---- screen helpers (app/cmd_screen.cpp) ---------------------------------------------------------------
// Resets every control and the origin; arg -1 keeps the picture, 0 clears it, another value draws
// that bitmap at (0, 0) when it exists. The text cursor and the left border go to (0, 0).
void GUIDEMO_Clear(int arg);
// 1 when the rectangle lies on the screen, else the out-of-bounds message and 0.
int areaIsOnScreen(int x1, int y1, int x2, int y2);
// Moves or rotates the pixels of an area (absolute coordinates); 1, or 0 when refused.
int scroll(uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2, int n, const char *direction);
