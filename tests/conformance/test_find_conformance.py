#!/usr/bin/env python3
"""FindFirstFileA of the Linux stand-in against the real call under Wine.

A small folder tree is made, and the paths and patterns below are looked up
through probes/find_probe.exe (under Wine) and through the stand-in's probe;
the answers (first name found and its attributes, or the error code) must
agree. Where Windows and Wine are known to differ, the stand-in follows
Windows: such a case is listed in KNOWN_DIFFERENCES with both answers and
checked both ways, never skipped.
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
    "@\\RegOST.ini\\x", "@\\*", "@\\*.", "@\\q\\noext", "@\\q\\NOEXT.*",
    "", "Z:\\", "Q:\\x.txt",
    "RegOST.ini", "dir1\\in1.txt", ".\\dir1\\..\\readme.txt", "Tools", "tools\\*",
    "nosuch\\*", "*.txt\\x", "dir1\\in1.txt\\",
]

# path -> (Wine's answer, Windows' answer, why). The stand-in must give the
# Windows answer.
KNOWN_DIFFERENCES = {
    "@\\RegOST.ini?": ("ERR 2", "OK RegOST.ini 20",
                       "'?' before the end may match nothing on Windows (DOS_QM)"),
    "@\\q\\no????.???": ("ERR 2", "OK noext 20",
                         "'?' before a dot or the end may match nothing on Windows (DOS_QM)"),
    "@\\q\\noext?": ("ERR 2", "OK noext 20",
                     "'?' at the end may match nothing on Windows (DOS_QM)"),
    "Q:\\": ("ERR 2", "ERR 3", "a missing folder with a trailing '\\' is error 3 on Windows (U)"),
    "Z:": ("ERR 2", "OK Find 10", "a bare drive is its current folder on Windows"),
    "@\\q\\*.": ("OK . 10", "OK . 10", "(same answer; a folder always has '.')"),
    "@\\*.htm": ("OK LongFileName.html 20", "ERR 2",
                 "Wine matches 8.3 aliases; the stand-in has no short names"),
    "@\\nosuch\\": ("ERR 2", "ERR 3", "a missing folder with a trailing '\\' is error 3 on Windows"),
}


def make_tree(root):
    for name, data in TREE.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if data is None:
            os.makedirs(path, exist_ok=True)
        else:
            with open(path, "wb") as f:
                f.write(data)


def main():
    windows_probe, standin_probe = probes_or_skip("find_probe.exe")
    work = tempfile.mkdtemp(prefix="regost-find-")
    try:
        root = os.path.join(work, "Find")
        make_tree(root)
        dos_root = wine.dos_path(root)

        def with_root(path):
            return ((dos_root + path[1:]) if path.startswith("@") else path,)

        paths = PATHS + [p for p in KNOWN_DIFFERENCES if p not in PATHS]
        requests = [with_root(p) for p in paths]
        known = {with_root(p): v for p, v in KNOWN_DIFFERENCES.items()}
        failures = run_and_compare(windows_probe, standin_probe, "find", requests, known, root)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d paths, %d known differences, %d failures"
          % (len(requests), len(KNOWN_DIFFERENCES), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
