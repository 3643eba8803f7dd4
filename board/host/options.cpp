// The simulator's command line and its --events file.
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "board/host/host.h"

void sim_usage(FILE *out) {
    fputs("usage: zefo5 [options]\n"
          "The display on UART0 talks to standard input and output (raw bytes; a terminal gets raw\n"
          "keys and CR shown as CR LF).\n"
          "\n"
          "  --sd PATH            card image in the slot (a raw image, size a multiple of 512)\n"
          "  --eeprom PATH        EEPROM contents file (created blank when missing)\n"
          "  --flash PATH         data flash contents file (created erased when missing)\n"
          "  --flash-id 0xNN      capacity byte of the data flash: 0x17 8 MiB, 0x18 16 MiB, else 4 MiB\n"
          "                       (default 0x16)\n"
          "  --uart0 pty|PATH     UART0 on a new pseudo-terminal (its path is printed) or on a\n"
          "                       serial device, instead of standard input/output; a FIFO only\n"
          "                       brings bytes in\n"
          "  --uart1 pty|PATH     UART1 the same way (unconnected it only sees aux events)\n"
          "  --events FILE        timed board events, one per line: MS EVENT ARGS, MS = virtual ms\n"
          "                       since power-on; EVENT: touch X Y, release, card-out, card-in,\n"
          "                       send TEXT (port with the main role), aux TEXT (port with the aux\n"
          "                       role); TEXT takes \\r \\n \\t \\0 \\xHH \\\\; # starts a comment line\n"
          "  --clock virtual|real virtual time runs as fast as it can (default unless standard\n"
          "                       input is a terminal) or follows the wall clock\n"
          "  --linger MS          virtual ms to run on once the input has ended and was handled\n"
          "                       (default 200)\n"
          "  --max-ms MS          end the run at this virtual time\n"
          "  --screenshot FILE    write the visible frame buffer as PNG at the end\n"
          "  --display sdl|none   the panel in a window (default: sdl when the desktop has a\n"
          "                       display); with --clock real the left mouse button is the pen;\n"
          "                       closing the window ends the run like the end of input; the\n"
          "                       beeper plays through the desktop's sound device, if any\n"
          "  --touch-noise N      X and Y readings of the touch panel vary by up to N raw counts\n"
          "                       either way (default 0), the same in every run of a seed\n"
          "  --touch-seed S       start of the noise generator (default 1)\n"
          "  --touch-pressure P   pressure value a touch reads as (default 450; the sampler's\n"
          "                       window is 250..700 in pressure mode; smaller is firmer)\n"
          "  --touch-swapped      a panel with its X channel along the screen's x: the default\n"
          "                       calibration reads it transposed until touchSwap is set\n"
          "  --temp TENTHS        board temperature in tenths of a degree (default 255)\n"
          "  --eeprom-power-cut N lose power right after the Nth EEPROM byte write (exit status 4;\n"
          "                       also ZEFO5_EEPROM_POWER_CUT=N)\n"
          "  --flash-power-cut N  lose power during the Nth data-flash page program or erase, which\n"
          "                       is then done by half (exit status 4)\n"
          "  --card-power-cut N   lose power during the Nth block write to the card, which never\n"
          "                       reaches it (exit status 4)\n"
          "  --trace              print board-state changes on standard error (the beeper as\n"
          "                       \"tone on HZ Hz, volume DUTY/102\" and \"tone off\")\n"
          "  --help               this text\n"
          "\n"
          "Exit status: 0 normal end, 2 bad options, 3 firmware fault, 4 power cut.\n",
          out);
}

namespace {

bool parseNumber(const char *text, uint64_t max, uint64_t &value) {
    if (!text || !*text || *text == '-') return false;
    errno = 0;
    char *end;
    unsigned long long v = strtoull(text, &end, 0);
    if (errno || *end || v > max) return false;
    value = v;
    return true;
}

bool parseText(const char *text, std::string &out) {
    out.clear();
    for (const char *p = text; *p; p++) {
        if (*p != '\\') {
            out.push_back(*p);
            continue;
        }
        p++;
        switch (*p) {
        case 'r':
            out.push_back('\r');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 't':
            out.push_back('\t');
            break;
        case '0':
            out.push_back('\0');
            break;
        case '\\':
            out.push_back('\\');
            break;
        case 'x': {
            int v = 0, n = 0;
            while (n < 2 && isxdigit((unsigned char)p[1])) {
                char c = *++p;
                v = v * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
                n++;
            }
            if (!n) return false;
            out.push_back((char)v);
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

// One event line: "MS EVENT ARGS". Returns an error text, or nullptr.
const char *parseEvent(char *line, SimEvent &e) {
    char *p = line;
    while (*p == ' ' || *p == '\t') p++;
    char *msText = p;
    while (*p && *p != ' ' && *p != '\t') p++;
    if (*p) *p++ = 0;
    uint64_t ms;
    if (!parseNumber(msText, UINT64_MAX / SIM_COUNTS_PER_MS, ms)) return "bad time";
    e.ms = ms;
    while (*p == ' ' || *p == '\t') p++;
    char *name = p;
    while (*p && *p != ' ' && *p != '\t') p++;
    if (*p) *p++ = 0; // the one blank after the name; TEXT is everything after it
    if (!strcmp(name, "send") || !strcmp(name, "aux")) {
        e.kind = name[0] == 's' ? SimEvent::Send : SimEvent::Aux;
        if (!parseText(p, e.bytes)) return "bad escape in the text";
        if (e.bytes.empty()) return "no text";
        return nullptr;
    }
    while (*p == ' ' || *p == '\t') p++;
    if (strcmp(name, "touch") && strcmp(name, "release") && strcmp(name, "card-out") &&
        strcmp(name, "card-in"))
        return *name ? "unknown event" : "no event";
    if (!strcmp(name, "touch")) {
        e.kind = SimEvent::Touch;
        char *end;
        long x = strtol(p, &end, 10);
        if (end == p) return "touch needs X Y";
        p = end;
        long y = strtol(p, &end, 10);
        if (end == p) return "touch needs X Y";
        p = end;
        while (*p == ' ' || *p == '\t') p++;
        if (*p) return "extra text after touch X Y";
        if (x < -10000 || x > 10000 || y < -10000 || y > 10000) return "touch point out of range";
        e.x = (int)x;
        e.y = (int)y;
        return nullptr;
    }
    if (*p) return "unexpected arguments";
    if (!strcmp(name, "release")) {
        e.kind = SimEvent::Release;
    } else if (!strcmp(name, "card-out")) {
        e.kind = SimEvent::CardOut;
    } else if (!strcmp(name, "card-in")) {
        e.kind = SimEvent::CardIn;
    } else {
        return *name ? "unknown event" : "no event";
    }
    return nullptr;
}

} // namespace

bool sim_read_events(const char *path, std::vector<SimEvent> &events) {
    FILE *f = fopen(path, "r");
    if (!f) {
        fprintf(stderr, "zefo5: cannot open the events file %s: %s\n", path, strerror(errno));
        return false;
    }
    char *line = nullptr;
    size_t cap = 0;
    ssize_t len;
    int number = 0;
    bool ok = true;
    while ((len = getline(&line, &cap, f)) >= 0) {
        number++;
        while (len && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = 0;
        const char *p = line;
        while (*p == ' ' || *p == '\t') p++;
        if (!*p || *p == '#') continue;
        SimEvent e;
        const char *problem = parseEvent(line, e);
        if (problem) {
            fprintf(stderr, "zefo5: %s:%d: %s\n", path, number, problem);
            ok = false;
            break;
        }
        events.push_back(e);
    }
    free(line);
    fclose(f);
    return ok;
}

int sim_parse_args(int argc, char **argv, SimOptions &o) {
    if (const char *cut = getenv("ZEFO5_EEPROM_POWER_CUT")) {
        uint64_t v;
        if (!parseNumber(cut, 0x7FFFFFFF, v)) {
            fprintf(stderr, "zefo5: bad ZEFO5_EEPROM_POWER_CUT value %s\n", cut);
            return 2;
        }
        o.eepromPowerCut = (long)v;
    }
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto need = [&](std::string &out) {
            if (!hasValue) {
                if (i + 1 >= argc) return false;
                value = argv[++i];
            }
            out = value;
            return true;
        };
        auto bad = [&](const char *why) {
            fprintf(stderr, "zefo5: %s: %s\n", arg.c_str(), why);
            sim_usage(stderr);
            return 2;
        };
        std::string v;
        uint64_t n;
        if (arg == "--help" || arg == "-h") {
            sim_usage(stdout);
            return 1;
        } else if (arg == "--trace") {
            o.trace = true;
        } else if (arg == "--sd" || arg == "--eeprom" || arg == "--flash" || arg == "--screenshot") {
            if (!need(v) || v.empty()) return bad("needs a path");
            (arg == "--sd"       ? o.sd
             : arg == "--eeprom" ? o.eeprom
             : arg == "--flash"  ? o.flash
                                 : o.screenshot) = v;
        } else if (arg == "--flash-id") {
            if (!need(v) || !parseNumber(v.c_str(), 255, n)) return bad("needs a byte, e.g. 0x17");
            o.flashId = (uint8_t)n;
        } else if (arg == "--uart0" || arg == "--uart1") {
            if (!need(v) || v.empty()) return bad("needs pty or a path");
            SimPort mode = v == "pty" ? SimPort::Pty : SimPort::Path;
            if (arg == "--uart0" && v == "stdio") mode = SimPort::Stdio;
            (arg == "--uart0" ? o.uart0 : o.uart1) = mode;
            (arg == "--uart0" ? o.uart0Path : o.uart1Path) = v;
        } else if (arg == "--events") {
            if (!need(v) || v.empty()) return bad("needs a file");
            if (!sim_read_events(v.c_str(), o.events)) return 2;
        } else if (arg == "--clock") {
            if (!need(v) || (v != "virtual" && v != "real")) return bad("needs virtual or real");
            o.clock = v == "real" ? SimClock::Real : SimClock::Virtual;
        } else if (arg == "--display") {
            if (!need(v) || (v != "sdl" && v != "none")) return bad("needs sdl or none");
            o.display = v == "sdl" ? SimDisplay::Sdl : SimDisplay::None;
        } else if (arg == "--linger") {
            if (!need(v) || !parseNumber(v.c_str(), 100000000, n)) return bad("needs milliseconds");
            o.lingerMs = (uint32_t)n;
        } else if (arg == "--max-ms") {
            if (!need(v) || !parseNumber(v.c_str(), UINT64_MAX / SIM_COUNTS_PER_MS, n) || !n)
                return bad("needs milliseconds");
            o.maxMs = n;
        } else if (arg == "--temp") {
            char *end;
            if (!need(v) || v.empty()) return bad("needs tenths of a degree");
            long t = strtol(v.c_str(), &end, 10);
            if (*end || t < -2730 || t > 2000) return bad("needs tenths of a degree");
            o.temperatureTenths = (int16_t)t;
        } else if (arg == "--touch-noise") {
            if (!need(v) || !parseNumber(v.c_str(), 511, n)) return bad("needs raw counts 0..511");
            o.touchNoise = (uint16_t)n;
        } else if (arg == "--touch-seed") {
            if (!need(v) || !parseNumber(v.c_str(), 0xFFFFFFFF, n)) return bad("needs a number");
            o.touchSeed = (uint32_t)n;
        } else if (arg == "--touch-pressure") {
            if (!need(v) || !parseNumber(v.c_str(), 4000, n)) return bad("needs a pressure value 0..4000");
            o.touchPressure = (uint16_t)n;
        } else if (arg == "--touch-swapped") {
            o.touchSwapped = true;
        } else if (arg == "--eeprom-power-cut") {
            if (!need(v) || !parseNumber(v.c_str(), 0x7FFFFFFF, n)) return bad("needs a count");
            o.eepromPowerCut = (long)n;
        } else if (arg == "--flash-power-cut" || arg == "--card-power-cut") {
            if (!need(v) || !parseNumber(v.c_str(), 0x7FFFFFFF, n) || !n) return bad("needs a count from 1");
            (arg == "--flash-power-cut" ? o.flashPowerCut : o.cardPowerCut) = (long)n;
        } else {
            fprintf(stderr, "zefo5: unknown option %s\n", argv[i]);
            sim_usage(stderr);
            return 2;
        }
    }
    return 0;
}
