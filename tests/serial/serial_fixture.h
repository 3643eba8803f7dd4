// Common set-up of the serial tests: a fresh board, a fresh configuration, both ports brought up
// as at power-up (UART0 main, UART1 aux), and helpers that act like the main loop.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "serial/serial.h"
#include "settings/settings.h"
#include "tests/serial/fake_board.h"
#include "tests/serial/fake_env.h"

class Serial : public ::testing::Test {
  protected:
    void SetUp() override {
        fb::reset();
        fe::reset();
        binaryDisable = 0;
        binaryResponses = 0;
        stringSent = 0;
        QV_COM_Init0();
        QV_COM_Init1();
        isLineAvail(); // the main loop is running
        fb::clearOut();
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
