"""Writes the release's README.txt: the user's part of README.md (between its
"user part" markers) as plain text for Notepad, with CR LF line ends.

    python3 tools/readme_txt.py README.md VERSION OUT_FILE

Headings are underlined, a list of the sections and of the zip's contents
comes first, links to a section name it ("see section "..."), code spans
lose their backticks and nothing else (a command reaches the text as typed,
never quoted, and a wrapped line never breaks inside it), paragraphs and
list items are wrapped to 100 characters (a longer command gets a line of
its own), fenced blocks are indented, tables become one entry per row, and
a reference to a test in parentheses goes. A path into the source tree
(tests/, src/, ...), a link to a file that the zip does not hold, or a
command glued to punctuation stops the build: README.txt must name only
what the reader has, and a command copied from it must run.
"""
import re
import sys
import textwrap

WIDTH = 100
# Stands for a blank inside a code span until the text is wrapped: textwrap
# breaks only at ASCII white space, so a command stays on one line to paste.
KEPT_BLANK = "\x1f"
# A list item's marker with its indent.
ITEM = re.compile(r"^(\s*)([-*]|\d+\.)\s+")
# A code span with a blank, a backslash or a percent sign (a command, a path,
# a log line) directly followed by a sentence's punctuation, which a reader
# would copy with it.
GLUED = re.compile(r"`[^`\n]*[ \\%][^`\n]*`[.,;]")
NOT_IN_ZIP = re.compile(r"\b(tests|src|bench|tools|cmake|res|demo|build)/|DESIGN\.md|RESULTS\.md")
CONTENTS = [
    ("x64\\", "RegOST.exe and RegOSTCtl.exe for 64-bit AutoCAD (64-bit Windows)"),
    ("x86\\", "RegOST.exe and RegOSTCtl.exe for 32-bit AutoCAD (32- or 64-bit Windows)"),
    ("RegOST.ini", "the setup file, commented"),
    ("examples\\", "example setups (README.txt): nsis\\ (NSIS), inno\\ (Inno Setup), msi\\ (WiX)"),
    ("LICENSE", "the MIT licence"),
    ("SHA256SUMS", "checksums of the four exes"),
]


def slug(title):
    """The anchor GitHub gives a heading."""
    title = re.sub(r"[^\w\- ]", "", title.lower().replace("`", ""))
    return title.replace(" ", "-")


def plain_title(title):
    return title.replace("`", "")


def inline(text, sections):
    """Markdown inline syntax as plain text."""
    # Where the tests show a point, the README names them; the zip has none.
    text = re.sub(r"\s*\(`tests/[^`]*`\)", "", text)
    parts = re.split(r"(`[^`]*`)", text)
    out = []
    for part in parts:
        if part.startswith("`") and part.endswith("`") and len(part) >= 2:
            out.append(part[1:-1].replace(" ", KEPT_BLANK))
            continue
        def link(match):
            label, target = match.group(1), match.group(2)
            if target.startswith("#"):
                if target[1:] not in sections:
                    raise SystemExit("readme_txt: no section for the link %s" % target)
                title = sections[target[1:]]
                if title.lower().startswith(plain_title(label).lower()):
                    return 'section "%s"' % title
                return '%s (see section "%s")' % (label, title)
            if re.match(r"https?://", target):
                return "%s (%s)" % (label, target)
            return label
        part = re.sub(r"\[([^\]]+)\]\(([^)]+)\)", link, part)
        part = part.replace("**", "")
        part = re.sub(r"(?<![\w*])\*([^*\s][^*]*)\*(?![\w*])", r"\1", part)
        out.append(part)
    return "".join(out)


def cells_of(row):
    """A table row's cells; a "|" inside a code span or escaped stays."""
    cells, current, code = [], "", False
    row = row.strip()[1:-1] if row.strip().endswith("|") else row.strip()[1:]
    for at, c in enumerate(row):
        if c == "`":
            code = not code
        if c == "|" and not code and (at == 0 or row[at - 1] != "\\"):
            cells.append(current)
            current = ""
        else:
            current += c
    return [c.strip().replace("\\|", "|") for c in cells + [current]]


def wrap(text, first, rest):
    """Lines of at most WIDTH characters, but never a code span broken: one
    longer than a line gets a line of its own."""
    return textwrap.wrap(text, WIDTH, initial_indent=first, subsequent_indent=rest,
                         break_long_words=False, break_on_hyphens=False)


def paragraph(lines, sections):
    """A paragraph or list as wrapped plain text: each item with its marker
    and a hanging indent."""
    blocks = []
    for line in lines:
        if ITEM.match(line) or not blocks:
            blocks.append([line])
        else:
            blocks[-1].append(line)
    out = []
    for block in blocks:
        lead = ITEM.match(block[0])
        first = lead.group(1) + lead.group(2) + " " if lead else ""
        body = block[0][lead.end():] if lead else block[0]
        text = inline(" ".join(line.strip() for line in [body] + block[1:]), sections)
        out += wrap(text, first, " " * len(first))
    return out


def table(rows, sections):
    """A Markdown table as one entry per row."""
    cells = [[inline(c, sections) for c in cells_of(row)]
             for row in rows if not re.match(r"^\|[\s|:-]+\|$", row.strip())]
    header, body = cells[0], cells[1:]
    out = []
    for row in body:
        if len(header) == 2:
            # Alternatives that do not fit on one line get a line each.
            terms = row[0].split(" / ") if len(row[0]) + 2 > WIDTH else [row[0]]
            out += wrap(terms[0], "* ", "  ")
            for term in terms[1:]:
                out += wrap(term, "  ", "  ")
            out += wrap(row[1], "    ", "    ")
            continue
        pairs = ["%s: %s" % (h, c) for h, c in zip(header, row) if c]
        if len("; ".join(pairs)) + 2 <= WIDTH:
            out.append("* " + "; ".join(pairs))
            continue
        out.append("* " + pairs[0])
        for pair in pairs[1:]:
            out += wrap(pair, "    ", "      ")
    return out


ASCII = {"\u2026": "...", "\u2264": "<=", "\u2265": ">=", "\u2014": "--", "\u2013": "-",
         "\u00d7": "x", "\u2018": "'", "\u2019": "'", "\u201c": '"', "\u201d": '"'}


def user_part(markdown):
    """The user's part of README.md as lines, in ASCII; stops the build at a
    command glued to punctuation."""
    part = markdown.split("<!-- user part -->", 1)[1].split("<!-- end of user part -->", 1)[0]
    for wide, narrow in ASCII.items():
        part = part.replace(wide, narrow)
    glued = GLUED.search(part)
    if glued:
        raise SystemExit("readme_txt: a command glued to punctuation: %s" % glued.group(0))
    return part.strip("\n").split("\n")


def front_matter(lines, version):
    """The title, the zip's contents and the list of sections."""
    out = ["RegOST %s" % version, "=" * len("RegOST %s" % version), ""]
    out += ["This folder holds:", ""]
    out += ["  %-12s %s" % item for item in CONTENTS]
    out += ["", "Sections of this file:", ""]
    out += ["  %d. %s" % (i + 1, plain_title(l[3:])) for i, l in
            enumerate(l for l in lines if l.startswith("## "))]
    return out + [""]


def convert(markdown, version):
    lines = user_part(markdown)
    titles = [re.sub(r"^#+\s*", "", l) for l in lines if re.match(r"^##+ ", l)]
    sections = {slug(t): plain_title(t) for t in titles}
    out = front_matter(lines, version)
    held = []

    def flush():
        out.extend(paragraph(held, sections))
        del held[:]

    i = 0
    while i < len(lines):
        line = lines[i]
        heading = re.match(r"^(#+)\s+(.*)", line)
        fence = line.lstrip().startswith("```")
        if not line.strip() or heading or fence or line.startswith(("|", "<!--")):
            flush()
        if heading:
            title = plain_title(heading.group(2))
            out += ["", title, ("=" if len(heading.group(1)) <= 2 else "-") * len(title)]
        elif fence:
            # A block inside a list item keeps its place under the item.
            indent = len(line) - len(line.lstrip())
            i += 1
            while i < len(lines) and not lines[i].lstrip().startswith("```"):
                out.append(" " * indent + "    " + lines[i][indent:] if lines[i] else "")
                i += 1
        elif line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                rows.append(lines[i])
                i += 1
            out += table(rows, sections)
            continue
        elif not line.strip():
            out.append("")
        elif not line.startswith("<!--"):
            held.append(line)
        i += 1
    flush()
    text = "\n".join(out).rstrip("\n").replace(KEPT_BLANK, " ") + "\n"
    text = re.sub(r"\n{3,}", "\n\n", text)
    for number, line in enumerate(text.split("\n"), 1):
        if NOT_IN_ZIP.search(line):
            raise SystemExit("readme_txt: README.txt line %d names what the zip does not hold: %s"
                             % (number, line.strip()))
    return text


def main():
    source, version, target = sys.argv[1:4]
    with open(source, encoding="utf-8") as f:
        text = convert(f.read(), version)
    data = text.replace("\n", "\r\n").encode("utf-8")
    with open(target, "wb") as f:
        # Notepad before Windows 10 takes a file without a mark for ANSI.
        f.write((b"\xef\xbb\xbf" if any(b > 127 for b in data) else b"") + data)


if __name__ == "__main__":
    main()
