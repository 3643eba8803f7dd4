// The font names: the compiled fonts by short name, the user fonts of the resource image, the
// current command font and the two font slots that user fonts are built into.
#pragma once

#include <stdint.h>

#include "gfx/font.h"

// A row of the font table, or a font record of the resource image.
struct QV_FONT_ENTRY {
    const char *Name;
    const GUI_FONT *pFont; // a compiled font, or nullptr for a user font
    const uint8_t *pData;  // user font: its "GUIP" data
    uint32_t Size;         // user font: bytes of data that may be read
    uint8_t SIFType;       // user font: the glyph format byte of its record
};

// Names as listed are those before the row "dummy"; the rows after it are found but never listed.
extern const QV_FONT_ENTRY fontTable[];

extern GUI_FONT CmdFont;   // what the text commands draw with when a user font is selected
extern GUI_FONT touchfont; // the same for the labels of controls
extern const QV_FONT_ENTRY *current_font;

// The compiled font of that name, else the first user font of that name, else nullptr.
const QV_FONT_ENTRY *QV_FindFont(const char *name);
// Makes the font current: a compiled font directly, a user font built into slot (nothing without
// one). Returns 0 when it could not; an unknown glyph format also sends a message.
int QV_SetFont(const QV_FONT_ENTRY *entry, GUI_FONT *slot);
// Looks the name up and makes it the command font; false when no font has that name or it cannot
// be used (the current font then stays).
bool GUIDEMO_SetFont(const char *name);
const QV_FONT_ENTRY *QV_GetFontPtr(void);
const char *QV_GetCurrentFontName(void);
// The listed names one per call, then the user fonts in record order; nullptr after the last, and
// the next call starts again at the first.
const char *QV_FontName(void);

// ---- user fonts of the resource image -----------------------------------------------------------------
// The resource-image loader forgets the fonts of the previous image, then registers every font
// record of the new one in record order: the name (at most 9 characters are kept), the data (which
// must begin with "GUIP"), how many bytes of it may be read, and the record's SIF type byte.
enum { QV_MAX_USER_FONTS = 64 };
void QV_UserFontsClear(void);
int QV_UserFontAdd(const char *name, const uint8_t *data, uint32_t size, uint8_t sifType); // 0: table full
int QV_UserFontCount(void);

// ---- text helpers
// ------------------------------------------------------------------------------------------ Text at an
// absolute point. A text beginning with ESC (0x1B) is drawn without it as UTF-8, for this call only. After
// right-aligned text the text position goes to its left end, so that the next right-aligned text ends where
// this one began.
void QV_DispStringAt(const char *text, int32_t x, int32_t y);
// Text centred both ways in the rectangle (absolute), with the same ESC rule.
void QV_DispStringCenter(const char *text, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
