// The binary chart stream: 10,000 columns at 115200 bit/s, every byte value as data, flow control
// against the host; a column without a value; a stream that stops, whose rest is never a command.
#include <string>
#include <vector>

#include "displays_fixture.h"

namespace {

class Bcv : public Display {
  protected:
    static std::string samples(const std::vector<uint16_t> &v) {
        std::string s;
        for (uint16_t x : v) {
            s += (char)(x & 0xFF);
            s += (char)(x >> 8);
        }
        return s;
    }
    static std::string withoutFlowControl(const std::string &s) {
        std::string out;
        for (char c : s)
            if (c != '\x11' && c != '\x13') out += c;
        return out;
    }
    // What the display sends until its '>' CR, by the millisecond (at most a second).
    static std::string waitForStart() {
        std::string out;
        for (int ms = 0; ms < 1000 && out.find(">\r") == std::string::npos; ms++) {
            sim_run_for(1);
            out += sim_take_output(0);
        }
        return out;
    }
    // "bcv", then the samples once the display has answered '>' CR; everything it sent.
    std::string stream(int chart, const std::vector<uint16_t> &v, int pens = 1) {
        sim_send(0, "bcv " + std::to_string(chart) + " " + std::to_string(v.size() / pens) + "\r");
        std::string out = waitForStart();
        sim_send(0, samples(v));
        EXPECT_TRUE(sim_run_until_idle(60000));
        return out + sim_take_output(0);
    }
};

TEST_F(Bcv, TenThousandSamplesArriveWithoutLoss) {
    start();
    EXPECT_EQ(say("cd 0 0 0 799 99 0 2 0 1000 FFF 1 F00"), ">\r");
    EXPECT_EQ(say("cd 1 0 200 799 299 0 2 0 1000 FFF 1 F00"), ">\r");
    std::vector<uint16_t> v;
    uint32_t seed = 99;
    bool flowBytes = false;
    for (int k = 0; k < 10000; k++) {
        seed = seed * 1103515245u + 12345u;
        v.push_back((uint16_t)((seed >> 8) % 1001));
        for (int b : {v.back() & 0xFF, v.back() >> 8}) flowBytes |= b == 0x0D || b == 0x11 || b == 0x13;
    }
    EXPECT_TRUE(flowBytes) << "CR, XON and XOFF are data here";
    uint64_t t0 = sim_now();
    std::string out = stream(0, v);
    double seconds = (double)(sim_now() - t0) / (double)SIM_COUNTS_PER_MS / 1000.0;
    EXPECT_EQ(withoutFlowControl(out), ">\r>\r");
    EXPECT_GE(seconds, 20000 * 10 / 115200.0);
    // The chart shows the last 399 columns: the same as a fresh chart given only those.
    EXPECT_EQ(withoutFlowControl(stream(1, std::vector<uint16_t>(v.end() - 399, v.end()))), ">\r>\r");
    EXPECT_TRUE(same(3, 0, 3, 200, 797, 100));
    EXPECT_EQ(say("vers"), "ZEFO5 V1.5.0 WVGA \r>\r") << "commands again after the stream";
}

TEST_F(Bcv, NoValueBreaksThePensLineAsADashDoes) {
    start();
    EXPECT_EQ(say("cd 0 0 0 99 50 1 10 0 50 FFF 1 F00 1 00F"), ">\r");
    EXPECT_EQ(say("cd 1 200 0 299 50 1 10 0 50 FFF 1 F00 1 00F"), ">\r");
    EXPECT_EQ(stream(0, {10, 20, 30, 0xFFFF, 40, 45, 50, 5}, 2), ">\r>\r");
    for (const char *line : {"cv 1 10 20", "cv 1 30 -", "cv 1 40 45", "cv 1 50 5"})
        EXPECT_EQ(say(line), ">\r");
    EXPECT_TRUE(same(0, 0, 200, 0, 100, 51));
}

TEST_F(Bcv, RefusedWithoutPensAndBrokenStreamsAreDropped) {
    start();
    EXPECT_EQ(say("bcv 0 10"), "!\r") << "an undefined chart: no '>' CR";
    EXPECT_EQ(say("cd 0 0 0 99 50 1 10 0 50 FFF"), ">\r");
    EXPECT_EQ(say("bcv 0 10"), "!\r") << "a chart without pens";
    EXPECT_EQ(say("cd 0 0 0 99 50 1 10 0 50 FFF 1 F00"), ">\r");
    EXPECT_EQ(say("bcv 0 0"), ">\r>\r");
    EXPECT_EQ(say("bcv 0"), "!\r");
    // One column and one byte, then nothing for the 5 s timeout: the transfer fails; what arrives
    // while it winds down is dropped.
    sim_send(0, "bcv 0 10\r");
    EXPECT_EQ(waitForStart(), ">\r");
    sim_send(0, std::string("\x05\x00\x07", 3));
    sim_run_for(4990);
    EXPECT_EQ(sim_take_output(0), "") << "still waiting";
    sim_run_for(30);
    sim_send(0, std::string("\x00\x06\x00vers\r", 8));
    EXPECT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0), "!\r") << "the rest of the stream is no command";
    EXPECT_EQ(say("vers"), "ZEFO5 V1.5.0 WVGA \r>\r");
}

} // namespace
