/* zefo5_io on a POSIX serial device: see zefo5_posix.h. */
#define _POSIX_C_SOURCE 200809L
#include "zefo5_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

static speed_t speedOf(long baud) {
    switch (baud) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 230400:
        return B230400;
    default:
        return B115200;
    }
}

int zefo5_posix_open(zefo5_posix *port, const char *path, long baud) {
    port->fd = open(path, O_RDWR | O_NOCTTY);
    if (port->fd < 0) return -1;
    struct termios t;
    if (tcgetattr(port->fd, &t) == 0) {
        t.c_iflag &=
            ~(tcflag_t)(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
        t.c_oflag &= ~(tcflag_t)OPOST;
        t.c_lflag &= ~(tcflag_t)(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        t.c_cflag &= ~(tcflag_t)(CSIZE | PARENB | CSTOPB);
        t.c_cflag |= CS8 | CREAD | CLOCAL;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        cfsetispeed(&t, speedOf(baud));
        cfsetospeed(&t, speedOf(baud));
        tcsetattr(port->fd, TCSANOW, &t);
    }
    return 0;
}

void zefo5_posix_close(zefo5_posix *port) {
    if (port->fd >= 0) close(port->fd);
    port->fd = -1;
}

static int posixWrite(void *ctx, const uint8_t *bytes, size_t n) {
    zefo5_posix *port = (zefo5_posix *)ctx;
    while (n) {
        ssize_t k = write(port->fd, bytes, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return -1;
        bytes += k;
        n -= (size_t)k;
    }
    return 0;
}

static int posixRead(void *ctx, uint8_t *byte, uint32_t timeout_ms) {
    zefo5_posix *port = (zefo5_posix *)ctx;
    struct pollfd p = {port->fd, POLLIN, 0};
    int r;
    do r = poll(&p, 1, (int)timeout_ms);
    while (r < 0 && errno == EINTR);
    if (r < 0) return -1;
    if (r == 0) return 0;
    ssize_t k = read(port->fd, byte, 1);
    return k == 1 ? 1 : -1;
}

void zefo5_posix_io(zefo5_posix *port, zefo5_io *io) {
    io->write = posixWrite;
    io->read = posixRead;
    io->ctx = port;
}
