// The SD card slot on the test board: the identification sequence, debouncing, hot plug, block
// errors and their messages, the card commands, and a card pulled in the middle of a write.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/commands.h"
#include "base/parse.h"
#include "board/bsp/bsp.h"
#include "fat/ff.h"
#include "sdcard/sdcard.h"
#include "tests/storage/storage_board.h"
#include "tests/storage/test_util.h"

using namespace tu;

namespace {

int command(int (*handler)(char *), const char *line) {
    char buffer[131];
    snprintf(buffer, sizeof buffer, "%s", line);
    return handler(buffer);
}

class Sd : public ::testing::Test {
  protected:
    void SetUp() override { sb::powerOn(); }
    void TearDown() override { sb::powerOff(); }

    // A card made by mkfs.fat, with a few files put on it by mtools; its image file.
    std::string makeCard() {
        std::string img = t / "card.img";
        mkfs(img, 8192, "-F 16 -s 1");
        writeFile(t / "a", randomBytes(3000, 1));
        mcopyIn(img, t / "a", "README");
        writeFile(t / "b", randomBytes(100, 2));
        mcopyIn(img, t / "b", "A.TXT");
        mcopyIn(img, t / "b", "HIDDEN.TXT");
        mcopyIn(img, t / "b", "SYS.BIN");
        EXPECT_EQ(run("mmd -i " + quote(img) + " ::SUB").status, 0);
        mcopyIn(img, t / "b", "SUB/IN.TXT");
        EXPECT_EQ(run("mattrib -i " + quote(img) + " +h ::HIDDEN.TXT").status, 0);
        EXPECT_EQ(run("mattrib -i " + quote(img) + " +s ::SYS.BIN").status, 0);
        EXPECT_EQ(run("mlabel -i " + quote(img) + " ::ZEFOCARD").status, 0);
        return img;
    }
    void insert() { ASSERT_TRUE(testboard::insertCard(makeCard())); }
    // Inserted and held for the debounce time, then set up by the main loop.
    void insertReady() {
        insert();
        testboard::runFor(SD_DEBOUNCE_MS + 1);
        SDcheckHotplug();
        ASSERT_TRUE(SDisInitialized());
    }
    // The card's image as the card holds it now.
    std::string card() { return t / "card.img"; }
    TempDir t;
};

TEST_F(Sd, IdentificationSequence) {
    insert();
    testboard::cardCommands().clear();
    ASSERT_EQ(SDCardInit(), SD_OK);
    // CMD0; CMD55 + ACMD41 until powered up (the card answers "busy" three times); CID, address,
    // CSD, select; 4-bit bus.
    const std::vector<int> expected = {0, 55, 141, 55, 141, 55, 141, 55, 141, 2, 3, 9, 7, 55, 106};
    EXPECT_EQ(sb::commands(), expected);
    EXPECT_EQ(sim_board().sdBusWidth, 4);
    EXPECT_EQ(sim_board().sdClock, BSP_SD_CLOCK_FULL);
    // 1 ms between power-up polls; 105 us after each identification command, which takes 250 us
    // on the bus at the identification clock.
    const std::vector<SimCardCommand> &log = testboard::cardCommands();
    for (size_t i = 1; i < log.size(); i++) {
        uint64_t gap = log[i].at - log[i - 1].at;
        if (log[i - 1].app && log[i - 1].cmd == 41 && log[i].cmd == 55) // "busy": the next poll
            EXPECT_GE(gap, SIM_COUNTS_PER_MS) << i;
        else
            EXPECT_GE(gap, (250u + 105u) * SIM_COUNTS_PER_MS / 1000) << i;
    }
    EXPECT_EQ(SDCardSectors(), 8192u * 2);
    char cid[80];
    SDCardGetCIDString(cid);
    EXPECT_STREQ(cid, "MID=90\rOID=5A46h\rPNM=ZSIM5\rPSN=074565\rMDT=24/06\r");
    // A block transfer: ready check, the block, the clock off afterwards.
    testboard::cardCommands().clear();
    uint8_t block[512];
    ASSERT_EQ(SDCardReadBlock(512, block), SD_OK);
    EXPECT_EQ(sb::commands(), (std::vector<int>{13, 17}));
    EXPECT_EQ(sim_board().sdClock, BSP_SD_CLOCK_OFF);
    EXPECT_EQ(memcmp(block, readFile(card()).data() + 512, 512), 0);
    EXPECT_EQ(sb::take(), "");
}

TEST_F(Sd, DebounceAndHotPlug) {
    // In for 40 ms, then out: never initialised.
    insert();
    testboard::runFor(40);
    sim_card(false);
    testboard::runFor(200);
    SDcheckHotplug();
    EXPECT_EQ(SDhotplug, SD_NO_CARD);
    // A bouncing contact never stays long enough either.
    for (int i = 0; i < 20; i++) {
        sim_card(i % 2 == 0);
        testboard::runFor(30);
        SDcheckHotplug();
    }
    EXPECT_TRUE(sb::commands().empty());
    EXPECT_EQ(SDhotplug, SD_NO_CARD);
    // More than 50 ms of card: initialised by the main loop.
    sim_card(true);
    testboard::runFor(50);
    EXPECT_EQ(SDhotplug, SD_NO_CARD);
    testboard::runFor(1);
    EXPECT_EQ(SDhotplug, SD_INSERTED);
    EXPECT_FALSE(SDisInitialized());
    SDcheckHotplug();
    EXPECT_TRUE(SDisInitialized());
    EXPECT_TRUE(ff::ffMounted());
    // Out for more than 50 ms: cleaned up.
    sim_card(false);
    testboard::runFor(50);
    EXPECT_EQ(SDhotplug, SD_READY);
    testboard::runFor(1);
    EXPECT_EQ(SDhotplug, SD_REMOVED);
    SDcheckHotplug();
    EXPECT_EQ(SDhotplug, SD_NO_CARD);
    EXPECT_FALSE(ff::ffMounted());
    EXPECT_EQ(sim_board().sdPower, 0);
    EXPECT_EQ(sb::take(), "");
}

TEST_F(Sd, CardThatNeverPowersUp) {
    testboard::cardQuirks().neverPowersUp = true;
    insert();
    testboard::runFor(SD_DEBOUNCE_MS + 1);
    SDcheckHotplug();
    EXPECT_EQ(SDhotplug, SD_INIT_FAILED);
    int polls = 0;
    for (int c : sb::commands()) polls += c == 141;
    EXPECT_EQ(polls, 200);
    EXPECT_EQ(sim_board().sdClock, BSP_SD_CLOCK_OFF);
    // It stays failed while it is in the slot, and is forgotten when it leaves.
    testboard::cardCommands().clear();
    testboard::runFor(1000);
    SDcheckHotplug();
    EXPECT_EQ(SDhotplug, SD_INIT_FAILED);
    EXPECT_TRUE(sb::commands().empty());
    sim_card(false);
    testboard::runFor(SD_DEBOUNCE_MS + 1);
    SDcheckHotplug();
    EXPECT_EQ(SDhotplug, SD_NO_CARD);
    EXPECT_EQ(sb::take(), ""); // no message for a card that does not answer
    // At start-up without a card: failed, then the slot logic takes over.
    EXPECT_EQ(initialize_media(), SD_ERR_NO_CARD);
    SDhotplugFailedToInit();
    testboard::runFor(SD_DEBOUNCE_MS + 1);
    SDcheckHotplug();
    EXPECT_EQ(SDhotplug, SD_NO_CARD);
}

TEST_F(Sd, ErrorFlagsAndTheirMessages) {
    insertReady();
    uint8_t block[512];
    testboard::cardQuirks().failNextRead =
        BSP_SD_ERR_DATA_TIMEOUT | BSP_SD_ERR_CRC_READ | BSP_SD_ERR_RESP_CRC;
    EXPECT_EQ(SDCardReadBlock(0, block), SD_ERR_TRANSFER);
    EXPECT_EQ(sb::take(), ":!SD Card: Time-Out Read Data Error\r:!SD Card: CRC Read Error\r"
                          ":!SD Card: Response CRC Error\r");
    testboard::cardQuirks().failNextWrite = BSP_SD_ERR_WRITE_STATUS | BSP_SD_ERR_CRC_WRITE;
    EXPECT_EQ(SDCardWriteBlock(0, block), SD_ERR_TRANSFER);
    EXPECT_EQ(sb::take(), ":!SD Card: CRC Write Error\r:!SD Card: Write CRC Error Code\r");
    // Beyond the card: the card's own status refuses it.
    EXPECT_EQ(SDCardReadBlock(8192u * 1024, block), SD_ERR_TRANSFER);
    EXPECT_EQ(sb::take(), "");
    EXPECT_EQ(SDCardReadBlock(0, block), SD_OK);
    testboard::cardQuirks().failNextRead = BSP_SD_ERR_CRC_READ;
    EXPECT_EQ(SDCardReadBlock(0, block), SD_ERR_TRANSFER);
    EXPECT_EQ(SDCardTakeErrors(), 0u); // already reported and cleared
    EXPECT_EQ(sb::take(), ":!SD Card: CRC Read Error\r");
    // The card has gone: nothing answers.
    sim_card(false);
    EXPECT_EQ(SDCardReadBlock(0, block), SD_ERR_TRANSFER);
    EXPECT_EQ(sb::take(), ":!SD Card: Time-Out Response Error\r");
}

TEST_F(Sd, DirectoryCommands) {
    EXPECT_EQ(command(cmd_sys_cd, "*cd SUB"), CMD_FAIL);
    EXPECT_EQ(sb::take(), ":SD Card not ready\r");
    EXPECT_EQ(command(cmd_sys_ls, "*ls"), CMD_FAIL);
    EXPECT_EQ(sb::take(), ":SD Card not ready\r");
    insertReady();
    // Hidden, system and volume-label entries are not listed; no dot without an extension.
    EXPECT_EQ(command(cmd_sys_ls, "*ls"), CMD_OK);
    EXPECT_EQ(sb::take(), "README\rA.TXT\rSUB/\r");
    EXPECT_EQ(command(cmd_sys_cd, "*cd sub"), CMD_OK);
    EXPECT_EQ(command(cmd_sys_ls, "*ls"), CMD_OK);
    EXPECT_EQ(sb::take(), "./\r../\rIN.TXT\r");
    EXPECT_EQ(command(cmd_sys_cd, "*cd NOPE"), CMD_FAIL);
    EXPECT_EQ(sb::take(), ":SD Card, chdir(\"NOPE\") FAILED\r");
    EXPECT_EQ(command(cmd_sys_cd, "*cd .."), CMD_OK);
    EXPECT_EQ(command(cmd_sys_cd, "*cd"), CMD_FAIL);
    EXPECT_EQ(sb::take(), "");
}

TEST_F(Sd, WriteTestFileAndActivityLed) {
    EXPECT_EQ(command(cmd_fopen, "fopen"), CMD_FAIL);
    EXPECT_EQ(sb::take(), ":SD Card not ready\r");
    insertReady();
    EXPECT_EQ(command(cmd_sys_sdled, "*sdled 1"), CMD_OK);
    EXPECT_EQ(sim_board().sdLed, 1);
    EXPECT_EQ(command(cmd_fopen, "fopen"), CMD_OK);
    EXPECT_EQ(sim_board().sdLed, 1); // back to the chosen level
    EXPECT_EQ(command(cmd_sys_sdled, "*sdled 0"), CMD_OK);
    EXPECT_EQ(sim_board().sdLed, 0);
    ff::FF_FILE *f = SD_fopen("README", ff::FF_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(sim_board().sdLed, 1);
    SD_fclose(f);
    EXPECT_EQ(sim_board().sdLed, 0);
    EXPECT_EQ(command(cmd_sys_sdled, "*sdled"), CMD_FAIL);
    std::string report;
    EXPECT_TRUE(fsckClean(card(), &report)) << report;
    EXPECT_EQ(mcopyOut(card(), "MYTEST.INI").size(), 10240u);
}

TEST_F(Sd, CardPulledWhileWriting) {
    insertReady();
    std::vector<uint8_t> readme = randomBytes(3000, 1);
    testboard::cardQuirks().removeAfterTransfers = 6;
    ff::FF_FILE *f = SD_fopen("NEW.BIN", ff::FF_WRITE);
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> data = randomBytes(20000, 5);
    EXPECT_LT(ff::fwrite(data.data(), 1, (uint32_t)data.size(), f), data.size());
    EXPECT_NE(SD_fclose(f), 0);
    EXPECT_NE(sb::take().find(":!SD Card: Time-Out"), std::string::npos);
    bool ok;
    readCardFile("README", &ok); // nothing can be read until the slot logic ran
    EXPECT_FALSE(ok);
    testboard::runFor(SD_DEBOUNCE_MS + 1);
    SDcheckHotplug();
    EXPECT_EQ(SDhotplug, SD_NO_CARD);
    EXPECT_EQ(sim_board().sdLed, 0);
    // Back in: the card mounts again and its other files are intact.
    sim_card(true);
    testboard::runFor(SD_DEBOUNCE_MS + 1);
    SDcheckHotplug();
    ASSERT_TRUE(SDisInitialized());
    EXPECT_EQ(readCardFile("README"), readme);
    EXPECT_EQ(mcopyOut(card(), "README"), readme);
    EXPECT_EQ(mcopyOut(card(), "SUB/IN.TXT"), randomBytes(100, 2));
}

TEST_F(Sd, ScreenDumpFiles) {
    EXPECT_EQ(command(cmd_sys_getScreenAsBMPFile, "*getScreenAsBMPFile"), CMD_FAIL);
    EXPECT_EQ(sb::take(), ":SD Card not initialized\r");
    insertReady();
    EXPECT_EQ(command(cmd_sys_getScreenAsBMPFile, "*getScreenAsBMPFile"), CMD_OK);
    // A dot every half second of writing (the stand-in writer takes 100 ms a byte).
    EXPECT_EQ(sb::take(), ":writing SD File ZEFO0000.BMP............\r");
    EXPECT_EQ(command(cmd_sys_getScreenAsBMPFile, "*getScreenAsBMPFile"), CMD_OK);
    EXPECT_EQ(sb::take(), ":writing SD File ZEFO0001.BMP............\r");
    EXPECT_EQ(mcopyOut(card(), "ZEFO0000.BMP"), standin::screenBmp());
    EXPECT_EQ(mcopyOut(card(), "ZEFO0001.BMP"), standin::screenBmp());
    std::string report;
    EXPECT_TRUE(fsckClean(card(), &report)) << report;
    // The card fails under the writer: one message, and the command fails.
    standin::bmpExtra = 5000;
    standin::bmpMsPerByte = 0;
    testboard::cardQuirks().removeAfterTransfers = 4;
    EXPECT_EQ(command(cmd_sys_getScreenAsBMPFile, "*getScreenAsBMPFile"), CMD_FAIL);
    std::string out = sb::take();
    EXPECT_EQ(out.find(":error writing BMP file\r"), out.rfind(":error writing BMP file\r")) << out;
    EXPECT_NE(out.find(":error writing BMP file\r"), std::string::npos) << out;
}

TEST_F(Sd, EepromByteWindow) {
    EXPECT_EQ(command(cmd_i2c_read, "i2c read 5"), CMD_OK);
    EXPECT_EQ(sb::take(), "05 = FF\r");
    EXPECT_EQ(command(cmd_i2c_write, "i2c write 1234 1AB"), CMD_OK);
    EXPECT_EQ(sb::take(), "1234 = AB\r");
    EXPECT_EQ(testboard::eeprom()[0x1234], 0xAB);
    EXPECT_EQ(command(cmd_i2c_read, "i2c read 1234"), CMD_OK);
    EXPECT_EQ(sb::take(), "1234 = AB\r");
    EXPECT_EQ(command(cmd_i2c_write, "i2c write ff 7"), CMD_OK);
    EXPECT_EQ(sb::take(), "FF = 07\r");
    EXPECT_EQ(command(cmd_i2c_read, "i2c read 100"), CMD_OK);
    EXPECT_EQ(sb::take(), "0100 = FF\r");
    EXPECT_EQ(command(cmd_i2c_write, "i2c write 5"), CMD_FAIL);
}

} // namespace
