// The simulator's session around the board core: the firmware thread and its run loop with resets
// and exits, the firmware data restored on reset, the in-process harness and the crash handlers.
#include <errno.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "board/host/display_sdl.h"
#include "board/host/host.h"

int firmware_main(void);

// The firmware's data, gathered by firmware_sections.ld. Weak: a program linked without the script
// simply has no firmware data to restore.
extern "C" {
extern char __fw_data_start[] __attribute__((weak));
extern char __fw_data_end[] __attribute__((weak));
extern char __fw_bss_start[] __attribute__((weak));
extern char __fw_bss_end[] __attribute__((weak));
}

namespace host {

namespace {

std::vector<SimEvent> harnessEvents; // sim_schedule's events, addressed by their index
int exitStatus;
jmp_buf firmwareJump;
volatile sig_atomic_t interrupted; // Ctrl-C

// Exit rule of sim_run.
bool lingerArmed;
uint64_t lingerStart;
size_t eventsPending; // --events not yet happened

// Harness.
enum class Goal { None, Idle };
enum class Stop { None, Idle, Deadline, Limit, PowerCut, Parked };
Goal goal;
Stop stopReason;
uint64_t harnessGen;
bool powerIsCut;
bool sessionOpen;
bool threadStarted;
bool threadFinished; // the run ended by itself (--max-ms in a session)
pthread_t firmwareThread;
std::mutex *baton = new std::mutex; // never destroyed: the firmware thread may outlive statics
std::condition_variable *batonCv = new std::condition_variable;
int turn; // 0: the caller runs, 1: the firmware runs
thread_local bool onFirmwareThread;
char *firmwareStackLow;
size_t firmwareStackSize;

void yieldToCaller() {
    if (!harness) return;
    std::unique_lock<std::mutex> lock(*baton);
    turn = 0;
    batonCv->notify_all();
    batonCv->wait(lock, [] { return turn == 1; });
}

void resumeFirmware() {
    std::unique_lock<std::mutex> lock(*baton);
    if (threadFinished) return;
    turn = 1;
    batonCv->notify_all();
    batonCv->wait(lock, [] { return turn == 0; });
}

void handleControl() {
    if (control & CTRL_YIELD) {
        control &= ~CTRL_YIELD;
        yieldToCaller();
    }
    if (control & ~CTRL_YIELD) longjmp(firmwareJump, 1);
    recomputeDue();
}

// ---- firmware data -------------------------------------------------------------------------------
std::vector<char> dataSnapshot;
bool snapshotTaken;

// Loops through volatile pointers: the compiler must not turn them into memcpy/memset, which
// AddressSanitizer checks against the red zones it keeps between the firmware's globals. Eight
// bytes at a time where both ends allow it: the firmware's data is a few hundred kilobytes.
__attribute__((no_sanitize("address"))) void copyBytes(char *dst, const char *src, size_t n) {
    size_t i = 0;
    if ((((uintptr_t)dst | (uintptr_t)src) & 7) == 0)
        for (; i + 8 <= n; i += 8) *(volatile uint64_t *)(dst + i) = *(const volatile uint64_t *)(src + i);
    volatile char *d = dst;
    const volatile char *s = src;
    for (; i < n; i++) d[i] = s[i];
}

__attribute__((no_sanitize("address"))) void zeroBytes(char *dst, size_t n) {
    size_t i = 0;
    if (((uintptr_t)dst & 7) == 0)
        for (; i + 8 <= n; i += 8) *(volatile uint64_t *)(dst + i) = 0;
    volatile char *d = dst;
    for (; i < n; i++) d[i] = 0;
}

void restoreFirmwareData() {
    if (!__fw_data_start || !__fw_data_end || !__fw_bss_start || !__fw_bss_end) return;
    size_t dataSize = (size_t)(__fw_data_end - __fw_data_start);
    if (!snapshotTaken) {
        // Taken before the firmware first runs: its data is still as the loader left it.
        dataSnapshot.resize(dataSize);
        copyBytes(dataSnapshot.data(), __fw_data_start, dataSize);
        snapshotTaken = true;
    }
    copyBytes(__fw_data_start, dataSnapshot.data(), dataSize);
    zeroBytes(__fw_bss_start, (size_t)(__fw_bss_end - __fw_bss_start));
}
void powerOn() {
    restoreFirmwareData();
    powerOnDevices();
}

void watchdogReset() {
    board.resets++;
    trace("watchdog reset");
    restoreFirmwareData();
    resetCore();
    memory::reset();
    uart::reset();
    flash::reset();
    panel::reset();
}

void exitNow(uint64_t, uint64_t) {
    exitStatus = 0;
    setControl(CTRL_EXIT);
}

void exitAt(uint64_t time) {
    schedule(time, exitNow);
}

// The end of the linger time: a reply still on the wire is let out (up to 5 s more).
void lingerEnd(uint64_t, uint64_t) {
    if (uart::transmitting() && now < lingerStart + msToCounts(opts.lingerMs + 5000)) {
        schedule(now + SIM_COUNTS_PER_MS, lingerEnd);
        return;
    }
    exitStatus = 0;
    setControl(CTRL_EXIT);
}

void checkExitRule() {
    if (harness || lingerArmed || eventsPending || !uart::inputEnded()) return;
    lingerArmed = true;
    lingerStart = now;
    schedule(now + msToCounts(opts.lingerMs), lingerEnd);
}

void fireEvent(const SimEvent &e) {
    switch (e.kind) {
    case SimEvent::Touch:
        touch::setPen(true, e.x, e.y);
        break;
    case SimEvent::Release:
        touch::setPen(false, 0, 0);
        break;
    case SimEvent::CardOut:
        sd::setPresent(false);
        break;
    case SimEvent::CardIn:
        sd::setPresent(true);
        break;
    case SimEvent::Send:
        uart::inject(uart::mainPort(), e.bytes);
        break;
    case SimEvent::Aux:
        uart::inject(1 - uart::mainPort(), e.bytes);
        break;
    }
}

// The window was closed: the run ends as it does at the end of input.
void endAsInputEnded() {
    display::closeTaken();
    if (lingerArmed) return;
    lingerArmed = true;
    lingerStart = now;
    schedule(now + msToCounts(opts.lingerMs), lingerEnd);
}

// The board's look at the window: pen input (real clock) and the frame for it.
void displayCheck() {
    SimEvent pen;
    while (display::check(pen)) fireEvent(pen);
    if (display::closeRequested()) endAsInputEnded();
}

void runEvent(uint64_t index, uint64_t) {
    fireEvent(opts.events[index]);
    eventsPending--;
}

void harnessEvent(uint64_t index, uint64_t) {
    fireEvent(harnessEvents[index]);
    eventsPending--;
}

void scheduleRunEvents() {
    eventsPending = opts.events.size();
    for (size_t i = 0; i < opts.events.size(); i++) schedule(msToCounts(opts.events[i].ms), runEvent, i);
    if (opts.maxMs) exitAt(msToCounts(opts.maxMs));
}

int runFirmware() {
    for (;;) {
        unsigned c = control;
        control = 0;
        recomputeDue();
        inHandler = false;
        noteIrqOpen();
        if (c & CTRL_STOP) return 0;
        if (c & CTRL_EXIT) return exitStatus;
        if (c & CTRL_POWER_CUT) {
            if (!harness) {
                uart::flush();
                fprintf(stderr, "zefo5: power cut %s\n", powerCutWhat);
                return 4;
            }
            powerIsCut = true;
        }
        if (c & CTRL_POWER_CYCLE) {
            powerIsCut = false;
            powerOn();
        } else if (c & CTRL_RESET) {
            watchdogReset();
        }
        if (powerIsCut || (c & CTRL_PARK)) {
            stopReason = powerIsCut ? Stop::PowerCut : Stop::Parked;
            yieldToCaller();
            continue;
        }
        if (setjmp(firmwareJump) == 0) {
            int (*entry)(void) = opts.entry ? opts.entry : firmware_main;
            entry();
            fault("the firmware's main returned");
        }
    }
}

// ---- faults ----------------------------------------------------------------------------------------
void writeAll(int fd, const char *s) {
    size_t n = strlen(s);
    while (n) {
        ssize_t w = write(fd, s, n);
        if (w <= 0) return;
        s += w;
        n -= (size_t)w;
    }
}

void hex(char *out, uintptr_t v) {
    static const char digits[] = "0123456789abcdef";
    char tmp[2 + 2 * sizeof v + 1];
    int n = 0;
    do {
        tmp[n++] = digits[v & 15];
        v >>= 4;
    } while (v);
    *out++ = '0';
    *out++ = 'x';
    while (n) *out++ = tmp[--n];
    *out = 0;
}

void crashHandler(int sig, siginfo_t *info, void *) {
    if (!onFirmwareThread) {
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    uart::terminalRestore();
    char *addr = (char *)info->si_addr;
    bool stack = firmwareStackLow && addr < firmwareStackLow + 65536 && addr + (1 << 20) > firmwareStackLow;
    char buf[200];
    strcpy(buf, "zefo5: firmware fault: ");
    if (stack) {
        strcat(buf, "stack exhausted");
    } else {
        strcat(buf, sig == SIGBUS ? "bus error" : "segmentation fault");
        strcat(buf, " at address ");
        hex(buf + strlen(buf), (uintptr_t)addr);
    }
    strcat(buf, "\n");
    writeAll(2, buf);
    if (opts.faultAborts) {
        signal(SIGABRT, SIG_DFL);
        abort();
    }
    _exit(3);
}

void interruptHandler(int) {
    if (interrupted) { // a second Ctrl-C: the firmware does not come back to the board
        uart::terminalRestore();
        _exit(130);
    }
    interrupted = 1;
    sessionAt = 0; // seen at the next event, also while the board waits for input
}

void terminateHandler(int sig) {
    uart::terminalRestore();
    signal(sig, SIG_DFL);
    raise(sig);
}

// The fault handler runs on its own stack so that stack exhaustion can be reported.
void prepareFirmwareThread() {
    onFirmwareThread = true;
    // One firmware thread at a time, so one signal stack serves them all; a thread that has one
    // already (the sanitizers give every thread its own) keeps it.
    static char altStack[1 << 16];
    stack_t old;
    if (sigaltstack(nullptr, &old) == 0 && (old.ss_flags & SS_DISABLE)) {
        stack_t ss = {};
        ss.ss_sp = altStack;
        ss.ss_size = sizeof altStack;
        sigaltstack(&ss, nullptr);
    }
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void *low;
        size_t size;
        pthread_attr_getstack(&attr, &low, &size);
        firmwareStackLow = (char *)low;
        firmwareStackSize = size;
        pthread_attr_destroy(&attr);
    }
    static bool installed;
    if (installed) return;
    installed = true;
    struct sigaction sa = {};
    sa.sa_sigaction = crashHandler;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGSEGV, &sa, nullptr);
    sigaction(SIGBUS, &sa, nullptr);
}

void installRunSignals() {
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa = {};
    sa.sa_handler = interruptHandler;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = terminateHandler;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

void *firmwareThreadMain(void *) {
    prepareFirmwareThread();
    {
        std::unique_lock<std::mutex> lock(*baton);
        batonCv->wait(lock, [] { return turn == 1; });
    }
    runFirmware();
    std::unique_lock<std::mutex> lock(*baton);
    threadFinished = true;
    turn = 0;
    batonCv->notify_all();
    return nullptr;
}
// Called by service() after the due events when a control is pending or sessionAt has come: the
// window, Ctrl-C and the pending control. sessionAt is set before interrupted is read, so that a
// Ctrl-C in between is not missed.
void serviceSession() {
    if (now >= display::nextCheck) displayCheck();
    sessionAt = display::nextCheck;
    if (interrupted && !(control & CTRL_EXIT)) {
        exitStatus = 0;
        control |= CTRL_EXIT;
    }
    if (control) handleControl();
}

bool openSession(const SimOptions &o, bool inProcess) {
    for (const SimEvent &e : o.events) {
        if (e.kind == SimEvent::CardIn && o.sd.empty()) {
            fprintf(stderr, "zefo5: a card-in event needs a card image (--sd)\n");
            return false;
        }
    }
    harnessEvents.clear();
    lingerArmed = false;
    interrupted = 0;
    powerIsCut = false;
    goal = Goal::None;
    packDirectory = packWithCardTool;
    if (!openBoard(o, inProcess)) return false;
    sessionService = serviceSession;
    sessionOpen = true;
    powerOn();
    scheduleRunEvents();
    return true;
}

void closeSession() {
    closeBoard();
    sessionOpen = false;
}

void finishRun() {
    uart::flush();
    if (!opts.screenshot.empty()) panel::writePng(opts.screenshot.c_str());
    uart::terminalRestore();
}

} // namespace

} // namespace host

using namespace host;

// Output reaches its files when the board waits for the host (or the wall clock), at 4 KiB and
// at the end, not byte by byte.
void bsp_idle(void) {
    uint64_t handledBefore = handlersRun;
    access();
    // An interrupt taken on the way in may have brought what the loop looked for a moment ago (the
    // CR of a line): the loop looks again before the board calls it idle. (On the target the
    // next timer tick wakes it.)
    if (handlersRun != handledBefore) return;
    checkExitRule();
    if (harness && goal == Goal::Idle && !irqDeliverable() && uart::settled() && eventsPending == 0) {
        goal = Goal::None;
        stopReason = Stop::Idle;
        setControl(CTRL_YIELD);
        handleControl();
    }
    if (uart::onBus()) {
        // The bus waits for the host when every station is idle; a station runs on to its round.
        if (!irqDeliverable()) uart::setBusIdle(true);
    } else if (!realClock && !lingerArmed && !irqDeliverable()) {
        if (!display::shown) {
            uart::blockUntilInput();
        } else if (display::parkBegin()) {
            uart::blockUntilInput();
            display::parkEnd();
        } else {
            endAsInputEnded();
        }
    }
    waitForEvent();
    uart::setBusIdle(false);
}
// ---- reset and faults ------------------------------------------------------------------------------
void bsp_watchdog_reset(void) {
    uart::flush();
    control |= CTRL_RESET;
    longjmp(firmwareJump, 1);
}
// ---- whole program ---------------------------------------------------------------------------------
int sim_run(const SimOptions &o) {
    if (sessionOpen) sim_stop();
    if (!openSession(o, false)) return 2;
    installRunSignals();
    prepareFirmwareThread();
    display::open();
    int status = runFirmware();
    display::close();
    finishRun();
    closeSession();
    return status;
}

// ---- harness ---------------------------------------------------------------------------------------
bool sim_start(const SimOptions &o) {
    if (sessionOpen) sim_stop();
    if (!openSession(o, true)) return false;
    turn = 0;
    threadFinished = false;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 64u << 20);
    threadStarted = pthread_create(&firmwareThread, &attr, firmwareThreadMain, nullptr) == 0;
    pthread_attr_destroy(&attr);
    if (!threadStarted) {
        fprintf(stderr, "zefo5: cannot start the firmware thread\n");
        closeSession();
        return false;
    }
    return true;
}

void sim_stop() {
    if (!sessionOpen) return;
    if (threadStarted) {
        setControl(CTRL_STOP);
        resumeFirmware();
        pthread_join(firmwareThread, nullptr);
        threadStarted = false;
    }
    uart::flush();
    closeSession();
    harness = false;
}

static void harnessStop(uint64_t gen, uint64_t reason) {
    if (gen != harnessGen) return;
    goal = Goal::None;
    stopReason = (Stop)reason;
    setControl(CTRL_YIELD);
}

static void harnessDeadline(uint64_t when, Stop reason) {
    schedule(when, harnessStop, ++harnessGen, (uint64_t)reason);
}

bool sim_run_until_idle(uint64_t limitMs) {
    if (!threadStarted) return false;
    goal = Goal::Idle;
    stopReason = Stop::None;
    harnessDeadline(now + msToCounts(limitMs), Stop::Limit);
    resumeFirmware();
    harnessGen++;
    goal = Goal::None;
    return stopReason == Stop::Idle;
}

void sim_run_until(uint64_t count) {
    if (!threadStarted || count <= now) return;
    goal = Goal::None;
    harnessDeadline(count, Stop::Deadline);
    resumeFirmware();
    harnessGen++;
}

void sim_run_for(uint64_t ms) {
    sim_run_until(now + msToCounts(ms));
}

void sim_reset() {
    if (!threadStarted) return;
    setControl(CTRL_RESET | CTRL_PARK);
    resumeFirmware();
}

void sim_power_cycle() {
    if (!threadStarted) return;
    setControl(CTRL_POWER_CYCLE | CTRL_PARK);
    resumeFirmware();
}

SimPower sim_power() {
    return powerIsCut ? SimPower::Cut : SimPower::On;
}

void sim_schedule(const SimEvent &e) {
    uint64_t when = msToCounts(e.ms);
    eventsPending++;
    harnessEvents.push_back(e);
    schedule(when < now ? now : when, harnessEvent, harnessEvents.size() - 1);
}

void sim_touch(int x, int y) {
    touch::setPen(true, x, y);
}
void sim_release() {
    touch::setPen(false, 0, 0);
}
