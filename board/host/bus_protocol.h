// The simulated RS485 bus: what a station (a simulator started with --bus) and the bus program
// (zefo5-bus) say to each other over the bus's local socket.
//
// The bus is the clock master. It advances every station in lock-step rounds of one byte time at
// the bus rate: a station runs its board up to the round's end and stops there, reporting the
// bytes its UART1 started to send in the round; the bus then decides what every other station (and
// the host) hears and hands each station the bytes that arrive in the next round with their exact
// times. A byte reaches the others one round after its stop bit, when every byte that could overlap
// it on the wire is known; overlapping bytes are heard as their wired-AND, bit by bit. The same
// runs give the same bytes at the same virtual times, whatever the machine's load.
//
// All numbers are little-endian; times are in timer counts (SIM_COUNTS_PER_MS per millisecond).
#pragma once

#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <unistd.h>

namespace busproto {

constexpr char MAGIC[4] = {'Z', '5', 'B', '1'};

// Station -> bus, once after connecting: MAGIC, then u8 length and the station's name.
// Bus -> station, each round (a grant): u64 horizon, u32 n, then n x Delivery. A horizon of
// END_OF_RUN ends the station's run.
// Station -> bus, when its board reaches the horizon (a report): u64 time, u8 flags, u32 UART1
// rate (0 before the set-up), u32 n, then n x Sent.
constexpr uint64_t END_OF_RUN = ~0ull;

enum : uint8_t {
    IDLE = 1, // the firmware waits for input with nothing left to do
};

#pragma pack(push, 1)
struct Delivery {
    uint64_t time; // the byte is in the receiver at this time
    uint8_t byte;
};
struct Sent {
    uint64_t start; // start bit
    uint64_t end;   // end of the stop bit
    uint8_t byte;
};
struct ReportHead {
    uint64_t time;
    uint8_t flags;
    uint32_t rate;
    uint32_t count;
};
struct GrantHead {
    uint64_t horizon;
    uint32_t count;
};
#pragma pack(pop)

// Whole messages over the socket: false when the other side has gone.
inline bool readAll(int fd, void *data, size_t n) {
    char *p = (char *)data;
    while (n) {
        ssize_t r = read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= (size_t)r;
    }
    return true;
}

inline bool writeAll(int fd, const void *data, size_t n) {
    const char *p = (const char *)data;
    while (n) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= (size_t)w;
    }
    return true;
}

} // namespace busproto
