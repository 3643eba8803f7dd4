// Scrolling text boxes: a box that scrolled, up or down, holds exactly the picture of a fresh box
// given only the lines still shown; its own graphics state; the errors.
#include <string>

#include "displays_fixture.h"

namespace {

class TextBox : public Display {
  protected:
    // Boxes 0 and 1 of the same size side by side, in the font m16 (13 x 28 pixels), black on
    // yellow: 15 columns and 3 rows, their areas 195 x 84 pixels at (2, 8) and (302, 8).
    void twoBoxes() {
        start();
        EXPECT_EQ(say("f m16"), ">\r");
        EXPECT_EQ(say("S 000 FF0"), ">\r");
        EXPECT_EQ(say("std 0 0 0 0 199 99"), ">\r");
        EXPECT_EQ(say("std 1 0 300 0 499 99"), ">\r");
        EXPECT_EQ(say("std 0"), "3 15 0 0\r>\r");
    }
    void lines(const char *cmd, int box, std::initializer_list<const char *> texts) {
        for (const char *t : texts)
            EXPECT_EQ(say(std::string(cmd) + " " + std::to_string(box) + " \"" + t + "\""), ">\r") << t;
    }
    static bool boxesEqual() { return same(2, 8, 302, 8, 195, 84); }
};

TEST_F(TextBox, AppendScrollsTheFirstLineOut) {
    twoBoxes();
    EXPECT_EQ(count(0, 0, 199, 99, YELLOW), 195 * 84) << "the leftover is split on both sides";
    EXPECT_EQ(count(2, 8, 196, 91, YELLOW), 195 * 84);
    lines("sta", 0, {"first", "second", "third"});
    lines("sta", 1, {"first", "second", "third"});
    EXPECT_TRUE(boxesEqual());
    EXPECT_LT(count(0, 0, 199, 99, YELLOW), 195 * 84);
    lines("sta", 0, {"fourth"});
    EXPECT_FALSE(boxesEqual());
    EXPECT_EQ(say("stc 1"), ">\r");
    EXPECT_EQ(count(302, 8, 496, 91, YELLOW), 195 * 84);
    lines("sta", 1, {"second", "third", "fourth"});
    EXPECT_TRUE(boxesEqual()) << "three rows show the last three lines";
}

TEST_F(TextBox, ScrolledBothWays) {
    twoBoxes();
    lines("stp", 0, {"A1", "B22", "C333", "D4444"});
    lines("sta", 1, {"D4444", "C333", "B22"});
    EXPECT_TRUE(boxesEqual()) << "prepending into a full box drops the bottom line";
    lines("sta", 0, {"E"});
    EXPECT_EQ(say("stc 1"), ">\r");
    lines("sta", 1, {"C333", "B22", "E"});
    EXPECT_TRUE(boxesEqual()) << "then up again";
    lines("stp", 0, {"F"});
    EXPECT_EQ(say("stc 1"), ">\r");
    lines("sta", 1, {"F", "C333", "B22"});
    EXPECT_TRUE(boxesEqual()) << "and down";
    EXPECT_EQ(say("stc 0"), ">\r");
    lines("stp", 0, {"G"});
    lines("sta", 0, {"H"});
    EXPECT_EQ(say("stc 1"), ">\r");
    lines("sta", 1, {"G", "H"});
    EXPECT_TRUE(boxesEqual()) << "a cleared box starts from its top row";
}

TEST_F(TextBox, KeepsItsOwnGraphicsState) {
    twoBoxes();
    EXPECT_EQ(say("f 24"), ">\r");
    EXPECT_EQ(say("S F00 00F"), ">\r");
    std::string state = say("S");
    lines("sta", 0, {"colours"});
    EXPECT_EQ(say("S"), state) << "the caller's colours are back";
    EXPECT_EQ(say("f"), "24\r>\r");
    EXPECT_EQ(say("f m16"), ">\r");
    EXPECT_EQ(say("S 000 FF0"), ">\r");
    lines("sta", 1, {"colours"});
    EXPECT_TRUE(boxesEqual()) << "box 0 drew in the state it was defined in";
}

TEST_F(TextBox, Errors) {
    start();
    EXPECT_EQ(say("std 0 0 0 0 199 99"), "!\r") << "the power-on font is proportional";
    EXPECT_EQ(say("std 0"), "!\r") << "query of an undefined box";
    EXPECT_EQ(say("sta 0 \"x\""), "!\r");
    EXPECT_EQ(say("f m16"), ">\r");
    EXPECT_EQ(say("std 10 0 0 0 199 99"), "!\r");
    EXPECT_EQ(say("std 0 1 0 0 199 99"), "!\r") << "only type 0";
    EXPECT_EQ(say("std 0 0 0 0 199 40"), "!\r") << "one row";
    EXPECT_EQ(say("std 0 0 0 0 199 0"), "!\r");
    EXPECT_EQ(say("std 0 0 0 0 5 99"), "!\r") << "no column";
    EXPECT_EQ(say("std 0 0 0 0 199"), "!\r");
    EXPECT_EQ(say("std 0 0 0 0 199 99"), ">\r");
    EXPECT_EQ(say("sta 0 \"1234567890123456\""), "!\r") << "longer than the 15 columns";
    EXPECT_EQ(say("sta 0 \"123456789012345\""), ">\r");
    EXPECT_EQ(say("stp 0 \"1234567890123456\""), "!\r");
    EXPECT_EQ(say("sta 0 no quotes"), "!\r");
    EXPECT_EQ(say("stc 3"), "!\r");
    EXPECT_EQ(say("z"), ">\r");
    EXPECT_EQ(say("std 0"), "!\r") << "clearing the screen forgets the boxes";
}

} // namespace
