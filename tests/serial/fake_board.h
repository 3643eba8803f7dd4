// A small stand-in for the board under the serial room: two UARTs whose received bytes call the
// installed handlers, captured output with the rate and transmit-enable state of every byte, the
// global interrupt mask, and a millisecond clock that only QV_Delay moves.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "board/bsp/bsp.h"

namespace fb {

struct Sent {
    uint8_t value;
    uint32_t baud;
    bool txen; // RS485 transmit enable was asserted while the byte was written
};

void reset(); // everything back to power-on, no handlers installed

// Bytes from the host on a port. They are handled at once when the port's receive interrupt can
// run, else queued until it can.
void rx(int port, const std::string &bytes);
// Bytes that arrive when the clock reaches atMs.
void rxAt(uint32_t atMs, int port, const std::string &bytes);
// Trickle: queued bytes arrive one per board call instead of all at once.
void setTrickle(bool on);
size_t rxQueued(int port);
// Puts a byte in the receive register without running anything (the benchmark calls the handler).
void latch(int port, uint8_t byte);

std::string out(int port);         // everything written on the port so far
std::vector<Sent> &wire(int port); // the same with rate and transmit-enable state
void clearOut();

uint32_t now(); // milliseconds passed in QV_Delay
uint32_t baud(int port);
bool rxIrqOn(int port);
bool txIrqOn(int port);
bool txen();   // RS485 transmit-enable line
bool masked(); // inside bsp_irq_save
bsp_isr_t handler(int source);
bool sourceEnabled(int source);

extern int irqSaves;        // bsp_irq_save calls
extern int installsWhileOn; // interrupt_set_isr on a UART source that was enabled
extern int maskedMismatch;  // bsp_irq_restore without a matching save
extern int txEmptyPolls;    // bsp_uart_tx_empty calls
extern int shiftTime;       // tx_empty reports busy for this many polls after each write

} // namespace fb
