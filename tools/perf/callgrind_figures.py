#!/usr/bin/env python3
"""Instruction counts of the simulator's hot paths, measured with callgrind.

Instruction counts are exact and repeat from run to run, so they can be compared across machines
and commits where wall time cannot. Each per-item figure is the difference between two runs that
differ only in the number of items (lines, bytes), divided by that difference.

usage: tools/perf/callgrind_figures.py [BUILD_DIR]      (default: build)
"""
import os
import re
import subprocess
import sys
import tempfile

GOALS = {
    "first prompt": 10_000_000,
    "received byte (board)": 300,
    "polled byte (board)": 2_000,
    "parse_command": 1_500,
    "cv line": 50_000,
    "cv line, full-screen scroll": 120_000,
}


def parse_callgrind(path):
    """Self cost per function, the file each function is defined in, inclusive cost per function
    (calls made from it, plus its self cost) and the program total."""
    names, files = {}, {}
    self_cost, incl_calls, fn_file = {}, {}, {}
    fl = fn = None
    after_calls = False
    pending_cfn = None
    total = 0

    def name(table, ref):
        m = re.match(r"\((\d+)\)(?: (.*))?", ref)
        if not m:
            return ref
        if m.group(2) is not None:
            table[m.group(1)] = m.group(2)
        return table.get(m.group(1), ref)

    with open(path, errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            c = line[0]
            if c.isdigit() or c in "+-*":
                parts = line.split()
                cost = int(parts[1]) if len(parts) > 1 else 0
                if after_calls:
                    if pending_cfn != fn:  # recursion is already inside the self cost
                        incl_calls[fn] = incl_calls.get(fn, 0) + cost
                    after_calls = False
                else:
                    self_cost[fn] = self_cost.get(fn, 0) + cost
                continue
            if line.startswith("fl="):
                fl = name(files, line[3:])
            elif line.startswith(("fi=", "fe=")):
                name(files, line[3:])
            elif line.startswith("fn="):
                fn = name(names, line[3:])
                fn_file.setdefault(fn, fl)
            elif line.startswith("cfn="):
                pending_cfn = name(names, line[4:])
            elif line.startswith(("cfl=", "cfi=")):
                name(files, line[4:])
            elif line.startswith("calls="):
                after_calls = True
            elif line.startswith(("summary:", "totals:")):
                total = int(line.split()[1])
    incl = {k: self_cost.get(k, 0) + incl_calls.get(k, 0) for k in set(self_cost) | set(incl_calls)}
    return self_cost, incl, fn_file, total


BOARD_ALLOC = re.compile(r"^(malloc|free|cfree|_int_malloc|_int_free|operator new|operator delete|"
                         r"tcache_|_int_free_merge|unlink_chunk|malloc_consolidate)")


def board_self(self_cost, fn_file):
    """Instructions spent in the simulated board itself: its functions, the standard C++ library
    it uses (the firmware uses none) and the allocator (the firmware has no heap)."""
    n = 0
    for fn, cost in self_cost.items():
        f = fn_file.get(fn) or ""
        if "/board/host/" in f or "/include/c++/" in f or BOARD_ALLOC.match(fn):
            n += cost
    return n


def run(build, args, stdin_bytes, tmp, tag):
    out = os.path.join(tmp, tag + ".cg")
    inp = os.path.join(tmp, tag + ".in")
    with open(inp, "wb") as f:
        f.write(stdin_bytes)
    with open(inp, "rb") as f:
        subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out,
                        os.path.join(build, "zefo5"), "--linger", "0", "--display", "none"] + args,
                       stdin=f, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, timeout=600)
    return parse_callgrind(out)


def find(incl, pattern):
    return sum(v for k, v in incl.items() if re.match(pattern, k))


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        _, _, _, total = run(build, [], b"", tmp, "empty")
        rows.append(("first prompt", "whole run, start-up to the first prompt", total, "first prompt"))

        few, many = 5, 25
        # The walk: parse_command without the handler that finally runs (its reply included).
        # Lines that match no row (some pass pattern rows whose literal part agrees), the last rows
        # of the table, a pattern row behind another whose literal part agrees, and a common command.
        for line, handler in [("xyzzy", None), ("*nosuch", None), ("x 1 2 3 4", None), ("i2c write 1", None),
                              ("*W 1", None), ("mzzz", None), ("*ctype", "cmd_sys_ctype"),
                              ("*dumpml", "cmd_sys_dumpml"), ("i2c write 1 2", "cmd_i2c_write"),
                              ("i2c read 5", "cmd_i2c_read"), ("*sdled 1", "cmd_sys_sdled"), ("vers", "cmd_vers"),
                              ("xxynb" + " " * 120, None)]:
            lo = run(build, [], (line + "\r").encode() * few, tmp, "lo")
            hi = run(build, [], (line + "\r").encode() * many, tmp, "hi")

            def walk(r):
                cost = find(r[1], r"parse_command")
                return cost - (find(r[1], handler + r"\(") if handler else 0)

            per = (walk(hi) - walk(lo)) / (many - few)
            shown = '"%s"' % line if len(line) < 30 else '"%s" and %d blanks' % (line.strip(), len(line) - len(line.strip()))
            rows.append(("parse_command walk", shown, per, "parse_command"))
            if line == "xyzzy":  # short lines: the replies "!" and the prompt count as well
                per_byte = (board_self(hi[0], hi[2]) - board_self(lo[0], lo[2])) / ((len(line) + 1) * (many - few))
                rows.append(("received byte (board)", "lines of %d bytes, %d more" % (len(line) + 1, many - few),
                             per_byte, "received byte (board)"))

        # The same lines in one burst to a display that has long been idle (3 s after power-on,
        # taken from an events file): each byte wakes the idle firmware, whose main-loop pass and
        # return to sleep the board serves, and reading the events file counts as well. No goal:
        # shown beside the figure above, which takes the lines as they wait at power-on.
        idle = []
        for n in (few, many):
            ev = os.path.join(tmp, "idle.events")
            with open(ev, "w") as f:
                f.write("3000 send " + "xyzzy\\r" * n + "\n")
            idle.append(run(build, ["--events", ev, "--max-ms", "4000"], b"", tmp, "idle"))
        per_byte = (board_self(idle[1][0], idle[1][2]) - board_self(idle[0][0], idle[0][2])) / (6 * (many - few))
        rows.append(("received byte, idle (board)", "a burst 3 s after power-on", per_byte, None))

        # Long lines that match nothing: the reply "!" and its prompt are a small share.
        text = b"x" * 99 + b"\r"
        lo = run(build, [], text, tmp, "lo")
        hi = run(build, [], text * 3, tmp, "hi")
        per_byte = (board_self(hi[0], hi[2]) - board_self(lo[0], lo[2])) / (2 * len(text))
        rows.append(("received byte (board)", "lines of 100 bytes, 2 more", per_byte, "received byte (board)"))

        # Three lines: more than about 400 bytes waiting at power-on is more than the receive ring
        # takes before the first prompt.
        short, long_, lines = 10, 100, 3
        lo = run(build, [], ('out "%s"\r' % ("x" * short)).encode() * lines, tmp, "lo")
        hi = run(build, [], ('out "%s"\r' % ("x" * long_)).encode() * lines, tmp, "hi")
        nbytes = (long_ - short) * lines
        per_byte = (board_self(hi[0], hi[2]) - board_self(lo[0], lo[2])) / nbytes
        rows.append(("polled byte (board)", 'out "..." sends its text polled', per_byte, "polled byte (board)"))

        # One "cv" line of eight values: the interpreter and the chart's column, on charts of eight
        # pens that are already full. A full-screen scrolling chart moves its whole picture left with
        # each column, 480 rows of 799 pixels (767,040 bytes): the C library's copy spends about
        # 88,000 instructions on them with 32-byte AVX2 vectors, and no copy can spend fewer than a
        # load and a store per vector, 47,940 with AVX2 and 95,880 with the 16-byte SSE2 vectors of
        # the PC's baseline instruction set. That row has a goal of its own.
        pens = " 1 F00 1 0F0 1 00F 1 FF0 1 0FF 1 F0F 1 000 1 888"
        for kind, w, h, label, goal in [(1, 800, 480, "sweep chart 800 x 480", "cv line"),
                                       (0, 400, 240, "scrolling chart 400 x 240", "cv line"),
                                       (0, 800, 480, "scrolling chart 800 x 480", "cv line, full-screen scroll")]:
            head = ("cd 0 0 0 %d %d %d 1 0 1000 FFF%s\r" % (w - 1, h - 1, kind, pens)).encode()
            fill = b"".join(("cv 0 %d 1 2 3 4 5 6 7\r" % (k % 1000)).encode() for k in range(w))
            cv = lambda k: ("cv 0 %d %d %d %d %d %d %d %d\r" % tuple((k * 37 + p * 101) % 1000 for p in range(8))).encode()
            lo = run(build, [], head + fill + b"".join(cv(k) for k in range(few)), tmp, "lo")
            hi = run(build, [], head + fill + b"".join(cv(k) for k in range(many)), tmp, "hi")
            per = (find(hi[1], r"parse_command") - find(lo[1], r"parse_command")) / (many - few)
            rows.append((goal, label, per, goal))

    print("%-27s %-34s %14s %12s" % ("figure", "measured on", "instructions", "goal"))
    over = 0
    for figure, what, value, goal in rows:
        if goal is None:
            print("%-27s %-34s %14s %12s" % (figure, what, "{:,.0f}".format(value), "none"))
            continue
        g = GOALS[goal]
        mark = "" if value <= g else "  over the goal"
        over += value > g
        print("%-27s %-34s %14s %12s%s" % (figure, what, "{:,.0f}".format(value), "<= {:,}".format(g), mark))
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main())
