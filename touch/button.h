// Buttons and keys: hotspots 0..127 with a bitmap face and a text label for each of their two
// states, drawn in the font and colour that were current when they were defined. Momentary buttons
// show the down face while pressed; toggles flip state on each press and keep it.
#pragma once

#include <stdint.h>

#include "gfx/gui.h"
#include "touch/hotspot.h"

enum : int { BUTTON_TEXT = 80 }; // label bytes per state, NUL included

struct ButtonInfo {
    uint8_t state;              // 0 up face / first label, 1 down face / second label
    int32_t textX[2], textY[2]; // label positions per state, screen pixels
    const GUI_FONT *font;       // current at definition
    GUI_COLOR colour;           // text colour current at definition
    char text[2][BUTTON_TEXT];  // labels per state
    int16_t face[2];            // bitmap numbers of the up and down faces; 0: the built-in face
};

extern ButtonInfo buttonInfo[BUTTON_SPOTS];

// Defines button n at (x, y) (screen pixels) from the rest of the line after the four numbers:
// labels, label offsets and face numbers. 1, or 0 after its message.
int cmd_ButtonDefine(char *line, int n, int x, int y, int type, int centre);
// Draws button n in its current state. tearFree: first wait until the panel's scan has passed the
// face (redraws caused by touch), else at once (definition, re-enable).
void QV_Button_Draw(int n, int tearFree);
// Re-activates a disabled hotspot n; a button is redrawn (momentary up, a toggle in its state)
// unless noRedraw. 0 for n above 255.
int buttonReEnable(int n, int noRedraw);

// Commands
int cmd_bd(char *line);
int cmd_bdc(char *line);
int cmd_bc(char *line);
int cmd_ssb(char *line);
