"""The bytes on the wire: command frames, reply lines and reports. No I/O here."""
from dataclasses import dataclass
import re

XON, XOFF = 0x11, 0x13
COMMAND_MAX = 130  # characters of one command line before its CR


def crc16(data: bytes, seed: int = 0xFFFF) -> int:
    """CRC-16/MODBUS (reflected 0xA001), the CRC of the display's CRC frames and checksums."""
    crc = seed
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def frame(text: str, crc: bool = False, rs485=None) -> bytes:
    """One command line: [SOF + address] [~CRC] text CR. rs485 is (sof, address) or None."""
    data = text.encode("latin-1")
    if b"\r" in data or len(data) > COMMAND_MAX:
        raise ValueError(f"not one command line: {text!r}")
    out = b""
    if rs485:
        sof, address = rs485
        out += sof.encode("latin-1") + b"%02X" % address
    if crc:
        out += b"~%04X" % crc16(data + b"\r")
    return out + data + b"\r"


@dataclass(frozen=True)
class Press:
    spot: int


@dataclass(frozen=True)
class PressAt:
    """A press on an area made with "xxy": x and y from the area's top-left corner."""
    spot: int
    x: int
    y: int


@dataclass(frozen=True)
class Release:
    spot: int


@dataclass(frozen=True)
class Toggle:
    spot: int
    state: int


@dataclass(frozen=True)
class Slider:
    spot: int
    value: int


@dataclass(frozen=True)
class MacroStart:
    macro: int


@dataclass(frozen=True)
class MacroEnd:
    macro: int


_TEXT_REPORTS = [
    (re.compile(r"x(\d{1,3})"), lambda m: Press(int(m[1]))),
    (re.compile(r"x(\d{1,3}) (-?\d+) (-?\d+)"), lambda m: PressAt(int(m[1]), int(m[2]), int(m[3]))),
    (re.compile(r"r(\d{1,3})"), lambda m: Release(int(m[1]))),
    (re.compile(r"s(\d{1,3}) (\d+)"), lambda m: Toggle(int(m[1]), int(m[2]))),
    (re.compile(r"l(\d{1,3}):(-?\d+)"), lambda m: Slider(int(m[1]), int(m[2]))),
    (re.compile(r"m(\d{1,3})"), lambda m: MacroStart(int(m[1]))),
    (re.compile(r"e(\d{1,3})"), lambda m: MacroEnd(int(m[1]))),
]

BYTE_REPORT_LENGTH = {ord("X"): 2, ord("R"): 2, ord("M"): 2, ord("E"): 2, ord("S"): 3, ord("L"): 4, ord("Y"): 6}


def text_report(line: str):
    """The report a text line is, or None ("x130", "x131 5 7", "r130", "s5 1", "l130:223", "m4", "e4")."""
    for pattern, make in _TEXT_REPORTS:
        m = pattern.fullmatch(line)
        if m and int(m[1]) <= 255:
            return make(m)
    return None


def byte_report(data: bytes):
    """A report in byte form ("*binr 1"), given all its bytes."""
    kind, n = chr(data[0]), data[1]
    if kind == "X":
        return Press(n)
    if kind == "R":
        return Release(n)
    if kind == "M":
        return MacroStart(n)
    if kind == "E":
        return MacroEnd(n)
    if kind == "S":
        return Toggle(n, data[2])
    if kind == "L":
        return Slider(n, data[2] | data[3] << 8)
    if kind == "Y":
        return PressAt(n, data[2] | data[3] << 8, data[4] | data[5] << 8)
    raise ValueError(f"not a byte report: {data!r}")


STATUS = {">": "done", "!": "failed", "#": "CRC error", "^": "receive overflow", "?": "receive error"}
# The display's own messages that end in a status character: whole lines, not a text and the status
# of a reply without CR of its own.
WHOLE_LINES = frozenset({
    "    Unknown record type!", "  DONE!", "  *memTest <start_addr> <length> <reps>", ": invalid <type>",
    ":Failed to copy new image from Data Flash to memory!", ":Failed to load new bin file to memory!",
    "Cannot write past end of external memory!", "Input buffer overflowed!",
})


class Receiver:
    """Turns received bytes into items: ("status", ch), ("line", text), ("event", report).

    XON/XOFF set `paused` (outside RS485 mode); byte-form reports are read when binary_reports is
    on; in RS485 mode the prefix (SOF 'F' 'F') is taken off each line. A reply without CR of its own
    (a frame-buffer row, a few messages) followed by its status gives the line, then the status."""

    def __init__(self):
        self.binary_reports = False
        self.rs485 = None
        self.paused = False
        self._line = bytearray()
        self._started = False
        self._report = bytearray()
        self._need = 0
        self._prefix = 0

    def feed(self, data: bytes):
        items = []
        for b in data:
            if self._need:
                self._report.append(b)
                if len(self._report) == self._need:
                    items.append(("event", byte_report(bytes(self._report))))
                    self._need = 0
                continue
            if not self.rs485 and b in (XON, XOFF):
                self.paused = b == XOFF
                continue
            if not self._started:
                if self.rs485:
                    if self._prefix:
                        self._prefix -= 1
                        continue
                    if b == ord(self.rs485[0]):
                        self._prefix = 2
                        continue
                if self.binary_reports and b in BYTE_REPORT_LENGTH:
                    self._report = bytearray([b])
                    self._need = BYTE_REPORT_LENGTH[b]
                    continue
            if b != 13:
                self._line.append(b)
                self._started = True
                continue
            text = self._line.decode("latin-1")
            self._line.clear()
            self._started = False
            if len(text) == 1 and text in STATUS:
                items.append(("status", text))
            elif (report := text_report(text)) is not None:
                items.append(("event", report))
            elif len(text) > 1 and text[-1] in ">!#" and text not in WHOLE_LINES:
                items.append(("line", text[:-1]))
                items.append(("status", text[-1]))
            else:
                items.append(("line", text))
        return items


def xmp_line(data: bytes) -> bytes:
    """One line of a resource-image upload ("xmp"): at most 128 bytes, escaped, with its CR."""
    if len(data) > 128:
        raise ValueError("an upload line carries at most 128 bytes")
    escapes = {0x20: b"  ", 0x00: b" 0", 0x08: b" B", 0x0A: b" N", 0x0D: b" R", 0x11: b" X", 0x13: b" Y",
               0x1B: b" ["}
    return b"".join(escapes.get(b, bytes([b])) for b in data) + b"\r"


XMP_END = b" Q\r"
