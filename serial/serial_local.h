// Shared between the files of the serial room only.
#pragma once

#include <stdint.h>

enum : uint8_t { CH_BS = 0x08, CH_LF = 0x0A, CH_CR = 0x0D, CH_XON = 0x11, CH_XOFF = 0x13, CH_ESC = 0x1B };

// Role switches made before the main loop runs (configuration, RS485 set-up) count the resulting
// main port as the previous one, so that "*prevCons" right after power-up keeps the console where
// it is. The main loop's first poll and the port commands end that phase.
void serialRolesSettled(void);

// Sets the rate of UART0 (port 0) or UART1 (any other port).
uint32_t serialSetRate(int port, uint32_t rate);

// Sends XOFF on the main port when the ring is above its threshold and none went out yet; called
// with the transmitter free of any message.
void stopHostIfFull(int port);

// Stores one byte in the main ring as it is (the binary transfers' receive handler).
void rxStoreRaw(uint8_t b);
