// "set", "get", "mpush", "mpop" as the host uses them, with their replies byte for byte.
#include <string.h>

#include <gtest/gtest.h>

#include "macro/macro.h"
#include "tests/support/macro_env.h"

namespace {

struct Registers : testing::Test {
    void SetUp() override { resetEnv(); }
    // Runs a host line; returns what it sent followed by "!" or "+" for its result.
    std::string run(const char *line) {
        sent.clear();
        int r = host(line);
        return sent + (r == 0 ? "!" : "+");
    }
};

TEST_F(Registers, IntegersAreThirtyTwoBitsOnEveryBuild) {
    EXPECT_EQ(run("set i1 -5"), "+");
    EXPECT_EQ(run("getx i1"), "FFFFFFFB\r+");
    EXPECT_EQ(run("get i1"), "-5\r+");
    EXPECT_EQ(run("getd i1"), "-5\r+");
    EXPECT_EQ(run("setx i2 FFFFFFFB"), "+");
    EXPECT_EQ(run("get i2"), "-5\r+");
    EXPECT_EQ(run("setx i2 1FFFFFFFF"), "+"); // a 32-bit strtoul saturates
    EXPECT_EQ(run("getx i2"), "FFFFFFFF\r+");
    EXPECT_EQ(run("set i3 99999999999"), "+");
    EXPECT_EQ(run("get i3"), "2147483647\r+");
    EXPECT_EQ(run("set\ti4 7"), "+");
    EXPECT_EQ(run("get\ti4"), "7\r+");
    EXPECT_EQ(run("set i20 1"), ":err - arg must be i0 thru i19\r!");
    EXPECT_EQ(run("get i20"), ":err - arg must be i0 thru i19\r!");
    EXPECT_EQ(run("set i-1 1"), ":err - arg must be i0 thru i19\r!");
    EXPECT_EQ(run("set i1"), "!");
    EXPECT_EQ(run("set i1 x"), "!");
    EXPECT_EQ(run("getz i1"), ":err - syntax\r!");
    EXPECT_EQ(run("getq i1"), ":err - syntax\r!");
    EXPECT_EQ(run("set q1 5"), "!");
}

TEST_F(Registers, EepromUserBytes) {
    EXPECT_EQ(run("set e3 200"), "+");
    EXPECT_EQ(testboard::eeprom()[EEPROM_USER_BASE + 3], 200);
    EXPECT_EQ(run("get e3"), "200\r+");
    EXPECT_EQ(run("getx e3"), "C8\r+");
    uint32_t writes = sim_board().eepromByteWrites;
    EXPECT_EQ(run("set e3 200"), "+");
    EXPECT_EQ(sim_board().eepromByteWrites, writes); // written only when it differs
    EXPECT_EQ(run("setx eF 7f"), "+");
    EXPECT_EQ(run("get ef"), "127\r+");
    EXPECT_EQ(run("set e3 256"), ":err - value must be 0 thru 255\r!");
    EXPECT_EQ(run("set e3 -1"), ":err - value must be 0 thru 255\r!");
    EXPECT_EQ(run("setx e3 100"), ":err - value must be 0x00 thru 0xFF\r!");
    EXPECT_EQ(run("set e10 1"), ":err - arg must be e0 thru eF\r!");
    EXPECT_EQ(run("get e10"), ":err - arg must be e0 thru eF\r!");
    EXPECT_EQ(testboard::eeprom()[EEPROM_USER_BASE + 3], 200);
}

TEST_F(Registers, PointsAndStrings) {
    EXPECT_EQ(run("set p2 -3 40"), "+");
    EXPECT_EQ(run("get p2"), "-3 40\r+");
    EXPECT_EQ(run("set p10 1 1"), ":err - arg must be p0 thru p9\r!");
    EXPECT_EQ(run("get p10"), ":err - arg must be p0 thru p9\r!");
    EXPECT_EQ(run("set s1 hello world"), "+");
    EXPECT_EQ(run("get s1"), "hello world\r+");
    EXPECT_EQ(run("getq s1"), "\"hello world\"\r+");
    EXPECT_EQ(run("set s1  two blanks"), "+");
    EXPECT_EQ(run("get s1"), " two blanks\r+");
    EXPECT_EQ(run("set s2 \"q\\x41\\\"z\" rest"), "+");
    EXPECT_EQ(run("get s2"), "qA\"z\r+");
    EXPECT_EQ(run("set s3 "), ":err - text argument missing\r!");
    EXPECT_EQ(run("set s3"), ":err - text argument missing\r!");
    EXPECT_EQ(run("set s10 x"), ":err - arg must be s0 thru s9\r!");
    EXPECT_EQ(run("get s10"), ":err - arg must be s0 thru s9\r!");
    std::string longText = "set s4 " + std::string(120, 'x');
    EXPECT_EQ(run(longText.c_str()), "+");
    EXPECT_EQ(strlen(mString[4]), 80u);
}

TEST_F(Registers, PushAndPop) {
    std::string push = "mpush \"" + std::string(100, 'a') + "\"";
    EXPECT_EQ(run(push.c_str()), "+");
    EXPECT_EQ(strlen(memoryString), 80u); // the default limit is the capacity
    EXPECT_EQ(run("mpop 30"), "+");
    EXPECT_EQ(strlen(memoryString), 50u);
    EXPECT_EQ(run("mpush \"bcdef\" 53"), "+");
    EXPECT_STREQ(memoryString + 50, "bcd");
    EXPECT_EQ(run("mpop -1"), "+");
    EXPECT_STREQ(memoryString, "");
    EXPECT_EQ(run("mpush 3 \"ab\\ncd\""), "+");
    EXPECT_STREQ(mString[3], "ab\ncd");
    EXPECT_EQ(run("mpush 3 \"xyz\" 6"), "+");
    EXPECT_STREQ(mString[3], "ab\ncdx");
    EXPECT_EQ(run("mpop 2 3"), "+");
    EXPECT_STREQ(mString[3], "ab\nc");
    EXPECT_EQ(run("mpop 9 3"), "+"); // more than it holds empties it
    EXPECT_STREQ(mString[3], "");
    EXPECT_EQ(run("mpush 3 xyz"), "!");
    EXPECT_EQ(run("mpush 10 \"x\""), "!");
    EXPECT_EQ(run("mpop"), "!");
    EXPECT_EQ(run("mpop 1 10"), "!");
}

TEST_F(Registers, ValuesFlowIntoLaterLines) {
    EXPECT_EQ(run("set i1 14"), "+");
    EXPECT_EQ(run("set i2 `(`i1`*3)`"), "+");
    EXPECT_EQ(run("get i2"), "42\r+");
    EXPECT_EQ(run("set i3 `(7/0)`"), "!"); // left as text, which set refuses
}

} // namespace
