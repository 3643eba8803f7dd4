"""A ZEFO5 display on a serial port, a pseudo-terminal, or a simulator started for the purpose."""
import os
import subprocess
import sys
import time
import zlib
import struct
from dataclasses import dataclass, field

from . import protocol


class Zefo5Error(Exception):
    """A command the display did not carry out. `command` is the line, `reply` what came back."""

    def __init__(self, command, reply, text=None):
        self.command, self.reply = command, reply
        detail = f": {' / '.join(reply.lines)}" if reply is not None and reply.lines else ""
        super().__init__(text or f"{command!r} {protocol.STATUS.get(reply.status, reply.status)}{detail}")


class CommandFailed(Zefo5Error):
    """"!": unknown command, wrong arguments, or the command failed."""


class CrcMismatch(Zefo5Error):
    """"#": the CRC frame did not match; nothing ran."""


class ReceiveOverflow(Zefo5Error):
    """"^": the display's receive ring overflowed and dropped what it held."""


class ReceiveError(Zefo5Error):
    """"?": a framing or parity error on the line."""


class NoReply(Zefo5Error, TimeoutError):
    """Nothing ended the reply within the time-out."""


_ERRORS = {"!": CommandFailed, "#": CrcMismatch, "^": ReceiveOverflow, "?": ReceiveError}


@dataclass
class Reply:
    """What the display answered: its lines (without CR) and the status (">", or "" in RS485 mode
    when a reply stood for the prompt)."""
    lines: list = field(default_factory=list)
    status: str = ">"

    @property
    def messages(self):
        return [l for l in self.lines if l.startswith(":")]

    @property
    def text(self):
        """The value lines, joined by newlines: what a query answered."""
        return "\n".join(l for l in self.lines if not l.startswith(":"))

    def __str__(self):
        return self.text


class Display:
    """One display. `link` is any object with pyserial's read(n)/write(b)/timeout/close.

    crc: every line goes out in a CRC frame. rs485: (start-of-frame character, address).
    """

    def __init__(self, link, crc=False, rs485=None, process=None):
        self.link = link
        self.crc = crc
        self.rx = protocol.Receiver()
        self.rx.rs485 = rs485
        self.events_held = []
        self._items = []
        self._process = process
        self.rs485_quiet = 0.03

    # ---- opening ----------------------------------------------------------------------------
    @classmethod
    def open(cls, device, baud=115200, wait=True, **kw):
        """A real serial port or a pseudo-terminal. wait: read up to the first prompt if one comes."""
        import serial  # pyserial
        link = serial.Serial(device, baud, timeout=0.1, xonxoff=False, rtscts=False)
        d = cls(link, **kw)
        if wait:
            d.wait_ready(timeout=2)
        return d

    @classmethod
    def simulator(cls, program=None, sd=None, args=(), build="build", **kw):
        """Starts the simulator (build/zefo5 unless program is given) with UART0 on a new
        pseudo-terminal, on the virtual clock and without a window, and connects to it."""
        program = program or os.path.join(build, "zefo5")
        cmd = [program, "--uart0", "pty", "--clock", "virtual", "--display", "none"]
        if sd:
            cmd += ["--sd", sd]
        cmd += list(args)
        p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        line = p.stderr.readline().decode(errors="replace")  # "zefo5: UART0 on /dev/pts/N"
        if " on " not in line:
            p.kill()
            raise OSError(f"the simulator did not start: {line.strip()}")
        import serial
        link = serial.Serial(line.split(" on ", 1)[1].strip(), 115200, timeout=0.1, xonxoff=False)
        d = cls(link, process=p, **kw)
        d.wait_ready(timeout=30)
        return d

    def close(self):
        self.link.close()
        if self._process:
            self._process.terminate()
            self._process.wait()
            self._process.stderr.close()
            self._process = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # ---- bytes ------------------------------------------------------------------------------
    def _pump(self, timeout):
        """Reads what arrives within timeout seconds (at least one read); returns True if anything came."""
        self.link.timeout = timeout
        data = self.link.read(1)
        if not data:
            return False
        self.link.timeout = 0
        data += self.link.read(4096)
        for kind, value in self.rx.feed(data):
            if kind == "event":
                self.events_held.append(value)
            else:
                self._items.append((kind, value))
        return True

    def write(self, data: bytes, timeout=5.0):
        """Sends raw bytes in small pieces, stopping while the display has sent XOFF."""
        for i in range(0, len(data), 16):
            self._pump(0)
            deadline = time.monotonic() + timeout
            while self.rx.paused:
                if time.monotonic() > deadline:
                    raise NoReply(None, None, "the display sent XOFF and no XON")
                self._pump(0.05)
            self.link.write(data[i:i + 16])
        self.link.flush()

    # ---- commands ---------------------------------------------------------------------------
    def wait_ready(self, timeout=10.0):
        """Reads up to the next status line (the first prompt after start-up); returns its Reply."""
        return self._collect("", timeout, check=False)

    def send(self, line, timeout=5.0, check=True):
        """Sends one command line and returns the display's Reply. With check, a status other than
        ">" raises CommandFailed, CrcMismatch, ReceiveOverflow or ReceiveError."""
        self._items.clear()
        self.write(protocol.frame(line, self.crc, self.rx.rs485))
        return self._collect(line, timeout, check)

    def _collect(self, line, timeout, check):
        reply = Reply()
        deadline = time.monotonic() + timeout
        while True:
            while self._items:
                kind, value = self._items.pop(0)
                if kind == "line":
                    reply.lines.append(value)
                    continue
                reply.status = value
                if check and value in _ERRORS:
                    raise _ERRORS[value](line, reply)
                return reply
            quiet = self.rx.rs485 and reply.lines
            left = deadline - time.monotonic()
            if left <= 0 or not self._pump(min(left, self.rs485_quiet) if quiet else min(left, 0.2)):
                if quiet:  # RS485: a reply stands for the prompt
                    reply.status = ""
                    return reply
                if time.monotonic() >= deadline:
                    raise NoReply(line, reply, f"{line!r}: no reply within {timeout} s")

    def binary_reports(self, on=True):
        """Switches the display's reports to byte form ("*binr 1") or back, and the reading with them."""
        self.send("*binr %d" % (1 if on else 0))
        self.rx.binary_reports = on

    # ---- events -----------------------------------------------------------------------------
    def events(self, timeout=None):
        """Reports as they come (Press, PressAt, Release, Toggle, Slider, MacroStart, MacroEnd).
        Ends after timeout seconds without one (never when timeout is None)."""
        while True:
            if self.events_held:
                yield self.events_held.pop(0)
                continue
            if not self._pump(0.2 if timeout is None else timeout) and timeout is not None:
                return
            self._items.clear()  # lines that are not reports have no command to belong to

    # ---- uploads ----------------------------------------------------------------------------
    def upload(self, data: bytes, address=0, progress=True, timeout=10.0):
        """Uploads bytes with "xmp" from address (the resource image: address 0 into an erased data
        flash of a display without a card, or address 2 and the image without its first two bytes
        into the card's image file; with a card, address 0 stores nothing).
        progress: True for a bar on standard error, or a function(done, total).
        Returns the Reply that ended the upload; a refusal raises CommandFailed (or the error of
        its status) whose reply holds what the display said."""
        show = _bar("upload", len(data)) if progress is True else progress
        self._items.clear()
        self.write(protocol.frame("xmp %x %x 0" % (address >> 16, address & 0xFFFF), self.crc, self.rx.rs485))
        done = 0
        said = []
        while True:
            kind, value = self._next_item(timeout)
            if (kind, value) == ("line", "p"):  # "p>" CR reads as a line and its status: one block prompt
                item = self._next_item(timeout)
                if item != ("status", ">"):  # a line "p" of its own: what follows is read as usual
                    said.append("p")
                    self._items.insert(0, item)
                    continue
                if done >= len(data):
                    self.write(protocol.XMP_END)
                    continue
                chunk = data[done:done + 128]
                self.write(protocol.xmp_line(chunk))
                done += len(chunk)
                if show:
                    show(done, len(data))
            elif kind == "line":
                if value:
                    said.append(value)
            elif value == ">":
                return Reply(said, ">")
            else:
                # Whatever else the display says about the refusal is read here, so that the next
                # command does not take it for its own reply.
                self._drain(said)
                raise _ERRORS.get(value, CommandFailed)("xmp", Reply(said, value))

    def _drain(self, lines, quiet=0.3):
        """Reads until the display has been quiet for `quiet` seconds; the lines go to `lines`."""
        while self._pump(quiet):
            pass
        lines.extend(value for kind, value in self._items if kind == "line" and value)
        self._items.clear()

    def _next_item(self, timeout):
        deadline = time.monotonic() + timeout
        while not self._items:
            if not self._pump(0.2) and time.monotonic() > deadline:
                raise NoReply("xmp", None, "the upload stalled")
        return self._items.pop(0)

    # ---- screenshots ------------------------------------------------------------------------
    def screenshot(self, path=None, height=480, progress=False):
        """The screen read row by row with "*FB", as rows of (r, g, b); written as PNG to path if given."""
        show = _bar("screen", height) if progress is True else progress
        rows = []
        for y in range(height):
            text = self.send("*FB %d" % y, timeout=20).text
            rows.append([_rgb(int(v, 16)) for v in text.split(",") if v])
            if show:
                show(y + 1, height)
        if path:
            write_png(path, rows)
        return rows


def _rgb(v):
    r, g, b = v >> 11, (v >> 5) & 0x3F, v & 0x1F
    return (r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2)


def write_png(path, rows):
    """An 8-bit RGB PNG of rows of (r, g, b), with the standard library only."""
    width, height = len(rows[0]), len(rows)
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def _bar(label, total):
    def show(done, total_=total):
        width = 30
        filled = width * done // max(total_, 1)
        sys.stderr.write(f"\r{label} [{'#' * filled}{' ' * (width - filled)}] {done}/{total_}")
        if done >= total_:
            sys.stderr.write("\n")
        sys.stderr.flush()
    return show
