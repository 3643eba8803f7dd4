// Image uploads end to end: the whole firmware on the simulated board, a host that waits for each
// "p>" as a real one does, the data flash and the card image read back from their files (the card
// with fsck.fat and mtools), power cuts at many points of an upload, and the upload rates.
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/crc.h"
#include "board/bsp/bsp.h"
#include "board/host/sim.h"
#include "tests/storage/test_util.h"
#include "tools/card/cardpack.h"

using namespace tu;

namespace {

const std::string NO_IMAGE_TAIL = ":No .BIN file in flash or on SD card\r>\r";

// One upload line for up to 128 bytes: the bytes a text line cannot carry as blank escapes.
std::string encodeLine(const uint8_t *data, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; i++) {
        switch (data[i]) {
        case 0x20:
            s += "  ";
            break;
        case 0x00:
            s += " 0";
            break;
        case 0x08:
            s += " B";
            break;
        case 0x0A:
            s += " N";
            break;
        case 0x0D:
            s += " R";
            break;
        case 0x11:
            s += " X";
            break;
        case 0x13:
            s += " Y";
            break;
        case 0x1B:
            s += " [";
            break;
        default:
            s += (char)data[i];
        }
    }
    return s;
}

std::string hex(uint32_t v) {
    char b[16];
    snprintf(b, sizeof b, "%X", v);
    return b;
}

class Upload : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directories(t / "tree"); }
    void TearDown() override { sim_stop(); }

    // Powers the board on, with a 32 MB card made from tree/ (room for the image file of the
    // region's size) or without one; the flash and the EEPROM live in files of the test.
    void start(bool withCard, long flashCut = -1, long cardCut = -1) {
        SimOptions o;
        if (withCard) {
            std::string error;
            if (!std::filesystem::exists(t / "card.img")) {
                ASSERT_TRUE(cardMakeImage((t / "card.img").c_str(), (t / "tree").c_str(), &error, 32))
                    << error;
            }
            o.sd = t / "card.img";
        }
        o.flash = t / "flash.bin";
        o.eeprom = t / "eeprom.bin";
        o.flashPowerCut = flashCut;
        o.cardPowerCut = cardCut;
        ASSERT_TRUE(sim_start(o));
        ASSERT_TRUE(sim_run_until_idle(30000));
        startup = sim_take_output(0);
    }
    void restart(bool withCard) {
        sim_stop();
        start(withCard);
    }
    // Sends and runs until the display waits again; "" once the power has gone.
    std::string send(const std::string &bytes, uint64_t limitMs = 60000) {
        sim_send(0, bytes);
        if (!sim_run_until_idle(limitMs) && sim_power() == SimPower::Cut) return "";
        return sim_take_output(0);
    }
    std::string say(const std::string &line) { return send(line + "\r"); }

    // The image from byte `from` on, one line per "p>", the end escape on the last line. Returns
    // the display's answer to the last line; stops early (with "") when the power goes.
    std::string xmp(const std::vector<uint8_t> &image, uint32_t from, const std::string &command) {
        std::string answer = say(command);
        for (size_t at = from; !answer.empty(); at += 128) {
            if (answer != "p>\r") return answer;
            size_t n = std::min<size_t>(128, image.size() - at);
            const bool last = at + n >= image.size();
            answer = send(encodeLine(image.data() + at, n) + (last ? " Q\r" : "\r"));
            if (last) return answer;
        }
        return answer;
    }
    // The image as raw bytes after the '>' CR, sent in one flood (the host heeds XOFF).
    std::string bdld(const std::vector<uint8_t> &data, uint32_t address, uint32_t timeoutMs) {
        std::string go = say("bdld 4 " + hex(address) + " " + std::to_string(data.size()) + " " +
                             std::to_string(timeoutMs));
        if (go != ">\r") return go;
        return send(std::string(data.begin(), data.end()));
    }

    std::vector<uint8_t> flashFile(size_t from, size_t n) {
        std::vector<uint8_t> f = readFile(t / "flash.bin");
        return std::vector<uint8_t>(f.begin() + from, f.begin() + from + n);
    }

    TempDir t;
    std::string startup;
    const std::vector<uint8_t> demo = readFile(DEMO_BIN);
    const std::vector<uint8_t> old = readFile(OLD_BIN);
};

std::string crcReply(const std::vector<uint8_t> &data) {
    char b[16];
    snprintf(b, sizeof b, "0x%04X\r>\r", CalcCRC(data.data(), (uint32_t)data.size()));
    return b;
}

TEST_F(Upload, BdldOf4096BytesLandsInTheFlashFile) {
    start(false);
    EXPECT_EQ(say("xmc FEEB 0"), ":Erasing sector 0... done\r>\r");
    std::vector<uint8_t> data = randomBytes(4096, 16);
    for (int i = 0; i < 256; i++) data[i] = (uint8_t)i; // CR, XON, XOFF and lead bytes among them
    EXPECT_EQ(bdld(data, 0x1000, 500), ">\r");
    EXPECT_EQ(say("*CEXT 1000 1FFF"), crcReply(data));
    EXPECT_EQ(say("xmpmax"), "128\r>\r") << "the text handler is back";
    sim_stop();
    EXPECT_EQ(flashFile(0x1000, 4096), data);
    EXPECT_EQ(flashFile(0, 0x1000), std::vector<uint8_t>(0x1000, 0xFF));
    EXPECT_EQ(flashFile(0x2000, 0x100), std::vector<uint8_t>(0x100, 0xFF));
}

// A host that stops for longer than the time-out: "bdld" fails, and what it sends while the
// display drains the line is thrown away, not run as commands.
TEST_F(Upload, BdldTimeOutThenAPlainCommandWorks) {
    start(false);
    EXPECT_EQ(say("bdld 4 0 256 50"), ">\r");
    const double t0 = sim_now_ms();
    sim_send(0, std::string(100, 'x'));
    SimEvent late;
    late.kind = SimEvent::Send;
    late.ms = (uint64_t)t0 + 80; // after the time-out, inside the drain
    late.bytes = "xmpmax\r";
    sim_schedule(late);
    ASSERT_TRUE(sim_run_until_idle());
    const std::vector<SimTxByte> &log = sim_tx_log(0);
    ASSERT_FALSE(log.empty());
    EXPECT_GE((double)log.back().time * 1000.0 / (double)BSP_TIMER_HZ - t0, 50.0 + 100.0)
        << "time-out, then a quiet line";
    EXPECT_EQ(sim_take_output(0), "!\r");
    EXPECT_EQ(say("xmpmax"), "128\r>\r");
    EXPECT_EQ(say("*CEXT 0 7F"), crcReply(std::vector<uint8_t>(128, 0xFF))) << "no chunk was complete";
}

TEST_F(Upload, BdldChunksAreProgrammedAsTheyComeAndStayAfterAFailure) {
    start(false);
    ASSERT_EQ(say("xmc FEEB 0"), ":Erasing sector 0... done\r>\r");
    std::vector<uint8_t> data = randomBytes(300, 3);
    // A whole download at 0, then 300 bytes of 400 at 0x200: two whole chunks are programmed, the
    // rest times out.
    EXPECT_EQ(say("bdld 4 0 190 100"), ">\r");
    EXPECT_EQ(send(std::string(data.begin(), data.begin() + 190)), ">\r");
    EXPECT_EQ(say("bdld 4 200 400 100"), ">\r");
    EXPECT_EQ(send(std::string(data.begin(), data.end())), "") << "waiting for the rest";
    sim_run_for(300);
    EXPECT_EQ(sim_take_output(0), "!\r");
    sim_stop();
    EXPECT_EQ(flashFile(0, 2), std::vector<uint8_t>(data.begin(), data.begin() + 2))
        << "a whole download at 0 gets its first bytes at the end";
    EXPECT_EQ(flashFile(2, 188), std::vector<uint8_t>(data.begin() + 2, data.begin() + 190));
    EXPECT_EQ(flashFile(0x200, 256), std::vector<uint8_t>(data.begin(), data.begin() + 256));
    EXPECT_EQ(flashFile(0x300, 44), std::vector<uint8_t>(44, 0xFF));
}

TEST_F(Upload, XmpIntoTheFlashThenTheDisplayStartsFromItWithoutACard) {
    start(false);
    EXPECT_EQ(startup, ":Data Flash header is not valid  Magic was 0xFFFF, not 0xFEEB\r" + NO_IMAGE_TAIL);
    EXPECT_EQ(say("xmc FEEB"), ":Erasing chip... done\r>\r");
    EXPECT_EQ(xmp(demo, 0, "xmp 0 0 0"), ":loading 192KB bitmap/macro file from data flash\r>\r");
    const std::string listing = say("ls");
    EXPECT_EQ(listing.rfind("Records: 9\r", 0), 0u) << listing;
    EXPECT_EQ(say("*CEXT 0 " + hex((uint32_t)demo.size() - 1)), crcReply(demo));
    restart(false);
    EXPECT_EQ(startup, ":loading 192KB bitmap/macro file from data flash\r>\r");
    EXPECT_EQ(say("ls"), listing);
    sim_stop();
    EXPECT_EQ(flashFile(0, demo.size()), demo);
}

TEST_F(Upload, XmpIntoTheCardFileReplacesTheImageFile) {
    writeFile(t / "tree/zefo5.bin", old);
    writeText(t / "tree/readme.txt", "keep\r\n");
    start(true);
    ASSERT_EQ(startup.rfind(":loading", 0), 0u) << startup;
    EXPECT_EQ(say("xmc FEEB"), ":Erasing chip... done\r>\r");
    EXPECT_EQ(xmp(demo, 2, "xmp 0 2 0"), ">\r");
    const std::string listing = say("ls");
    EXPECT_EQ(listing.rfind("Records: 9\r", 0), 0u) << listing;
    // Nothing went to the flash.
    EXPECT_EQ(say("*CEXT 0 7F"), crcReply(std::vector<uint8_t>(128, 0xFF)));
    restart(true);
    EXPECT_EQ(startup, ":loading 192KB bitmap/macro file from SD card\r>\r");
    EXPECT_EQ(say("ls"), listing);
    sim_stop();
    std::string report;
    EXPECT_TRUE(fsckClean(t / "card.img", &report)) << report;
    EXPECT_EQ(mcopyOut(t / "card.img", "ZEFO5.BIN"), demo);
    EXPECT_EQ(mdirNames(t / "card.img", "/"), "README.TXT\nZEFO5.BIN\n");
}

// A host that waits for the first prompt only, then floods: every line is taken in order, with
// flow control should the ring fill. (Before the upload runs, a line beginning with a byte above 0x80, as an
// image does with its magic, would be read as a binary command line: the first "p>" is the start.)
TEST_F(Upload, XmpFromAHostThatFloods) {
    start(false);
    std::vector<uint8_t> data = randomBytes(2000, 7);
    data[0] = 0xEB;
    data[1] = 0xFE; // a magic, but no valid header: the load is tried and refused
    EXPECT_EQ(send("xmc FEEB\rxmp 0 0 0\r"), ":Erasing chip... done\r>\rp>\r");
    std::string flood;
    for (size_t at = 0; at < data.size(); at += 128) {
        const size_t n = std::min<size_t>(128, data.size() - at);
        flood += encodeLine(data.data() + at, n) + (at + n >= data.size() ? " Q\r" : "\r");
    }
    flood += "xmpmax\r";
    const std::string out = send(flood);
    std::string prompts;
    for (int i = 0; i < 15; i++) prompts += "p>\r";
    std::string plain = out;
    for (char c : {'\x11', '\x13'}) plain.erase(std::remove(plain.begin(), plain.end(), c), plain.end());
    EXPECT_EQ(plain, prompts + ":Data Flash size is not valid (" +
                         std::to_string(data[4] | data[5] << 8 | data[6] << 16 | data[7] << 24) +
                         ")\r:Failed to copy new image from Data Flash to memory!\r!\r128\r>\r");
    EXPECT_EQ(say("*CEXT 0 " + hex((uint32_t)data.size() - 1)), crcReply(data));
}

// A host that goes away in the middle of an upload: after 30 s without a byte the display gives
// up and takes commands again; what was written stays, without its magic.
TEST_F(Upload, XmpGivesUpOnAHostThatWentAway) {
    start(false);
    EXPECT_EQ(say("xmp 0 0 0"), "p>\r");
    EXPECT_EQ(say("\xEB\xFE"
                  "abc"),
              "p>\r");
    sim_run_for(29000);
    EXPECT_EQ(sim_take_output(0), "");
    sim_run_for(1500);
    EXPECT_EQ(sim_take_output(0), ":Upload timed out\r!\r");
    EXPECT_EQ(say("*CEXT 0 4"), crcReply({0xFF, 0xFF, 'a', 'b', 'c'}));
}

// A card upload to any address but 2 is accepted and goes nowhere; an image that does not fit the
// card's free space is refused at once.
TEST_F(Upload, XmpWithACardStoresOnlyAtAddressTwo) {
    start(true);
    EXPECT_EQ(say("xmp 0 0 0"), "p>\r");
    EXPECT_EQ(say("abc"), "p>\r");
    EXPECT_EQ(say(" Q"), ">\r");
    sim_stop();
    EXPECT_EQ(mdirNames(t / "card.img", "/").find("ZEFO"), std::string::npos);
    // 8 MB: no room for a file of the region's 11 MB.
    std::string error;
    ASSERT_TRUE(cardMakeImage((t / "card.img").c_str(), (t / "tree").c_str(), &error, 8)) << error;
    SimOptions o;
    o.sd = t / "card.img";
    ASSERT_TRUE(sim_start(o));
    ASSERT_TRUE(sim_run_until_idle(30000));
    sim_take_output(0);
    EXPECT_EQ(say("xmp 0 2 0").substr(0, 14), ":SD card error");
}

// The power goes at many points of a flash upload: the next start finds no image (the magic is
// programmed last), never half of one, and runs commands.
TEST_F(Upload, PowerCutsDuringAFlashUpload) {
    start(false);
    const uint32_t before = sim_board().flashWrites;
    ASSERT_EQ(say("xmc FEEB"), ":Erasing chip... done\r>\r");
    ASSERT_EQ(xmp(demo, 0, "xmp 0 0 0"), ":loading 192KB bitmap/macro file from data flash\r>\r");
    const uint32_t writes = sim_board().flashWrites - before; // the erase, the pages, the magic
    ASSERT_GT(writes, 700u);
    sim_stop();
    for (uint32_t cut : {1u, 2u, 3u, writes / 3, writes / 2, writes - 2, writes - 1, writes}) {
        SCOPED_TRACE("power cut at flash write " + std::to_string(cut) + " of " + std::to_string(writes));
        std::filesystem::remove(t / "flash.bin");
        start(false, (long)(before + cut));
        say("xmc FEEB");
        if (sim_power() != SimPower::Cut) xmp(demo, 0, "xmp 0 0 0");
        ASSERT_EQ(sim_power(), SimPower::Cut);
        restart(false);
        EXPECT_EQ(startup.rfind(":Data Flash header is not valid  Magic was 0x", 0), 0u) << startup;
        EXPECT_EQ(startup.substr(startup.size() - NO_IMAGE_TAIL.size()), NO_IMAGE_TAIL);
        EXPECT_EQ(say("ls"), ":External Memory not valid\r!\r");
        EXPECT_EQ(say("xmpmax"), "128\r>\r");
        sim_stop();
    }
}

// The power goes at many points of an upload into the card file, the card and the flash holding an
// older image: the next start loads the old card file (its deletion did not reach the card), or the
// flash's image when the new file is incomplete, never part of the new one.
TEST_F(Upload, PowerCutsDuringACardUploadFallBackToTheFlash) {
    writeFile(t / "tree/zefo5.bin", old);
    writeFile(t / "flash.bin", old); // the rest of the part reads erased
    start(true);
    ASSERT_EQ(startup.rfind(":loading", 0), 0u) << startup;
    const std::vector<uint8_t> before = readFile(t / "card.img");
    const std::string oldListing = say("ls");
    const uint32_t writesBefore = sim_board().cardBlockWrites;
    ASSERT_EQ(xmp(demo, 2, "xmp 0 2 0"), ">\r");
    const uint32_t writes = sim_board().cardBlockWrites - writesBefore;
    ASSERT_NE(say("ls"), oldListing);
    ASSERT_GT(writes, 380u);
    sim_stop();
    for (uint32_t cut : {1u, 2u, 5u, writes / 2, writes - 3, writes - 2, writes - 1, writes}) {
        SCOPED_TRACE("power cut at card write " + std::to_string(cut) + " of " + std::to_string(writes));
        writeFile(t / "card.img", before);
        start(true, -1, (long)(writesBefore + cut));
        xmp(demo, 2, "xmp 0 2 0");
        ASSERT_EQ(sim_power(), SimPower::Cut);
        restart(true);
        const std::string listing = say("ls");
        EXPECT_NE(startup.find(":loading 34KB bitmap/macro file from "), std::string::npos) << startup;
        EXPECT_EQ(listing, oldListing);
        EXPECT_EQ(say("*ls").find(":SD"), std::string::npos) << "the card still mounts";
        sim_stop();
    }
}

// With a card "xmc" erases nothing but takes the time an erase would: the host's wait stays right.
TEST_F(Upload, XmcWithACardOnlyWaits) {
    start(true);
    uint64_t t0 = sim_now();
    EXPECT_EQ(say("xmc FEEB 5"), ":Erasing sector 5... done\r>\r");
    EXPECT_GE(sim_now() - t0, 100ull * BSP_TIMER_HZ / 1000);
    t0 = sim_now();
    EXPECT_EQ(say("xmc FEEB"), ":Erasing chip... done\r>\r");
    EXPECT_GE(sim_now() - t0, 1000ull * BSP_TIMER_HZ / 1000);
    EXPECT_LT(sim_now() - t0, 1100ull * BSP_TIMER_HZ / 1000);
}

// The simulator program's power-cut options: the run ends with status 4 and says where; the cut
// write is done by half (flash) or not at all (card).
TEST_F(Upload, PowerCutOptionsOfTheProgram) {
    writeFile(t / "flash.bin", std::vector<uint8_t>(4u << 20, 0x00));
    Result r = run("printf 'xmc FEEB 2\\r' | " SIM_PROGRAM " --display none --flash " +
                   quote(t / "flash.bin") + " --flash-power-cut 1");
    EXPECT_EQ(r.status, 4) << r.out;
    EXPECT_NE(r.out.find("zefo5: power cut during data-flash write 1\n"), std::string::npos) << r.out;
    EXPECT_EQ(flashFile(0x20000, 0x8000), std::vector<uint8_t>(0x8000, 0xFF));
    EXPECT_EQ(flashFile(0x28000, 0x8000), std::vector<uint8_t>(0x8000, 0x00));

    std::string error;
    ASSERT_TRUE(cardMakeImage((t / "card.img").c_str(), (t / "tree").c_str(), &error, 32)) << error;
    const std::vector<uint8_t> card = readFile(t / "card.img");
    r = run("printf 'xmp 0 2 0\\r' | " SIM_PROGRAM " --display none --sd " + quote(t / "card.img") +
            " --card-power-cut 1");
    EXPECT_EQ(r.status, 4) << r.out;
    EXPECT_NE(r.out.find("zefo5: power cut during card block write 1\n"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(t / "card.img"), card);

    r = run(SIM_PROGRAM " --flash-power-cut 0 < /dev/null");
    EXPECT_EQ(r.status, 2) << r.out;
}

// Upload rates in bytes per second of virtual time at 115200 bit/s, the host answering each prompt
// at once: printed for the record, and bounded below so that a slow-down shows.
TEST_F(Upload, RatesAt115200) {
    start(false);
    ASSERT_EQ(say("xmc FEEB"), ":Erasing chip... done\r>\r");
    uint64_t t0 = sim_now();
    ASSERT_EQ(xmp(demo, 0, "xmp 0 0 0"), ":loading 192KB bitmap/macro file from data flash\r>\r");
    const double xmpRate = demo.size() / ((double)(sim_now() - t0) / (double)BSP_TIMER_HZ);
    ASSERT_EQ(say("xmc FEEB"), ":Erasing chip... done\r>\r");
    t0 = sim_now();
    ASSERT_EQ(bdld(demo, 0, 1000), ">\r");
    const double bdldRate = demo.size() / ((double)(sim_now() - t0) / (double)BSP_TIMER_HZ);
    printf("upload rates at 115200 bit/s: xmp %.0f bytes/s, bdld %.0f bytes/s (%zu-byte image)\n", xmpRate,
           bdldRate, demo.size());
    RecordProperty("xmp_bytes_per_second", (int)xmpRate);
    RecordProperty("bdld_bytes_per_second", (int)bdldRate);
    EXPECT_GT(xmpRate, 7000.0);
    EXPECT_GT(bdldRate, 10000.0);
}

} // namespace
