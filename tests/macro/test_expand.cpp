// Expansion of variables and one-operator arithmetic, as command lines meet them.
#include <string.h>

#include <gtest/gtest.h>

#include "gfx/gfx_state.h"
#include "gfx/gui.h"
#include "macro/macro.h"
#include "serial/serial.h"
#include "settings/settings.h"
#include "tests/support/macro_env.h"
#include "tools/pack/image.h"

namespace {

struct Expand : testing::Test {
    void SetUp() override { resetEnv(); }
};

TEST_F(Expand, ArithmeticFormsAndTheirFailures) {
    EXPECT_EQ(expand("x `(2+3)` y"), "x 5 y");
    iMem[1] = 14;
    EXPECT_EQ(expand("c `(`i1`*3)` 5 5"), "c 42 5 5");
    EXPECT_EQ(expand("`(7/0)`"), "(7/0)");
    EXPECT_EQ(expand("`(7%0)`"), "(7%0)");
    EXPECT_EQ(expand("`(-7%3)`"), "-1");
    EXPECT_EQ(expand("`(-7/2)`"), "-3"); // truncated toward zero
    EXPECT_EQ(expand("`(5 +3)`"), "(5 +3)");
    EXPECT_EQ(expand("`( 5+ 3)`"), "8"); // blanks before each number are allowed
    EXPECT_EQ(expand("`(5^3)`"), "(5^3)");
    EXPECT_EQ(expand("`(5+3x)`"), "(5+3x)");
    EXPECT_EQ(expand("`(2147483647+1)`"), "-2147483648"); // 32-bit, wrapping
    EXPECT_EQ(expand("`(-2147483648/-1)`"), "-2147483648");
    EXPECT_EQ(expand("`(-2147483648%-1)`"), "0");
    EXPECT_EQ(expand("`(65536*65536)`"), "0");
    EXPECT_EQ(expand("`(99999999999+0)`"), "2147483647"); // read as a 32-bit board reads it
    EXPECT_EQ(expand("a `(1+2 b"), "a 1+2 b");            // never closed: "`(" dropped
    EXPECT_EQ(expand("`(1+2)` and `(3*4)`"), "3 and 12");
}

TEST_F(Expand, FormsOfTheRegisters) {
    iMem[3] = 42;
    iMem[19] = -5;
    EXPECT_EQ(expand("r `i3` `i19`"), "r 42 -5");
    EXPECT_EQ(expand("[`i20`]"), "[]");
    EXPECT_EQ(expand("[`%04 i3`]"), "[0042]");
    EXPECT_EQ(expand("[`%-5 i3`]"), "[42   ]");
    EXPECT_EQ(expand("[`%+05 i3`]"), "[+0042]");
    EXPECT_EQ(expand("[`%+0 i3`]"), "[]");    // a width is needed
    EXPECT_EQ(expand("[`%81 i3`]"), "[]");    // width above 80
    EXPECT_EQ(expand("[`%+0801 i3`]"), "[]"); // six characters
    EXPECT_EQ(expand("[`%80 i3`]").size(), 82u);
    strcpy(mString[2], "hello");
    EXPECT_EQ(expand("[`s2`][`%8 s2`][`%-8 s2`][`%8.2 s2`]"), "[hello][   hello][hello   ][      he]");
    EXPECT_EQ(expand("[`%08 s2`]"), "[]"); // a string prefix has no zero flag
    EXPECT_EQ(expand("[`s10`]"), "[]");
    strcpy(memoryString, "mem");
    EXPECT_EQ(expand("[`M`][`%5 M`]"), "[mem][  mem]");
    pt[4] = {12, -3};
    EXPECT_EQ(expand("[`p4`][`%3 p4`][`p4.x`][`p4.y`][`p4.z`][`p10`]"), "[12 -3][ 12  -3][12][-3][][]");
    testboard::eeprom()[EEPROM_USER_BASE + 0xA] = 200;
    EXPECT_EQ(expand("[`eA`][`ea`][`%04 eA`][`eG`][`e10`]"), "[200][200][0200][][]");
    EXPECT_EQ(expand("[`q1`][`i`][`i1x`]"), "[][][]"); // not in the table
}

TEST_F(Expand, BackquotesThatAreNotForms) {
    EXPECT_EQ(expand("a``b"), "a`b");
    EXPECT_EQ(expand("a`b"), "ab"); // no closing backquote: the opening one is dropped
    EXPECT_EQ(expand("(x)`y"), "(x)`y");
}

TEST_F(Expand, MacroArguments) {
    const char *args[10] = {"first", "", nullptr, "3"};
    std::string long90(90, 'z');
    args[9] = long90.c_str();
    EXPECT_EQ(expand("[`0`][`1`][`2`][`3`]", args), "[first][][][3]");
    EXPECT_EQ(expand("[`%8 0`]", args), "[first]"); // the prefix is not applied to arguments
    EXPECT_EQ(expand("[`%08 0`]", args), "[]");     // but it must still be a valid prefix
    EXPECT_EQ(expand("[`9`]", args), "[" + std::string(80, 'z') + "]");
    EXPECT_EQ(expand("[`0`]"), "[]"); // a host line has none
}

TEST_F(Expand, CommentsEndTheLineOnlyOutsideQuotedText) {
    EXPECT_EQ(expand("l 10 20 30 40 // diagonal"), "l 10 20 30 40 ");
    EXPECT_EQ(expand("l 10 20 30 40 /* block"), "l 10 20 30 40 ");
    EXPECT_EQ(expand("t \"http://x\" 10 10"), "t \"http://x\" 10 10");
    EXPECT_EQ(expand("t \"a /* b\" 1 1 // c"), "t \"a /* b\" 1 1 ");
    EXPECT_EQ(expand("t \"say \\\"//\\\" now\" 1 1"), "t \"say \\\"//\\\" now\" 1 1");
    EXPECT_EQ(expand("\"x // y\""), "\"x // y\"");
    strcpy(mString[0], "//");
    EXPECT_EQ(expand("t \"`s0`\" 1 1"), "t \"//\" 1 1"); // a value is never a comment
}

TEST_F(Expand, OutputIsCutAtTheBufferAndValuesAreDroppedWhole) {
    std::string line(200, 'a');
    EXPECT_EQ(expand(line.c_str()), std::string(129, 'a'));
    strcpy(mString[1], "0123456789");
    std::string head(120, 'b');
    EXPECT_EQ(expand((head + "`s1`cd").c_str()), head + "cd");
    EXPECT_EQ(expand((head + "`s1`cd").c_str(), nullptr, 140), head + "0123456789cd");
    char out[8];
    EXPECT_EQ(safeStrAppend(out, "1234567", 8), 7);
    EXPECT_EQ(safeStrAppend(out, "12345678", 8), 0);
    EXPECT_STREQ(out, "1234567");
}

TEST_F(Expand, LiveValues) {
    EXPECT_EQ(expand("`Xm` `Ym` `Xc` `Yc` `Xq`"), "799 479 400 240 ");
    Origin_X = 100;
    Origin_Y = -20;
    GUI_GotoXY(130, 10);
    EXPECT_EQ(expand("`Xo` `Yo` `Xs` `Ys` `%05 Xs`"), "100 -20 30 30 00030");
    EXPECT_EQ(expand("`Xr` `Yr` `Xa` `Ya` `L3` [`L4`] [`Lx`]"), "5 6 105 206 30 [] []");
    eepromData[CFG_BEEP_VOL] = 77;
    eepromData[CFG_BRITE] = 200;
    EXPECT_EQ(expand("`V` `B` `%04 B`"), "77 200 0200");
    EXPECT_EQ(expand("`T`"), "+25.5");
    sim_set_temperature(-305);
    EXPECT_EQ(expand("`T`"), "*****");
    sim_set_temperature(-5);
    EXPECT_EQ(expand("`T`|`%7 T`"), "-00.5|  -00.5");
    sim_set_temperature(999);
    EXPECT_EQ(expand("`T`"), "+99.9");
    EXPECT_EQ(expand("`$BAUD0`"), "115,200");
    baudrate0 = 9600;
    EXPECT_EQ(expand("`$BAUD0`"), "9,600");
    baudrate0 = 100500;
    EXPECT_EQ(expand("`$BAUD0`"), "100,500");
    baudrate0 = 600;
    EXPECT_EQ(expand("`$BAUD0`"), "600");
    EXPECT_EQ(expand("`R7:7` `R-3:-3` [`R5:4`]"), "7 -3 []");
    for (int i = 0; i < 100; i++) {
        int v = atoi(expand("`R-2:3`").c_str());
        EXPECT_TRUE(v >= -2 && v <= 3) << v;
    }
}

TEST_F(Expand, BitmapSizes) {
    pack::Image img;
    img.records.resize(3);
    img.records[1].type = 1;
    img.records[1].width = 30;
    img.records[1].height = 7;
    img.records[1].pixels.assign(30 * 7, 0x1234);
    img.records[2].type = 6;
    img.records[2].data = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B};
    std::vector<uint8_t> bin;
    std::string error;
    ASSERT_TRUE(pack::build(img, &bin, &error)) << error;
    loadImage(bin);
    EXPECT_EQ(expand("`W1` `H1` [`W2`][`H0`][`W3`]"), "30 7 [][][]");
}

} // namespace
