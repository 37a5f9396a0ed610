"""Registry files for the end-to-end tests: writing a machine's state as a
REGEDIT4 file, and reading a REGEDIT4 or a "Windows Registry Editor Version
5.00" export (UTF-16LE) back into a comparable state.

A state maps (root, lower-cased key path) to (key path as stored, values);
values map the lower-cased value name to (name as stored, type, data) with
type "sz" (data a str), "dword" (an int) or "hex(N)" (bytes).
"""
import re

ROOTS = {
    "HKEY_LOCAL_MACHINE": "HKLM", "HKLM": "HKLM",
    "HKEY_CURRENT_USER": "HKCU", "HKCU": "HKCU",
}
ROOT_NAMES = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}

# The subtrees the program may write; every comparison is limited to them.
WATCHED = [
    ("HKLM", "SOFTWARE\\Autodesk"),
    ("HKLM", "SOFTWARE\\Quenlar"),
    ("HKCU", "SOFTWARE\\Quenlar"),
    ("HKCU", "SOFTWARE\\Autodesk"),
]
# Of the Active Setup entries (under HKLM) and the users' stamps of them
# (under HKCU), only the program's own: the rest are Windows'.
ACTIVE_SETUP = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components"
ENTRY_PREFIX = ACTIVE_SETUP + "\\Ostrel-"
_VERSION = re.compile(r"\d+,\d+,\d+,\d+")


def split_full_path(full):
    """'HKLM\\A\\B' or 'HKEY_LOCAL_MACHINE\\A\\B' -> ('HKLM', 'A\\B')."""
    root, _, rest = full.partition("\\")
    return ROOTS[root.upper()], rest.strip("\\")


def state_key(root, path):
    return (root, path.lower())


def watched(root, path):
    lower = path.lower()
    for watched_root, base in WATCHED:
        base = base.lower()
        if root == watched_root and (lower == base or lower.startswith(base + "\\")):
            return True
    return lower.startswith(ENTRY_PREFIX.lower())


def _escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def write_regedit4(machine, path, delete_first=()):
    """Writes machine ({'HKLM\\path': {name: str|int|None}}) as a REGEDIT4 file,
    preceded by [-KEY] lines for the full key paths in delete_first."""
    lines = ["REGEDIT4", ""]
    for full in delete_first:
        root, rest = split_full_path(full)
        lines += ["[-%s\\%s]" % (ROOT_NAMES[root], rest), ""]
    for full, values in machine.items():
        root, rest = split_full_path(full)
        lines.append("[%s\\%s]" % (ROOT_NAMES[root], rest))
        for name, value in values.items():
            shown = "@" if name == "" else '"%s"' % _escape(name)
            if value is None:  # a deletion, as regedit imports it
                lines.append("%s=-" % shown)
            elif isinstance(value, int):
                lines.append("%s=dword:%08x" % (shown, value))
            else:
                lines.append('%s="%s"' % (shown, _escape(value)))
        lines.append("")
    text = "\r\n".join(lines) + "\r\n"
    with open(path, "wb") as out:
        try:
            out.write(text.encode("cp1252"))
        except UnicodeEncodeError:  # names the code page cannot spell
            text = "Windows Registry Editor Version 5.00" + text[len("REGEDIT4"):]
            out.write(b"\xff\xfe" + text.encode("utf-16-le"))


def _decode(raw):
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le")
    return raw.decode("cp1252")


def _unescape(text):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            out.append({"n": "\n", "r": "\r", "0": "\0"}.get(nxt, nxt))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


_NAME = r'(@|"(?:[^"\\]|\\.)*")'
_VALUE_LINE = re.compile(_NAME + r"=(.*)$")


def parse(raw, state=None):
    """Adds the watched keys of a .reg file (bytes) to state and returns it."""
    state = {} if state is None else state
    lines = _decode(raw).replace("\r\n", "\n").split("\n")
    header = lines[0].strip()
    if header not in ("REGEDIT4", "Windows Registry Editor Version 5.00"):
        raise ValueError("not a registry file: %r" % header)
    current = None
    pending = ""
    for line in lines[1:]:
        if pending:
            line = pending + line.strip()
            pending = ""
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]
            continue
        if not line.strip() or line.startswith(";"):
            continue
        if line.startswith("["):
            full = line[1:line.rindex("]")]
            root, rest = split_full_path(full)
            if watched(root, rest):
                current = state.setdefault(state_key(root, rest), (rest, {}))[1]
            else:
                current = None
            continue
        match = _VALUE_LINE.match(line)
        if match is None:
            raise ValueError("unreadable line: %r" % line)
        if current is None:
            continue
        name = "" if match.group(1) == "@" else _unescape(match.group(1)[1:-1])
        data = match.group(2)
        if data.startswith('"'):
            entry = ("sz", _unescape(data[1:-1]))
        elif data.startswith("dword:"):
            entry = ("dword", int(data[6:], 16))
        else:
            kind, _, hexdata = data.partition(":")
            payload = bytes(int(b, 16) for b in hexdata.split(",") if b.strip())
            entry = (kind, payload)
        current[name.lower()] = (name,) + entry
    return state


def from_machine(machine):
    """The state of a machine description, limited to the watched keys."""
    state = {}
    for full, values in machine.items():
        root, rest = split_full_path(full)
        # Parent keys exist implicitly, as they do in a real registry.
        parts = rest.split("\\")
        for depth in range(1, len(parts) + 1):
            sub = "\\".join(parts[:depth])
            if watched(root, sub):
                state.setdefault(state_key(root, sub), (sub, {}))
        if not watched(root, rest):
            continue
        entry = state[state_key(root, rest)][1]
        for name, value in values.items():
            entry[name.lower()] = (name, "dword", value) if isinstance(value, int) else (
                name, "sz", value)
    return state


def normalise(state):
    """Drops the watched bases themselves when they hold nothing, since one
    build may show an empty HKCU\\Software\\Autodesk where the other has
    none; key paths are compared without regard to the case of 'Software'."""
    out = {}
    for (root, lower), (path, values) in state.items():
        parts = path.split("\\")
        shown = "\\".join([parts[0].upper()] + parts[1:])
        # An entry's version comes from the clock, like the log header's date.
        version = values.get("version")
        if lower.startswith(ENTRY_PREFIX.lower()) and version and version[1] == "sz" and \
                _VERSION.fullmatch(version[2]):
            values = dict(values, version=version[:2] + ("<version>",))
        out[(root, lower)] = (shown, values)
    for root, base in WATCHED:
        key = (root, base.lower())
        has_children = any(r == root and k.startswith(base.lower() + "\\") for r, k in out)
        if key in out and not out[key][1] and not has_children:
            del out[key]
    return out


def describe_difference(got, expected, got_name="got", expected_name="expected"):
    """Lines naming every key and value that differs between two states."""
    lines = []
    for key in sorted(set(got) | set(expected)):
        root = key[0]
        if key not in got:
            lines.append("key %s\\%s missing in %s" % (root, expected[key][0], got_name))
            continue
        if key not in expected:
            lines.append("key %s\\%s missing in %s" % (root, got[key][0], expected_name))
            continue
        if got[key][0] != expected[key][0]:
            lines.append("key %s\\%s is named %s in %s" % (root, expected[key][0], got[key][0],
                                                             got_name))
        gv, ev = got[key][1], expected[key][1]
        for name in sorted(set(gv) | set(ev)):
            if gv.get(name) != ev.get(name):
                lines.append("%s\\%s value %r: %s %r, %s %r" % (
                    root, expected[key][0], name, got_name, gv.get(name), expected_name,
                    ev.get(name)))
    return lines
