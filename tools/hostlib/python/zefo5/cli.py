"""zefo5-send: send command lines to a display and print its replies.

    zefo5-send DEVICE LINE...          a serial port or a pseudo-terminal
    zefo5-send --sim [--sd CARD] LINE...   a simulator started for the purpose (build/zefo5)
    zefo5-send ... --screenshot FILE   afterwards, read the screen into a PNG file

Exit status 1 when a line is answered with an error."""
import argparse
import sys

from .display import Display, Zefo5Error


def main(argv=None):
    ap = argparse.ArgumentParser(prog="zefo5-send", description="Send command lines to a ZEFO5 display.")
    ap.add_argument("device", nargs="?", help="serial port or pseudo-terminal (omit with --sim)")
    ap.add_argument("lines", nargs="*", help="command lines")
    ap.add_argument("--sim", action="store_true", help="start the simulator (--program, --sd)")
    ap.add_argument("--program", default="build/zefo5")
    ap.add_argument("--sd", help="card image for the simulator")
    ap.add_argument("--crc", action="store_true", help="send every line in a CRC frame")
    ap.add_argument("--baud", type=int, default=115200)
    ap.add_argument("--screenshot", help="PNG file of the screen afterwards")
    a = ap.parse_args(argv)
    lines = a.lines
    if a.sim:
        if a.device:
            lines = [a.device] + lines
        d = Display.simulator(program=a.program, sd=a.sd, crc=a.crc)
    else:
        if not a.device:
            ap.error("a device, or --sim")
        d = Display.open(a.device, a.baud, crc=a.crc)
    status = 0
    with d:
        for line in lines:
            try:
                reply = d.send(line)
                print("\n".join(reply.lines + [reply.status]))
            except Zefo5Error as e:
                print(f"error: {e}", file=sys.stderr)
                status = 1
        for event in d.events(timeout=0.2):
            print(event)
        if a.screenshot:
            d.screenshot(a.screenshot, progress=sys.stderr.isatty())
    return status


if __name__ == "__main__":
    sys.exit(main())
