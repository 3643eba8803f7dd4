// The simulator as a program. A host program on a real serial port: the simulator's UART0 on a
// pseudo-terminal, opened here as a serial line with software flow control (the kernel stops our output at
// the display's XOFF and hides XON/XOFF from what we read). The host floods the display and must get every
// reply.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

// Tests run in parallel, in several builds and checkouts at once: every file name carries the pid.
static std::string uniqueTemp(const char *name) {
    return testing::TempDir() + std::to_string(getpid()) + "_" + name;
}

extern char **environ;

namespace {

double wallSeconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

class Pty : public ::testing::Test {
  protected:
    pid_t pid = -1;
    int errFd = -1, port = -1;

    void TearDown() override {
        if (port >= 0) close(port);
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        if (errFd >= 0) close(errFd);
    }

    std::string eeprom = uniqueTemp("pty_test_eeprom.bin");

    // Runs the simulator once on the virtual clock with nothing to say: a blank EEPROM's first
    // start writes the whole configuration, which on the real clock would take its real seconds.
    bool prepareEeprom() {
        unlink(eeprom.c_str());
        std::string command =
            std::string(SIM_DIR) + "/zefo5 --display none --eeprom " + eeprom + " </dev/null >/dev/null";
        return system(command.c_str()) == 0;
    }

    // Starts the simulator with UART0 on a new pseudo-terminal and returns the terminal's path.
    std::string start() {
        int errPipe[2];
        if (pipe(errPipe) != 0) return "";
        int devNull = ::open("/dev/null", O_RDONLY);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, devNull, 0);
        posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
        posix_spawn_file_actions_addclose(&fa, errPipe[0]);
        std::string program = std::string(SIM_DIR) + "/zefo5";
        const char *argv[] = {program.c_str(), "--uart0", "pty",      "--clock",      "real",
                              "--display",     "none",    "--eeprom", eeprom.c_str(), nullptr};
        int rc = posix_spawn(&pid, program.c_str(), &fa, nullptr, (char **)argv, environ);
        posix_spawn_file_actions_destroy(&fa);
        close(devNull);
        close(errPipe[1]);
        errFd = errPipe[0];
        if (rc != 0) return "";
        // "zefo5: UART0 on /dev/pts/N"
        std::string line;
        char c;
        while (read(errFd, &c, 1) == 1 && c != '\n') line += c;
        size_t at = line.find(" on ");
        return at == std::string::npos ? "" : line.substr(at + 4);
    }

    // Opens the terminal as a host opens a serial port: raw 8-bit bytes, 115200 bit/s, XON/XOFF
    // honoured on output.
    bool openPort(const std::string &path) {
        port = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (port < 0) return false;
        termios t;
        if (tcgetattr(port, &t) != 0) return false;
        cfmakeraw(&t);
        t.c_iflag |= IXON;
        t.c_iflag &= ~(IXOFF | IXANY);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        return tcsetattr(port, TCSANOW, &t) == 0;
    }

    // Writes everything while reading whatever comes, until `want` bytes came back or the run
    // stalls for `stallSeconds` of wall-clock time (a guard against a hang, not a wait).
    std::string exchange(const std::string &out, size_t want, double stallSeconds = 20) {
        std::string in;
        size_t sent = 0;
        double last = wallSeconds();
        while (in.size() < want && wallSeconds() - last < stallSeconds) {
            pollfd p = {port, (short)(POLLIN | (sent < out.size() ? POLLOUT : 0)), 0};
            if (poll(&p, 1, 100) <= 0) continue;
            if (p.revents & POLLIN) {
                char buf[4096];
                ssize_t n = read(port, buf, sizeof buf);
                if (n > 0) {
                    in.append(buf, (size_t)n);
                    last = wallSeconds();
                }
            }
            if ((p.revents & POLLOUT) && sent < out.size()) {
                ssize_t n = write(port, out.data() + sent, out.size() - sent);
                if (n > 0) {
                    sent += (size_t)n;
                    last = wallSeconds();
                }
            }
        }
        return in;
    }
};

TEST_F(Pty, FloodWithSoftwareFlowControlGetsEveryReply) {
    ASSERT_TRUE(prepareEeprom());
    std::string path = start();
    ASSERT_FALSE(path.empty()) << "no pseudo-terminal announced";
    ASSERT_TRUE(openPort(path)) << path << ": " << strerror(errno);

    // The first prompt tells that the display is up.
    std::string first;
    while (!first.ends_with(">\r")) {
        std::string more = exchange("", 1);
        ASSERT_FALSE(more.empty()) << "no first prompt after " << testing::PrintToString(first);
        first += more;
    }

    // Replies far longer than the lines keep the display's transmitter busy, and the waits let
    // the ring fill: the display has to stop the host again and again.
    const std::string version = "ZEFO5 V1.5.0 WVGA \r>\r";
    std::string out, expected;
    for (int i = 0; i < 2000; i++) {
        if (i % 200 == 0) {
            out += "w 60\r";
            expected += ">\r";
        } else if (i % 3 == 0) {
            out += "// line " + std::to_string(i) + "\r";
            expected += ">\r";
        } else {
            out += "vers\r";
            expected += version;
        }
    }
    std::string in = exchange(out, expected.size());
    size_t same = 0;
    while (same < in.size() && in[same] == expected[same]) same++;
    ASSERT_EQ(in.size(), expected.size()) << "replies missing; first difference at " << same << ": "
                                          << testing::PrintToString(in.substr(same > 40 ? same - 40 : 0, 80));
    EXPECT_EQ(in, expected);
}

// The simulator program fed garbage on standard input, then enough CRs to end any line and a
// "vers": it answers and ends by itself (the guard only catches a hang).
TEST(Program, GarbageAtPowerOnThenVersEndsByItself) {
    std::string input(3000, 0);
    uint32_t x = 12345;
    for (auto &c : input) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = (char)x;
    }
    input += std::string(140, '\r') + "vers\r";
    std::string in = uniqueTemp("garbage_in.bin"), out = uniqueTemp("garbage_out.bin");
    FILE *f = fopen(in.c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(input.data(), 1, input.size(), f);
    fclose(f);
    std::string command =
        "timeout 120 " + std::string(SIM_DIR) + "/zefo5 --display none < " + in + " > " + out;
    EXPECT_EQ(system(command.c_str()), 0) << "no end by itself (124: still running after two minutes)";
    std::string reply;
    f = fopen(out.c_str(), "rb");
    ASSERT_TRUE(f);
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) reply.append(buf, n);
    fclose(f);
    unlink(in.c_str());
    unlink(out.c_str());
    EXPECT_TRUE(reply.ends_with("ZEFO5 V1.5.0 WVGA \r>\r"))
        << testing::PrintToString(reply.substr(reply.size() > 60 ? reply.size() - 60 : 0));
}

} // namespace
