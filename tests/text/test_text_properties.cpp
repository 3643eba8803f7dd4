// Properties of text drawing that hold for every font: XOR twice restores the screen, rectangle
// text stays inside its rectangle, transparent text touches only glyph pixels, normal text paints
// exactly its cells, widths are the sums of the advances, and the text position follows the text.
#include <gtest/gtest.h>

#include <random>

#include "gfx/font_table.h"
#include "gfx/gfx_state.h"
#include "gfx/text.h"
#include "tests/gfx/picture.h"
#include "tests/support/text_screen.h"

namespace {

const char *kFonts[] = {"8s", "10Bs", "12", "24B", "m10", "m32B", "48", "64", "x16B"};

// A busy background so that every kind of change shows.
void busyBackground(void) {
    for (int32_t y = 0; y < LCD_GetYSize(); y += 6) {
        GUI_SetColor((GUI_COLOR)(0x102030u * (uint32_t)(y / 6 + 1)) & 0xFFFFFF);
        GUI_FillRect(0, y, LCD_GetXSize() - 1, y + 2);
    }
    GUI_SetColor(0x000000);
}

int32_t sumOfAdvances(const GUI_FONT *font, const char *s) {
    int32_t w = 0;
    for (; *s; s++) {
        GUI_GLYPH g;
        if (GUI__GetGlyph(font, (uint8_t)*s, &g)) w += g.XDist;
    }
    return w;
}

} // namespace

TEST(TextProperties, XorTwiceLeavesTheScreenAsItWas) {
    textScreen();
    busyBackground();
    std::vector<uint16_t> before = snapshot();
    GUI_SetTextMode(GUI_TM_XOR);
    for (const char *f : kFonts) {
        ASSERT_TRUE(GUIDEMO_SetFont(f));
        for (int pass = 0; pass < 2; pass++) {
            GUI_DispStringAt("XOR Wg\xC5\xDF 09", 13, 17);
            GUI_RECT r = {300, 100, 420, 300};
            GUI_DispStringInRectWrap("xor wrapped twice in a box", &r, GUI_TA_HCENTER, GUI_WRAPMODE_WORD);
            GUI_DispStringInRectEx("turned", &r, GUI_TA_RIGHT, -1, &LCD_APIListCW);
            if (pass == 0) {
                EXPECT_GT(countDiff(before, snapshot()), 0) << f;
            }
        }
        EXPECT_EQ(countDiff(before, snapshot()), 0) << f;
    }
}

TEST(TextProperties, RectangleTextNeverDrawsOutsideItsRectangle) {
    std::mt19937 rng(12345);
    const char *texts[] = {"Short", "A much longer text that has to wrap over several lines of the box",
                           "Line one\nLine two\nLine three\nLine four\nLine five", "W", "x\ny"};
    const GUI_ROTATION *rots[] = {nullptr, &LCD_APIListCCW, &LCD_APIListCW, &LCD_APIList180};
    const int16_t modes[] = {GUI_TM_NORMAL, GUI_TM_XOR, GUI_TM_TRANS, GUI_TM_REV};
    textScreen();
    for (int i = 0; i < 300; i++) {
        busyBackground();
        ASSERT_TRUE(GUIDEMO_SetFont(kFonts[rng() % 9]));
        GUI_SetTextMode(modes[rng() % 4]);
        int32_t x0 = (int32_t)(rng() % 700) - 50, y0 = (int32_t)(rng() % 400) - 50;
        GUI_RECT r = {x0, y0, x0 + (int32_t)(rng() % 200), y0 + (int32_t)(rng() % 150)};
        int16_t align = (int16_t)((rng() % 3) | ((rng() % 4) << 2));
        const char *t = texts[rng() % 5];
        std::vector<uint16_t> before = snapshot();
        int kind = (int)(rng() % 3);
        if (kind == 0)
            GUI_DispStringInRect(t, &r, align);
        else if (kind == 1)
            GUI_DispStringInRectWrap(t, &r, align, 1 + (int32_t)(rng() % 2));
        else
            GUI_DispStringInRectEx(t, &r, align, -1, rots[rng() % 4]);
        GUI_RECT box;
        if (countDiff(before, snapshot(), &box) == 0) continue;
        EXPECT_GE(box.x0, r.x0) << i;
        EXPECT_GE(box.y0, r.y0) << i;
        EXPECT_LE(box.x1, r.x1) << i;
        EXPECT_LE(box.y1, r.y1) << i;
    }
}

TEST(TextProperties, TextStaysInsideTheClipRectangle) {
    textScreen();
    busyBackground();
    std::vector<uint16_t> before = snapshot();
    GUI_RECT clip = {100, 50, 180, 70};
    GUI_SetClipRect(&clip);
    for (const char *f : kFonts) {
        ASSERT_TRUE(GUIDEMO_SetFont(f));
        GUI_DispStringAt("Clipped text overflowing", 90, 40);
        GUI_RECT r = {0, 0, 799, 479};
        GUI_DispStringInRectEx("Rotated clipped", &r, GUI_TA_HCENTER | GUI_TA_VCENTER, -1, &LCD_APIListCCW);
    }
    GUI_SetClipRect(nullptr);
    GUI_RECT box;
    ASSERT_GT(countDiff(before, snapshot(), &box), 0);
    EXPECT_GE(box.x0, clip.x0);
    EXPECT_GE(box.y0, clip.y0);
    EXPECT_LE(box.x1, clip.x1);
    EXPECT_LE(box.y1, clip.y1);
}

TEST(TextProperties, TransparentTextChangesOnlyGlyphPixels) {
    for (const char *f : kFonts) {
        textScreen();
        busyBackground();
        ASSERT_TRUE(GUIDEMO_SetFont(f));
        std::vector<uint16_t> before = snapshot();
        GUI_SetTextMode(GUI_TM_TRANS);
        GUI_DispStringAt("Ti", 50, 60);
        // The same text in normal mode over white: its glyph pixels are the non-white ones.
        textScreen();
        ASSERT_TRUE(GUIDEMO_SetFont(f));
        GUI_DispStringAt("Ti", 50, 60);
        std::vector<uint16_t> ink = snapshot();
        textScreen();
        busyBackground();
        ASSERT_TRUE(GUIDEMO_SetFont(f));
        GUI_SetTextMode(GUI_TM_TRANS);
        GUI_DispStringAt("Ti", 50, 60);
        std::vector<uint16_t> after = snapshot();
        int32_t changed = 0;
        for (size_t i = 0; i < after.size(); i++)
            if (after[i] != before[i]) {
                changed++;
                EXPECT_NE(ink[i], 0xFFFF) << f << " pixel " << i;
            }
        EXPECT_GT(changed, 0) << f;
    }
}

TEST(TextProperties, NormalTextPaintsExactlyItsCells) {
    for (const char *f : kFonts) {
        textScreen();
        busyBackground();
        ASSERT_TRUE(GUIDEMO_SetFont(f));
        std::vector<uint16_t> before = snapshot();
        const char *text = "Cells of Wj";
        GUI_SetBkColor(0x00FF00);
        GUI_DispStringAt(text, 40, 30);
        int32_t w = GUI_GetStringDistX(text), h = GUI_GetFont()->YSize;
        GUI_RECT box;
        countDiff(before, snapshot(), &box);
        EXPECT_EQ(box.x0, 40) << f;
        EXPECT_EQ(box.y0, 30) << f;
        EXPECT_EQ(box.y1, 30 + h - 1) << f;
        EXPECT_GE(box.x1, 40 + w - 1) << f;
        EXPECT_LE(box.x1, 40 + w + 2) << f; // a glyph may reach a little past its advance
        // The background colour fills the cells around the glyphs.
        EXPECT_EQ(px(40, 30), LCD_Color2Index(0x00FF00)) << f;
        EXPECT_EQ(GUI_GetDispPosX(), 40 + w) << f;
        EXPECT_EQ(GUI_GetDispPosY(), 30) << f;
    }
}

TEST(TextProperties, WidthIsTheSumOfTheAdvances) {
    textScreen();
    const char *strings[] = {"",         "A", "Hello, World", "iiiiWWWW", "0123456789", "\xC0\xE9\xDF\xFF",
                             "tab\there"};
    for (const char *f : kFonts) {
        ASSERT_TRUE(GUIDEMO_SetFont(f));
        for (const char *s : strings) {
            EXPECT_EQ(GUI_GetStringDistX(s), sumOfAdvances(GUI_GetFont(), s)) << f << s;
        }
    }
    ASSERT_TRUE(GUIDEMO_SetFont("m16"));
    int32_t adv = GUI_GetCharDistX('M');
    EXPECT_EQ(GUI_GetStringDistX("iiii"), 4 * adv);
    EXPECT_EQ(GUI_GetCharDistX('i'), adv);
    EXPECT_EQ(GUI_GetFontDistY(), 28);
}

TEST(TextProperties, LineFeedsAndCarriageReturns) {
    textScreen();
    ASSERT_TRUE(GUIDEMO_SetFont("12"));
    GUI_SetLBorder(30);
    GUI_DispStringAt("ab\ncd", 100, 50);
    EXPECT_EQ(GUI_GetDispPosX(), 30 + GUI_GetStringDistX("cd"));
    EXPECT_EQ(GUI_GetDispPosY(), 50 + 18);
    GUI_DispString("\r");
    EXPECT_EQ(GUI_GetDispPosX(), 30);
    EXPECT_EQ(GUI_GetDispPosY(), 68);
    GUI_DispNextLine();
    EXPECT_EQ(GUI_GetDispPosY(), 86);
    // Centred and right-aligned lines return to the starting x.
    GUI_SetTextAlign(GUI_TA_RIGHT);
    GUI_DispStringAt("one\ntwo", 400, 100);
    EXPECT_EQ(GUI_GetDispPosX(), 400);
    EXPECT_EQ(GUI_GetDispPosY(), 118);
    // QV_DispStringAt leaves right-aligned text's position at its left end.
    QV_DispStringAt("width", 600, 200);
    EXPECT_EQ(GUI_GetDispPosX(), 600 - GUI_GetStringDistX("width"));
}

TEST(TextProperties, EscapeSelectsUtf8ForOneText) {
    textScreen();
    ASSERT_TRUE(GUIDEMO_SetFont("16"));
    GUI_SetTextAlign(GUI_TA_RIGHT);
    // Two UTF-8 bytes give one character: the width of that one letter.
    QV_DispStringAt("\x1B\xC3\x84", 300, 10);
    EXPECT_EQ(GUI_GetDispPosX(), 300 - GUI_GetCharDistX(0xC4));
    EXPECT_EQ(GUI_Context.Encoding, GUI_ENCODE_NONE);
    QV_DispStringAt("\xC3\x84", 300, 10);
    EXPECT_EQ(GUI_GetDispPosX(), 300 - GUI_GetCharDistX(0xC3) - GUI_GetCharDistX(0x84));
    GUI_UC_SetEncodeUTF8();
    QV_DispStringAt("\x1B"
                    "a",
                    300, 10);
    EXPECT_EQ(GUI_Context.Encoding, GUI_ENCODE_UTF8);
}

TEST(TextProperties, Utf8Decoding) {
    textScreen();
    GUI_UC_SetEncodeUTF8();
    const char *s = "a\xC3\xA9\xE2\x82\xAC\xC3z\xF0\x9F\x98\x80";
    int32_t left = (int32_t)strlen(s);
    std::vector<uint16_t> codes;
    for (uint16_t c; (c = GUI__NextChar(&s, &left)) != 0;) codes.push_back(c);
    // A broken sequence and a four-byte sequence come through byte by byte.
    std::vector<uint16_t> want = {'a', 0xE9, 0x20AC, 0xC3, 'z', 0xF0, 0x9F, 0x98, 0x80};
    EXPECT_EQ(codes, want);
    EXPECT_EQ(left, 0);
}
