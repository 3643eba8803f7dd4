/* A ready-made zefo5_io for a POSIX serial device (a USB adapter, a real UART, the simulator's
 * pseudo-terminal): raw 8N1 bytes, no flow control by the kernel, so that the library sees the
 * display's XON and XOFF itself. */
#ifndef ZEFO5_POSIX_H
#define ZEFO5_POSIX_H

#include "zefo5.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct zefo5_posix {
    int fd;
} zefo5_posix;

/* Opens path at baud (for example 115200). Returns 0, or -1 with errno set. */
int zefo5_posix_open(zefo5_posix *port, const char *path, long baud);
void zefo5_posix_close(zefo5_posix *port);
/* Fills io with functions that use the open port. */
void zefo5_posix_io(zefo5_posix *port, zefo5_io *io);

#ifdef __cplusplus
}
#endif

#endif
