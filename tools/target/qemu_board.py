"""One run of a firmware image on QEMU's emulated Versatile/PB.

UART0 is QEMU's standard input and output (a pipe here), UART1 an optional Unix socket, the
LCD controller's picture is fetched through QMP's screendump. Every wait is for bytes to arrive,
bounded by a time-out; nothing sleeps.
"""
import json
import os
import select
import shutil
import socket
import subprocess
import tempfile
import time

QEMU = "qemu-system-arm"


class BoardError(AssertionError):
    pass


class Board:
    def __init__(self, elf, uart1=False, extra=()):
        self.dir = tempfile.mkdtemp(prefix="zefo-qemu-")
        self.qmp_path = os.path.join(self.dir, "qmp.sock")
        self.uart1_path = os.path.join(self.dir, "uart1.sock")
        args = [QEMU, "-M", "versatilepb", "-m", "256M", "-display", "none", "-audiodev", "none,id=snd0",
                "-monitor", "none", "-serial", "stdio"]
        if uart1:
            args += ["-chardev", "socket,id=uart1,path=%s,server=on,wait=off" % self.uart1_path,
                     "-serial", "chardev:uart1"]
        else:
            args += ["-serial", "null"]
        args += ["-qmp", "unix:%s,server=on,wait=off" % self.qmp_path, "-kernel", elf]
        args += list(extra)
        self.stderr = open(os.path.join(self.dir, "stderr"), "w+b")
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.stderr)
        os.set_blocking(self.proc.stdout.fileno(), False)
        self.pending = b""  # received on UART0, not yet taken
        self.transcript = b""
        self.aux = None
        self.aux_pending = b""

    # ---- UART0 -----------------------------------------------------------------------------------
    def send(self, data):
        if isinstance(data, str):
            data = data.encode("latin-1")
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def _fill(self, deadline):
        fd = self.proc.stdout.fileno()
        left = deadline - time.monotonic()
        if left <= 0:
            return False
        ready, _, _ = select.select([fd], [], [], left)
        if not ready:
            return False
        chunk = os.read(fd, 65536)
        if not chunk:
            raise BoardError("QEMU ended%s" % self._context())
        self.pending += chunk
        self.transcript += chunk
        return True

    def read(self, n, timeout=20.0):
        """Exactly n bytes from UART0 (fewer only at the time-out)."""
        deadline = time.monotonic() + timeout
        while len(self.pending) < n:
            if b":FATAL:" in self.pending:
                break
            if not self._fill(deadline):
                break
        got, self.pending = self.pending[:n], self.pending[n:]
        return got

    def read_until(self, marker, timeout=20.0):
        deadline = time.monotonic() + timeout
        while marker not in self.pending:
            if not self._fill(deadline):
                raise BoardError("no %r within %.0f s, got %r%s" % (marker, timeout, self.pending, self._context()))
        at = self.pending.index(marker) + len(marker)
        got, self.pending = self.pending[:at], self.pending[at:]
        return got

    def expect(self, expected, timeout=20.0):
        """The next bytes on UART0 are exactly these."""
        if isinstance(expected, str):
            expected = expected.encode("latin-1")
        got = self.read(len(expected), timeout)
        if got != expected:
            raise BoardError("expected %r\n     got %r%s" % (expected, got + self.pending[:200], self._context()))

    def exchange(self, line, reply, timeout=20.0):
        self.send(line)
        self.expect(reply, timeout)

    # ---- UART1 -----------------------------------------------------------------------------------
    def aux_connect(self):
        """QEMU drops what UART1 sends while nobody listens: connect before it talks."""
        if self.aux is None:
            self.aux = _connect(self.uart1_path)
        return self.aux

    _aux = aux_connect

    def aux_send(self, data):
        self._aux().sendall(data)

    def aux_expect(self, expected, timeout=20.0):
        sock = self._aux()
        deadline = time.monotonic() + timeout
        while len(self.aux_pending) < len(expected):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([sock], [], [], left)[0]:
                break
            chunk = sock.recv(65536)
            if not chunk:
                break
            self.aux_pending += chunk
        got, self.aux_pending = self.aux_pending[:len(expected)], self.aux_pending[len(expected):]
        if got != expected:
            raise BoardError("UART1: expected %r, got %r%s" % (expected, got, self._context()))

    # ---- the screen ------------------------------------------------------------------------------
    def qmp(self, cmd, **arguments):
        """One QMP command on a fresh connection; its return value."""
        sock = _connect(self.qmp_path)
        f = sock.makefile("rwb")

        def command(name, args):
            msg = {"execute": name}
            if args:
                msg["arguments"] = args
            f.write(json.dumps(msg).encode() + b"\n")
            f.flush()
            while True:
                answer = json.loads(f.readline())
                if "return" in answer:
                    return answer["return"]
                if "error" in answer:
                    raise BoardError("QMP %s: %s" % (name, answer["error"]))

        try:
            json.loads(f.readline())  # greeting
            command("qmp_capabilities", {})
            return command(cmd, arguments)
        finally:
            f.close()
            sock.close()

    def screendump(self):
        """(width, height, rgb bytes) of what the LCD controller shows."""
        path = os.path.join(self.dir, "screen.ppm")
        if os.path.exists(path):
            os.remove(path)
        self.qmp("screendump", filename=path)
        return read_ppm(path)

    def memory(self, address, size):
        """Bytes of the machine's RAM."""
        path = os.path.join(self.dir, "memory.bin")
        self.qmp("pmemsave", val=address, size=size, filename=path)
        return open(path, "rb").read()

    def stack_use(self, elf):
        """Bytes of each processor mode's stack ever used: what is no longer the start-up paint."""
        symbols = {}
        out = subprocess.run(["arm-none-eabi-nm", elf], check=True, capture_output=True, text=True).stdout
        for line in out.splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[2].startswith("__stack"):
                symbols[parts[2]] = int(parts[0], 16)
        bottom = symbols["__stacks_start"]
        use = {}
        for mode in ("exc", "fiq", "irq", "svc"):
            top = symbols["__stack_%s_top" % mode]
            data = self.memory(bottom, top - bottom)
            untouched = 0
            while untouched + 4 <= len(data) and data[untouched:untouched + 4] == b"\xac\x57\xac\x57":
                untouched += 4
            use[mode] = (len(data) - untouched, len(data))
            bottom = top
        return use

    def stack_report(self, elf):
        """The stack use as a note; more than three quarters of any stack is a failure."""
        use = self.stack_use(elf)
        for mode, (used, size) in use.items():
            if used * 4 > size * 3:
                raise BoardError("%s stack: %d of %d bytes used" % (mode, used, size))
        return "stacks used: " + ", ".join("%s %d of %d" % (m, u, s) for m, (u, s) in use.items())

    # ---- the end ---------------------------------------------------------------------------------
    def _context(self):
        self.stderr.flush()
        self.stderr.seek(0)
        err = self.stderr.read().decode("latin-1", "replace").strip()
        lines = [l for l in err.splitlines() if "audiodev" not in l]
        return ("\n     QEMU: " + "\n     QEMU: ".join(lines[-5:])) if lines else ""

    def close(self):
        if self.aux is not None:
            self.aux.close()
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        for stream in (self.proc.stdin, self.proc.stdout):
            try:
                stream.close()
            except (BrokenPipeError, OSError):
                pass
        self.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def _connect(path, timeout=20.0):
    """QEMU creates its sockets while it starts: retry until one answers."""
    deadline = time.monotonic() + timeout
    while True:
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            sock.connect(path)
            return sock
        except (FileNotFoundError, ConnectionRefusedError):
            sock.close()
            if time.monotonic() > deadline:
                raise BoardError("QEMU socket %s never opened" % path)
            select.select([], [], [], 0.05)


def read_ppm(path):
    data = open(path, "rb").read()
    fields = []
    at = 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at) + 1
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise BoardError("not an 8-bit PPM: %r" % fields)
    width, height = int(fields[1]), int(fields[2])
    pixels = data[at + 1:at + 1 + width * height * 3]
    return width, height, pixels


def pixel(screen, x, y):
    width, _, rgb = screen
    i = (y * width + x) * 3
    return tuple(rgb[i:i + 3])


def rgb565(value):
    """The 8-bit components QEMU shows for a 5-6-5 pixel (low bits zero)."""
    return ((value >> 11) << 3, ((value >> 5) & 0x3F) << 2, (value & 0x1F) << 3)


def _crc_table():
    table = []
    for i in range(256):
        crc = i
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
        table.append(crc)
    return table


_CRC_TABLE = _crc_table()


def crc16_modbus(data, crc=0xFFFF):
    """CRC-16/MODBUS: reflected 0xA001, initial 0xFFFF, no final XOR."""
    table = _CRC_TABLE
    for b in data:
        crc = (crc >> 8) ^ table[(crc ^ b) & 0xFF]
    return crc
