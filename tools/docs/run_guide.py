#!/usr/bin/env python3
"""Runs the command blocks of a Markdown guide as written and checks the output shown after them.

Every ```sh block runs, in order, with bash -e in one scratch folder whose `build` is the build tree
given; a ```text block right after it is the exact standard output it must print. A block preceded by
a line `<!-- guide-test: skip ... -->` is not run (cloning, interactive runs).

    run_guide.py GUIDE.md BUILD

Exit status 1 at the first block that fails or prints something else (block, expected, actual).
"""
import os
import re
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^```(\w*)\s*$")


def blocks(path):
    """(kind, text, line number, skipped) of every fenced block."""
    out, lines = [], open(path, encoding="utf-8").read().split("\n")
    i, skip = 0, False
    while i < len(lines):
        m = FENCE.match(lines[i])
        if lines[i].startswith("<!-- guide-test: skip"):
            skip = True
        elif m:
            start = i
            body = []
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                body.append(lines[i])
                i += 1
            out.append((m.group(1), "\n".join(body) + "\n", start + 1, skip))
            skip = False
        elif lines[i].strip():
            skip = skip and lines[i].startswith("<!--")
        i += 1
    return out


def main(argv):
    guide, build = argv[0], os.path.abspath(argv[1])
    items = blocks(guide)
    ran = 0
    with tempfile.TemporaryDirectory() as work:
        os.symlink(build, os.path.join(work, "build"))
        for k, (kind, text, line, skipped) in enumerate(items):
            if kind != "sh" or skipped:
                continue
            r = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", text], cwd=work, capture_output=True,
                               timeout=300)
            ran += 1
            where = f"{guide}:{line}"
            if r.returncode != 0:
                print(f"run_guide: {where}: the block failed with status {r.returncode}\n{text}"
                      f"{r.stderr.decode(errors='replace')}", file=sys.stderr)
                return 1
            if k + 1 < len(items) and items[k + 1][0] == "text":
                expected = items[k + 1][1]
                actual = r.stdout.decode("latin-1")
                if actual != expected:
                    print(f"run_guide: {where}: the output differs\n--- expected\n{expected}--- actual\n{actual}",
                          file=sys.stderr)
                    return 1
    print(f"run_guide: {ran} blocks of {guide} ran as written")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
