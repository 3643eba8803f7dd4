#!/usr/bin/env python3
"""Checks the command reference (docs/reference/*.md) against the catalogue and the simulator.

Every entry of the reference is a "### " heading, a comment naming the catalogue rows it documents
(`<!-- rows: ["mv %d %d"] -->`, each row's keyword or pattern exactly as in app/catalogue.cpp) and an
example: indented lines, "> " a line the host sends (CR added), "< " bytes the display answers
(`\\r` is CR, `\\xHH` any byte, `\\\\` a backslash). Each example runs in a fresh simulator on a copy
of the demo card; what the display sends after its start-up must equal the "< " lines joined (an
example that resets the display shows the whole run).

    reference_examples.py BUILD                 check: every row has an entry, every example holds
    reference_examples.py BUILD --update        run every example again and rewrite its "< " lines
    reference_examples.py BUILD --only KEYWORD  only the entries whose heading names KEYWORD
    reference_examples.py BUILD --root DIR      the catalogue and reference of another tree

Exit status 1 when a row has no entry, an entry names a row the catalogue lacks, or an example's
reply differs (the entry, its rows, expected and actual are printed).
"""
import ast
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
ROW = re.compile(r'^\s*(?:EXACT|PREFIX|CHARS|CHARS_SCAN|PATTERN|SPECIAL)\(("(?:[^"\\]|\\.)*")')
ROWS_COMMENT = re.compile(r"<!-- rows: (\[.*\]) -->")
MAX_MS = 120000  # virtual milliseconds one example may take


def catalogue_rows(root):
    """The keyword or pattern of every row of the catalogue, in test order."""
    rows = []
    with open(os.path.join(root, "app", "catalogue.cpp"), encoding="utf-8") as f:
        for line in f:
            m = ROW.match(line)
            if m:
                rows.append(ast.literal_eval(m.group(1)))
    return rows


class Entry:
    def __init__(self, path, heading, lineno):
        self.path, self.heading, self.lineno = path, heading, lineno
        self.rows = []
        self.sends = []  # host lines, decoded
        self.example = (None, None)  # first and last line index of the example block
        self.expected = b""


def decode(text):
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "r":
                out.append(13)
            elif n == "n":
                out.append(10)
            elif n == "x":
                out.append(int(text[i + 2:i + 4], 16))
                i += 2
            else:
                out.append(ord(n))
            i += 2
            continue
        out += c.encode("latin-1")
        i += 1
    return bytes(out)


def encode(data):
    out = []
    for b in data:
        if b == 13:
            out.append("\\r")
        elif b == 0x5C:
            out.append("\\\\")
        elif b < 0x20 or b >= 0x7F:
            out.append("\\x%02X" % b)
        else:
            out.append(chr(b))
    return "".join(out)


def read_entries(root):
    entries = []
    folder = os.path.join(root, "docs", "reference")
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".md"):
            continue
        path = os.path.join(folder, name)
        with open(path, encoding="utf-8") as f:
            lines = f.read().split("\n")
        entry = None
        for i, line in enumerate(lines):
            if line.startswith("### "):
                entry = Entry(path, line[4:].strip(), i + 1)
                entries.append(entry)
                continue
            if entry is None:
                continue
            m = ROWS_COMMENT.search(line)
            if m:
                entry.rows += ast.literal_eval(m.group(1))
            if line.startswith("    > ") or line.startswith("    < "):
                first, _ = entry.example
                entry.example = (i if first is None else first, i)
                if line.startswith("    > "):
                    entry.sends.append(decode(line[6:]))
                else:
                    entry.expected += decode(line[6:])
    return entries


def simulate(build, card, data):
    with tempfile.TemporaryDirectory() as tmp:
        copy = os.path.join(tmp, "card.img")
        shutil.copyfile(card, copy)
        r = subprocess.run([os.path.join(build, "zefo5"), "--sd", copy, "--display", "none",
                            "--max-ms", str(MAX_MS)], input=data, capture_output=True, timeout=300)
        return r.stdout, r.returncode


def run_example(build, card, startup, entry):
    data = b"".join(s + b"\r" for s in entry.sends)
    out, status = simulate(build, card, data)
    if not out.startswith(startup):  # a reset in the example: the whole run is its reply
        return out, status, out
    return out[len(startup):], status, out


def split_replies(sends, reply):
    """The reply cut into one piece per host line: each ends at a status line (">", "!", "#")."""
    pieces, start, i = [], 0, 0
    while i < len(reply) and len(pieces) < len(sends) - 1:
        if reply[i] in b">!#" and reply[i + 1:i + 2] == b"\r" and (i == 0 or reply[i - 1] == 13):
            pieces.append(reply[start:i + 2])
            start = i + 2
            i += 2
            continue
        i += 1
    pieces.append(reply[start:])
    while len(pieces) < len(sends):
        pieces.append(b"")
    return pieces


def reply_lines(data):
    """"< " lines for a reply: one per CR, long lines cut at 100 characters."""
    lines, line = [], ""
    for b in data:
        line += encode(bytes([b]))
        if b == 13 or len(line) >= 100:
            lines.append(line)
            line = ""
    if line:
        lines.append(line)
    return lines


def rewrite(entries, results):
    by_file = {}
    for e in entries:
        if e in results:
            by_file.setdefault(e.path, []).append(e)
    for path, items in by_file.items():
        with open(path, encoding="utf-8") as f:
            lines = f.read().split("\n")
        for e in sorted(items, key=lambda e: e.example[0], reverse=True):
            first, last = e.example
            block = []
            for send, piece in zip(e.sends, split_replies(e.sends, results[e])):
                block.append("    > " + encode(send))
                block += ["    < " + l for l in reply_lines(piece)]
            lines[first:last + 1] = block
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))


def main(argv):
    update = "--update" in argv
    only = argv[argv.index("--only") + 1] if "--only" in argv else None
    root = argv[argv.index("--root") + 1] if "--root" in argv else ROOT
    args = [a for a in argv if not a.startswith("--") and a not in (only, root)]
    build = os.path.abspath(args[0] if args else os.path.join(ROOT, "build"))
    card = os.path.join(build, "cards", "demo.img")
    faults = []
    rows = catalogue_rows(root)
    entries = read_entries(root)
    documented = {r for e in entries for r in e.rows}
    for r in rows:
        if r not in documented:
            faults.append(f"catalogue row {r!r} has no entry in docs/reference/")
    for e in entries:
        where = f"{os.path.relpath(e.path, root)}:{e.lineno} ({e.heading})"
        for r in e.rows:
            if r not in rows:
                faults.append(f"{where}: names row {r!r}, which the catalogue does not have")
        if not e.rows:
            faults.append(f"{where}: names no catalogue row")
        if not e.sends:
            faults.append(f"{where}: has no example")
    todo = [e for e in entries if e.sends and (only is None or only in e.heading)]
    startup, _ = simulate(build, card, b"")
    results = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        runs = {e: pool.submit(run_example, build, card, startup, e) for e in todo}
        for e in todo:
            reply, status, out = runs[e].result()
            where = f"{os.path.relpath(e.path, root)}:{e.lineno} ({e.heading}; rows {e.rows})"
            if status != 0:
                faults.append(f"{where}: the simulator ended with status {status}")
            if update:
                results[e] = reply
            elif reply != e.expected:
                sent = " | ".join(encode(s) for s in e.sends)
                faults.append(f"{where}: the reply changed\n  sent     {sent}\n"
                              f"  expected {encode(e.expected)}\n  actual   {encode(reply)}")
    if update:
        rewrite(entries, results)
        print(f"reference_examples: {len(results)} examples recorded")
    for f in faults:
        print("reference_examples: " + f, file=sys.stderr)
    if not faults:
        print(f"reference_examples: {len(rows)} catalogue rows documented, {len(todo)} examples hold")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
