// Text commands: text at a point or in a rectangle (aligned, wrapped, rotated), raw text, text
// width, text mode, alignment, cursor, fonts and the text encoding. Coordinates are relative to
// the origin.
#include "app/cmd_text.h"

#include <stdio.h>
#include <string.h>

#include "app/catalogue.h"
#include "app/commands.h"
#include "base/parse.h"
#include "gfx/font_table.h"
#include "gfx/gfx_state.h"
#include "gfx/gui.h"
#include "gfx/text.h"
#include "serial/serial.h"

int16_t rect[4]; // the rectangle of the last rectangle text, absolute

// ---- text mode and cursor ------------------------------------------------------------------------------

struct ModeName {
    const char *name;
    int16_t mode;
};
// The order matters: "TR" is tested before "T".
static const ModeName modeNames[] = {
    {"N", GUI_TM_NORMAL}, {"R", GUI_TM_REV}, {"TR", GUI_TM_TRANS | GUI_TM_REV},
    {"T", GUI_TM_TRANS},  {"X", GUI_TM_XOR},
};

// The mode name that word starts with, or nullptr.
static const ModeName *findMode(const char *word) {
    for (const ModeName &m : modeNames)
        if (strncmp(word, m.name, strlen(m.name)) == 0) return &m;
    return nullptr;
}

int setTextMode(const char *word) {
    const ModeName *m = findMode(word);
    if (!m) return 0;
    GUI_SetTextMode(m->mode);
    lastTextMode = (uint8_t)m->mode;
    curTextMode = m->name;
    return 1;
}

uint8_t getTextMode(void) {
    return lastTextMode;
}

void setCursor(int x, int y) {
    GUI_GotoXY(Origin_X + x, Origin_Y + y);
    GUIDEMO_SetTextBorder(Origin_X + x);
}

const void *textFontSave(void) {
    return QV_GetFontPtr();
}

void textFontRestore(const void *entry) {
    const QV_FONT_ENTRY *e = (const QV_FONT_ENTRY *)entry;
    if (e && QV_SetFont(e, &CmdFont)) current_font = e;
}

// ---- drawing ---------------------------------------------------------------------------------------------

// Layouts of rectangle text, by the suffix of its word.
enum Layout { PLAIN, WRAP_WORD, WRAP_CHAR, ROT_CCW, ROT_CW, ROT_180 };

static void drawInRect(const char *text, Layout layout) {
    GUI_RECT r = {rect[0], rect[1], rect[2], rect[3]};
    int32_t align = GUI_GetTextAlign();
    switch (layout) {
    case WRAP_WORD:
        GUI_DispStringInRectWrap(text, &r, align, GUI_WRAPMODE_WORD);
        break;
    case WRAP_CHAR:
        GUI_DispStringInRectWrap(text, &r, align, GUI_WRAPMODE_CHAR);
        break;
    case ROT_CCW:
        GUI_DispStringInRectEx(text, &r, align, -1, &LCD_APIListCCW);
        break;
    case ROT_CW:
        GUI_DispStringInRectEx(text, &r, align, -1, &LCD_APIListCW);
        break;
    case ROT_180:
        GUI_DispStringInRectEx(text, &r, align, -1, &LCD_APIList180);
        break;
    default:
        GUI_DispStringInRect(text, &r, align);
        break;
    }
}

// The word after a rectangle: an optional mode name, then an optional layout suffix.
static bool rectWord(const char *word, const ModeName **mode, Layout *layout) {
    static const struct {
        const char *suffix;
        Layout layout;
    } suffixes[] = {{"WW", WRAP_WORD}, {"WC", WRAP_CHAR}, {"CCW", ROT_CCW}, {"CW", ROT_CW}, {"I", ROT_180}};
    *mode = findMode(word);
    const char *s = *mode ? word + strlen((*mode)->name) : word;
    *layout = PLAIN;
    for (auto &x : suffixes)
        if (strncmp(s, x.suffix, strlen(x.suffix)) == 0) {
            *layout = x.layout;
            return true;
        }
    return *mode != nullptr;
}

static void storeRect(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
    rect[0] = (int16_t)(Origin_X + x1);
    rect[1] = (int16_t)(Origin_Y + y1);
    rect[2] = (int16_t)(Origin_X + x2);
    rect[3] = (int16_t)(Origin_Y + y2);
}

// At a point from the origin; the left border goes there too.
static void textAt(const char *text, int x, int y) {
    GUIDEMO_SetTextBorder(Origin_X + x);
    QV_DispStringAt(text, Origin_X + x, Origin_Y + y);
}

// The placement after the text of "t" and "ts".
static int placeText(const char *text, const char *rest) {
    int16_t x1, y1, x2, y2;
    int x, y, n3;
    char word[10];
    if (sscanf(rest, "%hd%hd%hd%hd%9s", &x1, &y1, &x2, &y2, word) == 5) {
        const ModeName *mode;
        Layout layout;
        if (!rectWord(word, &mode, &layout)) return CMD_FAIL;
        storeRect(x1, y1, x2, y2);
        if (mode)
            setTextMode(mode->name);
        else
            GUI_SetTextMode(GUI_TM_NORMAL);
        drawInRect(text, layout);
        if (mode) GUI_SetTextMode(GUI_TM_NORMAL);
        return CMD_OK;
    }
    if (sscanf(rest, "%hd%hd%hd%hd", &x1, &y1, &x2, &y2) == 4) {
        storeRect(x1, y1, x2, y2);
        GUI_SetTextMode(GUI_TM_NORMAL);
        drawInRect(text, PLAIN);
        return CMD_OK;
    }
    if (sscanf(rest, "%d%d%d", &x, &y, &n3) == 3) return CMD_FAIL;
    if (sscanf(rest, "%d%d%9s", &x, &y, word) == 3) {
        if (!setTextMode(word)) return CMD_FAIL;
        textAt(text, x, y);
        GUI_SetTextMode(GUI_TM_NORMAL);
        return CMD_OK;
    }
    if (sscanf(rest, "%d%d", &x, &y) == 2) {
        GUI_SetTextMode(GUI_TM_NORMAL);
        textAt(text, x, y);
        return CMD_OK;
    }
    if (sscanf(rest, "%9s", word) == 1) {
        if (!setTextMode(word)) return CMD_FAIL;
        QV_DispStringAt(text, GUI_GetDispPosX(), GUI_GetDispPosY());
        GUI_SetTextMode(GUI_TM_NORMAL);
        return CMD_OK;
    }
    GUI_SetTextMode(lastTextMode);
    QV_DispStringAt(text, GUI_GetDispPosX(), GUI_GetDispPosY());
    return CMD_OK;
}

int cmd_t(char *line) {
    char *rest;
    char *text = escstr(line, '"', &rest);
    if (!text) return CMD_FAIL;
    return placeText(text, rest ? rest : (char *)"");
}

// Raw text: no escapes, and the text ends at the next double quote.
int cmd_ts(char *line) {
    char *text = strchr(line, '"');
    if (!text) return CMD_FAIL;
    text++;
    char *end = strchr(text, '"');
    const char *rest = "";
    if (end) {
        *end = 0;
        rest = end + 1;
    }
    return placeText(text, rest);
}

// The library sets the mode from the first letters of a word directly ("R" is tested before "TR");
// any other word leaves it as it is.
static void modeOfT(const char *word) {
    static const ModeName order[] = {
        {"R", GUI_TM_REV},    {"TR", GUI_TM_TRANS | GUI_TM_REV}, {"T", GUI_TM_TRANS}, {"X", GUI_TM_XOR},
        {"N", GUI_TM_NORMAL},
    };
    for (const ModeName &m : order)
        if (strncmp(word, m.name, strlen(m.name)) == 0) {
            GUI_SetTextMode(m.mode);
            return;
        }
}

int cmd_T(char *line) {
    char *rest;
    char *text = escstr(line, '"', &rest);
    if (!text) return CMD_FAIL;
    if (!rest) rest = (char *)"";
    int x, y;
    char word[10];
    int n = sscanf(rest, "%d%d%9s", &x, &y, word);
    if (n >= 2) {
        if (n == 3) modeOfT(word);
        GUIDEMO_SetTextBorder(Origin_X + x);
        GUI_DispStringAt(text, Origin_X + x, Origin_Y + y);
        return CMD_OK;
    }
    if (sscanf(rest, "%9s", word) == 1) modeOfT(word);
    GUI_DispString(text);
    return CMD_OK;
}

int cmd_tu(char *line) {
    GUI_DispString(line + 3);
    return CMD_OK;
}

// The width of the text between the first double quote and the last one (or the line end).
int cmd_tq(char *line) {
    char *text = line + 4;
    char *last = strrchr(text, '"');
    if (last) *last = 0;
    snprintf(out_buffer, sizeof out_buffer, "%d\r", (int)GUI_GetStringDistX(text));
    txString(out_buffer);
    return CMD_OK;
}

// ---- settings ------------------------------------------------------------------------------------------

int cmd_tm(char *line) {
    if (strlen(line) < 4) {
        snprintf(out_buffer, sizeof out_buffer, "%s\r", curTextMode);
        txNotify(out_buffer);
        return CMD_OK;
    }
    char word[10];
    if (sscanf(line, "tm %9s", word) != 1) return CMD_CONTINUE;
    return setTextMode(word) ? CMD_OK : CMD_FAIL;
}

int cmd_ta(char *line) {
    char h, v;
    if (sscanf(line, "ta %c%c", &h, &v) == 2) {
        int16_t align;
        switch (h) {
        case 'L':
        case 'l':
            align = GUI_TA_LEFT;
            break;
        case 'R':
        case 'r':
            align = GUI_TA_RIGHT;
            break;
        case 'C':
        case 'c':
            align = GUI_TA_HCENTER;
            break;
        default:
            return CMD_FAIL;
        }
        switch (v) {
        case 'T':
        case 't':
            break;
        case 'B':
        case 'b':
            align |= GUI_TA_BOTTOM;
            break;
        case 'L':
        case 'l':
            align |= GUI_TA_BASELINE;
            break;
        case 'C':
        case 'c':
            align |= GUI_TA_VCENTER;
            break;
        default:
            return CMD_FAIL;
        }
        GUI_SetTextAlign(align);
        return CMD_OK;
    }
    int16_t a = GUI_GetTextAlign();
    snprintf(out_buffer, sizeof out_buffer, "%c%c\r", "LRCX"[a & 3], "TBLC"[(a >> 2) & 3]);
    txNotify(out_buffer);
    return CMD_OK;
}

int cmd_sc(char *line) {
    int x, y;
    if (sscanf(line, "sc %d %d", &x, &y) == 2) {
        setCursor(x, y);
        return CMD_OK;
    }
    snprintf(out_buffer, sizeof out_buffer, "%d %d\r", (int)(GUI_GetDispPosX() - Origin_X),
             (int)(GUI_GetDispPosY() - Origin_Y));
    txNotify(out_buffer);
    return CMD_OK;
}

// "f" alone replies the font's name; "f" and a name selects it.
int cmd_f(char *line) {
    if (strcmp(line, "f") == 0) {
        snprintf(out_buffer, sizeof out_buffer, "%s\r", QV_GetCurrentFontName());
        txString(out_buffer);
        return CMD_OK;
    }
    char name[10];
    if (sscanf(line, "f %9s", name) != 1) return CMD_FAIL;
    return GUIDEMO_SetFont(name) ? CMD_OK : CMD_FAIL;
}

int cmd_fq(char *) {
    for (const char *name; (name = QV_FontName()) != nullptr;) {
        snprintf(out_buffer, sizeof out_buffer, "%s\r", name);
        txString(out_buffer);
    }
    return CMD_OK;
}

int cmd_utf8(char *line) {
    if (strstr(line, "on"))
        GUI_UC_SetEncodeUTF8();
    else if (strstr(line, "off"))
        GUI_UC_SetEncodeNone();
    else
        txString(GUI_Context.Encoding == GUI_ENCODE_UTF8 ? "utf8 on\r" : "utf8 off\r");
    return CMD_OK;
}
