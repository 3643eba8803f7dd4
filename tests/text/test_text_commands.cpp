// The text commands on a fake board: replies, failures, and what they change.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/catalogue.h"
#include "app/cmd_text.h"
#include "app/commands.h"
#include "base/parse.h"
#include "gfx/font_table.h"
#include "gfx/gfx_state.h"
#include "gfx/text.h"
#include "tests/gfx/picture.h"
#include "tests/support/text_screen.h"

namespace {

std::string reply(int (*handler)(char *), const char *line, int *result = nullptr) {
    sent.clear();
    int r = run(handler, line);
    if (result) *result = r;
    return sent;
}

int32_t fontWidth(const char *s) {
    int32_t w = 0;
    for (; *s; s++) {
        GUI_GLYPH g;
        if (GUI__GetGlyph(GUI_GetFont(), (uint8_t)*s, &g)) w += g.XDist;
    }
    return w;
}

} // namespace

TEST(TextCommands, TextModeRepliesAndSets) {
    textScreen();
    int r;
    EXPECT_EQ(reply(cmd_tm, "tm", &r), "N\r");
    EXPECT_EQ(r, CMD_OK);
    EXPECT_EQ(reply(cmd_tm, "tm TR", &r), "");
    EXPECT_EQ(r, CMD_OK);
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_TRANS | GUI_TM_REV);
    EXPECT_EQ(reply(cmd_tm, "tm"), "TR\r");
    EXPECT_EQ(run(cmd_tm, "tm Q"), CMD_FAIL);
    EXPECT_EQ(reply(cmd_tm, "tm "), "TR\r");
    // A "tm" line without a word goes on with the other tests.
    EXPECT_EQ(run(cmd_tm, "tm    "), CMD_CONTINUE);
    EXPECT_EQ(run(cmd_tm, "tm Xor"), CMD_OK);
    EXPECT_EQ(getTextMode(), GUI_TM_XOR);
    EXPECT_EQ(run(cmd_tm, "tm T"), CMD_OK);
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_TRANS);
    EXPECT_EQ(run(cmd_tm, "tm R"), CMD_OK);
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_REV);
    EXPECT_EQ(reply(cmd_tm, "tm"), "R\r");
}

TEST(TextCommands, AlignmentRepliesAndSets) {
    textScreen();
    EXPECT_EQ(reply(cmd_ta, "ta"), "LT\r");
    EXPECT_EQ(run(cmd_ta, "ta cc"), CMD_OK);
    EXPECT_EQ(GUI_GetTextAlign(), GUI_TA_HCENTER | GUI_TA_VCENTER);
    EXPECT_EQ(reply(cmd_ta, "ta"), "CC\r");
    EXPECT_EQ(run(cmd_ta, "ta Rb"), CMD_OK);
    EXPECT_EQ(reply(cmd_ta, "ta"), "RB\r");
    EXPECT_EQ(run(cmd_ta, "ta lL"), CMD_OK);
    EXPECT_EQ(GUI_GetTextAlign(), GUI_TA_LEFT | GUI_TA_BASELINE);
    EXPECT_EQ(reply(cmd_ta, "ta"), "LL\r");
    EXPECT_EQ(run(cmd_ta, "ta lx"), CMD_FAIL);
    EXPECT_EQ(run(cmd_ta, "ta x"), CMD_OK);     // one letter: a query
    EXPECT_EQ(run(cmd_ta, "ta l t"), CMD_FAIL); // the blank is the second letter
    GUI_SetTextAlign(3);
    EXPECT_EQ(reply(cmd_ta, "ta"), "XT\r");
}

TEST(TextCommands, CursorIsRelativeToTheOrigin) {
    textScreen();
    EXPECT_EQ(reply(cmd_sc, "sc"), "0 0\r");
    setOrigin(100, 50);
    EXPECT_EQ(run(cmd_sc, "sc 10 20"), CMD_OK);
    EXPECT_EQ(GUI_GetDispPosX(), 110);
    EXPECT_EQ(GUI_GetDispPosY(), 70);
    EXPECT_EQ(text_border, 110);
    EXPECT_EQ(reply(cmd_sc, "sc"), "10 20\r");
    EXPECT_EQ(reply(cmd_sc, "sc 5"), "10 20\r");
}

TEST(TextCommands, Fonts) {
    textScreen();
    EXPECT_EQ(reply(cmd_f, "f"), "16\r");
    EXPECT_EQ(run(cmd_f, "f 24B"), CMD_OK);
    EXPECT_EQ(GUI_GetFont(), &GUI_FontArial24BAA4);
    EXPECT_EQ(reply(cmd_f, "f"), "24B\r");
    EXPECT_EQ(run(cmd_f, "f 16x32i"), CMD_OK);
    EXPECT_EQ(GUI_GetFont(), &GUI_FontMono32AA4);
    EXPECT_EQ(reply(cmd_f, "f"), "16x32i\r");
    EXPECT_EQ(run(cmd_f, "f 99"), CMD_FAIL);
    EXPECT_EQ(reply(cmd_f, "f"), "16x32i\r");
    QV_UserFontsClear();
    std::string list = reply(cmd_fq, "f?");
    EXPECT_EQ(list.substr(0, 14), "8s\r8Bs\r8\r8B\r10");
    EXPECT_EQ(list.substr(list.size() - 13), "m32B\rm48\rm64\r");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\r'), 40);
    EXPECT_EQ(list.find("dummy"), std::string::npos);
}

TEST(TextCommands, WidthOfText) {
    textScreen();
    const char *fonts[] = {"16", "8s", "m12", "32B"};
    const char *texts[] = {"Hello", "Width of a longer text", "i", "WWW 123"};
    for (const char *f : fonts) {
        ASSERT_TRUE(GUIDEMO_SetFont(f));
        for (const char *t : texts) {
            std::string line = std::string("t? \"") + t + "\"";
            EXPECT_EQ(reply(cmd_tq, line.c_str()), std::to_string(fontWidth(t)) + "\r") << f << t;
        }
    }
    ASSERT_TRUE(GUIDEMO_SetFont("16"));
    // No closing quote: the rest of the line; inner quotes belong to the text; no escapes.
    EXPECT_EQ(reply(cmd_tq, "t? \"abc"), std::to_string(fontWidth("abc")) + "\r");
    EXPECT_EQ(reply(cmd_tq, "t? \"a\"b\" 10"), std::to_string(fontWidth("a\"b")) + "\r");
    EXPECT_EQ(reply(cmd_tq, "t? \"a\\n\""), std::to_string(fontWidth("a\\n")) + "\r");
    EXPECT_EQ(reply(cmd_tq, "t? \"\""), "0\r");
}

TEST(TextCommands, Encoding) {
    textScreen();
    EXPECT_EQ(reply(cmd_utf8, "utf8"), "utf8 off\r");
    EXPECT_EQ(reply(cmd_utf8, "utf8 on"), "");
    EXPECT_EQ(GUI_Context.Encoding, GUI_ENCODE_UTF8);
    EXPECT_EQ(reply(cmd_utf8, "utf8"), "utf8 on\r");
    EXPECT_EQ(run(cmd_utf8, "utf8 off"), CMD_OK);
    EXPECT_EQ(reply(cmd_utf8, "utf8 ?"), "utf8 off\r");
}

TEST(TextCommands, TextFormsAndFailures) {
    textScreen();
    EXPECT_EQ(run(cmd_t, "t no quote"), CMD_FAIL);
    EXPECT_EQ(run(cmd_t, "t \"x\" 1 2 3"), CMD_FAIL);
    EXPECT_EQ(run(cmd_t, "t \"x\" 0 0 100 40 Z"), CMD_FAIL);
    EXPECT_EQ(run(cmd_t, "t \"x\" 10 20 Q"), CMD_FAIL);
    EXPECT_EQ(run(cmd_t, "t \"x\" Q"), CMD_FAIL);
    // The point form forces normal mode without changing the mode set by name.
    setOrigin(5, 7);
    EXPECT_EQ(run(cmd_tm, "tm X"), CMD_OK);
    EXPECT_EQ(run(cmd_t, "t \"ab\" 10 20"), CMD_OK);
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_NORMAL);
    EXPECT_EQ(GUI_GetDispPosX(), 15 + fontWidth("ab"));
    EXPECT_EQ(GUI_GetDispPosY(), 27);
    EXPECT_EQ(text_border, 15);
    EXPECT_EQ(reply(cmd_tm, "tm"), "X\r");
    // Without a position: at the cursor in the mode last set by name, which stays set.
    EXPECT_EQ(run(cmd_t, "t \"cd\""), CMD_OK);
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_XOR);
    // A mode word with a position: that mode for the text, then the library's mode is normal again.
    EXPECT_EQ(run(cmd_t, "t \"ef\" 0 0 T"), CMD_OK);
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_NORMAL);
    EXPECT_EQ(reply(cmd_tm, "tm"), "T\r");
    // Rectangles are made origin-relative and kept.
    EXPECT_EQ(run(cmd_t, "t \"r\" 0 0 100 40 TWW"), CMD_OK);
    extern int16_t rect[4];
    EXPECT_EQ(rect[0], 5);
    EXPECT_EQ(rect[1], 7);
    EXPECT_EQ(rect[2], 105);
    EXPECT_EQ(rect[3], 47);
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_NORMAL);
    EXPECT_EQ(run(cmd_t, "t \"r\" 0 0 100 40 CW"), CMD_OK);
    EXPECT_EQ(run(cmd_t, "t \"r\" 0 0 100 40"), CMD_OK);
    EXPECT_EQ(run(cmd_ts, "ts no quote"), CMD_FAIL);
    EXPECT_EQ(run(cmd_ts, "ts \"raw \\n\" 1 2 3"), CMD_FAIL);
    EXPECT_EQ(run(cmd_ts, "ts \"\" 1 2"), CMD_OK);
}

TEST(TextCommands, TextDrawsWhatItSays) {
    // "t" with escapes against the library drawing the same text.
    textScreen();
    ASSERT_EQ(run(cmd_t, "t \"A\\x42\\nC\\\"\" 10 20"), CMD_OK);
    std::vector<uint16_t> viaCommand = snapshot();
    textScreen();
    GUI_SetLBorder(10);
    GUI_DispStringAt("AB\nC\"", 10, 20);
    EXPECT_EQ(countDiff(viaCommand, snapshot()), 0);
    // "ts" takes the text raw; "tu" the rest of the line; "T" keeps its mode.
    textScreen();
    ASSERT_EQ(run(cmd_ts, "ts \"a\\nb\" 10 20"), CMD_OK);
    viaCommand = snapshot();
    textScreen();
    GUI_DispStringAt("a\\nb", 10, 20);
    EXPECT_EQ(countDiff(viaCommand, snapshot()), 0);
    textScreen();
    ASSERT_EQ(run(cmd_T, "T \"x\" 10 20 X"), CMD_OK);
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_XOR);
    EXPECT_EQ(getTextMode(), GUI_TM_NORMAL);
    ASSERT_EQ(run(cmd_T, "T \"x\" 10 20"), CMD_OK); // XOR again: the screen is white once more
    EXPECT_EQ(countValue(0, 0, 100, 60, 0xFFFF), 101 * 61);
    ASSERT_EQ(run(cmd_T, "T \"y\" R"), CMD_OK);
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_REV);
    ASSERT_EQ(run(cmd_T, "T \"y\" Q"), CMD_OK);
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_REV);
    textScreen();
    ASSERT_EQ(run(cmd_tu, "tu raw \"text\" \\n"), CMD_OK);
    viaCommand = snapshot();
    textScreen();
    GUI_DispString("raw \"text\" \\n");
    EXPECT_EQ(countDiff(viaCommand, snapshot()), 0);
}

TEST(TextCommands, RightAlignedTextsLineUpFromRightToLeft) {
    textScreen();
    ASSERT_EQ(run(cmd_ta, "ta RT"), CMD_OK);
    ASSERT_EQ(run(cmd_t, "t \"one\" 700 10"), CMD_OK);
    EXPECT_EQ(GUI_GetDispPosX(), 700 - fontWidth("one"));
    ASSERT_EQ(run(cmd_t, "t \"two\""), CMD_OK);
    EXPECT_EQ(GUI_GetDispPosX(), 700 - fontWidth("one") - fontWidth("two"));
}

TEST(TextCommands, EscapeDrawsUtf8EvenWithUtf8Off) {
    textScreen();
    ASSERT_EQ(run(cmd_t, "t \"\\x1B\\xC3\\x84\" 10 10"), CMD_OK);
    std::vector<uint16_t> esc = snapshot();
    textScreen();
    GUI_DispStringAt("\xC4", 10, 10);
    EXPECT_EQ(countDiff(esc, snapshot()), 0);
    EXPECT_EQ(GUI_Context.Encoding, GUI_ENCODE_NONE);
}

TEST(TextCommands, SavedStateCarriesFontModeAndAlignment) {
    textScreen();
    ASSERT_EQ(run(cmd_f, "f m20B"), CMD_OK);
    ASSERT_EQ(run(cmd_tm, "tm TR"), CMD_OK);
    ASSERT_EQ(run(cmd_ta, "ta CB"), CMD_OK);
    ASSERT_EQ(run(cmd_sc, "sc 33 44"), CMD_OK);
    GraphicsState saved;
    SaveState(&saved);
    ASSERT_EQ(run(cmd_f, "f 8s"), CMD_OK);
    ASSERT_EQ(run(cmd_tm, "tm N"), CMD_OK);
    ASSERT_EQ(run(cmd_ta, "ta LT"), CMD_OK);
    ASSERT_EQ(run(cmd_sc, "sc 0 0"), CMD_OK);
    RestoreState(&saved);
    EXPECT_EQ(reply(cmd_f, "f"), "m20B\r");
    EXPECT_EQ(GUI_GetFont(), &GUI_FontMono20BAA4);
    EXPECT_EQ(reply(cmd_tm, "tm"), "TR\r");
    EXPECT_EQ(GUI_GetTextMode(), GUI_TM_TRANS | GUI_TM_REV);
    EXPECT_EQ(reply(cmd_ta, "ta"), "CB\r");
    EXPECT_EQ(reply(cmd_sc, "sc"), "33 44\r");
}
