// Charts: where values land, broken lines, sweep charts at their end, the remainder rule, and a
// scrolling chart after a flood of samples compared with a fresh chart of the samples it still shows.
#include <string>

#include "displays_fixture.h"

namespace {

class Chart : public Display {
  protected:
    // The replies of a flood with the flow-control bytes taken out.
    static std::string withoutFlowControl(std::string s) {
        std::string out;
        for (char c : s)
            if (c != '\x11' && c != '\x13') out += c;
        return out;
    }
};

// A 50-pixel span from 10 to 110: v lands (v - 10) / 2 pixels above the bottom row, rounded half up.
TEST_F(Chart, ValuesLandOnTheirRowsAndAreClampedToTheArea) {
    start();
    EXPECT_EQ(say("cd 0 10 10 110 60 1 5 10 110 FF0 1 F00"), ">\r");
    EXPECT_EQ(count(10, 10, 110, 60, YELLOW), 101 * 51) << "the area is cleared to the background";
    EXPECT_EQ(pixel(9, 10), WHITE) << "the screen around it";
    for (const char *v : {"110", "10", "11", "111", "5", "13"})
        EXPECT_EQ(say(std::string("cv 0 ") + v), ">\r");
    EXPECT_EQ(pixel(10, 10), RED) << "the first point draws a flat segment at max, the top row";
    EXPECT_EQ(pixel(15, 10), RED);
    EXPECT_EQ(pixel(12, 11), YELLOW);
    EXPECT_EQ(pixel(20, 60), RED) << "min is the bottom row";
    EXPECT_EQ(pixel(25, 59), RED) << "11 is half a pixel up: rounded up";
    EXPECT_EQ(count(24, 10, 24, 58, RED), 0);
    EXPECT_EQ(pixel(30, 10), RED) << "above max: the top row";
    EXPECT_EQ(pixel(35, 60), RED) << "below min: the bottom row";
    EXPECT_EQ(pixel(40, 58), RED) << "13 is 1.5 pixels up";
    EXPECT_EQ(count(0, 0, 799, 9, RED) + count(0, 61, 799, 479, RED), 0) << "nothing outside the chart";
}

TEST_F(Chart, AMissingValueBreaksOnlyThatPensLine) {
    start();
    EXPECT_EQ(say("cd 0 100 100 200 150 1 10 0 50 FFF 1 F00 1 0F0 1 00F"), ">\r");
    EXPECT_EQ(say("cv 0 10 20 30"), ">\r");
    EXPECT_EQ(say("cv 0 10 - 30"), ">\r");
    EXPECT_EQ(say("cv 0 10 40 30"), ">\r");
    EXPECT_EQ(pixel(125, 140), RED) << "pen 0 goes on";
    EXPECT_EQ(pixel(125, 120), BLUE) << "pen 2 goes on";
    EXPECT_EQ(pixel(125, 110), GREEN) << "pen 1 starts again with a flat segment";
    EXPECT_EQ(count(111, 100, 119, 150, GREEN), 0) << "nothing of pen 1 in the column without its value";
    EXPECT_EQ(count(121, 111, 129, 150, GREEN), 0) << "no line from its last point before the gap";
    EXPECT_EQ(say("cv 0"), ">\r") << "no values: every line breaks";
    EXPECT_EQ(say("cv 0 50 50 50"), ">\r");
    EXPECT_EQ(pixel(145, 100), BLUE);
    EXPECT_EQ(count(141, 101, 149, 150, RED), 0);
}

TEST_F(Chart, SweepChartStopsWhenFullUntilTheCursorIsReset) {
    start();
    EXPECT_EQ(say("cd 0 0 0 20 10 1 5 0 10 FFF 1 F00"), ">\r");
    EXPECT_EQ(say("cdrm 0 off"), ">\r");
    for (int k = 0; k < 4; k++) EXPECT_EQ(say("cv 0 5"), ">\r");
    uint32_t full = crc(0, 0, 20, 10);
    EXPECT_EQ(pixel(20, 5), RED) << "the fourth column reaches the right edge";
    EXPECT_EQ(say("cv 0 10"), ":chart FULL and retrace is OFF\r>\r");
    EXPECT_EQ(say("cv 0 10"), ":chart FULL and retrace is OFF\r>\r");
    EXPECT_EQ(crc(0, 0, 20, 10), full) << "a full chart draws nothing";
    EXPECT_EQ(say("cr 0"), ">\r");
    EXPECT_EQ(say("cv 0 10"), ">\r");
    EXPECT_EQ(pixel(3, 0), RED) << "after the reset the first column is flat again, at the left";
    EXPECT_EQ(count(1, 1, 10, 10, RED), 0) << "the two columns ahead were erased";
    EXPECT_EQ(pixel(0, 5), WHITE) << "erased ahead, wrapping, when the fourth column reached the edge";
    // With retrace the fifth column goes back to the left edge.
    EXPECT_EQ(say("cdrm 0 on"), ">\r");
    EXPECT_EQ(say("cc 0"), ">\r");
    EXPECT_EQ(count(0, 0, 20, 10, WHITE), 21 * 11);
    for (int k = 0; k < 4; k++) EXPECT_EQ(say("cv 0 0"), ">\r");
    EXPECT_EQ(say("cv 0 10"), ">\r");
    EXPECT_EQ(pixel(5, 0), RED);
    EXPECT_EQ(pixel(0, 10), RED) << "it starts from the last point of the previous sweep";
    EXPECT_EQ(count(6, 0, 10, 10, RED), 0) << "erased ahead of the cursor";
    EXPECT_EQ(pixel(13, 10), RED) << "two columns only";
    EXPECT_EQ(pixel(20, 10), RED) << "the rest of the previous sweep stays";
    // Without erase-ahead the old sweep stays under the new one.
    EXPECT_EQ(say("cddm 0 off"), ">\r");
    EXPECT_EQ(say("cv 0 10"), ">\r");
    EXPECT_EQ(pixel(12, 10), RED);
}

// Width 100 is not a multiple of 3: with a 2-pixel pen the column left over at the right edge is
// cleared after each scroll; with 1-pixel pens it is not (a 1-pixel line never reaches it).
TEST_F(Chart, RemainderColumnIsClearedOnlyForWidePens) {
    start();
    for (int width : {1, 2}) {
        EXPECT_EQ(say("cd 0 0 0 100 20 0 3 0 20 FFF " + std::to_string(width) + " F00"), ">\r");
        for (int k = 0; k < 33; k++) EXPECT_EQ(say("cv 0 10"), ">\r");
        EXPECT_EQ(say("pwx 100 0 0000FF"), ">\r");
        EXPECT_EQ(say("cv 0 10"), ">\r") << "the 34th column scrolls";
        EXPECT_EQ(pixel(100, 0), width == 2 ? WHITE : BLUE) << "pen width " << width;
    }
}

TEST_F(Chart, ScrollingChartAfterAThousandSamplesShowsTheLastOnes) {
    start();
    // Two full-width charts: A takes a flood of 1000 columns, B only the 399 it can still show.
    const char *pens = " 1 F00 1 0F0 1 00F";
    EXPECT_EQ(say(std::string("cd 0 0 0 799 99 0 2 0 1000 FFF") + pens), ">\r");
    EXPECT_EQ(say(std::string("cd 1 0 200 799 299 0 2 0 1000 FFF") + pens), ">\r");
    std::string a, b;
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % 1001;
    };
    for (int k = 0; k < 1000; k++) {
        std::string values =
            std::to_string(next()) + " " + std::to_string(next()) + " " + std::to_string(next());
        a += "cv 0 " + values + "\r";
        if (k >= 1000 - 399) b += "cv 1 " + values + "\r";
    }
    sim_send(0, a);
    ASSERT_TRUE(sim_run_until_idle(60000));
    std::string prompts;
    for (int k = 0; k < 1000; k++) prompts += ">\r";
    EXPECT_EQ(withoutFlowControl(sim_take_output(0)), prompts);
    sim_send(0, b);
    ASSERT_TRUE(sim_run_until_idle(60000));
    sim_take_output(0);
    // Column 2 holds the end of the segment that led into the oldest sample shown: B has no such
    // segment, so the comparison starts at column 3.
    EXPECT_TRUE(same(3, 0, 3, 200, 797, 100));
    EXPECT_EQ(count(799, 0, 799, 99, WHITE), 100) << "the column a 1-pixel pen never reaches";
    EXPECT_GT(count(0, 0, 798, 99, RED), 300);
}

TEST_F(Chart, DefinitionErrors) {
    start();
    EXPECT_EQ(say("cd 10 0 0 10 10 0 1 0 10 FFF"), "!\r") << "chart 10";
    EXPECT_EQ(say("cd 0 0 0 10 10 4 1 0 10 FFF"), "!\r") << "type 4";
    EXPECT_EQ(say("cd 0 0 0 10 10 0 0 0 10 FFF"), "!\r") << "step 0";
    EXPECT_EQ(say("cd 0 0 0 10 10 0 1 0 10 FF"), "!\r") << "colour of 2 digits";
    EXPECT_EQ(say("cd 0 0 0 10 10 0 1 0 10"), "!\r") << "missing background";
    EXPECT_EQ(say("cd 0 0 0 800 10 0 1 0 10 FFF"),
              "Part of control/bitmap area is out of screen bounds (0,0 -- 799,479)\r!\r");
    EXPECT_EQ(say("o 700 0"), ">\r");
    EXPECT_EQ(say("cd 0 0 0 100 10 0 1 0 10 FFF"),
              "Part of control/bitmap area is out of screen bounds (0,0 -- 799,479)\r!\r")
        << "coordinates are relative to the origin";
    EXPECT_EQ(say("o 0 0"), ">\r");
    EXPECT_EQ(say("cv 0 1"), "!\r") << "undefined chart";
    EXPECT_EQ(say("cd 0 0 0 10 10 0 1 0 10 FFF 1 F00 0 0F0"), "!\r") << "pen width 0";
    EXPECT_EQ(say("cv 0 1 2"), ">\r") << "the pens before the failing pair stay";
    EXPECT_EQ(say("cd 0 0 0 10 10 0 1 0 10 FFF 1 F00 1"), "!\r") << "a pair without its colour";
    EXPECT_EQ(say("cd 0 0 0 10 10 0 1 0 10 FFF 1 F00 1 F00 1 F00 1 F00 1 F00 1 F00 1 F00 1 F00 1 F00"), "!\r")
        << "a ninth pen";
    EXPECT_EQ(say("cv 0 1 2 3 4 5 6 7 8 9"), "!\r") << "nine values";
    EXPECT_EQ(say("cv 0 1 x"), "!\r");
    EXPECT_EQ(say("cdrm 0 on"), "!\r") << "retrace is for sweep charts";
    EXPECT_EQ(say("cddm 0 on"), "!\r");
    EXPECT_EQ(say("cdbb 0 1"), "!\r") << "not a bitmap chart";
    EXPECT_EQ(say("cdp 0 1 2 00F"), ">\r");
    EXPECT_EQ(say("cdp 0 8 2 00F"), "!\r");
    EXPECT_EQ(say("cdp 0 0 0 00F"), "!\r");
    EXPECT_EQ(say("cdbc 0 0F0"), ">\r");
    EXPECT_EQ(say("cdbc 0 0F"), "!\r");
    EXPECT_EQ(say("cc 9"), "!\r");
    EXPECT_EQ(say("cr 9"), "!\r");
    EXPECT_EQ(say("cc"), "!\r");
    EXPECT_EQ(say("z"), ">\r");
    EXPECT_EQ(say("cv 0 1"), "!\r") << "clearing the screen forgets the charts";
}

} // namespace

namespace {

// A bitmap chart: bitmap 6 of the controls card (101 x 51) at (100, 100); the same bitmap drawn
// with "xi" at (300, 100) is the reference of what its background must be.
TEST_F(Chart, BitmapChartRedrawsItsBitmapAheadOfTheCursor) {
    start(true);
    EXPECT_EQ(say("xi 6 300 100"), ">\r");
    EXPECT_EQ(say("cdb 0 100 100 5 0 50 6 1 F00"), ">\r");
    EXPECT_TRUE(same(100, 100, 300, 100, 101, 51)) << "the chart starts as its bitmap";
    for (int k = 0; k < 20; k++) EXPECT_EQ(say("cv 0 " + std::to_string(k * 2)), ">\r");
    EXPECT_FALSE(same(100, 100, 300, 100, 101, 51));
    EXPECT_EQ(say("cv 0 25"), ">\r") << "the 21st column is at the left edge again";
    EXPECT_TRUE(same(106, 100, 306, 100, 5, 51)) << "the column ahead of the new line shows the bitmap again";
    EXPECT_FALSE(same(111, 100, 311, 100, 90, 51)) << "the old sweep is still there";
    EXPECT_EQ(say("cc 0"), ">\r");
    EXPECT_TRUE(same(100, 100, 300, 100, 101, 51)) << "cleared to the bitmap";
    EXPECT_EQ(say("cdbb 0 99"), "!\r");
    EXPECT_EQ(say("cdbb 0 1"), ">\r");
    EXPECT_EQ(say("cdbc 0 F00"), ">\r");
    EXPECT_EQ(say("cdb 1 100 100 5 0 50 99"), "!\r") << "no such bitmap";
    EXPECT_EQ(say("cdb 1 750 100 5 0 50 6"),
              "Part of control/bitmap area is out of screen bounds (0,0 -- 799,479)\r!\r");
}

} // namespace
