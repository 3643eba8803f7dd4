// The beeper end to end: commands on the wire, the tone the simulated board hears (its log of
// changes with their virtual times), the settings in the EEPROM, and the trace of the program.
// Times are measured from the first change a command makes, never from power-on.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/host/sim.h"
#include "tests/touch/touch_fixture.h"

namespace {

constexpr double MS = (double)(uint64_t)SIM_COUNTS_PER_MS;

class Beeper : public Touch {
  protected:
    void start(SimOptions o = SimOptions()) {
        Touch::start(o);
        seen = sim_tone_log().size();
    }
    // The changes of the sound since the last call.
    std::vector<SimTone> changes() {
        const std::vector<SimTone> &log = sim_tone_log();
        std::vector<SimTone> out(log.begin() + (long)seen, log.end());
        seen = log.size();
        return out;
    }
    // "on HZ/DUTY@MS" or "off@MS" for each change, MS relative to the first one, in whole ms
    // (every change after the first comes from the 1 ms tick: a whole number of ms apart).
    static std::string pattern(const std::vector<SimTone> &c, size_t from = 0) {
        std::string s;
        for (size_t i = from; i < c.size(); i++) {
            char item[64];
            double t = ((double)c[i].time - (double)c[from].time) / MS;
            if (c[i].on)
                snprintf(item, sizeof item, "on %u/%u@%.0f ", c[i].hz, c[i].volumeDuty, t);
            else
                snprintf(item, sizeof item, "off@%.0f ", t);
            s += item;
        }
        return s;
    }
    size_t seen = 0;
};

TEST_F(Beeper, RepeatingBeepSoundsOnceASecondUntilStopped) {
    start();
    EXPECT_EQ(say("rb 100 900"), ">\r");
    sim_run_for(3050);
    EXPECT_EQ(say("rb 0 0"), ">\r") << "in an on phase";
    sim_run_for(2000);
    std::vector<SimTone> c = changes();
    ASSERT_EQ(c.size(), 8u) << pattern(c);
    // The first on phase starts with the command, between two ticks: it ends at the 100th tick.
    double first = ((double)c[1].time - (double)c[0].time) / MS;
    EXPECT_GT(first, 99.0);
    EXPECT_LE(first, 100.0);
    std::vector<SimTone> ticked(c.begin(), c.begin() + 7);
    EXPECT_EQ(pattern(ticked, 1), "off@0 on 2600/80@900 off@1000 on 2600/80@1900 off@2000 on 2600/80@2900 ");
    for (size_t i = 2; i < 7; i++) // whole ticks apart, to the few counts of the board operations
        EXPECT_LT((c[i].time - c[1].time + 8) % SIM_COUNTS_PER_MS, 16u) << i;
    EXPECT_FALSE(c.back().on) << "stopped by rb 0 0";
    EXPECT_EQ(say("rb 10 0"), ">\r");
    sim_run_for(50);
    EXPECT_EQ(say("rb 0 5"), ">\r") << "no on phase: silence";
    c = changes();
    ASSERT_FALSE(c.empty());
    EXPECT_FALSE(c.back().on);
    sim_run_for(100);
    EXPECT_TRUE(changes().empty());
}

// Pattern 1: 16 ms at f + 750, 16 ms silent, for the length of the alarm; then silence.
TEST_F(Beeper, AlarmPatterns) {
    start();
    EXPECT_EQ(say("al 1 200"), ">\r");
    sim_run_for(1000);
    std::vector<SimTone> c = changes();
    ASSERT_GE(c.size(), 2u);
    EXPECT_EQ(c[0].hz, 2600u) << "the beep starts at f until the first tick";
    EXPECT_LE(c[1].time - c[0].time, SIM_COUNTS_PER_MS);
    EXPECT_EQ(pattern(c, 1), "on 3350/80@0 off@16 on 3350/80@32 off@48 on 3350/80@64 off@80 on 3350/80@96 "
                             "off@112 on 3350/80@128 off@144 on 3350/80@160 off@176 on 3350/80@192 off@199 ");

    EXPECT_EQ(say("al 2 20"), ">\r");
    sim_run_for(100);
    c = changes();
    EXPECT_EQ(pattern(c, 1), "on 3100/80@0 on 2600/80@4 on 3100/80@8 on 2600/80@12 off@15 ")
        << "a warble of 4 ms at f and f + 500";

    EXPECT_EQ(say("al 3 600"), ">\r");
    sim_run_for(1000);
    c = changes();
    EXPECT_EQ(pattern(c, 1), "on 2986/80@0 on 2600/80@250 off@349 ") << "250 ms at f, then at f + 386";
    EXPECT_NEAR((double)(c[1].time - c[0].time) / MS, 250.0, 1.0);

    EXPECT_EQ(say("al 4 100"), "!\r");
    EXPECT_EQ(say("al 0 100"), "!\r");
    EXPECT_TRUE(changes().empty());

    // Length 0: the pattern sounds until "rb" with two values.
    EXPECT_EQ(say("al 1 0"), ">\r");
    sim_run_for(500);
    EXPECT_GE(changes().size(), 30u);
    EXPECT_EQ(say("rb 0 0"), ">\r");
    sim_run_for(10);
    changes();
    sim_run_for(500);
    EXPECT_TRUE(changes().empty());
    // "rb" with a type: the pattern with the repeating beep, until "rb" with two values.
    EXPECT_EQ(say("rb 500 500 2"), ">\r");
    sim_run_for(2000);
    EXPECT_GE(changes().size(), 400u);
    EXPECT_EQ(say("rb 0 0"), ">\r");
    sim_run_for(10);
    changes();
    sim_run_for(500);
    EXPECT_TRUE(changes().empty());
}

TEST_F(Beeper, SingleBeepsAndTheWaitingBeep) {
    start();
    EXPECT_EQ(say("beep 50"), ">\r");
    sim_run_for(200);
    std::vector<SimTone> c = changes();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_NEAR((double)(c[1].time - c[0].time) / MS, 50.0, 1.0);
    EXPECT_EQ(say("beep 5000"), ">\r");
    EXPECT_EQ(say("beep 0"), ">\r") << "stops it";
    EXPECT_EQ(changes().size(), 2u);
    EXPECT_EQ(say("beep"), "!\r");

    // beepw answers when the beep has ended; the next line waits for it.
    sim_send(0, "beepw 500\rvers\r");
    ASSERT_TRUE(sim_run_until_idle());
    c = changes();
    ASSERT_EQ(c.size(), 2u);
    const std::vector<SimTxByte> &tx = sim_tx_log(0);
    ASSERT_FALSE(tx.empty());
    uint64_t prompt = 0;
    for (const SimTxByte &b : tx)
        if (b.byte == '>') {
            prompt = b.time;
            break;
        }
    EXPECT_GE(prompt, c[1].time);
    EXPECT_LT(prompt - c[1].time, 3 * SIM_COUNTS_PER_MS);
    EXPECT_EQ(sim_take_output(0), ">\rZEFO5 V1.5.0 WVGA \r>\r");
    // ESC ends the wait early.
    sim_send(0, "beepw 5000\r");
    sim_run_for(100);
    sim_send(0, "\x1b\r");
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0), ">\r!\r") << "the ESC line itself is no command";
    sim_run_for(5000);
    EXPECT_EQ(changes().size(), 2u) << "the beep itself sounds to its end";
}

TEST_F(Beeper, VolumeCeilingFrequencyAndSpeakerAreSaved) {
    start();
    EXPECT_EQ(say("bv"), "200\r>\r");
    EXPECT_EQ(say("bv "), "200\r>\r");
    EXPECT_EQ(say("bf"), "2600\r>\r");
    EXPECT_EQ(say("bMaX 128"), ">\r");
    EXPECT_EQ(say("bv 255"), ">\r");
    EXPECT_EQ(sim_board().volumeDuty, 51) << "128 of 255, on the 102 steps of the PWM";
    EXPECT_EQ(say("bv 0"), ">\r");
    EXPECT_EQ(sim_board().volumeDuty, 0);
    EXPECT_EQ(say("bv +300"), ">\r");
    EXPECT_EQ(say("bv"), "255\r>\r");
    EXPECT_EQ(say("bv-300"), ">\r");
    EXPECT_EQ(say("bv"), "0\r>\r");
    EXPECT_EQ(say("bv 100"), ">\r");
    EXPECT_EQ(say("bv -30"), ">\r");
    EXPECT_EQ(say("bv"), "70\r>\r");
    EXPECT_EQ(say("bv 256"), "!\r");
    EXPECT_EQ(say("bv -1x"), "!\r");
    EXPECT_EQ(say("bv loud"), "!\r");
    EXPECT_EQ(say("bv"), "70\r>\r");
    EXPECT_EQ(say("bf 3000"), ">\r");
    EXPECT_EQ(say("bf 0"), "!\r");
    EXPECT_EQ(say("bf -5"), "!\r");
    EXPECT_EQ(say("bf"), "3000\r>\r");
    EXPECT_EQ(say("*spkr"), "off\r>\r");
    EXPECT_EQ(say("*spkr on"), ">\r");
    EXPECT_EQ(say("*spkr"), "on\r>\r");
    EXPECT_EQ(say("*spkr loud"), "!\r");
    EXPECT_EQ(say("beep 10"), ">\r");
    std::vector<SimTone> c = changes();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c[0].hz, 3000u);
    EXPECT_EQ(c[0].volumeDuty, (128 * 70 / 255) * 102 / 255);
    EXPECT_TRUE(c[0].external);
    // The s forms change without saving.
    EXPECT_EQ(say("bvs 33"), ">\r");
    EXPECT_EQ(say("bfs 1000"), ">\r");
    EXPECT_EQ(say("bvs"), "33\r>\r");

    std::vector<uint8_t> e = sim_eeprom();
    for (int base : {0x000, 0x100}) {
        EXPECT_EQ(e[base + 0x2C] | e[base + 0x2D] << 8 | e[base + 0x2E] << 16 | e[base + 0x2F] << 24, 3000);
        EXPECT_EQ(e[base + 0x30], 70);
        EXPECT_EQ(e[base + 0x31], 128);
        EXPECT_EQ(e[base + 0x82], 1);
    }
    sim_power_cycle();
    ASSERT_TRUE(sim_run_until_idle());
    sim_take_output(0);
    EXPECT_EQ(say("bv"), "70\r>\r");
    EXPECT_EQ(say("bf"), "3000\r>\r");
    EXPECT_EQ(say("*spkr"), "on\r>\r");
    EXPECT_EQ(sim_board().volumeDuty, (128 * 70 / 255) * 102 / 255) << "applied at power-up";
    EXPECT_EQ(sim_board().externalSpeaker, 1);
    EXPECT_EQ(say("*spkr off"), ">\r");
    EXPECT_EQ(sim_board().externalSpeaker, 0);
}

// The key click sounds for bb x 10 ms on a press of an area that clicks.
TEST_F(Beeper, KeyClickOnPress) {
    start();
    auto tapLength = [&](int x, int y) {
        changes();
        sim_touch(x, y);
        sim_run_for(300);
        sim_release();
        sim_run_for(300);
        sim_take_output(0);
        std::vector<SimTone> c = changes();
        if (c.size() != 2) return -(double)c.size();
        return (double)(c[1].time - c[0].time) / MS;
    };
    EXPECT_EQ(say("xs 130 0 0 99 99"), ">\r");
    EXPECT_EQ(say("xsnb 131 100 0 199 99"), ">\r");
    EXPECT_NEAR(tapLength(50, 50), 100.0, 1.0);
    EXPECT_EQ(tapLength(150, 50), 0.0) << "xsnb: no click";
    EXPECT_EQ(say("bb 5"), ">\r");
    EXPECT_NEAR(tapLength(50, 50), 50.0, 1.0);
    EXPECT_EQ(say("bb 0"), ">\r");
    EXPECT_EQ(tapLength(50, 50), 0.0);
    EXPECT_EQ(say("bb 3"), ">\r");
    EXPECT_EQ(say("xset 131 b"), ">\r");
    EXPECT_NEAR(tapLength(150, 50), 30.0, 1.0);

    // A typematic key: xt clicks on every repeat, xst only on the first press.
    EXPECT_EQ(say("typematics 20 10"), "Delay 200ms, Repeat 100ms\r>\r");
    EXPECT_EQ(say("xt 132 0 100 99 199"), ">\r");
    EXPECT_EQ(say("xst 133 100 100 199 199"), ">\r");
    for (int key = 0; key < 2; key++) {
        changes();
        sim_touch(key ? 150 : 50, 150);
        sim_run_for(1000);
        sim_release();
        sim_run_for(300);
        std::string out = sim_take_output(0);
        size_t presses = 0;
        for (char ch : out) presses += ch == 'x';
        size_t clicks = changes().size() / 2;
        EXPECT_GE(presses, 7u) << out;
        EXPECT_EQ(clicks, key ? 1u : presses) << out;
    }
}

// A flood of beeper lines at once: every line answered, the last settings win.
TEST_F(Beeper, FloodOfBeeperLines) {
    start();
    std::string burst, expect;
    for (int i = 0; i < 40; i++) {
        burst +=
            "bvs +1\rbeep 2\rbfs " + std::to_string(1000 + i) + "\rrb 3 4\rbb " + std::to_string(i) + "\r";
        expect += ">\r>\r>\r>\r>\r";
    }
    burst += "rb 0 0\rbvs\rbfs\r";
    expect += ">\r240\r>\r1039\r>\r";
    sim_send(0, burst);
    ASSERT_TRUE(sim_run_until_idle(20000));
    EXPECT_EQ(sim_take_output(0), expect);
    sim_run_for(50);
    std::vector<SimTone> c = changes();
    ASSERT_FALSE(c.empty());
    EXPECT_FALSE(c.back().on);
}

// The program's --trace shows each change of the tone with its virtual time.
TEST(BeeperTrace, RepeatingBeepInTheTrace) {
    std::string cmd = "printf 'rb 100 900\\rw 2500\\rrb 0 0\\r' | " SIM_DIR "/zefo5 --trace 2>&1 >/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::vector<std::pair<double, std::string>> tones;
    char line[300];
    while (fgets(line, sizeof line, p)) {
        double t;
        char what[200];
        if (sscanf(line, "zefo5: %lf ms: %199[^\n]", &t, what) == 2 && !strncmp(what, "tone", 4))
            tones.push_back({t, what});
    }
    EXPECT_EQ(pclose(p), 0);
    ASSERT_EQ(tones.size(), 6u);
    for (size_t i = 0; i < tones.size(); i++)
        EXPECT_EQ(tones[i].second, i % 2 ? "tone off" : "tone on 2600 Hz, volume 80/102") << i;
    EXPECT_NEAR(tones[2].first - tones[0].first, 1000.0, 1.0);
    EXPECT_NEAR(tones[4].first - tones[2].first, 1000.0, 1e-6);
    EXPECT_NEAR(tones[3].first - tones[2].first, 100.0, 1e-6);
}

} // namespace
