// The stand-in firmware of the board tests, and its settings (kept outside the firmware archive so
// that a reset does not restore them).
#pragma once

#include <stdint.h>

extern uint32_t standinDelayMs; // busy-wait at start-up, ms
extern uint32_t standinRate;    // UART0 rate, 0: the port's default

int standin_main(void);

// Firmware data, for the reset test.
extern int fwInitialised;
extern char fwText[16];
extern int fwCounter;
extern volatile uint32_t fwTicks;
extern volatile uint8_t mainIsUart0;
