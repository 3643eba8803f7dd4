#include "displays_fixture.h"

void Display::start(bool card) {
    SimOptions o;
    if (card) o.sd = CARDS_DIR "/controls.img";
    ASSERT_TRUE(sim_start(o));
    ASSERT_TRUE(sim_run_until_idle());
    sim_take_output(0);
}

std::string Display::say(const std::string &line) {
    sim_send(0, line + "\r");
    EXPECT_TRUE(sim_run_until_idle());
    return sim_take_output(0);
}

uint16_t Display::pixel(int x, int y) {
    int w, h;
    const uint16_t *fb = sim_framebuffer(&w, &h);
    return fb[y * w + x];
}

uint32_t Display::crc(int x0, int y0, int x1, int y1) {
    uint32_t c = 0xFFFFFFFFu;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            uint16_t v = pixel(x, y);
            for (int b = 0; b < 2; b++) {
                c ^= (uint8_t)(v >> (8 * b));
                for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
            }
        }
    return ~c;
}

bool Display::same(int ax, int ay, int bx, int by, int w, int h) {
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (pixel(ax + x, ay + y) != pixel(bx + x, by + y)) return false;
    return true;
}

int Display::count(int x0, int y0, int x1, int y1, uint16_t index) {
    int n = 0;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) n += pixel(x, y) == index;
    return n;
}
