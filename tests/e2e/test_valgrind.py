"""Runs regost (env REGOST) under valgrind's memcheck on a handful of typical
and failing runs: no invalid access, no uninitialised value, no leak.

Skipped (exit 77) when valgrind is missing or REGOST is a sanitizer build,
which valgrind cannot run.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True

SKIP = 77
SIMULATION_FAILED = 70  # regost's own failure (src/platform/posix/main.cpp)
PRODUCT_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\%s\\%s"


def registry_text(products):
    lines = ["REGEDIT4", ""]
    for release, product in products:
        lines += ["[" + PRODUCT_KEY % (release, product) + "]", ""]
    return "\r\n".join(lines) + "\r\n"


def dos(path):
    return "Z:" + path.replace("/", "\\")


# name, arguments, setup file ("{dir}": the program folder, None: no file),
# registry file text, read-only roots, expected exit code, expected final
# progress message (None: no run of the program), files in the program folder.
CASES = [
    ("typical", ["/LOG"], "[VERSION]\r\nVersion=17.1\r\n",
     registry_text([("R17.1", "ACAD-6001:409")]), "", 0, b"Installation Completed\r\n\r\n", []),
    ("second add-on, three releases", ["/QEL", "/log"],
     "[VERSION]\r\nVersion=17.0:17.1:17.2\r\n[OSTKeysLoader]\r\nLoader={dir}Ostrel.arx\r\n"
     "CustomData=Site licence 42\r\n[QELKeysLoader]\r\nLoader={dir}Q*.arx\r\n",
     registry_text([("R17.0", "ACAD-6001:409"), ("R17.2", "ACAD-7001:409"),
                    ("R17.2", "ACAD-7002:407")]),
     "", 0, b"Installation Completed\r\n\r\n", ["Ostrel.arx", "Qel.arx"]),
    ("missing setup file", ["/LOG"], None, registry_text([]), "", 0,
     b"(INI) file not found\r\n\r\n", []),
    ("read-only HKLM", ["/LOG", "/QEL"], "[VERSION]\r\nVersion=17.0:17.2\r\n",
     registry_text([("R17.0", "ACAD-6001:409")]), "HKLM", 0,
     b"Installation Completed\r\n\r\n", []),
    ("malformed registry file", ["/LOG"], "[VERSION]\r\nVersion=17.1\r\n",
     "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\"v\"=\"bad \\q escape\"\r\n", "",
     SIMULATION_FAILED, None, []),
    ("registry key 20,000 levels deep", ["/LOG"], "[VERSION]\r\nVersion=17.1\r\n",
     "REGEDIT4\r\n[HKEY_CURRENT_USER" + "\\k" * 20000 + "]\r\n", "",
     SIMULATION_FAILED, None, []),
]

LEAKS = re.compile(r"(definitely|indirectly|possibly) lost: ([\d,]+) bytes")
ERRORS = re.compile(r"ERROR SUMMARY: (\d+) errors")


def run_case(base, exe, valgrind, case):
    name, arguments, setup, registry, readonly, want_code, want_final, files = case
    folder = os.path.join(base, re.sub(r"\W+", "-", name))
    program = os.path.join(folder, "prog")
    os.makedirs(program)
    os.makedirs(os.path.join(folder, "temp"))
    target = os.path.join(program, "regost")
    shutil.copy2(exe, target)
    for file_name in files:
        open(os.path.join(program, file_name), "wb").close()
    if setup is not None:
        with open(os.path.join(program, "RegOST.ini"), "wb") as out:
            out.write(setup.replace("{dir}", dos(program) + "\\").encode("cp1252"))
    registry_file = os.path.join(folder, "registry.reg")
    with open(registry_file, "wb") as out:
        out.write(registry.encode("cp1252"))
    env = dict(os.environ)
    env.update(REGOST_REGISTRY=registry_file, TMPDIR=os.path.join(folder, "temp"),
               REGOST_READONLY_ROOTS=readonly)
    report = os.path.join(folder, "valgrind.log")
    command = [valgrind, "--leak-check=full", "--error-exitcode=1", "--track-origins=yes",
               "--errors-for-leak-kinds=definite,indirect,possible", "--log-file=" + report,
               target] + arguments
    done = subprocess.run(command, cwd=folder, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=600)
    with open(report, errors="replace") as f:
        text = f.read()

    problems = []
    if done.returncode != want_code:
        problems.append("exit code %d, expected %d (stderr %r)"
                        % (done.returncode, want_code, done.stderr[:300]))
    errors = ERRORS.findall(text)
    if not errors or any(count != "0" for count in errors):
        problems.append("memcheck reports errors")
    for kind, amount in LEAKS.findall(text):
        if amount != "0":
            problems.append("%s lost: %s bytes" % (kind, amount))
    if want_final is not None:
        progress_path = os.path.join(program, "RegOST.log")
        progress = open(progress_path, "rb").read() if os.path.exists(progress_path) else b""
        if not progress.endswith(want_final):
            problems.append("progress log ends %r, expected %r" % (progress[-60:], want_final))
    if problems:
        problems.append("valgrind's report:\n" + text[-4000:])
    return problems


def is_sanitizer_build(exe):
    with open(exe, "rb") as f:
        return b"__asan_init" in f.read()


def main():
    exe = os.environ.get("REGOST", "")
    valgrind = shutil.which("valgrind")
    if not exe or not os.path.isfile(exe):
        print("REGOST does not name a built regost: skipped")
        return SKIP
    if valgrind is None:
        print("valgrind is not installed: skipped")
        return SKIP
    if is_sanitizer_build(exe):
        print("%s is a sanitizer build, which valgrind cannot run: skipped" % exe)
        return SKIP
    base = tempfile.mkdtemp(prefix="regost-valgrind-")
    failed = 0
    try:
        for case in CASES:
            problems = run_case(base, exe, valgrind, case)
            print("%s: %s" % (case[0], "ok" if not problems else "FAILED"))
            for problem in problems:
                print("  " + problem)
            failed += bool(problems)
    finally:
        shutil.rmtree(base, ignore_errors=True)
    print("%d of %d valgrind runs clean" % (len(CASES) - failed, len(CASES)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
