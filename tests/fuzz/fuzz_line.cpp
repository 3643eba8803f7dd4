// The whole line path: bytes on the wire to the reply, through the simulated board and the real
// firmware. One board session serves every input (a start-up costs far more than a line); an input
// that leaves the firmware busy (a long wait, a memory test) ends the session and the next input
// starts a fresh board.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "board/host/sim.h"

static bool running;

static void powerOn() {
    SimOptions options;
    options.faultAborts = true;
    sim_start(options);
    // A blank EEPROM's first start writes both copies: seconds of virtual time, once.
    running = sim_run_until_idle(20000);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    if (!running) powerOn();
    if (!running) return 0;
    std::string bytes((const char *)data, size);
    // The last line ends, whatever the input was. Only a CR that ends a line is added: an empty
    // line costs the display a 10 ms pause, which the board simulates at length.
    if (bytes.empty() || bytes.back() != '\r') bytes += "\r";
    sim_send(0, bytes);
    if (!sim_run_until_idle(2000)) {
        sim_stop();
        running = false;
    } else {
        sim_take_output(0);
        sim_take_output(1);
    }
    return 0;
}
