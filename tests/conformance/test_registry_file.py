"""The simulation's registry against Wine's.

1. Round trip of the registry file: the simulation writes a fixture as REGEDIT4,
   `wine regedit /s` imports it, `wine regedit /e` exports it (UTF-16), and
   the simulation loads that export and saves it again. The keys, value names
   (with their case), types and data must be the same at every step.
2. RegEnumKeyExA order of keys created in mixed order and case: the simulation
   follows our model of Windows (ordinal order of upper-cased names); Wine
   sorts lower-cased names. The names they place differently are listed as
   known differences.
3. Result codes of the probe's checks (tests/conformance/registry_probe.h),
   the simulation's and Wine's, line by line, with the known differences marked.

Needs wine, enum_order_probe.exe in REGOST_PROBE_DIR and the Linux
regfile_tool (REGOST_REGFILE_TOOL); exits 77 (skipped) without them.
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import wine  # noqa: E402

TEST_KEY = "HKEY_CURRENT_USER\\Software\\RegOstTest"

# Where Windows (the simulation's model) and Wine 8 differ in the checks:
# label -> (Wine's line value, the simulation's line value).
KNOWN_CHECK_DIFFERENCES = {}

ENUM_NAMES = ["Zeta", "alpha", "_under", "[bracket", "A_B", "Ab", "beta", "^caret", "`tick",
              "b1", "MixedCase", "mixedcase2", "a]b", "a^b", "ACAD-6001:409", "ACAD-5001:409",
              "ACAD-6001:40A", "r17.1", "R17.0"]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)


# --- A small reader of .reg files, for comparing them ----------------------

_CP1252_HIGH = [0x20AC, 0x81, 0x201A, 0x192, 0x201E, 0x2026, 0x2020, 0x2021, 0x2C6, 0x2030,
                0x160, 0x2039, 0x152, 0x8D, 0x17D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D,
                0x2022, 0x2013, 0x2014, 0x2DC, 0x2122, 0x161, 0x203A, 0x153, 0x9D, 0x17E, 0x178]


def cp1252_decode(data):
    return "".join(chr(_CP1252_HIGH[b - 0x80]) if 0x80 <= b < 0xA0 else chr(b) for b in data)


def cp1252_encode(text):
    out = bytearray()
    for ch in text:
        c = ord(ch)
        if c < 0x80 or 0xA0 <= c <= 0xFF:
            out.append(c)
        else:
            out.append(0x80 + _CP1252_HIGH.index(c))
    return bytes(out)


def _unquote(s, i):
    """Reads a quoted text starting after the opening quote; returns (text, index after)."""
    out = []
    while s[i] != '"':
        if s[i] == "\\":
            i += 1
            out.append({"n": "\n", "r": "\r"}.get(s[i], s[i]))
        else:
            out.append(s[i])
        i += 1
    return "".join(out), i + 1


def parse_reg(path):
    """{key path: [(value name, type, data bytes)]} in file order; names as cp1252 text."""
    raw = open(path, "rb").read()
    unicode = raw.startswith(b"\xff\xfe")
    text = raw[2:].decode("utf-16-le") if unicode else cp1252_decode(raw)
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    header = lines[0]
    assert header == ("Windows Registry Editor Version 5.00" if unicode else "REGEDIT4"), header
    keys = {}
    current = None
    i = 1
    while i < len(lines):
        line = lines[i]
        i += 1
        while line.endswith("\\") and "=hex" in line and i < len(lines):
            line = line[:-1] + lines[i].strip()
            i += 1
        if not line.strip():
            continue
        if line.startswith("["):
            current = line[1:line.rindex("]")]
            keys[current] = []
            continue
        if line.startswith("@"):
            name, rest = "", line[2:]
        else:
            name, j = _unquote(line, 1)
            rest = line[j + 1:]
        if rest.startswith('"'):
            value, _ = _unquote(rest, 1)
            keys[current].append((name, 1, cp1252_encode(value) + b"\0"))
        elif rest.startswith("dword:"):
            keys[current].append((name, 4, int(rest[6:], 16).to_bytes(4, "little")))
        else:
            kind, _, data = rest.partition(":")
            vtype = 3 if kind == "hex" else int(kind[4:-1], 16)
            data = bytes(int(x, 16) for x in data.split(",") if x.strip())
            if unicode and vtype in (1, 2, 7):
                data = cp1252_encode(data.decode("utf-16-le"))
            keys[current].append((name, vtype, data))
    return keys


def unordered(keys):
    return {k: sorted(v) for k, v in keys.items()}


def describe_difference(what, got, expected):
    lines = []
    for key in sorted(set(got) | set(expected)):
        if key not in got:
            lines.append("  missing key %r" % key)
        elif key not in expected:
            lines.append("  extra key %r" % key)
        elif sorted(got[key]) != sorted(expected[key]):
            lines.append("  key %r: got %r, expected %r" % (key, got[key], expected[key]))
    return "%s:\n%s" % (what, "\n".join(lines))


# --- The three checks -------------------------------------------------------

def tool(*args):
    return subprocess.run([os.environ["REGOST_REGFILE_TOOL"]] + list(args),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)


def test_round_trip(folder):
    fixture = os.path.join(folder, "fixture.reg")
    exported = os.path.join(folder, "exported.reg")
    back = os.path.join(folder, "back.reg")
    result = tool("fixture", fixture)
    check(result.returncode == 0, "regfile_tool fixture: %r" % result.stderr)
    wine.delete_key(TEST_KEY)
    result = wine.run(["regedit", "/s", wine.dos_path(fixture)])
    check(result.returncode == 0, "wine regedit /s failed: %r" % result.stderr)
    result = wine.run(["regedit", "/e", wine.dos_path(exported), TEST_KEY])
    check(result.returncode == 0 and os.path.exists(exported), "wine regedit /e failed")
    if failures:
        return
    ours = parse_reg(fixture)
    ours = {k: v for k, v in ours.items() if k.startswith(TEST_KEY)}
    theirs = parse_reg(exported)
    check(unordered(theirs) == unordered(ours),
          describe_difference("Wine's export differs from what the simulation saved", theirs, ours))
    result = tool("copy", exported, back)
    check(result.returncode == 0, "the simulation could not load Wine's export: %r" % result.stderr)
    if result.returncode != 0:
        return
    reloaded = {k: v for k, v in parse_reg(back).items() if k.startswith(TEST_KEY)}
    check(reloaded == theirs,
          describe_difference("the simulation did not load Wine's export identically",
                              reloaded, theirs))
    # Known difference: Windows keeps values in creation order (the simulation
    # too); Wine sorts them by name.
    for key, values in ours.items():
        if [v[0] for v in values] != [v[0] for v in theirs.get(key, [])]:
            print("known difference: value order of %s: simulation %r, Wine %r"
                  % (key, [v[0] for v in values], [v[0] for v in theirs.get(key, [])]))


def test_enum_order(probe):
    wine.delete_key(TEST_KEY)
    result = wine.run([probe, "enum"] + ENUM_NAMES)
    check(result.returncode == 0, "probe enum failed: %r" % result.stdout)
    wine_order = result.stdout.decode("cp1252").replace("\r", "").split("\n")[:-1]
    result = tool("probe", "enum", *ENUM_NAMES)
    check(result.returncode == 0, "regfile_tool probe enum failed: %r" % result.stdout)
    simulation_order = result.stdout.decode("cp1252").split("\n")[:-1]
    windows_model = sorted(ENUM_NAMES, key=lambda n: n.upper())
    wine_model = sorted(ENUM_NAMES, key=lambda n: n.lower())
    check(simulation_order == windows_model,
          "simulation order %r, expected upper-case ordinal order %r" % (simulation_order, windows_model))
    check(wine_order == wine_model,
          "Wine's order %r is no longer its lower-case order %r" % (wine_order, wine_model))
    # Pairs of names the two order differently: each must hold one of the
    # characters that sort between the upper- and the lower-case letters.
    position = {n: i for i, n in enumerate(wine_order)}
    inverted = [(a, b) for i, a in enumerate(simulation_order) for b in simulation_order[i + 1:]
                if a in position and b in position and position[a] > position[b]]
    special = sorted({n for pair in inverted for n in pair if any(c in n for c in "[\\]^_`")})
    print("known difference: RegEnumKeyExA order, simulation (Windows model) %r, Wine %r" %
          (simulation_order, wine_order))
    print("known difference: names placed differently: %r" % special)
    plain = [pair for pair in inverted if not any(any(c in n for c in "[\\]^_`") for n in pair)]
    check(not plain, "names without [ \\ ] ^ _ ` ordered differently: %r" % plain)


def test_checks(probe):
    wine.delete_key(TEST_KEY)
    result = wine.run([probe, "checks"])
    wine_lines = result.stdout.decode("cp1252").replace("\r", "").split("\n")
    result = tool("probe", "checks")
    simulation_lines = result.stdout.decode("cp1252").split("\n")
    check(len(wine_lines) == len(simulation_lines),
          "checks: %d lines from Wine, %d from the simulation" % (len(wine_lines),
                                                                 len(simulation_lines)))
    for ours, theirs in zip(simulation_lines, wine_lines):
        if ours == theirs:
            continue
        label, _, our_value = ours.rpartition(": ")
        _, _, their_value = theirs.rpartition(": ")
        if KNOWN_CHECK_DIFFERENCES.get(label.strip()) == (their_value, our_value):
            print("known difference: %s: Wine %s, simulation %s" % (label, their_value, our_value))
            continue
        check(False, "checks: simulation %r, Wine %r" % (ours, theirs))


def main():
    probe_dir = os.environ.get("REGOST_PROBE_DIR", "")
    probe = os.path.join(probe_dir, "enum_order_probe.exe") if probe_dir else ""
    regfile_tool = os.environ.get("REGOST_REGFILE_TOOL", "")
    if not wine.available(probe) or not regfile_tool or not os.path.exists(regfile_tool):
        return wine.skipped("needs wine, enum_order_probe.exe in REGOST_PROBE_DIR and "
                            "REGOST_REGFILE_TOOL")
    wine.ensure_prefix()
    with tempfile.TemporaryDirectory(prefix="regost-regfile-") as folder:
        test_round_trip(folder)
    test_enum_order(probe)
    test_checks(probe)
    wine.delete_key(TEST_KEY)
    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
