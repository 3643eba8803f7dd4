// Touch end to end: the firmware on the simulated board, the pen put down and lifted between runs
// of virtual time. Times are measured from the moment the pen goes down, never from power-on.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/touch/touch_fixture.h"

namespace {

TEST_F(Touch, AreaReportsPressAndReleaseInTextAndBytes) {
    start();
    EXPECT_EQ(say("xs 130 100 100 200 200"), ">\r");
    EXPECT_EQ(tap(150, 150), "x130\r") << "release reports are off by default";
    EXPECT_EQ(say("xset 130 r"), ">\r");
    EXPECT_EQ(tap(150, 150), "x130\rr130\r");
    EXPECT_EQ(tap(300, 300), "") << "outside every hotspot";
    EXPECT_EQ(say("xxy 130 100 100 200 200"), ">\r");
    EXPECT_EQ(tap(105, 107), "x130 5 7\r");
    EXPECT_EQ(say("xset 130 r"), ">\r");
    EXPECT_EQ(say("*binr 1"), "on\r>\r");
    EXPECT_EQ(tap(105, 107), std::string("Y\x82\x05\x00\x07\x00R\x82", 8));
    EXPECT_EQ(say("xs 130 100 100 200 200"), ">\r");
    EXPECT_EQ(say("xset 130 +r"), ">\r");
    EXPECT_EQ(tap(150, 150), "X\x82R\x82");
}

TEST_F(Touch, OriginMovesAreasAndOverlapsGoToTheLowerNumber) {
    start();
    EXPECT_EQ(say("o 50 60"), ">\r");
    EXPECT_EQ(say("xs 200 0 0 99 99"), ">\r");
    EXPECT_EQ(say("xs 140 0 0 9 9"), ">\r");
    EXPECT_EQ(tap(55, 65), "x140\r");
    EXPECT_EQ(tap(149, 159), "x200\r") << "edges are inside";
    EXPECT_EQ(tap(150, 160), "");
    EXPECT_EQ(say("xc 140"), ">\r");
    EXPECT_EQ(tap(55, 65), "x200\r");
    EXPECT_EQ(say("xd 200"), ">\r");
    EXPECT_EQ(tap(55, 65), "");
    EXPECT_EQ(say("xe all"), ">\r");
    EXPECT_EQ(tap(55, 65), "x200\r");
    EXPECT_EQ(say("xc 12"), ":touch index must be 128 to 255\r!\r");
    EXPECT_EQ(say("xs 12 0 0 9 9"), "!\r");
    EXPECT_EQ(say("touch off"), ">\r");
    EXPECT_EQ(tap(55, 65), "");
    EXPECT_EQ(say("touch"), "touch off\r>\r");
    EXPECT_EQ(say("touch on"), ">\r");
    EXPECT_EQ(tap(55, 65), "x200\r");
}

// The first report follows the pen by the burst of tsamp samples; a steady touch publishes once
// per tsamp + debounce + 2 ms.
TEST_F(Touch, SamplerPublishesAfterOneBurst) {
    start();
    EXPECT_EQ(say("xs 130 0 0 799 479"), ">\r");
    uint64_t t0 = sim_now();
    hold(400, 240, 50);
    std::vector<double> t = noticeTimes('x', t0);
    EXPECT_EQ(sim_take_output(0), "x130\r");
    ASSERT_EQ(t.size(), 1u);
    EXPECT_GE(t[0], 8.0);
    EXPECT_LT(t[0], 11.0);
    EXPECT_EQ(say("*tsamp 20"), ">\r");
    EXPECT_EQ(say("*tsamp"), "20\r>\r");
    t0 = sim_now();
    hold(400, 240, 50);
    t = noticeTimes('x', t0);
    sim_take_output(0);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_GE(t[0], 20.0);
    EXPECT_LT(t[0], 23.0);
    EXPECT_EQ(tap(400, 240, 15), "") << "lifted before the burst was full";
}

// A typematic key held for 2 s: the delay (750 ms), then one release and press every 200 ms.
TEST_F(Touch, TypematicRepeatsAtTheConfiguredRate) {
    start();
    EXPECT_EQ(say("typematic"), "Delay 750ms, Repeat 200ms\r>\r");
    EXPECT_EQ(say("xst 130 0 0 99 99"), ">\r");
    EXPECT_EQ(say("xset 130 r"), ">\r");
    uint64_t t0 = sim_now();
    hold(50, 50, 2000);
    std::vector<double> press = noticeTimes('x', t0);
    std::vector<double> release = noticeTimes('r', t0);
    std::string out = sim_take_output(0);
    ASSERT_EQ(press.size(), 8u) << out;
    ASSERT_EQ(release.size(), 8u) << out;
    EXPECT_NEAR(press[1] - press[0], 750.0, 1.0);
    for (size_t i = 2; i < press.size(); i++) EXPECT_NEAR(press[i] - press[i - 1], 200.0, 1.0);
    for (size_t i = 0; i + 1 < press.size(); i++) EXPECT_LT(release[i], press[i + 1]);
    EXPECT_EQ(say("typematics 10 5"), "Delay 100ms, Repeat 50ms\r>\r");
    t0 = sim_now();
    hold(50, 50, 300);
    // The last published position stays through its hold-off after the lift: one more repeat.
    EXPECT_EQ(noticeTimes('x', t0).size(), 6u);
    sim_take_output(0);
    EXPECT_EQ(say("typematic 256 5"), "!\r");
}

TEST_F(Touch, PreExistingTouchCountsOnlyWithApt) {
    start();
    sim_touch(50, 50);
    sim_run_for(50);
    EXPECT_EQ(say("xs 130 0 0 99 99"), ">\r");
    sim_run_for(300);
    sim_release();
    sim_run_for(300);
    EXPECT_EQ(sim_take_output(0), "") << "the resting finger is neither pressed nor released";
    EXPECT_EQ(say("xset 130 r"), ">\r");
    EXPECT_EQ(say("*apt"), ">\r");
    EXPECT_EQ(say("xc 130"), ">\r");
    sim_touch(50, 50);
    sim_run_for(50);
    EXPECT_EQ(say("xs 131 0 0 99 99"), ">\rx131\r") << "a new press at the next pass";
    EXPECT_EQ(say("xset 131 r"), ">\r");
    sim_run_for(50);
    sim_release();
    sim_run_for(300);
    EXPECT_EQ(sim_take_output(0), "r131\r");
}

TEST_F(Touch, SimulatedTouches) {
    start();
    EXPECT_EQ(say("xs 130 0 0 99 99"), ">\r");
    EXPECT_EQ(say("xset 130 r"), ">\r");
    EXPECT_EQ(say("*tsmm 10 10"), "x130\r>\rr130\r") << "the tap's release comes at the next pass";
    EXPECT_EQ(say("*tsmr"), "!\r") << "nothing is held";
    EXPECT_EQ(say("*tsmp 10 10"), ">\rx130\r");
    EXPECT_EQ(say("*tsmm 10 10"), "!\r") << "a touch is held";
    EXPECT_EQ(say("*tsmt"), "r130\r>\rx130\r");
    EXPECT_EQ(say("*tsmr"), ">\rr130\r");
    EXPECT_EQ(say("*tsmq"), "!\r");
}

// A control's macro runs at the next pass, after the reply of the line being handled, entered at
// its label (after the lines before the first label) with its argument text.
TEST_F(Touch, ControlMacroRunsWithArgumentsAndLabel) {
    startWithCard();
    EXPECT_EQ(say("xs 130 100 100 200 200"), ">\r");
    EXPECT_EQ(say("xa 130 p touched:x130 one two"), ">\r");
    EXPECT_EQ(tap(110, 120), "x130\r{start one}{press one two at 9,20 109,120}");
    EXPECT_EQ(say("xa 130 r touched:x130"), ":xm label should be :r130\r!\r");
    EXPECT_EQ(say("xa 130 r touched:r130 bye"), ">\r");
    EXPECT_EQ(say("xset 130 r"), ">\r");
    EXPECT_EQ(tap(110, 120),
              "x130\r{start one}{press one two at 9,20 109,120}r130\r{start bye}{release bye}");
    EXPECT_EQ(say("xaq 130 p touched plain"), ">\r");
    EXPECT_EQ(tap(110, 120), "{start plain}{press plain  at 9,20 109,120}{start bye}{release bye}")
        << "quiet: the macros run without reports; the press label stays";
    // A tap queued while a line is handled: its macro follows that line's reply.
    EXPECT_EQ(say("xa 130 p touched:x130 one two"), ">\r");
    sim_touch(110, 120);
    sim_send(0, "w 100\r");
    sim_run_for(400);
    sim_release();
    sim_run_for(300);
    EXPECT_EQ(sim_take_output(0),
              "x130\r>\r{start one}{press one two at 9,20 109,120}r130\r{start bye}{release bye}");
}

TEST_F(Touch, ArgumentStoreRefusesThe101stText) {
    startWithCard();
    for (int n = 128; n < 228; n++) {
        EXPECT_EQ(say("xs " + std::to_string(n) + " 0 0 9 9"), ">\r");
        ASSERT_EQ(say("xa " + std::to_string(n) + " p args t" + std::to_string(n)), ">\r");
    }
    EXPECT_EQ(say("xa"), std::to_string(8000 - 100 * 5) + "\r>\r");
    EXPECT_EQ(say("xs 228 0 0 9 9"), ">\r");
    EXPECT_EQ(say("xa 228 p args t228"), ":out of macro arg storage slots; all 100 in use\r!\r");
    EXPECT_EQ(say("xa 128 p args u128"), ">\r") << "a text that fits reuses its slot";
    EXPECT_EQ(say("xa 128 p args longer128"), ">\r");
    EXPECT_EQ(say("xa"), std::to_string(8000 - 100 * 5 - 10) + "\r>\r");
    EXPECT_EQ(tap(5, 5), "x128\r[longer128][][]");
    EXPECT_EQ(say("xc all"), ">\r");
    EXPECT_EQ(say("xa"), "8000\r>\r");
}

TEST_F(Touch, SettingsAreReportedAndSaved) {
    start();
    EXPECT_EQ(say("*touchParm"), ":Samples = 8, Max span = 12\r>\r");
    EXPECT_EQ(say("*touchParm 21 4"), ":Values too high\r!\r");
    EXPECT_EQ(say("*touchParm 4 6"), ":Samples = 4, Max span = 6\r>\r");
    EXPECT_EQ(say("*tspan"), "6\r>\r");
    EXPECT_EQ(say("*debounce 50"), "Debounce = 50ms\r>\r");
    EXPECT_EQ(say("*touchMode"), "S--- (0)\r>\r");
    EXPECT_EQ(say("*touchMode PW"), ">\r");
    EXPECT_EQ(say("*touchMode"), "--PW (6)\r>\r");
    EXPECT_EQ(say("*tplo 300"), ">\r");
    EXPECT_EQ(say("*tphi"), "700\r>\r");
    EXPECT_EQ(say("*autoCal"), "0\r>\r");
    EXPECT_EQ(say("*ever"), ">\r");
    tap(10, 10);
    EXPECT_EQ(say("*ever"), "touched\r>\r");
    EXPECT_EQ(say("*ever"), ">\r");
    EXPECT_EQ(say("*touchModes S"), ">\r");
    EXPECT_EQ(say("*touchMode"), "S--- (0)\r>\r");
    sim_power_cycle();
    ASSERT_TRUE(sim_run_until_idle());
    sim_take_output(0);
    EXPECT_EQ(say("*touchParm"), ":Samples = 4, Max span = 6\r>\r");
    EXPECT_EQ(say("*tplo"), "300\r>\r");
    EXPECT_EQ(say("*touchMode"), "--PW (6)\r>\r") << "the s form did not save";
}

// The filters against the simulated panel's noise and pressure.
TEST_F(Touch, FiltersRefuseNoiseAndPressureOutsideTheWindow) {
    SimOptions o;
    o.touchNoise = 6;
    o.touchSeed = 7;
    start(o);
    EXPECT_EQ(say("xs 130 0 0 799 479"), ">\r");
    EXPECT_EQ(tap(400, 240, 300), "x130\r") << "a spread of at most 12 counts passes tspan 12";
    sim_stop();
    o.touchNoise = 60;
    start(o);
    EXPECT_EQ(say("xs 130 0 0 799 479"), ">\r");
    EXPECT_EQ(tap(400, 240, 300), "") << "every burst spreads too far";
    EXPECT_EQ(say("*tsamp 1"), ">\r");
    EXPECT_EQ(tap(400, 240, 300), "x130\r") << "a burst of one sample has no spread";
    sim_stop();
    o = SimOptions();
    o.touchPressure = 800;
    start(o);
    EXPECT_EQ(say("xs 130 0 0 799 479"), ">\r");
    EXPECT_EQ(tap(400, 240), "x130\r") << "standard mode ignores pressure";
    EXPECT_EQ(say("*touchMode P"), ">\r");
    EXPECT_EQ(tap(400, 240), "");
    EXPECT_EQ(say("*tphi 850"), ">\r");
    EXPECT_EQ(tap(400, 240), "x130\r");
}

// A panel with its channels swapped reads transposed until touchSwap is set.
TEST_F(Touch, SwappedPanelNeedsTouchSwap) {
    SimOptions o;
    o.touchSwapped = true;
    start(o);
    EXPECT_EQ(say("xxy 130 0 0 799 479"), ">\r");
    EXPECT_EQ(say("*touchSwap 1"), ">\r");
    EXPECT_EQ(tap(300, 100), "x130 300 100\r");
    EXPECT_EQ(tap(779, 459), "x130 779 459\r");
    EXPECT_EQ(say("*touchSwap 0"), ">\r");
    EXPECT_NE(tap(300, 100), "x130 300 100\r");
}

} // namespace
