// The panel's window (--display). SDL's offscreen and dummy video drivers stand in for a desktop:
// the dummy one saves every frame it shows as a BMP file, which is how the runs below see the
// window's picture. A run with a window must give the same bytes and the same screenshot as one
// without.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <initializer_list>
#include <thread>

#include "board/host/display_sdl.h"
#include "board/host/display_sdl_bottom.h"
#include "config/panel.h"
#include "tests/board_host/support.h"

extern char **environ;

namespace {

// ---- helpers -----------------------------------------------------------------------------------

// Opens the bottom's window on the first video driver of the list that works; "" when none does.
std::string openOn(std::initializer_list<const char *> drivers, int w, int h) {
    for (const char *d : drivers) {
        setenv("SDL_VIDEODRIVER", d, 1);
        char why[200];
        if (sdl_bottom_init("test", w, h, false, why, sizeof why)) return d;
    }
    return "";
}

uint16_t rgb565(int r5, int g6, int b5) {
    return (uint16_t)(r5 << 11 | g6 << 5 | b5);
}

// The 5-6-5 value a read-back colour came from (the low bits are the converter's business).
uint16_t back565(const uint8_t rgb[3]) {
    return rgb565(rgb[0] >> 3, rgb[1] >> 2, rgb[2] >> 3);
}

struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t *at(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
};

// An uncompressed 24- or 32-bit BMP, as SDL saves one.
bool readBmp(const std::string &path, Frame &f) {
    std::string b = readFile(path);
    auto u32 = [&](size_t o) {
        return (uint32_t)(uint8_t)b[o] | (uint32_t)(uint8_t)b[o + 1] << 8 |
               (uint32_t)(uint8_t)b[o + 2] << 16 | (uint32_t)(uint8_t)b[o + 3] << 24;
    };
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
    uint32_t offset = u32(10);
    int32_t w = (int32_t)u32(18), h = (int32_t)u32(22);
    int bpp = (uint8_t)b[28] | (uint8_t)b[29] << 8;
    if ((bpp != 24 && bpp != 32) || u32(30) > 3 || w <= 0 || h == 0) return false;
    bool bottomUp = h > 0;
    if (h < 0) h = -h;
    size_t stride = ((size_t)w * (bpp / 8) + 3) & ~(size_t)3;
    if (b.size() < offset + stride * h) return false;
    f.width = w;
    f.height = h;
    f.rgb.assign((size_t)w * h * 3, 0);
    for (int y = 0; y < h; y++) {
        size_t row = offset + stride * (size_t)(bottomUp ? h - 1 - y : y);
        for (int x = 0; x < w; x++) {
            const uint8_t *p = (const uint8_t *)&b[row + (size_t)x * (bpp / 8)];
            uint8_t *q = &f.rgb[((size_t)y * w + x) * 3];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
        }
    }
    return true;
}

// Waits (on inotify, up to a generous guard time) until the dummy driver has saved a frame in dir
// that `good` accepts.
bool waitForFrame(const std::string &dir, const std::function<bool(const Frame &)> &good) {
    int fd = inotify_init1(IN_NONBLOCK);
    if (fd < 0) return false;
    inotify_add_watch(fd, dir.c_str(), IN_CLOSE_WRITE);
    auto anyGood = [&] {
        for (auto &e : std::filesystem::directory_iterator(dir)) {
            Frame f;
            if (e.path().extension() == ".bmp" && readBmp(e.path(), f) && good(f)) return true;
        }
        return false;
    };
    bool found = anyGood();
    while (!found) {
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) break;
        char buf[4096];
        while (read(fd, buf, sizeof buf) > 0) {}
        found = anyGood();
    }
    close(fd);
    return found;
}

// A pseudo-terminal as the host's end of UART0: the board opens the other side by its path.
struct Host {
    int fd = -1;
    std::string path;
    std::string got;

    Host() {
        fd = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(fd);
        unlockpt(fd);
        path = ptsname(fd);
    }
    ~Host() { close(fd); }
    void send(const std::string &s) { EXPECT_EQ(write(fd, s.data(), s.size()), (ssize_t)s.size()); }
    // Everything up to and including `want` (guard: 10 s without a byte); "" when it never came.
    std::string until(const std::string &want) {
        for (;;) {
            size_t at = got.find(want);
            if (at != std::string::npos) {
                std::string r = got.substr(0, at + want.size());
                got.erase(0, at + want.size());
                return r;
            }
            struct pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) return "";
            char buf[512];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) return "";
            got.append(buf, (size_t)n);
        }
    }
    // A command's reply line (after the echo of the command and its CR).
    std::string ask(const std::string &line) {
        send(line + "\r");
        if (until(line + "\r").empty()) return "";
        return until("\r");
    }
};

// The stand-in's reply to "touch" with the pen held at a point by an --events style touch.
std::string touchReply(int x, int y) {
    SimOptions o = standinOptions();
    if (!sim_start(o)) return "";
    sim_run_until_idle();
    if (x >= 0) sim_touch(x, y);
    sim_send(0, "touch\r");
    sim_run_until_idle();
    std::string out = sim_take_output(0);
    sim_stop();
    size_t at = out.find("touch\r");
    return at == std::string::npos ? out : out.substr(at + 6);
}

// A sim_run of the stand-in in this process on UART0 = the host's pty, its standard error in a file.
struct WindowRun {
    int status = -1;
    bool stuck = false; // the run did not end after the talk: ended by a Ctrl-C instead
    std::string err;
};
WindowRun runWithWindow(const Host &host, bool realClock, const std::string &screenshot,
                        const std::function<void()> &talk) {
    SimOptions o = standinOptions();
    o.uart0 = SimPort::Path;
    o.uart0Path = host.path;
    o.display = SimDisplay::Sdl;
    o.clock = realClock ? SimClock::Real : SimClock::Virtual;
    o.screenshot = screenshot;
    o.trace = true;
    std::string errPath = tempPath("err");
    fflush(stderr);
    int saved = dup(2);
    int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(errFd, 2);
    close(errFd);
    WindowRun r;
    std::mutex m;
    std::condition_variable cv;
    bool ended = false;
    pthread_t board = pthread_self();
    std::thread t([&] {
        talk();
        std::unique_lock<std::mutex> g(m);
        if (!cv.wait_for(g, std::chrono::seconds(20), [&] { return ended; })) {
            r.stuck = true;
            pthread_kill(board, SIGINT);
        }
    });
    r.status = sim_run(o);
    {
        std::lock_guard<std::mutex> g(m);
        ended = true;
    }
    cv.notify_all();
    t.join();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    r.err = readFile(errPath);
    return r;
}

// The command-line program with the stand-in; extra environment entries come first (and win).
struct Result {
    int status = -1;
    std::string out, err;
};
Result runProgram(const std::vector<std::string> &args, const std::string &input,
                  const std::vector<std::string> &env) {
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

// ---- the bottom --------------------------------------------------------------------------------

TEST(DisplayBottom, ShowsFramesPixelForPixelAndTurnsTheMouseIntoPenInput) {
    std::string driver = openOn({"dummy", "offscreen"}, 64, 32);
    if (driver.empty()) GTEST_SKIP() << "SDL has neither the offscreen nor the dummy video driver";
    EXPECT_EQ(driver, sdl_bottom_driver());

    std::vector<uint16_t> px(64 * 32, rgb565(3, 7, 11));
    px[0] = rgb565(31, 0, 0);
    px[63] = rgb565(0, 63, 0);
    px[31 * 64] = rgb565(0, 0, 31);
    px[31 * 64 + 63] = 0xFFFF;
    px[5 * 64 + 10] = rgb565(16, 32, 16);
    sdl_bottom_write(SdlBottomFrame{64, 32, px.data()});
    for (int y = 0; y < 32; y++) {
        for (int x = 0; x < 64; x++) {
            uint8_t rgb[3];
            ASSERT_TRUE(sdl_bottom_read(x, y, rgb));
            ASSERT_EQ(back565(rgb), px[(size_t)y * 64 + x]) << x << "," << y;
        }
    }
    uint8_t rgb[3];
    ASSERT_TRUE(sdl_bottom_read(0, 0, rgb));
    EXPECT_EQ(rgb[0], 255); // full scale is full scale
    EXPECT_FALSE(sdl_bottom_read(64, 0, rgb));

    // A smaller frame sits at the top left, the rest goes black.
    std::vector<uint16_t> small(8 * 4, rgb565(0, 63, 31));
    sdl_bottom_write(SdlBottomFrame{8, 4, small.data()});
    ASSERT_TRUE(sdl_bottom_read(7, 3, rgb));
    EXPECT_EQ(back565(rgb), rgb565(0, 63, 31));
    ASSERT_TRUE(sdl_bottom_read(8, 3, rgb));
    EXPECT_EQ(back565(rgb), 0);
    ASSERT_TRUE(sdl_bottom_read(7, 4, rgb));
    EXPECT_EQ(back565(rgb), 0);

    // The pen: down, dragged out of the window (clamped), up; motion without the button is nothing.
    SdlBottomInput in;
    while (sdl_bottom_next_input(in, 0)) {}
    ASSERT_TRUE(sdl_bottom_inject(SdlBottomInput::Move, 3, 3));
    ASSERT_TRUE(sdl_bottom_inject(SdlBottomInput::Down, 5, 6));
    ASSERT_TRUE(sdl_bottom_inject(SdlBottomInput::Move, 200, -7));
    ASSERT_TRUE(sdl_bottom_inject(SdlBottomInput::Up, 200, -7));
    ASSERT_TRUE(sdl_bottom_inject(SdlBottomInput::Close, 0, 0));
    std::vector<std::string> seen;
    while (sdl_bottom_next_input(in, 0)) {
        const char *k = in.kind == SdlBottomInput::Down   ? "down"
                        : in.kind == SdlBottomInput::Move ? "move"
                        : in.kind == SdlBottomInput::Up   ? "up"
                                                          : "close";
        seen.push_back(std::string(k) + " " + std::to_string(in.x) + "," + std::to_string(in.y));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"down 5,6", "move 63,0", "up 63,0", "close 0,0"}));
    sdl_bottom_cleanup();
    EXPECT_STREQ(sdl_bottom_driver(), "");
    EXPECT_FALSE(sdl_bottom_read(0, 0, rgb));

    // Asked for a window people can see, the drivers that show nothing say no.
    char why[200];
    setenv("SDL_VIDEODRIVER", driver.c_str(), 1);
    EXPECT_FALSE(sdl_bottom_init("test", 64, 32, true, why, sizeof why));
    EXPECT_NE(std::string(why).find("shows nothing"), std::string::npos) << why;
    // And it can be opened again afterwards.
    ASSERT_TRUE(sdl_bottom_init("test", 16, 16, false, why, sizeof why)) << why;
    sdl_bottom_cleanup();
    unsetenv("SDL_VIDEODRIVER");
}

// The beeper's tone through SDL's "disk" audio driver, which writes the samples to a file: a
// square wave of the tone's frequency at the volume's level while on, silence otherwise.
TEST(DisplayBottom, PlaysTheToneOnTheAudioDevice) {
    std::string file = tempPath("audio");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1); // buffers as fast as they come: no waiting on the clock
    std::string driver = openOn({"dummy", "offscreen"}, 16, 16);
    unsetenv("SDL_AUDIODRIVER");
    if (driver.empty()) GTEST_SKIP() << "SDL has neither the offscreen nor the dummy video driver";
    if (!sdl_bottom_audio()) {
        sdl_bottom_cleanup();
        GTEST_SKIP() << "SDL has no disk audio driver";
    }
    auto size = [&] { return std::filesystem::exists(file) ? std::filesystem::file_size(file) : 0; };
    auto waitFor = [&](uintmax_t bytes) {
        for (long spins = 0; size() < bytes && spins < 200000000; spins++) std::this_thread::yield();
    };
    waitFor(4096);
    uintmax_t silentEnd = size();
    sdl_bottom_tone(1, 1000, 51); // half volume
    waitFor(silentEnd + 4 * 44100);
    sdl_bottom_tone(0, 0, 0);
    sdl_bottom_cleanup();
    std::string raw = readFile(file);
    ASSERT_GE(raw.size(), silentEnd + 4 * 44100);
    std::vector<int16_t> s(raw.size() / 2);
    memcpy(s.data(), raw.data(), s.size() * 2);
    for (size_t i = 0; i < silentEnd / 2; i++) ASSERT_EQ(s[i], 0) << i;
    // The tone: levels of +-4000, a sign change every 22.05 samples at 44.1 kHz.
    size_t first = silentEnd / 2;
    while (first < s.size() && s[first] == 0) first++;
    ASSERT_LT(first + 44100, s.size());
    int changes = 0;
    for (size_t i = first; i < first + 44100; i++) {
        EXPECT_EQ(abs(s[i]), 4000) << i;
        if (i > first && (s[i] > 0) != (s[i - 1] > 0)) changes++;
    }
    EXPECT_NEAR(changes, 2000, 2);
    std::filesystem::remove(file);
    unsetenv("SDL_DISKAUDIOFILE");
    unsetenv("SDL_DISKAUDIODELAY");
}

TEST(DisplayBottom, WindowTitleNamesPanelAndSize) {
    EXPECT_EQ(host::display::title(panelConfig), "ZEFO5 VGG8048_PVLED 800x480");
}

// ---- a run with the window ----------------------------------------------------------------------

class DisplayRun : public ::testing::Test {
  protected:
    std::string dir, oldCwd;
    void SetUp() override {
        // The dummy driver writes its frames into the working directory.
        dir = tempPath("frames");
        std::filesystem::create_directories(dir);
        oldCwd = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_VIDEO_DUMMY_SAVE_FRAMES", "1", 1);
        char why[200];
        bool ok = sdl_bottom_init("probe", 8, 8, false, why, sizeof why);
        sdl_bottom_cleanup();
        for (auto &e : std::filesystem::directory_iterator(dir)) std::filesystem::remove(e.path());
        if (!ok) GTEST_SKIP() << "no dummy video driver: " << why;
    }
    void TearDown() override {
        if (!oldCwd.empty()) std::filesystem::current_path(oldCwd);
        unsetenv("SDL_VIDEO_DUMMY_SAVE_FRAMES");
        unsetenv("SDL_VIDEODRIVER");
    }
};

TEST_F(DisplayRun, ShowsWhatWasDrawnWhileTheHostThinksAndClosingTheWindowEndsTheRun) {
    Host host;
    std::string shot = tempPath("shot.png");
    bool shown = false;
    WindowRun r = runWithWindow(host, false, shot, [&] {
        EXPECT_EQ(host.until("ready\r"), "ready\r");
        host.send("px 10 20 63488\rpx 11 20 2016\r");
        EXPECT_EQ(host.ask("ms").substr(0, 2), "M=");
        // The board now waits for the host for as long as it takes; the window still gets the frame.
        shown = waitForFrame(dir, [](const Frame &f) {
            return f.width == 800 && f.height == 480 && f.at(10, 20)[0] >= 248 && f.at(10, 20)[1] == 0 &&
                   f.at(11, 20)[1] >= 252 && f.at(11, 20)[0] == 0;
        });
        // On the virtual clock the mouse is not the pen.
        sdl_bottom_inject(SdlBottomInput::Down, 100, 100);
        sdl_bottom_inject(SdlBottomInput::Close, 0, 0);
    });
    EXPECT_TRUE(shown);
    EXPECT_FALSE(r.stuck);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("zefo5: the mouse touches the panel only with --clock real\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("touch at"), std::string::npos) << r.err;
    Png png;
    ASSERT_TRUE(readPng(shot, png));
    EXPECT_EQ(png.at(10, 20)[0], 255);
}

// The window shows what the eye would see: dimmed with the backlight, black without the panel's
// supply; the screenshot keeps the frame buffer.
TEST_F(DisplayRun, WindowDimsWithTheBacklightAndIsBlackWithoutSupply) {
    Host host;
    std::string shot = tempPath("shot.png");
    bool dimmed = false, dark = false, back = false;
    WindowRun r = runWithWindow(host, false, shot, [&] {
        host.until("ready\r");
        // Full white at (10, 20), then the backlight at 128/255 of the first panel's inverter.
        host.send("px 10 20 65535\rduty 128\r");
        EXPECT_EQ(host.ask("ms").substr(0, 2), "M=");
        dimmed = waitForFrame(dir, [](const Frame &f) {
            return f.width == 800 && f.at(10, 20)[0] >= 120 && f.at(10, 20)[0] <= 132 &&
                   f.at(10, 20)[1] >= 120 && f.at(10, 20)[1] <= 132;
        });
        // Frames shown before each change would answer too: they go before the change is sent, since
        // the window may show the change before the host hears its reply.
        auto forget = [&] {
            for (auto &e : std::filesystem::directory_iterator(dir)) std::filesystem::remove(e.path());
        };
        forget();
        host.send("supply 0\r");
        EXPECT_EQ(host.ask("ms").substr(0, 2), "M=");
        dark = waitForFrame(dir, [](const Frame &f) { return f.width == 800 && f.at(10, 20)[0] == 0; });
        forget();
        host.send("supply 1\rduty 255\r");
        EXPECT_EQ(host.ask("ms").substr(0, 2), "M=");
        back = waitForFrame(dir, [](const Frame &f) { return f.width == 800 && f.at(10, 20)[0] >= 248; });
        sdl_bottom_inject(SdlBottomInput::Close, 0, 0);
    });
    EXPECT_TRUE(dimmed);
    EXPECT_TRUE(dark);
    EXPECT_TRUE(back);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("screen lit, backlight 128/255"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("screen dark"), std::string::npos) << r.err;
    Png png;
    ASSERT_TRUE(readPng(shot, png));
    EXPECT_EQ(png.at(10, 20)[0], 255) << "the screenshot is the frame buffer";
}

TEST_F(DisplayRun, MouseIsThePenOnTheRealClock) {
    std::string down = touchReply(400, 240), moved = touchReply(120, 60), up = touchReply(-1, -1);
    ASSERT_EQ(down.substr(0, 4), "P=1 ");
    ASSERT_NE(down, moved);
    Host host;
    std::vector<std::string> replies;
    // Each reply that is not the one wanted yet is asked again: the board takes the mouse's input
    // at its next look, within a few milliseconds.
    auto askUntil = [&](const std::string &want) {
        std::string got;
        for (int i = 0; i < 2000 && got != want; i++) got = host.ask("touch");
        replies.push_back(got);
    };
    WindowRun r = runWithWindow(host, true, tempPath("shot.png"), [&] {
        host.until("ready\r");
        // The window opens while the board runs: its first frame says it is there.
        EXPECT_TRUE(waitForFrame(dir, [](const Frame &) { return true; }));
        sdl_bottom_inject(SdlBottomInput::Down, 400, 240);
        askUntil(down);
        sdl_bottom_inject(SdlBottomInput::Move, 120, 60);
        askUntil(moved);
        sdl_bottom_inject(SdlBottomInput::Up, 120, 60);
        askUntil(up);
        sdl_bottom_inject(SdlBottomInput::Close, 0, 0);
    });
    EXPECT_EQ(replies, (std::vector<std::string>{down, moved, up}));
    EXPECT_FALSE(r.stuck);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("touch at 400,240"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("touch at 120,60"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("release"), std::string::npos) << r.err;
}

// ---- the program: the window changes nothing the host or the screenshot sees ---------------------

TEST(DisplayProgram, NoWindowAWindowOrNoDisplayGiveTheSameBytesAndPicture) {
    std::string events = tempPath("events.txt");
    writeFile(events, "30 touch 400 240\n60 send touch\\r\n90 release\n");
    std::string input = "px 10 20 63488\rburst 30\rt\rtouch\r";
    auto run = [&](std::vector<std::string> args, const std::vector<std::string> &env, std::string &shot) {
        shot = tempPath("shot.png");
        args.insert(args.end(), {"--events", events, "--screenshot", shot});
        return runProgram(args, input, env);
    };
    std::string shot0, shot;
    Result base = run({}, {"DISPLAY=", "WAYLAND_DISPLAY="}, shot0);
    ASSERT_EQ(base.status, 0) << base.err;
    ASSERT_NE(base.out.find("P=1 X="), std::string::npos) << base.out;
    EXPECT_EQ(base.err, "");
    Png png;
    ASSERT_TRUE(readPng(shot0, png));
    EXPECT_EQ(png.at(10, 20)[0], 255);
    std::string picture = readFile(shot0);

    struct Case {
        const char *what;
        std::vector<std::string> args, env;
        bool quiet;
    };
    const Case cases[] = {
        {"--display none on a desktop", {"--display", "none"}, {"DISPLAY=:0", "SDL_VIDEODRIVER=dummy"}, true},
        {"a display that is not there", {}, {"DISPLAY=:97", "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=x11"}, true},
        {"a driver that shows nothing", {}, {"DISPLAY=:97", "SDL_VIDEODRIVER=dummy"}, true},
        {"a window", {"--display", "sdl"}, {"SDL_VIDEODRIVER=dummy"}, true},
        {"--display=sdl without video", {"--display=sdl"}, {"SDL_VIDEODRIVER=none-such"}, false},
    };
    for (const Case &c : cases) {
        Result r = run(c.args, c.env, shot);
        EXPECT_EQ(r.status, 0) << c.what << ": " << r.err;
        EXPECT_EQ(r.out, base.out) << c.what;
        EXPECT_EQ(readFile(shot), picture) << c.what;
        if (c.quiet)
            EXPECT_EQ(r.err, "") << c.what;
        else
            EXPECT_EQ(r.err.rfind("zefo5: no window (", 0), 0u) << c.what << ": " << r.err;
    }

    Result bad = run({"--display", "x11"}, {}, shot);
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--display: needs sdl or none"), std::string::npos) << bad.err;
}

} // namespace
