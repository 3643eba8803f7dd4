// Text pictures compared with the references in tests/ref_imgs/text (made once with
// ZEFO_UPDATE_REFS=1 and looked at): every font, every text mode, alignment, wrapping, rotation.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "gfx/font_table.h"
#include "gfx/gfx_state.h"
#include "gfx/text.h"
#include "tests/gfx/picture.h"
#include "tests/support/text_screen.h"

namespace {

// Latin-1: A grave, E acute, I circumflex, o tilde, u umlaut, sharp s, inverted question mark,
// copyright, pound, micro.
const char *kSample = " The quick brown fox 0123 \xC0\xC9\xCE\xF5\xFC\xDF\xBF\xA9\xA3\xB5";

// One line per font name: the name, then the sample; returns the y below the last line.
int32_t fontLines(const char *const *names, int n, int32_t y) {
    for (int i = 0; i < n; i++) {
        EXPECT_TRUE(GUIDEMO_SetFont(names[i])) << names[i];
        GUI_DispStringAt(names[i], 2, y);
        GUI_DispString(kSample);
        y += GUI_GetFontDistY();
    }
    return y;
}

std::string refName(const char *name) {
    mkdir("/tmp/text", 0777); // where a failing comparison leaves its picture
    return std::string("text/") + name;
}

void expectPicture(const char *name, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    EXPECT_EQ(matchReference(refName(name).c_str(), x0, y0, x1, y1), "");
}

// A background of coloured stripes, so that modes that keep or mix the pixels below show it.
void stripes(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    GUI_COLOR saved = GUI_GetColor();
    for (int32_t x = x0; x <= x1; x += 8) {
        GUI_SetColor((x / 8) % 2 ? 0x00FFC0 : 0xC080FF);
        GUI_FillRect(x, y0, x + 3 < x1 ? x + 3 : x1, y1);
    }
    GUI_SetColor(saved);
}

} // namespace

TEST(TextPictures, ProportionalFonts) {
    textScreen();
    const char *names[] = {"8s",  "8Bs", "10s", "10Bs", "10",  "10B", "12",
                           "12B", "14",  "14B", "16",   "16B", "x16", "x16B"};
    int32_t y = fontLines(names, 14, 0);
    expectPicture("fonts_small", 0, 0, 799, y - 1);
}

TEST(TextPictures, LargeProportionalFonts) {
    textScreen();
    const char *names[] = {"20", "20B", "24", "24B", "32", "32B"};
    int32_t y = fontLines(names, 6, 0);
    expectPicture("fonts_large", 0, 0, 799, y - 1);
}

TEST(TextPictures, MonospacedFonts) {
    textScreen();
    const char *names[] = {"m8",  "m8B",  "m10", "m10B", "m12", "m12B",
                           "m14", "m14B", "m16", "m16B", "m20", "m20B"};
    int32_t y = fontLines(names, 12, 0);
    expectPicture("fonts_mono", 0, 0, 799, y - 1);
}

TEST(TextPictures, LargeMonospacedFonts) {
    textScreen();
    const char *names[] = {"m24", "m24B", "m32", "m32B"};
    int32_t y = fontLines(names, 4, 0);
    ASSERT_TRUE(GUIDEMO_SetFont("48"));
    GUI_DispStringAt("48 Ag\xC5\xE7", 2, y);
    y += GUI_GetFontDistY();
    ASSERT_TRUE(GUIDEMO_SetFont("64"));
    GUI_DispStringAt("64 Wj\xC9\xDF", 2, y);
    y += GUI_GetFontDistY();
    expectPicture("fonts_mono_large", 0, 0, 799, y - 1);
}

// Normal, XOR, transparent, reverse and transparent-reverse text in a 1-bit font and anti-aliased
// proportional and monospaced fonts, over stripes.
TEST(TextPictures, TextModes) {
    textScreen();
    GUI_SetColor(0x800000);   // dark blue
    GUI_SetBkColor(0x00FFFF); // yellow
    const int16_t modes[] = {GUI_TM_NORMAL, GUI_TM_XOR, GUI_TM_TRANS, GUI_TM_REV, GUI_TM_TRANS | GUI_TM_REV};
    const char *fonts[] = {"10s", "16", "m14B", "24B"};
    stripes(0, 0, 799, 339);
    for (int k = 0; k < 4; k++) {
        ASSERT_TRUE(GUIDEMO_SetFont(fonts[k]));
        // Two columns: the small fonts left, the larger ones right.
        int32_t x = k < 2 ? 4 : 404, y = k == 0 || k == 2 ? 2 : (k == 1 ? 95 : 135);
        for (int16_t m : modes) {
            GUI_SetTextMode(m);
            char line[64];
            snprintf(line, sizeof line, "%s %d: Wave \xE9\xE8 gjpq", fonts[k], m);
            GUI_DispStringAt(line, x + (m % 3) * 5, y);
            y += GUI_GetFontDistY() + 1;
        }
    }
    expectPicture("modes", 0, 0, 799, 339);
}

// The nine alignments at marked points, and right-aligned texts lining up from right to left.
TEST(TextPictures, Alignment) {
    textScreen();
    ASSERT_TRUE(GUIDEMO_SetFont("16"));
    const int16_t hs[] = {GUI_TA_LEFT, GUI_TA_HCENTER, GUI_TA_RIGHT};
    const int16_t vs[] = {GUI_TA_TOP, GUI_TA_VCENTER, GUI_TA_BASELINE, GUI_TA_BOTTOM};
    GUI_SetColor(0x0000FF);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++)
            GUI_FillRect(100 + i * 200 - 1, 30 + j * 50 - 1, 100 + i * 200 + 1, 30 + j * 50 + 1);
    GUI_SetColor(0x000000);
    GUI_SetTextMode(GUI_TM_TRANS);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 4; j++) {
            GUI_SetTextAlign((int16_t)(hs[i] | vs[j]));
            GUI_DispStringAt("Align xgM", 100 + i * 200, 30 + j * 50);
        }
    // Multi-line text: line feeds return to the left border, or to the start for centred text.
    GUI_SetTextAlign(GUI_TA_LEFT);
    GUI_SetLBorder(20);
    GUI_DispStringAt("left one\nleft two\rX", 60, 220);
    GUI_SetTextAlign(GUI_TA_HCENTER);
    GUI_DispStringAt("centred\nlonger centred line", 400, 220);
    GUI_SetTextAlign(GUI_TA_RIGHT);
    QV_DispStringAt("right", 780, 220);
    QV_DispStringAt("then ", GUI_GetDispPosX(), GUI_GetDispPosY());
    QV_DispStringAt("this ", GUI_GetDispPosX(), GUI_GetDispPosY());
    expectPicture("align", 0, 0, 799, 279);
}

// Word and character wrapping, all alignments, in outlined rectangles; text beyond the bottom is cut.
TEST(TextPictures, Wrapping) {
    textScreen();
    const char *text =
        "Wrapped text breaks at blanks; a verylongwordthatdoesnotfit is cut.\nNew paragraph here.";
    const int16_t aligns[] = {GUI_TA_LEFT | GUI_TA_TOP, GUI_TA_HCENTER | GUI_TA_VCENTER,
                              GUI_TA_RIGHT | GUI_TA_BOTTOM};
    ASSERT_TRUE(GUIDEMO_SetFont("12"));
    for (int k = 0; k < 3; k++)
        for (int mode = 1; mode <= 2; mode++) {
            GUI_RECT r = {10 + k * 260, 10 + (mode - 1) * 160, 10 + k * 260 + 140 + k * 40,
                          10 + (mode - 1) * 160 + 140};
            GUI_SetColor(0xC0C0C0);
            GUI_DrawRect(r.x0 - 1, r.y0 - 1, r.x1 + 1, r.y1 + 1);
            GUI_SetColor(0x000000);
            GUI_DispStringInRectWrap(text, &r, aligns[k], mode);
        }
    // A rectangle too small for the text: cut at its edges.
    GUI_RECT small = {20, 340, 120, 360};
    GUI_SetColor(0xC0C0C0);
    GUI_DrawRect(small.x0 - 1, small.y0 - 1, small.x1 + 1, small.y1 + 1);
    GUI_SetColor(0x000000);
    ASSERT_TRUE(GUIDEMO_SetFont("24"));
    GUI_DispStringInRectWrap("Big text cut", &small, GUI_TA_LEFT, GUI_WRAPMODE_WORD);
    expectPicture("wrap", 0, 0, 799, 369);
}

// Text turned counter-clockwise, clockwise and upside down in rectangles, with alignments.
TEST(TextPictures, Rotation) {
    textScreen();
    ASSERT_TRUE(GUIDEMO_SetFont("16B"));
    const GUI_ROTATION *rots[] = {nullptr, &LCD_APIListCCW, &LCD_APIListCW, &LCD_APIList180};
    const int16_t aligns[] = {GUI_TA_LEFT | GUI_TA_TOP, GUI_TA_HCENTER | GUI_TA_VCENTER,
                              GUI_TA_RIGHT | GUI_TA_BOTTOM};
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 3; k++) {
            GUI_RECT r = {10 + i * 190 + k * 60, 10, 10 + i * 190 + k * 60 + 50, 200};
            if (i == 0 || i == 3) r = {10 + i * 190, 10 + k * 65, 10 + i * 190 + 170, 10 + k * 65 + 55};
            GUI_SetColor(0xC0C0C0);
            GUI_DrawRect(r.x0 - 1, r.y0 - 1, r.x1 + 1, r.y1 + 1);
            GUI_SetColor(0x000000);
            GUI_DispStringInRectEx("Turn Ag\n2nd", &r, aligns[k], -1, rots[i]);
        }
    expectPicture("rotate", 0, 0, 799, 209);
}

// UTF-8: two- and three-byte sequences, a broken sequence shown byte by byte, and the ESC rule.
TEST(TextPictures, Encodings) {
    textScreen();
    ASSERT_TRUE(GUIDEMO_SetFont("20"));
    GUI_UC_SetEncodeUTF8();
    GUI_DispStringAt("UTF-8: \xC3\x84rger \xC3\x9F \xE2\x82\xAC(no glyph) \xC3(broken)", 4, 4);
    GUI_UC_SetEncodeNone();
    GUI_DispStringAt("bytes: \xC3\x84rger", 4, 40);
    QV_DispStringAt("\x1B"
                    "esc: \xC3\x84rger",
                    4, 76);
    QV_DispStringAt("after: \xC3\x84rger", 4, 112);
    expectPicture("encodings", 0, 0, 499, 140);
}
