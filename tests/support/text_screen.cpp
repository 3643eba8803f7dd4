// The text room's test surroundings (see text_screen.h).
#include "tests/support/text_screen.h"

#include <string.h>

#include "app/cmd_text.h"
#include "gfx/font_table.h"
#include "gfx/gfx_state.h"
#include "tests/gfx/picture.h"

void textScreen(void) {
    freshScreen();
    Origin_X = Origin_Y = 0;
    GUIDEMO_SetFont("16");
    setTextMode("N");
    GUI_SetTextAlign(GUI_TA_LEFT | GUI_TA_TOP);
    setCursor(0, 0);
    GUI_UC_SetEncodeNone();
    sent.clear();
}

int run(int (*handler)(char *), const char *line) {
    char buf[200];
    strncpy(buf, line, sizeof buf - 1);
    buf[sizeof buf - 1] = 0;
    return handler(buf);
}
