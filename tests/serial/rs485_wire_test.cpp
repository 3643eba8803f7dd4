// RS485 addressed mode and the communication watchdog on the wire: the whole firmware on the
// simulated board with the link test card, exact bytes in and out with the times they left.
#include <gtest/gtest.h>

#include <string>

#include "board/host/sim.h"

namespace {

constexpr uint64_t MS = SIM_COUNTS_PER_MS;

uint64_t byteTime(uint32_t rate) {
    return (10ull * SIM_COUNTS_PER_MS * 1000 + rate - 1) / rate;
}

class Link : public ::testing::Test {
  protected:
    void SetUp() override {
        SimOptions o;
        o.sd = CARDS_DIR "/link.img";
        ASSERT_TRUE(sim_start(o));
        ASSERT_TRUE(sim_run_until_idle());
        std::string first = take(0);
        ASSERT_TRUE(first.ends_with(">\r")) << first;
    }
    void TearDown() override { sim_stop(); }

    std::vector<SimTxByte> taken[2];

    std::string take(int port) {
        taken[port] = sim_tx_log(port);
        return sim_take_output(port);
    }
    std::string say(const std::string &bytes, int port) {
        sim_send(port, bytes);
        EXPECT_TRUE(sim_run_until_idle());
        return take(port);
    }
    // The display on address 1A with start-of-frame '#', asked on UART0; it answers there.
    void rs485On() {
        ASSERT_EQ(say("*rs485 #1A\r", 0), "RS485 Mode SOF 0x23 (#) ADR 1A\r");
        ASSERT_EQ(sim_main_port(), 1);
        take(1);
    }
};

TEST_F(Link, Rs485CommandForms) {
    EXPECT_EQ(say("*rs485 #1a\r", 0), "!\r") << "lowercase digits";
    EXPECT_EQ(say("*rs485 #G1\r", 0), "!\r");
    EXPECT_EQ(say("*rs485 #FF\r", 0), "!\r") << "FF is the reply prefix, never an address";
    EXPECT_EQ(say("*rs485\r", 0), "!\r");
    EXPECT_EQ(sim_main_port(), 0) << "a refused form leaves the mode as it was";
    EXPECT_EQ(say("Q\r", 0), "!\r") << "no poll outside RS485 mode";
    rs485On();
    // A new address is answered in the old one's form, with no prompt after it.
    EXPECT_EQ(say("#1A*rs485 $2B\r", 1), "#FFRS485 Mode SOF 0x24 ($) ADR 2B\r");
    EXPECT_EQ(say("#1Avers\r", 1), "");
    EXPECT_EQ(say("$2Bvers\r", 1), "$FFZEFO5 V1.5.0 WVGA \r");
    // Off: the answer still in RS485 form, then the prompt of the plain mode; UART1 stays main.
    EXPECT_EQ(say("$2B*rs485 off\r", 1), "$FFRS485 OFF ADR 2B\r>\r");
    EXPECT_EQ(say("vers\r", 1), "ZEFO5 V1.5.0 WVGA \r>\r");
}

// Noise that looks like a binary command line, ending in a start-of-frame: dropped, and the display
// still listens.
TEST_F(Link, NoiseCountedAsABinaryLineLeavesNoLineBehind) {
    rs485On();
    EXPECT_EQ(say("\x81#", 1), "");
    EXPECT_EQ(say("#1Avers\r", 1), "#FFZEFO5 V1.5.0 WVGA \r") << "the display still listens";
}

TEST_F(Link, AddressedAndUnaddressedLines) {
    rs485On();
    // A reply is the prompt's stand-in: nothing follows it.
    EXPECT_EQ(say("#1Avers\r", 1), "#FFZEFO5 V1.5.0 WVGA \r");
    EXPECT_EQ(say("#1A\r", 1), "#FF>\r");
    EXPECT_EQ(say("#1Aqqq\r", 1), "#FF!\r") << "an error reply always goes out";
    // Other addresses, lowercase digits, frames without a start and half frames: silence.
    EXPECT_EQ(say("#1Bvers\r", 1), "");
    EXPECT_EQ(say("#2Avers\r", 1), "");
    EXPECT_EQ(say("#1avers\r", 1), "");
    EXPECT_EQ(say("1Avers\r", 1), "");
    EXPECT_EQ(say("#1\r", 1), "");
    EXPECT_EQ(say("#\r", 1), "");
    // Noise before the start of a frame is dropped with the lines it ends.
    EXPECT_EQ(say("x\ry#1Avers\r", 1), "#FFZEFO5 V1.5.0 WVGA \r");
    // A frame for another display whose CR was lost ends at the next frame's start.
    EXPECT_EQ(say("#1Bvers#1Avers\r", 1), "#FFZEFO5 V1.5.0 WVGA \r");
    // A burst for three displays, this one in the middle.
    EXPECT_EQ(say("#12vers\r#1Ao 0 0\r#13vers\r#1Avers\r", 1), "#FF>\r#FFZEFO5 V1.5.0 WVGA \r");
    // Every byte sent with the transmit enable asserted.
    for (const SimTxByte &b : taken[1]) EXPECT_TRUE(b.rs485Txen);
    EXPECT_EQ(sim_board().rs485Txen, 0) << "released after the last byte";
    EXPECT_EQ(take(0), "") << "UART0 is silent";
}

TEST_F(Link, DiscoveryAnswersAfterTheAddressDelay) {
    rs485On();
    uint64_t start = sim_now();
    EXPECT_EQ(say("#?1\r", 1), "#FFSOF23ADR1A\r");
    // The query's CR is in at start + 4 byte times; the answer's first byte leaves 10 ms later.
    uint64_t bt = byteTime(115200);
    uint64_t heard = start + 4 * bt, firstStart = taken[1][0].time - bt;
    EXPECT_GE(firstStart, heard + 10 * MS);
    EXPECT_LT(firstStart, heard + 10 * MS + MS / 5);
    EXPECT_EQ(say("#?2\r", 1), "");
    EXPECT_EQ(say("#?A\r", 1), "");
    // At 9600 bit/s the delay is twelve times as long.
    EXPECT_EQ(say("#1Abaudp1 9600\r", 1), "#FF>\r");
    start = sim_now();
    EXPECT_EQ(say("#?1\r", 1), "#FFSOF23ADR1A\r");
    bt = byteTime(9600);
    heard = start + 4 * bt;
    firstStart = taken[1][0].time - bt;
    EXPECT_GE(firstStart, heard + 120 * MS);
    EXPECT_LT(firstStart, heard + 120 * MS + MS);
}

TEST_F(Link, NoticesWaitForAPoll) {
    rs485On();
    EXPECT_EQ(say("#1AQ\r", 1), "#FF>\r") << "nothing held: the prompt";
    // A macro call has its prompt before it runs; its notices wait.
    EXPECT_EQ(say("#1Am notes\r", 1), "#FF>\r");
    EXPECT_EQ(say("#1AQ\r", 1), "#FFn1\r#FFn2\r");
    EXPECT_EQ(say("#1AQ\r", 1), "#FF>\r");
    // Aux bytes forwarded while the display is idle are held too, and go out with the next reply.
    EXPECT_EQ(say("#1AauxIO 1\r", 1), "#FF>\r");
    sim_send(0, "abc");
    EXPECT_TRUE(sim_run_until_idle());
    EXPECT_EQ(take(1), "");
    EXPECT_EQ(say("#1Avers\r", 1), "#FFa a\r#FFa b\r#FFa c\r#FFZEFO5 V1.5.0 WVGA \r");
    EXPECT_EQ(say("#1AauxIO 0\r", 1), "#FF>\r");
    // A frame for another display does not release them.
    sim_send(0, "def");
    EXPECT_EQ(say("#1BQ\r", 1), "");
}

TEST_F(Link, ModeSurvivesAPowerCycle) {
    rs485On();
    sim_power_cycle();
    ASSERT_TRUE(sim_run_until_idle());
    // No first prompt anywhere; the start-up notice waits for the first command.
    EXPECT_EQ(take(1), "");
    EXPECT_EQ(take(0), "");
    EXPECT_EQ(sim_main_port(), 1);
    EXPECT_EQ(say("#1Avers\r", 1), "#FF:loading 1KB bitmap/macro file from SD card\r#FFZEFO5 V1.5.0 WVGA \r");
    EXPECT_EQ(say("#1A*rs485 off\r", 1), "#FFRS485 OFF ADR 1A\r>\r");
    sim_power_cycle();
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_TRUE(take(1).ends_with(">\r")) << "off is stored; UART1 stays the main port";
}

// The watchdog's macro writes what it was entered at; the times are those of the bytes' stop bits.
class Watchdog : public Link {
  protected:
    // The time the first byte of `text` left UART0 after `from`.
    uint64_t timeOf(const std::string &text, uint64_t from) {
        const auto &log = sim_tx_log(0);
        std::string all;
        for (const auto &b : log) all.push_back((char)b.byte);
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            if (log[at].time >= from) return log[at].time - byteTime(115200);
        return 0;
    }
};

TEST_F(Watchdog, ShortAndLongTimeouts) {
    EXPECT_EQ(say("*comwdt wdt 5 60\r", 0), ">\r");
    uint64_t armed = taken[0][0].time - 2 * byteTime(115200); // the line ran just before its prompt
    sim_run_for(70000);
    EXPECT_EQ(sim_output(0), "sdld");
    uint64_t sd = timeOf("sd", armed), ld = timeOf("ld", armed);
    // Whole seconds of the millisecond count: within a tick of the exact time.
    EXPECT_GE(sd, armed + 4999 * MS);
    EXPECT_LT(sd, armed + 5001 * MS);
    EXPECT_GE(ld, armed + 59999 * MS);
    EXPECT_LT(ld, armed + 60001 * MS);
    take(0);
    // The next line: ":lt_up" first, then the line itself.
    EXPECT_EQ(say("vers\r", 0), "luZEFO5 V1.5.0 WVGA \r>\r");
    // Re-armed by the traffic: silent again for 5 s.
    sim_run_for(4000);
    EXPECT_EQ(take(0), "");
    sim_run_for(2000);
    EXPECT_EQ(take(0), "sd");
    EXPECT_EQ(say("*comwdt off\r", 0), "su>\r") << "the line that turns it off is traffic too";
    sim_run_for(10000);
    EXPECT_EQ(take(0), "");
}

TEST_F(Watchdog, ShortTimeoutOnlyAndErrorLinesCount) {
    EXPECT_EQ(say("*comwdt 1 3\r", 0), ">\r");
    sim_run_for(2000);
    EXPECT_EQ(say("qqq\r", 0), "!\r") << "an unknown command is traffic";
    sim_run_for(2500);
    EXPECT_EQ(take(0), "");
    sim_run_for(1000);
    EXPECT_EQ(take(0), "sd");
    sim_run_for(10000);
    EXPECT_EQ(take(0), "") << "reported once";
    EXPECT_EQ(say("\r", 0), "su>\r");
}

TEST_F(Watchdog, Messages) {
    EXPECT_EQ(say("*comwdt 99 5\r", 0), "bad macro index number\r!\r");
    EXPECT_EQ(say("*comwdt nosuch 5\r", 0), ":Macro name not found\rbad macro name\r!\r");
    EXPECT_EQ(say("*comwdt wdt\r", 0), "bad or missing timeout arg(s)\r!\r");
    EXPECT_EQ(say("*comwdt wdt 0\r", 0), "bad or missing timeout arg(s)\r!\r");
    EXPECT_EQ(say("*comwdt wdt 5 5\r", 0), "bad or missing timeout arg(s)\r!\r");
    EXPECT_EQ(say("*comwdt wdt 5 4\r", 0), "bad or missing timeout arg(s)\r!\r");
    sim_run_for(8000);
    EXPECT_EQ(take(0), "") << "a refused form arms nothing";
    // A macro without the label reports it.
    EXPECT_EQ(say("*comwdt short 1 2\r", 0), ">\r");
    sim_run_for(2500);
    EXPECT_EQ(take(0), "sd:label \":lt_down\" not found\r:no macro commands processed\r");
}

} // namespace
