// Three simulated displays on one RS485 line (zefo5-bus): addressed commands, a discovery whose
// answers follow one another in address order, notices fetched by polls, and a collision. Each
// display is first set to its address over UART0 with an EEPROM file of its own.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char **environ;

namespace {

// Runs a program with its standard input, output and error on files; returns its exit status.
pid_t spawn(const std::vector<std::string> &args, const std::string &in, const std::string &out,
            const std::string &err) {
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void spit(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

// One byte on the line as the bus's trace gives it.
struct LineByte {
    double start, end;
    std::string who;
    unsigned byte;
    bool collision;
};

std::vector<LineByte> readTrace(const std::string &text) {
    std::vector<LineByte> bytes;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        LineByte b;
        char who[64];
        if (sscanf(line.c_str(), "zefo5-bus: %lf - %lf ms: %63s 0x%x", &b.start, &b.end, who, &b.byte) != 4)
            continue;
        b.who = who;
        b.collision = line.find("collision") != std::string::npos;
        bytes.push_back(b);
    }
    return bytes;
}

class Bus : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        char name[] = "/tmp/zefo5-bus-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        spit(dir + "/null", "");
    }
    void TearDown() override {
        std::string cmd = "rm -rf " + dir;
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    std::string sim() const { return std::string(SIM_DIR) + "/zefo5"; }

    // Sets a display's EEPROM to RS485 mode at this address.
    void configure(const std::string &addr) {
        spit(dir + "/cfg", "*rs485 #" + addr + "\r");
        pid_t pid = spawn({sim(), "--display", "none", "--eeprom", dir + "/e" + addr}, dir + "/cfg",
                          dir + "/cfg.out", dir + "/cfg.err");
        ASSERT_EQ(waitFor(pid), 0);
        EXPECT_TRUE(slurp(dir + "/cfg.out").ends_with("RS485 Mode SOF 0x23 (#) ADR " + addr + "\r"));
    }

    // The bus with its script and three displays at 12, 15 and 1A; returns what the host heard.
    std::string run(const std::string &script, std::string &trace) {
        for (const char *a : {"12", "15", "1A"}) configure(a);
        spit(dir + "/script", script);
        std::string sock = dir + "/bus";
        pid_t bus = spawn({std::string(SIM_DIR) + "/zefo5-bus", sock, "--stations", "3", "--script",
                           dir + "/script", "--trace", "--max-ms", "20000"},
                          dir + "/null", dir + "/host.out", dir + "/bus.err");
        std::vector<pid_t> displays;
        for (const char *a : {"1A", "12", "15"}) // joining in any order: names order the stations
            displays.push_back(spawn({sim(), "--display", "none", "--trace", "--eeprom", dir + "/e" + a,
                                      "--sd", std::string(CARDS_DIR) + "/link.img", "--bus", sock,
                                      "--bus-name", std::string("d") + a},
                                     dir + "/null", dir + "/d" + a + ".out", dir + "/d" + a + ".err"));
        EXPECT_EQ(waitFor(bus), 0) << slurp(dir + "/bus.err");
        for (pid_t d : displays) EXPECT_EQ(waitFor(d), 0);
        trace = slurp(dir + "/bus.err");
        return slurp(dir + "/host.out");
    }
};

TEST_F(Bus, ThreeDisplays) {
    std::string trace;
    std::string heard = run("# times in virtual ms after every display has started\n"
                            "0 send #?1\\r\n"
                            "40 send #1Avers\\r\n"
                            "50 send #13vers\\r\n"
                            "60 send #12m notes\\r\n"
                            "70 send #15vers\\r\n"
                            "80 send #12Q\\r\n"
                            "90 send #12Q\\r\n"
                            "100 send #15Q\\r\n",
                            trace);
    // The discovery answers go out alone; each display's start-up notice waits for the first
    // command addressed to it.
    const std::string loading = "#FF:loading 1KB bitmap/macro file from SD card\r";
    EXPECT_EQ(heard, "#FFSOF23ADR12\r#FFSOF23ADR15\r#FFSOF23ADR1A\r" + loading + "#FFZEFO5 V1.5.0 WVGA \r" +
                         loading + "#FF>\r" + loading +
                         "#FFZEFO5 V1.5.0 WVGA \r"
                         "#FFn1\r#FFn2\r"
                         "#FF>\r"
                         "#FF>\r")
        << testing::PrintToString(heard);

    // The discovery: after the host's query, whole answers one after the other, in address order,
    // each byte off the line before the next starts.
    std::vector<LineByte> line = readTrace(trace);
    size_t q = 0;
    while (q < line.size() && !(line[q].who == "host" && line[q].byte == '?')) q++;
    ASSERT_LT(q + 2, line.size());
    std::string order;
    double lastEnd = line[q + 2].end; // the query's CR
    for (size_t i = q + 3; i < line.size() && line[i].who != "host"; i++) {
        EXPECT_FALSE(line[i].collision) << line[i].start;
        EXPECT_GE(line[i].start, lastEnd) << "bytes overlap at " << line[i].start << " ms";
        lastEnd = line[i].end;
        if (order.empty() || order.back() != line[i].who.back()) order.push_back(line[i].who.back());
        if (i == q + 3) {
            EXPECT_EQ(line[i].who, "d12");
        }
    }
    EXPECT_EQ(order, "25A");
    // Each display's transmit enable, in its trace at the virtual times it changed.
    std::string d12 = slurp(dir + "/d12.err");
    EXPECT_NE(d12.find("ms: RS485 transmit enable 1\n"), std::string::npos) << d12;
    EXPECT_NE(d12.find("ms: RS485 transmit enable 0\n"), std::string::npos);
    // The one for its discovery answer goes up just before the answer's first start bit.
    bool enabledThen = false;
    std::istringstream lines(d12);
    for (std::string l; std::getline(lines, l);) {
        double t;
        if (sscanf(l.c_str(), "zefo5: %lf ms: RS485 transmit enable 1", &t) == 1 && t <= line[q + 3].start &&
            t > line[q + 3].start - 0.05)
            enabledThen = true;
    }
    EXPECT_TRUE(enabledThen) << line[q + 3].start;
    // Display 12 answers 2 ms after the query, 15 after 5 ms, 1A after 10 ms.
    for (const auto &[who, delay] : {std::pair<std::string, double>{"d12", 2}, {"d15", 5}, {"d1A", 10}}) {
        for (size_t i = q + 3; i < line.size(); i++) {
            if (line[i].who != who) continue;
            EXPECT_GE(line[i].start - line[q + 2].end, delay) << who;
            EXPECT_LT(line[i].start - line[q + 2].end, delay + 0.3) << who;
            break;
        }
    }
}

TEST_F(Bus, TalkingTogetherCollides) {
    std::string trace;
    // The host goes on sending while display 12 answers; then it waits, and all is well again.
    std::string heard = run("0 send #12vers\\r#15vers\\r#15vers\\r\n"
                            "50 send #1Avers\\r\n",
                            trace);
    std::vector<LineByte> line = readTrace(trace);
    int collisions = 0;
    for (const LineByte &b : line)
        if (b.collision && b.start > 1.0 && b.who == "d12") collisions++;
    EXPECT_GT(collisions, 0) << trace;
    EXPECT_EQ(heard.find("#FFZEFO5 V1.5.0 WVGA \r#FFZEFO5"), std::string::npos)
        << "garbled, not two clean replies";
    EXPECT_TRUE(heard.ends_with("#FFZEFO5 V1.5.0 WVGA \r")) << "the line is quiet again";
}

} // namespace
