// The panel on the PL110 colour LCD controller: a 16-bit RGB 5-6-5 frame buffer (red in bits
// 15-11), its timing, and the panel's control lines. The machine has no panel supply switch,
// backlight, beeper or scan-direction pins: those outputs are remembered and drive nothing.
#include "board/bsp/bsp.h"
#include "board/versatilepb/vpb.h"

enum : uint32_t {
    CLCD_TIMING0 = VPB_CLCD + 0x00u,
    CLCD_TIMING1 = VPB_CLCD + 0x04u,
    CLCD_TIMING2 = VPB_CLCD + 0x08u,
    CLCD_TIMING3 = VPB_CLCD + 0x0Cu,
    CLCD_UPBASE = VPB_CLCD + 0x10u,
    CLCD_LPBASE = VPB_CLCD + 0x14u,
    CLCD_CONTROL = VPB_CLCD + 0x18u, // the PL110 has control before the interrupt mask
    CLCD_IMSC = VPB_CLCD + 0x1Cu,

    CTRL_EN = 1u << 0,
    CTRL_BPP16 = 4u << 1,
    CTRL_TFT = 1u << 5,
    CTRL_BGR = 1u << 8, // with the machine's 5-6-5 multiplexer: red in bits 15-11
    CTRL_PWR = 1u << 11,
    TIM2_IPC = 1u << 13, // data sampled on the falling pixel-clock edge
    TIM2_BCD = 1u << 26, // pixel clock undivided
    SYS_CLCD_565_RGB = 2u,

    PIXEL_CLOCK_PER_MS = 16384u, // the timing's pixel clock, 16.384 MHz
};

static uint16_t lcdWidth, lcdHeight;
static uint8_t timing[6] = {40, 48, 40, 13, 3, 29}; // hfp hpw hbp vfp vpw vbp
static uint8_t clockEdge, sigsActive, sigsBuffered, supplyOn, idleHigh, scanBits, vqLevel;
static uint8_t pwmOn, dutyByte, inverterLine, speakerOn, externalSpeaker, volumeDuty;
static uint32_t toneReload;
static uint32_t frameClocks, frameAccumulator; // pixel clocks per frame, and since the last start

static uint8_t fieldMinus1(uint8_t v) {
    return v ? (uint8_t)(v - 1) : 0;
}

static void programTiming(void) {
    uint8_t hfp = timing[0], hpw = timing[1], hbp = timing[2], vfp = timing[3], vpw = timing[4],
            vbp = timing[5];
    uint32_t ppl = lcdWidth >= 16 ? lcdWidth / 16u - 1 : 0;
    uint32_t lpp = lcdHeight ? lcdHeight - 1u : 0;
    vpbReg(CLCD_TIMING0) = (uint32_t)fieldMinus1(hbp) << 24 | (uint32_t)fieldMinus1(hfp) << 16 |
                           (uint32_t)fieldMinus1(hpw) << 8 | (ppl & 0x3F) << 2;
    vpbReg(CLCD_TIMING1) =
        (uint32_t)vbp << 24 | (uint32_t)vfp << 16 | (uint32_t)(fieldMinus1(vpw) & 0x3F) << 10 | (lpp & 0x3FF);
    uint32_t cpl = lcdWidth ? lcdWidth - 1u : 0;
    vpbReg(CLCD_TIMING2) = TIM2_BCD | (cpl & 0x3FF) << 16 | (clockEdge ? (uint32_t)TIM2_IPC : 0u);
    vpbReg(CLCD_TIMING3) = 0;
    frameClocks = ((uint32_t)hfp + hpw + hbp + lcdWidth) * ((uint32_t)vfp + vpw + vbp + lcdHeight);
}

// The panel shows the frame buffer while its signals are active and it has its supply.
static void applyPower(void) {
    uint32_t ctrl = vpbReg(CLCD_CONTROL);
    if (sigsActive && supplyOn && lcdWidth)
        ctrl |= CTRL_PWR;
    else
        ctrl &= ~CTRL_PWR;
    vpbReg(CLCD_CONTROL) = ctrl;
}

void bsp_lcd_setup(uint32_t fb_addr, uint16_t width, uint16_t height) {
    void *fb = bsp_mem(fb_addr, (uint32_t)width * height * 2u);
    if (!fb) bsp_fatal("frame buffer outside video RAM");
    lcdWidth = width;
    lcdHeight = height;
    vpbReg(CLCD_CONTROL) = 0;
    vpbReg(VPB_SYS_CLCD) = (vpbReg(VPB_SYS_CLCD) & ~3u) | SYS_CLCD_565_RGB;
    programTiming();
    vpbReg(CLCD_UPBASE) = (uint32_t)fb;
    vpbReg(CLCD_LPBASE) = 0;
    vpbReg(CLCD_IMSC) = 0;
    vpbReg(CLCD_CONTROL) = CTRL_EN | CTRL_BPP16 | CTRL_TFT | CTRL_BGR;
    applyPower();
}

void bsp_lcd_timing(uint8_t hfp, uint8_t hpw, uint8_t hbp, uint8_t vfp, uint8_t vpw, uint8_t vbp) {
    timing[0] = hfp;
    timing[1] = hpw;
    timing[2] = hbp;
    timing[3] = vfp;
    timing[4] = vpw;
    timing[5] = vbp;
    if (lcdWidth) programTiming();
}

void bsp_lcd_clock_edge(int edge) {
    clockEdge = edge != 0;
    if (lcdWidth) programTiming();
}

// The controller scans at the timing's 16.384 MHz pixel clock: a frame starts every
// htot x vtot clocks. Called once per millisecond by the tick.
int bsp_lcd_frame_start(void) {
    if (!frameClocks) return 0;
    frameAccumulator += PIXEL_CLOCK_PER_MS;
    if (frameAccumulator < frameClocks) return 0;
    frameAccumulator %= frameClocks;
    return 1;
}

void LCD_sigs_low(void) {
    sigsActive = 0;
    applyPower();
}
void LCD_sigs_active(void) {
    sigsActive = 1;
    applyPower();
}
void LCD_sigs_buf_ena(int on) {
    sigsBuffered = on != 0;
}
void bsp_lcd_idle_level(int high) {
    idleHigh = high != 0;
}
void bsp_scan_direction(uint8_t orient_bits) {
    scanBits = orient_bits & 3;
}
void bsp_vq_set(int level) {
    vqLevel = level & 1;
}
int bsp_vq_get(void) {
    return vqLevel;
}
void bsp_panel_supply(int on) {
    supplyOn = on != 0;
    applyPower();
}

void bsp_backlight_pwm_enable(int on) {
    pwmOn = on != 0;
}
void bsp_backlight_duty(uint8_t duty) {
    dutyByte = duty;
}
void bsp_inverter_enable_line(int level) {
    inverterLine = level != 0;
}

void bsp_tone_start(uint32_t reload) {
    toneReload = reload;
}
void bsp_tone_stop(void) {
    toneReload = 0;
}
void bsp_speaker(int on) {
    speakerOn = on != 0;
}
void bsp_volume_duty(uint8_t duty) {
    volumeDuty = duty;
}
void bsp_external_speaker(int on) {
    externalSpeaker = on != 0;
}

// The status LED and the SD-activity LED are two of the machine's user LEDs.
static void userLed(uint32_t bit, int on) {
    uint32_t v = vpbReg(VPB_SYS_LED);
    vpbReg(VPB_SYS_LED) = on ? v | bit : v & ~bit;
}
void Led(int state) {
    userLed(1u << 0, state);
}
void bsp_sd_led(int on) {
    userLed(1u << 1, on);
}
