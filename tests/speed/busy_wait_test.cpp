// The simulator lets virtual time jump over the firmware's busy waits (the timer count, the UART
// status). The jumps must change nothing the firmware or the host can see: the same bytes at the
// same virtual times, the same picture, the same end time as polling access by access.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/host/sim.h"

namespace {

struct Run {
    std::vector<SimTxByte> tx;
    std::vector<uint16_t> picture;
    std::vector<uint64_t> idleAt;
};

bool operator==(const SimTxByte &a, const SimTxByte &b) {
    return a.time == b.time && a.byte == b.byte && a.rs485Txen == b.rs485Txen;
}

// Start-up, then each burst of lines sent at once and run until idle.
Run session(bool plain, const std::vector<std::string> &bursts) {
    Run r;
    SimOptions o;
    o.plainBusyWaits = plain;
    EXPECT_TRUE(sim_start(o));
    EXPECT_TRUE(sim_run_until_idle());
    r.idleAt.push_back(sim_now());
    for (const std::string &burst : bursts) {
        sim_send(0, burst);
        EXPECT_TRUE(sim_run_until_idle(60000));
        r.idleAt.push_back(sim_now());
    }
    // A second of ticks with nothing to do.
    sim_run_for(1000);
    r.idleAt.push_back(sim_now());
    r.tx = sim_tx_log(0);
    int w = 0, h = 0;
    const uint16_t *fb = sim_framebuffer(&w, &h);
    if (fb) r.picture.assign(fb, fb + (size_t)w * h);
    sim_stop();
    return r;
}

void expectSameRuns(const std::vector<std::string> &bursts) {
    Run plain = session(true, bursts), fast = session(false, bursts);
    EXPECT_EQ(plain.idleAt, fast.idleAt);
    ASSERT_EQ(plain.tx.size(), fast.tx.size());
    for (size_t i = 0; i < plain.tx.size(); i++)
        ASSERT_TRUE(plain.tx[i] == fast.tx[i])
            << "byte " << i << ": " << plain.tx[i].time << " / " << fast.tx[i].time;
    EXPECT_TRUE(plain.picture == fast.picture);
    EXPECT_FALSE(plain.tx.empty());
}

TEST(BusyWaits, StartUpAndReplies) {
    expectSameRuns({"vers\r", "xyzzy\r", "S\r", "*binr 1\r", "vers\r", "*binr 0\r"});
}

TEST(BusyWaits, PolledOutputAndDrawing) {
    expectSameRuns({"out \"polled text, byte by byte\\r\"\r", "z\r", "t \"hello\" 10 10\r",
                    "c 100 100 50 1\r", "out \"" + std::string(100, 'x') + "\"\r"});
}

TEST(BusyWaits, BurstsWhileTheFirmwareWaits) {
    // Beeps that wait, a timed wait and lines that arrive meanwhile.
    std::string burst;
    for (int i = 0; i < 20; i++) burst += "beepw 3\rvers\rout \"ab\"\r";
    expectSameRuns({burst, "w 5\rvers\r", "baud 9600\r"});
}

} // namespace
