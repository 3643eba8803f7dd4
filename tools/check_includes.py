#!/usr/bin/env python3
"""Checks that rooms include downwards only.

The rooms and their layers come from the layout table in README.md (rows "| `room/` | layer | ...").
A source file may include headers of its own room and of rooms on a lower layer; an include of a
room on the same or a higher layer, or of a folder that is not in the table, is reported and the
check fails. Rooms on one layer never include each other, so the graph has no cycles.

    tools/check_includes.py [ROOT]            check; exit status 1 on any violation
    tools/check_includes.py --graph [ROOT]    print the room graph (edges with include counts)
"""
import os
import re
import subprocess
import sys

ROW = re.compile(r"^\|\s*`([a-z0-9_/]+)/`\s*\|\s*(\d+)\s*\|")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCES = (".cpp", ".h", ".c", ".S")
UNCHECKED = ("tests/",)  # tests may reach any room


def read_layers(root):
    layers = {}
    with open(os.path.join(root, "README.md"), encoding="utf-8") as f:
        for line in f:
            m = ROW.match(line)
            if m:
                layers[m.group(1)] = int(m.group(2))
    return layers


def room_of(path, layers):
    """The longest room in the table that holds path, or None."""
    best = None
    for room in layers:
        if path.startswith(room + "/") and (best is None or len(room) > len(best)):
            best = room
    return best


def sources(root):
    """The files git tracks below root; outside a git checkout, every file below it."""
    try:
        out = subprocess.run(["git", "ls-files"], cwd=root, capture_output=True, text=True, check=True).stdout
        paths = out.split("\n")
    except (OSError, subprocess.CalledProcessError):
        paths = [os.path.relpath(os.path.join(d, f), root) for d, _, files in os.walk(root) for f in files]
    return [p for p in paths if p.endswith(SOURCES) and not p.startswith(UNCHECKED)]


def edges(root, layers):
    """(from room, to room, file, included path) for every include between two folders."""
    for path in sources(root):
        room = room_of(path, layers)
        if room is None:
            yield None, None, path, None
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for inc in INCLUDE.findall(text):
            if "/" not in inc:
                continue  # a header beside the file, or a system header in quotes
            yield room, room_of(inc, layers), path, inc


def main(argv):
    graph = "--graph" in argv
    args = [a for a in argv if not a.startswith("--")]
    root = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    layers = read_layers(root)
    if not layers:
        print("check_includes: no layout table with layers in README.md", file=sys.stderr)
        return 1
    faults = []
    counts = {}
    for src, dst, path, inc in edges(root, layers):
        if src is None:
            faults.append(f"{path}: not in a room of the README's layout table")
            continue
        if dst is None:
            faults.append(f'{path}: includes "{inc}", which is in no room of the layout table')
            continue
        if src == dst:
            continue
        counts[(src, dst)] = counts.get((src, dst), 0) + 1
        if layers[dst] >= layers[src]:
            faults.append(f'{path}: includes "{inc}": {src}/ (layer {layers[src]}) may not include '
                          f"{dst}/ (layer {layers[dst]})")
    if graph:
        for (src, dst), n in sorted(counts.items(), key=lambda e: (-layers[e[0][0]], e[0])):
            print(f"{src} -> {dst} ({n})")
    for fault in sorted(set(faults)):
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
