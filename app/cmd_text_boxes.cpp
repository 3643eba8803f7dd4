// Scrolling text box commands: "std" defines or queries, "stc" clears, "sta" / "stp" add a line
// at the bottom / top.
#include <stdio.h>

#include "app/commands.h"
#include "base/console.h"
#include "base/parse.h"
#include "displays/text_box.h"

int cmd_std(char *line) {
    int box, type, x0, y0, x1, y1;
    int got = sscanf(line, "std %d %d %d %d %d %d", &box, &type, &x0, &y0, &x1, &y1);
    if (got == 6) return STB_DefineScrollTB(box, type, x0, y0, x1, y1) ? CMD_OK : CMD_FAIL;
    if (got != 1) return CMD_FAIL;
    int32_t rows, columns, a, b;
    if (!STB_QueryScrollTB(box, &rows, &columns, &a, &b)) return CMD_FAIL;
    snprintf(out_buffer, sizeof out_buffer, "%d %d %d %d\r", (int)rows, (int)columns, (int)a, (int)b);
    txNotify(out_buffer);
    return CMD_OK;
}

int cmd_stc(char *line) {
    int box;
    if (sscanf(line, "stc %d", &box) != 1) return CMD_FAIL;
    return STB_ClearScrollTB(box) ? CMD_OK : CMD_FAIL;
}

// "sta box "text"" / "stp box "text"": the text with its escapes.
static int addLine(char *line, const char *pattern, int (*add)(int, const char *)) {
    int box;
    if (sscanf(line, pattern, &box) != 1) return CMD_FAIL;
    char *rest;
    char *text = escstr(line, '"', &rest);
    if (!text) return CMD_FAIL;
    return add(box, text) ? CMD_OK : CMD_FAIL;
}

int cmd_sta(char *line) {
    return addLine(line, "sta %d", STB_AppendScrollTB);
}

int cmd_stp(char *line) {
    return addLine(line, "stp %d", STB_PrependScrollTB);
}
