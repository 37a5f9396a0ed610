"""Every progress-log line the programs write is in the README's table of
lines, which log readers and setup authors go by; and every exit code of
RegOSTCtl (the constants in src/ctl/ctl.h) begins a row of one table of the
README, and of no other: a row whose first cell is the number, in any table.

The messages are found in the core's sources (src/ minus the platform): a
literal that starts "Error --" or "Warning --", a literal that ends a line
and starts a sentence (a whole message, as the steps' results are), and the
pieces of every WriteProgressLine, EndLogs and EndWith call that starts
with a literal. A line composed of pieces is matched on its head: its pieces
up to the first literal after a variable one, each variable piece standing
for one word in the table ("NAME", "<key>"), without the root that ends a
failed write's line. RegOSTCtl's usage line is made from its table of modes,
as the program makes it.
"""
import glob
import os
import re
import sys

SOURCE = os.environ.get("REGOST_SOURCE_DIR") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..")
CORE = ("ctl", "common", "driver", "log", "registry", "steps")
# WriteProgressLine's arguments are the pieces of one line; the others take
# a whole final message first.
CALLS = re.compile(r"\b(WriteProgressLine|EndLogs|EndWith)\s*\(")
LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}


def unescape(text):
    return re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), text)


def pieces_of(arguments):
    """The call's arguments, each a literal's text or None for anything else;
    adjacent literals count as one, as in C."""
    pieces, depth, current = [], 0, ""
    for token in re.finditer(r'"(?:[^"\\\n]|\\.)*"|[(),]|[^"(),]+', arguments):
        token = token.group(0)
        if token == "(":
            depth += 1
        elif token == ")":
            depth -= 1
        if token == "," and depth == 0:
            pieces.append(current)
            current = ""
        else:
            current += token
    pieces.append(current)
    result = []
    for piece in pieces:
        literals = LITERAL.findall(piece)
        rest = LITERAL.sub("", piece).strip()
        result.append(unescape("".join(literals)) if literals and not rest else None)
    return result


def call_arguments(text, start):
    """The text between the parenthesis at start and its match."""
    depth = 0
    for token in re.finditer(r'"(?:[^"\\\n]|\\.)*"|[()]', text[start:]):
        depth += {"(": 1, ")": -1}.get(token.group(0), 0)
        if depth == 0:
            return text[start + 1:start + token.start()]
    return ""


def head_pattern(pieces):
    """A regular expression for a message's head: its pieces up to the first
    literal after a variable one, and never the root that ends a failed
    write's line (the table gives those once for all)."""
    pattern, variable = "", False
    for piece in pieces:
        if piece is not None and piece.startswith(" -- HKEY_"):
            break
        if piece is None:
            pattern += r"\S+"
            variable = True
            continue
        pattern += re.escape(piece.rstrip("\r\n"))
        if variable:
            break
    return pattern.rstrip()


def messages(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    # Comments out; string literals kept whole (no "//" inside any of them).
    text = re.sub(r"//[^\n]*|/\*.*?\*/", "", text, flags=re.S)
    found = []
    joined = re.sub(r'"\s+"', "", text)  # "a " "b": one literal
    for literal in LITERAL.findall(joined):
        line = unescape(literal)
        if re.match(r"(Error|Warning) --", line) or (
                line.endswith("\n") and re.match(r"[A-Z(]", line)):
            found.append((line.strip(), re.escape(line.rstrip("\r\n").rstrip())))
    for call in CALLS.finditer(text):
        pieces = pieces_of(call_arguments(text, call.end() - 1))
        if call.group(1) != "WriteProgressLine":
            pieces = pieces[:1]
        if pieces and pieces[0] is not None:
            shown = "".join(p if p is not None else "<...>" for p in pieces)
            found.append((shown.strip(), head_pattern(pieces)))
    return found


def usage_line(path):
    """RegOSTCtl's line for a command line it does not take, made as the
    program makes it: from its tables of modes (kModes) and switches
    (kSwitches) in path, each mode with its switches in brackets, in order."""
    with open(path, encoding="utf-8") as f:
        text = f.read()

    def table(name):
        start = text.index(name + "[] = {")
        return text[start:text.index("};", start)]

    switches = re.findall(r'\{"(/[^"]+)",\s*(\w+)\}', table("kSwitches"))
    shown = []
    for word, bits in re.findall(r'\{"(/\w+)",\s*([\w\s|]+?),', table("kModes")):
        taken = {bit.strip() for bit in bits.split("|")}
        shown.append(word + "".join(" [%s]" % w for w, bit in switches if bit in taken))
    return "Error -- Use %s or %s" % (", ".join(shown[:-1]), shown[-1])


def table_text(readme):
    """The README's table of log lines, backticks removed."""
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    start = text.index("| Line | Meaning |")
    end = text.find("\n\n", start)
    return text[start:end].replace("`", "")


def exit_code_problems(readme, header):
    """Each of RegOSTCtl's exit codes (the constants in header) that does
    not begin exactly one row of the README's tables."""
    with open(header, encoding="utf-8") as f:
        codes = {int(c) for c in re.findall(r"constexpr int kExit\w+ = (\d+);", f.read())}
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    rows, table = {}, 0
    for line in text.split("\n"):
        first = line.strip("|").split("|")[0].strip() if line.startswith("|") else None
        table += first is None
        if first is not None and re.fullmatch(r"\d+", first):
            rows.setdefault(int(first), []).append(table)
    if len(codes) < 8:  # the search itself broke
        return ["only %d exit codes found in %s" % (len(codes), header)]
    return ["exit code %d: %d rows in the README's tables, in %d tables, not one row"
            % (code, len(rows.get(code, [])), len(set(rows.get(code, []))))
            for code in sorted(codes | set(rows)) if len(rows.get(code, [])) != 1]


def main():
    code_problems = exit_code_problems(os.path.join(SOURCE, "README.md"),
                                       os.path.join(SOURCE, "src", "ctl", "ctl.h"))
    for problem in code_problems:
        print(problem)
    table = table_text(os.path.join(SOURCE, "README.md"))
    sources = [path for folder in CORE
               for path in sorted(glob.glob(os.path.join(SOURCE, "src", folder, "*.*")))]
    usage = usage_line(os.path.join(SOURCE, "src", "ctl", "ctl_run.cpp"))
    found = [(path, message) for path in sources for message in messages(path)]
    found.append((os.path.join(SOURCE, "src", "ctl", "ctl_run.cpp"), (usage, re.escape(usage))))
    checked, missing = set(), []
    for path, (shown, pattern) in found:
        if pattern in checked:
            continue
        checked.add(pattern)
        if not re.search(pattern, table):
            missing.append("%s: %r" % (os.path.relpath(path, SOURCE), shown))
    if len(checked) < 20:  # the search itself broke
        print("only %d messages found in src/" % len(checked))
        return 1
    for line in missing:
        print("not in the README's table of log lines: " + line)
    print("%d messages, %d missing from the table" % (len(checked), len(missing)))
    return 1 if missing or code_problems else 0


if __name__ == "__main__":
    sys.exit(main())
