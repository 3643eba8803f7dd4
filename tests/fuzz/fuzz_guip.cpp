// User-font data from a damaged resource image: the first byte is the record's SIF type, the rest
// the font data. A font that is accepted is drawn in every text mode, plain, wrapped and rotated.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "gfx/font.h"
#include "gfx/text.h"

static char text[300];

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool ready;
    if (!ready) {
        GUI_Init();
        // Every character code of one byte, and some UTF-8.
        size_t n = 0;
        for (int c = 1; c < 256; c++) text[n++] = (char)c;
        static const char utf8[] = "\xC3\xA9\xE2\x82\xAC\n end";
        memcpy(text + n, utf8, sizeof utf8);
        ready = true;
    }
    if (size < 1) return 0;
    GUI_FONT font;
    if (!GUI_SIF_CreateFont(data + 1, (uint32_t)(size - 1), &font, data[0])) return 0;
    GUI_SetFont(&font);
    // Every code point once; the other modes and layouts on a slice of 40 (drawing all of them
    // sixteen times made each input cost a few thousand glyphs and found nothing more).
    const int16_t modes[] = {GUI_TM_NORMAL, GUI_TM_XOR, GUI_TM_TRANS, GUI_TM_REV};
    GUI_RECT r = {-20, 10, 300, 200};
    GUI_UC_SetEncodeNone();
    GUI_SetTextMode(GUI_TM_NORMAL);
    GUI_DispStringAt(text, -5, -3);
    char slice[48];
    const size_t from = size % 226; // the last slices reach into the UTF-8 part
    memcpy(slice, text + from, 40);
    slice[40] = 0;
    for (int16_t m : modes) {
        GUI_SetTextMode(m);
        GUI_UC_SetEncodeNone();
        GUI_DispStringAt(slice, -5, -3);
        GUI_UC_SetEncodeUTF8();
        GUI_DispStringInRectWrap(slice, &r, GUI_TA_HCENTER | GUI_TA_VCENTER, GUI_WRAPMODE_WORD);
        GUI_DispStringInRectEx(slice, &r, GUI_TA_RIGHT | GUI_TA_BOTTOM, -1, &LCD_APIListCW);
        GUI_DispStringInRectEx(slice, &r, GUI_TA_LEFT, 40, &LCD_APIList180);
    }
    (void)GUI_GetStringDistX(text);
    return 0;
}
