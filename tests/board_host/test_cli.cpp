// The command-line program as users run it: standard input and output as the host's wire, options,
// the events file, exit rules and exit statuses. The program is the board with the stand-in
// firmware (tests/board_host/standin_fw.cpp).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/board_host/support.h"

extern char **environ;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

Result runProgram(const std::vector<std::string> &args, const std::string &input,
                  const std::vector<std::string> &env = {}) {
    std::string in = tempPath("in"), out = tempPath("out"), err = tempPath("err");
    writeFile(in, input);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all = {STANDIN_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = env;
    for (char **e = environ; *e; e++) envStrings.push_back(*e);
    std::vector<char *> envp;
    for (std::string &e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid;
    Result r;
    if (posix_spawn(&pid, STANDIN_PROGRAM, &fa, nullptr, argv.data(), envp.data()) != 0) return r;
    posix_spawn_file_actions_destroy(&fa);
    int status;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
}

TEST(BoardProgram, PipedInputIsAnsweredAndTheRunEnds) {
    Result r = runProgram({}, "t\rdata\r", {"STANDIN_DELAY_MS=3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ready\rt\rT=3\rdata\rD=1234 power-on 0\r");
    EXPECT_EQ(r.err, "");
}

TEST(BoardProgram, SameInputSameOutput) {
    std::string input = "burst 40\rt\rhold 5\r" + std::string(300, 'z') + "\rt\r";
    Result a = runProgram({}, input), b = runProgram({}, input);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.out, b.out);
    EXPECT_NE(a.out.find("\x13"), std::string::npos);
}

TEST(BoardProgram, EmptyInputEndsAfterStartUp) {
    Result r = runProgram({"--linger", "0"}, "", {"STANDIN_DELAY_MS=300"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ready\r");
}

TEST(BoardProgram, MaxMsEndsTheRun) {
    Result r = runProgram({"--max-ms", "50"}, "", {"STANDIN_DELAY_MS=100"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST(BoardProgram, EventsArriveAtTheirTimes) {
    std::string events = tempPath("events.txt");
    writeFile(events, "# a comment, then a blank line\n\n"
                      "20 send t\\r\n"
                      "30 aux \\x41b\\\\\n"
                      "40 send aux\\r\n");
    Result r = runProgram({"--events", events}, "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ready\rt\rT=20\raux\rA=3:Ab\\\r");
}

TEST(BoardProgram, BadEventLineNamesFileAndLine) {
    std::string events = tempPath("events.txt");
    writeFile(events, "10 release\n20 wiggle 3\n");
    Result r = runProgram({"--events", events}, "");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(events + ":2: unknown event"), std::string::npos) << r.err;
    writeFile(events, "10 touch 3\n");
    r = runProgram({"--events", events}, "");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(events + ":1: touch needs X Y"), std::string::npos) << r.err;
    writeFile(events, "x release\n");
    EXPECT_EQ(runProgram({"--events", events}, "").status, 2);
}

TEST(BoardProgram, BadOptionsGiveUsageAndStatus2) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"--clock", "fast"}, {"--flash-id", "0x100"}, {"--linger"}, {"--max-ms", "-3"}}) {
        Result r = runProgram(args, "");
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("usage: zefo5"), std::string::npos) << args[0];
    }
    Result help = runProgram({"--help"}, "");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--screenshot FILE"), std::string::npos);
}

TEST(BoardProgram, CardImageMustBeWholeBlocks) {
    std::string img = tempPath("card.img");
    writeFile(img, std::string(513, 0));
    Result r = runProgram({"--sd", img}, "");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is not a whole number of 512-byte blocks"), std::string::npos);
    EXPECT_EQ(runProgram({"--sd", tempPath("missing.img")}, "").status, 2);
}

TEST(BoardProgram, FaultExitsWithStatus3AndWritesTheScreenshot) {
    std::string png = tempPath("fault.png");
    Result r = runProgram({"--screenshot", png}, "px 5 6 0x07E0\rfatal\r");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "zefo5: firmware fault: stand-in gave up\n");
    Png p;
    ASSERT_TRUE(readPng(png, p));
    EXPECT_EQ(p.at(5, 6)[1], 255);
}

TEST(BoardProgram, ScreenshotAtTheEnd) {
    std::string png = tempPath("end.png");
    Result r = runProgram({"--screenshot=" + png}, "px 799 479 0xF800\r");
    EXPECT_EQ(r.status, 0);
    Png p;
    ASSERT_TRUE(readPng(png, p));
    EXPECT_EQ(p.at(799, 479)[0], 255);
    EXPECT_EQ(p.at(799, 479)[1], 0);
}

TEST(BoardProgram, EepromFileAndPowerCut) {
    std::string ee = tempPath("eeprom.bin");
    Result r = runProgram({"--eeprom", ee}, "eew 5 7\reew 6 8\r", {"ZEFO5_EEPROM_POWER_CUT=1"});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("power cut after 1 EEPROM byte writes"), std::string::npos);
    std::string file = readFile(ee);
    ASSERT_EQ(file.size(), 8192u);
    EXPECT_EQ(file[5], 7);
    EXPECT_EQ((uint8_t)file[6], 0xFF);
    r = runProgram({"--eeprom", ee}, "eer 5\r");
    EXPECT_EQ(r.out, "ready\reer 5\rE=07\r");
}

TEST(BoardProgram, ResetLosesNoPendingInput) {
    Result r = runProgram({}, "reset\r" + std::string(60, 'x') + "\rdata\r");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("ready\rreset\rready\rxx"), 0u) << r.out;
    EXPECT_EQ(r.out.substr(r.out.find("\r?\r")), "\r?\rdata\rD=1234 power-on 0\r");
}

} // namespace
