// The simulated board, as a library: the command-line program (sim_main.cpp) and the test programs
// of this repository use the same simulator.
//
// Time. The board runs on virtual time counted in ticks of the 16.384 MHz timer (SIM_COUNTS_PER_MS
// per millisecond). Every board operation the firmware calls costs a few counts and is the only
// place where interrupts are taken, so a run is deterministic: the same input at the same virtual
// times gives the same output bytes at the same virtual times.
//
// Two ways to use it:
//
// 1. Whole program (what build/zefo5 does):
//        SimOptions o;                         // or sim_parse_args(argc, argv, o)
//        return sim_run(o);                    // runs until the end of input, returns the exit status
//
// 2. Harness (tests, fuzzing): the firmware runs on its own thread, but only while the caller waits
//    in one of the sim_run_* calls, so the two never run at the same time.
//        SimOptions o;                          // UARTs are connected to in-memory captures
//        sim_start(o);                          // power on (the firmware has not run yet)
//        sim_run_until_idle();                  // start-up until the main loop waits for a line
//        sim_send(0, "vers\r");                 // bytes arrive on UART0 at 10 bit times each
//        sim_run_until_idle();                  // line handled, reply transmitted
//        std::string out = sim_take_output(0);  // everything UART0 transmitted so far
//        sim_stop();                            // back to nothing; sim_start may be called again
//    While the firmware is parked, the caller may read the board state (sim_board()), the frame
//    buffer (sim_framebuffer()), the memories, and change inputs (touch, card, sends).
//    There is one board per process: one session at a time, driven from one thread. A fuzz target
//    starts one session, waits for the first idle once, then per input sends bytes, runs until
//    idle and takes the output (a firmware start-up costs far more than a line).
//
// Firmware data. A watchdog reset and every sim_start restore the firmware's initialised data and
// zero its uninitialised data, as the board's reset handler does. This needs the program to be
// linked with board/host/firmware_sections.ld (CMake: ${ZEFO_FW_SECTIONS_LD}) and the firmware in
// an archive named libzefo_fw.a; without the script the firmware's globals are left as they are.
//
// Faults (unclaimed interrupt, bsp_fatal, bad register address, segmentation fault, stack
// exhaustion) print "zefo5: firmware fault: ..." on standard error and exit the process with status
// 3 (SimOptions::faultAborts: abort() instead, for fuzzers).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

struct PanelConfig;

enum : uint64_t { SIM_COUNTS_PER_MS = 16384 };

enum class SimClock { Auto, Virtual, Real };
// Where a UART's wires go. Capture: an in-memory buffer (sim_output) fed by sim_send.
enum class SimPort { Default, Stdio, Pty, Path, Capture, None };
// The panel's window (sim_run only; a harness session never opens one). Auto: a window when the
// desktop has a display (DISPLAY or WAYLAND_DISPLAY set and SDL's video starts), else none.
enum class SimDisplay { Auto, Sdl, None };

// A timed board event (the --events file, or sim_schedule).
struct SimEvent {
    enum Kind { Touch, Release, CardOut, CardIn, Send, Aux };
    uint64_t ms = 0; // virtual milliseconds since power-on
    Kind kind = Release;
    int x = 0, y = 0;  // Touch: the screen point
    std::string bytes; // Send (port with the main role) / Aux (port with the aux role)
};

struct SimOptions {
    std::string sd;                   // card image in the slot; "" = empty slot
    std::string eeprom;               // EEPROM contents file; "" = blank, in memory
    std::string flash;                // data flash contents file; "" = erased, in memory
    uint8_t flashId = 0x16;           // capacity byte of the flash identification
    SimPort uart0 = SimPort::Default; // Default: Stdio for sim_run, Capture for sim_start
    std::string uart0Path;
    SimPort uart1 = SimPort::Default; // Default: None for sim_run, Capture for sim_start
    std::string uart1Path;
    std::vector<SimEvent> events;
    SimClock clock = SimClock::Auto; // Auto: real on a terminal, else virtual (sim_start: virtual)
    uint32_t lingerMs = 200;         // after the input has ended and was handled
    uint64_t maxMs = 0;              // 0: no cap
    std::string screenshot;          // PNG of the visible frame buffer, written at the end
    bool trace = false;              // board-state changes on standard error
    int16_t temperatureTenths = 255;
    // The touch panel: readings of X and Y vary by up to touchNoise raw counts either way, drawn
    // from a generator started from touchSeed at power-on; a press reads as touchPressure; a
    // swapped panel has its X channel along the screen's x (calibration must find touchSwap).
    uint16_t touchNoise = 0;
    uint16_t touchPressure = 450;
    uint32_t touchSeed = 1;
    bool touchSwapped = false;
    SimDisplay display = SimDisplay::Auto;
    long eepromPowerCut = -1; // power is lost right after this many completed EEPROM byte writes
    // Power is lost during the Nth data-flash page program or erase (counted from 1): half of it is
    // done. And during the Nth block write to the card: that block does not reach the card.
    long flashPowerCut = -1;
    long cardPowerCut = -1;
    bool faultAborts = false;           // a firmware fault calls abort() instead of exit(3)
    const PanelConfig *panel = nullptr; // nullptr: the program's panelConfig
    int (*entry)(void) = nullptr;       // nullptr: firmware_main
    // Busy waits (timer count, UART status) poll access by access instead of letting virtual time
    // jump to their end: the reference against which the jumps are tested.
    bool plainBusyWaits = false;
    // The host on the main port sends on after the display's XOFF, as a host without flow control
    // does: floods reach the receive ring whatever it says.
    bool hostIgnoresXoff = false;
};

// ---- whole program --------------------------------------------------------------------------
// Parses the command line. Returns 0 when the run should go on, 1 after --help (exit 0), 2 after
// a bad option or events file (the message is already on standard error).
int sim_parse_args(int argc, char **argv, SimOptions &options);
void sim_usage(FILE *out);
// Reads an events file into options.events; false (message on stderr) for a bad file or line.
bool sim_read_events(const char *path, std::vector<SimEvent> &events);
// Runs the board until the end (exit rules: end of input + linger, --max-ms, Ctrl-C on a
// terminal). Returns the exit status: 0 normal end, 2 bad configuration, 4 power cut
// (eepromPowerCut). Faults exit the process with status 3.
int sim_run(const SimOptions &options);

// ---- harness ----------------------------------------------------------------------------------
// Powers the board on (devices from the options; memory zeroed; firmware data restored).
// False (message on stderr) when the options cannot be honoured, e.g. a bad card image.
bool sim_start(const SimOptions &options);
void sim_stop(); // ends the session; files are closed

// Runs the firmware until its main loop is idle (in bsp_idle) with every byte sent so far and
// every scheduled event delivered and read, no interrupt pending and both transmitters empty.
// False when limitMs of virtual time passed first, or the power is off.
bool sim_run_until_idle(uint64_t limitMs = 10000);
void sim_run_for(uint64_t ms);      // runs for that much virtual time
void sim_run_until(uint64_t count); // runs until virtual time `count` (timer counts)

uint64_t sim_now(); // virtual time in timer counts
double sim_now_ms();

// Input. Bytes arrive one per 10 bit times at the port's rate, after the bytes already on their way.
void sim_send(int port, const void *data, size_t n);
void sim_send(int port, const std::string &bytes);
void sim_send_main(const std::string &bytes); // the port that has the main role now
void sim_schedule(const SimEvent &event);     // at event.ms (not before the current time)
void sim_touch(int x, int y);                 // pen down at the screen point (held)
void sim_release();
void sim_card(bool present); // card-in needs a card image (SimOptions::sd)
void sim_set_temperature(int16_t tenths);
int sim_main_port(); // 0 or 1: the port the firmware uses as main (UART0 until it says otherwise)

// Output: every byte each UART transmitted, with the virtual time at which it left the wire.
struct SimTxByte {
    uint64_t time; // end of its stop bit
    uint8_t byte;
    bool rs485Txen; // the RS485 transmit enable while it was sent
};
std::string sim_output(int port);                   // bytes since start or the last take
std::string sim_take_output(int port);              // the same, and forget them (bytes and times)
const std::vector<SimTxByte> &sim_tx_log(int port); // the bytes of sim_output with their times

// Resets.
void sim_reset();       // watchdog reset now; parks at the restart (firmware not yet running)
void sim_power_cycle(); // power off and on: memory cleared, stored data (EEPROM, flash, card) kept
enum class SimPower { On, Cut };
SimPower sim_power(); // Cut after a power loss (eepromPowerCut ...), until sim_power_cycle

// What a test may do to the card beyond taking it out of the slot, and the log of the commands it
// was given (test_board.h).
struct SimCardQuirks {
    bool neverPowersUp = false;     // ACMD41 answers "busy" for ever
    long removeAfterTransfers = -1; // the card leaves the slot after this many more block transfers
    int failNextRead = 0;           // BSP_SD_ERR_* flags the next block read reports (the data arrives)
    int failNextWrite = 0;          // ... the next block write reports (the block is not written)
};
struct SimCardCommand {
    uint8_t cmd;
    bool app;    // an application command (after CMD55)
    uint64_t at; // when it was given (timer counts)
};

// Board state the firmware drives, for tests and --trace.
struct SimBoard {
    // LCD controller
    bool lcdSetUp;
    uint32_t fbAddr;
    uint16_t fbWidth, fbHeight;
    bool lcdTimingSet;
    uint8_t hfp, hpw, hbp, vfp, vpw, vbp;
    int clockEdge;
    uint64_t framePeriod; // timer counts between frame starts
    uint32_t frames;      // frame starts so far
    // Panel
    int sigsActive; // 1 active, 0 idle levels (LCD_sigs_low), -1 never set
    int buffersEnabled;
    int idleLevelHigh;
    uint8_t scanDirection;
    int vq;
    int panelSupply; // 1 on (the line itself is active low), 0 off, -1 never set
    int backlightPwm;
    uint8_t backlightDuty;
    int inverterLine;
    // Audio
    int toneOn;
    uint32_t toneReload;
    int speaker;
    uint8_t volumeDuty;
    int externalSpeaker;
    // LEDs and lines
    int statusLed;
    int sdLed;
    int rs485Txen;
    // UARTs
    uint32_t uartRate[2]; // 0 until the firmware sets the port up
    int rxIrq[2], txIrq[2];
    uint32_t rxOverruns[2]; // bytes that arrived before the previous one was read
    uint32_t txOverruns[2]; // bytes written while the transmitter could not take one
    // SD card slot
    int cardPresent;
    int sdPower;
    int sdClock;
    int sdBusWidth;
    // Other
    uint32_t eepromByteWrites;     // completed since the simulator started
    uint32_t flashWrites;          // data-flash page programs and erases begun since the start
    uint32_t cardBlockWrites;      // block writes to the card begun since the start
    uint32_t isrChangesWhileOn;    // interrupt_set_isr on a source that was enabled
    uint32_t irqRestoresWhileOpen; // bsp_irq_restore with interrupts already on: no save before it
    uint32_t resets;               // watchdog resets
    int timerRunning;
    int initDone; // bit mask: 1 clocks, 2 system clock, 4 GPIO, 8 platform, 16 I2C, 32 touch, 64 flash,
                  // 128 SD slot, 256 interrupt controller
};
const SimBoard &sim_board();

// What the beeper sounds: one entry per change of the tone heard (the tone timer running with the
// speaker output on), with its virtual time; also printed by --trace. Harness sessions only; cleared
// at power-on and reset.
struct SimTone {
    uint64_t time; // timer counts
    bool on;
    uint32_t hz;        // 0 when off
    uint8_t volumeDuty; // the volume PWM duty, 0..102 (0 when off)
    bool external;      // on the external speaker
};
const std::vector<SimTone> &sim_tone_log();

// The visible frame buffer (as set by bsp_lcd_setup), nullptr before the set-up.
const uint16_t *sim_framebuffer(int *width, int *height);
bool sim_write_png(const char *path); // the visible frame buffer as an RGB PNG

// Memories as the firmware sees them (board addresses).
uint8_t *sim_memory(uint32_t addr, uint32_t len);
std::vector<uint8_t> sim_eeprom();       // its whole contents
const std::vector<uint8_t> &sim_flash(); // the data flash contents
