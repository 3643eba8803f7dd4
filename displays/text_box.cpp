// Scrolling text boxes. Every operation switches to the box's own graphics state and back, so
// writing to a box neither depends on nor changes what other commands use.
#include "displays/text_box.h"

#include <string.h>

ScrollTextBox stbCommon[SCROLL_BOXES];

void STB_InitScrollTB_Resources(void) {
    for (ScrollTextBox &b : stbCommon) {
        b = ScrollTextBox{};
        b.state = -1;
    }
}

static ScrollTextBox *definedBox(int box) {
    if (box < 0 || box >= SCROLL_BOXES || stbCommon[box].state != 0) return nullptr;
    return &stbCommon[box];
}

// Runs between the caller's state and the box's.
struct BoxState {
    GraphicsState caller;
    explicit BoxState(const ScrollTextBox &b) {
        SaveState(&caller);
        RestoreState(&b.gs);
        GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
    }
    ~BoxState() { RestoreState(&caller); }
};

static void clearArea(const ScrollTextBox &b) {
    GUI_ClearRect(b.x0, b.y0, b.x1, b.y1);
}

int STB_DefineScrollTB(int box, int type, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (box < 0 || box >= SCROLL_BOXES || type != 0 || y1 <= y0 || x1 <= x0) return 0;
    int32_t charWidth = GUI_GetCharDistX('W'), lineHeight = GUI_GetFontDistY();
    if (charWidth <= 0 || lineHeight <= 0 || GUI_GetCharDistX(' ') != charWidth) return 0;
    x0 += Origin_X;
    x1 += Origin_X;
    y0 += Origin_Y;
    y1 += Origin_Y;
    int32_t columns = (x1 - x0 + 1) / charWidth, rows = (y1 - y0 + 1) / lineHeight;
    if (rows < 2 || columns < 1) return 0;
    ScrollTextBox &b = stbCommon[box];
    b.x0 = x0 + ((x1 - x0 + 1) - columns * charWidth) / 2;
    b.y0 = y0 + ((y1 - y0 + 1) - rows * lineHeight) / 2;
    b.x1 = b.x0 + columns * charWidth - 1;
    b.y1 = b.y0 + rows * lineHeight - 1;
    b.rows = rows;
    b.columns = columns;
    b.lineHeight = lineHeight;
    b.charWidth = charWidth;
    b.shown = 0;
    b.align = GUI_TA_LEFT;
    SaveState(&b.gs);
    b.state = 0;
    BoxState in(b);
    clearArea(b);
    return 1;
}

static void drawRow(const ScrollTextBox &b, int32_t row, const char *text) {
    GUI_RECT r = {b.x0, b.y0 + row * b.lineHeight, b.x1, b.y0 + (row + 1) * b.lineHeight - 1};
    GUI_DispStringInRect(text, &r, b.align);
}

// The area moves by one line (up: dir -1, down: +1) with the drawing core's block move; the line it
// uncovers is cleared.
static void scrollLine(const ScrollTextBox &b, int dir) {
    int32_t lh = b.lineHeight;
    if (dir < 0) {
        GUI_MoveRect(b.x0, b.y0 + lh, b.x1, b.y1, 0, -lh);
        GUI_ClearRect(b.x0, b.y1 - lh + 1, b.x1, b.y1);
    } else {
        GUI_MoveRect(b.x0, b.y0, b.x1, b.y1 - lh, 0, lh);
        GUI_ClearRect(b.x0, b.y0, b.x1, b.y0 + lh - 1);
    }
}

static bool fits(const ScrollTextBox &b, const char *text) {
    return (int32_t)strlen(text) <= b.columns;
}

int STB_AppendScrollTB(int box, const char *text) {
    ScrollTextBox *b = definedBox(box);
    if (!b || !fits(*b, text)) return 0;
    BoxState in(*b);
    if (b->shown == b->rows) {
        scrollLine(*b, -1);
        b->shown--;
    }
    drawRow(*b, b->shown, text);
    b->shown++;
    return 1;
}

int STB_PrependScrollTB(int box, const char *text) {
    ScrollTextBox *b = definedBox(box);
    if (!b || !fits(*b, text)) return 0;
    BoxState in(*b);
    if (b->shown > 0) {
        scrollLine(*b, 1);
        if (b->shown == b->rows) b->shown--;
    }
    drawRow(*b, 0, text);
    b->shown++;
    return 1;
}

int STB_ClearScrollTB(int box) {
    ScrollTextBox *b = definedBox(box);
    if (!b) return 0;
    BoxState in(*b);
    clearArea(*b);
    b->shown = 0;
    return 1;
}

int STB_QueryScrollTB(int box, int32_t *rows, int32_t *columns, int32_t *a, int32_t *b) {
    const ScrollTextBox *t = definedBox(box);
    if (!t) return 0;
    *rows = t->rows;
    *columns = t->columns;
    *a = *b = 0;
    return 1;
}
