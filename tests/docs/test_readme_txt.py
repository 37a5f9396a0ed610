"""The release's README.txt holds every command of the README's quick start
and deployment section exactly as README.md gives it: a line pasted from
Notepad into cmd must run. README.txt is made by tools/dist.sh's own layout
step, as the release zip gets it (stand-in files for the exes and the
placeholder add-on, which the text does not depend on).

Checked: each code span and each line of a fenced block in those sections
appears in README.txt whole, on one line and not wrapped in quotes; a code
span there that README.md breaks over two lines is a fault in itself.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.environ.get("REGOST_SOURCE_DIR") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..")
SECTIONS = ("Quick start for setup authors", "Deploying to many machines")


def release_readme(work):
    """README.txt as tools/dist.sh lays it out, as text with LF line ends."""
    exes = {}
    for arch in ("x86", "x64"):
        exes[arch] = os.path.join(work, arch)
        os.mkdir(exes[arch])
        for name in ("RegOST.exe", "RegOSTCtl.exe", "addon_image.dll"):
            open(os.path.join(exes[arch], name), "wb").close()
    folder = subprocess.run(
        ["bash", os.path.join(SOURCE, "tools", "dist.sh"), "--layout",
         os.path.join(work, "out"), exes["x86"], exes["x64"]],
        check=True, stdout=subprocess.PIPE).stdout.decode().strip()
    with open(os.path.join(folder, "README.txt"), "rb") as f:
        data = f.read()
    if b"\n" in data.replace(b"\r\n", b""):
        raise SystemExit("README.txt has a line end without CR")
    return data.decode("utf-8-sig").replace("\r\n", "\n")


def commands(markdown):
    """(command, problem or None) for every code span and fenced line of
    SECTIONS."""
    found = []
    for title in SECTIONS:
        start = markdown.index("\n## %s\n" % title)
        end = markdown.find("\n## ", start + 1)
        text = markdown[start:end]
        fences = re.compile(r"^( *)```[^\n]*\n(.*?)^ *```", re.M | re.S)
        for indent, body in fences.findall(text):
            found += [(line[len(indent):].rstrip(), None)
                      for line in body.split("\n") if line.strip()]
        for span in re.findall(r"`([^`]+)`", fences.sub("", text)):
            found.append((span, "split over two lines" if "\n" in span else None))
    return found


def main():
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as f:
        wanted = commands(f.read())
    work = tempfile.mkdtemp(prefix="regost-readme-txt-")
    try:
        text = release_readme(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if len(wanted) < 40:  # the search itself broke
        print("only %d commands found in README.md" % len(wanted))
        return 1
    problems = []
    for command, problem in wanted:
        # A folder may stand quoted inside a longer command; one bare
        # occurrence shows that the span itself was not quoted.
        places = [m.start() for m in re.finditer(re.escape(command), text)]
        bare = [at for at in places
                if text[at - 1:at] != '"' or text[at + len(command):at + len(command) + 1] != '"']
        if problem is None and not places:
            problem = "not in README.txt as typed"
        elif problem is None and not bare:
            problem = "quoted in README.txt"
        if problem:
            problems.append("%s: %s" % (problem, command))
    for problem in problems:
        print(problem)
    print("%d commands, %d not as in README.md" % (len(wanted), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
