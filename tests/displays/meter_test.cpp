// Meters: a needle moved and moved back leaves the very first picture; where the needle points
// over a 270-degree sweep; the band arc after a band change; the messages of a bad definition.
#include <cmath>
#include <string>

#include "displays_fixture.h"

namespace {

// Meter 0: the dial (bitmap 1, 121 x 121) at (100, 100), values 0..100 over 225 -> 315 degrees,
// scale arc of radius 50 and pen 5 in blue with a red band 20..80, pivot at the dial's centre
// (160, 160), a needle 45 pixels long pointing down at rotation 0.
const char *DIAL = "mdb 0 1 100 100 0 0 100 0 225 315 20 80 50 5 F00 00F 60 60 -3 0 0 45 3 0";

class Meter : public Display {
  protected:
    static uint32_t dial() { return crc(100, 100, 220, 220); }
    // The pixel at `radius` from the pivot in the direction value v is drawn at: with the
    // angle-sense setting on (the power-on state) drawn angles are 360 - angle, counted
    // counter-clockwise from straight down.
    static uint16_t along(int v, double radius) {
        double angle = 225.0 - 270.0 * v / 100.0, drawn = (360.0 - angle) * M_PI / 180.0;
        return pixel(160 + (int)std::lround(radius * std::sin(drawn)),
                     160 + (int)std::lround(radius * std::cos(drawn)));
    }
};

TEST_F(Meter, NeedleMovedAndMovedBackRestoresTheFirstPicture) {
    start(true);
    EXPECT_EQ(say("S 000 FFF"), ">\r");
    EXPECT_EQ(say(DIAL), ">\r");
    uint32_t first = dial();
    for (int v : {50, 100, 1, 99, 37}) {
        EXPECT_EQ(say("mv 0 " + std::to_string(v)), ">\r");
        EXPECT_NE(dial(), first) << v;
    }
    EXPECT_EQ(say("mv 0 0"), ">\r");
    EXPECT_EQ(dial(), first) << "needle, scale and band as they were, pixel for pixel";
    // A plain meter over the band meter's picture elsewhere, with "mvb" colours.
    EXPECT_EQ(say("md 1 1 400 100 0 0 100 50 225 315 60 60 -3 0 0 45 3 0"), ">\r");
    uint32_t plain = crc(400, 100, 520, 220);
    EXPECT_EQ(say("mvb 1 80 20 60 55 4 0F0 F00"), ">\r");
    EXPECT_EQ(say("mvb 1 50 20 60 55 4 0F0 000"), ">\r");
    EXPECT_NE(crc(400, 100, 520, 220), plain) << "the band stays";
    EXPECT_EQ(say("mvb 1 50"), ">\r");
}

TEST_F(Meter, SweepRunsTheWholeWayFromStartToEnd) {
    start(true);
    EXPECT_EQ(say("S 000 FFF"), ">\r");
    EXPECT_EQ(say(DIAL), ">\r");
    for (int v : {0, 25, 50, 75, 100}) {
        EXPECT_EQ(say("mv 0 " + std::to_string(v)), ">\r");
        EXPECT_EQ(along(v, 25), BLACK) << "the needle at " << v;
        for (int other : {0, 25, 50, 75, 100}) {
            if (other == v) continue;
            EXPECT_NE(along(other, 25), BLACK) << other << " while the needle shows " << v;
        }
    }
    EXPECT_EQ(say("mv 0 50"), ">\r");
    EXPECT_EQ(pixel(120, 160), BLACK) << "half way round 270 degrees from the upper right is the left";
    EXPECT_EQ(say("mv 0 101"), "!\r");
    EXPECT_EQ(say("mv 0 -1"), "!\r");
    EXPECT_EQ(say("mv 8 1"), "!\r");
    // The same value again draws nothing: a mark on the needle stays.
    EXPECT_EQ(say("pwx 120 160 00FF00"), ">\r");
    EXPECT_EQ(say("mv 0 50"), ">\r");
    EXPECT_EQ(pixel(120, 160), GREEN);
}

TEST_F(Meter, BandArcCoversItsRangeAfterAChange) {
    start(true);
    EXPECT_EQ(say(DIAL), ">\r");
    for (int v = 5; v <= 95; v += 10) EXPECT_EQ(along(v, 50), v > 20 && v < 80 ? RED : BLUE) << "value " << v;
    EXPECT_EQ(say("mvb 0 0 40 95 50 5 0F0 000"), ">\r");
    for (int v = 5; v <= 95; v += 10)
        EXPECT_EQ(along(v, 50), v > 40 && v < 95 ? GREEN : BLUE) << "value " << v << " after the change";
    EXPECT_EQ(say("mvb 0 0 40 95 0 0 0F0 000"), ":pen width out of range!\r");
    EXPECT_EQ(say("mvb 0 30 40"), ":Incorrect number of parameters>\r") << "then the value as mv sets it";
}

TEST_F(Meter, DefinitionMessages) {
    start(true);
    EXPECT_EQ(say("md 0 1 100 100 0 0 100 0 225 315 60 60 -3 0 0 45 3"), ":missing argument(s)!\r")
        << "17 numbers";
    EXPECT_EQ(say("md 0 1 100 100 0 0 100 0 225 315 60 60 -3 0 0 45 3 0 1 1 2 2 3 3 4 4 5 5 6 6 7 7"), ">\r")
        << "32 numbers: ten points";
    EXPECT_EQ(say("mdb 0 1 100 100 0 0 100 0 225 315 20 80 50 5 F00 00F 60 60 -3 0 0 45 3"),
              ":missing argument(s)!\r");
    EXPECT_EQ(say("md 8 1 100 100 0 0 100 0 225 315 60 60 -3 0 0 45 3 0"), ":index 8 > max 8\r!\r");
    EXPECT_EQ(say("md 0 9 100 100 0 0 100 0 225 315 60 60 -3 0 0 45 3 0"), ":bitmap 9 invalid\r!\r");
    EXPECT_EQ(say("md 0 7 100 100 0 0 100 0 225 315 60 60 -3 0 0 45 3 0"),
              ":bitmap must be uncompressed\r!\r");
    EXPECT_EQ(say("md 0 1 100 100 0 0 100 101 225 315 60 60 -3 0 0 45 3 0"),
              ":Initial value out of range!\r");
    EXPECT_EQ(say("md 0 1 100 100 0 -50 50 0 225 315 60 60 -3 0 0 45 3 0"), ">\r") << "a range below zero";
    EXPECT_EQ(say("md 0 1 100 100 0 5 5 5 225 315 60 60 -3 0 0 45 3 0"), ":Initial value out of range!\r")
        << "an empty range";
    EXPECT_EQ(say("mdb 0 1 100 100 0 0 100 0 225 315 20 80 50 0 F00 00F 60 60 -3 0 0 45 3 0"),
              ":pen width out of range!\r");
    EXPECT_EQ(say("mv 0 5"), "!\r") << "that meter was not defined";
    EXPECT_EQ(say("md 0 1 100 100 0 0 100 0 225 315 60 60 -3 0 0 45 3 0"), ">\r");
    EXPECT_EQ(say("z"), ">\r");
    EXPECT_EQ(say("mv 0 5"), "!\r") << "clearing the screen forgets the meters";
}

} // namespace
