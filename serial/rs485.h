// RS485 addressed mode and the communication watchdog.
#pragma once

#include <stdint.h>

int rs485Active(void); // the RS485 mode marker is on
// Applies the stored mode: on, the display never sends XOFF, prefixes its messages and UART1
// becomes the main port; off, XOFF is allowed again (roles unchanged).
void Init_485mode(void);
// isLineAvail's address filter, run while a line is pending: 1 when the next line is for this
// display (its start-of-frame and address are taken off, rxString reads the command), else 0
// after the frame was dropped or a discovery query answered.
int rs485LineFilter(void);
// Drops received bytes up to the next start-of-frame character (left in the ring) or through the
// end of the line, whichever comes first.
void flushToCRorSOF(void);
// Switches the mode on with this start-of-frame character and address and saves it; the address
// digits must be uppercase hexadecimal. False (nothing changed) for bad digits.
bool rs485Enable(char sof, char high, char low, char *reply, int size);
// Switches the mode off and saves it; the reply names the address it had.
void rs485Disable(char *reply, int size);

// ---- communication watchdog ----------------------------------------------------------------------
struct CommWatchDog {
    uint32_t lastActivity; // ms count of the last line received
    uint32_t shortTimeout; // seconds, > 0
    uint32_t longTimeout;  // seconds; 0: none, else above shortTimeout
    uint32_t macro;
    uint8_t flags; // COMWDT_*
};
enum : uint8_t { COMWDT_ENABLED = 1, COMWDT_SHORT_DOWN = 2, COMWDT_LONG_DOWN = 4 };
extern CommWatchDog commWatchDog;
// Runs the watchdog's macro entered at a label; the macro room is above this one, so app/hooks.cpp
// installs it. Without it nothing runs.
extern void (*commWatchDogRun)(int macro, const char *label);

void setupCommWatchDog(uint32_t macro, uint32_t shortSecs, uint32_t longSecs);
void disableCommWatchDog(void);
// Once per main-loop pass; lineSeen: anything came in (a line, or an error status).
void processCommWatchDog(int lineSeen);
