// Soak of the whole line path at wire speed: a scripted host floods the display with mixed lines
// (commands with replies, comments, CRC frames good and bad, backspaces, CR LF endings, binary
// lines, over-long lines, abort lines, bursts far above the ring, pauses) on UART0 and on UART1 as
// main port, at 115200 and 9600 bit/s, honouring the display's XOFF. Every reply must arrive, in
// order; the only lines without their own reply are those the line path discards (lines emptied by
// an abort line).
//
// ZEFO_SOAK_LINES sets the lines per port and rate (default 2000; `make soak` runs 20000). Each run
// prints its figures: lines, XOFFs sent, lines per second of virtual time.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "board/host/sim.h"
#include "serial/serial.h"

namespace {

const std::string version = "ZEFO5 V1.5.0 WVGA \r>\r";

uint16_t crc16(const std::string &s) {
    uint16_t crc = 0xFFFF;
    for (unsigned char c : s) {
        crc ^= c;
        for (int i = 0; i < 8; i++) crc = (crc & 1) ? (uint16_t)((crc >> 1) ^ 0xA001) : (uint16_t)(crc >> 1);
    }
    return crc;
}

std::string framed(const std::string &line) {
    char head[8];
    snprintf(head, sizeof head, "~%04X", crc16(line));
    return head + line;
}

struct Line {
    std::string bytes, reply;
    bool endsInLf = false;
};

// The scripted host's lines. The rate the main port runs at is part of the "baud" reply.
class Script {
  public:
    Script(uint32_t seed, uint32_t rate) : rng(seed), rate(rate) {}

    // One line of any kind but the ones that end a round. A binary line only follows a CR (a line
    // feed would make its lead byte plain text).
    Line next(bool afterLf) {
        int kind = pick(afterLf ? 12 : 14);
        switch (kind) {
        case 0:
            return {"vers\r", version};
        case 1:
            return {"// comment " + std::to_string(counter++) + "\r", ">\r"};
        case 2:
            return {framed("vers\r"), version};
        case 3: {
            std::string good = framed("// framed " + std::to_string(counter++) + "\r");
            if (pick(2)) return {good, ">\r"};
            good[1 + pick(4)] ^= 0x01; // one digit off: a different CRC
            return {good, "#\r"};
        }
        case 4:
            return {"verx\bs\r", version};
        case 5:
            return {"xyz\b\b\b\bvers\r", version}; // one backspace more than there is
        case 6:
            return {"vers\r\n", version, true};
        case 7:
            return {"baud\r", std::to_string(rate) + "\r>\r"};
        case 8:
            return {"hello " + std::string(pick(100), 'h') + "\r", "!\r"};
        case 9: {
            // The longest lines: 129 characters keep their CR, 130 arrive without it.
            std::string pad(125 + pick(2), ' ');
            return {"vers" + pad + "\r", version};
        }
        case 10:
            return {"\r", ">\r"};
        case 11: {
            // A busy display: the wait lets up to a ring and a half of bytes pile up meanwhile.
            uint32_t ms = 1 + (uint32_t)pick((int)(768 * 10 * 1000 / rate));
            return {"w " + std::to_string(ms) + "\r", ">\r"};
        }
        case 12:
            return {"\x82M\x01", ":macro index 1 not valid\r!\r"};
        default:
            return {std::string("\x81") + (char)('a' + pick(26)), "!\r"};
        }
    }

    // A line longer than 130 characters: "!" and the ring emptied.
    Line overLong() { return {"vers" + std::string(127 + pick(150), ' ') + "\r", "!\r"}; }

    int pick(int n) { return (int)(rng() % (uint32_t)n); }

  private:
    std::mt19937 rng;
    uint32_t rate;
    int counter = 0;
};

struct Figures {
    long lines = 0, answered = 0, discarded = 0, xoffs = 0, xons = 0;
    double virtualSeconds = 0;
};

// The replies of one round are `expected`, in order, unless the round ended with an abort line:
// then a prefix of them (the lines the abort emptied from the ring have none) and its prompt.
bool matches(const std::string &out, const std::vector<std::string> &expected, bool aborted, long &answered) {
    std::string all;
    if (!aborted) {
        for (const auto &r : expected) all += r;
        answered = (long)expected.size();
        return out == all;
    }
    for (size_t k = 0; k <= expected.size(); k++) {
        if (out == all + ">\r") {
            answered = (long)k;
            return true;
        }
        if (k < expected.size()) all += expected[k];
    }
    return false;
}

class Soak : public ::testing::TestWithParam<std::tuple<int, uint32_t>> {
  protected:
    void TearDown() override { sim_stop(); }
};

long soakLines() {
    const char *env = getenv("ZEFO_SOAK_LINES");
    long n = env ? atol(env) : 0;
    return n > 0 ? n : 2000;
}

TEST_P(Soak, EveryReplyInOrder) {
    const int port = std::get<0>(GetParam());
    const uint32_t rate = std::get<1>(GetParam());
    ASSERT_TRUE(sim_start(SimOptions{}));
    ASSERT_TRUE(sim_run_until_idle());
    std::string start = sim_take_output(0);
    ASSERT_TRUE(start.ends_with(">\r")) << start;
    if (port == 1) {
        sim_send(0, "*com1mains\r");
        ASSERT_TRUE(sim_run_until_idle());
        ASSERT_EQ(sim_main_port(), 1);
        ASSERT_EQ(sim_take_output(1), ">\r");
    }
    if (rate != 115200) {
        sim_send(port, "baud " + std::to_string(rate) + "\r");
        ASSERT_TRUE(sim_run_until_idle());
        ASSERT_EQ(sim_take_output(port), ">\r");
    }
    ASSERT_EQ(sim_board().uartRate[port], rate);

    Script script(1000u * (uint32_t)port + rate, rate);
    Figures f;
    const long total = soakLines();
    const uint64_t t0 = sim_now();
    int round = 0;
    bool afterLf = false; // the last line sent ended in CR LF
    while (f.lines < total) {
        round++;
        // Rounds from one line to bursts of several kilobytes.
        int size = script.pick(4) == 0 ? 1 + script.pick(5) : 20 + script.pick(120);
        std::string bytes;
        std::vector<std::string> expected;
        // Some rounds only ask for long replies: the display is transmitting whenever a byte arrives.
        const bool replyHeavy = script.pick(6) == 0;
        for (int i = 0; i < size && f.lines < total; i++) {
            Line l = replyHeavy ? Line{"vers\r", version} : script.next(afterLf);
            afterLf = l.endsInLf;
            bytes += l.bytes;
            expected.push_back(l.reply);
            f.lines++;
        }
        // A round may end with a line the line path answers and discards around.
        bool aborted = false;
        int end = script.pick(8);
        if (end <= 1) afterLf = false;
        if (end == 0) {
            Line l = script.overLong();
            bytes += l.bytes;
            expected.push_back(l.reply);
            f.lines++;
        } else if (end == 1) {
            bytes += "*abt\r";
            aborted = true;
            f.lines++;
        }
        sim_send(port, bytes);
        ASSERT_TRUE(sim_run_until_idle(600000)) << "round " << round << " never ended";
        std::string out = sim_take_output(port);
        long xoffs = std::count(out.begin(), out.end(), '\x13');
        long xons = std::count(out.begin(), out.end(), '\x11');
        f.xoffs += xoffs;
        f.xons += xons;
        ASSERT_EQ(xoffs, xons) << "round " << round << ": the host was left stopped";
        out.erase(std::remove_if(out.begin(), out.end(), [](char c) { return c == '\x11' || c == '\x13'; }),
                  out.end());
        long answered = 0;
        if (!matches(out, expected, aborted, answered)) {
            std::string all;
            for (const auto &r : expected) all += r;
            size_t same = 0;
            while (same < out.size() && same < all.size() && out[same] == all[same]) same++;
            size_t from = same > 60 ? same - 60 : 0;
            FAIL() << "round " << round << " (" << bytes.size() << " bytes" << (aborted ? ", abort line" : "")
                   << "): replies differ at byte " << same << "\n got      "
                   << testing::PrintToString(out.substr(from, 120)) << "\n expected "
                   << testing::PrintToString(all.substr(from, 120)) << "\n held " << rxCount << " lines "
                   << rxGotLine << " stopped " << (int)rxStopped << " binary " << (int)binaryMode << " xoff "
                   << (int)xoff << "\n sent end "
                   << testing::PrintToString(bytes.substr(bytes.size() > 300 ? bytes.size() - 300 : 0));
        }
        f.answered += answered + (aborted ? 1 : 0);
        f.discarded += (long)expected.size() - answered;
        // Pauses between rounds: none, short, or long enough for the line path to go quiet.
        int pause = script.pick(4);
        if (pause) sim_run_for((uint64_t)script.pick(pause == 3 ? 200 : 20));
    }
    EXPECT_EQ(sim_board().rxOverruns[port], 0u);
    EXPECT_EQ(sim_board().txOverruns[port], 0u);
    f.virtualSeconds = (double)(sim_now() - t0) / ((double)SIM_COUNTS_PER_MS * 1000.0);
    printf("soak UART%d %6u bit/s: %ld lines (%ld answered, %ld emptied by an abort), %ld XOFF / %ld XON, "
           "%.1f s virtual, %.1f lines/s\n",
           port, rate, f.lines, f.answered, f.discarded, f.xoffs, f.xons, f.virtualSeconds,
           f.lines / f.virtualSeconds);
    EXPECT_GT(f.xoffs, 0) << "the bursts never filled the ring";
}

INSTANTIATE_TEST_SUITE_P(PortsAndRates, Soak,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(115200u, 9600u)),
                         [](const auto &info) {
                             return "Uart" + std::to_string(std::get<0>(info.param)) + "At" +
                                    std::to_string(std::get<1>(info.param));
                         });

} // namespace
