// Inside the simulated board: virtual time, the event queue, the interrupt controller and the
// life-cycle hooks of the devices. Host-only; no firmware file includes it.
#pragma once

#include "board/bsp/bsp.h"
#include "board/host/sim.h"

namespace host {

// ---- time and events -----------------------------------------------------------------------
extern uint64_t now; // virtual time, timer counts
extern uint64_t due; // service() runs at the first bus access at or after this time
extern SimOptions opts;
extern SimBoard board;
extern bool realClock; // virtual time follows the wall clock
extern bool harness;   // in-process session (sim_start) rather than sim_run

// An event is a plain function and two numbers (a port, a generation, ...): scheduling one allocates
// nothing, so a received byte costs the board a few hundred instructions.
using EventFn = void (*)(uint64_t a, uint64_t b);
void schedule(uint64_t when, EventFn fn, uint64_t a = 0, uint64_t b = 0); // at `when` (never before
                                                                          // now), in insertion order
// The byte on its way to each UART's receiver, by far the most frequent event, has a slot per port
// beside the queue and a path of its own: the due arrival is run by a direct call of uart::arrive,
// which stores the next one in the same slot (rearmArrival) without walking or moving the queue.
// Arrivals keep their place in the one order of all events, by time and then by when they were
// scheduled. An arrival for a port whose slot is taken (by one its line no longer waits for) goes
// to the queue.
enum : int { SLOT_ARRIVAL0, SLOT_ARRIVAL1, SLOT_COUNT };
void scheduleArrival(int port, uint64_t when, uint64_t gen);
extern uint64_t queueFirst, slotFirst; // the earliest time in the queue and in the slots
inline uint64_t nextEventTime() {      // UINT64_MAX when nothing is scheduled
    return queueFirst < slotFirst ? queueFirst : slotFirst;
}
struct Slot {
    uint64_t time, seq, gen; // time and seq UINT64_MAX: the slot is free
};
extern Slot slots[SLOT_COUNT];
extern int slotNext; // the slot that runs first (a free one when all are)
extern uint64_t eventSeq;
__extension__ typedef unsigned __int128 SlotKey;
inline SlotKey keyOf(const Slot &s) { // the order of events: by time, then by when scheduled
    return (SlotKey)s.time << 64 | s.seq;
}
inline bool before(const Slot &x, const Slot &y) {
    return keyOf(x) < keyOf(y);
}
inline void noteSlots() {
    slotNext = before(slots[1], slots[0]) ? 1 : 0;
    slotFirst = slots[slotNext].time;
}
// Frees a due slot as its event begins; returns its generation.
inline uint64_t takeSlot(int k) {
    Slot &s = slots[k];
    s.time = s.seq = UINT64_MAX;
    noteSlots();
    return s.gen;
}
// True while service() runs the events that are due. An event that would schedule another for this
// very moment, with nothing else due now, may do that work at once instead: the order is the same.
extern bool runningEvents;
void service(); // runs the due events, then any pending control

// Interrupt controller state: a source is delivered while pending, enabled, the global mask is
// open and no handler runs (handlers do not nest).
extern uint64_t irqPending;
extern uint64_t irqEnabled;
extern bool irqGlobal;
extern bool inHandler;
// irqEnabled while the global mask is open and no handler runs, else 0: the sources that may be
// delivered now, kept by noteIrqOpen() whenever one of the three changes. Every bus access tests it.
extern uint64_t irqOpen;
inline void noteIrqOpen() {
    irqOpen = irqGlobal && !inHandler ? irqEnabled : 0;
}
void dispatch();
bsp_isr_t isrOf(int source); // the handler installed for a source
inline void irqLevel(int source, bool level) {
    if (level)
        irqPending |= 1ull << source;
    else
        irqPending &= ~(1ull << source);
}
inline bool irqDeliverable() {
    return (irqPending & irqOpen) != 0;
}

// Every board operation is one bus access: a few counts of time, then interrupts.
inline void access(uint32_t cost = 2) {
    now += cost;
    if (now >= due) service();
    if (irqDeliverable()) dispatch();
}
// A busy poll of a board status that only events change: the polls that would find it unchanged
// before the next event are skipped at once (`cost` counts each). Call after a poll that failed,
// when the status still holds.
inline void skipUnchangedPolls(uint64_t cost = 2) {
    if (!opts.plainBusyWaits && !irqDeliverable() && due > now + cost) now += (due - 1 - now) / cost * cost;
}
// Time moves to the next device event (or until input arrives in real-clock mode); used by the
// waits of the board operations that poll (bsp_uart0_putchar) as well as by WFI.
void waitForEvent();

[[noreturn]] void fault(const char *format, ...) __attribute__((format(printf, 1, 2)));
void trace(const char *format, ...) __attribute__((format(printf, 1, 2)));
// A device's power-loss hook fired: the board stops at once. `what` ends the message
// "zefo5: power cut ..." of a run that ends with it.
void powerCut(const char *what);
extern char powerCutWhat[96];

constexpr uint64_t msToCounts(uint64_t ms) {
    return ms * SIM_COUNTS_PER_MS;
}

// ---- the board as a whole (core.cpp) --------------------------------------------------------------
// Requests that unwind the firmware back to the session's run loop. The core only raises
// CTRL_POWER_CUT; a board without a session (a unit test) never acts on it.
enum : unsigned {
    CTRL_YIELD = 1,       // harness: hand control to the caller
    CTRL_STOP = 2,        // harness: end the session
    CTRL_RESET = 4,       // watchdog reset
    CTRL_POWER_CYCLE = 8, // harness: power off and on
    CTRL_EXIT = 16,       // the run is over (exitStatus)
    CTRL_POWER_CUT = 32,  // the EEPROM power-loss hook
    CTRL_PARK = 64,       // harness: after the reset, wait for the caller
};
extern unsigned control;
void setControl(unsigned bits);
void recomputeDue();
// The session's part of service(), run after the due events when a control is pending or its time
// (sessionAt) has come; none on a board without a session. The session sets sessionAt on each call,
// and its Ctrl-C handler sets it to 0.
extern void (*sessionService)();
extern volatile uint64_t sessionAt;
extern uint64_t handlersRun; // interrupt handlers entered since power-on
void clearEvents();
void resetCore();      // interrupt controller and timer as at power-on
void powerOnDevices(); // resetCore and every device's power-on state
// Takes the options, clears time and events and opens the devices' files (false: message
// printed, nothing left open). closeBoard closes them.
bool openBoard(const SimOptions &o, bool inProcess);
void closeBoard();

// ---- file-backed memories (EEPROM, data flash) --------------------------------------------------
// Loads `path` into mem (size bytes; a missing file is created blank, a short one is padded with
// the blank value). fd stays open for writeStore. False with a message on stderr.
bool openStore(const std::string &path, size_t size, uint8_t blank, std::vector<uint8_t> &mem, int &fd,
               const char *what);
void writeStore(int fd, const std::vector<uint8_t> &mem, size_t offset, size_t len);
void writeStore(int fd, const uint8_t *bytes, size_t offset, size_t len); // bytes: those at offset
void closeStore(int &fd);

// ---- devices ---------------------------------------------------------------------------------
// configure: opens the files of a session (false: message printed). powerOn: power-on state.
// reset: the watchdog reset (stored contents kept). close: end of the session.
namespace memory {
void powerOn();
void reset();
} // namespace memory

namespace uart {
void arrive(int port);                          // the arrival in a port's slot, due now
void arriveQueued(uint64_t port, uint64_t gen); // one that did not fit its slot
bool configure();
void powerOn();
void reset();
void close();
void flush();                // writes buffered output to its files
bool inputEnded();           // UART0's standard input ended and every byte was read
bool transmitting();         // a byte is in a transmitter
bool settled();              // nothing on its way in, nothing unread, transmitters empty
void blockUntilInput();      // virtual clock, firmware idle: wait for the host to send
bool sleepUntil(uint64_t t); // real clock: sleep until virtual time t; false: input came first
// Where sleepUntil waits when the board lives in a browser page, which must be given back its
// thread; null on the PC (the board sleeps in poll).
extern bool (*pageWait)(uint64_t t);
void pollInput(); // real clock: take what has arrived meanwhile
void inject(int port, const std::string &bytes);
void terminalRestore(); // async-signal-safe
int mainPort();
bool onBus();             // UART1 is on the simulated RS485 bus
void setBusIdle(bool on); // the firmware waits for input (told to the bus at the next round)
} // namespace uart

namespace eeprom {
bool configure();
void powerOn();
void close();
std::vector<uint8_t> contents();
std::vector<uint8_t> &memory(); // the contents themselves: changes made here skip the file
// The supply is lost after `writes` more byte writes (0: now, negative: never). A board without a
// session runs on: the EEPROM then loses every write until it is powered on again.
void cutPowerAfter(long writes);
} // namespace eeprom

namespace flash {
bool configure();
void powerOn();
void reset(); // chip select released; a program or erase under way goes on
void close();
const std::vector<uint8_t> &contents();
} // namespace flash

namespace sd {
bool configure();
void powerOn();
void close();
void setPresent(bool present);
bool insert(const std::string &image);          // another image in the slot, card in (false: message printed)
extern SimCardQuirks quirks;                    // cleared when the board is opened
extern std::vector<SimCardCommand> *commandLog; // every command given, when not null
extern bool unpowered;                          // the power was cut: writes are lost until power-on
} // namespace sd

namespace touch {
void powerOn();
void setPen(bool down, int x, int y);
} // namespace touch

// Every change of the sound the beeper makes goes here too (the window's audio, while it is open).
extern void (*soundHook)(const SimTone &tone);

namespace panel {
void powerOn();
void reset();
bool writePng(const char *path);
// A 5-6-5 pixel as 8-bit red, green and blue, each widened by repeating its top bits (0 stays 0,
// full scale becomes 255): what screenshots show.
inline void widen565(uint16_t p, uint8_t *rgb) {
    const uint8_t r5 = p >> 11, g6 = (p >> 5) & 63, b5 = p & 31;
    rgb[0] = (uint8_t)(r5 << 3 | r5 >> 2);
    rgb[1] = (uint8_t)(g6 << 2 | g6 >> 4);
    rgb[2] = (uint8_t)(b5 << 3 | b5 >> 2);
}
} // namespace panel

// Packs a directory into a card image (the --sd DIR form); returns the image file's path, or ""
// with a message on standard error. The session sets it to packWithCardTool (sd_pack.cpp); a board
// without a session takes card image files only, and so links no card tool.
extern std::string (*packDirectory)(const std::string &dir);
std::string packWithCardTool(const std::string &dir);

} // namespace host
