// Sliders: dragged end to end at the sampling rate with every report exact, the thumb redrawn over
// its track without a trace, the value set by the host, both orientations, and the messages.
#include <string>

#include "displays_fixture.h"

namespace {

// Horizontal slider 130: track bitmap 2 (200 x 30) at (100, 300), thumb 3 (21 x 20) 5 pixels down,
// values 0..1000. The thumb's centre runs from x 110 to 289 (179 pixels).
const char *HORIZONTAL = "sl 130 2 100 300 3 5 1 0 0 1000 0";
// Vertical slider 131: track 4 (30 x 200) at (400, 100), thumb 5 (20 x 21), values 0..100, y 110..289.
const char *VERTICAL = "sl 131 4 400 100 5 5 0 0 0 100 0";

class Slider : public Display {
  protected:
    // The simulated touch of "*tsmp" put down at the first point and moved through the others, then
    // lifted: it lands on exactly the point given (the panel's pen goes through the calibration's
    // rounding); one reply per point.
    std::string slide(std::initializer_list<std::pair<int, int>> points) {
        std::string out;
        for (auto [x, y] : points) out += say("*tsmp " + std::to_string(x) + " " + std::to_string(y));
        return out + say("*tsmr");
    }
};

TEST_F(Slider, DraggedEndToEndReportsEveryValueExactly) {
    start(true);
    EXPECT_EQ(say(HORIZONTAL), ">\r");
    uint32_t atMin = crc(100, 300, 299, 329);
    EXPECT_EQ(say("sv 130 500"), ">\r");
    EXPECT_NE(crc(100, 300, 299, 329), atMin);
    // (d x 2000 / 179 + 1) / 2 for d pixels from the track's start; beyond the ends the end values.
    EXPECT_EQ(slide({{100, 310}, {150, 310}, {200, 315}, {250, 320}, {299, 310}, {350, 310}}),
              ">\rl130:0\r>\rl130:223\r>\rl130:503\r>\rl130:782\r>\rl130:1000\r>\r>\r")
        << "the press is a change too; sliding off the end keeps the value at max";
    EXPECT_EQ(slide({{289, 310}, {290, 310}}), ">\r>\r>\r") << "no change, no report";
    EXPECT_EQ(slide({{109, 310}}), ">\rl130:0\r>\r");
    EXPECT_EQ(crc(100, 300, 299, 329), atMin) << "the thumb back at min: the track is as it was drawn";
    EXPECT_EQ(say("*binr 1"), "on\r>\r");
    EXPECT_EQ(slide({{295, 310}}), std::string(">\rL\x82\xE8\x03>\r", 8)) << "the byte form";
}

TEST_F(Slider, ThumbFollowsEveryBurstWhileDragged) {
    start(true);
    EXPECT_EQ(say(VERTICAL), ">\r");
    // Down the track one pixel every 10 ms: each step is a new value, each is reported.
    for (int y = 110; y <= 150; y++) {
        sim_touch(415, y);
        sim_run_for(10);
    }
    sim_release();
    sim_run_for(300);
    std::string out = sim_take_output(0);
    int reports = 0;
    for (char c : out) reports += c == '\r';
    EXPECT_GE(reports, 20) << out;
    EXPECT_EQ(out.substr(out.size() - 8), "l131:22\r") << "(40 x 200 / 179 + 1) / 2";
}

TEST_F(Slider, ValueSetByTheHostInBothOrientations) {
    start(true);
    EXPECT_EQ(say(VERTICAL), ">\r");
    EXPECT_EQ(count(410, 110 - 10, 419, 110 + 10, BLUE), 10 * 17) << "min at the top of the track";
    EXPECT_EQ(say("sv 131 100"), ">\r");
    EXPECT_EQ(count(410, 289 - 10, 419, 289 + 10, BLUE), 10 * 17) << "max at the bottom";
    EXPECT_EQ(count(405, 100, 424, 260, BLUE), 0) << "nothing left of the thumb at the top";
    EXPECT_EQ(say("sv 131 101"), "!\r");
    EXPECT_EQ(count(410, 289 - 10, 419, 289 + 10, BLUE), 10 * 17) << "a refused value moves nothing";
    // Reversed: the left end is max.
    EXPECT_EQ(say("sl 132 2 100 350 3 5 1 1 0 100 0"), ">\r");
    EXPECT_EQ(count(281, 355, 297, 374, RED), 17 * 20) << "min at the right end";
    EXPECT_EQ(say("xm 130 8"), "!\r") << "130 is no hotspot yet";
    EXPECT_EQ(say(HORIZONTAL), ">\r");
    EXPECT_EQ(say("xm 130 8"), ">\r");
    EXPECT_EQ(slide({{150, 310}}), ">\rl130:223\r{223}>\r") << "the press macro sees the live value L130";
    EXPECT_EQ(say("sv 130 10"), ">\r");
    EXPECT_EQ(say("out \"`L130`\""), "10>\r") << "the value set stays, with no report";
}

TEST_F(Slider, DefinitionMessagesAndLifetime) {
    start(true);
    EXPECT_EQ(say("sl 127 2 100 300 3 5 1 0 0 1000 0"), "!\r") << "numbers below 128 are buttons";
    EXPECT_EQ(say("sl 130 2 100 300 3 -1 1 0 0 1000 0"), "offset must be >= 0\r!\r");
    EXPECT_EQ(say("sl 130 9 100 300 3 5 1 0 0 1000 0"), "bad background bitmap\r!\r");
    EXPECT_EQ(say("sl 130 2 601 300 3 5 1 0 0 1000 0"), "bad background bitmap size or location\r!\r");
    EXPECT_EQ(say("sl 130 2 100 300 9 5 1 0 0 1000 0"), "bad slider bitmap\r!\r");
    EXPECT_EQ(say("sl 130 2 100 300 3 11 1 0 0 1000 0"), "bad slider size or offset\r!\r");
    EXPECT_EQ(say("sl 130 2 100 300 3 5 2 0 0 1000 0"), "bad slider size or offset\r!\r") << "orientation 2";
    EXPECT_EQ(say("sv 130 5"), "!\r") << "nothing was defined";
    for (int n = 140; n < 148; n++)
        EXPECT_EQ(say("sl " + std::to_string(n) + " 2 100 " + std::to_string(n * 2) + " 3 5 1 0 0 10 0"),
                  ">\r");
    EXPECT_EQ(say("sl 148 2 100 300 3 5 1 0 0 10 0"), "max sliders\r!\r");
    EXPECT_EQ(say("sl 147 2 100 300 3 5 1 0 0 10 0"), ">\r") << "a number already a slider reuses its slot";
    EXPECT_EQ(say("xset 147 r"), "!\r") << "not for sliders";
    EXPECT_EQ(say("xc 147"), ">\r");
    EXPECT_EQ(say("sv 147 5"), "!\r") << "freeing the hotspot frees the slider";
    EXPECT_EQ(say("sl 148 2 100 300 3 5 1 0 0 10 0"), ">\r");
    EXPECT_EQ(say("xs 148 0 0 9 9"), ">\r");
    EXPECT_EQ(say("sv 148 5"), "!\r") << "a redefinition of the hotspot too";
    EXPECT_EQ(say("xc all"), ">\r");
    EXPECT_EQ(say("sv 140 5"), "!\r");
    EXPECT_EQ(say("slc 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15"), "!\r");
    EXPECT_EQ(say("svc 1 2"), "!\r");
}

} // namespace
