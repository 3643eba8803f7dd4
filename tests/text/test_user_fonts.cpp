// User fonts: "GUIP" data in the five glyph formats, made by the font compiler, registered as font
// records, looked up after the compiled fonts, drawn like compiled fonts; damaged data refused.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/commands.h"
#include "base/parse.h"
#include "gfx/font_table.h"
#include "gfx/text.h"
#include "tests/gfx/picture.h"
#include "tests/support/text_screen.h"

#ifdef ZEFO_HAVE_FONTC
#include "tools/fontc/fontc.h"
#endif

namespace {

// A tiny font by hand: one range 'A'..'B', full-height 1-bit glyphs 2 pixels wide, 3 high.
std::vector<uint8_t> tinyFont() {
    std::vector<uint8_t> d = {'G', 'U', 'I', 'P', 3, 0, 4, 0, 3, 0, 2, 0, 3, 0, 1, 0, 'A', 0, 'B', 0};
    // Records of 12 bytes: XSize, XDist, BytesPerLine, reserved, Offset.
    uint8_t recA[12] = {2, 0, 3, 0, 1, 0, 0, 0, 44, 0, 0, 0};
    uint8_t recB[12] = {2, 0, 3, 0, 1, 0, 0, 0, 47, 0, 0, 0};
    d.insert(d.end(), recA, recA + 12);
    d.insert(d.end(), recB, recB + 12);
    uint8_t bits[] = {0xC0, 0x40, 0xC0, 0x80, 0x80, 0xC0};
    d.insert(d.end(), bits, bits + 6);
    return d;
}

} // namespace

TEST(UserFonts, HandMadeFontDrawsItsPixels) {
    textScreen();
    std::vector<uint8_t> data = tinyFont();
    GUI_FONT font;
    ASSERT_EQ(GUI_SIF_CreateFont(data.data(), (uint32_t)data.size(), &font, 0), 1);
    GUI_SetFont(&font);
    EXPECT_EQ(GUI_GetStringDistX("ABAC"), 9);
    EXPECT_EQ(GUI_GetFontDistY(), 4);
    GUI_DispStringAt("AB", 10, 10);
    const uint16_t k = 0x0000, w = 0xFFFF;
    const uint16_t want[3][6] = {{k, k, w, k, w, w}, {w, k, w, k, w, w}, {k, k, w, k, k, w}};
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 6; x++) EXPECT_EQ(px(10 + x, 10 + y), want[y][x]) << x << "," << y;
}

TEST(UserFonts, DamagedDataIsRefusedOrNotDrawn) {
    std::vector<uint8_t> good = tinyFont();
    GUI_FONT font;
    memset(&font, 0x5A, sizeof font);
    GUI_FONT untouched = font;
    // Short data, a bad signature, no ranges, a reversed range, records past the end, a bad type.
    EXPECT_EQ(GUI_SIF_CreateFont(good.data(), 15, &font, 0), 0);
    std::vector<uint8_t> d = good;
    d[0] = 'X';
    EXPECT_EQ(GUI_SIF_CreateFont(d.data(), (uint32_t)d.size(), &font, 0), 0);
    d = good;
    d[14] = 0;
    EXPECT_EQ(GUI_SIF_CreateFont(d.data(), (uint32_t)d.size(), &font, 0), 0);
    d = good;
    d[16] = 'C';
    EXPECT_EQ(GUI_SIF_CreateFont(d.data(), (uint32_t)d.size(), &font, 0), 0);
    EXPECT_EQ(GUI_SIF_CreateFont(good.data(), 30, &font, 0), 0);
    EXPECT_EQ(GUI_SIF_CreateFont(good.data(), (uint32_t)good.size(), &font, 1),
              0); // records too short for 16 bytes
    EXPECT_EQ(GUI_SIF_CreateFont(good.data(), (uint32_t)good.size(), &font, 7), 0);
    EXPECT_EQ(memcmp(&font, &untouched, sizeof font), 0);
    // A glyph whose rows reach past the data is not drawn, and has no width.
    d = good;
    d[20 + 12 + 8] = 200;
    ASSERT_EQ(GUI_SIF_CreateFont(d.data(), (uint32_t)d.size(), &font, 0xFF), 1);
    GUI_GLYPH g;
    EXPECT_EQ(GUI__GetGlyph(&font, 'A', &g), 1);
    EXPECT_EQ(GUI__GetGlyph(&font, 'B', &g), 0);
    EXPECT_EQ(GUI__GetGlyph(&font, 'C', &g), 0);
}

TEST(UserFonts, LookedUpAfterTheCompiledFontsAndListed) {
    textScreen();
    std::vector<uint8_t> data = tinyFont();
    QV_UserFontsClear();
    ASSERT_EQ(QV_UserFontAdd("m12", data.data(), (uint32_t)data.size(), 0), 1);
    ASSERT_EQ(QV_UserFontAdd("tiny", data.data(), (uint32_t)data.size(), 0), 1);
    ASSERT_EQ(QV_UserFontAdd("bad", data.data(), (uint32_t)data.size(), 7), 1);
    // A user font never hides a compiled font of the same name.
    EXPECT_EQ(QV_FindFont("m12")->pFont, &GUI_FontMono12AA4);
    EXPECT_EQ(run(cmd_f, "f tiny"), CMD_OK);
    EXPECT_EQ(GUI_GetFont(), &CmdFont);
    EXPECT_EQ(CmdFont.pSIF, data.data());
    sent.clear();
    EXPECT_EQ(run(cmd_f, "f"), CMD_OK);
    EXPECT_EQ(sent, "tiny\r");
    // An unknown glyph format is refused with its message and the font stays.
    sent.clear();
    EXPECT_EQ(run(cmd_f, "f bad"), CMD_FAIL);
    EXPECT_EQ(sent, ":Unsupported SIF font type/r");
    EXPECT_STREQ(QV_GetCurrentFontName(), "tiny");
    EXPECT_EQ(GUI_GetFont(), &CmdFont);
    sent.clear();
    run(cmd_fq, "f?");
    EXPECT_EQ(sent.substr(sent.size() - 21), "m48\rm64\rm12\rtiny\rbad\r");
    // Without a slot a user font cannot be made current.
    EXPECT_EQ(QV_SetFont(QV_FindFont("tiny"), nullptr), 0);
    // A new image: the user fonts go, and the command font falls back to the power-up font.
    QV_UserFontsClear();
    EXPECT_STREQ(QV_GetCurrentFontName(), "16");
    EXPECT_EQ(QV_FindFont("tiny"), nullptr);
    for (int i = 0; i < QV_MAX_USER_FONTS; i++) EXPECT_EQ(QV_UserFontAdd("n", data.data(), 10, 0), 1);
    EXPECT_EQ(QV_UserFontAdd("full", data.data(), 10, 0), 0);
    QV_UserFontsClear();
}

#ifdef ZEFO_HAVE_FONTC

namespace {

std::vector<uint8_t> compile(const char *ttf, double pt, int height, fontc::Format format, bool mono) {
    fontc::RenderOptions opt;
    opt.ttf = std::string("/usr/share/fonts/truetype/") + ttf;
    opt.points = pt;
    opt.height = height;
    opt.format = format;
    opt.monospace = mono;
    fontc::parseRanges("0x20-0x7E,0xA0-0xFF", &opt.ranges);
    fontc::Font font;
    std::string error;
    EXPECT_TRUE(fontc::render(opt, &font, &error)) << error;
    return fontc::writeGuip(font);
}

std::vector<uint16_t> drawWith(const GUI_FONT *font, int16_t mode, const char *text) {
    textScreen();
    GUI_SetFont(font);
    GUI_SetTextMode(mode);
    GUI_DispStringAt(text, 20, 20);
    GUI_RECT r = {300, 10, 360, 300};
    GUI_DispStringInRectEx(text, &r, GUI_TA_HCENTER, -1, &LCD_APIListCW);
    return snapshot();
}

} // namespace

// The same face compiled into user-font data draws exactly like the compiled font.
TEST(UserFonts, CompiledUserFontsDrawLikeTheBuiltInFonts) {
    const char *text = "Hello World 0123 \xC4\xE9\xDF";
    struct Case {
        const char *ttf;
        double pt;
        int height;
        fontc::Format format;
        bool mono;
        const GUI_FONT *builtIn;
    } cases[] = {
        {"liberation2/LiberationSans-Regular.ttf", 16, 25, fontc::Format::AA4, false, &GUI_FontArial16AA4},
        {"liberation2/LiberationSans-Bold.ttf", 10, 16, fontc::Format::Prop, false, &GUI_FontArial10B},
        {"liberation2/LiberationMono-Regular.ttf", 48, 83, fontc::Format::PropExt, true, &GUI_FontMono48},
        {"liberation2/LiberationMono-Bold.ttf", 12, 20, fontc::Format::AA4, true, &GUI_FontMono12BAA4},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> data = compile(c.ttf, c.pt, c.height, c.format, c.mono);
        GUI_FONT user;
        ASSERT_EQ(GUI_SIF_CreateFont(data.data(), (uint32_t)data.size(), &user, fontc::sifType(c.format)), 1);
        for (int16_t mode : {GUI_TM_NORMAL, GUI_TM_TRANS, GUI_TM_XOR, GUI_TM_REV}) {
            std::vector<uint16_t> a = drawWith(c.builtIn, mode, text);
            std::vector<uint16_t> b = drawWith(&user, mode, text);
            EXPECT_EQ(countDiff(a, b), 0) << c.ttf << " " << c.pt << " mode " << mode;
        }
        GUI_SetFont(&user);
        int32_t wu = GUI_GetStringDistX(text);
        GUI_SetFont(c.builtIn);
        EXPECT_EQ(wu, GUI_GetStringDistX(text));
    }
}

// The 2-bit and framed formats, as a picture.
TEST(UserFonts, TwoBitAndFramedFormats) {
    std::vector<uint8_t> aa2 =
        compile("liberation2/LiberationSans-Bold.ttf", 20, 32, fontc::Format::AA2, false);
    std::vector<uint8_t> frm =
        compile("liberation2/LiberationSans-Bold.ttf", 20, 32, fontc::Format::Frm, false);
    GUI_FONT f2, ff;
    ASSERT_EQ(GUI_SIF_CreateFont(aa2.data(), (uint32_t)aa2.size(), &f2, 2), 1);
    ASSERT_EQ(GUI_SIF_CreateFont(frm.data(), (uint32_t)frm.size(), &ff, 4), 1);
    EXPECT_EQ(f2.BitsPerPixel, 2);
    EXPECT_EQ(ff.Kind, GUI_FONTKIND_FRM);
    textScreen();
    GUI_SetColor(0x0000C0);
    GUI_FillRect(0, 40, 399, 79);
    GUI_SetColor(0xFFFFFF);
    GUI_SetBkColor(0x000000);
    GUI_SetTextMode(GUI_TM_NORMAL);
    GUI_SetFont(&f2);
    GUI_DispStringAt("2-bit Ag\xE9", 4, 4);
    GUI_SetTextMode(GUI_TM_TRANS);
    GUI_SetFont(&ff);
    GUI_DispStringAt("Framed Ag\xE9", 4, 44);
    GUI_SetTextMode(GUI_TM_XOR);
    GUI_DispStringAt("Framed XOR", 200, 4);

    EXPECT_EQ(matchReference("text/user_formats", 0, 0, 399, 79), "");
}

#endif
