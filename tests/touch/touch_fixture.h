// The fixture of the touch tests: the whole firmware on the simulated board, lines sent and the pen
// put down and lifted between runs of virtual time.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/host/sim.h"
#include "gfx/gui.h"

class Touch : public ::testing::Test {
  protected:
    void TearDown() override { sim_stop(); }

    void start(SimOptions o = SimOptions()) {
        ASSERT_TRUE(sim_start(o));
        ASSERT_TRUE(sim_run_until_idle());
        sim_take_output(0);
    }
#ifdef CARDS_DIR
    void startWithCard() {
        SimOptions o;
        o.sd = CARDS_DIR "/touch.img";
        start(o);
    }
#endif
    std::string say(const std::string &line) {
        sim_send(0, line + "\r");
        EXPECT_TRUE(sim_run_until_idle());
        return sim_take_output(0);
    }
    // Holds the pen at (x, y) for `ms`, lifts it and lets the display settle.
    static void hold(int x, int y, uint64_t ms) {
        sim_touch(x, y);
        sim_run_for(ms);
        sim_release();
        sim_run_for(300);
    }
    // The same; everything the display sent.
    std::string tap(int x, int y, uint64_t ms = 200) {
        hold(x, y, ms);
        return sim_take_output(0);
    }
    // The virtual times (ms after `from`) at which each byte equal to `first` began a notice.
    static std::vector<double> noticeTimes(char first, uint64_t from) {
        std::vector<double> t;
        for (const SimTxByte &b : sim_tx_log(0))
            if (b.byte == (uint8_t)first)
                t.push_back((double)(b.time - from) / (double)(uint64_t)SIM_COUNTS_PER_MS);
        return t;
    }

    // The frame-buffer pixels of a screen rectangle, row by row.
    static std::vector<uint16_t> region(int x, int y, int w, int h) {
        int width, height;
        const uint16_t *fb = sim_framebuffer(&width, &height);
        std::vector<uint16_t> px;
        for (int r = y; r < y + h; r++)
            for (int c = x; c < x + w; c++) px.push_back(fb[r * width + c]);
        return px;
    }
    static uint16_t pixel(int x, int y) {
        return region(x, y, 1, 1)[0];
    }
    // The pixels of a 16-bit bitmap held in the firmware (the built-in button faces).
    static std::vector<uint16_t> pixels(const GUI_BITMAP &b) {
        std::vector<uint16_t> px;
        for (int r = 0; r < b.YSize; r++)
            for (int c = 0; c < b.XSize; c++) {
                const uint8_t *p = b.pData + r * b.BytesPerLine + 2 * c;
                px.push_back((uint16_t)(p[0] | p[1] << 8));
            }
        return px;
    }
};
