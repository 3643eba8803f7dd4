"""The Versatile/PB port under qemu-system-arm, through the board test image (boardtest.cpp)."""
import glob
import os
import random
import re
import subprocess
import sys

from qemu_board import Board, BoardError, pixel, rgb565

IMAGE = "zefo5-boardtest.elf"
BANNER = b"boardtest data 12345678 bss 00000000\r"


def booted(build, **kw):
    board = Board(build.image(IMAGE), **kw)
    board.expect(BANNER)
    return board


def test_start_up_and_formatted_io(build):
    """Data copied and zeroed by the reset handler; newlib-nano's scanf and printf conversions."""
    with booted(build) as b:
        b.exchange("echo hello\r", "hello\r")
        b.exchange("fmt -12 1aF 89abcdef word X\r",
                   "fmt 5: -12 01AF 89abcdef 89ABCDEF [word] X -0012 -12 | word|\r")
        b.exchange("fmt -2147483648 ffffffff ffffffff abc d\r",
                   "fmt 5: -2147483648 FFFFFFFF ffffffff FFFFFFFF [abc] d -2147483648 -2147483648| abc|\r")


def test_port_self_checks(build):
    """Memory map, EEPROM, data flash and the tick, each checked from inside."""
    with booted(build) as b:
        b.exchange("mem\r", "mem ok\r")
        b.exchange("ee\r", "ee ok\r")
        b.exchange("sf\r", "sf ok\r")
        b.exchange("tick\r", "tick ok\r")
        # The firmware's busy wait on the count never ends early (under QEMU it may end late).
        for ms in (1, 50, 300):
            b.send("delay %d\r" % ms)
            got = b.read_until(b"\r")
            if not got.startswith(b"delay ok: "):
                raise BoardError("busy wait of %d ms: %r" % (ms, got))


def test_uart0_bulk_both_ways(build):
    """Receive interrupts keep up with a burst far larger than the FIFO; transmit interrupts
    deliver every byte of a long reply in order."""
    rnd = random.Random(5)
    data = bytes(rnd.randrange(256) for _ in range(6000))
    h = 0
    for c in data:
        h = (h * 31 + c) & 0xFFFFFFFF
    with booted(build) as b:
        b.send(b"burst 6000\r" + data)
        b.expect("burst 6000 %08X\r" % h)
        b.exchange("flood 5000\r", bytes(ord("a") + i % 26 for i in range(5000)) + b"\r")
        b.exchange("echo still in step\r", "still in step\r")
        return b.stack_report(build.image(IMAGE))


def test_uart1_both_ways(build):
    with booted(build, uart1=True) as b:
        b.aux_connect()
        b.exchange("u1 to the aux port\r", "u1 ok\r")
        b.aux_expect(b"to the aux port\r")
        b.aux_send(b"from the aux port\r")
        b.expect("u1< from the aux port\r")


def test_lcd_picture(build):
    """16 bits per pixel, red in bits 15-11, at both panel sizes."""
    with booted(build) as b:
        for w, h in ((800, 480), (640, 480)):
            b.exchange("lcd %d %d\r" % (w, h), "lcd ok\r")
            screen = b.screendump()
            if screen[:2] != (w, h):
                raise BoardError("screen is %dx%d, not %dx%d" % (screen[0], screen[1], w, h))
            for i, colour in enumerate((0xF800, 0x07E0, 0x001F, 0xFFFF)):
                x = w * i // 4 + w // 8
                if pixel(screen, x, 10) != rgb565(colour):
                    raise BoardError("bar %d at %d: %r, not %r" % (i, x, pixel(screen, x, 10), rgb565(colour)))
            x = w - 1
            grey = x * 0x0841 // w
            if pixel(screen, x, h - 1) != rgb565(grey):
                raise BoardError("corner %r, not %r" % (pixel(screen, x, h - 1), rgb565(grey)))


def test_watchdog_restart_keeps_eeprom_and_flash(build):
    """The restart copies the data again and zeroes the rest; the EEPROM and the data flash
    kept in RAM survive it."""
    with booted(build) as b:
        b.exchange("eeset 123 5A\r", "eeset ok\r")
        b.exchange("sf\r", "sf ok\r")
        b.send("reset\r")
        b.expect(BANNER)
        b.exchange("eeget 123\r", "eeget 5A\r")
        # Fresh RAM is a blank chip.
        b.exchange("eeget 124\r", "eeget FF\r")


def fatal_line(build, command):
    with booted(build) as b:
        b.send(command + "\r")
        return b.read_until(b"\r", 20) + b.read_until(b"\r", 20)


def test_fatal_errors_report_and_halt(build):
    got = fatal_line(build, "fatal")
    if got != b"\r:FATAL: requested\r":
        raise BoardError("fatal: %r" % got)
    got = fatal_line(build, "unclaimed")
    if got != b"\r:FATAL: unclaimed interrupt 0\r":
        raise BoardError("unclaimed: %r" % got)
    # The ARM926 would rotate an unaligned word; here it is a fault with its address.
    got = fatal_line(build, "unaligned")
    if not re.match(rb"^\r:FATAL: data abort at 0x010[0-9A-F]{5}, unaligned access to 0x080[0-9A-F]{5}\r$", got):
        raise BoardError("unaligned: %r" % got)


def test_image_check_refuses_an_allocating_link(build):
    """The same link as the firmware's, of a program that allocates: the check names the
    allocators and the float format, fails, and removes the image."""
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    objects = sorted(glob.glob(os.path.join(build.path, "board", "versatilepb", "CMakeFiles", "zefo_versatilepb.dir",
                                            "*.obj")))
    if not objects:
        raise BoardError("board objects not found in %s" % build.path)
    out = os.path.join(build.path, "heap_probe")
    subprocess.run(["arm-none-eabi-g++", "-mcpu=arm926ej-s", "-marm", "-O2", "-ffunction-sections", "-fdata-sections",
                    "-fno-exceptions", "-fno-rtti", "--specs=nano.specs", "-nostartfiles", "-Wl,--gc-sections",
                    "-T", os.path.join(root, "board", "versatilepb", "versatilepb.ld"), "-Wl,-Map=" + out + ".map",
                    "-Wl,--cref", "-Wl,--no-demangle", os.path.join(here, "heap_probe.cpp")] + objects +
                   ["-o", out + ".elf"], check=True, capture_output=True)
    checked = subprocess.run([sys.executable, os.path.join(root, "tools", "target", "image_check.py"), "check",
                              out + ".elf"], capture_output=True, text=True)
    os.remove(out + ".map")
    if checked.returncode == 0 or os.path.exists(out + ".elf"):
        raise BoardError("the allocating image passed the check")
    for what in ("allocator malloc", "allocator _Znaj", "floating-point conversion"):
        if what not in checked.stderr:
            raise BoardError("%r not reported:\n%s" % (what, checked.stderr))


def test_row_copies_take_words_when_misaligned(build):
    """The frame-buffer row copies of the ARM build: a chart scrolled by one pixel and a bitmap at
    an odd x run word-at-a-time (at least twice as few instructions as newlib-nano's byte loop), the
    aligned case no slower than memcpy, and every result equal to the library's."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "perf",
                          "target_copy_figures.py")
    run = subprocess.run([sys.executable, script], capture_output=True, text=True, timeout=600)
    assert run.returncode == 0, run.stdout + run.stderr
    counts = [int(m) for m in re.findall(r"^  .*?\s(\d+)(?:  \(|$)", run.stdout, re.M)]
    assert len(counts) == 8, run.stdout
    for i in (0, 2, 4):
        assert counts[i] >= 2 * counts[i + 1], run.stdout
    assert counts[7] <= counts[6] * 1.05, run.stdout
    # The firmware links the helpers (unused functions are dropped at link time).
    symbols = subprocess.run(["arm-none-eabi-nm", build.image("zefo5.elf")], capture_output=True,
                             text=True, check=True).stdout
    for name in ("GUI__CopyPixels16Words", "GUI__MovePixels16Words"):
        assert name in symbols, name
