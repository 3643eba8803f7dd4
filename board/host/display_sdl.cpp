// The window of a sim_run: its thread, the frames handed over to it and the pen input taken back.
// Only display_sdl_bottom.cpp knows SDL.
//
// One mutex guards everything the two threads share. The board never waits for the window while
// the firmware runs: it hands a frame over only when the window's thread does not hold the lock.
// While the board waits for the host it is "parked": the frame buffer and the board state stay as
// they are until parkEnd, which takes the lock, so the window's thread may read them meanwhile.
#include "board/host/display_sdl.h"

#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

#include "board/host/display_sdl_bottom.h"
#include "board/host/host.h"
#include "config/panel.h"

namespace host {
namespace display {

bool shown;
uint64_t nextCheck = UINT64_MAX;

namespace {

constexpr uint64_t FRAME_NS = 20000000; // wall time between two frames, at least
constexpr int WINDOW_WAIT_MS = 10;      // the window's thread looks at the board this often

std::mutex lock;
// Not a static object: an exit() while the window is open (Xlib does that when the window
// system goes away) must not find a thread object still to be joined.
std::thread *windowThread;
pthread_t boardThread;
std::atomic<bool> stopping, closed, closeDone, penWaiting;
std::atomic<bool> gone; // the window could not be opened
// Wall time between two frames: FRAME_NS, or more where showing one is slow (no graphics
// hardware), so that the window never takes more than a fifth of the time.
std::atomic<uint64_t> frameGapNs;

// Set before the window's thread starts.
std::string windowTitle;
int panelW, panelH;
bool visibleOnly;
bool tellFailure;
bool mouseWorks; // real clock

// Shared under the lock.
std::vector<uint16_t> staged; // panelW x panelH
uint64_t stagedSeq;
uint64_t stagedAt; // virtual time of the staged frame
bool parked;
uint64_t parkedAt;
std::deque<SimEvent> pen;

// Board thread only.
uint64_t lastFrameNs;

uint64_t wallNs() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000000000ull + (uint64_t)t.tv_nsec;
}

// A 5-6-5 pixel at a brightness of level/255.
uint16_t dimmed(uint16_t p, uint32_t level) {
    uint32_t r = (p >> 11) * level / 255, g = ((p >> 5) & 63) * level / 255, b = (p & 31) * level / 255;
    return (uint16_t)(r << 11 | g << 5 | b);
}

// The visible frame buffer into `staged`, as the eye sees it: a controller not set up yet, a panel
// without supply or signals and a dark backlight show black; a dimmed backlight dims the picture.
// Called with the lock held, by the board or, while it is parked, by the window's thread.
void stageFrame() {
    int w, h;
    const uint16_t *fb = board.visibleLevel ? sim_framebuffer(&w, &h) : nullptr;
    if (!fb) w = h = 0;
    if (fb && w == panelW && h == panelH) {
        memcpy(staged.data(), fb, staged.size() * 2);
    } else {
        std::fill(staged.begin(), staged.end(), 0);
        int cw = w < panelW ? w : panelW, ch = h < panelH ? h : panelH;
        for (int y = 0; fb && y < ch; y++)
            memcpy(&staged[(size_t)y * panelW], fb + (size_t)y * w, (size_t)cw * 2);
    }
    if (board.visibleLevel && board.visibleLevel < 255)
        for (uint16_t &p : staged) p = dimmed(p, board.visibleLevel);
    stagedAt = now; // while parked: the time of the park
    stagedSeq++;
}

// The wake-up for a board waiting for the host when the window is closed: its poll ends with EINTR.
void wake(int) {}

void takeInput(const SdlBottomInput &in) {
    if (in.kind == SdlBottomInput::Close) {
        closed = true;
        return;
    }
    if (in.kind != SdlBottomInput::Down && in.kind != SdlBottomInput::Move && in.kind != SdlBottomInput::Up)
        return;
    if (!mouseWorks) {
        static bool told;
        if (in.kind == SdlBottomInput::Down && !told) {
            fprintf(stderr, "zefo5: the mouse touches the panel only with --clock real\n");
            told = true;
        }
        return;
    }
    SimEvent e;
    e.kind = in.kind == SdlBottomInput::Up ? SimEvent::Release : SimEvent::Touch;
    e.x = in.x;
    e.y = in.y;
    std::lock_guard<std::mutex> g(lock);
    // Motion the board has not taken yet is replaced by the newer point.
    if (in.kind == SdlBottomInput::Move && !pen.empty() && pen.back().kind == SimEvent::Touch)
        pen.back() = e;
    else
        pen.push_back(e);
    penWaiting = true;
}

// Opening the window takes a while (a connection, a renderer): the board does not wait for it.
void windowMain() {
    char why[200];
    if (!sdl_bottom_init(windowTitle.c_str(), panelW, panelH, visibleOnly, why, sizeof why)) {
        if (tellFailure) fprintf(stderr, "zefo5: no window (%s); the run goes on without it\n", why);
        gone = true;
        return;
    }
    std::vector<uint16_t> shownFrame((size_t)panelW * panelH, 0);
    uint64_t shownSeq = 0;
    while (!stopping) {
        SdlBottomInput in;
        for (int wait = WINDOW_WAIT_MS; sdl_bottom_next_input(in, wait); wait = 0) takeInput(in);
        bool fresh = false;
        {
            std::lock_guard<std::mutex> g(lock);
            if (parked && parkedAt != stagedAt) stageFrame();
            // A picture that has not changed is not shown again (an idle board costs nothing).
            if (stagedSeq != shownSeq && memcmp(shownFrame.data(), staged.data(), staged.size() * 2)) {
                shownFrame = staged;
                fresh = true;
            }
            shownSeq = stagedSeq;
            // Sent again each round until the board has seen it: it may have been just about to wait.
            if (closed && !closeDone && parked) pthread_kill(boardThread, SIGUSR2);
        }
        if (fresh) {
            uint64_t t = wallNs();
            sdl_bottom_write(SdlBottomFrame{panelW, panelH, shownFrame.data()});
            uint64_t took = wallNs() - t;
            frameGapNs = took * 5 > FRAME_NS ? took * 5 : FRAME_NS;
        }
    }
    sdl_bottom_cleanup();
}

bool hasEnv(const char *name) {
    const char *v = getenv(name);
    return v && *v;
}

const PanelConfig &panelCfg() {
    return opts.panel ? *opts.panel : panelConfig;
}

} // namespace

std::string title(const PanelConfig &p) {
    char t[120];
    snprintf(t, sizeof t, "ZEFO5 %s %ux%u", p.panelName ? p.panelName : "?", (unsigned)p.width,
             (unsigned)p.height);
    return t;
}

bool open() {
    close();
    if (opts.display == SimDisplay::None) return false;
    bool automatic = opts.display == SimDisplay::Auto;
    if (automatic && !hasEnv("DISPLAY") && !hasEnv("WAYLAND_DISPLAY")) return false;

    const PanelConfig &p = panelCfg();
    panelW = p.width;
    panelH = p.height;
    windowTitle = title(p);
    visibleOnly = automatic; // a window on the offscreen driver is only for those who ask for it
    tellFailure = !automatic;
    mouseWorks = realClock;
    staged.assign((size_t)panelW * panelH, 0);
    stagedSeq = 0;
    stagedAt = UINT64_MAX;
    parked = false;
    pen.clear();
    stopping = closed = closeDone = penWaiting = gone = false;
    boardThread = pthread_self();

    struct sigaction sa = {};
    sa.sa_handler = wake;
    sa.sa_flags = SA_RESTART; // waits that poll still end with EINTR; reads and writes go on
    sigemptyset(&sa.sa_mask);
    sigaction(SIGUSR2, &sa, nullptr);

    // The window's thread (and the threads SDL starts from it) take no signals: Ctrl-C and the
    // wake-up must reach the board's thread.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    windowThread = new std::thread(windowMain);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    shown = true;
    soundHook = [](const SimTone &t) { sdl_bottom_tone(t.on, t.hz, t.volumeDuty); };
    frameGapNs = FRAME_NS;
    lastFrameNs = wallNs() - FRAME_NS;
    nextCheck = now;
    return true;
}

void close() {
    soundHook = nullptr;
    if (windowThread) {
        stopping = true;
        windowThread->join();
        delete windowThread;
        windowThread = nullptr;
    }
    shown = false;
    nextCheck = UINT64_MAX;
}

bool check(SimEvent &out) {
    if (gone) { // as if there had never been a window
        shown = false;
        nextCheck = UINT64_MAX;
        return false;
    }
    nextCheck = now + SIM_COUNTS_PER_MS;
    if (penWaiting) {
        std::lock_guard<std::mutex> g(lock);
        if (!pen.empty()) {
            out = pen.front();
            pen.pop_front();
            penWaiting = !pen.empty();
            return true;
        }
        penWaiting = false;
    }
    uint64_t t = wallNs();
    if (t - lastFrameNs < frameGapNs.load(std::memory_order_relaxed)) return false;
    std::unique_lock<std::mutex> g(lock, std::try_to_lock);
    if (!g.owns_lock()) return false; // the window is busy: next time
    stageFrame();
    lastFrameNs = t;
    return false;
}

bool closeRequested() {
    return closed && !closeDone;
}

void closeTaken() {
    closeDone = true;
}

bool parkBegin() {
    std::lock_guard<std::mutex> g(lock);
    if (closed) return false;
    parked = true;
    parkedAt = now;
    return true;
}

void parkEnd() {
    std::lock_guard<std::mutex> g(lock);
    parked = false;
}

} // namespace display
} // namespace host
