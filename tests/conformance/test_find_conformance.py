#!/usr/bin/env python3
"""FindFirstFileA of the Linux simulation against the real call under Wine.

A small folder tree is made, and the paths and patterns below are looked up
through probes/find_probe.exe (under Wine) and through the simulation's probe;
the answers (whether a handle came back: all the programs ask of it) must
agree. A request of a path and a mode opens a text stream instead (fopen
against the simulation's OpenDosStream). Where Windows and Wine are known to
differ, the simulation follows Windows: such a case is listed in
KNOWN_DIFFERENCES with both answers and checked both ways, never skipped.
"""
import os
import shutil
import sys
import tempfile

from conformance_common import probes_or_skip, run_and_compare
import wine

TREE = {
    "RegOST.ini": b"[VERSION]\r\nVersion=17.1\r\n",
    "readme.txt": b"x",
    "noext": b"x",
    "a.b.c": b"x",
    "LongFileName.html": b"x",
    "Caf\u00e9.txt": b"x",
    "dir1/in1.txt": b"x",
    "Tools/": None,
    "q/noext": b"x",
    "dotted/x.txt": b"x",
}

# Paths starting with "@" are taken below the tree's folder as an absolute
# DOS path; the others as they stand (relative ones from the tree's folder).
PATHS = [
    "@\\regost.INI", "@\\REGOST.INI", "@\\RegOS?.ini", "@\\????.ini", "@\\*.INI",
    "@\\noext.", "@\\RegOST.ini.", "@\\RegOST.ini ", "@\\RegOST.ini...",
    "@\\dir1", "@\\dir1\\.", "@\\DIR1\\IN1.TXT", "@\\dir1\\*.txt", "@\\dir1\\*",
    "@\\dir1\\*.*", "@\\dir1\\in?.txt", "@\\dir1\\", "@\\dir1\\\\", "@\\nosuch\\x.txt",
    "@\\missing.txt", "@\\d*\\in1.txt", "@\\dir?\\in1.txt", "@\\dir1\\..\\RegOST.ini",
    "@\\dir1.\\in1.txt", "@/dir1/in1.txt", "@\\\\dir1\\\\in1.txt", "@\\a.b.c", "@\\*.c",
    "@\\a.b.*", "@\\a.?.c", "@\\A.B.C", "@\\*.html", "@\\Long*", "@\\*ong*.HTML",
    "@\\caf\u00c9.TXT", "@\\Caf\u00e9.txt", "@\\Caf?.txt", "@\\tools", "@\\Tools\\*",
    "@\\Tools\\*.txt", "@\\dotted\\*.txt", "@\\dotted\\x.*", "@\\dotted\\*", "@\\q\\*xt",
    "@\\RegOST.ini\\x", "@\\*", "@\\*.", "@\\q\\noext", "@\\q\\NOEXT.*", "@\\q\\*.",
    "@\\nosuch\\", "", "Z:\\", "Q:\\", "Q:\\x.txt",
    "RegOST.ini", "dir1\\in1.txt", ".\\dir1\\..\\readme.txt", "Tools", "tools\\*",
    "nosuch\\*", "*.txt\\x", "dir1\\in1.txt\\",
    # Device names, in any folder that exists.
    "@\\NUL", "@\\nul.arx", "@\\dir1\\Nul .txt", "@\\CON", "@\\COM1", "@\\LPT1", "@\\aux:x",
    "@\\COM0", "@\\COM10", "@\\nosuch\\NUL", "@\\RegOST.ini\\NUL", "NUL", "nul.arx",
    # Full paths of 259 characters ({pad} makes them so); text streams too.
    "@\\{pad}\\x.txt", ("@\\{pad}\\x.txt", "r"), ("@\\{pad}\\y.txt", "a"),
    ("@\\RegOST.ini", "r"), ("@\\nosuch\\x.log", "a"), ("@\\dir1", "a"),
]

# path -> (Wine's answer, Windows' answer, why). The simulation must give the
# Windows answer.
KNOWN_DIFFERENCES = {
    "@\\RegOST.ini?": ("ERR", "OK", "'?' before the end may match nothing on Windows (DOS_QM)"),
    "@\\q\\no????.???": ("ERR", "OK",
                         "'?' before a dot or the end may match nothing on Windows (DOS_QM)"),
    "@\\q\\noext?": ("ERR", "OK", "'?' at the end may match nothing on Windows (DOS_QM)"),
    "Z:": ("ERR", "OK DIR", "a bare drive is its current folder on Windows"),
    "@\\*.htm": ("OK", "ERR", "Wine matches 8.3 aliases; the simulation has no short names"),
    "@\\{pad}p\\x.txt": ("OK", "ERR", "a full path of MAX_PATH characters fails on Windows"),
    ("@\\{pad}p\\x.txt", "r"): ("OK", "ERR 2",
                                "Wine's fopen opens paths of MAX_PATH characters and more"),
    ("@\\{pad}p\\y.txt", "a"): ("OK", "ERR 2",
                                "Wine's fopen opens paths of MAX_PATH characters and more"),
}


def make_tree(root, pad):
    tree = dict(TREE)
    tree["%s/x.txt" % pad] = b"x"
    tree["%sp/x.txt" % pad] = b"x"
    for name, data in tree.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if data is None:
            os.makedirs(path, exist_ok=True)
        else:
            with open(path, "wb") as f:
                f.write(data)


def main():
    windows_probe, simulation_probe = probes_or_skip("find_probe.exe")
    work = tempfile.mkdtemp(prefix="regost-find-")
    try:
        root = os.path.join(work, "Find")
        dos_root = wine.dos_path(root)
        # "{pad}" makes "@\\{pad}\\x.txt" a full path of 259 characters.
        pad = "p" * (259 - len(dos_root + "\\\\x.txt"))
        make_tree(root, pad)

        def with_root(request):
            path, mode = (request, None) if isinstance(request, str) else request
            path = (dos_root + path[1:]) if path.startswith("@") else path
            path = path.replace("{root}", dos_root).replace("{pad}", pad)
            return (path,) if mode is None else (path, mode)

        paths = PATHS + [p for p in KNOWN_DIFFERENCES if p not in PATHS]
        requests = [with_root(p) for p in paths]
        known = {with_root(p): v for p, v in KNOWN_DIFFERENCES.items()}
        failures = run_and_compare(windows_probe, simulation_probe, "find", requests, known, root)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d paths, %d known differences, %d failures"
          % (len(requests), len(KNOWN_DIFFERENCES), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
