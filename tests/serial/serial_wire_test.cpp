// The serial link on the wire: the whole firmware on the simulated board, bytes in on a UART,
// exact bytes out with the time each one left.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "board/host/sim.h"

namespace {

uint64_t byteTime(uint32_t rate) {
    return (10ull * SIM_COUNTS_PER_MS * 1000 + rate - 1) / rate;
}

class Wire : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim_start(SimOptions{}));
        ASSERT_TRUE(sim_run_until_idle());
        // Start-up notices (no resource image, ...) are other rooms' business; the first prompt
        // ends them.
        std::string first = take(0);
        ASSERT_TRUE(first.ends_with(">\r")) << first;
    }
    void TearDown() override { sim_stop(); }

    std::vector<SimTxByte> taken[2]; // the bytes of the last take with their times

    std::string take(int port) {
        taken[port] = sim_tx_log(port);
        return sim_take_output(port);
    }
    // Sends bytes on a port and returns what that port answered once the display is idle again.
    std::string say(const std::string &bytes, int port = 0) {
        sim_send(port, bytes);
        EXPECT_TRUE(sim_run_until_idle());
        return take(port);
    }
    // The rate the last two bytes taken from a port went out at: back to back, one frame apart
    // (plus the few counts the board's calls take).
    bool lastPairAt(int port, uint32_t rate) {
        const auto &log = taken[port];
        if (log.size() < 2) return false;
        uint64_t gap = log[log.size() - 1].time - log[log.size() - 2].time, bt = byteTime(rate);
        return gap >= bt && gap <= bt + bt / 20;
    }
};

TEST_F(Wire, BaudCommands) {
    EXPECT_EQ(say("baud\r"), "115200\r>\r");
    EXPECT_EQ(say("baud1\r"), "115200\r>\r");
    EXPECT_EQ(say("baud 2400\r"), "!\r");

    // "baud": the prompt already at the new rate.
    EXPECT_EQ(say("baud 9600\r"), ">\r");
    EXPECT_EQ(sim_board().uartRate[0], 9600u);
    EXPECT_TRUE(lastPairAt(0, 9600));

    // "baudp": its own prompt at the old rate, nothing after it.
    EXPECT_EQ(say("baudp 19200\r"), ">\r");
    EXPECT_TRUE(lastPairAt(0, 9600));
    EXPECT_EQ(sim_board().uartRate[0], 19200u);
    EXPECT_EQ(say("baud0\r"), "19200\r>\r");
    EXPECT_TRUE(lastPairAt(0, 19200));

    // Rates on the aux port do not touch the main port.
    EXPECT_EQ(say("baudp1 4800\r"), ">\r");
    EXPECT_EQ(sim_board().uartRate[1], 4800u);
    EXPECT_EQ(sim_board().uartRate[0], 19200u);
}

TEST_F(Wire, BaudsKeepsTheRateOverAPowerCycle) {
    EXPECT_EQ(say("bauds 2400\r"), ":baud rate 2400 not supported, not saved\r!\r");
    EXPECT_EQ(say("bauds 57600\r"), ">\r");
    EXPECT_TRUE(lastPairAt(0, 115200));
    EXPECT_EQ(sim_board().uartRate[0], 57600u);
    EXPECT_EQ(say("bauds1 9600\r"), ">\r");
    EXPECT_TRUE(lastPairAt(0, 57600));
    sim_power_cycle();
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_board().uartRate[0], 57600u);
    EXPECT_EQ(sim_board().uartRate[1], 9600u);
    EXPECT_TRUE(take(0).ends_with(">\r"));
    EXPECT_TRUE(lastPairAt(0, 57600)) << "the first prompt at the stored rate";
}

TEST_F(Wire, OutSendsANul) {
    EXPECT_EQ(say("out \"a\\0b\\x7f\"\r"), std::string("a\0b\x7f>\r", 6));
    EXPECT_EQ(say("out\"a\"\r"), ":missing single space and/or double quote\r!\r");
    EXPECT_EQ(say("outs \"x`y`\\r\"\r"), "x`y`\\r");
}

TEST_F(Wire, AbortLineWhileBusy) {
    // Lines queue while "w" waits; the abort line at their end drops them all.
    sim_send(0, "w 100\r");
    sim_run_for(5);
    EXPECT_EQ(say("nope1\rnope2\r*abt\r"), ">\r>\r");
    sim_send(0, "w 100\r");
    sim_run_for(5);
    EXPECT_EQ(say("nope1\rnope2\r"), ">\r!\r!\r");
}

TEST_F(Wire, HostXoffHoldsTheReplyFor100ms) {
    // The host's XOFF before a line: the reply waits 100 ms, then goes anyway.
    uint64_t t0 = sim_now();
    sim_send(0, "\x13"
                "baud\r");
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(take(0), "115200\r>\r");
    uint64_t first = taken[0].front().time;
    EXPECT_GE(first - t0, 100 * SIM_COUNTS_PER_MS);
    EXPECT_LE(first - t0, 102 * SIM_COUNTS_PER_MS);

    // An XON 32 ms later ends the wait at the next 5 ms step.
    t0 = sim_now();
    sim_send(0, "\x13"
                "baud\r");
    sim_run_for(32);
    sim_send(0, "\x11");
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(take(0), "115200\r>\r");
    first = taken[0].front().time;
    EXPECT_GE(first - t0, 32 * SIM_COUNTS_PER_MS);
    EXPECT_LE(first - t0, 39 * SIM_COUNTS_PER_MS);
}

TEST_F(Wire, FlowControlWhileBusy) {
    // 45 comment lines of ten bytes arrive during a 200 ms wait: the display sends XOFF once the
    // ring holds more than 384 bytes, the host stops, and XON follows when the ring has drained
    // to 128 bytes or fewer.
    std::string lines;
    for (int i = 0; i < 45; i++) lines += "// 345678\r";
    sim_send(0, "w 200\r" + lines);
    ASSERT_TRUE(sim_run_until_idle(5000));
    std::string out = sim_take_output(0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\x13'), 1);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\x11'), 1);
    EXPECT_LT(out.find('\x13'), out.find(">\r")) << "XOFF during the wait";
    out.erase(std::remove(out.begin(), out.end(), '\x13'), out.end());
    out.erase(std::remove(out.begin(), out.end(), '\x11'), out.end());
    std::string prompts;
    for (int i = 0; i < 46; i++) prompts += ">\r";
    EXPECT_EQ(out, prompts);
    EXPECT_EQ(sim_board().rxOverruns[0], 0u);
}

// Garbage at power-on, the host honouring XOFF: whatever the bytes, the display keeps taking
// lines, and a plain "vers" after enough CRs to end any line is answered.
TEST(WireGarbage, AnyBytesAtPowerOnNeverStopTheDisplay) {
    const size_t sizes[] = {3000, 3000, 3000, 3000, 800, 6000, 20000};
    uint32_t seed = 1;
    for (size_t n : sizes) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(n) + " bytes");
        std::string garbage(n, 0);
        uint32_t x = seed++ * 2654435761u;
        for (auto &c : garbage) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            c = (char)(x >> 24);
        }
        ASSERT_TRUE(sim_start(SimOptions{}));
        sim_send(0, garbage + std::string(140, '\r') + "vers\r");
        EXPECT_TRUE(sim_run_until_idle(600000)) << "the display or its host never went idle";
        std::string out = sim_take_output(0);
        EXPECT_TRUE(out.ends_with("ZEFO5 V1.5.0 WVGA \r>\r"))
            << testing::PrintToString(out.substr(out.size() - 40));
        EXPECT_EQ(std::count(out.begin(), out.end(), '\x13'), std::count(out.begin(), out.end(), '\x11'))
            << "the host was left stopped";
        sim_stop();
    }
}

TEST_F(Wire, AuxEscapesMoveTheConsole) {
    EXPECT_EQ(say("\r\rx", 1), "");
    EXPECT_EQ(sim_main_port(), 0);
    EXPECT_EQ(say("\r\r\r", 1), "");
    EXPECT_EQ(sim_main_port(), 1);
    EXPECT_EQ(say("baud\r", 1), "115200\r>\r");
    EXPECT_EQ(say("baud\r", 0), "") << "UART0 is the aux port now";
    // Everything the aux role received, on either UART, is in the aux ring.
    EXPECT_EQ(say("ain\r", 1), ":\r\rx\r\r\rbaud\r>\r");
    EXPECT_EQ(say("*prevCons\r", 1), "");
    EXPECT_EQ(sim_main_port(), 0);
    EXPECT_EQ(say("baud\r"), "115200\r>\r");
}

} // namespace
