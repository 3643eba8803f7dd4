// The line path in RS485 mode: bytes on UART1 through the address filter, the discovery query, the
// polls and the prompt rules, to the prefixed replies. One board session, set to address 1A with
// start-of-frame '#' over UART0, serves every input; an input that leaves the firmware busy, or
// that moved the console off UART1, ends it and the next input starts a fresh board.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "board/host/sim.h"

static bool running;

static void powerOn() {
    SimOptions options;
    options.faultAborts = true;
    sim_start(options);
    running = sim_run_until_idle(20000);
    if (!running) return;
    sim_send(0, "*rs485 #1A\r");
    running = sim_run_until_idle(2000) && sim_main_port() == 1;
    sim_take_output(0);
    sim_take_output(1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    if (!running) powerOn();
    if (!running) return 0;
    std::string bytes((const char *)data, size);
    if (bytes.empty() || bytes.back() != '\r') bytes += "\r";
    sim_send(1, bytes);
    if (!sim_run_until_idle(2000) || sim_main_port() != 1) {
        sim_stop();
        running = false;
    } else {
        sim_take_output(0);
        sim_take_output(1);
    }
    return 0;
}
