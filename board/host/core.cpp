// The heart of the simulated board: virtual time and its event queue, the interrupt controller,
// the run loop with its resets and exits, the in-process harness and the fault exits.
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

#include "board/bsp/busy_wait.h"
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

uint64_t now;
uint64_t due = UINT64_MAX;
bool runningEvents;
SimOptions opts;
SimBoard board;
bool realClock;
bool harness;

uint64_t irqPending;
uint64_t irqEnabled;
bool irqGlobal;
bool inHandler;

namespace {

// ---- event queue -------------------------------------------------------------------------------
struct Event {
    uint64_t time;
    uint64_t seq;
    EventFn fn;
    uint64_t a, b;
};
// Few events wait at a time (the tick, the frame, a byte on each line, a transmitter, a deadline),
// and a new one mostly belongs near the front: a sorted array, latest first, takes the next event
// from its end and inserts by a short walk from there. Its storage is kept from session to session,
// so after the first few events no scheduling allocates.
struct EventQueue {
    std::vector<Event> slots; // slots[0, count): by (time, seq), latest first
    size_t count = 0;
    bool empty() const { return count == 0; }
    const Event &top() const { return slots[count - 1]; }
    __attribute__((noinline)) void grow() { slots.resize(slots.size() * 2 + 16); }
    void push(uint64_t time, uint64_t seq, EventFn fn, uint64_t a, uint64_t b) {
        if (count == slots.size()) grow();
        Event *first = slots.data(), *p = first + count++;
        // An event goes before (nearer the front than) every event due before it, including those
        // of its own time scheduled earlier: they run first.
        while (p > first && (p[-1].time < time || (p[-1].time == time && p[-1].seq < seq))) {
            *p = p[-1];
            p--;
        }
        *p = Event{time, seq, fn, a, b};
    }
    Event pop() { return slots[--count]; }
    void clear() { count = 0; }
};
EventQueue events;
uint64_t eventSeq;
std::vector<SimEvent> harnessEvents; // sim_schedule's events, addressed by their index

// ---- control: requests that unwind the firmware back to the run loop -----------------------------
enum : unsigned {
    CTRL_YIELD = 1,       // harness: hand control to the caller
    CTRL_STOP = 2,        // harness: end the session
    CTRL_RESET = 4,       // watchdog reset
    CTRL_POWER_CYCLE = 8, // harness: power off and on
    CTRL_EXIT = 16,       // the run is over (exitStatus)
    CTRL_POWER_CUT = 32,  // the EEPROM power-loss hook
    CTRL_PARK = 64,       // harness: after the reset, wait for the caller
};
unsigned control;
int exitStatus;
jmp_buf firmwareJump;
volatile sig_atomic_t interrupted; // Ctrl-C

bsp_isr_t handlers[BSP_IRQ_SOURCES];
int currentSource = -1;
uint64_t timerGen; // a tick event of an older generation does nothing

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

void setControl(unsigned bits) {
    control |= bits;
    due = 0;
}

void recomputeDue() {
    due = control ? 0 : (events.empty() ? UINT64_MAX : events.top().time);
}

void runDue() {
    runningEvents = true;
    while (!events.empty() && events.top().time <= now) {
        Event e = events.pop();
        e.fn(e.a, e.b);
    }
    runningEvents = false;
    recomputeDue();
}

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

// Byte loops through volatile pointers: the compiler must not turn them into memcpy/memset, which
// AddressSanitizer checks against the red zones it keeps between the firmware's globals.
__attribute__((no_sanitize("address"))) void copyBytes(char *dst, const char *src, size_t n) {
    volatile char *d = dst;
    const volatile char *s = src;
    for (size_t i = 0; i < n; i++) d[i] = s[i];
}

__attribute__((no_sanitize("address"))) void zeroBytes(char *dst, size_t n) {
    volatile char *d = dst;
    for (size_t i = 0; i < n; i++) d[i] = 0;
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

// ---- power-on and reset ----------------------------------------------------------------------------
void resetCore() {
    irqPending = 0;
    irqEnabled = 0;
    irqGlobal = false;
    inHandler = false;
    currentSource = -1;
    for (auto &h : handlers) h = nullptr;
    board.timerRunning = 0;
    timerGen++;
}

void scheduleRunEvents();

void powerOn() {
    restoreFirmwareData();
    resetCore();
    memory::powerOn();
    uart::powerOn();
    eeprom::powerOn();
    flash::powerOn();
    sd::powerOn();
    touch::powerOn();
    panel::powerOn();
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
        if (c & CTRL_STOP) return 0;
        if (c & CTRL_EXIT) return exitStatus;
        if (c & CTRL_POWER_CUT) {
            if (!harness) {
                uart::flush();
                fprintf(stderr, "zefo5: power cut after %u EEPROM byte writes\n", board.eepromByteWrites);
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

void defaultHandler(void) {
    fault("unclaimed interrupt %d", currentSource);
}

bool openSession(const SimOptions &o, bool inProcess) {
    opts = o;
    harness = inProcess;
    if (opts.uart0 == SimPort::Default) opts.uart0 = inProcess ? SimPort::Capture : SimPort::Stdio;
    if (opts.uart1 == SimPort::Default) opts.uart1 = inProcess ? SimPort::Capture : SimPort::None;
    if (opts.clock == SimClock::Auto)
        opts.clock = !inProcess && isatty(0) ? SimClock::Real : SimClock::Virtual;
    realClock = opts.clock == SimClock::Real;
    for (const SimEvent &e : opts.events) {
        if (e.kind == SimEvent::CardIn && opts.sd.empty()) {
            fprintf(stderr, "zefo5: a card-in event needs a card image (--sd)\n");
            return false;
        }
    }
    board = SimBoard{};
    touch::setPen(false, 0, 0);
    now = 0;
    events.clear();
    harnessEvents.clear();
    eventSeq = 0;
    control = 0;
    due = UINT64_MAX;
    lingerArmed = false;
    interrupted = 0;
    powerIsCut = false;
    goal = Goal::None;
    if (!eeprom::configure() || !flash::configure() || !sd::configure() || !uart::configure()) {
        uart::close();
        sd::close();
        flash::close();
        eeprom::close();
        return false;
    }
    sessionOpen = true;
    powerOn();
    scheduleRunEvents();
    return true;
}

void closeSession() {
    uart::close();
    sd::close();
    flash::close();
    eeprom::close();
    sessionOpen = false;
}

void finishRun() {
    uart::flush();
    if (!opts.screenshot.empty()) panel::writePng(opts.screenshot.c_str());
    uart::terminalRestore();
}

} // namespace

// ---- shared with the devices ---------------------------------------------------------------------
void schedule(uint64_t when, EventFn fn, uint64_t a, uint64_t b) {
    if (when < now) when = now;
    events.push(when, eventSeq++, fn, a, b);
    if (when < due) due = when;
}

uint64_t nextEventTime() {
    return events.empty() ? UINT64_MAX : events.top().time;
}

void service() {
    runDue();
    if (now >= display::nextCheck) displayCheck();
    if (interrupted && !(control & CTRL_EXIT)) {
        exitStatus = 0;
        control |= CTRL_EXIT;
    }
    if (control) handleControl();
}

uint64_t handlersRun; // interrupt handlers entered since power-on

void dispatch() {
    while (irqDeliverable()) {
        handlersRun++;
        uint64_t ready = irqPending & irqEnabled;
        int source = __builtin_ctzll(ready);
        bsp_isr_t handler = handlers[source];
        currentSource = source;
        inHandler = true;
        (handler ? handler : defaultHandler)();
        inHandler = false;
        now += 2; // return from the handler
        if (now >= due) service();
    }
}

void waitForEvent() {
    if (irqDeliverable()) {
        dispatch();
        return;
    }
    uint64_t t = nextEventTime();
    if (realClock) {
        if (t == UINT64_MAX) t = now + msToCounts(10);
        if (t > now) {
            if (uart::sleepUntil(t)) now = t;
        }
    } else if (t == UINT64_MAX) {
        now += 2;
    } else if (t > now) {
        now = t;
    }
    service();
    if (irqDeliverable()) dispatch();
}

void fault(const char *format, ...) {
    uart::flush();
    char message[300];
    va_list ap;
    va_start(ap, format);
    vsnprintf(message, sizeof message, format, ap);
    va_end(ap);
    fprintf(stderr, "zefo5: firmware fault: %s\n", message);
    fflush(stderr);
    if (!opts.screenshot.empty()) panel::writePng(opts.screenshot.c_str());
    uart::terminalRestore();
    fflush(stdout);
    if (opts.faultAborts) abort();
    _exit(3);
}

void trace(const char *format, ...) {
    if (!opts.trace) return;
    char message[300];
    va_list ap;
    va_start(ap, format);
    vsnprintf(message, sizeof message, format, ap);
    va_end(ap);
    fprintf(stderr, "zefo5: %10.3f ms: %s\n", (double)now / (double)SIM_COUNTS_PER_MS, message);
}

void powerCut() {
    setControl(CTRL_POWER_CUT);
}

} // namespace host

using namespace host;

// ---- board operations: interrupt controller --------------------------------------------------------
void interrupt_init(void) {
    for (auto &h : handlers) h = defaultHandler;
    irqEnabled = 0;
    irqGlobal = true;
    board.initDone |= 256;
    access();
}

static void checkSource(int source) {
    if (source < 0 || source >= BSP_IRQ_SOURCES) fault("interrupt source %d does not exist", source);
}

void interrupt_set_isr(int source, bsp_isr_t handler) {
    checkSource(source);
    handlers[source] = handler ? handler : defaultHandler;
    access();
}

void interrupt_enable(int source, int) {
    checkSource(source);
    irqEnabled |= 1ull << source;
    access();
}

void interrupt_disable(int source) {
    checkSource(source);
    irqEnabled &= ~(1ull << source);
    access();
}

uint32_t bsp_irq_save(void) {
    access();
    uint32_t was = irqGlobal ? 1 : 0;
    irqGlobal = false;
    return was;
}

void bsp_irq_restore(uint32_t state) {
    irqGlobal = state != 0;
    access();
}

void bsp_wait_for_interrupt(void) {
    access();
    waitForEvent();
}

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
    if (!realClock && !lingerArmed && !irqDeliverable()) {
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
}

// ---- timer -----------------------------------------------------------------------------------------
static void timerTick(uint64_t gen, uint64_t) {
    if (gen != timerGen) return;
    irqLevel(BSP_IRQ_TICK, true);
    if (realClock) uart::sleepUntil(now); // keep pace with the wall clock while the firmware is busy
    schedule(now + BSP_TIMER_PERIOD, timerTick, gen);
}

void bsp_timer_start(void) {
    if (!board.timerRunning) {
        board.timerRunning = 1;
        uint64_t gen = ++timerGen;
        uint64_t next = (now / BSP_TIMER_PERIOD + 1) * BSP_TIMER_PERIOD;
        schedule(next, timerTick, gen);
    }
    access();
}

uint32_t bsp_timer_count(void) {
    uint32_t count = (uint32_t)(now % BSP_TIMER_PERIOD);
    access();
    return count;
}

void bsp_timer_ack(void) {
    irqLevel(BSP_IRQ_TICK, false);
    access();
}

// The polling wait, read for read, except that the reads which cannot meet anything are skipped:
// until the next event nothing but the count changes, so each settled read takes two accesses (4
// counts) and adds 4 to the sum. The wait ends at the same virtual time with the same interrupts
// taken at the same reads as the polling form.
void bsp_timer_wait(uint32_t counts) {
    if (opts.plainBusyWaits) {
        bsp_timer_wait_polling(counts);
        return;
    }
    uint32_t last = bsp_timer_count_settled();
    uint32_t passed = 0;
    while (passed < counts) {
        if (now >= 2 && last == (uint32_t)((now - 2) % BSP_TIMER_PERIOD) && !irqDeliverable() && due > now) {
            uint64_t room = (due - 1 - now) / 4;
            uint64_t need = (counts - passed + 3) / 4;
            uint64_t skip = room < need ? room : need;
            if (skip) {
                now += 4 * skip;
                passed += (uint32_t)(4 * skip);
                last = (uint32_t)((now - 2) % BSP_TIMER_PERIOD);
                continue;
            }
        }
        uint32_t count = bsp_timer_count_settled();
        passed += (count - last + BSP_TIMER_PERIOD) % BSP_TIMER_PERIOD;
        last = count;
    }
}

// ---- reset and faults ------------------------------------------------------------------------------
void bsp_watchdog_reset(void) {
    uart::flush();
    control |= CTRL_RESET;
    longjmp(firmwareJump, 1);
}

void bsp_fatal(const char *what) {
    fault("%s", what ? what : "fatal error");
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

uint64_t sim_now() {
    return now;
}
double sim_now_ms() {
    return (double)now / (double)SIM_COUNTS_PER_MS;
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
void sim_card(bool present) {
    sd::setPresent(present);
}
void sim_set_temperature(int16_t tenths) {
    opts.temperatureTenths = tenths;
}
const SimBoard &sim_board() {
    return board;
}
