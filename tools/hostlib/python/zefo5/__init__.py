"""Talk to a ZEFO5 serial touch display from a PC.

    import zefo5
    with zefo5.Display.simulator(sd="build/cards/demo.img") as d:   # or Display.open("/dev/ttyUSB0")
        print(d.send("vers").text)                  # ZEFO5 V1.5.0 WVGA
        d.send("xs 130 100 100 200 200")
        d.send("*tsmm 150 150")                     # a simulated tap
        for event in d.events(timeout=1):
            print(event)                            # Press(spot=130)
"""
from .protocol import (crc16, frame, text_report, byte_report, xmp_line, Receiver, Press, PressAt, Release,
                       Toggle, Slider, MacroStart, MacroEnd)
from .display import (Display, Reply, Zefo5Error, CommandFailed, CrcMismatch, ReceiveOverflow, ReceiveError,
                      NoReply, write_png)

__all__ = ["Display", "Reply", "Zefo5Error", "CommandFailed", "CrcMismatch", "ReceiveOverflow", "ReceiveError",
           "NoReply", "Press", "PressAt", "Release", "Toggle", "Slider", "MacroStart", "MacroEnd", "crc16",
           "frame", "text_report", "byte_report", "xmp_line", "Receiver", "write_png"]
