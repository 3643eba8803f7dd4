// build/zefo5: the firmware on the simulated board, UART0 on standard input/output.
#include "board/host/sim.h"

int main(int argc, char **argv) {
    SimOptions options;
    int parsed = sim_parse_args(argc, argv, options);
    if (parsed) return parsed == 1 ? 0 : 2;
    return sim_run(options);
}
