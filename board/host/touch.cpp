// The resistive touch panel and its converter. A pen held at a screen point gives the readings a
// panel of the default orientation would give: the panel's Y channel runs along the screen's x
// (850 at the left target x = 20, 150 at the right target), the X channel along the screen's y
// (150 at y = 20, 850 at y = 459), so the default five-point calibration maps every point back.
// Z1/Z2 give a firm press (pressure near 450, inside the default window 250..700, or the pressure
// of --touch-pressure). --touch-noise adds a deterministic jitter to every X and Y conversion;
// --touch-swapped puts the X channel along the screen's x and the Y channel along its y.
#include <stdlib.h>

#include "board/host/host.h"
#include "config/panel.h"

namespace host {
namespace {

constexpr uint32_t CONVERSION_TIME = 200; // command and two bytes at 2 MHz, timer counts

// The default calibration: targets (screen) and readings (raw, 10 bits) at points 1..4.
constexpr int32_t LEFT = 20, TOP = 20, BOTTOM = 459;
constexpr int32_t PHY_LEFT = 850, PHY_RIGHT = 150, PHY_TOP = 150, PHY_BOTTOM = 850;

bool penDown;
uint32_t noiseState;          // xorshift32, never 0
int32_t chanX, chanY, z1, z2; // 10-bit values
int32_t temp0, temp1;         // 12-bit values

const PanelConfig &panelCfg() {
    return opts.panel ? *opts.panel : panelConfig;
}

// The screen coordinate the bilinear transform gives for raw value v along one axis, with
// logical targets l1, l2 and readings r1, r2 (divisions truncate toward zero, as on the target).
int32_t axis(int32_t v, int32_t l1, int32_t l2, int32_t r1, int32_t r2) {
    return l1 + (l2 - l1) * (v - r1) / (r2 - r1);
}

// The 10-bit reading that the transform maps closest to the screen coordinate s.
int32_t rawFor(int32_t s, int32_t l1, int32_t l2, int32_t r1, int32_t r2) {
    int32_t guess = r1 + (int32_t)(((int64_t)(s - l1) * (r2 - r1) * 2 + (l2 - l1)) / (2 * (l2 - l1)));
    int32_t best = -1, bestErr = 0;
    for (int32_t v = guess - 4; v <= guess + 4; v++) {
        if (v < 0 || v > 1023) continue;
        int32_t err = abs(axis(v, l1, l2, r1, r2) - s) * 16 + abs(v - guess);
        if (best < 0 || err < bestErr) {
            best = v;
            bestErr = err;
        }
    }
    if (best < 0) best = guess < 0 ? 0 : 1023;
    return best;
}

uint32_t pressure(uint32_t x, uint32_t y, uint32_t a, uint32_t b) {
    return (y * 130) / 1024 + x * ((b * 256) / a - 256) / 1024;
}

// Z readings come from 8-bit conversions: their 10-bit values are multiples of 4.
void choosePressure() {
    const uint32_t WANT = opts.touchPressure;
    uint32_t x = chanX > 0 ? (uint32_t)chanX : 1, y = (uint32_t)chanY;
    uint32_t base = (y * 130) / 1024;
    // Z2/Z1 = 1 + (WANT - base) * 4 / x makes the second term WANT - base.
    uint32_t best = 0xFFFFFFFF;
    z1 = z2 = 0;
    for (uint32_t a = 16; a <= 512; a += 4) {
        // A pressure below the Y term cannot be reached; the firmest the panel gives is Z2 = Z1.
        int64_t ideal = (int64_t)a + (int64_t)a * ((int64_t)WANT - base) * 4 / x;
        if (ideal < a) ideal = a;
        if (ideal > 1020) ideal = 1020;
        uint32_t centre = (uint32_t)ideal & ~3u;
        for (uint32_t b = centre > 8 ? centre - 8 : a; b <= centre + 8; b += 4) {
            if (b < a || b > 1020) continue;
            uint32_t p = pressure(x, y, a, b);
            uint32_t err = p > WANT ? p - WANT : WANT - p;
            if (err < best) {
                best = err;
                z1 = (int32_t)a;
                z2 = (int32_t)b;
            }
        }
        if (best == 0) break;
    }
}

// Two temperature channels whose difference reads as the board temperature.
void chooseTemperature() {
    int32_t want = opts.temperatureTenths;
    int32_t bestD = 0, bestErr = 1 << 30;
    for (int32_t d = 0; d < 2800; d++) {
        int32_t t = ((d * 25000) / 4095) * 2573 / 1000 - 2730;
        if (abs(t - want) < bestErr) {
            bestErr = abs(t - want);
            bestD = d;
        }
    }
    temp0 = 1200;
    temp1 = temp0 + bestD;
}

// The channel value as one conversion reads it: with the jitter of --touch-noise.
int32_t noisy(int32_t v) {
    if (!opts.touchNoise) return v;
    noiseState ^= noiseState << 13;
    noiseState ^= noiseState >> 17;
    noiseState ^= noiseState << 5;
    int32_t span = 2 * opts.touchNoise + 1;
    v += (int32_t)(noiseState % (uint32_t)span) - opts.touchNoise;
    return v < 0 ? 0 : v > 1023 ? 1023 : v;
}

uint16_t reading(uint8_t command) {
    if (!(command & 0x80)) return 0; // no start bit: not a command
    int32_t v12;
    switch ((command >> 4) & 7) {
    case 5:
        v12 = penDown ? noisy(chanX) * 4 : 0;
        break; // X position
    case 1:
        v12 = penDown ? noisy(chanY) * 4 : 0;
        break; // Y position
    case 3:
        v12 = penDown ? z1 * 4 : 0;
        break; // Z1
    case 4:
        v12 = penDown ? z2 * 4 : 4095;
        break; // Z2
    case 0:
        chooseTemperature();
        v12 = temp0;
        break;
    case 7:
        chooseTemperature();
        v12 = temp1;
        break;
    case 2:
        v12 = 0x700;
        break; // battery input
    default:
        v12 = 0;
        break; // auxiliary input
    }
    if (command & 0x08) v12 &= 0xFF0; // 8-bit conversion
    return (uint16_t)v12;
}

} // namespace

namespace touch {
void powerOn() {
    noiseState = opts.touchSeed ? opts.touchSeed : 1;
}

void setPen(bool down, int x, int y) {
    if (down) {
        const PanelConfig &p = panelCfg();
        int32_t alongX = rawFor(x, LEFT, p.calRightX, PHY_LEFT, PHY_RIGHT);
        int32_t alongY = rawFor(y, TOP, BOTTOM, PHY_TOP, PHY_BOTTOM);
        chanY = opts.touchSwapped ? alongY : alongX;
        chanX = opts.touchSwapped ? alongX : alongY;
        choosePressure();
        trace("touch at %d,%d (X %d, Y %d, Z1 %d, Z2 %d)", x, y, chanX, chanY, z1, z2);
    } else if (penDown) {
        trace("release");
    }
    penDown = down;
}
} // namespace touch

} // namespace host

using namespace host;

void InitTouch(void) {
    board.initDone |= 32;
    access();
}

uint16_t bsp_touch_convert(uint8_t command) {
    uint16_t v = reading(command);
    access(CONVERSION_TIME);
    return v;
}

int bsp_touch_pen_down(void) {
    access();
    return penDown;
}

int16_t bsp_temperature_tenths(void) {
    access();
    return opts.temperatureTenths;
}

void sim_set_temperature(int16_t tenths) {
    opts.temperatureTenths = tenths;
}
