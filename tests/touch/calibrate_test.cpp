// Touch calibration end to end, built once per panel size (PANEL_WIDTH, CAL_CENTRE_X, CAL_RIGHT_X):
// the simulated pen touches each target and circle once it is on the screen (read from the frame
// buffer), never at an assumed time; then the saved tables must map touches back to where they were.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/host/sim.h"
#include "tests/touch/touch_fixture.h"

namespace {

struct Pt {
    int x, y;
};

constexpr int W = PANEL_WIDTH;
constexpr Pt TARGETS[5] = {{CAL_CENTRE_X, 239}, {20, 20}, {CAL_RIGHT_X, 20}, {CAL_RIGHT_X, 459}, {20, 459}};
constexpr Pt CIRCLES[4] = {{20, 459}, {20, 20}, {CAL_RIGHT_X, 20}, {CAL_RIGHT_X, 459}};
constexpr uint16_t BLACK = 0x0000, RED = 0xF800;
constexpr double MS = (double)(uint64_t)SIM_COUNTS_PER_MS;

uint16_t pixel(int x, int y) {
    int w, h;
    const uint16_t *fb = sim_framebuffer(&w, &h);
    return fb && x < w && y < h ? fb[(size_t)y * w + x] : 0x1234;
}

// Runs in 10 ms steps until the pixel has the colour; false after maxMs.
bool waitForPixel(int x, int y, uint16_t colour, int maxMs = 15000) {
    for (int t = 0; t <= maxMs; t += 10) {
        if (pixel(x, y) == colour) return true;
        sim_run_for(10);
    }
    return false;
}

// The ring of a target and the outline of a circle both cross (x + 13, y).
bool waitForTarget(Pt p) {
    return waitForPixel(p.x + 13, p.y, BLACK);
}
bool waitForCircle(Pt p) {
    return waitForPixel(p.x + 13, p.y, RED);
}

void press(Pt p, uint64_t ms) {
    sim_touch(p.x, p.y);
    sim_run_for(ms);
    sim_release();
    sim_run_for(20);
}

class Calibration : public Touch {
  protected:
    // The five targets, each once it is shown.
    static void touchTargets(int count = 5) {
        for (int i = 0; i < count; i++) {
            ASSERT_TRUE(waitForTarget(TARGETS[i])) << "target " << i;
            press(TARGETS[i], 300);
        }
    }
    static void touchCircles() {
        for (int n = 0; n < 4; n++) {
            ASSERT_TRUE(waitForCircle(CIRCLES[n])) << "circle " << n + 1;
            press(CIRCLES[n], 150);
        }
    }
    // A whole calibration from "tc" to its prompt.
    void calibrate() {
        sim_send(0, "tc\r");
        touchTargets();
        touchCircles();
        ASSERT_TRUE(sim_run_until_idle());
        EXPECT_EQ(sim_take_output(0), ">\r");
    }
    // Where the display puts a touch at p (a coordinate report of an area over the whole screen).
    Pt reported(Pt p) {
        sim_touch(p.x, p.y);
        sim_run_for(150);
        sim_release();
        sim_run_for(300);
        std::string out = sim_take_output(0);
        Pt r = {-1000, -1000};
        sscanf(out.c_str(), "x130 %d %d", &r.x, &r.y);
        return r;
    }
    // Every target, circle and a few points between them map back within 2 pixels.
    void expectMapsBack() {
        EXPECT_EQ(say("xxy 130 0 0 " + std::to_string(W - 1) + " 479"), ">\r");
        std::vector<Pt> points(TARGETS, TARGETS + 5);
        for (Pt p : {Pt{100, 100}, Pt{W / 2 + 37, 300}, Pt{W - 50, 400}, Pt{W / 3, 61}, Pt{5, 470}})
            points.push_back(p);
        for (Pt p : points) {
            Pt r = reported(p);
            EXPECT_LE(abs(r.x - p.x), 2) << p.x << "," << p.y << " reads " << r.x << "," << r.y;
            EXPECT_LE(abs(r.y - p.y), 2) << p.x << "," << p.y << " reads " << r.x << "," << r.y;
        }
        EXPECT_EQ(say("xc 130"), ">\r");
    }
    // The tables in both EEPROM copies: logical points of the build, touchSwap.
    static void expectSaved(int swap) {
        std::vector<uint8_t> e = sim_eeprom();
        auto i16 = [&](int a) { return (int16_t)(e[a] | e[a + 1] << 8); };
        for (int base : {0x000, 0x100}) {
            EXPECT_EQ(e[base + 0x2B], swap);
            for (int i = 0; i < 5; i++) {
                EXPECT_EQ(i16(base + 0x84 + 2 * i), TARGETS[i].x) << i;
                EXPECT_EQ(i16(base + 0x98 + 2 * i), TARGETS[i].y) << i;
                EXPECT_GT(i16(base + 0x8E + 2 * i), 0);
                EXPECT_GT(i16(base + 0xA2 + 2 * i), 0);
            }
        }
    }
};

TEST_F(Calibration, NormalPanel) {
    start();
    EXPECT_EQ(say("*touchSwap 1"), ">\r") << "wrong for this panel";
    EXPECT_EQ(say("xxy 130 0 0 " + std::to_string(W - 1) + " 479"), ">\r");
    Pt before = reported({W - 100, 100});
    EXPECT_GT(abs(before.x - (W - 100)) + abs(before.y - 100), 50)
        << "transposed before the calibration: " << before.x << "," << before.y;
    EXPECT_EQ(say("xc 130"), ">\r");
    calibrate();
    EXPECT_EQ(say("*touchSwap"), "0\r>\r");
    expectSaved(0);
    expectMapsBack();
    sim_power_cycle();
    ASSERT_TRUE(sim_run_until_idle());
    sim_take_output(0);
    expectMapsBack();
}

TEST_F(Calibration, SwappedPanel) {
    SimOptions o;
    o.touchSwapped = true;
    start(o);
    calibrate();
    EXPECT_EQ(say("*touchSwap"), "1\r>\r");
    expectSaved(1);
    expectMapsBack();
}

TEST_F(Calibration, SwappedPanelWithNoise) {
    SimOptions o;
    o.touchSwapped = true;
    o.touchNoise = 2;
    o.touchSeed = 99;
    start(o);
    calibrate();
    EXPECT_EQ(say("*touchSwap"), "1\r>\r");
    expectMapsBack();
}

// A time-out at any step (no touch at a target, a finger not lifted, no hit on a circle) leaves
// the stored calibration, touchSwap and touchMode as they were, and writes nothing.
TEST_F(Calibration, TimeOutsLeaveTheOldCalibration) {
    SimOptions o;
    o.touchSwapped = true;
    start(o);
    calibrate();
    EXPECT_EQ(say("*tcTimeout 1"), ">\r");
    EXPECT_EQ(say("*touchModes W"), ">\r");
    const std::vector<uint8_t> before = sim_eeprom();

    // No touch at the first target: the prompt one time-out after it appeared.
    sim_send(0, "tc\r");
    ASSERT_TRUE(waitForTarget(TARGETS[0]));
    uint64_t shown = sim_now();
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0), ">\r");
    double took = (double)(sim_now() - shown) / MS;
    EXPECT_GT(took, 950.0);
    EXPECT_LT(took, 1100.0);
    EXPECT_EQ(sim_eeprom(), before);
    EXPECT_EQ(say("*touchSwap"), "1\r>\r");
    EXPECT_EQ(say("*touchMode"), "---W (4)\r>\r");

    // Two targets, then nothing.
    sim_send(0, "tc\r");
    touchTargets(2);
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0), ">\r");
    EXPECT_EQ(sim_eeprom(), before);

    // A finger that stays on the third target.
    sim_send(0, "tc\r");
    touchTargets(2);
    ASSERT_TRUE(waitForTarget(TARGETS[2]));
    sim_touch(TARGETS[2].x, TARGETS[2].y);
    ASSERT_TRUE(sim_run_until_idle());
    sim_release();
    sim_run_for(200);
    EXPECT_EQ(sim_take_output(0), ">\r");
    EXPECT_EQ(sim_eeprom(), before);

    // All targets, then touches away from the first circle: marks, but no hit, until the time-out.
    sim_send(0, "tc\r");
    touchTargets();
    ASSERT_TRUE(waitForCircle(CIRCLES[0]));
    press({CIRCLES[0].x + 20, CIRCLES[0].y}, 150);
    press({CIRCLES[0].x, CIRCLES[0].y - 16}, 150);
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0), ">\r");
    EXPECT_EQ(sim_eeprom(), before);
    EXPECT_EQ(say("*touchSwap"), "1\r>\r");
    EXPECT_EQ(say("*touchMode"), "---W (4)\r>\r");
    EXPECT_EQ(say("*touchModes S"), ">\r");
    expectMapsBack();
}

// A finger on the panel when the calibration starts must leave within 5 s.
TEST_F(Calibration, FingerThatStaysOnThePanel) {
    start();
    const std::vector<uint8_t> before = sim_eeprom();
    sim_touch(300, 300);
    sim_run_for(100);
    sim_send(0, "tc\r");
    ASSERT_TRUE(sim_run_until_idle(20000));
    sim_release();
    EXPECT_EQ(sim_take_output(0), ">\r");
    EXPECT_EQ(sim_eeprom(), before);
    // Lifted in time: the calibration goes on.
    sim_touch(300, 300);
    sim_run_for(100);
    sim_send(0, "tc\r");
    sim_run_for(3000);
    sim_release();
    touchTargets();
    touchCircles();
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0), ">\r");
    expectSaved(0);
}

// "*autoCal 1" and a finger on the panel at power-on: two beeps, the calibration, then the first
// prompt.
TEST_F(Calibration, AtPowerOnWhenTouched) {
    start();
    EXPECT_EQ(say("*autoCal 1"), ">\r");
    EXPECT_EQ(say("*touchSwap 1"), ">\r");
    sim_touch(300, 300);
    sim_power_cycle();
    // The two beeps say that the touch was seen.
    const std::vector<SimTone> &log = sim_tone_log();
    int waited = 0;
    while (log.size() < 4 && waited < 10000) {
        sim_run_for(10);
        waited += 10;
    }
    ASSERT_GE(log.size(), 4u);
    EXPECT_NEAR((double)(log[1].time - log[0].time) / MS, 50.0, 1.0);
    EXPECT_NEAR((double)(log[2].time - log[0].time) / MS, 100.0, 1.5);
    EXPECT_NEAR((double)(log[3].time - log[2].time) / MS, 50.0, 1.0);
    sim_run_for(2500);
    sim_release();
    touchTargets();
    touchCircles();
    ASSERT_TRUE(sim_run_until_idle());
    std::string out = sim_take_output(0);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out.substr(out.size() - 2), ">\r") << "the first prompt follows the calibration";
    EXPECT_EQ(say("*touchSwap"), "0\r>\r");
    expectSaved(0);
    // Without a touch at power-on the calibration does not start.
    sim_power_cycle();
    ASSERT_TRUE(sim_run_until_idle());
    sim_take_output(0);
    expectMapsBack();
}

// Pressure mode on and verification touches softer than its window: reported, saved all the same.
TEST_F(Calibration, PressureFaultIsReportedAndTheCalibrationSaved) {
    start();
    EXPECT_EQ(say("*touchSwap 1"), ">\r");
    EXPECT_EQ(say("*touchMode P"), ">\r");
    EXPECT_EQ(say("*tplo 460"), ">\r") << "the pen presses at 450";
    sim_send(0, "tc\r");
    touchTargets();
    touchCircles();
    std::string out;
    for (int t = 0; t < 5000 && out.find("limit 460\r") == std::string::npos; t += 10) {
        sim_run_for(10);
        out += sim_take_output(0);
    }
    int p[4];
    ASSERT_EQ(sscanf(out.c_str(),
                     ":*** CAL PRESSURE LESS THAN CURRENT LIMIT ***\r:Measured Pressure Min = %d %d %d %d; "
                     "limit 460\r",
                     &p[0], &p[1], &p[2], &p[3]),
              4)
        << out;
    for (int v : p) EXPECT_LT(v, 460);
    EXPECT_EQ(sim_eeprom()[0x2B], 1) << "not saved until the display is touched";
    press({300, 300}, 100);
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0), ">\r");
    expectSaved(0);
    EXPECT_EQ(say("*touchMode"), "--P- (2)\r>\r");
}

// "*debug 1": the new tables and the pressures of the circles go to the host.
TEST_F(Calibration, DebugReportsTablesAndPressures) {
    start();
    EXPECT_EQ(say("*debug 1"), ">\r");
    sim_send(0, "tc\r");
    touchTargets();
    ASSERT_TRUE(waitForCircle(CIRCLES[0]));
    std::string out = sim_take_output(0);
    const std::string head = "Calibrate info\r[#]:   ax   ay  axP  ayP\r";
    ASSERT_EQ(out.substr(0, head.size()), head) << out;
    const char *row = out.c_str() + head.size();
    for (int i = 0; i < 5; i++) {
        int n, lx, ly, px, py, used = 0;
        ASSERT_EQ(sscanf(row, "[%d]: %d %d %d %d\r%n", &n, &lx, &ly, &px, &py, &used), 5) << row;
        EXPECT_EQ(n, i);
        EXPECT_EQ(lx, TARGETS[i].x);
        EXPECT_EQ(ly, TARGETS[i].y);
        row += used;
    }
    touchCircles();
    for (int t = 0; t < 3000 && out.find("Pressure Max") == std::string::npos; t += 10) {
        sim_run_for(10);
        out += sim_take_output(0);
    }
    EXPECT_NE(out.find("Pressure Min = "), std::string::npos) << out;
    press({300, 300}, 100);
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0), ">\r");
    expectSaved(0);
}

} // namespace
