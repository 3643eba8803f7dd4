"""The Python host package: wire bytes without a display, then against the simulator on a pty.

Run by ctest with the build's virtual environment: venv/bin/python -m unittest test_zefo5_python
(ZEFO5_BUILD names the build folder)."""
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

import zefo5
from zefo5 import protocol

BUILD = os.environ.get("ZEFO5_BUILD", "build")
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


class Wire(unittest.TestCase):
    def test_frames(self):
        self.assertEqual(zefo5.crc16(b"123456789"), 0x4B37)
        self.assertEqual(zefo5.frame("vers"), b"vers\r")
        self.assertEqual(zefo5.frame("vers", crc=True), b"~E9B7vers\r")
        self.assertEqual(zefo5.frame("vers", crc=True, rs485=("#", 0x1A)), b"#1A~E9B7vers\r")
        with self.assertRaises(ValueError):
            zefo5.frame("a\rb")
        with self.assertRaises(ValueError):
            zefo5.frame("v" * 131)

    def test_receiver_sorts_replies_reports_and_flow_control(self):
        rx = zefo5.Receiver()
        items = rx.feed(b"x130\r>\r\x13r130\rx131 5 7\rs5 1\rl130:223\rx\r:Incorrect number of parameters>\r")
        self.assertTrue(rx.paused)
        self.assertEqual(items, [("event", zefo5.Press(130)), ("status", ">"), ("event", zefo5.Release(130)),
                                 ("event", zefo5.PressAt(131, 5, 7)), ("event", zefo5.Toggle(5, 1)),
                                 ("event", zefo5.Slider(130, 223)), ("line", "x"),
                                 ("line", ":Incorrect number of parameters"), ("status", ">")])
        rx.feed(b"\x11")
        self.assertFalse(rx.paused)
        rx.binary_reports = True  # 0x11 inside a report is hotspot 17, not XON
        self.assertEqual(rx.feed(b"X\x11" + b"on\r>\r" + b"Y\x83\x05\x00\x07\x01L\x82\xdf\x00"),
                         [("event", zefo5.Press(17)), ("line", "on"), ("status", ">"),
                          ("event", zefo5.PressAt(131, 5, 0x107)), ("event", zefo5.Slider(130, 223))])
        # Messages of the display's own that end in "!" or ">" are lines; the status follows them.
        self.assertEqual(rx.feed(b"  DONE!\r>\r  *memTest <start_addr> <length> <reps>\r>\r: invalid <type>\r!\r"),
                         [("line", "  DONE!"), ("status", ">"), ("line", "  *memTest <start_addr> <length> <reps>"),
                          ("status", ">"), ("line", ": invalid <type>"), ("status", "!")])
        rs = zefo5.Receiver()
        rs.rs485 = ("#", 0x1A)
        self.assertEqual(rs.feed(b"#FFx130\r#FF>\r\x13"), [("event", zefo5.Press(130)), ("status", ">")])
        self.assertFalse(rs.paused, "no flow control on the bus")

    def test_upload_lines_escape_every_special_byte(self):
        data = bytes(range(128))
        line = zefo5.xmp_line(data)
        self.assertEqual(unescape(line), data)
        for special in b"\x00\x08\x0a\x0d\x11\x13\x1b":
            self.assertNotIn(special, line[:-1])
        with self.assertRaises(ValueError):
            zefo5.xmp_line(bytes(129))


def unescape(line):
    """The display's decoding of an upload line, written from the escape table."""
    table = {ord(" "): 0x20, ord("0"): 0, ord("B"): 8, ord("N"): 10, ord("R"): 13, ord("X"): 0x11,
             ord("Y"): 0x13, ord("["): 0x1B}
    out, i = bytearray(), 0
    assert line.endswith(b"\r")
    line = line[:-1]
    while i < len(line):
        if line[i] == 0x20:
            out.append(table[line[i + 1]])
            i += 2
        else:
            out.append(line[i])
            i += 1
    return bytes(out)


class FakeUploadLink:
    """A display that speaks only the upload's line protocol: "p>" before every line."""

    def __init__(self):
        self.inbox = b""
        self.received = bytearray()
        self.pending = b""
        self.ended = False
        self.timeout = 0

    def write(self, data):
        self.pending += data
        while b"\r" in self.pending:
            line, self.pending = self.pending.split(b"\r", 1)
            if line.startswith(b"xmp "):
                self.inbox += b"p>\r"
            elif line == b" Q":
                self.inbox += b">\r"
                self.ended = True
            else:
                self.received += unescape(line + b"\r")
                self.inbox += b"p>\r"

    def read(self, n):
        data, self.inbox = self.inbox[:n], self.inbox[n:]
        return data

    def flush(self):
        pass

    def close(self):
        pass


class Upload(unittest.TestCase):
    def test_upload_sends_every_byte_and_reports_progress(self):
        link = FakeUploadLink()
        d = zefo5.Display(link)
        data = bytes((i * 7) & 0xFF for i in range(1000))
        seen = []
        d.upload(data, progress=lambda done, total: seen.append((done, total)))
        self.assertTrue(link.ended)
        self.assertEqual(bytes(link.received), data)
        self.assertEqual(seen[-1], (1000, 1000))
        self.assertEqual(len(seen), 8)  # 128 bytes a line


class RefusingUploadLink(FakeUploadLink):
    """Refuses the upload's second line as the display does when its ring overflows: a message that
    itself ends in "!", and the command's "!" only in a later read. Answers "vers" afterwards."""

    def __init__(self):
        super().__init__()
        self.lines = 0
        self.later = b""

    def write(self, data):
        self.pending += data
        while b"\r" in self.pending:
            line, self.pending = self.pending.split(b"\r", 1)
            if line == b"vers":
                self.inbox += b"ZEFO5 V1.5.0 WVGA \r>\r"
            elif line.startswith(b"xmp "):
                self.inbox += b"p>\r"
            else:
                self.lines += 1
                if self.lines == 2:
                    self.inbox += b"\rInput buffer overflowed!\r"
                    self.later = b"!\r"
                else:
                    self.inbox += b"p>\r"

    def read(self, n):
        if not self.inbox:
            self.inbox, self.later = self.later, b""
        return super().read(n)


class UploadRefused(unittest.TestCase):
    def test_a_refusal_carries_the_message_and_leaves_nothing_for_the_next_command(self):
        d = zefo5.Display(RefusingUploadLink())
        with self.assertRaises(zefo5.CommandFailed) as refused:
            d.upload(bytes(1000), progress=False)
        self.assertIn("Input buffer overflowed!", refused.exception.reply.lines)
        self.assertEqual(d.send("vers").text, "ZEFO5 V1.5.0 WVGA ")


class UploadIntoFlash(unittest.TestCase):
    """upload() into the data flash of a simulator without a card; the display then starts from it."""

    def test_the_uploaded_image_is_in_use_after_a_restart(self):
        with open(os.path.join(BUILD, "cards", "demo", "ZEFO5.BIN"), "rb") as f:
            image = f.read()
        tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, tmp)
        flash = os.path.join(tmp, "flash.bin")  # the simulator creates it erased
        seen = []
        with zefo5.Display.simulator(build=BUILD, args=["--flash", flash]) as d:
            with self.assertRaises(zefo5.CommandFailed):
                d.send("m hello there")  # no image yet
            reply = d.upload(image, progress=lambda done, total: seen.append((done, total)))
            self.assertEqual(reply.status, ">")
            self.assertEqual(seen[-1], (len(image), len(image)))
            self.assertEqual(len(seen), (len(image) + 127) // 128)
            self.assertEqual(d.send("*CEXT 0 %x" % (len(image) - 1)).text, "0x%04X" % zefo5.crc16(image))
        with open(flash, "rb") as f:
            stored = f.read()
        self.assertEqual(stored[:len(image)], image)
        self.assertEqual(stored[len(image):len(image) + 4096], b"\xff" * 4096, "nothing written past the image")

        with zefo5.Display.simulator(build=BUILD, args=["--flash", flash]) as d:
            self.assertEqual(d.send("ls").lines[0], "Records: 9")
            self.assertEqual(d.send("m hello there").status, ">")
            # Bitmap 3 of the demo project is assets/star.png: its size from the PNG header.
            with open(os.path.join(ROOT, "tools", "demo", "card", "assets", "star.png"), "rb") as f:
                width, height = struct.unpack(">II", f.read(24)[16:24])
            self.assertEqual(d.send('out "`W3`x`H3`"').lines, ["%dx%d" % (width, height)])
            # Another image over the programmed flash, not erased: the display refuses the first line
            # whose bits cannot be programmed, and the next command gets its own reply.
            with open(os.path.join(BUILD, "cards", "main", "ZEFO5.BIN"), "rb") as f:
                other = f.read()
            with self.assertRaises(zefo5.CommandFailed) as refused:
                d.upload(other, progress=False)
            self.assertTrue(any("Write to external memory failed" in l for l in refused.exception.reply.lines),
                            refused.exception.reply.lines)
            self.assertEqual(d.send("vers").text, "ZEFO5 V1.5.0 WVGA ")


class Simulator(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.card = os.path.join(self.tmp, "card.img")
        shutil.copyfile(os.path.join(BUILD, "cards", "demo.img"), self.card)
        self.d = zefo5.Display.simulator(build=BUILD, sd=self.card)

    def tearDown(self):
        self.d.close()
        shutil.rmtree(self.tmp)

    def test_send_returns_replies_and_raises_typed_errors(self):
        self.assertEqual(self.d.send("vers").text, "ZEFO5 V1.5.0 WVGA ")
        with self.assertRaises(zefo5.CommandFailed) as failed:
            self.d.send("xif nothing.jpg 0 0")
        self.assertEqual(failed.exception.reply.messages, [':cannot open SD card file "nothing.jpg".'])
        with self.assertRaises(zefo5.CrcMismatch):
            self.d.send("~0000vers")
        self.assertEqual(self.d.send("xif nothing.jpg 0 0", check=False).status, "!")
        self.d.crc = True
        self.assertEqual(self.d.send("S F00 00F").status, ">")
        self.assertEqual(self.d.send("S").text, "FF0000 (F800) 0000FF (001F)")

    def test_events_in_text_and_byte_form(self):
        for line in ("xs 130 100 100 200 200", "xset 130 r", "xxy 131 300 300 400 400",
                     'bd 5 500 100 2 "Off" "On" 8 20 8 20'):
            self.d.send(line)
        for binary in (False, True):
            self.d.binary_reports(binary)
            for tap in ("*tsmm 150 150", "*tsmm 305 307", "*tsmm 530 130"):
                self.d.send(tap)
            self.assertEqual(list(self.d.events(timeout=0.5)),
                             [zefo5.Press(130), zefo5.Release(130), zefo5.PressAt(131, 5, 7),
                              zefo5.Toggle(5, 0 if binary else 1)])

    def test_a_flood_of_lines_is_paced_by_xoff(self):
        line = zefo5.frame("vers" + " " * 125)
        self.d.write(line * 40)
        statuses = []
        while len(statuses) < 40:
            statuses.append(self.d.wait_ready(timeout=10).status)
        self.assertEqual(statuses, [">"] * 40)
        self.assertFalse(self.d.rx.paused)

    def test_screenshot_reads_the_frame_buffer(self):
        self.d.send("S 000 FFF")
        self.d.send("z")
        self.d.send("r 10 10 20 20 1 F00")
        png = os.path.join(self.tmp, "shot.png")
        rows = self.d.screenshot(png, height=24)
        self.assertEqual(len(rows[0]), 800)
        self.assertEqual(rows[15][15], (255, 0, 0))
        self.assertEqual(rows[0][0], (255, 255, 255))
        if shutil.which("convert"):  # an independent reading of the PNG file
            txt = subprocess.run(["convert", png, "-crop", "1x1+15+15", "txt:-"], capture_output=True,
                                 text=True).stdout
            self.assertIn("#FF0000", txt)


class Command(unittest.TestCase):
    def test_zefo5_send_on_a_simulator(self):
        env = dict(os.environ)
        r = subprocess.run([os.path.join(BUILD, "venv", "bin", "python"), "-m", "zefo5", "--sim", "--program",
                            os.path.join(BUILD, "zefo5"), "vers", "nonsense"], capture_output=True, text=True,
                           env=env, timeout=120)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stdout, "ZEFO5 V1.5.0 WVGA \n>\n")
        self.assertIn("'nonsense' failed", r.stderr)


if __name__ == "__main__":
    unittest.main()
