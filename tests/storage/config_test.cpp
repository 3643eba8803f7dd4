// The configuration store on the test board: defaults, repair of one copy from the other,
// upgrades, "config.ini", "currconf.txt" (read back with mtools), the EEPROM commands, and a save
// cut by a power loss after every single byte write.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/config_file.h"
#include "base/parse.h"
#include "config/panel.h"
#include "macro/macro.h"
#include "sdcard/sdcard.h"
#include "settings/settings.h"
#include "tests/storage/storage_board.h"
#include "tests/storage/test_util.h"

using namespace tu;

namespace {

int command(int (*handler)(char *), const char *line) {
    char buffer[131];
    snprintf(buffer, sizeof buffer, "%s", line);
    return handler(buffer);
}

std::vector<uint8_t> ramBlock() {
    return std::vector<uint8_t>(eepromData, eepromData + CONFIG_BLOCK_SIZE);
}
std::vector<uint8_t> &ee() {
    return testboard::eeprom();
}
std::vector<uint8_t> copyAt(uint16_t base) {
    return std::vector<uint8_t>(ee().begin() + base, ee().begin() + base + CONFIG_BLOCK_SIZE);
}
uint16_t u16(const std::vector<uint8_t> &b, int o) {
    return (uint16_t)(b[o] | b[o + 1] << 8);
}
uint32_t u32(const std::vector<uint8_t> &b, int o) {
    return u16(b, o) | (uint32_t)u16(b, o + 2) << 16;
}
void put16(uint16_t o, uint16_t v) {
    cfgSetU16(o, v);
}

// The bytes a copy is compared on: everything but 0x46-0x51.
std::vector<uint8_t> summed(std::vector<uint8_t> b) {
    for (int i = 0x46; i < 0x52; i++) b[i] = 0;
    return b;
}

// A power-up as far as the configuration goes.
void start() {
    memset(eepromData, 0x5A, CONFIG_BLOCK_SIZE);
    QV_EEPROM_LoadAndFix();
    QV_EEPROM_Init();
}

// Writes the RAM block to both copies in the EEPROM, as a good earlier run left them.
void storeBoth() {
    for (uint16_t base : {EE_COPY_A, EE_COPY_B}) {
        for (uint32_t i = 0; i < CONFIG_BLOCK_SIZE; i++) ee()[base + i] = eepromData[i];
        ee()[base + EE_CHECKSUM] = QV_EEPROM_Checksum(eepromData);
    }
}

class Config : public ::testing::Test {
  protected:
    void SetUp() override { sb::powerOn(); }
    void TearDown() override { sb::powerOff(); }
    // Everything back to power-on, the EEPROM blank.
    void fresh() {
        sb::powerOff();
        sb::powerOn();
    }

    // A card with the given config.ini in its root, mounted as at start-up.
    void cardWithIni(const std::string &ini) {
        std::string img = t / "card.img";
        mkfs(img, 4096, "-F 12");
        writeText(t / "config.ini", ini);
        mcopyIn(img, t / "config.ini", "config.ini");
        ASSERT_TRUE(testboard::insertCard(img));
        ASSERT_EQ(initialize_media(), SD_OK);
        SDhotplugInitialized();
    }
    std::string card() { return t / "card.img"; } // the image as the card holds it now
    TempDir t;
};

TEST_F(Config, BlankEepromGetsTheDefaultsInBothCopies) {
    start();
    std::vector<uint8_t> a = copyAt(EE_COPY_A), b = copyAt(EE_COPY_B);
    EXPECT_EQ(summed(a), summed(ramBlock()));
    EXPECT_EQ(summed(b), summed(ramBlock()));
    EXPECT_EQ(ee()[0x0FF], QV_EEPROM_Checksum(eepromData));
    EXPECT_EQ(ee()[0x1FF], QV_EEPROM_Checksum(eepromData));
    EXPECT_TRUE(QV_EEPROMvalid());
    // The table, field by field.
    EXPECT_EQ(u16(a, 0x00), 0x1255);
    EXPECT_EQ(a[0x02], 10);
    const bool vga = panelConfig.width == 640;
    const int32_t old[8] = {15, vga ? 624 : 784, 150, 850, 464, 15, 850, 150};
    for (int i = 0; i < 8; i++) EXPECT_EQ((int32_t)u32(a, 0x04 + 4 * i), old[i]) << i;
    EXPECT_EQ(u16(a, 0x24), 250);
    EXPECT_EQ(u16(a, 0x26), 700);
    EXPECT_EQ(a[0x28], 10);
    EXPECT_EQ(a[0x29], 8);
    EXPECT_EQ(a[0x2A], 12);
    EXPECT_EQ(a[0x2B], 0);
    EXPECT_EQ(u32(a, 0x2C), 2600u);
    EXPECT_EQ(a[0x30], 200);
    EXPECT_EQ(a[0x31], 255);
    EXPECT_EQ(a[0x32], 255);
    EXPECT_EQ(a[0x33], 75);
    EXPECT_EQ(u32(a, 0x34), 100u);
    EXPECT_EQ(a[0x38], 20);
    const uint8_t bytes39[] = {0xFF, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0D, 0, 0xFF, 0xFF};
    for (int i = 0; i < 13; i++) EXPECT_EQ(a[0x39 + i], bytes39[i]) << std::hex << 0x39 + i;
    EXPECT_EQ(a[0x52], 0);
    for (int i = 0x53; i <= 0x58; i++) EXPECT_EQ(a[i], 0xFF);
    EXPECT_EQ(a[0x59], vga ? 0 : panelConfig.maxBrite);
    EXPECT_EQ(a[0x5A], vga ? 242 : panelConfig.minBrite);
    EXPECT_EQ(a[0x5B], 1);
    EXPECT_EQ(a[0x5C], 0);
    for (int i = 0x5D; i < 0x7D; i++) EXPECT_EQ(a[i], 0);
    const uint8_t bytes7D[] = {0, 0xFF, 1, 7, 7, 0, 0xAA};
    for (int i = 0; i < 7; i++) EXPECT_EQ(a[0x7D + i], bytes7D[i]);
    const int16_t cal[20] = {
        (int16_t)(vga ? 319 : 399),
        20,
        (int16_t)(vga ? 619 : 779),
        (int16_t)(vga ? 619 : 779),
        20,
        500,
        850,
        150,
        150,
        850,
        239,
        20,
        20,
        459,
        459,
        500,
        150,
        150,
        850,
        850,
    };
    for (int i = 0; i < 20; i++) EXPECT_EQ((int16_t)u16(a, 0x84 + 2 * i), cal[i]) << i;
    EXPECT_EQ(a[0xAC], 1);
    EXPECT_EQ(a[0xAD], 0xFF);
    // The next start finds both copies good and writes nothing.
    long writes = sb::eepromWrites();
    start();
    EXPECT_EQ(sb::eepromWrites(), writes);
    EXPECT_EQ(sb::take(), "");
}

TEST_F(Config, OneCopyIsRepairedFromTheOther) {
    start();
    const std::vector<uint8_t> good = ramBlock();
    ee()[0x24] ^= 0x55; // copy A damaged
    start();
    EXPECT_EQ(summed(ramBlock()), summed(good));
    EXPECT_EQ(summed(copyAt(EE_COPY_A)), summed(good));
    EXPECT_EQ(ee()[0x0FF], ee()[0x1FF]);
    ee()[0x01] = 0x00; // copy A no longer readable at all
    start();
    EXPECT_EQ(summed(copyAt(EE_COPY_A)), summed(good));
    ee()[0x1FF] ^= 1; // copy B's checksum damaged
    start();
    EXPECT_EQ(ee()[0x1FF], ee()[0x0FF]);
    EXPECT_EQ(summed(copyAt(EE_COPY_B)), summed(good));
    EXPECT_EQ(summed(ramBlock()), summed(good));
}

TEST_F(Config, BlocksOfOlderFirmwareAreUpgraded) {
    // Version 0x1257: the calibration comes from the eight old words.
    QV_EEPROM_SetDefaults();
    put16(CFG_VERSION, 0x1257);
    const int32_t old[8] = {30, 770, 140, 860, 450, 25, 830, 170};
    for (int i = 0; i < 8; i++) cfgSetU32((uint16_t)(CFG_OLD_CAL + 4 * i), (uint32_t)old[i]);
    eepromData[CFG_BAUD0] = 9; // outside 3..8
    eepromData[CFG_BAUD1] = 4; // kept
    eepromData[CFG_LCD_SHIFT_CLOCK] = 5;
    eepromData[CFG_AUTOCAL] = 0xA5;
    eepromData[CFG_MAIN_PORT] = 3;
    eepromData[CFG_EXTERNAL_SPEAKER] = 1;
    eepromData[CFG_MARKER_AA] = 0x00;
    storeBoth();
    start();
    std::vector<uint8_t> b = ramBlock();
    const int16_t cal[20] = {400, 30, 770, 770, 30,  500, 140, 860, 860, 140,
                             237, 25, 25,  450, 450, 500, 170, 170, 830, 830};
    for (int i = 0; i < 20; i++) EXPECT_EQ((int16_t)u16(b, 0x84 + 2 * i), cal[i]) << i;
    EXPECT_EQ(u16(b, 0), 0x1255);
    EXPECT_EQ(b[CFG_BAUD0], 7);
    EXPECT_EQ(b[CFG_BAUD1], 4);
    EXPECT_EQ(b[CFG_LCD_SHIFT_CLOCK], 1);
    EXPECT_EQ(b[CFG_AUTOCAL], 0);
    EXPECT_EQ(b[CFG_MAIN_PORT], 0);
    EXPECT_EQ(b[CFG_EXTERNAL_SPEAKER], 1); // only a 0x1255 block loses it
    EXPECT_EQ(b[CFG_MARKER_AA], 0xAA);
    EXPECT_EQ(b[CFG_MARKER_01], 1);
    EXPECT_EQ(summed(copyAt(EE_COPY_A)), summed(b)); // and saved
    EXPECT_EQ(summed(copyAt(EE_COPY_B)), summed(b));

    // Version 0x1259: 32-bit calibration values from 0x84, eleven of which fit.
    fresh();
    QV_EEPROM_SetDefaults();
    put16(CFG_VERSION, 0x1259);
    for (int i = 0; i < 11; i++)
        cfgSetU32((uint16_t)(0x84 + 4 * i), (uint32_t)(int32_t)(100 + i - (i == 3) * 200));
    storeBoth();
    start();
    b = ramBlock();
    int16_t defaults[20];
    for (int i = 0; i < 20; i++) defaults[i] = (int16_t)u16(b, 0x84 + 2 * i); // read below
    for (int i = 0; i < 11; i++) EXPECT_EQ(defaults[i], 100 + i - (i == 3) * 200) << i;
    EXPECT_EQ(defaults[11], 20);
    EXPECT_EQ(defaults[19], 850);

    // A 0x1255 block without the layout marker: rebuilt, and the external speaker is switched off.
    fresh();
    QV_EEPROM_SetDefaults();
    eepromData[CFG_MARKER_AA] = 0x12;
    eepromData[CFG_EXTERNAL_SPEAKER] = 1;
    storeBoth();
    start();
    EXPECT_EQ(eepromData[CFG_EXTERNAL_SPEAKER], 0);
    EXPECT_EQ(eepromData[CFG_MARKER_AA], 0xAA);
    EXPECT_EQ((int16_t)cfgU16(CFG_CAL_LOG_X + 2), 15); // from the old words of the defaults
}

TEST_F(Config, IniKeysNeedBlanksAroundTheirValue) {
    cardWithIni("tplo=300\r\n");
    start();
    EXPECT_EQ(cfgU16(CFG_TPLO), 250);
    fresh();
    cardWithIni("tplo = 300\r\n");
    start();
    EXPECT_EQ(cfgU16(CFG_TPLO), 300);
    EXPECT_EQ(u16(copyAt(EE_COPY_A), CFG_TPLO), 300); // saved
    EXPECT_EQ(u16(copyAt(EE_COPY_B), CFG_TPLO), 300);
    fresh();
    cardWithIni("tplo 280\n");
    start();
    EXPECT_EQ(cfgU16(CFG_TPLO), 280);
    fresh();
    cardWithIni("#tplo = 300\n# tphi 100\ntplo = 260\n");
    start();
    EXPECT_EQ(cfgU16(CFG_TPLO), 260);
    EXPECT_EQ(cfgU16(CFG_TPHI), 700);
    // The first uncommented occurrence decides, even when a later one would parse.
    fresh();
    cardWithIni("tplo=1\ntplo = 2\n");
    start();
    EXPECT_EQ(cfgU16(CFG_TPLO), 250);
    EXPECT_EQ(sb::take(), "");
}

TEST_F(Config, IniConversions) {
    cardWithIni("autoCal = 1\norient = 7\ntouchSwap = 5\ninvEnaHiTrue 0\nauxEsc = 1b\nbeepFreq = 3000\n"
                "debounce = -5\nPONMAC = 261\nSPL = 3\nexternalSpeaker = 2\nmacdebug = 3\n"
                "baud0 = 9600\nbaud1 = 14400\nmainPort = 2\nhfp = 300\nconfig = \"Hall \\x41\"\n");
    start();
    EXPECT_EQ(eepromData[CFG_AUTOCAL], 0xA5);
    EXPECT_EQ(eepromData[CFG_ORIENT], 3);
    EXPECT_EQ(eepromData[CFG_TOUCH_SWAP], 1);
    EXPECT_EQ(eepromData[CFG_AUX_ESC], 0x1B);
    EXPECT_EQ(cfgU32(CFG_BEEP_FREQ), 3000u);
    EXPECT_EQ((int32_t)cfgU32(CFG_DEBOUNCE), -5);
    EXPECT_EQ(eepromData[CFG_PONMAC], 5);
    EXPECT_EQ(eepromData[CFG_PONMAC_QUIET], 0xA5);
    EXPECT_EQ(eepromData[CFG_SPLASH_ON], 0xA5);
    EXPECT_EQ(eepromData[CFG_SPLASH_BITMAP], 3);
    EXPECT_EQ(eepromData[CFG_EXTERNAL_SPEAKER], 0);
    EXPECT_EQ(macroVerbose, 1);
    EXPECT_EQ(eepromData[CFG_BAUD0], 3);
    EXPECT_EQ(eepromData[CFG_BAUD1], 7);     // 14400 has no code
    EXPECT_EQ(eepromData[CFG_MAIN_PORT], 0); // 2 is not a port
    EXPECT_EQ(eepromData[CFG_HFP], 300 & 0xFF);
    EXPECT_STREQ((const char *)&eepromData[CFG_CONFIG_NAME], "Hall A");
    EXPECT_EQ(standin::mainPortSwitches, 0);
    EXPECT_EQ(sb::take(), "");
    // Switching back: "SPL" 0 only clears the switch; "PONMAC" 0 clears the quiet flag.
    fresh();
    QV_EEPROM_SetDefaults();
    eepromData[CFG_SPLASH_ON] = 0xA5;
    eepromData[CFG_SPLASH_BITMAP] = 9;
    eepromData[CFG_PONMAC_QUIET] = 0xA5;
    eepromData[CFG_PONMAC] = 4;
    storeBoth();
    cardWithIni("SPL = 0\nPONMAC = 256\nmainPort = 1\n");
    start();
    EXPECT_EQ(eepromData[CFG_SPLASH_ON], 0xFF);
    EXPECT_EQ(eepromData[CFG_SPLASH_BITMAP], 9);
    EXPECT_EQ(eepromData[CFG_PONMAC_QUIET], 0xFF);
    EXPECT_EQ(eepromData[CFG_PONMAC], 0);
    EXPECT_EQ(eepromData[CFG_MAIN_PORT], 1);
    EXPECT_EQ(standin::mainPortSwitches, 1); // switched at once
    EXPECT_EQ(standin::mainPort, 1);
}

TEST_F(Config, VerboseIniReportsEveryKey) {
    cardWithIni("verbose = 1\ntplo = 300\ntsamp=3\ntspan = 2\nauxEsc 0x41\nbaud1 = 14400\nbaud0 = 57600\n"
                "config = \"demo\"\n");
    start();
    EXPECT_EQ(sb::take(), ":config.ini verbose mode enabled\r"
                          ":tplo = 300\r"
                          ":Syntax error \"tsamp=3\"\r"
                          ":tspan = 2\r"
                          ":auxEsc = 0x41\r"
                          ":baud0 = 57600\r"
                          ":new rate will take effect on next powerup/reset\r"
                          ":baud1 = 14400\r"
                          ":new rate not valid, not saved\r"
                          ":config = \"demo\"\r"
                          ":tspan too low!! Set to default (12)\r"
                          ":storing new values in EEPROM\r");
    EXPECT_EQ(eepromData[CFG_TSPAN], 12);
    // "verbose" with 0 announces itself but echoes nothing.
    fresh();
    cardWithIni("verbose = 0\ntplo = 300\n");
    start();
    EXPECT_EQ(sb::take(), ":config.ini verbose mode enabled\r");
    // A file that changes nothing writes nothing.
    long writes = sb::eepromWrites();
    ff::ffUnmount();
    ASSERT_EQ(initialize_media(), SD_OK);
    start();
    EXPECT_EQ(sb::eepromWrites(), writes);
}

TEST_F(Config, CurrentConfigurationFile) {
    start();
    EXPECT_EQ(QV_EEPROM_saveConfigToFile(), 0);
    EXPECT_EQ(sb::take(), ":SD Card not initialized\r");
    cardWithIni("config = \"demo\"\n");
    start();
    ASSERT_EQ(command(cmd_sys_getConfigAsFile, "*getConfigAsFile"), CMD_OK);
    EXPECT_EQ(sb::take(), ":writing SD File currconf.txt\r");
    ASSERT_EQ(command(cmd_sys_getConfigAsFile, "*getConfigAsFile"), CMD_OK);
    EXPECT_EQ(sb::take(), ":existing config file removed\r:writing SD File currconf.txt\r");
    std::string expected = "##########################################################\r\n"
                           "# active config data generated by *getConfigAsFile command\r\n"
                           "##########################################################\r\n"
                           "autoCal = 0\r\norient = 0\r\ninvEnaHiTrue = 0\r\ntouchSwap = 0\r\n"
                           "tplo = 250\r\ntphi = 700\r\ntsamp = 8\r\ntspan = 12\r\ntouchMode = 0\r\n"
                           "tcTimeout = 10\r\nauxEsc = 0x0d\r\nbeepFreq = 2600\r\nbeepVol = 200\r\n"
                           "typematicDelay = 75\r\ntypematicRepeat = 20\r\ndebounce = 100\r\nPONMAC = 0\r\n"
                           "SPL = 0\r\nhfp = 255\r\nhpw = 255\r\nhbp = 255\r\nvfp = 255\r\nvpw = 255\r\n"
                           "vbp = 255\r\nmaxBrite = " +
                           std::to_string(panelConfig.maxBrite) +
                           "\r\nminBrite = " + std::to_string(panelConfig.minBrite) +
                           "\r\nbrite = 255\r\npwmIsEnable = 1\r\nmainPort = 0\r\nLCDshiftclock = 1\r\n"
                           "baud0 = 115200\r\nbaud1 = 115200\r\nexternalSpeaker = 0\r\nconfig = \"demo\"\r\n";
    std::string img = card();
    std::vector<uint8_t> file = mcopyOut(img, "currconf.txt");
    EXPECT_EQ(std::string(file.begin(), file.end()), expected);
    std::string report;
    EXPECT_TRUE(fsckClean(img, &report)) << report;
    // The file read back as config.ini changes nothing.
    std::string ini = expected;
    fresh();
    cardWithIni(ini);
    QV_EEPROM_SetDefaults();
    memcpy(&eepromData[CFG_CONFIG_NAME], "demo", 5);
    storeBoth();
    long writes = sb::eepromWrites();
    start();
    EXPECT_EQ(sb::eepromWrites(), writes);
    // A block that is not valid is not written out.
    eepromData[CFG_MARKER_AA] = 0;
    EXPECT_EQ(QV_EEPROM_saveConfigToFile(), 0);
    EXPECT_EQ(sb::take(), ":EEPROM invalid\r");
}

TEST_F(Config, UserAreaAndDumpCommands) {
    start();
    ee()[0x10FF] = 0x3C;
    EXPECT_EQ(command(cmd_sys_eer, "*eer 1FF"), CMD_OK);
    EXPECT_EQ(sb::take(), "FF = 3C\r");
    EXPECT_EQ(command(cmd_sys_eer, "*eerc ff"), CMD_OK);
    EXPECT_EQ(sb::take(), "3C\r");
    EXPECT_EQ(command(cmd_sys_eer, "*eer"), CMD_FAIL);
    long writes = sb::eepromWrites();
    EXPECT_EQ(command(cmd_sys_eew, "*eew 3 141"), CMD_OK);
    EXPECT_EQ(sb::take(), "03 = 41\r");
    EXPECT_EQ(ee()[0x1003], 0x41);
    EXPECT_EQ(command(cmd_sys_eew, "*eewc 103 41"), CMD_OK); // same value: not written again
    EXPECT_EQ(sb::eepromWrites(), writes + 1);
    EXPECT_EQ(sb::take(), "");
    EXPECT_EQ(command(cmd_sys_eew, "*eew 3"), CMD_FAIL);

    // The dump: 22 lines of copy A, characters 0x21-0x79 shown as themselves.
    ee()[0xA8] = '!';
    ee()[0xA9] = 'y';
    ee()[0xAA] = 'z';
    ee()[0xAB] = ' ';
    EXPECT_EQ(command(cmd_sys_eed, "*eed"), CMD_OK);
    std::string dump = sb::take();
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\r'), 22);
    EXPECT_EQ(dump.substr(0, 37), "00: 55 12 0A FF 0F 00 00 00 U.......\r");
    EXPECT_EQ(dump.substr(dump.size() - 37), "A8: 21 79 7A 20 01 FF FF FF !y......\r");

    // Clearing: the user area but its last byte, one copy, both copies.
    for (int i = 0x1000; i < 0x1100; i++) ee()[i] = 0;
    EXPECT_EQ(command(cmd_sys_eec, "*eec 0"), CMD_OK);
    EXPECT_EQ(ee()[0x1000], 0xFF);
    EXPECT_EQ(ee()[0x10FE], 0xFF);
    EXPECT_EQ(ee()[0x10FF], 0x00);
    EXPECT_EQ(command(cmd_sys_eec, "*eec 7"), CMD_OK); // nothing
    EXPECT_EQ(command(cmd_sys_eec, "*eec 2"), CMD_OK);
    EXPECT_EQ(ee()[0x101], 0xFF);
    EXPECT_EQ(ee()[0x001], 0x12);
    EXPECT_EQ(command(cmd_sys_eec, "*eec"), CMD_OK);
    EXPECT_EQ(ee()[0x001], 0xFF);
    EXPECT_EQ(ee()[0x0FF], 0xFF);
    EXPECT_EQ(command(cmd_sys_ees, "*ees"), CMD_OK); // the RAM block goes back to both
    EXPECT_EQ(summed(copyAt(EE_COPY_A)), summed(ramBlock()));
    EXPECT_EQ(summed(copyAt(EE_COPY_B)), summed(ramBlock()));
}

TEST_F(Config, ConfigurationNameAndBaudRates) {
    start();
    EXPECT_EQ(command(cmd_sys_config, "*config"), CMD_OK);
    EXPECT_EQ(sb::take(), "(not set)\r");
    EXPECT_EQ(command(cmd_sys_config, "*config \"Hall \\x41\""), CMD_OK);
    EXPECT_EQ(command(cmd_sys_config, "*config"), CMD_OK);
    EXPECT_EQ(sb::take(), "Hall A\r");
    EXPECT_STREQ((const char *)&ee()[0x100 + CFG_CONFIG_NAME], "Hall A"); // saved
    EXPECT_EQ(command(cmd_sys_config, "*config \"0123456789012345678901234567890123456789\""), CMD_OK);
    EXPECT_EQ(command(cmd_sys_config, "*config"), CMD_OK);
    EXPECT_EQ(sb::take(), "0123456789012345678901234567890\r");
    EXPECT_EQ(QV_save_baudrate_eeprom(0, 14400), 0);
    EXPECT_EQ(sb::take(), ":baud rate 14400 not supported, not saved\r");
    EXPECT_EQ(QV_save_baudrate_eeprom(1, 9600), 1);
    EXPECT_EQ(ee()[0x100 + CFG_BAUD1], 3);
    EXPECT_EQ(QV_EEPROM_eeVal2Rate(0), 115200u);
    EXPECT_EQ(QV_EEPROM_eeVal2Rate(9), 460800u);
    EXPECT_EQ(QV_EEPROM_Rate2eeVal(2400), 0xFF);
}

// ---- power loss ----------------------------------------------------------------------------------------

struct Change {
    const char *name;
    void (*apply)();
};

const Change changes[] = {
    // The first two changes cancel in the checksum: a copy written that far would still sum right.
    {"cancelling",
     [] {
         cfgSetU16(CFG_TPLO, 251);
         cfgSetU16(CFG_TPHI, 699);
         eepromData[CFG_BRITE] = 17;
     }},
    {"many",
     [] {
         memcpy(&eepromData[CFG_CONFIG_NAME], "after the power loss", 21);
         eepromData[CFG_BAUD0] = 3;
         eepromData[CFG_ORIENT] = 2;
         for (int i = 0; i < 20; i++) cfgSetU16((uint16_t)(CFG_CAL_LOG_X + 2 * i), (uint16_t)(1000 + 37 * i));
     }},
    {"one byte", [] { eepromData[CFG_BRITE] = 17; }},
    {"a byte becomes 0x12", [] { eepromData[CFG_TSAMP] = 0x12; }},
};

// For every N, the power goes after N byte writes of a save; the next start must load either the
// old or the new block, and leave both copies good.
TEST_F(Config, PowerLossAfterEveryByteOfASave) {
    for (const Change &change : changes) {
        SCOPED_TRACE(change.name);
        fresh();
        start();
        const std::vector<uint8_t> before = ee(), oldBlock = summed(ramBlock());
        change.apply();
        const std::vector<uint8_t> newBlock = summed(ramBlock());
        long from = sb::eepromWrites();
        QV_EEPROM_Save();
        const long total = sb::eepromWrites() - from;
        ASSERT_GT(total, 0);
        int sawOld = 0, sawNew = 0;
        for (long n = 0; n <= total; n++) {
            SCOPED_TRACE(n);
            ee() = before;
            memcpy(eepromData, before.data(), CONFIG_BLOCK_SIZE);
            change.apply();
            testboard::cutEepromPowerAfter(n);
            QV_EEPROM_Save();
            testboard::powerCycle();
            start();
            std::vector<uint8_t> loaded = summed(ramBlock());
            ASSERT_TRUE(loaded == oldBlock || loaded == newBlock);
            sawOld += loaded == oldBlock;
            sawNew += loaded == newBlock;
            std::vector<uint8_t> ram = ramBlock();
            ASSERT_TRUE(QV_EEPROM_Load(EE_COPY_A));
            ASSERT_TRUE(QV_EEPROM_Load(EE_COPY_B));
            EXPECT_EQ(summed(copyAt(EE_COPY_A)), summed(copyAt(EE_COPY_B)));
            memcpy(eepromData, ram.data(), CONFIG_BLOCK_SIZE);
        }
        EXPECT_GT(sawOld, 0);
        EXPECT_EQ(sawNew, total - sawOld + 1);
    }
}

// The repair at start-up is cut as well: copy A is being restored from B.
TEST_F(Config, PowerLossWhileRepairing) {
    start();
    const std::vector<uint8_t> good = summed(ramBlock());
    for (int i = 0; i < 0x60; i++) ee()[i] ^= 0x21; // copy A ruined, its version byte too
    ee()[1] = 0x12;
    const std::vector<uint8_t> broken = ee();
    long from = sb::eepromWrites();
    start();
    const long total = sb::eepromWrites() - from;
    ASSERT_GT(total, 0x40);
    for (long n = 0; n <= total; n++) {
        ee() = broken;
        testboard::cutEepromPowerAfter(n);
        start();
        testboard::powerCycle();
        start();
        ASSERT_EQ(summed(ramBlock()), good) << n;
        ASSERT_EQ(summed(copyAt(EE_COPY_A)), good) << n;
    }
}

} // namespace
