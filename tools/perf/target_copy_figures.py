#!/usr/bin/env python3
"""Counts the ARM instructions the frame-buffer row copies take on the target processor: newlib-nano's
memmove/memcpy against the graphics library's word helpers, for an 800 x 480 scroll by one pixel each
way and a 64 x 64 bitmap at an odd and an even x. A small bare-metal image (built here with the target's
compiler flags) runs each case between two calls of a marker; QEMU logs every instruction executed
(one instruction per translation block) and the instructions between the markers are counted. The program also checks that both ways leave the
same frame buffer (exit status 1 otherwise).

  target_copy_figures.py [--keep DIR]

Needs arm-none-eabi-g++ and qemu-system-arm (`make target` installs them).
"""
import os
import re
import subprocess
import sys
import tempfile
import threading

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))

CASES = [
    ("scroll 800x480 left by one, memmove", "scroll 800x480 left by one, words"),
    ("scroll 800x480 right by one, memmove", "scroll 800x480 right by one, words"),
    ("64x64 blit at odd x, memcpy", "64x64 blit at odd x, words"),
    ("64x64 blit at even x, memcpy", "64x64 blit at even x, words"),
]

# Each case between two marks; the program ends through a semihosting exit call.
PROGRAM = r"""
#include <stdint.h>
#include <string.h>
#include "gfx/pixel_copy.h"

enum { W = 800, H = 480 };
// The library's copies work on ref, the word helpers on fb: both must end equal.
static uint16_t fb[W * H] __attribute__((aligned(4))), ref[W * H] __attribute__((aligned(4)));
static uint16_t bitmap[64 * 64] __attribute__((aligned(4)));

extern "C" __attribute__((noinline)) void mark(void) { __asm__ volatile("" ::: "memory"); }

// The chart's block move leaves the first (or last) column: 799 pixels per row.
static void scroll(bool left, bool words) {
    for (int y = 0; y < H; y++) {
        uint16_t *row = (words ? fb : ref) + y * W;
        uint16_t *d = left ? row : row + 1, *s = left ? row + 1 : row;
        if (words) GUI__MovePixels16Words(d, s, W - 1);
        else memmove(d, s, (W - 1) * 2);
    }
}

static void blit(int x, bool words) {
    for (int y = 0; y < 64; y++) {
        uint16_t *d = (words ? fb : ref) + (100 + y) * W + x;
        if (words) GUI__CopyPixels16Words(d, bitmap + y * 64, 64);
        else memcpy(d, bitmap + y * 64, 128);
    }
}

extern "C" int main(void) {
    for (int i = 0; i < W * H; i++) fb[i] = ref[i] = (uint16_t)(i * 40503u);
    for (int i = 0; i < 64 * 64; i++) bitmap[i] = (uint16_t)(i * 2654435761u >> 7);
    mark(); scroll(true, false); mark(); scroll(true, true);
    mark(); scroll(false, false); mark(); scroll(false, true);
    mark(); blit(101, false); mark(); blit(101, true);
    mark(); blit(100, false); mark(); blit(100, true);
    mark();
    int same = memcmp(fb, ref, sizeof fb) == 0;
    register int op __asm__("r0") = 0x18;  // SYS_EXIT: application exit, or a run-time error
    register int why __asm__("r1") = same ? 0x20026 : 0x20023;
    __asm__ volatile("svc 0x123456" : : "r"(op), "r"(why) : "memory");
    for (;;) {}
}

extern "C" __attribute__((naked, section(".text.start"))) void _start(void) {
    __asm__ volatile("ldr sp, =0x07f00000\n bl main\n b .");
}
"""

FLAGS = ["-mcpu=arm926ej-s", "-marm", "-mfloat-abi=soft", "-O2", "-std=c++20", "-ffunction-sections",
         "-fdata-sections", "-fno-exceptions", "-fno-rtti", "-fno-threadsafe-statics", "--specs=nano.specs",
         "-nostartfiles", "-Wl,--gc-sections", "-Wl,-Ttext=0x10000", "-Wl,-e,_start"]


def count(elf, log):
    """Instructions executed between consecutive marks, as one list."""
    os.mkfifo(log)
    qemu = subprocess.Popen(["qemu-system-arm", "-M", "versatilepb", "-m", "128M", "-nographic", "-semihosting",
                             "-display", "none", "-audiodev", "none,id=snd0", "-singlestep", "-d", "exec,nochain", "-D", log, "-kernel", elf],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    timer = threading.Timer(600, qemu.kill)
    timer.start()
    spans, n, started = [], 0, False
    trace = re.compile(rb"^Trace \d+: \S+ \[[0-9a-f]+/([0-9a-f]+)/")
    with open(log, "rb") as f:
        for line in f:
            if not trace.match(line):
                continue
            if line.rstrip().endswith(b" mark"):
                if started:
                    spans.append(n)
                started, n = True, 0
                continue
            n += 1
    qemu.wait()
    timer.cancel()
    return spans, qemu.returncode == 0


def main(argv):
    keep = argv[argv.index("--keep") + 1] if "--keep" in argv else None
    with tempfile.TemporaryDirectory() as tmp:
        work = keep or tmp
        os.makedirs(work, exist_ok=True)
        src, elf = os.path.join(work, "copy_bench.cpp"), os.path.join(work, "copy_bench.elf")
        with open(src, "w") as f:
            f.write(PROGRAM)
        subprocess.run(["arm-none-eabi-g++", *FLAGS, "-I", ROOT, src, os.path.join(ROOT, "gfx", "pixel_copy.cpp"),
                        "-o", elf], check=True)
        log = os.path.join(work, "exec.fifo")
        if os.path.exists(log):
            os.unlink(log)
        spans, same = count(elf, log)
    if len(spans) != 2 * len(CASES):
        print("expected %d spans, got %d" % (2 * len(CASES), len(spans)), file=sys.stderr)
        return 1
    if not same:
        print("the word helpers' frame buffer differs from the library's", file=sys.stderr)
        return 1
    print("ARM926EJ-S instructions (newlib-nano, -O2), the marker call included:")
    for i, (before, after) in enumerate(CASES):
        a, b = spans[2 * i], spans[2 * i + 1]
        print("  %-40s %10d" % (before, a))
        print("  %-40s %10d  (library / words: %.2f)" % (after, b, a / b if b else 0))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
