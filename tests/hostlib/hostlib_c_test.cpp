// The C host library: its framing and parsing on exact bytes, then the library on a pseudo-terminal
// against the simulator (virtual clock, demo card), as a host program would use it.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "zefo5.h"
#include "zefo5_posix.h"

// Tests run in parallel, in several builds and checkouts at once: every file name carries the pid.
static std::string uniqueTemp(const char *name) {
    return testing::TempDir() + std::to_string(getpid()) + "_" + name;
}

extern char **environ;

namespace {

// A scripted display: each line the host ends with CR releases the next answer into `in`.
struct Script {
    std::string in;
    size_t pos = 0;
    std::string out;
    std::vector<std::string> answers;
    size_t next = 0;
};

int scriptWrite(void *ctx, const uint8_t *bytes, size_t n) {
    Script *s = static_cast<Script *>(ctx);
    s->out.append((const char *)bytes, n);
    for (size_t i = 0; i < n; i++)
        if (bytes[i] == '\r' && s->next < s->answers.size()) s->in += s->answers[s->next++];
    return 0;
}

int scriptRead(void *ctx, uint8_t *byte, uint32_t) {
    Script *s = static_cast<Script *>(ctx);
    if (s->pos >= s->in.size()) return 0;
    *byte = (uint8_t)s->in[s->pos++];
    return 1;
}

struct Scripted : ::testing::Test {
    Script script;
    zefo5 z;
    void SetUp() override {
        zefo5_io io = {scriptWrite, scriptRead, &script};
        zefo5_init(&z, &io);
    }
    std::string frame(const char *text) {
        uint8_t buf[ZEFO5_FRAME_MAX];
        size_t n = zefo5_frame(&z, text, buf, sizeof buf);
        return std::string((const char *)buf, n);
    }
};

TEST_F(Scripted, FramesCarryCrcAndAddressAsAsked) {
    EXPECT_EQ(zefo5_crc16((const uint8_t *)"123456789", 9, 0xFFFF), 0x4B37);
    EXPECT_EQ(frame("vers"), "vers\r");
    zefo5_set_crc(&z, 1);
    EXPECT_EQ(frame("vers"), "~E9B7vers\r");
    zefo5_set_rs485(&z, '#', 0x1A);
    EXPECT_EQ(frame("vers"), "#1A~E9B7vers\r"); // the address filter comes before the CRC check
    zefo5_set_crc(&z, 0);
    EXPECT_EQ(frame("vers"), "#1Avers\r");
    EXPECT_EQ(frame("a\rb"), "") << "a CR inside the text would split it";
    EXPECT_EQ(frame(std::string(131, 'v').c_str()), "") << "longer than the display takes";
    EXPECT_EQ(frame(std::string(130, 'v').c_str()).size(), 3u + 130u + 1u);
}

TEST_F(Scripted, LinesAreClassifiedAsTheDisplayMeansThem) {
    struct Case {
        const char *text;
        zefo5_line_kind kind;
        zefo5_event_kind event;
        int spot, value, x, y;
    } cases[] = {
        {">", ZEFO5_LINE_STATUS, ZEFO5_EV_NONE, 0, 0, 0, 0},
        {":SD Card not ready", ZEFO5_LINE_MESSAGE, ZEFO5_EV_NONE, 0, 0, 0, 0},
        {"x130", ZEFO5_LINE_EVENT, ZEFO5_EV_PRESS, 130, 0, 0, 0},
        {"x131 5 7", ZEFO5_LINE_EVENT, ZEFO5_EV_PRESS_XY, 131, 0, 5, 7},
        {"r130", ZEFO5_LINE_EVENT, ZEFO5_EV_RELEASE, 130, 0, 0, 0},
        {"s5 1", ZEFO5_LINE_EVENT, ZEFO5_EV_TOGGLE, 5, 1, 0, 0},
        {"l130:223", ZEFO5_LINE_EVENT, ZEFO5_EV_SLIDER, 130, 223, 0, 0},
        {"m4", ZEFO5_LINE_EVENT, ZEFO5_EV_MACRO_START, 4, 0, 0, 0},
        {"e4", ZEFO5_LINE_EVENT, ZEFO5_EV_MACRO_END, 4, 0, 0, 0},
        // answers that only look like reports
        {"x", ZEFO5_LINE_VALUE, ZEFO5_EV_NONE, 0, 0, 0, 0},      // the draw mode
        {"x130 5", ZEFO5_LINE_VALUE, ZEFO5_EV_NONE, 0, 0, 0, 0}, // half a position
        {"x256", ZEFO5_LINE_VALUE, ZEFO5_EV_NONE, 0, 0, 0, 0},   // no such hotspot
        {"s5 1 2", ZEFO5_LINE_VALUE, ZEFO5_EV_NONE, 0, 0, 0, 0},
        {"ZEFO5 V1.5.0 WVGA ", ZEFO5_LINE_VALUE, ZEFO5_EV_NONE, 0, 0, 0, 0},
        {"", ZEFO5_LINE_VALUE, ZEFO5_EV_NONE, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        zefo5_event ev = {};
        zefo5_status st = ZEFO5_TIMEOUT;
        EXPECT_EQ(zefo5_classify(c.text, strlen(c.text), &ev, &st), c.kind) << c.text;
        EXPECT_EQ(ev.kind, c.event) << c.text;
        if (c.event != ZEFO5_EV_NONE) {
            EXPECT_EQ(ev.spot, c.spot) << c.text;
            EXPECT_EQ(ev.value, c.value) << c.text;
            EXPECT_EQ(ev.x, c.x) << c.text;
            EXPECT_EQ(ev.y, c.y) << c.text;
        }
    }
}

TEST_F(Scripted, ByteReportsFlowControlAndRepliesWithoutCr) {
    zefo5_set_binary_reports(&z, 1);
    // A press on hotspot 17 is 'X' 0x11: that 0x11 is data, not XON. XOFF outside a report pauses.
    script.in = std::string("X\x11\x13Y\x83\x05\x00\x07\x01L\x82\xDF\x00\x11S\x05\x01", 17) +
                ":Incorrect number of parameters>\r";
    std::vector<zefo5_feed_result> got;
    std::vector<zefo5_event> events;
    bool paused = false;
    while (script.pos < script.in.size()) {
        zefo5_feed_result r = zefo5_feed(&z, (uint8_t)script.in[script.pos++]);
        if (z.paused) paused = true;
        if (r == ZEFO5_FEED_EVENT) events.push_back(z.event);
        if (r != ZEFO5_FEED_NOTHING) got.push_back(r);
    }
    EXPECT_TRUE(paused);
    EXPECT_FALSE(z.paused) << "the XON after the slider report";
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].kind, ZEFO5_EV_PRESS);
    EXPECT_EQ(events[0].spot, 17);
    EXPECT_EQ(events[1].kind, ZEFO5_EV_PRESS_XY);
    EXPECT_EQ(events[1].x, 5);
    EXPECT_EQ(events[1].y, 0x107);
    EXPECT_EQ(events[2].kind, ZEFO5_EV_SLIDER);
    EXPECT_EQ(events[2].value, 223);
    EXPECT_EQ(events[3].kind, ZEFO5_EV_TOGGLE);
    EXPECT_EQ(events[3].value, 1);
    ASSERT_EQ(got.back(), ZEFO5_FEED_LINE);
    EXPECT_STREQ(z.line, ":Incorrect number of parameters");
    EXPECT_EQ(z.line_kind, ZEFO5_LINE_MESSAGE);
    EXPECT_TRUE(z.line_ends_reply);
    EXPECT_EQ(z.status, ZEFO5_OK);
}

// Messages of the display's own that end in a status character are lines; the status follows.
TEST_F(Scripted, MessagesEndingInAStatusCharacterAreWholeLines) {
    script.in = "  DONE!\r>\r: invalid <type>\r!\r";
    std::vector<std::pair<zefo5_feed_result, std::string>> got;
    while (script.pos < script.in.size()) {
        zefo5_feed_result r = zefo5_feed(&z, (uint8_t)script.in[script.pos++]);
        if (r == ZEFO5_FEED_LINE) {
            EXPECT_FALSE(z.line_ends_reply) << z.line;
            got.emplace_back(r, z.line);
        } else if (r == ZEFO5_FEED_STATUS) {
            got.emplace_back(r, z.status == ZEFO5_OK ? ">" : z.status == ZEFO5_FAILED ? "!" : "?");
        }
    }
    const std::vector<std::pair<zefo5_feed_result, std::string>> want = {
        {ZEFO5_FEED_LINE, "  DONE!"},
        {ZEFO5_FEED_STATUS, ">"},
        {ZEFO5_FEED_LINE, ": invalid <type>"},
        {ZEFO5_FEED_STATUS, "!"}};
    EXPECT_EQ(got, want);
}

TEST_F(Scripted, Rs485RepliesLoseTheirPrefixAndEndInSilence) {
    zefo5_set_rs485(&z, '#', 0x1A);
    // The prompt stands for itself; a reply with text has no prompt after it.
    script.answers = {"#FF>\r", "#FFZEFO5 V1.5.0 WVGA \r"};
    char reply[64];
    EXPECT_EQ(zefo5_command(&z, "z", reply, sizeof reply, 100), ZEFO5_OK);
    EXPECT_EQ(zefo5_command(&z, "vers", reply, sizeof reply, 100), ZEFO5_NO_PROMPT);
    EXPECT_STREQ(reply, "ZEFO5 V1.5.0 WVGA \r");
    EXPECT_EQ(script.out, "#1Az\r#1Avers\r");
    // Discovery: two displays of group 1 answer.
    script = Script{};
    script.answers = {"#FFSOF23ADR1A\r#FFSOF23ADR1C\r"};
    uint8_t found[4];
    EXPECT_EQ(zefo5_discover(&z, 1, found, 4, 50), 2);
    EXPECT_EQ(found[0], 0x1A);
    EXPECT_EQ(found[1], 0x1C);
    EXPECT_EQ(script.out, "#?1\r");
}

TEST_F(Scripted, ReportsDuringACommandAreQueuedNotLost) {
    script.answers = {"x130\r>\rr130\r"};
    char reply[16];
    EXPECT_EQ(zefo5_command(&z, "*tsmm 150 150", reply, sizeof reply, 100), ZEFO5_OK);
    EXPECT_STREQ(reply, "");
    zefo5_event ev;
    ASSERT_EQ(zefo5_poll(&z, &ev, 10), 1);
    EXPECT_EQ(ev.kind, ZEFO5_EV_PRESS);
    ASSERT_EQ(zefo5_poll(&z, &ev, 10), 1);
    EXPECT_EQ(ev.kind, ZEFO5_EV_RELEASE);
    EXPECT_EQ(zefo5_poll(&z, &ev, 10), 0);
    // A long reply is cut to the buffer, and the status still ends it.
    script = Script{};
    script.answers = {std::string(300, '0') + ">\r"};
    EXPECT_EQ(zefo5_command(&z, "*FB 0", reply, sizeof reply, 100), ZEFO5_OK);
    EXPECT_EQ(strlen(reply), sizeof reply - 1);
}

// ---- against the simulator ----------------------------------------------------------------------

class Simulator : public ::testing::Test {
  protected:
    pid_t pid = -1;
    int errFd = -1;
    zefo5_posix port = {-1};
    zefo5 z;
    std::string card = uniqueTemp("hostlib_c_card.img");

    void SetUp() override {
        std::string copy = "cp " + std::string(SIM_DIR) + "/cards/demo.img " + card;
        ASSERT_EQ(system(copy.c_str()), 0);
        int errPipe[2];
        ASSERT_EQ(pipe(errPipe), 0);
        int devNull = ::open("/dev/null", O_RDONLY);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, devNull, 0);
        posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
        posix_spawn_file_actions_addclose(&fa, errPipe[0]);
        std::string program = std::string(SIM_DIR) + "/zefo5";
        const char *argv[] = {program.c_str(), "--uart0", "pty",  "--clock",    "virtual",
                              "--display",     "none",    "--sd", card.c_str(), nullptr};
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), &fa, nullptr, (char **)argv, environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        close(devNull);
        close(errPipe[1]);
        errFd = errPipe[0];
        std::string line;
        char c;
        while (read(errFd, &c, 1) == 1 && c != '\n') line += c;
        size_t at = line.find(" on ");
        ASSERT_NE(at, std::string::npos) << line;
        path = line.substr(at + 4);
        ASSERT_EQ(zefo5_posix_open(&port, path.c_str(), 115200), 0) << path;
        zefo5_io io;
        zefo5_posix_io(&port, &io);
        zefo5_init(&z, &io);
        if (waitForPrompt()) {
            ASSERT_EQ(zefo5_wait_ready(&z, 10000), ZEFO5_OK) << "no first prompt";
        }
    }
    virtual bool waitForPrompt() { return true; }
    void TearDown() override {
        zefo5_posix_close(&port);
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        if (errFd >= 0) close(errFd);
        unlink(card.c_str());
    }
    std::string path;
    char reply[256];
    zefo5_status run(const char *text) { return zefo5_command(&z, text, reply, sizeof reply, 5000); }
    zefo5_event next() {
        zefo5_event ev = {};
        EXPECT_EQ(zefo5_poll(&z, &ev, 5000), 1);
        return ev;
    }
};

TEST_F(Simulator, RepliesAreClassified) {
    EXPECT_EQ(run("vers"), ZEFO5_OK);
    EXPECT_STREQ(reply, "ZEFO5 V1.5.0 WVGA \r");
    EXPECT_EQ(run("nonsense"), ZEFO5_FAILED);
    EXPECT_EQ(run("xif nothing.jpg 0 0"), ZEFO5_FAILED);
    EXPECT_STREQ(reply, ":cannot open SD card file \"nothing.jpg\".\r");
    EXPECT_EQ(run("*IERR"), ZEFO5_CRC_ERROR);
    EXPECT_EQ(run("s 30 0"), ZEFO5_OK) << "the message without CR runs into the prompt";
    EXPECT_STREQ(reply, "Invalid Foreground Color\r");
    EXPECT_EQ(run("z"), ZEFO5_OK);
    EXPECT_EQ(run("*FB 0"), ZEFO5_OK) << "a row of 800 values without CR, then the prompt";
    EXPECT_EQ(strncmp(reply, "0000,0000,", 10), 0) << reply;
}

TEST_F(Simulator, CrcFramesAreCheckedByTheDisplay) {
    zefo5_set_crc(&z, 1);
    EXPECT_EQ(run("vers"), ZEFO5_OK);
    EXPECT_STREQ(reply, "ZEFO5 V1.5.0 WVGA \r");
    zefo5_set_crc(&z, 0);
    EXPECT_EQ(run("~0000vers"), ZEFO5_CRC_ERROR) << "a frame with the wrong CRC runs nothing";
    EXPECT_STREQ(reply, "");
}

TEST_F(Simulator, TouchReportsInTextAndByteForm) {
    ASSERT_EQ(run("z"), ZEFO5_OK);
    ASSERT_EQ(run("xs 130 100 100 200 200"), ZEFO5_OK);
    ASSERT_EQ(run("xset 130 r"), ZEFO5_OK);
    ASSERT_EQ(run("xxy 131 300 300 400 400"), ZEFO5_OK);
    ASSERT_EQ(run("bd 5 500 100 2 \"Off\" \"On\" 8 20 8 20"), ZEFO5_OK);
    ASSERT_EQ(run("sl 132 7 20 330 8 4 1 0 0 200 0"), ZEFO5_OK);
    for (int binary = 0; binary < 2; binary++) {
        SCOPED_TRACE(binary ? "byte form" : "text form");
        ASSERT_EQ(run("*tsmm 150 150"), ZEFO5_OK);
        zefo5_event ev = next();
        EXPECT_EQ(ev.kind, ZEFO5_EV_PRESS);
        EXPECT_EQ(ev.spot, 130);
        ev = next();
        EXPECT_EQ(ev.kind, ZEFO5_EV_RELEASE);
        EXPECT_EQ(ev.spot, 130);
        ASSERT_EQ(run("*tsmm 305 307"), ZEFO5_OK);
        ev = next();
        EXPECT_EQ(ev.kind, ZEFO5_EV_PRESS_XY);
        EXPECT_EQ(ev.spot, 131);
        EXPECT_EQ(ev.x, 5);
        EXPECT_EQ(ev.y, 7);
        ASSERT_EQ(run("*tsmm 530 130"), ZEFO5_OK);
        ev = next();
        EXPECT_EQ(ev.kind, ZEFO5_EV_TOGGLE);
        EXPECT_EQ(ev.spot, 5);
        EXPECT_EQ(ev.value, binary ? 0 : 1);
        ASSERT_EQ(run(binary ? "*tsmm 260 340" : "*tsmm 200 340"), ZEFO5_OK); // a new value reports
        ev = next();
        EXPECT_EQ(ev.kind, ZEFO5_EV_SLIDER);
        EXPECT_EQ(ev.spot, 132);
        if (!binary) {
            ASSERT_EQ(run("*binr 1"), ZEFO5_OK);
            EXPECT_STREQ(reply, "on\r");
            zefo5_set_binary_reports(&z, 1);
        }
    }
}

TEST_F(Simulator, AFloodOfLongLinesHonoursXoffAndLosesNothing) {
    // Forty lines of 129 characters sent without waiting: the display stops us with XOFF many
    // times; every line must be answered, and no overflow ("^") may come.
    std::string line = "vers" + std::string(125, ' ');
    for (int i = 0; i < 40; i++) ASSERT_EQ(zefo5_send(&z, line.c_str(), 5000), ZEFO5_OK) << i;
    int answers = 0;
    for (int i = 0; i < 40; i++) {
        zefo5_status s = zefo5_wait_ready(&z, 5000);
        ASSERT_EQ(s, ZEFO5_OK) << "answer " << i << ": " << zefo5_status_text(s);
        answers++;
    }
    EXPECT_EQ(answers, 40);
    EXPECT_FALSE(z.paused);
}

// The example program meets the display as it starts, first prompt and all.
class FreshSimulator : public Simulator {
    bool waitForPrompt() override { return false; }
};

TEST_F(FreshSimulator, TheExampleProgramDrivesTheDisplay) {
    zefo5_posix_close(&port);
    std::string command =
        std::string(SIM_DIR) + "/zefo5-c-demo " + path + " --simulate > " + uniqueTemp("c_demo.out");
    ASSERT_EQ(system(command.c_str()), 0);
    FILE *f = fopen(uniqueTemp("c_demo.out").c_str(), "r");
    ASSERT_TRUE(f);
    char buf[2048] = {};
    fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    unlink(uniqueTemp("c_demo.out").c_str());
    EXPECT_NE(strstr(buf, "button 5 is now on\nbutton 5 is now off\n"), nullptr) << buf;
}

} // namespace
