// Console output: every byte for the host leaves through these printers, which the serial room
// provides (serial/serial_tx.cpp). Replies go out with txString; notices, errors and event reports
// with txNotify, held back in RS485 mode until the display is addressed.
#pragma once

void txString(const char *text);
void txNotify(const char *text);
// Messages for people: pout informational lines (through txNotify), perr errors (through txString).
void pout(const char *format, ...) __attribute__((format(printf, 1, 2)));
void perr(const char *format, ...) __attribute__((format(printf, 1, 2)));
