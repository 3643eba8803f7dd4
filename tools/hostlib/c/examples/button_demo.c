/* Drives a ZEFO5 display end to end from a PC: waits for it to start, asks its version, puts a
 * toggle button on a cleared screen, and prints the reports of the first presses.
 *
 *     zefo5-c-demo DEVICE [--simulate]
 *
 * DEVICE is the serial port (/dev/ttyUSB0) or the simulator's pseudo-terminal
 * (build/zefo5 --uart0 pty prints its path). With --simulate the program presses the button itself
 * with "*tsmm"; without it, touch the button on the screen. */
#include <stdio.h>
#include <string.h>

#include "zefo5.h"
#include "zefo5_posix.h"

static int run(zefo5 *z, const char *line) {
    char reply[128];
    zefo5_status s = zefo5_command(z, line, reply, sizeof reply, 2000);
    printf("%-40s %s", line, zefo5_status_text(s));
    if (reply[0]) {
        for (char *p = reply; *p; p++)
            if (*p == '\r') *p = ' ';
        printf(": %s", reply);
    }
    printf("\n");
    return s == ZEFO5_OK;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: zefo5-c-demo DEVICE [--simulate]\n");
        return 2;
    }
    const int simulate = argc > 2 && strcmp(argv[2], "--simulate") == 0;
    zefo5_posix port;
    if (zefo5_posix_open(&port, argv[1], 115200) != 0) {
        perror(argv[1]);
        return 1;
    }
    zefo5_io io;
    zefo5_posix_io(&port, &io);
    zefo5 z;
    zefo5_init(&z, &io);
    if (zefo5_wait_ready(&z, 5000) != ZEFO5_OK) fprintf(stderr, "no start-up prompt; going on\n");
    zefo5_set_crc(&z, 1); /* every line from here on in a CRC frame */
    int ok = run(&z, "vers") && run(&z, "S 000 FFF") && run(&z, "z") &&
             run(&z, "bd 5 100 100 2 \"Off\" \"On\" 8 20 8 20");
    if (ok && simulate) ok = run(&z, "*tsmm 130 130") && run(&z, "*tsmm 130 130");
    int presses = 0;
    zefo5_event ev;
    while (ok && presses < 2 && zefo5_poll(&z, &ev, simulate ? 1000 : 30000) == 1) {
        if (ev.kind == ZEFO5_EV_TOGGLE) {
            printf("button %d is now %s\n", ev.spot, ev.value ? "on" : "off");
            presses++;
        }
    }
    zefo5_posix_close(&port);
    return ok && presses == 2 ? 0 : 1;
}
