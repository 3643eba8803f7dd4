// The board in a web page: main() and the calls the page makes into the board.
//
// The page runs the simulator's whole program (sim_run) on the browser's one thread. Two ways:
// - "--page": UART0 is the page's terminal, virtual time follows the wall clock, and every wait
//   for the wall clock gives the thread back to the browser (emscripten_sleep, through Asyncify),
//   so that the page draws, takes keys and the pen, and plays the beeper in between.
// - otherwise the command line of the PC simulator, standard input and output being what the page
//   gives the module: a run on the virtual clock returns only at its end, byte for byte what
//   build/zefo5 gives (the page's test hook).
#include <emscripten.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "board/host/host.h"
#include "config/panel.h"

using namespace host;

extern "C" char __fw_data_start[], __fw_data_end[]; // fw_data_begin.cpp, fw_data_end.cpp
extern volatile uint8_t mainIsUart0;                // one of the firmware's variables

namespace {

bool finished;
bool stopRequested; // the page starts another board: this run ends at its next wait
bool inputArrived;  // the page sent bytes while the board waited
bool litOnce;       // the panel has been lit since power-on
double originMs;    // wall time of virtual time 0
double lastYieldMs; // when the page last had the thread
std::string taken;  // UART0's output handed to the page
std::vector<uint8_t> rgba;

// Virtual time may run ahead of the wall clock by a few milliseconds, then the board sleeps; a busy
// firmware (or a tab the browser stopped) falls behind, and catches up by at most a quarter second.
// The browser has the thread at least every 25 ms.
bool waitInPage(uint64_t t) {
    if (stopRequested) setControl(CTRL_EXIT);
    const double target = (double)t / (double)SIM_COUNTS_PER_MS;
    const double wall = emscripten_get_now();
    double lag = wall - originMs - target;
    // Until the panel first lights there is nothing to see: the power-on runs as fast as it can.
    if (!litOnce) litOnce = sim_board().visibleLevel > 0;
    if (!litOnce && lag < 0) {
        originMs = wall - target;
        lag = 0;
    }
    if (lag > 250) {
        originMs += lag - 250;
        lag = 250;
    }
    if (lag < -8) {
        emscripten_sleep((unsigned)-lag);
        lastYieldMs = emscripten_get_now();
    } else if (wall - lastYieldMs > 25) {
        emscripten_sleep(0);
        lastYieldMs = emscripten_get_now();
    }
    if (!inputArrived) return true;
    inputArrived = false;
    return false;
}

void toneToPage(const SimTone &t) {
    EM_ASM(
        {
            if (Module.onTone) Module.onTone($0, $1, $2, $3);
        },
        t.on, t.hz, t.volumeDuty, t.external);
}

// The firmware's data must lie between the markers (fw_data_begin.cpp), the board's outside them,
// or a watchdog reset would restore too little or too much: checked on one variable of each.
bool firmwareDataMarked() {
    const char *fw = (const char *)&mainIsUart0, *own = (const char *)&host::due;
    return fw >= __fw_data_start && fw < __fw_data_end && (own < __fw_data_start || own >= __fw_data_end);
}

} // namespace

int main(int argc, char **argv) {
    if (!firmwareDataMarked()) fprintf(stderr, "zefo5: the firmware's data is not between its markers\n");
    bool page = false;
    std::vector<char *> args;
    for (int i = 0; i < argc; i++) {
        if (strcmp(argv[i], "--page") == 0) {
            page = true;
        } else {
            args.push_back(argv[i]);
        }
    }
    args.push_back(nullptr);
    SimOptions options;
    int parsed = sim_parse_args((int)args.size() - 1, args.data(), options);
    if (parsed) return parsed == 1 ? 0 : 2;
    options.display = SimDisplay::None;
    if (page) {
        options.uart0 = SimPort::Capture;
        options.clock = SimClock::Real;
        options.trace = true; // board-state lines go to the page's trace panel
        uart::pageWait = waitInPage;
        soundHook = toneToPage;
        originMs = lastYieldMs = emscripten_get_now();
    }
    int status = sim_run(options);
    finished = true;
    return status;
}

// ---- the page's calls ------------------------------------------------------------------------------
extern "C" {

EMSCRIPTEN_KEEPALIVE void web_stop() {
    stopRequested = true;
}

EMSCRIPTEN_KEEPALIVE void web_send(const char *bytes, int n) {
    sim_send(0, bytes, (size_t)n);
    inputArrived = true;
}

// What UART0 sent since the last call: its length here, its bytes at web_output().
EMSCRIPTEN_KEEPALIVE int web_take_output() {
    taken = sim_take_output(0);
    return (int)taken.size();
}
EMSCRIPTEN_KEEPALIVE const char *web_output() {
    return taken.data();
}

EMSCRIPTEN_KEEPALIVE void web_touch(int x, int y) {
    sim_touch(x, y);
}
EMSCRIPTEN_KEEPALIVE void web_release() {
    sim_release();
}

EMSCRIPTEN_KEEPALIVE int web_width() {
    int w = 0, h = 0;
    return sim_framebuffer(&w, &h) ? w : panelConfig.width;
}
EMSCRIPTEN_KEEPALIVE int web_height() {
    int w = 0, h = 0;
    return sim_framebuffer(&w, &h) ? h : panelConfig.height;
}

// The visible frame buffer as RGBA, widened like the screenshot's PNG; black before the set-up.
EMSCRIPTEN_KEEPALIVE const uint8_t *web_frame() {
    int w = 0, h = 0;
    const uint16_t *fb = sim_framebuffer(&w, &h);
    if (!fb) {
        w = panelConfig.width;
        h = panelConfig.height;
    }
    rgba.assign((size_t)w * h * 4, 255);
    for (size_t i = 0; i < (size_t)w * h; i++) panel::widen565(fb ? fb[i] : 0, &rgba[i * 4]);
    return rgba.data();
}

EMSCRIPTEN_KEEPALIVE int web_visible_level() {
    return sim_board().visibleLevel;
}
EMSCRIPTEN_KEEPALIVE int web_status_led() {
    return sim_board().statusLed;
}
EMSCRIPTEN_KEEPALIVE int web_sd_led() {
    return sim_board().sdLed;
}
EMSCRIPTEN_KEEPALIVE double web_now_ms() {
    return sim_now_ms();
}
EMSCRIPTEN_KEEPALIVE int web_finished() {
    return finished;
}

} // extern "C"

// ---- what the browser's C library lacks ---------------------------------------------------------------
// The board waits for the wall clock in waitInPage, never here; a run on the virtual clock only asks
// whether files are readable, which they always are.
extern "C" int ppoll(struct pollfd *fds, nfds_t n, const struct timespec *timeout, const sigset_t *) {
    return poll(fds, n, timeout ? (int)(timeout->tv_sec * 1000 + timeout->tv_nsec / 1000000) : -1);
}

// No signals reach a page: there is no alternate stack to give a fault handler.
extern "C" int sigaltstack(const stack_t *, stack_t *) {
    errno = ENOSYS;
    return -1;
}
