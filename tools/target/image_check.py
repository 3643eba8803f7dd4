#!/usr/bin/env python3
"""Checks and size reports of the bare-metal ARM firmware images.

  image_check.py check IMAGE.elf      after each link: no allocator, no exception or RTTI support,
                                      flash and RAM within budget; on failure the image is deleted
                                      so that the build stays failed.
  image_check.py report IMAGE.elf...  the size table of each image, what its biggest items cost,
                                      and the fixed regions of the board's memory.

Both read the link map written beside the image (IMAGE.map, with its cross-reference table).
"""
import os
import re
import subprocess
import sys
import tempfile

FLASH_BUDGET = 0x1F0000  # the firmware image area of the program flash
PROGRAM_RAM = 0x400000  # program RAM: 0x08000000 up to the resource region
RESOURCE_REGION = (0x08400000, 0xB00000)
VIDEO_RAM = (0x08F00000, 0x100000)
POOL_SIZE = 100000
PANELS = {"zefo5": ("wvga1", 800, 480), "zefo5-wvga2": ("wvga2", 800, 480), "zefo5-vga": ("vga", 640, 480)}
ROOMS = ["app", "serial", "macro", "touch", "displays", "resource", "settings", "sdcard", "fat", "gfx", "base",
         "config", "board/bsp", "board/services", "board/versatilepb", "tests/target"]
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))

# Allocation in any form: the C allocator and its relatives, the C++ operators.
ALLOCATORS = {"malloc", "free", "calloc", "realloc", "reallocf", "reallocarray", "memalign", "aligned_alloc",
              "posix_memalign", "valloc", "pvalloc", "sbrk", "_sbrk", "_sbrk_r", "strdup", "strndup",
              "_strdup_r", "_strndup_r", "asprintf", "vasprintf", "_asprintf_r", "_vasprintf_r",
              "open_memstream", "fmemopen", "__malloc_av_", "_malloc_r_nano"}
CXX_ALLOC = re.compile(r"^(_Z(nw|na|dl|da)[jmPvSt]|operator (new|delete))")
# The C library reaches its allocation entry points internally (stream buffers); the board
# answers them with failure. Nothing else may call them.
LIBRARY_ALLOC = {"_malloc_r", "_calloc_r", "_realloc_r", "_free_r", "_memalign_r"}
EXCEPTIONS = {"__cxa_throw", "__cxa_allocate_exception", "__cxa_begin_catch", "__cxa_end_catch", "__cxa_rethrow",
              "__gxx_personality_v0", "_Unwind_Resume", "_Unwind_RaiseException", "__dynamic_cast",
              "__cxa_bad_cast", "__cxa_bad_typeid", "__aeabi_unwind_cpp_pr1", "__aeabi_unwind_cpp_pr2",
              "__cxa_guard_acquire", "__cxa_atexit"}
RTTI = re.compile(r"^_ZT[IS]")
# newlib-nano prints and scans floating point only with its float support linked in, and that
# allocates: a float conversion in a format string would print nothing or stop the board.
FLOAT_CONVERSION = re.compile(rb"%[-+ #0]*(\d+|\*)?(\.(\d+|\*))?[lL]?[eEfFgGaA]")


def tool(name):
    return "arm-none-eabi-" + name


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def is_library(path):
    return "/arm-none-eabi/lib/" in path or "/gcc/arm-none-eabi/" in path


def parse_cref(map_text):
    """symbol -> (defining file or None, [referencing files])"""
    at = map_text.find("Cross Reference Table")
    table = {}
    if at < 0:
        return table
    current = None
    for line in map_text[at:].splitlines()[3:]:
        if not line.strip():
            continue
        if not line[0].isspace():
            parts = line.split(None, 1)
            current = parts[0]
            table[current] = []
            if len(parts) > 1:
                table[current].append(parts[1].strip())
        elif current:
            table[current].append(line.strip())
    return {s: (files[0] if files else None, files[1:]) for s, files in table.items()}


def section_sizes(elf):
    sizes = {}
    for line in run(tool("size"), "-A", elf).splitlines():
        m = re.match(r"^(\.\S+)\s+(\d+)\s+(\d+)", line)
        if m:
            sizes[m.group(1)] = (int(m.group(2)), int(m.group(3)))
    return sizes


def summarize(elf):
    s = section_sizes(elf)
    get = lambda name: s.get(name, (0, 0))[0]
    text = get(".text")
    rodata = get(".rodata") + get(".ARM.exidx") + get(".ARM.extab") + get(".init_array")
    data = get(".data")
    bss = get(".bss")
    stacks = get(".stack")
    return {"text": text, "rodata": rodata, "data": data, "flash": text + rodata + data, "bss": bss,
            "stacks": stacks, "ram": data + bss + stacks, "ctors": get(".init_array") // 4}


def format_strings(elf, map_text):
    """The string literals of the image that hold a '%': the sections the compiler keeps string
    literals in, as the link map places them (tables and fonts may hold any bytes)."""
    sizes = section_sizes(elf)
    if ".rodata" not in sizes:
        return []
    base = sizes[".rodata"][1]
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "rodata.bin")
        run(tool("objcopy"), "-O", "binary", "--only-section=.rodata", elf, path)
        rodata = open(path, "rb").read()
    found = []
    for m in re.finditer(r"^ (\.rodata(?:\.[\w.$]+)?\.str1\.\d+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)", map_text, re.M):
        at, size = int(m.group(2), 16) - base, int(m.group(3), 16)
        if size and 0 <= at < len(rodata):
            found += [t for t in rodata[at:at + size].split(b"\0") if b"%" in t]
    return found


def check(elf):
    problems = []
    map_path = os.path.splitext(elf)[0] + ".map"
    map_text = open(map_path).read()
    cref = parse_cref(map_text)
    for sym, (definer, users) in sorted(cref.items()):
        files = ([definer] if definer else []) + users
        own = [f for f in files if not is_library(f)]
        if sym in ALLOCATORS or CXX_ALLOC.match(sym):
            problems.append("allocator %s in the link (%s)" % (sym, ", ".join(files) or "?"))
        elif sym in LIBRARY_ALLOC and [f for f in users if not is_library(f)]:
            problems.append("%s called by %s" % (sym, ", ".join(f for f in users if not is_library(f))))
        elif sym in EXCEPTIONS or (RTTI.match(sym) and own):
            problems.append("exception or RTTI support %s in the link (%s)" % (sym, ", ".join(files)))
    for text in format_strings(elf, map_text):
        if FLOAT_CONVERSION.search(text.replace(b"%%", b"")):
            problems.append("floating-point conversion in %r" % text.decode("latin-1"))
    defined = run(tool("nm"), elf)
    for line in defined.splitlines():
        name = line.split()[-1]
        if name in ALLOCATORS and not any(name in p for p in problems):
            problems.append("allocator %s in the image" % name)
    t = summarize(elf)
    if t["flash"] > FLASH_BUDGET:
        problems.append("flash %d bytes over the budget of %d" % (t["flash"], FLASH_BUDGET))
    if t["ram"] > PROGRAM_RAM:
        problems.append("RAM %d bytes over the program RAM of %d" % (t["ram"], PROGRAM_RAM))
    if problems:
        for p in problems:
            print("%s: %s" % (os.path.basename(elf), p), file=sys.stderr)
        os.remove(elf)
        return 1
    return 0


# ---------------------------------------------------------------------------------------------
# The report.

FIRMWARE_ROOMS = [r for r in ROOMS if r not in ("board/versatilepb", "tests/target")]


def source_index(cache={}):
    """Source file name -> the directories (relative to the repository) that hold one."""
    if not cache:
        for room in ROOMS:
            for dirpath, _, files in os.walk(os.path.join(ROOT, room)):
                for f in files:
                    cache.setdefault(f, []).append(os.path.relpath(dirpath, ROOT))
    return cache


def room_of(obj, cache={}):
    """The directory of the source a (possibly archived) object file was compiled from."""
    if is_library(obj):
        lib = os.path.basename(obj.split("(")[0])
        return "libgcc" if lib.startswith("libgcc") else "C library"
    if obj in cache:
        return cache[obj]
    m = re.search(r"^(.*)\(([^)]+)\)$", obj)
    archive, base = (m.group(1), m.group(2)) if m else (None, os.path.basename(obj))
    src = re.sub(r"\.(obj|o)$", "", base)
    path = "/" + obj.replace("\\", "/")
    dirs = source_index().get(src, [])
    if archive:
        dirs = [d for d in dirs if not d.startswith(("board/versatilepb", "tests/target"))]
    # The last directory named in the object's path is its source's (build directories come first).
    inpath = sorted((path.rfind("/" + d + "/"), d) for d in dirs if "/" + d + "/" in path)
    if inpath:
        dirs = [inpath[-1][1]]
    cache[obj] = "/".join(dirs) if dirs else "?"
    return cache[obj]


def map_items(map_text):
    """(kind, name, size, object) for every input section placed in the image."""
    start = map_text.find("Linker script and memory map")
    end = map_text.find("Cross Reference Table")
    body = map_text[start:end if end > 0 else None].splitlines()
    items = []
    pending = None
    kinds = (("text", ".text"), ("rodata", ".rodata"), ("data", ".data"), ("bss", ".bss"), ("bss", "COMMON"))
    for line in body:
        m = re.match(r"^ (\.[\w.$]+|COMMON)\s*$", line)
        if m:
            pending = m.group(1)
            continue
        m = re.match(r"^ (\.[\w.$]+|COMMON)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m and (m.group(1) or pending):
            section = m.group(1) or pending
            pending = None
            size = int(m.group(3), 16)
            if size == 0 or int(m.group(2), 16) == 0:
                continue
            for kind, prefix in kinds:
                if section == prefix or section.startswith(prefix + "."):
                    name = section[len(prefix) + 1:] if section != prefix else ""
                    items.append((kind, name, size, m.group(4).strip()))
                    break
            continue
        pending = None
    return items


def demangle(names):
    if not names:
        return {}
    out = subprocess.run([tool("c++filt")], input="\n".join(names), capture_output=True, text=True).stdout
    return dict(zip(names, out.splitlines()))


def human(n):
    return "{:,}".format(n)


def report(elfs, top):
    for elf in elfs:
        program = os.path.splitext(os.path.basename(elf))[0]
        panel, width, height = PANELS.get(program, ("-", 800, 480))
        t = summarize(elf)
        print("%s (%s)" % (os.path.basename(elf), panel))
        print("  %-8s %12s" % ("text", human(t["text"])))
        print("  %-8s %12s" % ("rodata", human(t["rodata"])))
        print("  %-8s %12s" % ("data", human(t["data"])))
        print("  %-8s %12s  of %s program flash (%.1f%%)" % ("flash", human(t["flash"]), human(FLASH_BUDGET),
                                                             100.0 * t["flash"] / FLASH_BUDGET))
        print("  %-8s %12s" % ("bss", human(t["bss"])))
        print("  %-8s %12s" % ("stacks", human(t["stacks"])))
        print("  %-8s %12s  of %s program RAM (%.1f%%)" % ("RAM", human(t["ram"]), human(PROGRAM_RAM),
                                                           100.0 * t["ram"] / PROGRAM_RAM))
        print("  fixed    resource region 0x%08X %s, video RAM 0x%08X %s (frame buffer %dx%d: %s)" % (
            RESOURCE_REGION[0], human(RESOURCE_REGION[1]), VIDEO_RAM[0], human(VIDEO_RAM[1]), width, height,
            human(width * height * 2)))
        if t["ctors"]:
            print("  static constructors: %d" % t["ctors"])

        items = map_items(open(os.path.splitext(elf)[0] + ".map").read())
        # Merged string literals and constants are summed per object file; sections without a
        # name of their own (the C library's) are named after their object.
        named = {}
        for kind, name, size, obj in items:
            name = re.sub(r"^(startup|unlikely|hot|exit)\.", "", name)
            if re.search(r"(^|\.)(str1\.\d+|cst\d+)$", name):
                name = "(strings and constants)"
            elif not name:
                member = re.search(r"\(([^)]+)\)$", obj)
                name = "(%s)" % (member.group(1) if member else os.path.basename(obj))
            room = room_of(obj)
            if room.endswith("/fonts"):  # a compiled font: its glyphs and tables as one item
                member = re.search(r"([^/(]+?)\.cpp\.(obj|o)\)?$", obj)
                name = "font " + (member.group(1) if member else obj)
            key = (kind, name, room)
            named[key] = named.get(key, 0) + size
        names = demangle(sorted({k[1] for k in named if k[1].startswith("_Z")}))
        fixed = [("graphics pool", [k for k, v in named.items() if k[0] == "bss" and v == POOL_SIZE]),
                 ("main receive ring", [k for k in named if k[1] == "rxBuf"]),
                 ("aux receive ring", [k for k in named if k[1] == "aRxBuf"])]
        def label(key):
            return "%s %s" % (names.get(key[1], key[1]).replace("(anonymous namespace)::", ""), human(named[key]))

        print("  fixed by the design: " + "; ".join(
            "%s %s" % (what, ", ".join(label(k) for k in keys) if keys else "not found") for what, keys in fixed))
        print("  biggest items (fonts below):")
        others = [(k, v) for k, v in named.items() if not k[1].startswith("font ")]
        for (kind, name, room), size in sorted(others, key=lambda kv: -kv[1])[:top]:
            print("    %10s  %-6s %-17s %s" % (human(size), kind, room, names.get(name, name)))
        fonts = sorted(((v, k[1][5:]) for k, v in named.items() if k[1].startswith("font ")), reverse=True)
        if fonts:
            print("  fonts: %d compiled, %s bytes:" % (len(fonts), human(sum(v for v, _ in fonts))))
            line = "   "
            for size, name in fonts:
                entry = " %s %s," % (name, human(size))
                if len(line) + len(entry) > 108:
                    print(line)
                    line = "   "
                line += entry
            print(line.rstrip(","))
        rooms = {}
        for (kind, name, room), size in named.items():
            if kind == "bss":
                continue
            rooms[room] = rooms.get(room, 0) + size
        print("  flash by room: " + ", ".join("%s %s" % (r, human(s)) for r, s in
                                               sorted(rooms.items(), key=lambda kv: -kv[1])))
        print()
    return 0


def main(argv):
    if len(argv) >= 3 and argv[1] == "check":
        return max(check(e) for e in argv[2:])
    if len(argv) >= 3 and argv[1] == "report":
        top = 20
        elfs = [a for a in argv[2:] if not a.startswith("--top=")]
        for a in argv[2:]:
            if a.startswith("--top="):
                top = int(a[6:])
        return report(elfs, top)
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
