// The board's devices at the level the firmware's protocol code and drivers use them: the I2C
// EEPROM, the SPI data flash, the SD card, the touch converter and the frame buffer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "config/panel.h"
#include "tests/board_host/support.h"

extern const PanelConfig panelConfigVga;
extern const PanelConfig panelConfigWvga2;

namespace {

// Runs a scenario on the firmware's thread until it idles.
void runScenario(SimOptions o) {
    ASSERT_TRUE(sim_start(o));
    ASSERT_TRUE(sim_run_until_idle(60000));
}

void runScenario(std::function<void()> body) {
    runScenario(scenarioOptions(std::move(body)));
}

// ---- EEPROM -----------------------------------------------------------------------------------------
TEST(BoardEeprom, WriteCycleAcknowledgePollingAndReadBack) {
    runScenario([] {
        EXPECT_EQ(EEpromRead(0x0000), 0xFF); // blank
        // One byte write by hand: address high, low, data, stop.
        EXPECT_EQ(bsp_i2c_start(0xA0), 1);
        EXPECT_EQ(bsp_i2c_write(0x10), 1);
        EXPECT_EQ(bsp_i2c_write(0x05), 1);
        EXPECT_EQ(bsp_i2c_write(0x77), 1);
        bsp_i2c_stop();
        uint64_t stop = sim_now();
        // Busy for its write cycle: no acknowledge until it is over.
        EXPECT_EQ(bsp_i2c_start(0xA0), 0);
        bsp_i2c_stop();
        int polls = 1;
        while (!bsp_i2c_start(0xA0)) {
            bsp_i2c_stop();
            polls++;
        }
        bsp_i2c_stop();
        uint64_t ready = sim_now();
        EXPECT_GE(ready - stop, 5 * SIM_COUNTS_PER_MS);
        EXPECT_LT(ready - stop, 5 * SIM_COUNTS_PER_MS + 1000);
        EXPECT_GT(polls, 5);
        // Another device address is never acknowledged.
        EXPECT_EQ(bsp_i2c_start(0xA2), 0);
        bsp_i2c_stop();
        EXPECT_EQ(EEpromRead(0x1005), 0x77);
        // Both documented ranges exist and are distinct bytes.
        EEpromWrite(0x01FF, 0x11);
        EEpromWrite(0x10FF, 0x22);
        EEpromWrite(0x00FF, 0x33);
        EXPECT_EQ(EEpromRead(0x01FF), 0x11);
        EXPECT_EQ(EEpromRead(0x10FF), 0x22);
        EXPECT_EQ(EEpromRead(0x00FF), 0x33);
        // Sequential read continues at the next address.
        EXPECT_EQ(bsp_i2c_start(0xA0), 1);
        bsp_i2c_write(0x10);
        bsp_i2c_write(0xFE);
        EXPECT_EQ(bsp_i2c_start(0xA1), 1);
        EXPECT_EQ(bsp_i2c_read(1), 0xFF);
        EXPECT_EQ(bsp_i2c_read(0), 0x22);
        bsp_i2c_stop();
    });
    EXPECT_EQ(sim_board().eepromByteWrites, 4u);
    sim_stop();
}

TEST(BoardEeprom, FileKeepsContentsAcrossRuns) {
    std::string path = tempPath("eeprom.bin");
    SimOptions o = scenarioOptions([] { EEpromWrite(0x1234, 0xA5); });
    o.eeprom = path;
    runScenario(o);
    sim_stop();
    std::string file = readFile(path);
    ASSERT_EQ(file.size(), 8192u);
    EXPECT_EQ((uint8_t)file[0x1234], 0xA5);
    EXPECT_EQ((uint8_t)file[0x1233], 0xFF);
    int seen = -1;
    o = scenarioOptions([&] { seen = EEpromRead(0x1234); });
    o.eeprom = path;
    runScenario(o);
    EXPECT_EQ(seen, 0xA5);
    sim_stop();
}

TEST(BoardEeprom, PowerCutAfterTheNthByteWrite) {
    std::string path = tempPath("eeprom.bin");
    static int starts;
    starts = 0;
    SimOptions o = scenarioOptions([] {
        if (starts++) return; // after the power cycle: just idle
        for (int i = 0; i < 5; i++) EEpromWrite((uint16_t)(0x100 + i), (uint8_t)(i + 1));
    });
    o.eeprom = path;
    o.eepromPowerCut = 3;
    ASSERT_TRUE(sim_start(o));
    EXPECT_FALSE(sim_run_until_idle());
    EXPECT_EQ(sim_power(), SimPower::Cut);
    std::string file = readFile(path);
    EXPECT_EQ(file.substr(0x100, 5), std::string("\x01\x02\x03\xFF\xFF"));
    EXPECT_FALSE(sim_run_until_idle()); // stays off
    sim_power_cycle();
    EXPECT_EQ(sim_power(), SimPower::On);
    EXPECT_TRUE(sim_run_until_idle());
    EXPECT_EQ(starts, 2);
    sim_stop();
}

// ---- data flash ---------------------------------------------------------------------------------------
void flashCommand(uint8_t op) {
    bsp_flash_select(1);
    bsp_flash_xfer(op);
    bsp_flash_select(0);
}

TEST(BoardFlash, IdentificationProgramWithinPageAndBusy) {
    runScenario([] {
        EXPECT_EQ(ReadSerialFlashID(), 0xEF4016u);
        const uint8_t data[4] = {1, 2, 3, 4};
        WriteSerialFlash(0x1000, 4, data);
        uint8_t back[6];
        ReadSerialFlash(0x0FFF, 6, back);
        EXPECT_EQ(std::vector<uint8_t>(back, back + 6), (std::vector<uint8_t>{0xFF, 1, 2, 3, 4, 0xFF}));

        // Past the end of a page, programming wraps to the page's start.
        flashCommand(0x06);
        bsp_flash_select(1);
        bsp_flash_xfer(0x02);
        bsp_flash_xfer(0x00);
        bsp_flash_xfer(0x21);
        bsp_flash_xfer(0xFE);
        for (uint8_t b : {0xA0, 0xA1, 0xA2, 0xA3}) bsp_flash_xfer(b);
        bsp_flash_select(0);
        uint64_t start = sim_now();
        EXPECT_EQ(SerialFlashStatus() & 1, 1); // busy programming
        uint8_t ignored[2];
        ReadSerialFlash(0x2100, 2, ignored); // no answer while busy
        EXPECT_EQ(ignored[0], 0xFF);
        while (SerialFlashStatus() & 1) {}
        EXPECT_GE(sim_now() - start, SIM_COUNTS_PER_MS);
        EXPECT_LT(sim_now() - start, SIM_COUNTS_PER_MS + 200);
        EXPECT_EQ(SerialFlashStatus() & 2, 0); // write enable latch cleared
        ReadSerialFlash(0x2100, 2, back);
        EXPECT_EQ(back[0], 0xA2);
        EXPECT_EQ(back[1], 0xA3);
        ReadSerialFlash(0x21FE, 2, back);
        EXPECT_EQ(back[0], 0xA0);
        EXPECT_EQ(back[1], 0xA1);

        // Programming only clears bits; without write enable nothing happens.
        const uint8_t f0 = 0xF0, ff = 0xFF;
        WriteSerialFlash(0x1000, 1, &f0);
        ReadSerialFlash(0x1000, 1, back);
        EXPECT_EQ(back[0], 0x00); // 0x01 & 0xF0
        WriteSerialFlash(0x1001, 1, &ff);
        ReadSerialFlash(0x1001, 1, back);
        EXPECT_EQ(back[0], 0x02);
        bsp_flash_select(1);
        bsp_flash_xfer(0x02);
        bsp_flash_xfer(0x00);
        bsp_flash_xfer(0x30);
        bsp_flash_xfer(0x00);
        bsp_flash_xfer(0x00);
        bsp_flash_select(0);
        ReadSerialFlash(0x3000, 1, back);
        EXPECT_EQ(back[0], 0xFF);
    });
    sim_stop();
}

TEST(BoardFlash, SectorEraseCoversTheConfiguredSectorAndChipEraseEverything) {
    std::string path = tempPath("flash.bin");
    SimOptions o = scenarioOptions([] {
        EXPECT_EQ(ReadSerialFlashID() & 0xFF, 0x17u);
        const uint8_t zero[256] = {};
        for (uint32_t a : {0x00000u, 0x1FF00u, 0x20000u}) WriteSerialFlash(a, 256, zero);
        uint64_t start = sim_now();
        SectorEraseSerialFlash(1); // address 0x10000: inside the first 128 KiB sector
        EXPECT_GE(sim_now() - start, 50 * SIM_COUNTS_PER_MS);
        EXPECT_LT(sim_now() - start, 51 * SIM_COUNTS_PER_MS);
        uint8_t b[1];
        ReadSerialFlash(0x00000, 1, b);
        EXPECT_EQ(b[0], 0xFF);
        ReadSerialFlash(0x1FFFF, 1, b);
        EXPECT_EQ(b[0], 0xFF);
        ReadSerialFlash(0x20000, 1, b);
        EXPECT_EQ(b[0], 0x00);
        start = sim_now();
        EraseSerialFlash();
        EXPECT_GE(sim_now() - start, 2000 * SIM_COUNTS_PER_MS);
        ReadSerialFlash(0x20000, 1, b);
        EXPECT_EQ(b[0], 0xFF);
        WriteSerialFlash(0x7FFF00, 1, zero);
    });
    o.flash = path;
    o.flashId = 0x17;
    runScenario(o);
    sim_stop();
    std::string file = readFile(path);
    ASSERT_EQ(file.size(), 8u << 20);
    EXPECT_EQ((uint8_t)file[0x7FFF00], 0x00);
    EXPECT_EQ((uint8_t)file[0x20000], 0xFF);
}

TEST(BoardFlash, CapacityByteSetsTheSize) {
    for (uint8_t id : {0x16, 0x17, 0x18, 0x20}) {
        SimOptions o = scenarioOptions([] {});
        o.flashId = id;
        runScenario(o);
        size_t want = id == 0x17 ? 8u << 20 : id == 0x18 ? 16u << 20 : 4u << 20;
        EXPECT_EQ(sim_flash().size(), want);
        sim_stop();
    }
}

// ---- SD card --------------------------------------------------------------------------------------------
uint32_t bits(const uint32_t r[4], int hi, int lo) {
    uint32_t v = 0;
    for (int b = hi; b >= lo; b--) v = v << 1 | ((r[3 - b / 32] >> (b % 32)) & 1);
    return v;
}

uint64_t csdCapacity(const uint32_t csd[4]) {
    uint64_t cSize = bits(csd, 73, 62), mult = bits(csd, 49, 47), blLen = bits(csd, 83, 80);
    return (cSize + 1) << (mult + 2 + blLen);
}

std::string makeImage(size_t size) {
    std::string path = tempPath("card.img");
    std::string bytes(size, 0);
    for (size_t i = 0; i < size; i++) bytes[i] = (char)(i * 7 + i / 512);
    writeFile(path, bytes);
    return path;
}

struct CardInfo {
    uint32_t cid[4], csd[4];
    uint16_t rca;
    int tries;
};

// The identification sequence; false when a step fails.
bool identify(CardInfo &c) {
    uint32_t r[4];
    if (bsp_sd_command(0, 0, BSP_SD_RESP_NONE, r) != BSP_SD_OK) return false;
    c.tries = 0;
    do {
        if (bsp_sd_command(55, 0, BSP_SD_RESP_SHORT, r) != BSP_SD_OK) return false;
        if (!(r[0] & (1u << 5))) return false; // APP_CMD
        if (bsp_sd_command(41, 0xFF8000, BSP_SD_RESP_SHORT_NOCRC, r) != BSP_SD_OK) return false;
        c.tries++;
    } while (!(r[0] & 0x80000000u) && c.tries < 200);
    if (bsp_sd_command(2, 0, BSP_SD_RESP_LONG, c.cid) != BSP_SD_OK) return false;
    if (bsp_sd_command(3, 0, BSP_SD_RESP_SHORT, r) != BSP_SD_OK) return false;
    c.rca = (uint16_t)(r[0] >> 16);
    uint32_t arg = (uint32_t)c.rca << 16;
    if (bsp_sd_command(9, arg, BSP_SD_RESP_LONG, c.csd) != BSP_SD_OK) return false;
    if (bsp_sd_command(7, arg, BSP_SD_RESP_SHORT, r) != BSP_SD_OK) return false;
    if (bsp_sd_command(55, arg, BSP_SD_RESP_SHORT, r) != BSP_SD_OK) return false;
    if (bsp_sd_command(6, 2, BSP_SD_RESP_SHORT, r) != BSP_SD_OK) return false;
    bsp_sd_clock(BSP_SD_CLOCK_FULL);
    return bsp_sd_command(16, 512, BSP_SD_RESP_SHORT, r) == BSP_SD_OK;
}

TEST(BoardSd, InitSequenceAndBlockReadWriteAgainstTheImage) {
    std::string path = makeImage(1 << 20);
    std::string original = readFile(path);
    SimOptions o = scenarioOptions([&] {
        uint32_t r[4];
        EXPECT_EQ(bsp_sd_card_detect(), 1);
        // CMD8 is unknown to a version 1 card, ACMD41 without CMD55 is no command at all.
        EXPECT_EQ(bsp_sd_command(8, 0x1AA, BSP_SD_RESP_SHORT, r), BSP_SD_ERR_RESP_TIMEOUT);
        EXPECT_EQ(bsp_sd_command(41, 0xFF8000, BSP_SD_RESP_SHORT_NOCRC, r), BSP_SD_ERR_RESP_TIMEOUT);
        CardInfo c;
        ASSERT_TRUE(identify(c));
        EXPECT_GT(c.tries, 1); // busy for a few tries first
        EXPECT_LT(c.tries, 10);
        EXPECT_EQ(bits(c.cid, 0, 0), 1u);
        EXPECT_EQ(bits(c.csd, 127, 126), 0u); // CSD version 1.0
        EXPECT_EQ(csdCapacity(c.csd), 1u << 20);
        EXPECT_EQ(sim_board().sdBusWidth, 4);
        uint32_t arg = (uint32_t)c.rca << 16;

        uint8_t block[512];
        EXPECT_EQ(bsp_sd_command(17, 512 * 3, BSP_SD_RESP_SHORT, r), BSP_SD_OK);
        EXPECT_EQ((r[0] >> 9) & 15, 4u); // accepted in the transfer state
        EXPECT_EQ(bsp_sd_read_data(block), BSP_SD_OK);
        EXPECT_EQ(std::string((char *)block, 512), original.substr(512 * 3, 512));
        EXPECT_EQ(bsp_sd_read_data(block), BSP_SD_ERR_DATA_TIMEOUT); // one block per command

        for (int i = 0; i < 512; i++) block[i] = (uint8_t)(255 - i);
        EXPECT_EQ(bsp_sd_command(24, 512 * 5, BSP_SD_RESP_SHORT, r), BSP_SD_OK);
        EXPECT_EQ(bsp_sd_write_data(block), BSP_SD_OK);
        EXPECT_EQ(bsp_sd_command(13, arg, BSP_SD_RESP_SHORT, r), BSP_SD_OK);
        EXPECT_EQ((r[0] >> 9) & 15, 7u); // programming
        EXPECT_EQ(r[0] & (1u << 8), 0u);
        int polls = 0;
        do {
            bsp_sd_command(13, arg, BSP_SD_RESP_SHORT, r);
            polls++;
        } while (!(r[0] & (1u << 8)) && polls < 1000000);
        EXPECT_EQ((r[0] >> 9) & 15, 4u);

        // Past the end and unaligned: refused with the error in the status.
        EXPECT_EQ(bsp_sd_command(17, 1 << 20, BSP_SD_RESP_SHORT, r), BSP_SD_OK);
        EXPECT_NE(r[0] & 0x80000000u, 0u);
        EXPECT_EQ(bsp_sd_read_data(block), BSP_SD_ERR_DATA_TIMEOUT);
        EXPECT_EQ(bsp_sd_command(17, 100, BSP_SD_RESP_SHORT, r), BSP_SD_OK);
        EXPECT_NE(r[0] & 0x40000000u, 0u);
        // A command in the wrong state gets no response, and is reported as illegal next time.
        EXPECT_EQ(bsp_sd_command(2, 0, BSP_SD_RESP_LONG, r), BSP_SD_ERR_RESP_TIMEOUT);
        EXPECT_EQ(bsp_sd_command(13, arg, BSP_SD_RESP_SHORT, r), BSP_SD_OK);
        EXPECT_NE(r[0] & (1u << 22), 0u);

        bsp_sd_led(1);
    });
    o.sd = path;
    runScenario(o);
    EXPECT_EQ(sim_board().sdLed, 1);
    sim_stop();
    std::string after = readFile(path);
    ASSERT_EQ(after.size(), original.size());
    for (int i = 0; i < 512; i++) ASSERT_EQ((uint8_t)after[512 * 5 + i], (uint8_t)(255 - i));
    EXPECT_EQ(after.substr(0, 512 * 5), original.substr(0, 512 * 5));
    EXPECT_EQ(after.substr(512 * 6), original.substr(512 * 6));
}

TEST(BoardSd, RemovedCardTimesOutAndComesBackIdle) {
    std::string path = makeImage(64 * 1024);
    SimOptions o = scenarioOptions([] {
        CardInfo c;
        ASSERT_TRUE(identify(c));
        sim_card(false);
        uint32_t r[4];
        EXPECT_EQ(bsp_sd_card_detect(), 0);
        EXPECT_EQ(bsp_sd_command(13, (uint32_t)c.rca << 16, BSP_SD_RESP_SHORT, r), BSP_SD_ERR_RESP_TIMEOUT);
        EXPECT_EQ(bsp_sd_command(17, 0, BSP_SD_RESP_SHORT, r), BSP_SD_ERR_RESP_TIMEOUT);
        uint8_t block[512];
        EXPECT_EQ(bsp_sd_read_data(block), BSP_SD_ERR_DATA_TIMEOUT);
        sim_card(true);
        EXPECT_EQ(bsp_sd_card_detect(), 1);
        // A fresh card: the transfer state is gone until it is identified again.
        EXPECT_EQ(bsp_sd_command(17, 0, BSP_SD_RESP_SHORT, r), BSP_SD_ERR_RESP_TIMEOUT);
        EXPECT_TRUE(identify(c));
        EXPECT_EQ(csdCapacity(c.csd), 64u * 1024);
    });
    o.sd = path;
    runScenario(o);
    sim_stop();
}

TEST(BoardSd, CapacityOfLargeImages) {
    // The largest capacity a version 1.0 CSD can state that is not above the image size.
    const uint64_t sizes[][2] = {{32ull << 20, 32ull << 20},
                                 {1ull << 30, 1ull << 30},
                                 {(2ull << 30) + (512ull << 10), 2ull << 30},
                                 {4ull << 30, 4ull << 30}};
    for (const auto &sz : sizes) {
        uint64_t size = sz[0];
        std::string path = tempPath("big.img");
        int fd = open(path.c_str(), O_CREAT | O_RDWR, 0644);
        ASSERT_EQ(ftruncate(fd, (off_t)size), 0);
        close(fd);
        uint64_t capacity = 0;
        SimOptions o = scenarioOptions([&] {
            CardInfo c;
            ASSERT_TRUE(identify(c));
            capacity = csdCapacity(c.csd);
        });
        o.sd = path;
        runScenario(o);
        sim_stop();
        EXPECT_EQ(capacity, sz[1]) << size;
        unlink(path.c_str());
    }
}

TEST(BoardSd, ImageNotInWholeBlocksIsRefused) {
    SimOptions o;
    o.sd = tempPath("odd.img");
    writeFile(o.sd, std::string(1000, 'x'));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(sim_start(o));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("is not a whole number of 512-byte blocks"), std::string::npos) << err;
}

// ---- touch --------------------------------------------------------------------------------------------
// The firmware's transform with the default calibration of a build (bilinear over points 1..4).
struct Calibration {
    int32_t logX[5], logY[5], phyX[5], phyY[5];
};

Calibration defaults(const PanelConfig &p) {
    return Calibration{{p.calCentreX, 20, p.calRightX, p.calRightX, 20},
                       {239, 20, 20, 459, 459},
                       {500, 850, 150, 150, 850},
                       {500, 150, 150, 850, 850}};
}

int32_t divOr(int32_t a, int32_t b) {
    return b ? a / b : a;
}

int32_t adc2x(const Calibration &c, int32_t p, int32_t q) {
    int32_t xl = c.phyX[1] + divOr((c.phyX[4] - c.phyX[1]) * (q - c.phyY[1]), c.phyY[4] - c.phyY[1]);
    int32_t xr = c.phyX[2] + divOr((c.phyX[3] - c.phyX[2]) * (q - c.phyY[2]), c.phyY[3] - c.phyY[2]);
    return c.logX[1] + divOr((c.logX[2] - c.logX[1]) * (p - xl), xr - xl);
}

int32_t adc2y(const Calibration &c, int32_t p, int32_t q) {
    int32_t yt = c.phyY[1] + divOr((c.phyY[2] - c.phyY[1]) * (p - c.phyX[1]), c.phyX[2] - c.phyX[1]);
    int32_t yb = c.phyY[4] + divOr((c.phyY[3] - c.phyY[4]) * (p - c.phyX[4]), c.phyX[3] - c.phyX[4]);
    return c.logY[1] + divOr((c.logY[4] - c.logY[1]) * (q - yt), yb - yt);
}

uint32_t tenBits(uint16_t v) {
    return (v + 2u) >> 2;
}

void touchRoundTrip(const PanelConfig &panel) {
    SimOptions o = scenarioOptions([&] {
        Calibration cal = defaults(panel);
        int worst = 0;
        auto check = [&](int x, int y) {
            sim_touch(x, y);
            ASSERT_EQ(bsp_touch_pen_down(), 1);
            uint32_t chX = tenBits(bsp_touch_convert(0xD3)), chY = tenBits(bsp_touch_convert(0x93));
            uint32_t z1 = tenBits(bsp_touch_convert(0xBA)), z2 = tenBits(bsp_touch_convert(0xCA));
            EXPECT_EQ(chX, tenBits(bsp_touch_convert(0xD2)));
            // The panel's Y channel runs along the screen's x (touchSwap 0).
            int32_t sx = adc2x(cal, (int32_t)chY, (int32_t)chX), sy = adc2y(cal, (int32_t)chY, (int32_t)chX);
            worst = std::max(worst, std::max(abs(sx - x), abs(sy - y)));
            ASSERT_NE(z1, 0u);
            uint32_t pressure = (chY * 130) / 1024 + chX * ((z2 * 256) / z1 - 256) / 1024;
            ASSERT_GE(pressure, 300u) << x << "," << y;
            ASSERT_LE(pressure, 600u) << x << "," << y;
        };
        for (int y = 0; y < panel.height; y += 3)
            for (int x = 0; x < panel.width; x += 3) check(x, y);
        for (int x = 0; x < panel.width; x++) check(x, panel.height - 1);
        for (int y = 0; y < panel.height; y++) check(panel.width - 1, y);
        EXPECT_LE(worst, 2);
        sim_release();
        EXPECT_EQ(bsp_touch_pen_down(), 0);
    });
    o.panel = &panel;
    runScenario(o);
    sim_stop();
}

TEST(BoardTouch, DefaultCalibrationRoundTripWvga1) {
    touchRoundTrip(panelConfig);
}
TEST(BoardTouch, DefaultCalibrationRoundTripWvga2) {
    touchRoundTrip(panelConfigWvga2);
}
TEST(BoardTouch, DefaultCalibrationRoundTripVga) {
    touchRoundTrip(panelConfigVga);
}

TEST(BoardTouch, PenUpAndTemperature) {
    SimOptions o = scenarioOptions([] {
        EXPECT_EQ(bsp_touch_pen_down(), 0);
        EXPECT_EQ(bsp_touch_convert(0xD3), 0);
        EXPECT_EQ(bsp_touch_convert(0x93), 0);
        EXPECT_EQ(bsp_touch_convert(0xBA), 0); // Z1 = 0: no pressure to compute
        auto readTemp = [] {
            int32_t d = (int32_t)bsp_touch_convert(0xF6) - (int32_t)bsp_touch_convert(0x86);
            return ((d * 25000) / 4095) * 2573 / 1000 - 2730;
        };
        EXPECT_NEAR(readTemp(), 255, 8); // one count of the difference is 1.6 degrees
        EXPECT_EQ(bsp_temperature_tenths(), 255);
        sim_set_temperature(-50);
        EXPECT_NEAR(readTemp(), -50, 8);
        EXPECT_EQ(bsp_temperature_tenths(), -50);
    });
    runScenario(o);
    sim_stop();
}

// ---- LCD ------------------------------------------------------------------------------------------------
TEST(BoardLcd, FramePeriodFromTimingAndScreenshotPixels) {
    std::string png = tempPath("shot.png");
    SimOptions o = scenarioOptions([] {
        bsp_lcd_setup(BSP_VIDEORAM_BASE, 800, 480);
        bsp_lcd_timing(40, 48, 40, 13, 3, 29);
        uint16_t *fb = (uint16_t *)bsp_mem(BSP_VIDEORAM_BASE, 800 * 480 * 2);
        const uint16_t colours[] = {0xF800, 0x07E0, 0x001F, 0xFFFF, 0x8410, 0x0841};
        for (int i = 0; i < 6; i++) fb[479 * 800 + 794 + i] = colours[i];
        // One frame is (hfp + width + hbp + hpw) x (vfp + height + vbp + vpw) pixel clocks.
        const uint64_t period = (40 + 800 + 40 + 48) * (13 + 480 + 29 + 3);
        uint64_t start = sim_now();
        int frames = 0;
        while (frames < 10) {
            bsp_wait_for_interrupt();
            frames += bsp_lcd_frame_start();
        }
        EXPECT_LE(sim_now() - start, 10 * period);
        EXPECT_GE(sim_now() - start, 10 * period - 100);
    });
    runScenario(o);
    EXPECT_EQ(sim_board().framePeriod, 928u * 525u);
    ASSERT_TRUE(sim_write_png(png.c_str()));
    sim_stop();
    Png p;
    ASSERT_TRUE(readPng(png, p));
    ASSERT_EQ(p.width, 800);
    ASSERT_EQ(p.height, 480);
    auto rgb = [&](int x) { return std::vector<int>{p.at(x, 479)[0], p.at(x, 479)[1], p.at(x, 479)[2]}; };
    EXPECT_EQ(rgb(794), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(rgb(795), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(rgb(796), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(rgb(797), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(rgb(798), (std::vector<int>{0x84, 0x82, 0x84}));
    EXPECT_EQ(rgb(799), (std::vector<int>{0x08, 0x08, 0x08}));
    EXPECT_EQ(rgb(0), (std::vector<int>{0, 0, 0}));
}

TEST(BoardLcd, PanelLinesAreRecorded) {
    runScenario([] {
        LCD_sigs_low();
        LCD_sigs_buf_ena(1);
        bsp_panel_supply(1);
        bsp_backlight_pwm_enable(1);
        bsp_backlight_duty(200);
        bsp_vq_set(1);
        EXPECT_EQ(bsp_vq_get(), 1);
        bsp_scan_direction(2);
        bsp_tone_start(16666666 / (2 * 1000) - 1);
        Led(1);
        bsp_rs485_txen(1);
    });
    const SimBoard &b = sim_board();
    EXPECT_EQ(b.sigsActive, 0);
    EXPECT_EQ(b.buffersEnabled, 1);
    EXPECT_EQ(b.panelSupply, 1);
    EXPECT_EQ(b.backlightPwm, 1);
    EXPECT_EQ(b.backlightDuty, 200);
    EXPECT_EQ(b.scanDirection, 2);
    EXPECT_EQ(b.toneOn, 1);
    EXPECT_EQ(b.toneReload, 8332u);
    EXPECT_EQ(b.statusLed, 1);
    EXPECT_EQ(b.rs485Txen, 1);
    sim_stop();
}

} // namespace
