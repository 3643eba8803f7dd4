#!/usr/bin/env python3
"""Runs the firmware images of an ARM build under qemu-system-arm and checks their replies byte for
byte: the board port's own test image first, then each panel image.

  qemu_test.py BUILD_DIR [-k SUBSTRING]...
"""
import importlib.util
import os
import sys
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)

from qemu_board import BoardError  # noqa: E402

SUITES = [os.path.join(ROOT, "tests", "target", "test_board.py"),
          os.path.join(ROOT, "tests", "target", "test_firmware.py")]


class Skip(Exception):
    pass


class Build:
    def __init__(self, path):
        self.path = os.path.abspath(path)
        self.Skip = Skip

    def image(self, name):
        path = os.path.join(self.path, name)
        if not os.path.exists(path):
            raise BoardError("%s not built" % path)
        return path


def load(path):
    module_spec = importlib.util.spec_from_file_location(os.path.splitext(os.path.basename(path))[0], path)
    module = importlib.util.module_from_spec(module_spec)
    module.Skip = Skip
    module_spec.loader.exec_module(module)
    return module


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = Build(argv[1])
    only = [argv[i + 1] for i in range(2, len(argv) - 1) if argv[i] == "-k"]
    failed = passed = skipped = 0
    for suite in SUITES:
        if not os.path.exists(suite):
            continue
        module = load(suite)
        for name in [n for n in dir(module) if n.startswith("test_")]:
            if only and not any(k in name for k in only):
                continue
            start = time.monotonic()
            try:
                note = getattr(module, name)(build)
            except Skip as e:
                skipped += 1
                print("SKIP %s: %s" % (name, e))
                continue
            except BoardError as e:
                failed += 1
                print("FAIL %s: %s" % (name, e))
                continue
            except Exception:
                failed += 1
                print("FAIL %s:\n%s" % (name, traceback.format_exc()))
                continue
            passed += 1
            print("PASS %s (%.1f s)%s" % (name, time.monotonic() - start, ": " + note if note else ""))
    print("%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
