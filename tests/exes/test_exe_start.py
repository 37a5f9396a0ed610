#!/usr/bin/env python3
"""Both Windows builds of RegOST.exe and RegOSTCtl.exe start at ProgramStart,
which runs none of the C runtime's start-up code: no constructors, no exit
tables, no TLS set-up, no pseudo-relocation fix-ups. This check fails an exe
that would need any of them, that imports from a DLL outside the three it
uses, or, on x86_64, that has a function without its unwind entry (.pdata),
without which a crash dump shows no stack. It reads each exe (objdump)
against its link map (RegOST.map, RegOSTCtl.map beside it).

REGOST_EXE and REGOST_EXE32 name the x86_64 and i686 RegOST.exe; exit 77
(skipped) without them or without the mingw-w64 binutils."""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from wine import skipped  # noqa: E402

DLLS = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"}
# Code from outside the project besides the import thunks: the compiler's
# stack probe, and mingw's C99 vsnprintf over msvcrt's with what it calls.
STATIC_MEMBERS = {"_chkstk_ms.o", "vsnprintf.o", "_vscprintf.o", "seterrno.o"}
IMPORT_THUNK = re.compile(r"/lib(\w+)\.a\(lib\1(?:_def)?(?:s\d+|h|t)\.o\)$")
# Input sections that only the C runtime's start-up code acts on.
START_SECTIONS = re.compile(r"\.(ctors?|dtors?|init_array|fini_array|tls|CRT|rdata_runtime_pseudo_reloc)")
INPUT = re.compile(r"^ (\.\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
PDATA = re.compile(r"^\s*[0-9a-f]+:\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s*$", re.MULTILINE)
PADDING = 16  # what a gap shorter than this is: alignment, or a leaf that needs no entry


def read_map(path):
    """The archive members the link took in, its loaded files, and the input
    sections of its memory map that hold bytes: (name, address, size, file)."""
    with open(path) as f:
        text = f.read()
    head, _, layout = text.partition("\nLinker script and memory map\n")
    members = re.findall(r"^(/\S+\.a\([^)]*\))", head.split("\nDiscarded input sections")[0],
                         re.MULTILINE)
    loaded = re.findall(r"^LOAD (\S+)", layout, re.MULTILINE)
    layout = re.sub(r"^ (\.\S+)\n\s+(0x)", r" \1 \2", layout, flags=re.MULTILINE)
    sections = [(m[1], int(m[2], 16), int(m[3], 16), m[4])
                for m in map(INPUT.match, layout.splitlines()) if m and int(m[3], 16) > 0]
    start = re.search(r"^\s+0x([0-9a-f]+)\s+_?ProgramStart$", layout, re.MULTILINE)
    return members, loaded, sections, int(start[1], 16) if start else None


def longest_gap(start, end, ranges):
    """The longest stretch of [start, end) that no range covers."""
    longest, position = 0, start
    for begin, stop in ranges:
        if stop > position and begin < end:
            longest = max(longest, begin - position)
            position = max(position, stop)
    return max(longest, end - position)


def problems(exe, tools):
    members, loaded, sections, start = read_map(os.path.splitext(exe)[0] + ".map")
    headers = subprocess.run([tools + "-objdump", "-h", "-p", exe], stdout=subprocess.PIPE,
                             check=True).stdout.decode()
    entry = [int(re.search(r"^%s\s+([0-9a-f]+)$" % field, headers, re.MULTILINE)[1], 16)
             for field in ("AddressOfEntryPoint", "ImageBase")]
    if start != sum(entry):
        return ["its map is not its link's: the entry differs"]
    found = []
    for name in re.findall(r"^\s*\d+\s+(\.tls|\.CRT)\s", headers, re.MULTILINE):
        found.append("section %s" % name)
    for dll in re.findall(r"DLL Name: (\S+)", headers):
        if dll.lower() not in DLLS:
            found.append("import from %s" % dll)
    for member in members:
        if not IMPORT_THUNK.search(member) and \
                re.search(r"\((?:\w+-)?([^()]+)\)$", member)[1] not in STATIC_MEMBERS:
            found.append("library member %s" % member)
    for path in loaded:
        if re.match(r"crt\w*\.o$", os.path.basename(path)):
            found.append("start-up object %s" % path)
    for name, _, size, path in sections:
        if START_SECTIONS.match(name):
            found.append("%s of %d bytes from %s" % (name, size, path))
    if tools.startswith("x86_64"):
        table = headers.partition("The Function Table")[2]
        ranges = sorted((int(b, 16), int(e, 16)) for b, e in PDATA.findall(table))
        for name, address, size, path in sections:
            if name.startswith(".text") and not IMPORT_THUNK.search(path) \
                    and not path.endswith("(_chkstk_ms.o)") \
                    and longest_gap(address, address + size, ranges) >= PADDING:
                found.append("no unwind entry for %s (%s)" % (name, path))
    return found


def main():
    builds = [(os.environ.get("REGOST_EXE", ""), "x86_64-w64-mingw32"),
              (os.environ.get("REGOST_EXE32", ""), "i686-w64-mingw32")]
    failed = False
    for exe, tools in builds:
        if not os.path.isfile(exe) or not shutil.which(tools + "-objdump"):
            return skipped("no %s build or its binutils to check" % tools)
        for program in ("RegOST.exe", "RegOSTCtl.exe"):
            path = os.path.join(os.path.dirname(exe), program)
            found = problems(path, tools)
            print("%s %s: %s" % (tools, program, "; ".join(found) or "ok"))
            failed |= bool(found)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
