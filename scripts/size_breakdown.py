#!/usr/bin/python3
"""Ranks what the bytes of a linked executable are, from the linker's map.

Usage: size_breakdown.py MAP STRIPPED_EXE [--top N]
           [--symbols EXE_WITH_SYMBOLS --tools TRIPLE- --library NAME=ARCHIVE ...]

Every input section of the map is charged to an owner (one of our folders,
jansson, zlib, the C++ runtime, the C runtime, the thread library) and its
unwind tables (.eh_frame) to one line of their own. The rest of the file
(headers, section alignment, import and relocation tables, resources) is
read from the stripped executable's section table, so the lines add up to
its size.

After link-time optimisation one object holds the code of every library
that went through the optimiser. Its bytes are split by the symbols of an
unstripped copy of the executable: each symbol owns the bytes up to the next
one, C++ names are charged by their outermost namespace (our namespaces are
our folders), and C names to the library whose archive defines them.
"""
import re
import subprocess
import struct
import sys
from collections import defaultdict

# Our namespaces, by the folder that holds them.
NAMESPACE_FOLDERS = {
    "base": "base/", "switches": "base/", "download": "download/",
    "distribution": "distribution/", "installer": "installer/", "ui": "ui/",
    "setup": "setup/", "stats": "stats/", "diagnostics": "diagnostics/",
    "win": "win/", "Gdiplus": "ui/",  # the SDK's inline GDI+ classes serve the window
}
TEMPLATES = "ours: C++ library templates (std::) instantiated in our code"
FILE_LOCAL = "ours: functions outside namespaces"
UNNAMED = "ours: constants without a symbol (strings, tables)"

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
    """Returns the bytes charged by owner, and the optimised object's input
    sections as (address, size) pairs, which the caller splits by symbol."""
    charged = defaultdict(int)
    optimised = []
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
            elif where.endswith(".ltrans.o"):
                optimised.append((int(m.group(2), 16), size))
            else:
                charged[owner(where)] += size
    return charged, optimised


def outermost_scope(mangled):
    """The first name of a mangled C++ name's scope: "download" for
    _ZN8download10Downloader..., "std" for std:: names, "" for none."""
    # Vtables, type data, guards and locals of a function name the function:
    # a guard of a local static is "GVZN...".
    m = re.sub(r"^(?:TV|TI|TS|TT|GV|GR|Z)+", "", mangled[2:])
    if m.startswith("Th") or m.startswith("Tv"):  # thunks: skip the offsets
        m = re.sub(r"^T[hv]n?\d+_(n?\d+_)?", "", m)
    if m.startswith("N"):
        m = m[1:].lstrip("KVrRO")
    if m.startswith("St") or re.match(r"S[absiod]", m):
        return "std"
    m = m.lstrip("L")
    d = re.match(r"(\d+)", m)
    if not d:
        return ""
    start = len(d.group(1))
    return m[start:start + int(d.group(1))]


def symbol_owner(name, libraries):
    base = name.split(".", 1)[0]  # .lto_priv.0, .constprop.0, .isra.0, .part.0
    for library, names in libraries.items():
        if base in names:
            return library
    if not base.startswith("_Z"):
        return FILE_LOCAL
    scope = outermost_scope(base)
    if scope in ("std", "__gnu_cxx", "__cxxabiv1"):
        return TEMPLATES
    if scope in NAMESPACE_FOLDERS:
        return "ours: " + NAMESPACE_FOLDERS[scope]
    return FILE_LOCAL


def image_symbols(nm, path, underscore):
    """(address, name) of the defined symbols of a linked image."""
    out = subprocess.run([nm, "-n", "--defined-only", path], capture_output=True,
                         text=True, check=True).stdout
    symbols = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) != 3 or parts[1] in "aA" or parts[2].startswith("."):
            continue
        symbols.append((int(parts[0], 16), unprefixed(parts[2], underscore)))
    return symbols


def archive_names(objdump, path, underscore):
    """The names that an archive's objects define, static ones included.
    (nm would list the optimiser's symbol table, which has no static names.)"""
    out = subprocess.run([objdump, "-t", path], capture_output=True, text=True,
                         check=True).stdout
    names = set()
    for m in re.finditer(r"^\[ *\d+\]\(sec +(-?\d+)\).* (\S+)$", out, re.M):
        if int(m.group(1)) > 0 and not m.group(2).startswith("."):
            # Without the compiler's suffixes (.isra.0, .part.0), as in symbol_owner.
            names.add(unprefixed(m.group(2), underscore).split(".", 1)[0])
    return names


def unprefixed(name, underscore):
    return name[1:] if underscore and name.startswith("_") else name


def split_optimised(charged, optimised, tools, image, libraries):
    nm, objdump = tools + "nm", tools + "objdump"
    underscore = tools.startswith("i686")  # 32-bit names start with an underscore
    libraries = {lib: archive_names(objdump, archive, underscore)
                 for lib, archive in libraries.items()}
    symbols = image_symbols(nm, image, underscore)
    for start, size in optimised:
        end = start + size
        inside = [(a, n) for a, n in symbols if start <= a < end]
        if not inside or inside[0][0] > start:
            inside.insert(0, (start, ""))
        for i, (address, name) in enumerate(inside):
            following = inside[i + 1][0] if i + 1 < len(inside) else end
            who = symbol_owner(name, libraries) if name else UNNAMED
            charged[who] += following - address


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
    symbols_exe, tools, libraries = None, None, {}
    while len(argv) > 3:
        option, value = argv.pop(3), argv.pop(3)
        if option == "--symbols":
            symbols_exe = value
        elif option == "--tools":
            tools = value
        elif option == "--library":
            name, archive = value.split("=", 1)
            libraries[name] = archive
        else:
            sys.exit(f"unknown option {option}")
    map_path, exe_path = argv[1], argv[2]
    total, sections = pe_sections(exe_path)
    charged, optimised = parse_map(map_path)
    if optimised:
        if not symbols_exe or not tools:
            sys.exit("the map holds a link-time optimised object: give --symbols and --tools")
        split_optimised(charged, optimised, tools, symbols_exe, libraries)
    rows = sorted(charged.items(), key=lambda kv: -kv[1])
    rsrc = sections.get(".rsrc", 0)
    rest = total - rsrc - sum(charged.values())
    width = max([34] + [len(name) for name in charged])
    print(f"{'part':<{width}} {'bytes':>9} {'share':>6}")
    for name, size in rows[:top] if top else rows:
        print(f"{name:<{width}} {size:>9,} {100 * size / total:>5.1f}%")
    print(f"{'resources (.rsrc)':<{width}} {rsrc:>9,} {100 * rsrc / total:>5.1f}%")
    print(f"{'imports, relocations, headers, padding':<{width}} {rest:>9,} {100 * rest / total:>5.1f}%")
    print(f"{'total':<{width}} {total:>9,}")
    print(f"{'not resources (total - .rsrc)':<{width}} {total - rsrc:>9,}")


if __name__ == "__main__":
    main(sys.argv)
