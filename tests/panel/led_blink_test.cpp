// The status LED's blink mode, tick by tick on the test board: the LED toggles every period + 1
// ticks; period 0 stops it with the LED off; the forced modes of "led" hold it.
#include <gtest/gtest.h>

#include <string>

#include "board/host/test_board.h"
#include "board/services/services.h"

namespace {

class LedBlink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testboard::open());
        QV_led_init();
    }
    void TearDown() override { testboard::close(); }
    // The LED after each of n ticks, as '0' and '1'.
    static std::string ticks(int n) {
        std::string s;
        for (int i = 0; i < n; i++) {
            ledBlinkTick();
            s += sim_board().statusLed ? '1' : '0';
        }
        return s;
    }
};

TEST_F(LedBlink, TogglesEveryPeriodPlusOneTicksAndStopsOff) {
    EXPECT_EQ(ticks(3), "000") << "not blinking";
    FlashLed(2);
    EXPECT_EQ(ticks(12), "001110001110");
    FlashLed(0);
    EXPECT_EQ(sim_board().statusLed, 0);
    EXPECT_EQ(ticks(5), "00000");
    FlashLed(100);
    std::string s = ticks(303);
    EXPECT_EQ(s.substr(0, 101), std::string(100, '0') + "1");
    EXPECT_EQ(s.substr(101, 101), std::string(100, '1') + "0");
    FlashLed(0);
    EXPECT_EQ(sim_board().statusLed, 0);
}

TEST_F(LedBlink, ForcedModes) {
    QV_led_user(1);
    EXPECT_EQ(userLedState, 1);
    EXPECT_EQ(sim_board().statusLed, 1);
    QV_led_user(2);
    EXPECT_EQ(sim_board().statusLed, 0);
    QV_led_user(0);
    EXPECT_EQ(userLedState, 0);
    QV_led_set(1);
    EXPECT_EQ(sim_board().statusLed, 1);
}

} // namespace
