// build/zefo5-bus: a half-duplex RS485 line shared by several simulated displays (each started with
// --bus PATH) and a host on standard input/output. The bus keeps the virtual time of all of them
// in lock-step (bus_protocol.h), so a run is as repeatable as a single simulator's.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "board/host/arg_text.h"
#include "board/host/bus_protocol.h"
#include "board/host/sim.h"

namespace {

using namespace busproto;

void usage(FILE *out) {
    fputs("usage: zefo5-bus PATH --stations N [options]\n"
          "A simulated RS485 line at the socket PATH. N displays join it with\n"
          "  zefo5 --bus PATH [--bus-name NAME] ...\n"
          "and the host is standard input/output: its bytes go onto the line once every display has\n"
          "started, and it hears every byte the displays send. Bytes that overlap on the line are\n"
          "heard garbled (the wired-AND of their bits). Time is virtual; it stands still while every\n"
          "display waits for input and the host has nothing to send.\n"
          "\n"
          "  --stations N         displays to wait for (1..32)\n"
          "  --rate R             bit/s of the line (default 115200); the displays' UART1 should\n"
          "                       run at it\n"
          "  --script FILE        the host's bytes from a file instead of standard input, one\n"
          "                       line each: MS send TEXT, MS = virtual ms after every display has\n"
          "                       started; TEXT takes \\r \\n \\t \\0 \\xHH \\\\; # starts a comment\n"
          "  --linger MS          virtual ms to run on once the host has ended and the line is\n"
          "                       quiet (default 200)\n"
          "  --max-ms MS          end the run at this virtual time\n"
          "  --trace              every byte on the line on standard error: its start and end in\n"
          "                       ms, the station, the byte, and what was heard when it collided\n"
          "  --help               this text\n"
          "\n"
          "Exit status: 0 normal end, 1 a display left the bus, 2 bad options.\n",
          out);
}

struct WireByte {
    uint64_t start, end;
    uint8_t byte;
    int sender; // station index, -1 the host
    bool decided;
};

struct ScriptLine {
    uint64_t ms;
    std::string bytes;
};

bool readScript(const char *path, std::vector<ScriptLine> &lines) {
    FILE *f = fopen(path, "r");
    if (!f) {
        fprintf(stderr, "zefo5-bus: cannot open %s: %s\n", path, strerror(errno));
        return false;
    }
    char buf[4096];
    int number = 0;
    bool ok = true;
    while (ok && fgets(buf, sizeof buf, f)) {
        number++;
        size_t len = strlen(buf);
        while (len && (buf[len - 1] == '\n' || buf[len - 1] == '\r')) buf[--len] = 0;
        char *p = buf;
        while (*p == ' ' || *p == '\t') p++;
        if (!*p || *p == '#') continue;
        char *ms = p;
        while (*p && *p != ' ') p++;
        if (*p) *p++ = 0;
        ScriptLine line;
        ok = parseNumber(ms, UINT64_MAX / SIM_COUNTS_PER_MS, line.ms) && strncmp(p, "send ", 5) == 0 &&
             parseText(p + 5, line.bytes) && !line.bytes.empty() &&
             (lines.empty() || line.ms >= lines.back().ms);
        if (!ok) fprintf(stderr, "zefo5-bus: %s:%d: expected MS send TEXT, in time order\n", path, number);
        lines.push_back(line);
    }
    fclose(f);
    return ok;
}

// The bit of a frame (start bit, eight data bits from the lowest, stop bit) on the line at time t.
int bitAt(const WireByte &w, uint64_t t) {
    uint64_t index = (t - w.start) * 10 / (w.end - w.start);
    if (index == 0) return 0;
    if (index >= 9) return 1;
    return (w.byte >> (index - 1)) & 1;
}

// The line as a listener sees it at time t: low while any sender but itself drives a 0 (a station
// does not hear its own bytes: its receiver is off while it drives the line).
int levelAt(const std::vector<WireByte> &wire, uint64_t t, int listener) {
    int level = 1;
    for (const WireByte &o : wire)
        if (o.sender != listener && o.start <= t && t < o.end) level &= bitAt(o, t);
    return level;
}

// One listener's UART: it locks on to the first start bit after it is free, samples the data bits
// in their middles at the line's rate and is free again in the middle of the stop bit. Frames that
// began while it was reading one are lost in it, as on a real line.
struct Receiver {
    uint64_t freeAt = 0;
};

// Hands the listener every frame it can read completely by time S: (time heard, byte).
void hear(Receiver &r, int listener, const std::vector<WireByte> &wire, uint64_t S, uint64_t frame,
          std::vector<Delivery> &heard) {
    for (;;) {
        const WireByte *first = nullptr;
        for (const WireByte &w : wire)
            if (w.sender != listener && w.start >= r.freeAt && (!first || w.start < first->start)) first = &w;
        if (!first || first->start + frame > S) return;
        uint64_t s = first->start;
        uint8_t value = 0;
        for (int bit = 1; bit <= 8; bit++)
            value |=
                (uint8_t)(levelAt(wire, s + frame * (uint64_t)(2 * bit + 1) / 20, listener) << (bit - 1));
        heard.push_back(Delivery{s + frame, value});
        r.freeAt = s + frame * 19 / 20;
    }
}

struct Station {
    int fd = -1;
    std::string name;
    uint32_t rate = 0;
    bool idle = false;
    bool everIdle = false;
    std::vector<Delivery> next; // arriving in the coming round
    Receiver receiver;
};

int run(int argc, char **argv) {
    std::string path;
    uint64_t stations = 0, rate = 115200, lingerMs = 200, maxMs = 0;
    bool trace = false;
    std::vector<ScriptLine> script;
    bool scripted = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](uint64_t max, uint64_t &v) {
            return i + 1 < argc && parseNumber(argv[++i], max, v);
        };
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--stations") {
            if (!value(32, stations) || !stations)
                return fprintf(stderr, "zefo5-bus: --stations needs 1..32\n"), 2;
        } else if (a == "--rate") {
            if (!value(460800, rate) || rate < 1200)
                return fprintf(stderr, "zefo5-bus: --rate needs bit/s\n"), 2;
        } else if (a == "--linger") {
            if (!value(100000000, lingerMs)) return fprintf(stderr, "zefo5-bus: --linger needs ms\n"), 2;
        } else if (a == "--max-ms") {
            if (!value(UINT64_MAX / SIM_COUNTS_PER_MS, maxMs))
                return fprintf(stderr, "zefo5-bus: --max-ms needs ms\n"), 2;
        } else if (a == "--script") {
            if (i + 1 >= argc || !readScript(argv[++i], script)) return 2;
            scripted = true;
        } else if (a == "--trace") {
            trace = true;
        } else if (a[0] != '-' && path.empty()) {
            path = a;
        } else {
            fprintf(stderr, "zefo5-bus: unknown option %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (path.empty() || !stations) {
        usage(stderr);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);

    int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (listener < 0 || path.size() >= sizeof addr.sun_path) {
        fprintf(stderr, "zefo5-bus: cannot make the socket %s\n", path.c_str());
        return 2;
    }
    memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    unlink(path.c_str());
    if (bind(listener, (struct sockaddr *)&addr, sizeof addr) != 0 || listen(listener, 32) != 0) {
        fprintf(stderr, "zefo5-bus: cannot listen at %s: %s\n", path.c_str(), strerror(errno));
        return 2;
    }
    std::vector<Station> all(stations);
    for (Station &s : all) {
        s.fd = accept(listener, nullptr, nullptr);
        char magic[4];
        uint8_t len;
        char name[256];
        if (s.fd < 0 || !readAll(s.fd, magic, 4) || memcmp(magic, MAGIC, 4) != 0 || !readAll(s.fd, &len, 1) ||
            !readAll(s.fd, name, len)) {
            fprintf(stderr, "zefo5-bus: a station failed to join\n");
            return 1;
        }
        s.name.assign(name, len);
    }
    close(listener);
    unlink(path.c_str());
    // Names order the stations, so that the order in which they happened to connect never matters.
    std::stable_sort(all.begin(), all.end(),
                     [](const Station &a, const Station &b) { return a.name < b.name; });

    const uint64_t round = (10ull * SIM_COUNTS_PER_MS * 1000 + rate - 1) / rate; // one byte time
    auto ms = [](uint64_t t) { return (double)t / (double)SIM_COUNTS_PER_MS; };
    std::vector<WireByte> wire;
    Receiver hostReceiver;
    std::string hostQueue, hostOut;
    size_t scriptNext = 0;
    bool stdinEnded = scripted;
    bool allUp = false;
    uint64_t upAt = 0, hostFreeAt = 0, lingerStart = UINT64_MAX;
    bool rateWarned = false;
    uint64_t S = 0;
    int status = 0;

    auto flushHost = [&]() {
        if (!hostOut.empty()) writeAll(1, hostOut.data(), hostOut.size());
        hostOut.clear();
    };
    auto readStdin = [&](bool wait) {
        if (stdinEnded) return;
        struct pollfd p = {0, POLLIN, 0};
        if (poll(&p, 1, wait ? -1 : 0) <= 0) return;
        char buf[4096];
        ssize_t n = read(0, buf, sizeof buf);
        if (n > 0)
            hostQueue.append(buf, (size_t)n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            stdinEnded = true;
    };

    for (;;) {
        // Every station has reached S: its report.
        for (size_t i = 0; i < all.size(); i++) {
            Station &s = all[i];
            ReportHead head;
            if (!readAll(s.fd, &head, sizeof head)) {
                fprintf(stderr, "zefo5-bus: %s left the bus\n", s.name.c_str());
                status = 1;
                goto end;
            }
            s.idle = head.flags & IDLE;
            s.everIdle = s.everIdle || s.idle;
            s.rate = head.rate;
            for (uint32_t k = 0; k < head.count; k++) {
                Sent b;
                if (!readAll(s.fd, &b, sizeof b)) {
                    status = 1;
                    goto end;
                }
                wire.push_back(WireByte{b.start, b.end, b.byte, (int)i, false});
                if (s.rate != rate && !rateWarned) {
                    fprintf(stderr, "zefo5-bus: %s sends at %u bit/s on a %llu bit/s line\n", s.name.c_str(),
                            s.rate, (unsigned long long)rate);
                    rateWarned = true;
                }
            }
        }
        if (!allUp && std::all_of(all.begin(), all.end(), [](const Station &s) { return s.everIdle; })) {
            allUp = true;
            upAt = S;
        }
        if (allUp) {
            while (scriptNext < script.size() && upAt + script[scriptNext].ms * SIM_COUNTS_PER_MS <= S)
                hostQueue += script[scriptNext++].bytes;
            readStdin(false);
            if (!hostQueue.empty() && hostFreeAt <= S) {
                wire.push_back(WireByte{S, S + round, (uint8_t)hostQueue[0], -1, false});
                hostQueue.erase(0, 1);
                hostFreeAt = S + round;
            }
        }

        // Frames that have ended: every byte that could overlap them is known now. Each is heard
        // one round later, so that it is never in a listener's past.
        std::sort(wire.begin(), wire.end(), [](const WireByte &a, const WireByte &b) {
            return a.start < b.start || (a.start == b.start && a.sender < b.sender);
        });
        for (size_t j = 0; j <= all.size(); j++) {
            std::vector<Delivery> heard;
            bool host = j == all.size();
            hear(host ? hostReceiver : all[j].receiver, host ? -1 : (int)j, wire, S, round, heard);
            for (Delivery d : heard) {
                if (host)
                    hostOut.push_back((char)d.byte);
                else
                    all[j].next.push_back(Delivery{d.time + round, d.byte});
            }
        }
        bool lineBusy = false;
        for (WireByte &w : wire) {
            if (w.decided) continue;
            if (w.end > S) {
                lineBusy = true;
                continue;
            }
            w.decided = true;
            if (!trace) continue;
            bool collided = false;
            for (const WireByte &o : wire)
                if (&o != &w && o.start < w.end && w.start < o.end) collided = true;
            const char *who = w.sender < 0 ? "host" : all[(size_t)w.sender].name.c_str();
            fprintf(stderr, "zefo5-bus: %10.3f - %10.3f ms: %s 0x%02X%s\n", ms(w.start), ms(w.end), who,
                    w.byte, collided ? " collision" : "");
        }
        // A frame is kept while a listener may still read it or one overlapping it.
        wire.erase(std::remove_if(wire.begin(), wire.end(),
                                  [&](const WireByte &w) { return w.decided && w.end + 64 * round < S; }),
                   wire.end());

        bool quiet =
            !lineBusy && hostQueue.empty() &&
            std::all_of(all.begin(), all.end(), [](const Station &s) { return s.idle && s.next.empty(); });
        bool hostDone = stdinEnded && scriptNext == script.size();
        if (allUp && quiet && !hostDone && !scripted) {
            // The host is thinking: time stands still until it sends or ends.
            flushHost();
            readStdin(true);
        }
        if (allUp && hostDone && hostQueue.empty() && hostFreeAt <= S) {
            if (lingerStart == UINT64_MAX && quiet) lingerStart = S;
            if (lingerStart != UINT64_MAX && S >= lingerStart + lingerMs * SIM_COUNTS_PER_MS &&
                (quiet || S >= lingerStart + (lingerMs + 5000) * SIM_COUNTS_PER_MS))
                break;
        }
        if (maxMs && S >= maxMs * SIM_COUNTS_PER_MS) break;

        S += round;
        for (Station &s : all) {
            GrantHead grant = {S, (uint32_t)s.next.size()};
            if (!writeAll(s.fd, &grant, sizeof grant) ||
                (!s.next.empty() && !writeAll(s.fd, s.next.data(), s.next.size() * sizeof s.next[0]))) {
                fprintf(stderr, "zefo5-bus: %s left the bus\n", s.name.c_str());
                status = 1;
                goto end;
            }
            s.next.clear();
        }
        if (hostOut.size() >= 4096) flushHost();
    }
end:
    flushHost();
    for (Station &s : all) {
        if (s.fd < 0) continue;
        GrantHead last = {END_OF_RUN, 0};
        writeAll(s.fd, &last, sizeof last);
        close(s.fd);
    }
    return status;
}

} // namespace

int main(int argc, char **argv) {
    return run(argc, argv);
}
