// The two UARTs and what is at the other end of their wires: standard input/output (the host), a
// pseudo-terminal, a serial device or FIFO, in-memory captures for the harness, or (UART1) the
// simulated RS485 bus of zefo5-bus (bus_protocol.h).
//
// Each port has a transmitter (holding register + shift register) and a one-byte receiver. The
// "line" of a port is the far end sending to it: bytes queued by events and sim_send, then the
// live source (a file descriptor). The far end starts a byte only when the previous one has had
// its 10 bit times, and only once the firmware has set the port up, so start-up loses nothing.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <type_traits>

#include "board/host/bus_protocol.h"
#include "board/host/host.h"

// The firmware's port roles; the board reads this one variable to route the send/aux events.
extern volatile uint8_t mainIsUart0 __attribute__((weak));

namespace host {
namespace {

constexpr uint8_t XON = 0x11, XOFF = 0x13;

struct Source {
    int fd = -1;
    bool eof = false;
    std::vector<uint8_t> buf;
    size_t pos = 0;

    bool live() const { return fd >= 0 && !eof; }
    bool buffered() const { return pos < buf.size(); }
    // Takes what the file descriptor holds right now, without waiting.
    void fill(bool wait) {
        if (fd < 0 || eof || buffered()) return;
        struct pollfd p = {fd, POLLIN, 0};
        int r = poll(&p, 1, wait ? -1 : 0);
        if (r <= 0) return;
        uint8_t tmp[4096];
        ssize_t n = read(fd, tmp, sizeof tmp);
        if (n > 0) {
            buf.assign(tmp, tmp + n);
            pos = 0;
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            eof = true;
        }
    }
    bool take(uint8_t &b) {
        fill(false);
        if (!buffered()) return false;
        b = buf[pos++];
        return true;
    }
};

struct Sink {
    int fd = -1;
    bool crlf = false;     // a terminal shows CR as CR LF
    bool blocking = false; // standard output gets every byte; a pty nobody reads drops them
    // Written out at 4 KiB: a fixed buffer, so that storing a byte is a store and a count.
    uint8_t out[4096 + 2];
    size_t held = 0;

    bool empty() const { return held == 0; }
    void put(uint8_t b) {
        if (fd < 0) return;
        out[held++] = b;
        if (crlf && b == '\r') out[held++] = '\n';
        if (held >= 4096) flush();
    }
    __attribute__((noinline)) void flush() {
        size_t done = 0;
        while (done < held) {
            ssize_t n = write(fd, out + done, held - done);
            if (n > 0) {
                done += (size_t)n;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN && blocking) {
                struct pollfd p = {fd, POLLOUT, 0};
                poll(&p, 1, -1);
            } else {
                break; // reader gone or nobody reading the pty: the bytes are lost on the wire
            }
        }
        held = 0;
    }
};

// The bytes the far end has still to send, taken from the front; the storage is kept.
struct ByteQueue {
    std::vector<uint8_t> bytes;
    size_t head = 0;

    bool empty() const { return head == bytes.size(); }
    uint8_t take() {
        const uint8_t b = bytes[head++];
        if (head == bytes.size()) {
            bytes.clear();
            head = 0;
        }
        return b;
    }
    void putBack(uint8_t b) {
        if (head)
            bytes[--head] = b;
        else
            bytes.insert(bytes.begin(), b);
    }
    void append(const std::string &s) {
        if (head > bytes.size() / 2) { // drop what was taken before the storage grows
            bytes.erase(bytes.begin(), bytes.begin() + (ptrdiff_t)head);
            head = 0;
        }
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
};

struct Port {
    int index = 0;
    uint64_t rxMask = 0, txMask = 0; // its interrupt sources
    // set-up
    uint32_t rate = 0; // 0: not set up
    uint64_t byteTime = 0;
    bool rxIrq = false, txIrq = false;
    // receiver
    bool rxFull = false;
    uint8_t rxData = 0;
    // transmitter
    bool holdFull = false, shiftFull = false;
    uint8_t hold = 0, shift = 0;
    uint64_t txGen = 0;
    // line: the far end
    ByteQueue queue;
    Source *src = nullptr;
    bool inFlight = false;
    uint8_t flightByte = 0;
    bool lookPending = false;
    bool waiting = false; // the live source had nothing at the last look
    uint64_t lineGen = 0;
    uint64_t nextSlot = 0;
    bool paused = false; // the display sent XOFF
    // what the far end receives
    Sink *sink = nullptr;
    bool log = false;
    std::vector<SimTxByte> txLog;
};

Port ports[2];
Source stdinSource, ptySource[2], pathSource[2];
Sink stdoutSink, ptySink[2], pathSink[2];
int ptySlave[2] = {-1, -1};
bool stdinIsLine; // UART0 is standard input/output

bool termSaved;
struct termios savedTerm;
struct timespec realStart;

int irqRx(int port) {
    return port ? BSP_IRQ_UART1_RX : BSP_IRQ_UART0_RX;
}
int irqTx(int port) {
    return port ? BSP_IRQ_UART1_TX : BSP_IRQ_UART0_TX;
}

void updateIrq(Port &p) {
    irqPending = (irqPending & ~(p.rxMask | p.txMask)) | (p.rxIrq && p.rxFull ? p.rxMask : 0) |
                 (p.txIrq && !p.holdFull ? p.txMask : 0);
}

// The transmitter's level alone, where only the transmitter changed: the receiver's bit already
// holds its level (every change of the receiver sets it).
void updateTxIrq(Port &p) {
    irqPending = (irqPending & ~p.txMask) | (p.txIrq && !p.holdFull ? p.txMask : 0);
}

Port &port(int index) {
    if (index != 0 && index != 1) fault("UART%d does not exist", index);
    return ports[index];
}

uint64_t byteTimeFor(uint32_t rate) {
    uint64_t bits = 10ull * BSP_TIMER_HZ;
    return (bits + rate - 1) / rate;
}

speed_t speedFor(uint32_t rate) {
    switch (rate) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    default:
        return B0;
    }
}

// A real serial device at the end of the wire follows the port's rate.
void matchDeviceRate(Port &p) {
    if (!p.sink || p.sink != &pathSink[p.index] || !isatty(p.sink->fd)) return;
    speed_t s = speedFor(p.rate);
    struct termios t;
    if (s == B0 || tcgetattr(p.sink->fd, &t) != 0) return;
    cfsetispeed(&t, s);
    cfsetospeed(&t, s);
    tcsetattr(p.sink->fd, TCSANOW, &t);
}

// ---- the far end sending -----------------------------------------------------------------------
void look(int index, uint64_t gen);
void lookEvent(uint64_t index, uint64_t gen) {
    look((int)index, gen);
}

// eventEnds: the caller is an event that ends with this call.
void kick(Port &p, bool eventEnds = false) {
    if (p.inFlight || p.lookPending || !p.rate || p.paused) return;
    p.lookPending = true;
    int index = p.index;
    uint64_t gen = p.lineGen;
    uint64_t at = p.nextSlot > now ? p.nextSlot : now;
    // The byte that follows a received one is looked for at once, as the event would have been run
    // next: one event per byte, not two.
    if (eventEnds && at == now && runningEvents && nextEventTime() > now) {
        look(index, gen);
        return;
    }
    schedule(at, lookEvent, (uint64_t)index, gen);
}

__attribute__((noinline)) void arriveSlowly(int index, uint64_t gen) {
    Port &p = ports[index];
    if (gen != p.lineGen) return;
    p.inFlight = false;
    if (!p.rate) { // reset while the byte was on its way: it waits for the next set-up
        p.queue.putBack(p.flightByte);
        return;
    }
    if (p.rxFull) {
        board.rxOverruns[index]++;
        trace("UART%d receive overrun", index);
    }
    p.rxData = p.flightByte;
    p.rxFull = true;
    updateIrq(p);
    p.nextSlot = now;
    kick(p, true);
}

void look(int index, uint64_t gen) {
    Port &p = ports[index];
    if (gen != p.lineGen) return;
    p.lookPending = false;
    if (!p.rate || p.paused || p.inFlight) return;
    uint8_t b;
    bool got = false;
    if (!p.queue.empty()) {
        b = p.queue.take();
        got = true;
    } else if (p.src) {
        got = p.src->take(b);
    }
    if (got) {
        p.waiting = false;
        p.inFlight = true;
        p.flightByte = b;
        scheduleArrival(index, now + p.byteTime, gen);
        return;
    }
    p.waiting = p.src && p.src->live();
    if (p.waiting && !realClock) {
        // Keep simulating; look again at the next byte slot.
        p.nextSlot = now + p.byteTime;
        kick(p);
    }
}

// ---- the RS485 bus (UART1) ---------------------------------------------------------------------------
int busFd = -1;
std::vector<busproto::Sent> busSent; // started since the last round
bool busIdle;

bool busWrite(const void *data, size_t n) {
    return busproto::writeAll(busFd, data, n);
}

bool busRead(void *data, size_t n) {
    return busproto::readAll(busFd, data, n);
}

// A byte from the bus is in the receiver; one still unread there is lost (an overrun).
void busArrive(uint64_t byte, uint64_t) {
    Port &p = ports[1];
    if (!p.rate) return; // not set up yet: the byte passes unseen
    if (p.rxFull) {
        board.rxOverruns[1]++;
        trace("UART1 receive overrun");
    }
    p.rxData = (uint8_t)byte;
    p.rxFull = true;
    updateIrq(p);
}

// The end of a round: what UART1 started to send goes to the bus, and the board waits for the
// next round's grant with the bytes that arrive in it.
void busRound(uint64_t, uint64_t) {
    const Port &p = ports[1];
    busproto::ReportHead head = {now, 0, p.rate, (uint32_t)busSent.size()};
    if (busIdle && !p.holdFull && !p.shiftFull && !p.rxFull && !irqDeliverable())
        head.flags |= busproto::IDLE;
    busproto::GrantHead grant;
    bool ok = busWrite(&head, sizeof head) &&
              (busSent.empty() || busWrite(busSent.data(), busSent.size() * sizeof busSent[0])) &&
              busRead(&grant, sizeof grant);
    busSent.clear();
    if (!ok || grant.horizon == busproto::END_OF_RUN) {
        if (!ok) fprintf(stderr, "zefo5: the bus %s has gone\n", opts.bus.c_str());
        ::close(busFd);
        busFd = -1;
        setControl(CTRL_EXIT);
        return;
    }
    for (uint32_t i = 0; i < grant.count; i++) {
        busproto::Delivery d;
        if (!busRead(&d, sizeof d)) {
            fprintf(stderr, "zefo5: the bus %s has gone\n", opts.bus.c_str());
            setControl(CTRL_EXIT);
            return;
        }
        schedule(d.time, busArrive, d.byte);
    }
    schedule(grant.horizon, busRound);
}

// The bus may still be starting: its socket is waited for, up to ten seconds.
bool busConnect() {
    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (opts.bus.size() >= sizeof addr.sun_path) {
        fprintf(stderr, "zefo5: bus path too long: %s\n", opts.bus.c_str());
        return false;
    }
    memcpy(addr.sun_path, opts.bus.c_str(), opts.bus.size() + 1);
    for (int attempt = 0;; attempt++) {
        busFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (busFd < 0) break;
        if (connect(busFd, (struct sockaddr *)&addr, sizeof addr) == 0) {
            std::string hello(busproto::MAGIC, sizeof busproto::MAGIC);
            std::string name = opts.busName.substr(0, 255);
            hello.push_back((char)name.size());
            hello += name;
            if (!busWrite(hello.data(), hello.size())) break;
            busSent.clear();
            busIdle = false;
            schedule(0, busRound);
            return true;
        }
        ::close(busFd);
        busFd = -1;
        if ((errno != ENOENT && errno != ECONNREFUSED) || attempt >= 1000) break;
        usleep(10000);
    }
    fprintf(stderr, "zefo5: cannot join the bus %s: %s\n", opts.bus.c_str(), strerror(errno));
    if (busFd >= 0) ::close(busFd);
    busFd = -1;
    return false;
}

// ---- the far end receiving -----------------------------------------------------------------------
// Runs f with the port number as a constant (std::integral_constant), so that the per-port copies
// of the paths of every byte find their port's data at fixed addresses.
template <typename F> inline auto onPort(int index, F f) {
    if (index == 0) return f(std::integral_constant<int, 0>{});
    if (index == 1) return f(std::integral_constant<int, 1>{});
    fault("UART%d does not exist", index);
}

template <int index> void txEndsOn(uint64_t gen);
template <int index> void txEndEvent(uint64_t, uint64_t gen) {
    txEndsOn<index>(gen);
}

// One copy per port, as for the other paths of every byte: the port's data at fixed addresses.
template <int index> void startShiftOn() {
    Port &p = ports[index];
    p.shift = p.hold;
    p.holdFull = false;
    p.shiftFull = true;
    uint64_t gen = p.txGen;
    uint64_t t = p.byteTime ? p.byteTime : byteTimeFor(115200);
    if (index == 1 && busFd >= 0) busSent.push_back(busproto::Sent{now, now + t, p.shift});
    schedule(now + t, txEndEvent<index>, (uint64_t)index, gen);
}

// The host on the main port honours the display's flow control (unless told to ignore it).
__attribute__((noinline)) void flowControl(Port &p, uint8_t b) {
    if (p.index != uart::mainPort() || opts.hostIgnoresXoff) return;
    if (b == XOFF) {
        p.paused = true;
    } else if (p.paused) {
        p.paused = false;
        kick(p);
    }
}

__attribute__((noinline)) void logTx(Port &p, uint8_t b) {
    p.txLog.push_back(SimTxByte{now, b, board.rs485Txen == 1});
}

template <int index> void txEndsOn(uint64_t gen) {
    Port &p = ports[index];
    if (gen != p.txGen) return;
    uint8_t b = p.shift;
    p.shiftFull = false;
    if (p.sink) p.sink->put(b);
    if (p.log) logTx(p, b);
    if (b == XOFF || b == XON) flowControl(p, b);
    if (p.holdFull) startShiftOn<index>();
    updateTxIrq(p);
}

// ---- connections -----------------------------------------------------------------------------------
void makeRaw(int fd, bool keepSignals) {
    struct termios t;
    if (tcgetattr(fd, &t) != 0) return;
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | IEXTEN);
    if (!keepSignals) t.c_lflag &= ~ISIG;
    t.c_cflag &= ~(CSIZE | PARENB);
    t.c_cflag |= CS8;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
}

bool openPty(int index) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        fprintf(stderr, "zefo5: cannot create a pseudo-terminal for UART%d: %s\n", index, strerror(errno));
        if (master >= 0) ::close(master);
        return false;
    }
    const char *name = ptsname(master);
    // The board keeps the other side open too, so that the line stays up while no program has it.
    int slave = name ? open(name, O_RDWR | O_NOCTTY) : -1;
    if (slave >= 0) makeRaw(slave, false);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    ptySlave[index] = slave;
    ptySource[index] = Source{};
    ptySource[index].fd = master;
    ptySink[index] = Sink{};
    ptySink[index].fd = master;
    ports[index].src = &ptySource[index];
    ports[index].sink = &ptySink[index];
    fprintf(stderr, "zefo5: UART%d on %s\n", index, name ? name : "?");
    return true;
}

bool openPath(int index, const std::string &path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        fprintf(stderr, "zefo5: cannot open %s for UART%d: %s\n", path.c_str(), index, strerror(errno));
        return false;
    }
    if (isatty(fd)) makeRaw(fd, false);
    pathSource[index] = Source{};
    pathSource[index].fd = fd;
    pathSink[index] = Sink{};
    ports[index].src = &pathSource[index];
    // A FIFO only brings bytes in: what the port sends would come straight back. It is opened for
    // writing too, so that it never reads as ended while no program has it open.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) return true;
    pathSink[index].fd = fd;
    ports[index].sink = &pathSink[index];
    return true;
}

bool connect(int index, SimPort mode, const std::string &path) {
    Port &p = ports[index];
    p.log = harness || mode == SimPort::Capture;
    switch (mode) {
    case SimPort::Stdio:
        if (index != 0) {
            fprintf(stderr, "zefo5: only UART0 can use standard input/output\n");
            return false;
        }
        stdinSource = Source{};
        stdinSource.fd = 0;
        stdoutSink = Sink{};
        stdoutSink.fd = 1;
        stdoutSink.blocking = true;
        stdoutSink.crlf = isatty(1);
        p.src = &stdinSource;
        p.sink = &stdoutSink;
        stdinIsLine = true;
        if (isatty(0) && tcgetattr(0, &savedTerm) == 0) {
            termSaved = true;
            makeRaw(0, true); // Ctrl-C still ends the run
        }
        return true;
    case SimPort::Pty:
        return openPty(index);
    case SimPort::Path:
        return openPath(index, path);
    default:
        return true;
    }
}

void resetPortSetup(Port &p) {
    p.rate = 0;
    p.byteTime = 0;
    p.rxIrq = p.txIrq = false;
    p.rxFull = false;
    p.holdFull = p.shiftFull = false;
    p.txGen++;
    p.paused = false;
    p.lookPending = false;
    // A byte on its way stays on its way; a look already scheduled is forgotten.
    if (!p.inFlight) p.lineGen++;
    updateIrq(p);
    board.uartRate[p.index] = 0;
    board.rxIrq[p.index] = board.txIrq[p.index] = 0;
}

void setUp(Port &p, uint32_t rate) {
    bool first = !p.rate;
    if (p.rate != rate) trace("UART%d at %u bit/s", p.index, rate);
    p.rate = rate;
    p.byteTime = byteTimeFor(rate);
    board.uartRate[p.index] = rate;
    matchDeviceRate(p);
    if (first) p.nextSlot = now;
    kick(p);
}

std::vector<struct pollfd> waitingFds() {
    std::vector<struct pollfd> fds;
    for (Port &p : ports) {
        if (p.waiting && !p.paused && p.src && p.src->live() && !p.src->buffered())
            fds.push_back(pollfd{p.src->fd, POLLIN, 0});
    }
    return fds;
}

void takeArrived() {
    for (Port &p : ports) {
        if (!p.waiting || !p.src) continue;
        p.src->fill(false);
        if (p.src->buffered() || !p.src->live()) {
            p.waiting = false;
            kick(p);
        }
    }
}

uint64_t wallNs() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)(t.tv_sec - realStart.tv_sec) * 1000000000ull + (uint64_t)t.tv_nsec -
           (uint64_t)realStart.tv_nsec;
}

} // namespace

namespace uart {

// The common case in short: the byte is taken into an empty receiver, and the next one in store
// goes on its way at once when nothing else is due now (its look would have been the next event).
// One copy per port: with the port's data at fixed addresses the path is shorter.
template <int index> void arriveOn() {
    Port &p = ports[index];
    Slot &a = slots[SLOT_ARRIVAL0 + index];
    const Slot &o = slots[SLOT_ARRIVAL0 + (index ^ 1)];
    const uint64_t t = now;
    if (a.gen != p.lineGen || !p.rate || p.rxFull || p.lookPending || p.paused || queueFirst <= t ||
        o.time <= t)
        return arriveSlowly(index, takeSlot(SLOT_ARRIVAL0 + index));
    uint8_t next;
    ByteQueue &q = p.queue;
    if (!q.empty()) {
        next = q.take();
    } else {
        Source *src = p.src;
        if (!src || !src->buffered()) return arriveSlowly(index, takeSlot(SLOT_ARRIVAL0 + index));
        next = src->buf[src->pos++];
    }
    const uint64_t at = t + p.byteTime;
    const uint8_t byte = p.flightByte;
    p.flightByte = next; // inFlight stays set: the next byte is on its way
    p.rxData = byte;
    p.rxFull = true;
    p.waiting = false;
    p.nextSlot = t;
    if (p.rxIrq) irqPending |= p.rxMask; // its level; the transmitter's has not changed
    // The slot again, for the next byte: the newest event, after the other port's at the same time.
    a.time = at;
    a.seq = eventSeq++;
    const bool first = at < o.time;
    slotNext = first ? SLOT_ARRIVAL0 + index : SLOT_ARRIVAL0 + (index ^ 1);
    slotFirst = first ? at : o.time;
}

void arrive(int index) {
    onPort(index, [](auto i) { arriveOn<decltype(i)::value>(); });
}

void arriveQueued(uint64_t index, uint64_t gen) {
    arriveSlowly((int)index, gen);
}

bool configure() {
    for (int i = 0; i < 2; i++) {
        ports[i] = Port{};
        ports[i].index = i;
        ports[i].rxMask = 1ull << irqRx(i);
        ports[i].txMask = 1ull << irqTx(i);
    }
    stdinIsLine = false;
    clock_gettime(CLOCK_MONOTONIC, &realStart);
    if (!connect(0, opts.uart0, opts.uart0Path) || !connect(1, opts.uart1, opts.uart1Path)) return false;
    return opts.bus.empty() || busConnect();
}

void powerOn() {
    for (Port &p : ports) {
        resetPortSetup(p);
        p.nextSlot = 0;
    }
}

void reset() {
    for (Port &p : ports) resetPortSetup(p);
}

void close() {
    flush();
    terminalRestore();
    termSaved = false;
    for (int i = 0; i < 2; i++) {
        if (ptySource[i].fd >= 0) ::close(ptySource[i].fd);
        if (ptySlave[i] >= 0) ::close(ptySlave[i]);
        if (pathSource[i].fd >= 0) ::close(pathSource[i].fd);
        ptySource[i] = Source{};
        pathSource[i] = Source{};
        ptySink[i] = Sink{};
        pathSink[i] = Sink{};
        ptySlave[i] = -1;
        ports[i].src = nullptr;
        ports[i].sink = nullptr;
    }
    if (busFd >= 0) ::close(busFd);
    busFd = -1;
    stdinIsLine = false;
}

void flush() {
    for (Port &p : ports) {
        if (p.sink && !p.sink->empty()) p.sink->flush();
    }
}

bool inputEnded() {
    if (!stdinIsLine || busFd >= 0) return false; // on the bus, the bus ends the run
    const Port &p = ports[0];
    return stdinSource.eof && !stdinSource.buffered() && p.queue.empty() && !p.inFlight && !p.rxFull;
}

bool transmitting() {
    for (const Port &p : ports) {
        if (p.holdFull || p.shiftFull) return true;
    }
    return false;
}

bool settled() {
    for (const Port &p : ports) {
        if (!p.queue.empty() || p.inFlight || p.rxFull || p.holdFull || p.shiftFull) return false;
    }
    return true;
}

// Only the host on UART0 is waited for; what it sends or what arrives on UART1 ends the wait.
void blockUntilInput() {
    const Port &host = ports[0];
    if (!host.waiting || host.paused || !host.src || !host.src->live()) return;
    takeArrived();
    for (const Port &p : ports) {
        // Bytes on their way either way: the host waits for the display's answer to end.
        if (p.inFlight || !p.queue.empty() || (p.src && p.src->buffered()) || p.holdFull || p.shiftFull)
            return;
    }
    std::vector<struct pollfd> fds = waitingFds();
    if (fds.empty()) return;
    // The host is thinking: virtual time stands still until it sends or ends.
    flush();
    poll(fds.data(), fds.size(), -1); // a signal (Ctrl-C) ends the wait too
    takeArrived();
}

bool (*pageWait)(uint64_t t);

bool sleepUntil(uint64_t t) {
    if (pageWait) return pageWait(t);
    uint64_t targetNs = (uint64_t)((double)t * 1e9 / (double)BSP_TIMER_HZ);
    flush(); // on the wall clock, output shows at once
    for (;;) {
        takeArrived();
        uint64_t cur = wallNs();
        if (cur >= targetNs) return true;
        std::vector<struct pollfd> fds = waitingFds();
        uint64_t waitNs = targetNs - cur;
        struct timespec ts = {(time_t)(waitNs / 1000000000ull), (long)(waitNs % 1000000000ull)};
        flush();
        int r = ppoll(fds.data(), fds.size(), &ts, nullptr);
        if (r > 0) {
            takeArrived();
            return false;
        }
        if (r < 0 && errno == EINTR) return false;
    }
}

void pollInput() {
    takeArrived();
}

void inject(int index, const std::string &bytes) {
    Port &p = port(index);
    p.queue.append(bytes);
    kick(p);
}

void terminalRestore() {
    if (termSaved) tcsetattr(0, TCSANOW, &savedTerm);
}

bool onBus() {
    return busFd >= 0;
}

void setBusIdle(bool on) {
    busIdle = on;
}

int mainPort() {
    if (&mainIsUart0 && !mainIsUart0 && ports[1].rate) return 1;
    return 0;
}

} // namespace uart
} // namespace host

using namespace host;

// ---- board operations --------------------------------------------------------------------------------
void bsp_uart_init(int index) {
    Port &p = port(index);
    p.rxIrq = p.txIrq = false;
    p.rxFull = false;
    p.holdFull = p.shiftFull = false;
    p.txGen++;
    updateIrq(p);
    setUp(p, p.rate ? p.rate : 115200);
    access();
}

void bsp_uart_set_baud(int index, uint32_t rate) {
    Port &p = port(index);
    if (rate < 1200 || rate > 460800) fault("UART%d rate %u outside 1200..460800", index, rate);
    setUp(p, rate);
    access();
}

void bsp_uart_rx_irq(int index, int on) {
    Port &p = port(index);
    p.rxIrq = on != 0;
    board.rxIrq[index] = p.rxIrq;
    updateIrq(p);
    access();
}

template <int index> static void txIrqOn(int on) {
    Port &p = ports[index];
    p.txIrq = on != 0;
    board.txIrq[index] = p.txIrq;
    updateTxIrq(p);
    access();
}

void bsp_uart_tx_irq(int index, int on) {
    onPort(index, [on](auto i) { txIrqOn<decltype(i)::value>(on); });
}

template <int index> static uint8_t readOn() {
    Port &p = ports[index];
    uint8_t b = p.rxData;
    p.rxFull = false;
    irqPending &= ~p.rxMask;
    access();
    return b;
}

uint8_t bsp_uart_read(int index) {
    return onPort(index, [](auto i) { return readOn<decltype(i)::value>(); });
}

template <int index> static int txReadyOn() {
    int ready = !ports[index].holdFull;
    access();
    return ready;
}

int bsp_uart_tx_ready(int index) {
    return onPort(index, [](auto i) { return txReadyOn<decltype(i)::value>(); });
}

template <int index> static void writeOn(uint8_t byte) {
    Port &p = ports[index];
    if (p.holdFull) {
        board.txOverruns[index]++;
        trace("UART%d transmit overrun", index);
    } else {
        p.hold = byte;
        p.holdFull = true;
        if (!p.shiftFull) startShiftOn<index>();
        updateTxIrq(p);
    }
    access();
}

void bsp_uart_write(int index, uint8_t byte) {
    onPort(index, [byte](auto i) { writeOn<decltype(i)::value>(byte); });
}

int bsp_uart_tx_empty(int index) {
    const Port &p = port(index);
    int empty = !p.holdFull && !p.shiftFull;
    access();
    return empty;
}

// A poll's own access may have run the event that changes the answer: skip only while it stands.
template <int index> static void waitTxReadyOn() {
    while (!txReadyOn<index>())
        if (ports[index].holdFull) skipUnchangedPolls();
}

void bsp_uart_wait_tx_ready(int index) {
    onPort(index, [](auto i) { waitTxReadyOn<decltype(i)::value>(); });
}

void bsp_uart_wait_tx_empty(int index) {
    while (!bsp_uart_tx_empty(index))
        if (ports[index].holdFull || ports[index].shiftFull) skipUnchangedPolls();
}

void bsp_rs485_txen(int on) {
    if (board.rs485Txen != (on != 0)) trace("RS485 transmit enable %d", on != 0);
    board.rs485Txen = on != 0;
    access();
}

void bsp_uart0_putchar(char c) {
    while (ports[0].holdFull) waitForEvent(); // polling: time moves to the byte's end
    bsp_uart_write(0, (uint8_t)c);
}

// ---- harness ------------------------------------------------------------------------------------------
void sim_send(int index, const void *data, size_t n) {
    uart::inject(index, std::string((const char *)data, n));
}
void sim_send(int index, const std::string &bytes) {
    uart::inject(index, bytes);
}
void sim_send_main(const std::string &bytes) {
    uart::inject(uart::mainPort(), bytes);
}
int sim_main_port() {
    return uart::mainPort();
}

std::string sim_output(int index) {
    const Port &p = port(index);
    std::string s;
    for (const SimTxByte &b : p.txLog) s.push_back((char)b.byte);
    return s;
}

std::string sim_take_output(int index) {
    std::string s = sim_output(index);
    ports[index].txLog.clear();
    return s;
}

const std::vector<SimTxByte> &sim_tx_log(int index) {
    return port(index).txLog;
}
