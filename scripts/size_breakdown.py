#!/usr/bin/python3
"""Ranks what the bytes of a linked executable are, from the linker's map.

Usage: size_breakdown.py MAP STRIPPED_EXE [--top N]

Every input section of the map is charged to an owner (one of our folders,
jansson, zlib, the C++ runtime, the C runtime, the thread library) and its
unwind tables (.eh_frame) to one line of their own. The rest of the file
(headers, section alignment, import and relocation tables, resources) is
read from the stripped executable's section table, so the lines add up to
its size.
"""
import re
import struct
import sys
from collections import defaultdict

# Output sections whose bytes are charged to the objects that supply them.
CHARGED = {".text", ".data", ".rdata", ".eh_frame", ".CRT", ".tls", "MPid", "Shared"}

INPUT_RE = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
OUTPUT_RE = re.compile(r"^(\S+)\s*(0x[0-9a-f]+)?")


def owner(path):
    """Names the part of the program that an object file of the map belongs to."""
    p = path.replace("\\", "/")
    lib = re.search(r"([^/()]+\.a)\(", p)
    lib = lib.group(1) if lib else None
    if lib == "libjansson.a":
        return "jansson"
    if lib in ("libz.a", "libzlib_static.a"):
        return "zlib"
    if lib in ("libstdc++.a", "libsupc++.a"):
        return "C++ runtime (libstdc++)"
    if lib in ("libpthread.a", "libwinpthread.a"):
        return "thread library (winpthreads)"
    if lib and lib.endswith("_delay.a"):
        return "delay-load stubs"
    if lib in ("libgcc.a", "libgcc_eh.a"):
        return "C runtime (libgcc)"
    if lib and (lib.startswith("libmingw") or lib.startswith("libmsvcr")
                or lib.startswith("libucrt")):
        return "C runtime (mingw-w64)"
    if lib:
        if p.startswith("/"):
            # Import libraries of system DLLs: their thunks and name tables.
            return "import thunks"
        # One of ours, named relative to the build folder: ui/libui_window.a(...).
        return "ours: " + p.split("/")[0] + "/"
    if re.search(r"(^|/)(crt[^/]*|dllcrt[^/]*)\.o$", p):
        return "C runtime (mingw-w64)"
    if not p.startswith("/"):
        # An object of the executable itself: installer/CMakeFiles/lite_installer.dir/...
        return "ours: " + p.split("/")[0] + "/"
    return p


def parse_map(path):
    charged = defaultdict(int)
    section = None
    pending = None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith(" "):
                m = OUTPUT_RE.match(line)
                section = m.group(1) if m else None
                pending = None
                continue
            if section not in CHARGED:
                continue
            if re.match(r"^ \S+$", line):
                pending = line.strip()  # a long input-section name; numbers follow
                continue
            m = INPUT_RE.match(line)
            if not m:
                pending = None
                continue
            name = m.group(1) or pending
            pending = None
            if not name or name.startswith("*") or name == "*fill*":
                continue
            size = int(m.group(3), 16)
            where = m.group(4).strip()
            if not size or where.startswith("0x") or not re.search(r"\.(o|obj|a\(.*\))", where):
                continue
            if name.startswith(".eh_frame"):
                charged["unwind tables (.eh_frame)"] += size
            else:
                charged[owner(where)] += size
    return charged


def pe_sections(path):
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + opt_size
    sections = {}
    for i in range(count):
        raw = data[table + 40 * i: table + 40 * (i + 1)]
        name = raw[:8].rstrip(b"\0").decode("ascii", "replace")
        raw_size = struct.unpack_from("<I", raw, 16)[0]
        sections[name] = sections.get(name, 0) + raw_size
    return len(data), sections


def main(argv):
    top = None
    if "--top" in argv:
        i = argv.index("--top")
        top = int(argv[i + 1])
        del argv[i:i + 2]
    map_path, exe_path = argv[1], argv[2]
    total, sections = pe_sections(exe_path)
    charged = parse_map(map_path)
    rows = sorted(charged.items(), key=lambda kv: -kv[1])
    rsrc = sections.get(".rsrc", 0)
    rest = total - rsrc - sum(charged.values())
    width = 34
    print(f"{'part':<{width}} {'bytes':>9} {'share':>6}")
    for name, size in rows[:top] if top else rows:
        print(f"{name:<{width}} {size:>9,} {100 * size / total:>5.1f}%")
    print(f"{'resources (.rsrc)':<{width}} {rsrc:>9,} {100 * rsrc / total:>5.1f}%")
    print(f"{'imports, relocations, headers, padding':<{width}} {rest:>9,} {100 * rest / total:>5.1f}%")
    print(f"{'total':<{width}} {total:>9,}")
    print(f"{'not resources (total - .rsrc)':<{width}} {total - rsrc:>9,}")


if __name__ == "__main__":
    main(sys.argv)
