// The panel services end to end, built once per panel configuration: what the commands drive on
// the simulated board (PWM duty, inverter line, supply, signals, scan pins, timing), where the
// panel's scan is when a scan-line wait returns, what is saved, and the program's --trace of the
// power sequences with their delays. Times are measured from events the test sees, never from
// power-on.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/host/sim.h"
#include "board/services/services.h"
#include "config/panel.h"
#include "tests/touch/touch_fixture.h"

namespace {

constexpr uint64_t MS = SIM_COUNTS_PER_MS;

class Panel : public Touch {
  protected:
    void restart() {
        sim_power_cycle();
        ASSERT_TRUE(sim_run_until_idle());
        sim_take_output(0);
    }
    static uint64_t htot() {
        const SimBoard &b = sim_board();
        return (uint64_t)b.hfp + b.hpw + b.hbp + b.fbWidth;
    }
    static uint64_t vtot() {
        const SimBoard &b = sim_board();
        return (uint64_t)b.vfp + b.vpw + b.vbp + b.fbHeight;
    }
    // Runs until idle; the reply, and the virtual time at which its first byte began to leave.
    static std::string replyAndTime(uint64_t &start) {
        EXPECT_TRUE(sim_run_until_idle());
        const std::vector<SimTxByte> &log = sim_tx_log(0);
        start = log.empty() ? 0 : log.front().time - 10 * MS * 1000 / 115200; // ten bit times earlier
        return sim_take_output(0);
    }
    static bool firstBuild() { return panelConfig.maxBrite < panelConfig.minBrite; }
};

// The brightness mapping on its own: both orders of the limits.
TEST(BrightnessDuty, LevelsBetweenTheLimitsInEitherOrder) {
    EXPECT_EQ(QV_Brite_Duty(255, 242, 0), 255);
    EXPECT_EQ(QV_Brite_Duty(0, 242, 0), 13);
    EXPECT_EQ(QV_Brite_Duty(128, 242, 0), 255 - 242 * 127 / 255);
    EXPECT_EQ(QV_Brite_Duty(0, 1, 255), 254);
    EXPECT_EQ(QV_Brite_Duty(255, 1, 255), 0);
    EXPECT_EQ(QV_Brite_Duty(128, 1, 255), 255 - (1 + 128 * 254 / 255));
    EXPECT_EQ(QV_Brite_Duty(77, 9, 9), 255 - 9) << "equal limits: one duty for every level";
}

TEST_F(Panel, StartUpLeavesThePanelOnLitAndTimedByTheBuildDefaults) {
    start();
    const SimBoard &b = sim_board();
    EXPECT_EQ(b.panelSupply, 1);
    EXPECT_EQ(b.sigsActive, 1);
    EXPECT_EQ(b.buffersEnabled, 1);
    EXPECT_EQ(b.idleLevelHigh, panelConfig.idleSignalHigh);
    EXPECT_EQ(b.vq, 1);
    EXPECT_EQ(b.scanDirection, 0);
    EXPECT_EQ(b.clockEdge, 1);
    EXPECT_EQ(b.inverterLine, 1);
    EXPECT_EQ(b.backlightPwm, 1);
    EXPECT_EQ(b.backlightDuty, 255 - panelConfig.maxBrite) << "level 255";
    EXPECT_EQ(b.visibleLevel, 255);
    EXPECT_EQ(b.hfp, panelConfig.hfp);
    EXPECT_EQ(b.hpw, panelConfig.hpw);
    EXPECT_EQ(b.hbp, panelConfig.hbp);
    EXPECT_EQ(b.vfp, panelConfig.vfp);
    EXPECT_EQ(b.vpw, panelConfig.vpw);
    EXPECT_EQ(b.vbp, panelConfig.vbp);
    EXPECT_EQ(b.framePeriod, htot() * vtot());
}

TEST_F(Panel, BrightnessLimitsPolarityAndPwmOnTheBoard) {
    start();
    const SimBoard &b = sim_board();
    EXPECT_EQ(say("xbb 0"), ">\r");
    EXPECT_EQ(b.backlightDuty, 255 - panelConfig.minBrite);
    EXPECT_EQ(b.visibleLevel, firstBuild() ? 13 : 1);
    EXPECT_EQ(say("xbb 255"), ">\r");
    EXPECT_EQ(b.backlightDuty, 255 - panelConfig.maxBrite);
    // Limits swapped: the same levels, the other way round.
    EXPECT_EQ(say("*maxBrite " + std::to_string(panelConfig.minBrite)), ">\r");
    EXPECT_EQ(say("*minBrite " + std::to_string(panelConfig.maxBrite)), ">\r");
    EXPECT_EQ(b.backlightDuty, 255 - panelConfig.minBrite) << "applied at once";
    EXPECT_EQ(say("xbb 0"), ">\r");
    EXPECT_EQ(b.backlightDuty, 255 - panelConfig.maxBrite);

    // The inverter's enable line follows the polarity; the simulated inverter lights on high.
    EXPECT_EQ(say("*invEnaHiTrue 1"), ">\r");
    EXPECT_EQ(b.inverterLine, 0);
    EXPECT_EQ(b.visibleLevel, 0);
    EXPECT_EQ(say("xbl of"), ">\r");
    EXPECT_EQ(b.inverterLine, 1);
    EXPECT_EQ(say("*invEnaHiTrue 0"), ">\r");
    EXPECT_EQ(b.inverterLine, 1);
    EXPECT_EQ(say("xbl of"), ">\r");
    EXPECT_EQ(b.inverterLine, 0);
    EXPECT_EQ(b.visibleLevel, 0);
    // Off with the limits now rising (minBrite < maxBrite in build 1 after the swap, the default of
    // build 2): the duty is held at 255; falling: the PWM output stops.
    bool heldAtFullDuty = panelConfig.minBrite > panelConfig.maxBrite;
    EXPECT_EQ(b.backlightPwm, heldAtFullDuty ? 1 : 0);
    if (heldAtFullDuty) {
        EXPECT_EQ(b.backlightDuty, 255);
    }
    EXPECT_EQ(say("xbl on"), ">\r");
    EXPECT_EQ(b.inverterLine, 1);
    EXPECT_EQ(b.backlightPwm, 1);
    EXPECT_EQ(say("*pwmIsEnable 0"), ">\r");
    EXPECT_EQ(b.backlightPwm, 0);
    EXPECT_EQ(say("xbl of"), ">\r");
    EXPECT_EQ(b.backlightPwm, 0) << "without the PWM only the enable line switches";
    EXPECT_EQ(say("xbl on"), ">\r");
    EXPECT_EQ(b.backlightPwm, 0);
    EXPECT_EQ(say("*pwmIsEnable 1"), ">\r");
    EXPECT_EQ(b.backlightPwm, 1);

    // Saved: the limits, polarity and PWM switch; the "s" form of the level is not.
    EXPECT_EQ(say("xbb 100"), ">\r");
    EXPECT_EQ(say("xbbs 10"), ">\r");
    restart();
    EXPECT_EQ(say("xbb"), "100\r>\r");
    EXPECT_EQ(say("*maxBrite"), std::to_string(panelConfig.minBrite) + "\r>\r");
    EXPECT_EQ(say("*minBrite"), std::to_string(panelConfig.maxBrite) + "\r>\r");
    EXPECT_EQ(b.backlightDuty, QV_Brite_Duty(100, panelConfig.maxBrite, panelConfig.minBrite));
}

// The inverter of the other polarity: dark with the default setting, lit with "*invEnaHiTrue 1".
TEST_F(Panel, AnInverterActiveLowNeedsTheOtherPolarity) {
    SimOptions o;
    o.inverterActiveLow = true;
    start(o);
    EXPECT_EQ(sim_board().visibleLevel, 0);
    EXPECT_EQ(say("*invEnaHiTrue 1"), ">\r");
    EXPECT_EQ(sim_board().visibleLevel, 255);
    restart();
    EXPECT_EQ(sim_board().visibleLevel, 255) << "saved";
}

TEST_F(Panel, VideoOffAndOnDarkenAndLightTheScreen) {
    start();
    const SimBoard &b = sim_board();
    EXPECT_EQ(say("v of"), ">\r");
    EXPECT_EQ(b.panelSupply, 0);
    EXPECT_EQ(b.sigsActive, 0);
    EXPECT_EQ(b.visibleLevel, 0);
    EXPECT_EQ(say("xbb 200"), ">\r");
    EXPECT_EQ(b.visibleLevel, 0) << "no backlight without the panel";
    EXPECT_EQ(say("v on"), ">\r");
    EXPECT_EQ(b.panelSupply, 1);
    EXPECT_EQ(b.sigsActive, 1);
    EXPECT_EQ(b.inverterLine, 1);
    EXPECT_EQ(b.backlightDuty, QV_Brite_Duty(200, panelConfig.minBrite, panelConfig.maxBrite));
    EXPECT_GT(b.visibleLevel, 0);
}

TEST_F(Panel, OrientationDrivesThePinsAndIsSaved) {
    start();
    EXPECT_EQ(say("*orient 2"), ">\r");
    EXPECT_EQ(sim_board().scanDirection, 2);
    EXPECT_EQ(say("*orient 7"), ">\r");
    EXPECT_EQ(sim_board().scanDirection, 3);
    EXPECT_EQ(say("*orient 2"), ">\r");
    std::vector<uint8_t> e = sim_eeprom();
    EXPECT_EQ(e[0x5C], 2);
    EXPECT_EQ(e[0x100 + 0x5C], 2);
    restart();
    EXPECT_EQ(sim_board().scanDirection, 2) << "applied with the panel signals at start-up";
    EXPECT_EQ(say("*orient"), "2\r>\r");
}

TEST_F(Panel, StatusLedForcedOnAndOffThenBackToActivity) {
    start();
    EXPECT_EQ(say("led on"), ">\r");
    EXPECT_EQ(say("vers").substr(0, 5), "ZEFO5");
    EXPECT_EQ(sim_board().statusLed, 1);
    EXPECT_EQ(say("led off"), ">\r");
    EXPECT_EQ(say("vers").substr(0, 5), "ZEFO5");
    EXPECT_EQ(sim_board().statusLed, 0);
    EXPECT_EQ(say("led sys"), ">\r");
    EXPECT_EQ(say("vers").substr(0, 5), "ZEFO5");
    EXPECT_EQ(sim_board().statusLed, 0) << "the activity LED is off between lines";
}

// A new timing changes the frame rate at once; the frame is htot x vtot pixel clocks of 16.384 MHz.
TEST_F(Panel, TimingChangesTheFrameRate) {
    start();
    uint32_t before = sim_board().frames;
    sim_run_for(1000);
    uint32_t perSecond = sim_board().frames - before;
    EXPECT_NEAR(perSecond, 16384000.0 / (double)(htot() * vtot()), 1.0);
    EXPECT_EQ(say("*vbp 63"), ">\r");
    EXPECT_EQ(say("*hbp 200"), ">\r");
    EXPECT_EQ(sim_board().vbp, 63);
    EXPECT_EQ(sim_board().hbp, 200);
    before = sim_board().frames;
    sim_run_for(1000);
    uint32_t slower = sim_board().frames - before;
    EXPECT_NEAR(slower, 16384000.0 / (double)(htot() * vtot()), 1.0);
    EXPECT_LT(slower, perSecond);
    // Not saved: a restart brings the stored (default) timing back.
    restart();
    EXPECT_EQ(sim_board().vbp, panelConfig.vbp);
}

// "wvr 1000" sent in the middle of a frame returns once the scan has passed the last row: after
// the next frame start, within the first quarter of that frame.
TEST_F(Panel, WaitForTheLastRowEndsAfterTheFrameEnds) {
    start();
    const uint64_t period = sim_board().framePeriod;
    for (int round = 0; round < 4; round++) {
        SimScan s = sim_scan();
        // The line's CR arrives about half a frame (plus a few ms each round) after a frame start.
        uint64_t at = s.frameStart + period + period / 2 + (uint64_t)round * 3 * MS - MS;
        sim_run_until(at);
        const uint64_t sent = sim_now();
        sim_send(0, "wvr 1000\r");
        uint64_t replied;
        ASSERT_EQ(replyAndTime(replied), ">\r");
        // The frame start before the reply: frame starts are `period` apart, the last one known.
        uint64_t last = sim_board().frameStartedAt;
        uint64_t frameBefore = last - (last - replied + period - 1) / period * period;
        EXPECT_GT(frameBefore, sent) << round << ": the wait spans the end of the frame";
        EXPECT_LT(replied - frameBefore, period / 4 + 2 * MS) << round;
    }
}

// A row in the middle: the wait ends when the scan has passed it, not before, and not a frame late.
TEST_F(Panel, WaitForAMiddleRowEndsRightAfterItsScan) {
    start();
    const uint64_t period = sim_board().framePeriod;
    const int row = panelConfig.height / 2;
    const SimBoard &b = sim_board();
    const uint64_t passed = ((uint64_t)b.vfp + b.vpw + b.vbp + row + 1) * htot(); // after the frame start
    SimScan s = sim_scan();
    sim_run_until(s.frameStart + period + MS);
    const uint64_t frame = sim_scan().frameStart;
    sim_send(0, "wvr " + std::to_string(row) + "\r");
    uint64_t replied;
    ASSERT_EQ(replyAndTime(replied), ">\r");
    EXPECT_GE(replied, frame + passed);
    EXPECT_LT(replied, frame + passed + 7 * MS / 2);
    // "wrf" takes its row from the drawing origin: with the origin at half the screen, row 0 is
    // the same row.
    EXPECT_EQ(say("o 0 " + std::to_string(row)), ">\r");
    s = sim_scan();
    sim_run_until(s.frameStart + period + MS);
    const uint64_t frame2 = sim_scan().frameStart;
    sim_send(0, "wrf 5 0\r");
    ASSERT_EQ(replyAndTime(replied), ">\r");
    EXPECT_GE(replied, frame2 + passed);
    EXPECT_LT(replied, frame2 + passed + 7 * MS / 2);
}

TEST_F(Panel, PanelAdjustStopsAt200AndSavesWithBang) {
    start();
    std::string keys = "*paneladj\r" + std::string(300, '6') + "!";
    sim_send(0, keys);
    ASSERT_TRUE(sim_run_until_idle(60000));
    std::string out = sim_take_output(0);
    // The first status line, then one per key; the last ones all at 200.
    size_t lines = 0;
    for (size_t p = out.find("hfp "); p != std::string::npos; p = out.find("hfp ", p + 1)) lines++;
    EXPECT_EQ(lines, 301u);
    char last[100];
    snprintf(last, sizeof last,
             "hfp %2d  hpw %2d  hbp 200 (HTOT %3d) / vfp %2d  vpw %2d  vbp %2d (VTOT %3d)\r>\r",
             panelConfig.hfp, panelConfig.hpw, panelConfig.hfp + panelConfig.hpw + 200 + panelConfig.width,
             panelConfig.vfp, panelConfig.vpw, panelConfig.vbp,
             panelConfig.vfp + panelConfig.vpw + panelConfig.vbp + panelConfig.height);
    ASSERT_GE(out.size(), strlen(last));
    EXPECT_EQ(out.substr(out.size() - strlen(last)), last);
    EXPECT_EQ(sim_board().hbp, 200);
    EXPECT_EQ(sim_eeprom()[0x55], 200);
    restart();
    EXPECT_EQ(say("*hbp"), "200\r>\r");
    EXPECT_EQ(sim_board().hbp, 200);
}

TEST_F(Panel, PanelAdjustLeftWithEscapeKeepsTheValuesUntilTheNextStart) {
    start();
    sim_send(0, "*paneladj\rf66\x1b");
    ASSERT_TRUE(sim_run_until_idle());
    sim_take_output(0);
    EXPECT_EQ(sim_board().hfp, panelConfig.hfp + 2) << "in effect at once";
    EXPECT_EQ(say("*hfp"), std::to_string(panelConfig.hfp + 2) + "\r>\r");
    restart();
    EXPECT_EQ(say("*hfp"), std::to_string(panelConfig.hfp) + "\r>\r");
}

// The test pattern: both diagonals and the diamond, whatever the drawing origin.
TEST_F(Panel, PanelAdjustDrawsItsTestPattern) {
    start();
    EXPECT_EQ(say("o 100 100"), ">\r");
    sim_send(0, "*paneladj\r\x1b");
    ASSERT_TRUE(sim_run_until_idle());
    sim_take_output(0);
    int w, h;
    const uint16_t *fb = sim_framebuffer(&w, &h);
    ASSERT_NE(fb, nullptr);
    const uint16_t ink = fb[0]; // the top-left corner lies on a diagonal
    auto black = [&](int x, int y) { return fb[y * w + x] == ink; };
    EXPECT_TRUE(black(0, 0));
    EXPECT_TRUE(black(w - 1, h - 1));
    EXPECT_TRUE(black(w - 1, 0));
    EXPECT_TRUE(black(0, h - 1));
    EXPECT_TRUE(black((w - 1) / 2, 0));
    EXPECT_TRUE(black(w - 1, (h - 1) / 2));
    EXPECT_TRUE(black((w - 1) / 2, h - 1));
    EXPECT_TRUE(black(0, (h - 1) / 2));
    EXPECT_FALSE(black(w / 4, h / 2 + 20)) << "inside the diamond, off the lines";
}

// ---- the program's trace ---------------------------------------------------------------------

struct TraceLine {
    double ms;
    std::string what;
};

std::vector<TraceLine> traceOf(const std::string &input) {
    std::string cmd = "printf '" + input + "' | " SIM_PROGRAM " --display none --trace 2>&1 >/dev/null";
    std::vector<TraceLine> out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char line[300];
    while (fgets(line, sizeof line, p)) {
        double t;
        char what[250];
        if (sscanf(line, "zefo5: %lf ms: %249[^\n]", &t, what) == 2 && strncmp(what, "status LED", 10) != 0)
            out.push_back({t, what});
    }
    pclose(p);
    return out;
}

// The trace of the power sequences in their order, with the build's delay and the 50 ms before
// the backlight.
TEST(PanelTrace, VideoOffThenOnInOrderWithTheirDelays) {
    std::vector<TraceLine> t = traceOf("xbb 200\\rv of\\rv on\\r");
    const std::string level200 =
        "backlight duty " + std::to_string(QV_Brite_Duty(200, panelConfig.minBrite, panelConfig.maxBrite));
    size_t i = 0;
    while (i < t.size() && t[i].what != level200) i++; // "xbb 200"
    ASSERT_LT(i, t.size());
    std::vector<std::string> what;
    std::vector<double> at;
    for (size_t k = i + 2; k < t.size(); k++) { // after "screen lit" of the new level
        what.push_back(t[k].what);
        at.push_back(t[k].ms);
    }
    const bool first = panelConfig.maxBrite < panelConfig.minBrite;
    std::vector<std::string> want;
    if (first) {
        want = {"backlight PWM 0", "screen lit, backlight 1/255"};
    } else {
        want = {"backlight duty 255", "screen lit, backlight 1/255"};
    }
    const uint8_t duty = QV_Brite_Duty(200, panelConfig.minBrite, panelConfig.maxBrite);
    const int level = first ? duty : 255 - duty;
    for (const char *w : {"inverter enable line low (inverter off)", "screen dark", "panel signals active 0",
                          "panel supply 0", "panel supply 1", "panel signals active 1"})
        want.push_back(w);
    if (first) want.push_back("backlight PWM 1");
    if (!first) want.push_back("backlight duty " + std::to_string(duty));
    want.push_back("inverter enable line high (inverter on)");
    want.push_back("screen lit, backlight " + std::to_string(level) + "/255");
    ASSERT_EQ(what, want);
    const double delay = panelConfig.powerOnDelayMs;
    const size_t off = 4; // "panel signals active 0"
    EXPECT_NEAR(at[off + 1] - at[off], delay, 0.5 + delay / 1000)
        << "the build's delay before the supply goes off";
    EXPECT_NEAR(at[off + 3] - at[off + 2], delay, 0.5 + delay / 1000)
        << "the build's delay after the supply comes on";
    EXPECT_NEAR(at[off + 4] - at[off + 3], 50.0, 0.5) << "50 ms before the backlight";
}

// Start-up: supply on, the build's delay, inverter off, signals active; the backlight comes on
// later with the first screen.
TEST(PanelTrace, StartUpPowersThePanelBeforeTheBacklight) {
    std::vector<TraceLine> t = traceOf("");
    double supply = -1, signals = -1, lit = -1, timing = -1;
    for (const TraceLine &l : t) {
        if (l.what == "panel supply 1" && supply < 0) supply = l.ms;
        if (l.what == "panel signals active 1" && signals < 0) signals = l.ms;
        if (l.what.rfind("screen lit, backlight 255/255", 0) == 0 && lit < 0) lit = l.ms;
        if (l.what.rfind("LCD timing", 0) == 0 && timing < 0) timing = l.ms;
    }
    ASSERT_GE(supply, 0);
    EXPECT_GE(supply, timing) << "the controller is set up first";
    EXPECT_NEAR(signals - supply, panelConfig.powerOnDelayMs, 0.5 + panelConfig.powerOnDelayMs / 1000.0);
    EXPECT_GE(lit - signals, 200.0 + 16.0) << "the image load's 200 ms, then 16 ms before the backlight";
}

} // namespace
