"""The firmware images under qemu-system-arm: wire-level transcripts on UART0, byte for byte, and
the emulated LCD's picture after a drawing command."""
from qemu_board import Board, BoardError, crc16_modbus, pixel, rgb565

FIRMWARE_SIZE = 0x1F0000
BOOT_AREA_SIZE = 0x10000
# image, resolution word of the version text, screen size
PANELS = [("zefo5.elf", "WVGA", 800, 480), ("zefo5-wvga2.elf", "WVGA", 800, 480), ("zefo5-vga.elf", "VGA", 640, 480)]
# Power-on: panel delays (up to 1 s, stretched by a busy host), start-up waits, the resource search.
BOOT_TIMEOUT = 120


def version(word):
    return "ZEFO5 V1.5.0 %s \r" % word


# The slot is empty and the data flash blank: the loader says so, then the first prompt.
NO_RESOURCES = ":Data Flash header is not valid  Magic was 0xFFFF, not 0xFEEB\r:No .BIN file in flash or on SD card\r"


def booted(build, image):
    board = Board(build.image(image))
    try:
        board.expect(NO_RESOURCES + ">\r", BOOT_TIMEOUT)
    except BaseException:
        board.close()
        raise
    return board


def transcript(build, image, word):
    with booted(build, image) as b:
        b.exchange("vers\r", version(word) + ">\r")
        # CRC-framed lines: E9B7 is the CRC of "vers\r"; a wrong CRC or a short line runs nothing.
        b.exchange("~E9B7vers\r", version(word) + ">\r")
        b.exchange("~0000vers\r", "#\r")
        b.exchange("~12\r", "#\r")
        b.exchange("frobnicate 1 2\r", "!\r")
        b.exchange("\r", ">\r")
        # The board's fixed temperature, formatted as "%+05.1f" would.
        b.exchange("temp\r", "+25.0\r>\r")
        # Checksums over the program flash: the image where QEMU loaded it, the empty boot area.
        image_bytes = open(build.image(image[:-4] + ".bin"), "rb").read()
        flash = image_bytes + bytes(FIRMWARE_SIZE - len(image_bytes))
        b.exchange("*CSUM\r", "0x%04X\r>\r" % crc16_modbus(flash))
        b.exchange("*CSUMB\r", "0x%04X\r>\r" % crc16_modbus(bytes(BOOT_AREA_SIZE)))
        # The EEPROM kept in RAM, through the firmware's byte window.
        b.exchange("i2c write 1800 5a\r", "1800 = 5A\r>\r")
        b.exchange("i2c read 1800\r", "1800 = 5A\r>\r")
        b.exchange("vers\r", version(word) + ">\r")
        return b.stack_report(build.image(image))


def test_wvga1_transcript(build):
    return transcript(build, "zefo5.elf", "WVGA")


def test_wvga2_transcript(build):
    return transcript(build, "zefo5-wvga2.elf", "WVGA")


def test_vga_transcript(build):
    return transcript(build, "zefo5-vga.elf", "VGA")


def test_restart_keeps_the_eeprom(build):
    """"*RESET" restarts through the watchdog: the first prompt again, the EEPROM unchanged."""
    with booted(build, "zefo5-vga.elf") as b:
        b.exchange("i2c write 1801 a7\r", "1801 = A7\r>\r")
        b.send("*RESET\r")
        b.expect(NO_RESOURCES + ">\r", BOOT_TIMEOUT)
        b.exchange("i2c read 1801\r", "1801 = A7\r>\r")
        b.exchange("vers\r", version("VGA") + ">\r")


def test_screen_after_drawing(build):
    """A filled red rectangle below the version text, seen in the frame buffer by "pr" and on the
    emulated LCD."""
    for image, word, width, height in PANELS:
        with booted(build, image) as b:
            b.send("r 300 200 399 249 1 F00\r")
            reply = b.read(2, 20)
            if reply == b"!\r":
                raise build.Skip("no filled rectangles yet")
            if reply != b">\r":
                raise BoardError("%s: rectangle answered %r" % (image, reply))
            b.exchange("pr 350 220\r", "F800\r>\r")
            screen = b.screendump()
            if screen[:2] != (width, height):
                raise BoardError("%s: screen %dx%d" % (image, screen[0], screen[1]))
            red = rgb565(0xF800)
            for x, y in ((300, 200), (399, 200), (300, 249), (399, 249), (350, 225)):
                if pixel(screen, x, y) != red:
                    raise BoardError("%s: (%d, %d) is %r" % (image, x, y, pixel(screen, x, y)))
            for x, y in ((299, 200), (400, 200), (300, 199), (300, 250)):
                if pixel(screen, x, y) == red:
                    raise BoardError("%s: (%d, %d) outside the rectangle is red" % (image, x, y))


def test_panel_timing_programs_the_pl110(build):
    """The six timing settings reach the PL110's timing registers: the build defaults at start-up,
    a changed value at once (each field holds its value minus one where the controller says so)."""
    def timing(b):
        regs = b.memory(0x10120000, 8)
        return int.from_bytes(regs[0:4], "little"), int.from_bytes(regs[4:8], "little")

    def expected(hfp, hpw, hbp, vfp, vpw, vbp, width, height):
        t0 = (hbp - 1) << 24 | (hfp - 1) << 16 | (hpw - 1) << 8 | (width // 16 - 1) << 2
        t1 = vbp << 24 | vfp << 16 | (vpw - 1) << 10 | (height - 1)
        return t0, t1

    for image, defaults, width in (("zefo5.elf", (40, 48, 40, 13, 3, 29), 800),
                                   ("zefo5-vga.elf", (32, 2, 32, 8, 2, 8), 640)):
        with booted(build, image) as b:
            got = timing(b)
            if got != expected(*defaults, width, 480):
                raise BoardError("%s: timing registers %08X %08X at start-up" % ((image,) + got))
            b.exchange("*hfp 50\r", ">\r")
            b.exchange("*vbp 20\r", ">\r")
            changed = (50,) + defaults[1:5] + (20,)
            got = timing(b)
            if got != expected(*changed, width, 480):
                raise BoardError("%s: timing registers %08X %08X after the change" % ((image,) + got))
