// The LCD controller and panel, backlight, beeper, LEDs and the start-up set-up operations: they
// record what the firmware drives in the board state (and print it with --trace). The controller
// raises its frame-start flag once per frame period; the visible frame buffer can be saved as PNG.
#include <png.h>
#include <stdio.h>

#include "board/host/host.h"
#include "config/panel.h"

namespace host {
namespace {

uint64_t frameGen;
bool frameFlag;

const PanelConfig &panelCfg() {
    return opts.panel ? *opts.panel : panelConfig;
}

uint64_t framePeriod() {
    if (!board.lcdTimingSet) return BSP_TIMER_HZ / 60;
    uint64_t htot = (uint64_t)board.hfp + board.fbWidth + board.hbp + board.hpw;
    uint64_t vtot = (uint64_t)board.vfp + board.fbHeight + board.vbp + board.vpw;
    uint64_t p = htot * vtot; // pixel clocks at 16.384 MHz, the timer's own rate
    return p ? p : BSP_TIMER_HZ / 60;
}

void frameStart(uint64_t gen, uint64_t) {
    if (gen != frameGen) return;
    frameFlag = true;
    board.frames++;
    board.frameStartedAt = now;
    schedule(now + board.framePeriod, frameStart, gen);
}

// A new timing starts a new frame at once: the scan begins again at the front porch.
void restartFrames() {
    board.framePeriod = framePeriod();
    board.frameStartedAt = now;
    uint64_t gen = ++frameGen;
    schedule(now + board.framePeriod, frameStart, gen);
}

template <typename T> void record(T &field, T value, const char *what) {
    if (opts.trace && field != value) trace("%s %ld", what, (long)value); // LEDs change per line
    field = value;
}

// What the eye sees. The inverter's brightness input follows the PWM duty, rising with it when the
// build's limits put level 255 at the low PWM value (maxBrite < minBrite), else falling with it; a
// PWM output that is off holds the input low, as a duty of 0 would.
uint8_t visibleLevel() {
    if (board.panelSupply != 1 || board.sigsActive != 1) return 0;
    bool inverterOn = (board.inverterLine == 1) != opts.inverterActiveLow;
    if (!inverterOn) return 0;
    const PanelConfig &p = panelCfg();
    uint8_t duty = board.backlightPwm ? board.backlightDuty : 0;
    uint8_t level = p.maxBrite < p.minBrite ? duty : (uint8_t)(255 - duty);
    return level ? level : 1; // a lit inverter at its darkest still glows
}

void visibilityChanged() {
    uint8_t v = visibleLevel();
    if (v == board.visibleLevel) return;
    board.visibleLevel = v;
    if (v)
        trace("screen lit, backlight %u/255", v);
    else
        trace("screen dark");
}

} // namespace

void (*soundHook)(const SimTone &tone);

namespace {

// What is heard: the tone timer running with the speaker output on. Every change of it (on, off,
// frequency, volume, speaker) is one line of --trace, one entry of the harness's log, and goes to
// the window's audio.
SimTone heard;
std::vector<SimTone> toneLog;

uint32_t hzOf(uint32_t reload) {
    uint64_t d = 2ull * (reload + 1ull);
    return (uint32_t)(16666666ull / d); // the timer's frequency, whole hertz
}

void soundChanged() {
    SimTone t = {};
    t.on = board.toneOn && board.speaker;
    if (t.on) {
        t.hz = hzOf(board.toneReload);
        t.volumeDuty = board.volumeDuty;
        t.external = board.externalSpeaker != 0;
    }
    if (t.on == heard.on && t.hz == heard.hz && t.volumeDuty == heard.volumeDuty &&
        t.external == heard.external)
        return;
    t.time = now;
    heard = t;
    if (harness) toneLog.push_back(t);
    if (t.on)
        trace("tone on %u Hz, volume %u/102%s", t.hz, t.volumeDuty, t.external ? ", external speaker" : "");
    else
        trace("tone off");
    if (soundHook) soundHook(t);
}

} // namespace

namespace panel {
void powerOn() {
    reset();
}

void reset() {
    frameGen++;
    frameFlag = false;
    board.lcdSetUp = false;
    board.fbAddr = 0;
    board.fbWidth = board.fbHeight = 0;
    board.lcdTimingSet = false;
    board.framePeriod = 0;
    board.sigsActive = -1;
    board.buffersEnabled = 0;
    board.panelSupply = -1;
    board.backlightPwm = 0;
    board.backlightDuty = 0;
    board.inverterLine = 0;
    board.visibleLevel = 0;
    board.frameStartedAt = 0;
    board.toneOn = 0;
    board.speaker = 0;
    heard = SimTone{};
    toneLog.clear();
    board.statusLed = 0;
    board.sdLed = 0;
    board.rs485Txen = 0;
    board.vq = 0;
}

bool writePng(const char *path) {
    const uint8_t *fb =
        board.lcdSetUp ? sim_memory(board.fbAddr, (uint32_t)board.fbWidth * board.fbHeight * 2) : nullptr;
    // Never changed after the setjmp below. Without a set-up controller: a dark panel of the build's size.
    const int w = fb ? board.fbWidth : panelCfg().width;
    const int h = fb ? board.fbHeight : panelCfg().height;
    FILE *f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "zefo5: cannot write the screenshot %s\n", path);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<uint8_t> row((size_t)w * 3);
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        fprintf(stderr, "zefo5: cannot write the screenshot %s\n", path);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, (png_uint_32)w, (png_uint_32)h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            uint16_t p = 0;
            if (fb) p = (uint16_t)(fb[((size_t)y * w + x) * 2] | fb[((size_t)y * w + x) * 2 + 1] << 8);
            widen565(p, &row[(size_t)x * 3]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fclose(f) == 0;
}
} // namespace panel

} // namespace host

using namespace host;

// ---- set-up operations -------------------------------------------------------------------------------
void bsp_clock_init(void) {
    board.initDone |= 1;
    access();
}
void bsp_system_clock(void) {
    board.initDone |= 2;
    access();
}
void InitGPIO(void) {
    board.initDone |= 4;
    access();
}
void bsp_platform_setup(void) {
    board.initDone |= 8;
    access();
}

// ---- LCD controller ----------------------------------------------------------------------------------
void bsp_lcd_setup(uint32_t fbAddr, uint16_t width, uint16_t height) {
    if (!sim_memory(fbAddr, (uint32_t)width * height * 2))
        fault("frame buffer 0x%08X (%ux%u) outside memory", fbAddr, width, height);
    board.lcdSetUp = true;
    board.fbAddr = fbAddr;
    board.fbWidth = width;
    board.fbHeight = height;
    trace("LCD %ux%u at 0x%08X", width, height, fbAddr);
    restartFrames();
    access();
}

void bsp_lcd_timing(uint8_t hfp, uint8_t hpw, uint8_t hbp, uint8_t vfp, uint8_t vpw, uint8_t vbp) {
    board.lcdTimingSet = true;
    board.hfp = hfp;
    board.hpw = hpw;
    board.hbp = hbp;
    board.vfp = vfp;
    board.vpw = vpw;
    board.vbp = vbp;
    if (board.lcdSetUp) restartFrames();
    trace("LCD timing hfp %u hpw %u hbp %u vfp %u vpw %u vbp %u, a frame every %.3f ms", hfp, hpw, hbp, vfp,
          vpw, vbp, (double)framePeriod() / (double)SIM_COUNTS_PER_MS);
    access();
}

void bsp_lcd_clock_edge(int edge) {
    record(board.clockEdge, edge, "LCD clock edge");
    access();
}

int bsp_lcd_frame_start(void) {
    int flag = frameFlag;
    frameFlag = false;
    access();
    return flag;
}

void LCD_sigs_low(void) {
    record(board.sigsActive, 0, "panel signals active");
    visibilityChanged();
    access();
}
void LCD_sigs_active(void) {
    record(board.sigsActive, 1, "panel signals active");
    visibilityChanged();
    access();
}
void LCD_sigs_buf_ena(int on) {
    record(board.buffersEnabled, on != 0 ? 1 : 0, "panel signal buffers");
    access();
}
void bsp_lcd_idle_level(int high) {
    record(board.idleLevelHigh, high != 0 ? 1 : 0, "panel idle level high");
    access();
}
void bsp_scan_direction(uint8_t bits) {
    record(board.scanDirection, (uint8_t)(bits & 3), "scan direction");
    access();
}
void bsp_vq_set(int level) {
    record(board.vq, level & 1, "VQ");
    access();
}
int bsp_vq_get(void) {
    access();
    return board.vq;
}
void bsp_panel_supply(int on) {
    record(board.panelSupply, on != 0 ? 1 : 0, "panel supply");
    visibilityChanged();
    access();
}
void bsp_backlight_pwm_enable(int on) {
    record(board.backlightPwm, on != 0 ? 1 : 0, "backlight PWM");
    visibilityChanged();
    access();
}
void bsp_backlight_duty(uint8_t duty) {
    record(board.backlightDuty, duty, "backlight duty");
    visibilityChanged();
    access();
}
void bsp_inverter_enable_line(int level) {
    int high = level != 0 ? 1 : 0;
    if (board.inverterLine != high)
        trace("inverter enable line %s (inverter %s)", high ? "high" : "low",
              (high == 1) != opts.inverterActiveLow ? "on" : "off");
    board.inverterLine = high;
    visibilityChanged();
    access();
}

// ---- beeper ------------------------------------------------------------------------------------------
void bsp_tone_start(uint32_t reload) {
    board.toneOn = 1;
    board.toneReload = reload;
    soundChanged();
    access();
}
void bsp_tone_stop(void) {
    board.toneOn = 0;
    soundChanged();
    access();
}
void bsp_speaker(int on) {
    board.speaker = on != 0 ? 1 : 0;
    soundChanged();
    access();
}
void bsp_volume_duty(uint8_t duty) {
    record(board.volumeDuty, duty, "volume duty");
    soundChanged();
    access();
}
void bsp_external_speaker(int on) {
    record(board.externalSpeaker, on != 0 ? 1 : 0, "external speaker");
    soundChanged();
    access();
}

// ---- LEDs --------------------------------------------------------------------------------------------
void Led(int state) {
    record(board.statusLed, state != 0 ? 1 : 0, "status LED");
    access();
}

// ---- frame buffer ------------------------------------------------------------------------------------
const uint16_t *sim_framebuffer(int *width, int *height) {
    if (width) *width = board.lcdSetUp ? board.fbWidth : 0;
    if (height) *height = board.lcdSetUp ? board.fbHeight : 0;
    if (!board.lcdSetUp) return nullptr;
    return (const uint16_t *)sim_memory(board.fbAddr, (uint32_t)board.fbWidth * board.fbHeight * 2);
}

bool sim_write_png(const char *path) {
    return panel::writePng(path);
}

SimScan sim_scan() {
    SimScan s = {0, 0, -1};
    if (!board.lcdSetUp) return s;
    uint64_t htot = (uint64_t)board.hfp + board.fbWidth + board.hbp + board.hpw;
    uint64_t vtot = (uint64_t)board.vfp + board.fbHeight + board.vbp + board.vpw;
    if (!board.lcdTimingSet || !htot || !vtot) return s;
    s.frameStart = board.frameStartedAt;
    s.line = (uint32_t)((now - board.frameStartedAt) / htot % vtot);
    int64_t row = (int64_t)s.line - board.vfp - board.vpw - board.vbp;
    s.row = row >= 0 && row < board.fbHeight ? (int)row : -1;
    return s;
}

const std::vector<SimTone> &sim_tone_log() {
    return toneLog;
}
