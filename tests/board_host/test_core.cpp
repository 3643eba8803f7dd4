// Virtual time, UART timing and flow control, resets and faults of the simulated board, driven
// through the in-process harness with the stand-in firmware.
#include <gtest/gtest.h>

#include "board/host/test_board.h"
#include "tests/board_host/support.h"

namespace {

struct Conversation {
    std::vector<SimTxByte> log;
    std::string out;
};

// Start-up, then two lines; everything UART0 transmitted, with times.
Conversation converse(uint32_t rate) {
    EXPECT_TRUE(sim_start(standinOptions(5, rate)));
    EXPECT_TRUE(sim_run_until_idle());
    sim_send(0, "t\r");
    EXPECT_TRUE(sim_run_until_idle());
    sim_run_for(7);
    sim_send(0, "burst 30\rt\r");
    EXPECT_TRUE(sim_run_until_idle());
    Conversation r{sim_tx_log(0), sim_output(0)};
    sim_stop();
    return r;
}

TEST(BoardTime, SameInputGivesSameBytesAtSameTimes) {
    Conversation a = converse(115200), b = converse(115200);
    ASSERT_EQ(a.log.size(), b.log.size());
    for (size_t i = 0; i < a.log.size(); i++) {
        EXPECT_EQ(a.log[i].time, b.log[i].time) << i;
        EXPECT_EQ(a.log[i].byte, b.log[i].byte) << i;
    }
    // The tick ran while the stand-in waited 5 ms at start-up and 7 ms between the lines.
    EXPECT_EQ(a.out.substr(0, 11), "ready\rt\rT=5");
    EXPECT_NE(a.out.find("burst 30\rabcdefghijklmnopqrstuvwxyzabcd"), std::string::npos);
}

// Bytes written back to back leave one per 10 bit times; host bytes arrive at the same pace, so
// their echoes leave back to back as well.
void checkRate(uint32_t rate) {
    Conversation r = converse(rate);
    const uint64_t bt = byteTime(rate);
    std::string out = r.out;
    size_t burst = out.find("abcdefghij");
    ASSERT_NE(burst, std::string::npos);
    for (size_t i = burst + 1; i < burst + 30; i++) EXPECT_EQ(r.log[i].time - r.log[i - 1].time, bt) << i;
    size_t echo = out.find("burst 30\r");
    ASSERT_NE(echo, std::string::npos);
    for (size_t i = echo + 1; i < echo + 9; i++) EXPECT_EQ(r.log[i].time - r.log[i - 1].time, bt) << i;
}

TEST(BoardUart, ByteTakesTenBitTimesAt9600) {
    checkRate(9600);
}
TEST(BoardUart, ByteTakesTenBitTimesAt115200) {
    checkRate(115200);
}

TEST(BoardUart, RateChangeAppliesToBothDirections) {
    ASSERT_TRUE(sim_start(standinOptions()));
    ASSERT_TRUE(sim_run_until_idle());
    sim_send(0, "baud 9600\r");
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_board().uartRate[0], 9600u);
    sim_take_output(0);
    sim_send(0, "burst 3\r");
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_output(0), "burst 3\rabc");
    const auto &log = sim_tx_log(0);
    for (size_t i = 1; i < log.size(); i++) EXPECT_EQ(log[i].time - log[i - 1].time, byteTime(9600));
    sim_stop();
}

TEST(BoardUart, HostStopsAfterXoffAndGoesOnAfterXon) {
    ASSERT_TRUE(sim_start(standinOptions()));
    ASSERT_TRUE(sim_run_until_idle());
    sim_take_output(0);
    std::string rest(200, 'x');
    sim_send(0, "hold 20\r" + rest + "\r");
    ASSERT_TRUE(sim_run_until_idle());
    std::string out = sim_take_output(0);
    // At most the byte already on the wire when XOFF left arrives during the 20 ms hold (at
    // 115200 bit/s an ignoring host would have sent 230 bytes).
    size_t h = out.find("H=");
    ASSERT_NE(h, std::string::npos);
    EXPECT_LE(std::stoi(out.substr(h + 2)), 1);
    EXPECT_EQ(out.find("hold 20\r\x13"), 0u);
    EXPECT_NE(out.find("\x11H="), std::string::npos);
    // Nothing was lost: all 200 bytes and the line end were echoed, and answered.
    EXPECT_NE(out.find(rest + "\r?\r"), std::string::npos);
    EXPECT_EQ(sim_board().rxOverruns[0], 0u);
    sim_stop();
}

TEST(BoardUart, AuxBytesAndRoleSwitchFollowTheFirmware) {
    SimOptions o = standinOptions();
    SimEvent e;
    e.ms = 3;
    e.kind = SimEvent::Aux;
    e.bytes = "xyz";
    o.events.push_back(e);
    ASSERT_TRUE(sim_start(o));
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_main_port(), 0);
    sim_send_main("aux\r");
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0), "ready\raux\rA=3:xyz\r");
    sim_send(0, "swap\r");
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_main_port(), 1);
    sim_stop();
}

TEST(BoardTime, TickAndFrameFlagFollowVirtualTime) {
    ASSERT_TRUE(sim_start(standinOptions()));
    ASSERT_TRUE(sim_run_until_idle());
    uint32_t ticks = fwTicks;
    uint32_t frames = sim_board().frames;
    sim_run_for(1000);
    EXPECT_EQ(fwTicks - ticks, 1000u);
    // 60 frames a second until the panel timing is programmed.
    EXPECT_EQ(sim_board().frames - frames, 60u);
    EXPECT_EQ(sim_board().framePeriod, 16384000u / 60);
    sim_stop();
}

TEST(BoardTime, BusyWaitStartUpTakesItsVirtualTime) {
    ASSERT_TRUE(sim_start(standinOptions(300)));
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_GE(sim_now(), 300 * SIM_COUNTS_PER_MS);
    EXPECT_LT(sim_now(), 302 * SIM_COUNTS_PER_MS);
    EXPECT_EQ(sim_output(0), "ready\r");
    sim_stop();
}

TEST(BoardTime, MaxMsEndsASessionForGood) {
    SimOptions o = standinOptions(100);
    o.maxMs = 50;
    ASSERT_TRUE(sim_start(o));
    EXPECT_FALSE(sim_run_until_idle());
    EXPECT_EQ(sim_now(), 50 * SIM_COUNTS_PER_MS);
    EXPECT_FALSE(sim_run_until_idle());
    sim_run_for(10);
    EXPECT_EQ(sim_output(0), "");
    sim_stop();
}

TEST(BoardReset, RestoresDataZeroesBssKeepsEepromAndInput) {
    ASSERT_TRUE(sim_start(standinOptions()));
    ASSERT_TRUE(sim_run_until_idle());
    sim_send(0, "data\rdata\reew 0x10ff 0x5a\r");
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0),
              "ready\rdata\rD=1234 power-on 0\rdata\rD=1235 changed 1\reew 0x10ff 0x5a\rok\r");
    uint64_t before = sim_now();
    // The host goes on sending while the firmware restarts: what the firmware had taken in is
    // gone with it, what had not yet arrived comes in after the restart.
    sim_send(0, "reset\r" + std::string(60, 'x') + "\rdata\reer 0x10ff\r");
    ASSERT_TRUE(sim_run_until_idle());
    std::string out = sim_take_output(0);
    EXPECT_EQ(out.find("reset\rready\rxx"), 0u) << out;
    EXPECT_EQ(out.substr(out.find("\r?\r")), "\r?\rdata\rD=1234 power-on 0\reer 0x10ff\rE=5A\r");
    size_t xs = out.find("\r?\r") - out.find("ready\r") - 6;
    EXPECT_LT(xs, 60u) << out;
    EXPECT_GT(xs, 50u) << out;
    EXPECT_EQ(sim_board().resets, 1u);
    EXPECT_GT(sim_now(), before);
    // The harness's own reset: parks at the restart with the data already restored.
    fwCounter = 77;
    sim_reset();
    EXPECT_EQ(fwCounter, 0);
    EXPECT_EQ(fwInitialised, 1234);
    ASSERT_TRUE(sim_run_until_idle());
    EXPECT_EQ(sim_take_output(0), "ready\r");
    EXPECT_EQ(sim_board().resets, 2u);
    sim_stop();
}

TEST(BoardReset, PowerCycleClearsMemoryButKeepsStores) {
    ASSERT_TRUE(sim_start(standinOptions()));
    ASSERT_TRUE(sim_run_until_idle());
    sim_send(0, "px 3 2 0x1234\reew 7 0x33\r");
    ASSERT_TRUE(sim_run_until_idle());
    int w, h;
    const uint16_t *fb = sim_framebuffer(&w, &h);
    ASSERT_NE(fb, nullptr);
    EXPECT_EQ(fb[2 * 800 + 3], 0x1234);
    sim_reset(); // SDRAM keeps its contents over a watchdog reset
    EXPECT_EQ(*(uint16_t *)sim_memory(BSP_VIDEORAM_BASE + (2 * 800 + 3) * 2, 2), 0x1234);
    sim_power_cycle();
    EXPECT_EQ(*(uint16_t *)sim_memory(BSP_VIDEORAM_BASE + (2 * 800 + 3) * 2, 2), 0);
    EXPECT_EQ(sim_eeprom()[7], 0x33);
    sim_stop();
}

TEST(BoardMemory, MapAndRegisterBlock) {
    EXPECT_NE(sim_memory(BSP_EXTRAM_BASE, BSP_EXTRAM_SIZE + BSP_VIDEORAM_SIZE), nullptr);
    EXPECT_EQ(sim_memory(BSP_SDRAM_END - 1, 2), nullptr);
    EXPECT_EQ(sim_memory(BSP_EXTRAM_BASE - 1, 1), nullptr);
    ASSERT_TRUE(sim_start(standinOptions()));
    ASSERT_TRUE(sim_run_until_idle());
    const char *flash = (const char *)sim_memory(BSP_PROGRAM_FLASH_BASE, 16);
    EXPECT_EQ(std::string(flash, 5), "ZEFO5");
    EXPECT_EQ(*(const uint8_t *)sim_memory(BSP_PROGRAM_FLASH_BASE + 0x8000, 1), 0xFF);
    sim_stop();
}

// ---- faults: a message on standard error and exit status 3 -------------------------------------------
void runUntilFault(const char *line) {
    sim_start(standinOptions());
    sim_run_until_idle();
    sim_send(0, line);
    sim_run_until_idle();
    exit(0);
}

class BoardFault : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(BoardFault, UnclaimedInterrupt) {
    EXPECT_EXIT(runUntilFault("irq\r"), ::testing::ExitedWithCode(3),
                "zefo5: firmware fault: unclaimed interrupt 4\n");
}

TEST_F(BoardFault, FatalCall) {
    EXPECT_EXIT(runUntilFault("fatal\r"), ::testing::ExitedWithCode(3),
                "zefo5: firmware fault: stand-in gave up\n");
}

TEST_F(BoardFault, RegisterOutsideTheBlock) {
    EXPECT_EXIT(runUntilFault("reg\r"), ::testing::ExitedWithCode(3),
                "zefo5: firmware fault: 32-bit register read at 0x00300000 outside the register block");
}

#if defined(__SANITIZE_ADDRESS__)
#define ZEFO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEFO_ASAN 1
#endif
#endif

#ifndef ZEFO_ASAN // AddressSanitizer reports these itself
TEST_F(BoardFault, SegmentationFault) {
    EXPECT_EXIT(runUntilFault("segv\r"), ::testing::ExitedWithCode(3),
                "zefo5: firmware fault: segmentation fault at address 0x10\n");
}

TEST_F(BoardFault, StackExhausted) {
    EXPECT_EXIT(runUntilFault("deep\r"), ::testing::ExitedWithCode(3),
                "zefo5: firmware fault: stack exhausted\n");
}
#endif

} // namespace

// The board without the firmware thread: a test takes the interrupts itself as it moves time.
namespace {
int ticksTaken;
void countTick(void) {
    ticksTaken++;
    bsp_timer_ack();
}
} // namespace

TEST(TestBoard, TimeMovesOnlyWhenTheTestMovesItAndTicksArriveOnTime) {
    ASSERT_TRUE(testboard::open());
    ticksTaken = 0;
    interrupt_init();
    interrupt_set_isr(BSP_IRQ_TICK, countTick);
    interrupt_enable(BSP_IRQ_TICK, 0);
    bsp_timer_start();
    uint64_t start = sim_now();
    EXPECT_LT(start, (uint64_t)BSP_TIMER_PERIOD);
    EXPECT_EQ(ticksTaken, 0);
    testboard::runFor(10);
    EXPECT_EQ(ticksTaken, 10);
    EXPECT_EQ(sim_now(), start + 10 * SIM_COUNTS_PER_MS);
    testboard::runUntil(sim_now() - 1); // never backwards
    EXPECT_EQ(ticksTaken, 10);
    testboard::close();
}

// What the test board gives unit tests beyond the board operations.
namespace {
std::string received;
void takeByte(void) {
    received += (char)bsp_uart_read(0);
}
// UART0 at 115200 with a receive handler that keeps every byte.
void uart0Receiving() {
    received.clear();
    interrupt_init();
    bsp_uart_init(0);
    bsp_uart_set_baud(0, 115200);
    interrupt_set_isr(BSP_IRQ_UART0_RX, takeByte);
    interrupt_enable(BSP_IRQ_UART0_RX, 0);
    bsp_uart_rx_irq(0, 1);
}
} // namespace

TEST(TestBoard, SettleRunsUntilTheBytesAreInAndTheHostStopsAtXoffUnlessToldNotTo) {
    ASSERT_TRUE(testboard::open());
    uart0Receiving();
    uint64_t start = sim_now();
    testboard::sendAt(start + 5 * SIM_COUNTS_PER_MS, 0, "ab");
    EXPECT_TRUE(testboard::settle());
    EXPECT_EQ(received, "ab");
    EXPECT_GE(sim_now(), start + 5 * SIM_COUNTS_PER_MS + 2 * 10 * BSP_TIMER_HZ / 115200);
    // The display says XOFF: the host holds what it has to send.
    bsp_uart_write(0, 0x13);
    ASSERT_TRUE(testboard::settle());
    sim_send(0, "cd");
    EXPECT_FALSE(testboard::settle(50));
    EXPECT_EQ(received, "ab");
    bsp_uart_write(0, 0x11);
    EXPECT_TRUE(testboard::settle());
    EXPECT_EQ(received, "abcd");
    testboard::close();

    SimOptions o;
    o.hostIgnoresXoff = true;
    ASSERT_TRUE(testboard::open(o));
    uart0Receiving();
    bsp_uart_write(0, 0x13);
    sim_send(0, "ef");
    EXPECT_TRUE(testboard::settle());
    EXPECT_EQ(received, "ef");
    EXPECT_EQ(sim_output(0), "\x13");
    testboard::close();
}

// Bytes on both ports at once, each port's receiver in its own slot beside the event queue: every
// byte arrives one byte time after the one before it on its port, none is lost, and the two
// streams interleave by time, UART1's starting half a byte later; at the end both receivers are
// empty and a second stream on UART0 alone arrives on time as well.
namespace {
struct Taken {
    int port;
    char byte;
    uint64_t at;
};
std::vector<Taken> taken;
void takeUart0(void) {
    taken.push_back({0, (char)bsp_uart_read(0), sim_now()});
}
void takeUart1(void) {
    taken.push_back({1, (char)bsp_uart_read(1), sim_now()});
}
} // namespace

TEST(TestBoard, BytesOnBothPortsArriveOnTimeAndInterleaveByTime) {
    ASSERT_TRUE(testboard::open());
    taken.clear();
    interrupt_init();
    const int sources[2] = {BSP_IRQ_UART0_RX, BSP_IRQ_UART1_RX};
    for (int port = 0; port < 2; port++) {
        bsp_uart_init(port);
        bsp_uart_set_baud(port, 115200);
        interrupt_set_isr(sources[port], port ? takeUart1 : takeUart0);
        interrupt_enable(sources[port], 0);
        bsp_uart_rx_irq(port, 1);
    }
    const uint64_t bt = byteTime(115200), start = sim_now() + 100;
    testboard::sendAt(start, 0, "abcdefgh");
    testboard::sendAt(start + bt / 2, 1, "stuvwxyz");
    ASSERT_TRUE(testboard::settle());
    std::string order;
    for (const Taken &t : taken) order += t.byte;
    EXPECT_EQ(order, "asbtcudvewfxgyhz");
    for (size_t i = 2; i < taken.size(); i++) {
        EXPECT_EQ(taken[i].port, taken[i - 2].port) << i;
        EXPECT_EQ(taken[i].at - taken[i - 2].at, bt) << i;
    }
    taken.clear();
    const uint64_t again = sim_now() + 3 * bt;
    testboard::sendAt(again, 0, "0123");
    ASSERT_TRUE(testboard::settle());
    ASSERT_EQ(taken.size(), 4u);
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(taken[i].byte, (char)('0' + i));
        EXPECT_GE(taken[i].at, again + (i + 1) * bt);
        EXPECT_LT(taken[i].at, again + (i + 1) * bt + 20);
    }
    EXPECT_EQ(sim_board().rxOverruns[0] + sim_board().rxOverruns[1], 0u);
    testboard::close();
}

TEST(TestBoard, HandlerChangesOnEnabledSourcesAndUnmatchedRestoresAreCounted) {
    ASSERT_TRUE(testboard::open());
    interrupt_init();
    interrupt_set_isr(BSP_IRQ_TICK, countTick); // not enabled yet: in order
    interrupt_enable(BSP_IRQ_TICK, 0);
    EXPECT_EQ(sim_board().isrChangesWhileOn, 0u);
    interrupt_set_isr(BSP_IRQ_TICK, countTick);
    EXPECT_EQ(sim_board().isrChangesWhileOn, 1u);
    EXPECT_EQ(testboard::handler(BSP_IRQ_TICK), countTick);
    uint32_t outer = bsp_irq_save();
    uint32_t inner = bsp_irq_save();
    bsp_irq_restore(inner);
    bsp_irq_restore(outer);
    EXPECT_EQ(sim_board().irqRestoresWhileOpen, 0u);
    bsp_irq_restore(1);
    EXPECT_EQ(sim_board().irqRestoresWhileOpen, 1u);
    testboard::close();
}

TEST(TestBoard, EepromPowerCutLosesEveryWriteAfterItUntilThePowerComesBack) {
    ASSERT_TRUE(testboard::open());
    testboard::cutEepromPowerAfter(2);
    for (int i = 0; i < 4; i++) EEpromWrite((uint16_t)(0x10 + i), (uint8_t)(0xA0 + i));
    std::vector<uint8_t> ee = sim_eeprom();
    EXPECT_EQ(ee[0x10], 0xA0);
    EXPECT_EQ(ee[0x11], 0xA1);
    EXPECT_EQ(ee[0x12], 0xFF);
    EXPECT_EQ(ee[0x13], 0xFF);
    EXPECT_EQ(sim_board().eepromByteWrites, 2u);
    testboard::powerCycle();
    EXPECT_EQ(EEpromRead(0x11), 0xA1);
    EEpromWrite(0x12, 0x5A);
    EXPECT_EQ(sim_eeprom()[0x12], 0x5A);
    testboard::cutEepromPowerAfter(0); // now
    EEpromWrite(0x13, 0x5B);
    EXPECT_EQ(sim_eeprom()[0x13], 0xFF);
    testboard::close();
}
