// Console printers that capture instead of sending.
#include "tests/support/console.h"

#include <stdarg.h>
#include <stdio.h>

#include "base/console.h"
#include "serial/serial.h"

std::string sent;

void txString(const char *text) {
    sent += text;
}
void txNotify(const char *text) {
    sent += text;
}

// The firmware formats a message into a buffer of this size, cutting what does not fit.
static void formatted(const char *format, va_list ap) {
    char text[POUT_BUF_SIZE];
    vsnprintf(text, sizeof text, format, ap);
    sent += text;
}
void pout(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    formatted(format, ap);
    va_end(ap);
}
void perr(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    formatted(format, ap);
    va_end(ap);
}
