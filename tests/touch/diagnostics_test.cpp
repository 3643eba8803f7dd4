// The touch diagnostics on the simulated board: what they print while the pen is held, how long
// they run, and that the sampler works again afterwards. A pen at (130, 140) reads X 342, Y 748 on
// the default panel; the published pair is (Y, X) while touchSwap is 0.
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/touch/touch_fixture.h"

namespace {

std::vector<std::string> lines(const std::string &out) {
    std::vector<std::string> v;
    size_t at = 0;
    for (size_t cr; (cr = out.find('\r', at)) != std::string::npos; at = cr + 1)
        v.push_back(out.substr(at, cr - at));
    if (at < out.size()) v.push_back(out.substr(at));
    return v;
}

// The time (ms after `from`) at which the display sent the byte that ended its output so far.
double lastByteAt(uint64_t from) {
    const std::vector<SimTxByte> &log = sim_tx_log(0);
    return log.empty() ? -1.0 : (double)(log.back().time - from) / (double)(uint64_t)SIM_COUNTS_PER_MS;
}

TEST_F(Touch, Td2ShowsSixSecondsOfThePublishedPair) {
    start();
    sim_touch(130, 140);
    sim_run_for(50);
    uint64_t t0 = sim_now();
    sim_send(0, "*td2\r");
    sim_run_for(3000);
    sim_release();
    ASSERT_TRUE(sim_run_until_idle());
    std::vector<std::string> l = lines(sim_output(0));
    ASSERT_EQ(l.size(), 61u);
    EXPECT_EQ(l[0], "1 2EC:156");
    EXPECT_EQ(l[29], "1 2EC:156");
    EXPECT_EQ(l[32], "0 FFFFFFFF:FFFFFFFF") << "lifted, after the hold-off";
    EXPECT_EQ(l[59], "0 FFFFFFFF:FFFFFFFF");
    EXPECT_EQ(l[60], "!") << "it ends with the failure reply";
    EXPECT_NEAR(lastByteAt(t0), 5900.0, 5.0);
    sim_take_output(0);
}

TEST_F(Touch, TdFollowsTheTouchAndEndsFiveSecondsAfterIt) {
    start();
    sim_send(0, "*td\r");
    sim_run_for(500);
    sim_touch(130, 140);
    sim_run_for(1000);
    sim_release();
    uint64_t lifted = sim_now();
    ASSERT_TRUE(sim_run_until_idle(20000));
    double end = lastByteAt(lifted);
    std::vector<std::string> l = lines(sim_take_output(0));
    ASSERT_GE(l.size(), 10u);
    EXPECT_EQ(l.front(), "TouchSwap = 0");
    EXPECT_EQ(l.back(), ">");
    const std::regex row("X=748:Y=342:P=[ 0-9]{3,}:S=[035]:t[01]");
    for (size_t i = 1; i + 1 < l.size(); i++) EXPECT_TRUE(std::regex_match(l[i], row)) << l[i];
    EXPECT_GE(l.size() - 2, 9u);
    EXPECT_LE(l.size() - 2, 12u);
    EXPECT_GT(end, 5000.0);
    EXPECT_LT(end, 5300.0);
    EXPECT_EQ(say("*td2x"), "!\r") << "exact keywords";
}

TEST_F(Touch, TrPrintsSteadyReadingsAndGivesTheSamplerBack) {
    start();
    sim_send(0, "*tr\r");
    sim_run_for(100);
    sim_touch(130, 140);
    sim_run_for(20);
    sim_release();
    uint64_t lifted = sim_now();
    ASSERT_TRUE(sim_run_until_idle(20000));
    double end = lastByteAt(lifted);
    std::vector<std::string> l = lines(sim_take_output(0));
    ASSERT_GE(l.size(), 10u);
    EXPECT_LE(l.size(), 22u);
    const std::regex row("342,748,[ 0-9]{5}");
    for (size_t i = 0; i + 1 < l.size(); i++) EXPECT_TRUE(std::regex_match(l[i], row)) << l[i];
    EXPECT_EQ(l.back(), ">");
    EXPECT_NEAR(end, 5000.0, 5.0);
    EXPECT_EQ(say("xs 130 0 0 799 479"), ">\r");
    EXPECT_EQ(tap(130, 140), "x130\r") << "the sampler runs again";
}

TEST_F(Touch, TttTracesOnePress) {
    start();
    EXPECT_EQ(say("tclr"), ">\r");
    sim_send(0, "*ttt\r");
    sim_run_for(500);
    EXPECT_EQ(sim_output(0), "") << "waiting for the pen";
    sim_touch(130, 140);
    sim_run_for(100);
    sim_release();
    sim_run_for(300); // the last published position outlives the pen by its hold-off
    std::vector<std::string> l = lines(sim_take_output(0));
    ASSERT_EQ(l.size(), 23u);
    EXPECT_EQ(l[0], "t   1   1 1");
    EXPECT_EQ(l[11], "t   2   2 2");
    const std::regex row("t 342 748 [0-9]+");
    for (int i : {1, 5, 10, 12, 21}) EXPECT_TRUE(std::regex_match(l[(size_t)i], row)) << l[(size_t)i];
    EXPECT_EQ(l[1].substr(10), l[12].substr(10)) << "the second ten use the last Z readings";
    EXPECT_EQ(l[22], ">");
    EXPECT_EQ(say("*tt"), ">\r") << "printing emptied the trace";
    EXPECT_EQ(say("xs 130 0 0 799 479"), ">\r");
    EXPECT_EQ(tap(130, 140), "x130\r");
    // A line beginning with ESC ends the wait for a pen that never comes.
    sim_send(0, "*ttt\r");
    sim_run_for(200);
    EXPECT_EQ(say("\x1b"), "!\r!\r") << "the ESC line is then a line of its own";
    EXPECT_EQ(tap(130, 140), "x130\r");
}

// One target measured: the reply names the target and the averaged raw pair, which the default
// calibration maps back onto the target; no touch within tcTimeout seconds fails.
TEST_F(Touch, GcpMeasuresOneTarget) {
    start();
    EXPECT_EQ(say("*tcTimeout 2"), ">\r");
    sim_send(0, "*gcp 100 120\r");
    sim_run_for(300);
    sim_touch(100, 120);
    sim_run_for(400);
    sim_release();
    ASSERT_TRUE(sim_run_until_idle(5000));
    std::smatch m;
    std::string out = sim_take_output(0);
    ASSERT_TRUE(std::regex_match(out, m, std::regex(":   LogX:100, LogY:120, PhyX:(\\d+), PhyY:(\\d+)\r>\r")))
        << out;
    EXPECT_NEAR(std::stoi(m[1]), 850 - 700 * 80 / 759, 2) << "the Y channel runs along the screen's x";
    EXPECT_NEAR(std::stoi(m[2]), 150 + 700 * 100 / 439, 2);
    uint64_t t0 = sim_now();
    sim_send(0, "*gcp 100 120\r");
    ASSERT_TRUE(sim_run_until_idle(5000));
    EXPECT_EQ(sim_take_output(0), "!\r");
    EXPECT_NEAR((double)(sim_now() - t0) / (double)(uint64_t)SIM_COUNTS_PER_MS, 2000.0, 20.0);
}

TEST_F(Touch, OtherDiagnosticsParseTheirArguments) {
    start();
    EXPECT_EQ(say("*gcp"), "!\r");
    EXPECT_EQ(say("*gcp 100"), "!\r");
    EXPECT_EQ(say("*debugTouch 1"), ">\r");
    EXPECT_EQ(say("*debugTouch"), "!\r");
}

} // namespace
