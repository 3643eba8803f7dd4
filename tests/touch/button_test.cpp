// Buttons end to end: definitions on the wire, taps of the simulated pen, and the faces they leave
// in the frame buffer, compared pixel for pixel with the faces they were made from.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/touch/touch_fixture.h"

namespace {

constexpr uint16_t RED = 0xF800, BLUE = 0x001F, WHITE = 0xFFFF;

int count(const std::vector<uint16_t> &px, uint16_t v) {
    return (int)std::count(px.begin(), px.end(), v);
}

// A face of the touch card: a white frame around a plain colour.
std::vector<uint16_t> framed(int w, int h, uint16_t colour) {
    std::vector<uint16_t> px((size_t)(w * h), colour);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (x == 0 || y == 0 || x == w - 1 || y == h - 1) px[(size_t)(y * w + x)] = WHITE;
    return px;
}

// Pixels that differ between two pictures of one size.
int differ(const std::vector<uint16_t> &a, const std::vector<uint16_t> &b) {
    int n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++) n += a[i] != b[i];
    return n;
}

TEST_F(Touch, MomentaryButtonShowsTheDownFaceWhileHeld) {
    start();
    const std::vector<uint16_t> up = pixels(bmButtonRaised), down = pixels(bmButtonPressed);
    EXPECT_EQ(say("o 5 5"), ">\r");
    EXPECT_EQ(say("bd 0 5 5 1 \"\" 5 5"), ">\r");
    EXPECT_EQ(region(10, 10, 64, 64), up) << "the built-in up face, at once";
    sim_touch(40, 40);
    sim_run_for(100);
    EXPECT_EQ(sim_take_output(0), "x0\r");
    EXPECT_EQ(region(10, 10, 64, 64), down);
    sim_release();
    sim_run_for(300);
    EXPECT_EQ(sim_take_output(0), "") << "type 1 reports presses only";
    EXPECT_EQ(region(10, 10, 64, 64), up);
    // The rectangle ends one pixel past the face.
    EXPECT_EQ(tap(74, 74), "x0\r");
    EXPECT_EQ(tap(75, 40), "");
    EXPECT_EQ(say("bd 0 5 5 5 \"\" 5 5"), ">\r");
    EXPECT_EQ(tap(40, 40), "x0\rr0\r") << "type 5 reports both";
    EXPECT_EQ(say("bd 0 5 5 4 \"\" 5 5"), ">\r");
    EXPECT_EQ(tap(40, 40), "r0\r") << "type 4 reports releases only";
    EXPECT_EQ(say("bc 0"), ">\r");
    EXPECT_EQ(tap(40, 40), "");
    EXPECT_EQ(region(10, 10, 64, 64), up) << "a freed button stays drawn";
}

// The toggle of the issue: "s5 1", "s5 0" on alternate presses, each time redrawn; the face of
// state 1 is the one a type 21 toggle shows at definition.
TEST_F(Touch, ToggleReportsAlternateStatesAndRedrawsItsFace) {
    start();
    EXPECT_EQ(say("bd 5 100 100 2 \"Off\" \"On\" 8 20 8 20"), ">\r");
    EXPECT_EQ(say("bd 6 300 100 21 \"Off\" \"On\" 8 20 8 20"), ">\r");
    EXPECT_EQ(say("bd 7 500 100 20 \"Off\" \"On\" 8 20 8 20"), ">\r");
    const std::vector<uint16_t> off = region(100, 100, 64, 64), on = region(300, 100, 64, 64);
    EXPECT_EQ(region(500, 100, 64, 64), off) << "type 20 starts in state 0";
    EXPECT_GT(differ(off, on), 64 * 64 / 2) << "the down face and another label";
    EXPECT_EQ(tap(130, 130), "s5 1\r");
    EXPECT_EQ(region(100, 100, 64, 64), on);
    EXPECT_EQ(tap(130, 130), "s5 0\r");
    EXPECT_EQ(region(100, 100, 64, 64), off);
    EXPECT_EQ(say("ssb 5"), "0\r>\r");
    EXPECT_EQ(say("*binr 1"), "on\r>\r");
    EXPECT_EQ(tap(130, 130), std::string("S\x05\x01", 3));
    EXPECT_EQ(tap(130, 130), std::string("S\x05\x00", 3));
    EXPECT_EQ(say("*binr 0"), "off\r>\r");
    // "ssb" sets a state without a report; a disabled toggle only stores it.
    EXPECT_EQ(say("ssb 5 1"), ">\r");
    EXPECT_EQ(region(100, 100, 64, 64), on);
    EXPECT_EQ(say("ssb 5 1"), ">\r");
    EXPECT_EQ(region(100, 100, 64, 64), on) << "already on: stays on";
    EXPECT_EQ(say("xd 5"), ">\r");
    EXPECT_EQ(say("ssb 5 0"), ">\r");
    EXPECT_EQ(say("ssb 5"), "0\r>\r");
    EXPECT_EQ(region(100, 100, 64, 64), on) << "not redrawn while disabled";
    EXPECT_EQ(tap(130, 130), "");
    EXPECT_EQ(say("xe 5"), ">\r");
    EXPECT_EQ(region(100, 100, 64, 64), off) << "re-enabling draws the stored state";
    EXPECT_EQ(say("ssb 5 2"), "!\r");
    EXPECT_EQ(say("ssb 128"), "!\r");
    EXPECT_EQ(say("ssb 9 1"), ">\r") << "a free slot: nothing to do";
}

// The label keeps the font and colour current at definition, and drawing it leaves the caller's
// colour, font and text position as they were.
TEST_F(Touch, LabelKeepsTheFontAndColourOfItsDefinition) {
    start();
    EXPECT_EQ(say("S F00 FFF"), ">\r");
    EXPECT_EQ(say("f 24B"), ">\r");
    EXPECT_EQ(say("bd 0 10 10 5 \"Hi\" 10 16"), ">\r");
    const std::vector<uint16_t> defined = region(10, 10, 64, 64);
    EXPECT_GT(count(defined, RED), 30) << "a red label";
    EXPECT_EQ(say("S 00F 000"), ">\r");
    EXPECT_EQ(say("f 10s"), ">\r");
    EXPECT_EQ(say("sc 300 300"), ">\r");
    const std::string colours = say("S"), font = say("f");
    sim_touch(40, 40);
    sim_run_for(100);
    EXPECT_GT(count(region(10, 10, 64, 64), RED), 30) << "the down face carries the same label";
    EXPECT_EQ(count(region(10, 10, 64, 64), BLUE), 0);
    sim_release();
    sim_run_for(300);
    EXPECT_EQ(sim_take_output(0), "x0\rr0\r");
    EXPECT_EQ(region(10, 10, 64, 64), defined);
    EXPECT_EQ(say("S"), colours);
    EXPECT_EQ(say("f"), font);
    EXPECT_EQ(say("sc"), "300 300\r>\r");
    // Centred (now in blue): the label sits in the middle of the rectangle.
    EXPECT_EQ(say("bdc 1 200 10 2 \"W\" \"W\""), ">\r");
    std::vector<uint16_t> c = region(200, 10, 64, 64);
    int left = 64, right = -1, top = 64, bottom = -1;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            if (c[y * 64 + x] == BLUE) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0);
    EXPECT_LE(std::abs((left + right) - 64), 3) << left << ".." << right;
    EXPECT_LE(std::abs((top + bottom) - 64), 6) << top << ".." << bottom;
}

TEST_F(Touch, FacesComeFromTheImageOrTheBuiltInOnes) {
    startWithCard();
    EXPECT_EQ(say("bd 0 10 10 1 \"\" 0 0 1 2"), ">\r");
    EXPECT_EQ(region(10, 10, 40, 24), framed(40, 24, BLUE));
    sim_touch(30, 20);
    sim_run_for(100);
    EXPECT_EQ(pixel(30, 20), RED);
    EXPECT_EQ(pixel(49, 33), WHITE);
    sim_release();
    sim_run_for(300);
    EXPECT_EQ(sim_take_output(0), "x0\r");
    EXPECT_EQ(pixel(30, 20), BLUE);
    EXPECT_EQ(tap(50, 34), "x0\r") << "one pixel past the face";
    EXPECT_EQ(tap(51, 20), "");
    // The compressed down face draws the same pixels.
    EXPECT_EQ(say("bd 1 100 10 1 \"\" 0 0 1 5"), ">\r");
    sim_touch(120, 20);
    sim_run_for(100);
    EXPECT_EQ(region(100, 10, 40, 24), framed(40, 24, RED));
    sim_release();
    sim_run_for(300);
    sim_take_output(0);
    // Numbers that name no bitmap fall back to the built-in faces, one state at a time.
    EXPECT_EQ(say("bd 2 200 100 1 \"\" 0 0 98 99"), ">\r");
    EXPECT_EQ(region(200, 100, 64, 64), pixels(bmButtonRaised));
    EXPECT_EQ(say("bd 2 200 100 1 \"\" 0 0 1 99"), ": bitmaps have different width\r!\r");
    EXPECT_EQ(say("bd 0 10 10 1 \"\" 0 0 1 3"), ": bitmaps have different height\r!\r");
    EXPECT_EQ(tap(30, 20), "") << "the failed definition freed the slot";
    EXPECT_EQ(say("bd 0 10 10 1 \"\" 0 0 4 2"), ": bitmaps have different width\r!\r");
    EXPECT_EQ(say("bdc 0 10 10 2 \"a\" \"b\" 1 2"), ">\r");
    EXPECT_EQ(tap(30, 20), "s0 1\r");
    EXPECT_EQ(pixel(12, 12), RED);
}

TEST_F(Touch, DefinitionsRefuseWhatTheyCannotUse) {
    start();
    EXPECT_EQ(say("bd 0 10 10 7 \"a\" 5 5"), ": invalid <type>\r!\r");
    EXPECT_EQ(say("bd 0 10 10 0 \"a\" 5 5"), ": invalid <type>\r!\r");
    EXPECT_EQ(say("bd 0 10 10 31 \"a\" 5 5"), ": invalid <type>\r!\r");
    EXPECT_EQ(say("bd 0 10 10 1 5 5"), ": missing text argument\r!\r");
    EXPECT_EQ(say("bd 0 10 10 2 \"a\" 5 5"), ": missing text argument(s)\r!\r");
    EXPECT_EQ(say("bd 0 10 10 1 \"a\" 5"), ": missing argument(s)\r!\r");
    EXPECT_EQ(say("bd 0 10 10 1 \"a\" 5 5 1"), ": missing argument(s)\r!\r");
    EXPECT_EQ(say("bd 0 10 10 2 \"a\" \"b\" 5 5 5"), ": missing argument(s)\r!\r");
    EXPECT_EQ(say("bd 0 10 10 2 \"a\" \"b\" 5 5 5 5 1"), ": missing argument(s)\r!\r");
    EXPECT_EQ(say("bdc 0 10 10 1 \"a\" 1"), ": missing argument(s)\r!\r");
    EXPECT_EQ(say("bd 128 10 10 1 \"a\" 5 5"), "!\r");
    EXPECT_EQ(say("bd 0 10 10"), "!\r");
    EXPECT_EQ(say("bc 128"), "!\r");
    EXPECT_EQ(say("bc 0"), ">\r");
    // A label longer than 79 characters is cut, never spilled.
    EXPECT_EQ(say("bd 0 10 10 1 \"" + std::string(100, 'W') + "\" 5 5"), ">\r");
    EXPECT_EQ(tap(40, 40), "x0\r");
}

// A negative type draws the button, which answers only once "xe" enables it; "xe" redraws it,
// "xes" does not.
TEST_F(Touch, NegativeTypeWaitsForEnable) {
    start();
    const std::vector<uint16_t> up = pixels(bmButtonRaised);
    EXPECT_EQ(say("bd 3 10 10 -1 \"\" 5 5"), ">\r");
    EXPECT_EQ(region(10, 10, 64, 64), up);
    EXPECT_EQ(tap(40, 40), "");
    EXPECT_EQ(say("r 10 10 73 73 1"), ">\r");
    EXPECT_EQ(say("xes 3"), ">\r");
    EXPECT_NE(region(10, 10, 64, 64), up);
    EXPECT_EQ(tap(40, 40), "x3\r");
    EXPECT_EQ(say("xd 3"), ">\r");
    EXPECT_EQ(say("xe 3"), ">\r");
    EXPECT_EQ(region(10, 10, 64, 64), up);
    EXPECT_EQ(say("ssb 3 1"), ">\r");
    EXPECT_EQ(region(10, 10, 64, 64), pixels(bmButtonPressed)) << "ssb draws a momentary button down";
    EXPECT_EQ(say("xd all"), ">\r");
    EXPECT_EQ(say("xe all"), ">\r");
    EXPECT_EQ(region(10, 10, 64, 64), up) << "re-enabled momentary buttons are drawn up";
}

// A host that sends everything at once: 128 definitions in one burst (the display paces it with
// XOFF/XON), then 201 taps on one toggle: every reply, every report, in order, and the last face.
TEST_F(Touch, FloodOfDefinitionsAndTaps) {
    start();
    std::string burst, expected;
    for (int n = 0; n < 128; n++) {
        burst += "bd " + std::to_string(n) + " " + std::to_string(n % 12 * 66) + " " +
                 std::to_string(n / 12 * 40) + (n == 127 ? " 2 \"a\" \"b\" 5 5 5 5\r" : " 1 \"k\" 5 5\r");
        expected += ">\r";
    }
    sim_send(0, burst);
    ASSERT_TRUE(sim_run_until_idle(60000));
    std::string out = sim_take_output(0);
    out.erase(std::remove_if(out.begin(), out.end(), [](char c) { return c == 0x11 || c == 0x13; }),
              out.end());
    EXPECT_EQ(out, expected);
    // Button 127 lies at (462, 400); the momentary buttons under the later ones lose the overlap.
    const std::vector<uint16_t> off = region(462, 400, 64, 64);
    burst.clear();
    expected.clear();
    for (int i = 0; i < 201; i++) {
        burst += "*tsmm 470 430\r";
        expected += i % 2 ? "s127 0\r>\r" : "s127 1\r>\r";
    }
    sim_send(0, burst);
    ASSERT_TRUE(sim_run_until_idle(60000));
    out = sim_take_output(0);
    out.erase(std::remove_if(out.begin(), out.end(), [](char c) { return c == 0x11 || c == 0x13; }),
              out.end());
    EXPECT_EQ(out, expected);
    EXPECT_NE(region(462, 400, 64, 64), off);
    EXPECT_EQ(say("ssb 127"), "1\r>\r");
    EXPECT_EQ(say("*tsmm 470 430"), "s127 0\r>\r") << "simulated touches rule from their first on";
    EXPECT_EQ(region(462, 400, 64, 64), off);
}

// Press macros of buttons run at the next pass, entered at the button's label, with its text.
TEST_F(Touch, ButtonMacrosRunWithTheirArgumentsAndLabels) {
    startWithCard();
    EXPECT_EQ(say("bd 0 10 10 1 \"K\" 5 5"), ">\r");
    EXPECT_EQ(say("xa 0 p keys:x0 first"), ">\r");
    EXPECT_EQ(tap(20, 25), "x0\r{keys first}{x0 first at 10,15}")
        << "the lines before the first label, then the label's";
    EXPECT_EQ(say("bd 5 100 100 2 \"Off\" \"On\" 5 5 5 5"), ">\r");
    EXPECT_EQ(say("xa 5 p keys:s5_0 lamp"), ":xm label should be :s5_1\r!\r");
    EXPECT_EQ(say("xa 5 p keys:s5_1 lamp"), ">\r");
    EXPECT_EQ(say("xa 5 r keys:s5_0 lamp"), ">\r");
    EXPECT_EQ(tap(130, 130), "s5 1\r{keys lamp}{on lamp}");
    EXPECT_EQ(tap(130, 130), "s5 0\r{keys lamp}{off lamp}");
    EXPECT_EQ(say("ssb 5 1"), ">\r{keys lamp}{on lamp}") << "ssb runs the macro of the new state";
    EXPECT_EQ(say("xaq 5 p keys:s5_1 quiet"), ">\r");
    EXPECT_EQ(say("xaq 5 r keys:s5_0 quiet"), ">\r");
    EXPECT_EQ(tap(130, 130), "{keys quiet}{off quiet}");
    EXPECT_EQ(say("bd 5 100 100 2 \"Off\" \"On\" 5 5 5 5"), ">\r");
    EXPECT_EQ(tap(130, 130), "s5 1\r") << "a new definition drops the macros";
}

// A typematic key (type 3) repeats its press while held.
TEST_F(Touch, TypematicKeyRepeats) {
    start();
    EXPECT_EQ(say("typematics 10 5"), "Delay 100ms, Repeat 50ms\r>\r");
    EXPECT_EQ(say("bd 0 10 10 3 \"\" 5 5"), ">\r");
    // Each report redraws the key once the panel's scan has passed it, which takes up to a frame
    // (29.7 ms) and moves the next repeat by as much: reports at 9, 124, 184 and 243 ms here; the
    // last position stays published through its hold-off after the lift, for one more.
    const uint64_t from = sim_now();
    hold(40, 40, 230);
    const std::vector<double> at = noticeTimes('x', from);
    EXPECT_EQ(sim_take_output(0), "x0\rx0\rx0\rx0\rx0\r");
    ASSERT_EQ(at.size(), 5u);
    EXPECT_GE(at[1] - at[0], 100.0) << "the typematic delay";
    for (size_t i = 2; i < at.size(); i++) {
        EXPECT_GE(at[i] - at[i - 1], 50.0) << i;
        EXPECT_LT(at[i] - at[i - 1], 50.0 + 30.0) << i << ": at most a frame's wait more";
    }
    EXPECT_EQ(region(10, 10, 64, 64), pixels(bmButtonRaised));
}

} // namespace

namespace {

// The demo of `make run`: its drawing lines sent as a host would, then the pen on its controls.
TEST_F(Touch, DemoScreenAnswersThePen) {
    SimOptions o;
    o.sd = CARDS_DIR "/demo.img";
    start(o);
    std::ifstream demo(DEMO_DIR "/demo.txt");
    ASSERT_TRUE(demo.good());
    std::string line;
    int sent = 0;
    while (std::getline(demo, line)) {
        if (line.empty() || line.rfind("//", 0) == 0) continue;
        std::string reply = say(line);
        EXPECT_EQ(reply, ">\r") << line;
        sent++;
    }
    EXPECT_GT(sent, 100);
    const uint16_t grey = pixel(660, 110);
    EXPECT_EQ(tap(610, 370), "x0\r");
    EXPECT_EQ(tap(700, 370), "s1 1\r");
    EXPECT_EQ(pixel(660, 110), 0xFEE0) << "the lamp is lit (FD0)";
    EXPECT_EQ(tap(700, 370), "s1 0\r");
    EXPECT_EQ(pixel(660, 110), grey);
    const uint16_t ball = pixel(100, 300);
    sim_touch(100, 300);
    sim_run_for(100);
    EXPECT_EQ(sim_take_output(0), "x130\r");
    EXPECT_EQ(pixel(100, 300), (uint16_t)~ball) << "inverted while pressed";
    sim_release();
    sim_run_for(300);
    EXPECT_EQ(pixel(100, 300), ball);
    EXPECT_EQ(tap(400, 150), "x131 118 66\r");
    EXPECT_EQ(pixel(400, 150), 0xD904) << "a dot (D22) where the star was pressed";
    EXPECT_EQ(tap(530, 372), "x2\r");
    sim_run_for(100);
    EXPECT_EQ(pixel(790, 5), 0xEF9F) << "the controls screen (E8F0F8) after More";
}

} // namespace
