// A damaged resource image: the input is the image as it would arrive from a card or the data
// flash. It is converted, then every look-up runs for every record number, every bitmap is drawn
// at the screen's corners and clipped, the user fonts are selected and written with, the listing
// commands run, and every macro runs through the executor (its lines go to an interpreter that
// only takes macro calls). Nothing may read or write outside the image or the frame buffer.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "app/commands.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "fat/ff.h"
#include "gfx/font_table.h"
#include "gfx/gui.h"
#include "macro/macro.h"
#include "resource/bitmap.h"
#include "resource/resource.h"
#include "settings/settings.h"
#include "tests/support/screen.h"

// ---- what the executor and the commands meet around them ---------------------------------------
static int abortCalls;
int parse_command(char *line) {
    if (line[0] == 'm' && (line[1] == ' ' || (line[1] >= '0' && line[1] <= '9'))) return cmd_m(line);
    return line[0] == '!' ? 0 : 1;
}
int checkAbortCmd(void) {
    return ++abortCalls > 200;
} // a repeating macro ends
int checkEscape(void) {
    return 0;
}
int rs485Active(void) {
    return 0;
}
void handle_touch(void) {}
uint8_t EEpromRead(uint16_t) {
    return 0xFF;
}
void EEpromWrite(uint16_t, uint8_t) {}
uint32_t baudrate0 = 115200;
uint8_t eepromData[CONFIG_BLOCK_SIZE];
int QV_EEPROM_Save(void) {
    return 1;
}
void ReadSerialFlash(uint32_t, uint32_t count, uint8_t *buffer) {
    memset(buffer, 0xFF, count);
}
int SDisInitialized(void) {
    return 0;
}
int QV_Load_ExtMem(void) {
    return 0;
}
int QV_Load_ZefoBin_To_ExtMem(void) {
    return 0;
}
namespace ff {
FF_STATUS chdir(const char *) {
    return FF_ERR_MEDIA;
}
} // namespace ff

static void run(int (*handler)(char *), const char *text) {
    char line[130];
    strncpy(line, text, sizeof line - 1);
    line[sizeof line - 1] = 0;
    handler(line);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool ready;
    if (!ready) {
        freshScreen(0);
        ready = true;
    }
    if (size > (1u << 20)) return 0;
    loadImage(std::vector<uint8_t>(data, data + size));
    QV_Fixup_ExtMem(BSP_EXTRAM_BASE, ExtMemSize); // a second time changes nothing
    const ExtHeader *h = QV_ExtHeader();
    const int count = h ? (h->count < 40 ? h->count : 40) : 3;

    QV_UserFontsClear();
    for (int i = -1; i <= count; i++) {
        const ExtRecord *r = QV_GetExtBitmap(i);
        // Huge bitmaps draw correctly but slowly; the fuzzer keeps to the ones that draw fast.
        if (r && (uint64_t)QV_BitmapWidth(r) * (uint64_t)QV_BitmapHeight(r) <= (1u << 20)) {
            const int w = QV_BitmapWidth(r), hgt = QV_BitmapHeight(r);
            QV_DrawBitmap(r, -w / 2, -hgt / 2);
            QV_DrawBitmap(r, LCD_GetXSize() - w / 2, LCD_GetYSize() - hgt / 2);
            QV_DrawBitmapClipAbs(r, 3, 3, 4, 5, 900, 900);
            QV_DrawBitmapTrClipAbs(r, 790, 470, 790, 470, 2000, 2000, 0);
            QV_DrawBitmapCutOff(r, 10, 10, w / 3, 1, w, hgt + 5);
            GUI_SetDrawMode(GUI_DRAWMODE_TRANS);
            QV_DrawBitmap(r, 100, 100);
            GUI_SetDrawMode(GUI_DRAWMODE_NORMAL);
        }
        uint32_t gifSize;
        QV_GetExtGIF(i, &gifSize);
        const ExtFont *f = QV_GetExtFont(i);
        uint32_t avail = 0;
        const uint8_t *guip = f ? QV_ExtFontData(f, &avail) : nullptr;
        if (guip && QV_UserFontAdd(f->name, guip, avail, f->sifType) && GUIDEMO_SetFont(f->name))
            GUI_DispStringAt("Az09 \xE9", 10, 10);
    }
    GUIDEMO_SetFont("16");
    ExtMemUsed();
    sent.clear();
    if (h && h->count > 64) return 0; // a listing of thousands of records says nothing more
    run(cmd_ls, "ls");
    run(cmd_ls, "lsbmp");
    run(cmd_ls, "lsbmp 1");
    // A listing of tens of thousands of empty macro lines is correct but costs the campaign more
    // than it finds; one macro is listed then.
    uint32_t lines = 0;
    for (int k = 1, n = QV_ExtMacroCount(); k <= n && lines <= 2000; k++)
        if (const ExtMacroEntry *e = QV_GetExtMacro(k)) lines += e->lines;
    run(cmd_ls, lines <= 2000 ? "lsmac" : "lsmac 1");
    // The check sum runs over the size the header claims, up to the whole 11 MB region; past the
    // input it only adds zeros.
    if (!h || h->size <= size + 4096) run(cmd_sys_CEXT, "*CEXT");
    const int macros = QV_ExtMacroCount() < 12 ? QV_ExtMacroCount() : 12;
    for (int k = 1; k <= macros; k++) {
        abortCalls = 0;
        processMacro(k, "a b", nullptr);
        abortCalls = 0;
        processMacro(k, "", ":a");
        const char *name = QV_ExtMacroName(k);
        int index;
        if (name && name[0]) convertStringtoIndexMacro(name, &index);
    }
    return 0;
}
