// Settings of the stand-in firmware in the command-line test program, from the environment.
#include <stdlib.h>

#include "tests/board_host/standin.h"

static uint32_t fromEnv(const char *name) {
    const char *v = getenv(name);
    return v ? (uint32_t)strtoul(v, nullptr, 0) : 0;
}

uint32_t standinDelayMs = fromEnv("STANDIN_DELAY_MS");
uint32_t standinRate = fromEnv("STANDIN_RATE");
