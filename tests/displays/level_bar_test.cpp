// Level bars: the bar at min, max and each band edge, row by row; every growing direction; errors.
#include <string>

#include "displays_fixture.h"

namespace {

class LevelBar : public Display {
  protected:
    // The colour each offset of the vertical bar 0 (rows 200 up to 100) must have for a value.
    static uint16_t expected(int offset, int value) {
        if (value < 0 || offset > value) return BLUE;
        return offset <= 50 ? GREEN : offset <= 80 ? YELLOW : RED;
    }
    void show(int value) {
        ASSERT_EQ(say("lv 0 " + std::to_string(value)), ">\r");
        int clamped = value > 100 ? 100 : value;
        for (int o = 0; o <= 100; o++)
            ASSERT_EQ(count(10, 200 - o, 29, 200 - o, expected(o, clamped)), 20)
                << "value " << value << ", offset " << o << " across the bar's width";
    }
};

TEST_F(LevelBar, BandsAtMinMaxAndEveryEdge) {
    start();
    EXPECT_EQ(say("ld 0 10 100 29 200 0 0 0 00F 100 F00 80 FF0 50 0F0"), ">\r");
    EXPECT_EQ(count(10, 100, 29, 200, WHITE), 20 * 101) << "nothing is drawn at definition";
    for (int v : {0, 50, 51, 65, 80, 81, 100, 99, 101, -1, 1}) show(v);
}

TEST_F(LevelBar, GrowsFromEachEdge) {
    start();
    // 100 pixels of span (rectangle 101 pixels long), value 25 of 100: 25 pixels from the base.
    EXPECT_EQ(say("ld 1 0 0 9 100 0 1 0 000 100 F00"), ">\r");
    EXPECT_EQ(say("ld 2 100 0 200 9 1 0 0 000 100 F00"), ">\r");
    EXPECT_EQ(say("ld 3 300 0 400 9 1 1 0 000 100 F00"), ">\r");
    for (int bar = 1; bar <= 3; bar++) EXPECT_EQ(say("lv " + std::to_string(bar) + " 25"), ">\r");
    EXPECT_EQ(count(0, 0, 9, 25, RED), 260) << "vertical reversed grows downwards";
    EXPECT_EQ(pixel(5, 26), BLACK);
    EXPECT_EQ(count(100, 0, 125, 9, RED), 260) << "horizontal grows to the right";
    EXPECT_EQ(pixel(126, 5), BLACK);
    EXPECT_EQ(count(375, 0, 400, 9, RED), 260) << "horizontal reversed grows to the left";
    EXPECT_EQ(pixel(374, 5), BLACK);
}

TEST_F(LevelBar, DefinitionErrors) {
    start();
    EXPECT_EQ(say("ld 32 0 0 9 9 0 0 0 000 10 F00"), "!\r");
    EXPECT_EQ(say("ld 0 0 0 9 9 2 0 0 000 10 F00"), "!\r") << "orientation 2";
    EXPECT_EQ(say("lv 0 5"), "!\r") << "the failed definition left the bar undefined";
    EXPECT_EQ(say("ld 0 0 0 9 9 0 0 0 000 50 0F0 80 FF0"), "!\r") << "a later limit above the first";
    EXPECT_EQ(say("ld 0 0 0 9 9 0 0 10 000 50 0F0 5 FF0"), "!\r") << "a later limit below min";
    EXPECT_EQ(say("ld 0 0 0 9 9 0 0 10 000 10 0F0"), "!\r") << "a first limit that leaves no range";
    EXPECT_EQ(say("ld 0 0 0 9 9 0 0 0 000 50 0F0 40 FF0 30 F00 20 00F"), "!\r") << "a fourth band";
    EXPECT_EQ(say("ld 0 0 0 9 9 0 0 0 000 50"), "!\r") << "a limit without its colour";
    EXPECT_EQ(say("ld 0 0 0 9 9 0 0 0 00"), "!\r");
    EXPECT_EQ(say("ld 0 0 0 9 480 0 0 0 000"),
              "Part of control/bitmap area is out of screen bounds (0,0 -- 799,479)\r!\r");
    EXPECT_EQ(say("ld 0 0 0 9 9 0 0 0 000"), ">\r");
    EXPECT_EQ(say("lv 0 5"), "!\r") << "a bar without bands";
    EXPECT_EQ(say("lv 0"), "!\r");
}

} // namespace
