// The font-name table and its look-up: compiled fonts first, then the user fonts of the resource
// image, so a user font never hides a compiled one of the same name.
#include "gfx/font_table.h"

#include <string.h>

#include "base/console.h"
#include "gfx/gui.h"

#define ROW(name, font)                                                                                      \
    { name, &font, nullptr, 0, 0 }

const QV_FONT_ENTRY fontTable[] = {
    ROW("8s", GUI_FontArial8),
    ROW("8Bs", GUI_FontArial8B),
    ROW("8", GUI_FontArial8),
    ROW("8B", GUI_FontArial8B),
    ROW("10s", GUI_FontArial10),
    ROW("10Bs", GUI_FontArial10B),
    ROW("10", GUI_FontArial10AA4),
    ROW("10B", GUI_FontArial10BAA4),
    ROW("12", GUI_FontArial12AA4),
    ROW("12B", GUI_FontArial12BAA4),
    ROW("14", GUI_FontArial14AA4),
    ROW("14B", GUI_FontArial14BAA4),
    ROW("16", GUI_FontArial16AA4),
    ROW("16B", GUI_FontArial16BAA4),
    ROW("20", GUI_FontArial20AA4),
    ROW("20B", GUI_FontArial20BAA4),
    ROW("24", GUI_FontArial24AA4),
    ROW("24B", GUI_FontArial24BAA4),
    ROW("32", GUI_FontArial32AA4),
    ROW("32B", GUI_FontArial32BAA4),
    ROW("48", GUI_FontMono48),
    ROW("64", GUI_FontMono64),
    ROW("m8", GUI_FontMono8AA4),
    ROW("m8B", GUI_FontMono8BAA4),
    ROW("m10", GUI_FontMono10AA4),
    ROW("m10B", GUI_FontMono10BAA4),
    ROW("m12", GUI_FontMono12AA4),
    ROW("m12B", GUI_FontMono12BAA4),
    ROW("m14", GUI_FontMono14AA4),
    ROW("m14B", GUI_FontMono14BAA4),
    ROW("m16", GUI_FontMono16AA4),
    ROW("m16B", GUI_FontMono16BAA4),
    ROW("m20", GUI_FontMono20AA4),
    ROW("m20B", GUI_FontMono20BAA4),
    ROW("m24", GUI_FontMono24AA4),
    ROW("m24B", GUI_FontMono24BAA4),
    ROW("m32", GUI_FontMono32AA4),
    ROW("m32B", GUI_FontMono32BAA4),
    ROW("m48", GUI_FontMono48),
    ROW("m64", GUI_FontMono64),
    ROW("dummy", GUI_FontArial8),
    // Found by look-up, never listed.
    ROW("10S", GUI_FontArial8),
    ROW("13", GUI_FontArial10),
    ROW("13B", GUI_FontArial10B),
    ROW("x16", GUI_Font16_1),
    ROW("x16B", GUI_Font16B_1),
    ROW("18BC", GUI_FontArial24AA4),
    ROW("24BC", GUI_FontArial24AA4),
    ROW("4x6", GUI_FontMono8AA4),
    ROW("6x8", GUI_FontMono8AA4),
    ROW("6x9", GUI_FontMono8AA4),
    ROW("8x8", GUI_FontMono8AA4),
    ROW("8x9", GUI_FontMono8AA4),
    ROW("8x10", GUI_FontMono10AA4),
    ROW("8x12", GUI_FontMono12AA4),
    ROW("8x13", GUI_FontMono12AA4),
    ROW("8x15B", GUI_FontMono14AA4),
    ROW("8x16", GUI_FontMono16AA4),
    ROW("8x16L", GUI_FontMono16AA4),
    ROW("12x24", GUI_FontMono24AA4),
    ROW("14x24", GUI_FontMono24AA4),
    ROW("16x32", GUI_FontMono32AA4),
    ROW("16x32i", GUI_FontMono32AA4),
    ROW("24x48", GUI_FontMono48),
    ROW("32x64", GUI_FontMono64),
    ROW("40x80", GUI_FontMono64),
    ROW("60x120", GUI_FontMono64),
    {"", nullptr, nullptr, 0, 0},
};

GUI_FONT CmdFont;
GUI_FONT touchfont;
const QV_FONT_ENTRY *current_font;

// ---- user fonts ----------------------------------------------------------------------------------------

static char userNames[QV_MAX_USER_FONTS][10];
static QV_FONT_ENTRY userFonts[QV_MAX_USER_FONTS];
static int userCount;

static bool isUserFont(const QV_FONT_ENTRY *e) {
    return e >= userFonts && e < userFonts + QV_MAX_USER_FONTS;
}

void QV_UserFontsClear(void) {
    // The slots read the data of the image that is going away: the command font falls back to the
    // power-up font rather than draw from memory that is being overwritten.
    if (current_font && isUserFont(current_font)) GUIDEMO_SetFont("16");
    if (GUI_GetFont() == &touchfont && touchfont.pSIF) GUI_SetFont(&GUI_FontArial16AA4);
    memset(&touchfont, 0, sizeof touchfont);
    userCount = 0;
}

int QV_UserFontAdd(const char *name, const uint8_t *data, uint32_t size, uint8_t sifType) {
    if (userCount >= QV_MAX_USER_FONTS || !name || !data) return 0;
    char *n = userNames[userCount];
    strncpy(n, name, sizeof userNames[0] - 1);
    n[sizeof userNames[0] - 1] = 0;
    userFonts[userCount] = {n, nullptr, data, size, sifType};
    userCount++;
    return 1;
}

int QV_UserFontCount(void) {
    return userCount;
}

// ---- look-up and selection
// ---------------------------------------------------------------------------------

const QV_FONT_ENTRY *QV_FindFont(const char *name) {
    if (!name) return nullptr;
    for (const QV_FONT_ENTRY *e = fontTable; e->Name[0]; e++)
        if (strcmp(e->Name, name) == 0) return e;
    for (int i = 0; i < userCount; i++)
        if (strcmp(userFonts[i].Name, name) == 0) return &userFonts[i];
    return nullptr;
}

int QV_SetFont(const QV_FONT_ENTRY *entry, GUI_FONT *slot) {
    if (!entry) return 0;
    if (entry->pFont) {
        GUI_SetFont(entry->pFont);
        return 1;
    }
    if (!slot) return 0;
    if (!GUI_SIF_TypeSupported(entry->SIFType)) {
        perr(":Unsupported SIF font type/r");
        return 0;
    }
    GUI_FONT built;
    if (!GUI_SIF_CreateFont(entry->pData, entry->Size, &built, entry->SIFType)) return 0;
    *slot = built;
    GUI_SetFont(slot);
    return 1;
}

bool GUIDEMO_SetFont(const char *name) {
    const QV_FONT_ENTRY *e = QV_FindFont(name);
    if (!e || !QV_SetFont(e, &CmdFont)) return false;
    current_font = e;
    return true;
}

const QV_FONT_ENTRY *QV_GetFontPtr(void) {
    return current_font;
}

const char *QV_GetCurrentFontName(void) {
    return current_font ? current_font->Name : "";
}

const char *QV_FontName(void) {
    static int cursor;
    const char *name = nullptr;
    int listed = 0;
    while (strcmp(fontTable[listed].Name, "dummy") != 0) listed++;
    if (cursor < listed)
        name = fontTable[cursor].Name;
    else if (cursor - listed < userCount)
        name = userFonts[cursor - listed].Name;
    cursor = name ? cursor + 1 : 0;
    return name;
}

// ---- text helpers
// ------------------------------------------------------------------------------------------

// A leading ESC asks for UTF-8 for this text only; returns the text to draw and the encoding to
// return to.
static const char *escUtf8(const char *text, uint8_t *previous) {
    *previous = GUI_Context.Encoding;
    if ((uint8_t)text[0] != 0x1B) return text;
    GUI_UC_SetEncodeUTF8();
    return text + 1;
}

static void restoreEncoding(uint8_t previous) {
    if (previous == GUI_ENCODE_UTF8)
        GUI_UC_SetEncodeUTF8();
    else
        GUI_UC_SetEncodeNone();
}

void QV_DispStringAt(const char *text, int32_t x, int32_t y) {
    if (!text) return;
    uint8_t previous;
    text = escUtf8(text, &previous);
    GUI_DispStringAt(text, x, y);
    if ((GUI_GetTextAlign() & GUI_TA_HORIZONTAL) == GUI_TA_RIGHT) GUI_GotoX(x - GUI_GetStringDistX(text));
    restoreEncoding(previous);
}

void QV_DispStringCenter(const char *text, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (!text) return;
    uint8_t previous;
    text = escUtf8(text, &previous);
    GUI_RECT r = {x0, y0, x1, y1};
    GUI_DispStringInRect(text, &r, GUI_TA_HCENTER | GUI_TA_VCENTER);
    restoreEncoding(previous);
}
