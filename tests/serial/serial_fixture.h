// Common set-up of the serial tests: the serial room on the test board, a fresh configuration,
// both ports brought up as at power-up (UART0 main, UART1 aux), and helpers that act like the host
// at the far end of the wires and like the main loop. The host does not stop at the display's
// XOFF, so that tests can flood the ring.
#pragma once

#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "board/host/test_board.h"
#include "serial/serial.h"
#include "settings/settings.h"

// The host sends bytes on a port; they arrive at the port's rate and the board runs until every
// byte has been taken and the transmitters are empty.
inline void rx(int port, const std::string &bytes) {
    sim_send(port, bytes);
    testboard::settle();
}
// Everything the port has sent so far, once the transmitters are empty.
inline std::string out(int port) {
    testboard::settle();
    return sim_output(port);
}
inline void clearOut() {
    testboard::settle();
    sim_take_output(0);
    sim_take_output(1);
}
// The stored configuration (copy A in the EEPROM), as the last save left it.
inline uint8_t stored(uint16_t offset) {
    return testboard::eeprom()[EE_COPY_A + offset];
}
inline uint32_t eepromWrites() {
    return sim_board().eepromByteWrites;
}

// The board powered on (a host that ignores XOFF), the configuration as after a fresh start
// (valid, 115200 on both ports, CR as the aux escape, UART0 main); the ports not yet set up.
inline bool serialBoardOn() {
    SimOptions o;
    o.hostIgnoresXoff = true;
    if (!testboard::open(o)) return false;
    interrupt_init();
    memset(eepromData, 0xFF, sizeof eepromData);
    cfgSetU16(CFG_VERSION, CFG_VERSION_CURRENT);
    eepromData[CFG_BAUD0] = 7;
    eepromData[CFG_BAUD1] = 7;
    eepromData[CFG_AUX_ESC] = 0x0D;
    eepromData[CFG_MAIN_PORT] = 0;
    return true;
}

class Serial : public ::testing::Test {
  protected:
    void SetUp() override {
        powerUp();
        QV_COM_Init0();
        QV_COM_Init1();
        isLineAvail(); // the main loop is running
        clearOut();
    }
    void TearDown() override { testboard::close(); }

    static void powerUp() {
        ASSERT_TRUE(serialBoardOn());
        binaryDisable = 0;
        binaryResponses = 0;
        stringSent = 0;
    }

    // Takes one line as the main loop does (size 130, a 131-byte buffer); returns its bytes, for
    // a binary line as many as its lead byte gives.
    std::string take(bool binary = false) {
        char buf[LINE_MAX + 1 + 8];
        memset(buf, 0x55, sizeof buf);
        rxString(buf, LINE_MAX);
        EXPECT_EQ((uint8_t)buf[LINE_MAX + 1], 0x55) << "rxString wrote past size + 1";
        uint8_t lead = (uint8_t)buf[0];
        if (binary && lead >= 0x81) return std::string(buf, lead - 0x80u + 1);
        return std::string(buf);
    }

    // isLineAvail must report a line; then it is taken.
    std::string next() {
        EXPECT_EQ(isLineAvail(), 1);
        return take();
    }
    std::string nextBinary() {
        EXPECT_EQ(isLineAvail(), 1);
        return take(true);
    }

    static std::string repeat(char c, size_t n) { return std::string(n, c); }
};
