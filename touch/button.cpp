// Buttons and keys. A button is a hotspot of type 3 (momentary) or 4 (toggle) whose record here
// keeps its faces, labels, font and colour. Its events come through updateSpot like every other
// hotspot's; this file defines buttons and draws them.
#include "touch/button.h"

#include <stdio.h>
#include <string.h>

#include "base/console.h"
#include "base/parse.h"
#include "gfx/gfx_state.h"
#include "resource/bitmap.h"
#include "resource/resource.h"

ButtonInfo buttonInfo[BUTTON_SPOTS];

namespace {

struct ButtonType {
    int16_t type;
    bool toggle;
    uint8_t flags, flags2;
    uint8_t initialState; // the state shown right after definition
};

constexpr uint8_t ALWAYS = HF_REPORTS | HF_CLICK;

constexpr ButtonType buttonTypes[] = {
    {1, false, ALWAYS | HF_REPORT_PRESS, 0, 0},
    {3, false, ALWAYS | HF_REPORT_PRESS, HF2_TYPEMATIC, 0},
    {30, false, ALWAYS | HF_REPORT_PRESS | HF_NO_REPEAT_CLICK, HF2_TYPEMATIC, 0},
    {4, false, ALWAYS | HF_REPORT_RELEASE, 0, 0},
    {5, false, ALWAYS | HF_REPORT_PRESS | HF_REPORT_RELEASE, 0, 0},
    {2, true, ALWAYS, 0, 0},
    {20, true, ALWAYS, 0, 0},
    {21, true, ALWAYS, 0, 1},
};

const ButtonType *findType(int type) {
    for (const ButtonType &t : buttonTypes)
        if (t.type == type) return &t;
    return nullptr;
}

// The face of a state: a bitmap of the resource image, or the built-in face when the number does
// not (or no longer) resolve to one.
struct Face {
    const ExtRecord *record;
    const GUI_BITMAP *builtin;
    int w, h;
};

Face faceOf(int number, int state) {
    const ExtRecord *r = number > 0 ? QV_GetExtBitmap(number) : nullptr;
    if (r) return Face{r, nullptr, QV_BitmapWidth(r), QV_BitmapHeight(r)};
    const GUI_BITMAP *b = state ? &bmButtonPressed : &bmButtonRaised;
    return Face{nullptr, b, b->XSize, b->YSize};
}

void drawFace(const Face &f, int x, int y, bool tearFree) {
    if (f.record) {
        if (tearFree)
            QV_DrawBitmapW(f.record, x, y);
        else
            QV_DrawBitmap(f.record, x, y);
        return;
    }
    if (tearFree) QV_WaitScanPast(y + f.h);
    GUI_DrawBitmap(f.builtin, x, y);
}

int32_t baseType(int32_t type) {
    return type > HS_DISABLED && type < HS_FREE ? type - HS_DISABLED : type;
}

// Up to `max` numbers of the text; how many were read.
int numbers(const char *text, int *v, int max) {
    int got = 0;
    while (got < max) {
        int used;
        if (sscanf(text, "%d%n", &v[got], &used) != 1) break;
        text += used;
        got++;
    }
    return got;
}

void copyLabel(char *to, const char *from) {
    strncpy(to, from, BUTTON_TEXT - 1);
    to[BUTTON_TEXT - 1] = 0;
}

int fail(const char *message) {
    pout("%s", message);
    return CMD_FAIL;
}

} // namespace

void QV_Button_Draw(int n, int tearFree) {
    if (n < 0 || n >= BUTTON_SPOTS) return;
    const HotSpot &h = TouchHotSpots[n];
    const ButtonInfo &b = buttonInfo[n];
    int state = b.state ? 1 : 0;
    int label = baseType(h.type) == HS_TOGGLE ? state : 0; // momentary buttons keep their first label
    GUI_CONTEXT saved;
    GUI_SaveContext_M(&saved);
    if (b.font) GUI_SetFont(b.font);
    drawFace(faceOf(b.face[state], state), h.x1, h.y1, tearFree != 0);
    GUI_SetColor(b.colour);
    GUI_SetTextMode(GUI_TM_TRANS);
    GUI_SetLBorder(b.textX[0]);
    GUI_SetTextAlign(GUI_TA_LEFT);
    if (h.flags & HF_CENTRED) {
        GUI_RECT r = {h.x1, h.y1, h.x2, h.y2};
        GUI_DispStringInRect(b.text[label], &r, GUI_TA_HCENTER | GUI_TA_VCENTER);
    } else {
        GUI_DispStringAt(b.text[label], b.textX[label], b.textY[label]);
    }
    GUI_RestoreContext(&saved);
}

int cmd_ButtonDefine(char *line, int n, int x, int y, int type, int centre) {
    if (n < 0 || n >= BUTTON_SPOTS) return CMD_FAIL;
    QV_Touch_HotSpot_Unset(n);
    bool disabled = type < 0;
    if (disabled) type = -type;
    HotSpot &h = TouchHotSpots[n];
    const ButtonType *t = findType(type);
    if (!t) return fail(": invalid <type>\r");

    // Labels, then the numbers after the last one.
    char *rest;
    char *label0 = escstr(line, '"', &rest), *label1 = nullptr;
    if (!label0) return fail(t->toggle ? ": missing text argument(s)\r" : ": missing text argument\r");
    if (t->toggle) {
        label1 = escstr(rest, '"', &rest);
        if (!label1) return fail(": missing text argument(s)\r");
    }
    int v[6] = {0, 0, 0, 0, 0, 0};
    int offsets = t->toggle ? 4 : 2; // label offsets given when not centred
    int got = numbers(rest ? rest : "", v, centre ? 2 : offsets + 2);
    int faces[2] = {0, 0};
    if (centre) {
        if (got == 1) return fail(": missing argument(s)\r");
        if (got == 2) faces[0] = v[0], faces[1] = v[1];
    } else {
        if (got != offsets && got != offsets + 2) return fail(": missing argument(s)\r");
        if (got == offsets + 2) faces[0] = v[offsets], faces[1] = v[offsets + 1];
    }
    for (int &f : faces)
        if (f <= 0 || !QV_GetExtBitmap(f)) f = 0;
    Face up = faceOf(faces[0], 0), down = faceOf(faces[1], 1);
    if (up.w < 1 || up.h < 1 || down.w < 1 || down.h < 1) return fail(": bitmap dimension less than 1\r");
    if (up.w != down.w) return fail(": bitmaps have different width\r");
    if (up.h != down.h) return fail(": bitmaps have different height\r");

    ButtonInfo &b = buttonInfo[n];
    b.face[0] = (int16_t)faces[0];
    b.face[1] = (int16_t)faces[1];
    for (int s = 0; s < 2; s++) {
        int k = t->toggle ? s : 0;
        b.textX[s] = centre ? x : x + v[2 * k];
        b.textY[s] = centre ? y : y + v[2 * k + 1];
    }
    copyLabel(b.text[0], label0);
    copyLabel(b.text[1], label1 ? label1 : "");
    h.type = t->toggle ? HS_TOGGLE : HS_BUTTON;
    h.flags = (uint8_t)(t->flags | (centre ? HF_CENTRED : 0));
    h.flags2 = t->flags2;
    // A toggle is stored in the state before the one shown; its first draw flips it.
    b.state = t->toggle ? (uint8_t)(1 - t->initialState) : 0;
    h.x1 = x;
    h.y1 = y;
    h.x2 = x + up.w;
    h.y2 = y + up.h;
    b.font = GUI_GetFont();
    b.colour = GUI_GetColor();
    updateSpot(t->toggle ? 1 : 0, n, 0, 0, 0, 1);
    if (disabled) h.type += HS_DISABLED;
    h.pressMacro = h.releaseMacro = 0;
    handle_spotNotReleasedWhenDefined(n);
    return CMD_OK;
}

int buttonReEnable(int n, int noRedraw) {
    if (n < 0 || n >= HOTSPOTS) return 0;
    HotSpot &h = TouchHotSpots[n];
    if (h.type <= HS_DISABLED || h.type >= HS_FREE) return 1;
    h.type -= HS_DISABLED;
    if (noRedraw || n >= BUTTON_SPOTS) return 1;
    if (h.type == HS_BUTTON) buttonInfo[n].state = 0;
    if (h.type == HS_BUTTON || h.type == HS_TOGGLE) QV_Button_Draw(n, 0);
    return 1;
}

// "bd n x y type ..." and "bdc ...": the four numbers, then the rest of the line.
static int defineButton(char *line, int keyLength, int centre) {
    int n, x, y, type;
    if (sscanf(line + keyLength, "%d %d %d %d", &n, &x, &y, &type) != 4) return CMD_FAIL;
    return cmd_ButtonDefine(line, n, x + Origin_X, y + Origin_Y, type, centre);
}

int cmd_bd(char *line) {
    return defineButton(line, 2, 0);
}

int cmd_bdc(char *line) {
    return defineButton(line, 3, 1);
}

int cmd_bc(char *line) {
    int n;
    if (sscanf(line, "bc %d", &n) != 1 || n < 0 || n >= BUTTON_SPOTS) return CMD_FAIL;
    QV_Touch_HotSpot_Unset(n);
    return CMD_OK;
}

int cmd_ssb(char *line) {
    int n, s;
    int got = sscanf(line, "ssb %d %d", &n, &s);
    if (got < 1 || n < 0 || n >= BUTTON_SPOTS) return CMD_FAIL;
    ButtonInfo &b = buttonInfo[n];
    if (got == 1) {
        snprintf(out_buffer, sizeof out_buffer, "%d\r", b.state);
        txNotify(out_buffer);
        return CMD_OK;
    }
    if (s != 0 && s != 1) return CMD_FAIL;
    int32_t type = TouchHotSpots[n].type;
    if (type == HS_BUTTON || type == HS_TOGGLE) {
        b.state = (uint8_t)(1 - s);
        updateSpot(1, n, 0, 0, 0, 0);
    } else if (type == HS_BUTTON + HS_DISABLED || type == HS_TOGGLE + HS_DISABLED) {
        b.state = (uint8_t)s;
    }
    return CMD_OK;
}
