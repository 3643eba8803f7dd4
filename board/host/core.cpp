// The heart of the simulated board: virtual time and its event queue, the interrupt controller, the
// timer and the fault exits. No firmware thread here: a unit test drives the devices with this alone
// (test_board.h); the run loop and the harness around the firmware are in session.cpp.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "board/bsp/busy_wait.h"
#include "board/host/host.h"

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
uint64_t irqOpen;

unsigned control;
void (*sessionService)();
volatile uint64_t sessionAt;
std::string (*packDirectory)(const std::string &dir);
uint64_t handlersRun; // interrupt handlers entered since power-on
uint64_t queueFirst = UINT64_MAX;
uint64_t slotFirst = UINT64_MAX;
uint64_t eventSeq;
Slot slots[SLOT_COUNT] = {{UINT64_MAX, UINT64_MAX, 0}, {UINT64_MAX, UINT64_MAX, 0}};
int slotNext;

namespace {

// ---- event queue -------------------------------------------------------------------------------
struct Event {
    uint64_t time;
    uint64_t seq;
    EventFn fn;
    uint64_t a, b;
};
constexpr Event NO_EVENT = {UINT64_MAX, UINT64_MAX, nullptr, 0, 0}; // after every real one

inline SlotKey keyOf(const Event &e) {
    return (SlotKey)e.time << 64 | e.seq;
}
inline bool before(const Event &x, const Event &y) {
    return keyOf(x) < keyOf(y);
}

// Few events wait at a time (the tick, the frame, a transmitter, a deadline), and a new one mostly
// belongs near the front: a sorted array, latest first, takes the next event from its end and
// inserts by a short walk from there. slots[0] is NO_EVENT, which ends every walk and is the top of
// an empty queue. Its storage is kept from session to session, so after the first few events no
// scheduling allocates.
struct EventQueue {
    std::vector<Event> slots =
        std::vector<Event>(16, NO_EVENT); // slots[1, count): by (time, seq), latest first
    Event *base = slots.data();           // slots' storage and size, kept beside it for push
    size_t room = slots.size();
    size_t count = 1;
    bool empty() const { return count == 1; }
    const Event &top() const { return base[count - 1]; }
    __attribute__((noinline)) void grow() {
        slots.resize(slots.size() * 2, NO_EVENT);
        base = slots.data();
        room = slots.size();
    }
    // Grows first when full; out of line, so that the usual push saves no registers for the call.
    __attribute__((noinline)) void pushGrowing(uint64_t time, uint64_t seq, EventFn fn, uint64_t a,
                                               uint64_t b) {
        grow();
        push(time, seq, fn, a, b);
    }
    void push(uint64_t time, uint64_t seq, EventFn fn, uint64_t a, uint64_t b) {
        if (count == room) return pushGrowing(time, seq, fn, a, b);
        Event *p = base + count++;
        // An event goes before (nearer the front than) every event due before it, including those
        // of its own time scheduled earlier: they run first.
        const Event e = {time, seq, fn, a, b};
        while (before(p[-1], e)) {
            *p = p[-1];
            p--;
        }
        *p = e;
        queueFirst = base[count - 1].time;
    }
    Event pop() {
        const Event e = base[--count];
        queueFirst = base[count - 1].time;
        return e;
    }
    void clear() {
        count = 1;
        queueFirst = UINT64_MAX;
    }
};
EventQueue events;

inline bool before(const Slot &x, const Event &y) {
    return keyOf(x) < keyOf(y);
}

void clearSlots() {
    for (Slot &a : slots) a = Slot{UINT64_MAX, UINT64_MAX, 0};
    noteSlots();
}

bsp_isr_t handlers[BSP_IRQ_SOURCES];
int currentSource = -1;
uint64_t timerGen; // a tick event of an older generation does nothing

void runDue() {
    runningEvents = true;
    for (;;) {
        if (slotFirst <= now && (slotFirst < queueFirst || before(slots[slotNext], events.top()))) {
            uart::arrive(slotNext);
            continue;
        }
        if (queueFirst > now) break;
        const Event e = events.pop();
        e.fn(e.a, e.b);
    }
    runningEvents = false;
    due = control ? 0 : nextEventTime();
}

void defaultHandler(void) {
    fault("unclaimed interrupt %d", currentSource);
}

} // namespace

void setControl(unsigned bits) {
    control |= bits;
    due = 0;
}

void recomputeDue() {
    due = control ? 0 : nextEventTime();
}

void clearEvents() {
    events.clear();
    clearSlots();
    eventSeq = 0;
}

void resetCore() {
    irqPending = 0;
    irqEnabled = 0;
    irqGlobal = false;
    inHandler = false;
    irqOpen = 0;
    currentSource = -1;
    for (auto &h : handlers) h = nullptr;
    board.timerRunning = 0;
    timerGen++;
}

void powerOnDevices() {
    resetCore();
    memory::powerOn();
    uart::powerOn();
    eeprom::powerOn();
    flash::powerOn();
    sd::powerOn();
    touch::powerOn();
    panel::powerOn();
}

bool openBoard(const SimOptions &o, bool inProcess) {
    opts = o;
    harness = inProcess;
    if (opts.uart0 == SimPort::Default) opts.uart0 = inProcess ? SimPort::Capture : SimPort::Stdio;
    if (opts.uart1 == SimPort::Default) opts.uart1 = inProcess ? SimPort::Capture : SimPort::None;
    if (opts.clock == SimClock::Auto)
        opts.clock = !inProcess && isatty(0) ? SimClock::Real : SimClock::Virtual;
    // On the bus the bus program keeps the time.
    if (!opts.bus.empty()) opts.clock = SimClock::Virtual;
    realClock = opts.clock == SimClock::Real;
    sessionService = nullptr;
    sessionAt = 0;
    board = SimBoard{};
    touch::setPen(false, 0, 0);
    now = 0;
    clearEvents();
    control = 0;
    due = UINT64_MAX;
    if (!eeprom::configure() || !flash::configure() || !sd::configure() || !uart::configure()) {
        closeBoard();
        return false;
    }
    return true;
}

void closeBoard() {
    uart::close();
    sd::close();
    flash::close();
    eeprom::close();
}

// ---- shared with the devices ---------------------------------------------------------------------
void schedule(uint64_t when, EventFn fn, uint64_t a, uint64_t b) {
    if (when < now) when = now;
    events.push(when, eventSeq++, fn, a, b);
    if (when < due) due = when;
}

void scheduleArrival(int port, uint64_t when, uint64_t gen) {
    if (when < now) when = now;
    if (when < due) due = when;
    Slot &a = slots[SLOT_ARRIVAL0 + port];
    if (a.time != UINT64_MAX) { // taken (by one its line no longer waits for): the queue
        events.push(when, eventSeq++, uart::arriveQueued, (uint64_t)port, gen);
        return;
    }
    const Slot e = {when, eventSeq++, gen};
    if (before(e, slots[slotNext])) { // the earliest (a free slot is after every event)
        slotNext = SLOT_ARRIVAL0 + port;
        slotFirst = when;
    }
    a = e;
}

void service() {
    runDue();
    if (sessionService && (control || now >= sessionAt)) sessionService();
}

bsp_isr_t isrOf(int source) {
    return source >= 0 && source < BSP_IRQ_SOURCES ? handlers[source] : nullptr;
}

// Called when an interrupt is deliverable (access, waitForEvent): the first check is theirs.
void dispatch() {
    do {
        handlersRun++;
        uint64_t ready = irqPending & irqOpen;
        int source = __builtin_ctzll(ready);
        bsp_isr_t handler = handlers[source];
        currentSource = source;
        inHandler = true;
        irqOpen = 0;
        (handler ? handler : defaultHandler)();
        inHandler = false;
        irqOpen = irqGlobal ? irqEnabled : 0;
        now += 2; // return from the handler
        if (now >= due) service();
    } while (irqDeliverable());
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

char powerCutWhat[96];

void powerCut(const char *what) {
    snprintf(powerCutWhat, sizeof powerCutWhat, "%s", what);
    trace("power cut %s", what);
    setControl(CTRL_POWER_CUT);
}

} // namespace host

using namespace host;

uint64_t sim_now() {
    return now;
}
double sim_now_ms() {
    return (double)now / (double)SIM_COUNTS_PER_MS;
}
const SimBoard &sim_board() {
    return board;
}

// ---- board operations: interrupt controller --------------------------------------------------------
void interrupt_init(void) {
    for (auto &h : handlers) h = defaultHandler;
    irqEnabled = 0;
    irqGlobal = true;
    noteIrqOpen();
    board.initDone |= 256;
    access();
}

static void checkSource(int source) {
    if (source < 0 || source >= BSP_IRQ_SOURCES) fault("interrupt source %d does not exist", source);
}

void interrupt_set_isr(int source, bsp_isr_t handler) {
    checkSource(source);
    if (irqEnabled & (1ull << source)) board.isrChangesWhileOn++;
    handlers[source] = handler ? handler : defaultHandler;
    access();
}

void interrupt_enable(int source, int) {
    checkSource(source);
    irqEnabled |= 1ull << source;
    noteIrqOpen();
    access();
}

void interrupt_disable(int source) {
    checkSource(source);
    irqEnabled &= ~(1ull << source);
    noteIrqOpen();
    access();
}

uint32_t bsp_irq_save(void) {
    access();
    uint32_t was = irqGlobal ? 1 : 0;
    irqGlobal = false;
    irqOpen = 0;
    return was;
}

void bsp_irq_restore(uint32_t state) {
    if (irqGlobal) board.irqRestoresWhileOpen++;
    irqGlobal = state != 0;
    noteIrqOpen();
    access();
}

void bsp_wait_for_interrupt(void) {
    access();
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

void bsp_fatal(const char *what) {
    fault("%s", what ? what : "fatal error");
}
