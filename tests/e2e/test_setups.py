"""Runs the example setups (examples/nsis and examples/inno), each one setup
for both editions, under Wine as a customer's machine runs them: in a fresh
64-bit prefix, where the editions installed follow the AutoCAD of each
registry view, and in a fresh 32-bit one, the x86 edition only. Each prefix
has one Wine server for all its cases; each case lays its machine down
afresh. One X server (Xvfb) serves the Inno setups, which make windows even
when very silent. The setups are built as a vendor builds them, in the
release's folder (tools/dist.sh --layout around the exes of env REGOST_EXE32
and REGOST_EXE): by build.sh with the placeholder add-ons, and once by the
README's ISCC line. Installs and uninstalls are the README's deployment
lines as printed.

Rows (ROWS): the editions installed for each machine, each registered in
its own folder and view as the Linux build (env REGOST) registers the same
machine, with one uninstall entry; the setup's exit code; an uninstall that
restores HKEY_LOCAL_MACHINE\\SOFTWARE and HKEY_CURRENT_USER\\Software exactly
and leaves no folder. Cases (CASES): a user without rights gets a failed
setup and an uninstaller that still removes everything written; an update
while Ostrel.arx is held ends with 3010; the uninstaller leaves alone a
record's value that is not Ostrel's, a value changed since, and a key a
later install took over. build.sh refuses what no setup can use.

With wine32 installed, `wine reg` is the 32-bit tool, so every registry
command names its view.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# Keep the source tree free of __pycache__ folders.
sys.dont_write_bytecode = True
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "lib"))

import harness  # noqa: E402
import regfile  # noqa: E402
import wine  # noqa: E402
from setup_machines import (AUTOCAD, ISCC_LINE, KINDS, LINES, MACHINE, PRODUCTS,  # noqa: E402
                            Prefix, Setup, ctl_exe, linux_state, start_display,
                            uninstalled_problems)


NO_AUTOCAD = {k: v for k, v in MACHINE.items() if not k.startswith(AUTOCAD)}
ONLY_AUTOCAD = {k: v for k, v in MACHINE.items() if k.startswith(AUTOCAD)}
# name: (prefix, each view's machine, then (a second install's) machine or
# None, editions installed, the setup's exit code). The editions follow the
# AutoCAD of each view; with none, the machine's own edition and 10.
ROWS = [("64-bit-autocad", "win64", {"/reg:64": MACHINE}, None, ["x64"], 0),
        ("32-bit-autocad", "win64", {"/reg:32": MACHINE, "/reg:64": NO_AUTOCAD}, None,
         ["x86"], 0),
        ("both-autocad-editions", "win64", {"/reg:64": MACHINE, "/reg:32": MACHINE}, None,
         ["x64", "x86"], 0),
        ("no-autocad", "win64", {"/reg:64": NO_AUTOCAD}, None, ["x64"], 10),
        # A second run after the 32-bit AutoCAD went takes the x86 edition
        # away; with nothing else of the maker, Software\Quenlar goes too.
        ("rerun-after-32-bit-autocad-removed", "win64", {"/reg:64": ONLY_AUTOCAD,
                                                         "/reg:32": ONLY_AUTOCAD},
         {"/reg:64": ONLY_AUTOCAD}, ["x64"], 0),
        ("32-bit-windows", "win32", {"/reg:32": MACHINE}, None, ["x86"], 0),
        ("32-bit-windows-no-autocad", "win32", {"/reg:32": NO_AUTOCAD}, None, ["x86"], 10)]


def case_editions(setup, context, row):
    name, _, machines, then, editions, expected = row
    final = then or machines
    if then:  # the uninstall must leave the registry of the last machine
        setup.prefix.lay_down(then)
        before = setup.prefix.whole_registry()
    setup.prefix.lay_down(machines)
    if not then:
        before = setup.prefix.whole_registry()

    codes = [setup.install()]
    if then:
        setup.prefix.reg("delete", "HKLM\\SOFTWARE\\Autodesk", "/f", view="/reg:32")
        codes.append(setup.install())
    problems = [] if codes[-1] == expected & 0xFF else ["setup exit codes %s" % codes]
    problems += setup.installed_problems(editions)
    if context["regost"] and len(final) == 1 and not then:
        view, machine = next(iter(final.items()))
        edition = editions[0]
        problems += regfile.describe_difference(setup.watched_state(view), linux_state(
            context, machine, setup, edition), "Wine", "Linux")
    return [(name, problems + uninstalled_problems(setup, before))]


def case_no_rights(setup, context):
    # Volatile keys refuse the non-volatile ones RegOST creates: every
    # HKEY_LOCAL_MACHINE write of the x64 edition fails, as for a user
    # without rights, and the demand-load values go to HKEY_CURRENT_USER.
    setup.prefix.lay_down({})
    os.environ["REGOST_PROBE_DIR"] = context["probes"]["x64"]
    release = os.path.join(context["base"], "release-volatile")
    holder = setup.prefix.runner.hold_volatile(["HKLM\\Software\\Quenlar"] + PRODUCTS, release)
    problems = []
    try:
        before = setup.prefix.whole_registry()
        code, expected = setup.install(), {"nsis": 2, "inno": 11}[setup.kind]
        if code != expected:
            problems.append("setup exit code %d without HKEY_LOCAL_MACHINE rights, expected %d"
                            % (code, expected))
        if setup.prefix.whole_registry() == before:
            problems.append("the install wrote nothing")
        problems += uninstalled_problems(setup, before)
    finally:
        open(release, "w").close()
        holder.wait(timeout=60)
        os.remove(release)
    return [("no-rights-fails-and-uninstalls", problems)]


def case_held_addon(setup, context):
    # An update while AutoCAD holds Ostrel.arx: the new one waits for the
    # restart, and the setup says so (3010), never 0.
    setup.prefix.lay_down({"/reg:64": MACHINE})
    before = setup.prefix.whole_registry()
    codes = [setup.install()]
    held = os.path.join(setup.unix, "Ostrel.arx")
    release = os.path.join(context["base"], "release-held")
    holder = setup.prefix.runner.hold_volatile(["FILE:" + wine.dos_path(held)], release)
    try:
        codes.append(setup.install())
    finally:
        open(release, "w").close()
        holder.wait(timeout=60)
        os.remove(release)
    problems = [] if codes == [0, 3010 & 0xFF] else ["setup exit codes %s" % codes]
    return [("held-addon-replaced-at-restart", problems + uninstalled_problems(setup, before))]


def case_only_own_values(setup, context):
    # After the install: a record of another add-on's value that holds the
    # recorded data (another setup's run in this folder, or a tampered log),
    # a command of Ostrel changed since, and the HKEY_CURRENT_USER key of
    # Ostrel 17.1 taken over by a later install in another folder. All three
    # stay, the last one with all below it.
    other_addon = PRODUCTS[0] + "\\Applications\\Other"
    shared = "HKCU\\Software\\Quenlar\\AutoCAD\\17.1\\Ostrel"
    commands = PRODUCTS[1] + "\\Applications\\Ostrel\\Commands"
    setup.prefix.lay_down({"/reg:64": MACHINE})
    problems = [] if setup.install() == 0 else ["setup exit code not 0"]
    with open(os.path.join(setup.unix, "TEMPTXT.log"), "ab") as f:
        f.write(b"RegDB Key: %s\r\nRegDB Val: 2\r\nRegDB Name: LOADCTRLS\r\nRegDB Type: 3\r\n"
                b"RegDB Root: 2\r\n" % other_addon[5:].encode())
    elsewhere = "C:\\Other\\Quenlar\\Ostrel 17\\Ostrel.arx"
    reg = setup.prefix.reg
    reg("add", shared, "/v", "Loader", "/t", "REG_SZ", "/d", elsewhere, "/f", view="/reg:64")
    reg("add", commands, "/v", "KX1", "/t", "REG_SZ", "/d", "KXOTHER", "/f", view="/reg:64")
    installed = setup.watched_state("/reg:64")
    problems += [p for p in [setup.uninstall()] if p]
    kept = {commands: {"KX1": "KXOTHER"}, shared + "\\Settings01": {}}
    expected = regfile.normalise(regfile.from_machine(dict(MACHINE, **kept)))
    for key in (shared, shared + "\\Settings01"):
        held = regfile.state_key(*regfile.split_full_path(key))
        expected[held] = installed[held]
    problems += regfile.describe_difference(setup.watched_state("/reg:64"), expected, "after",
                                            "expected")
    return [("uninstall-removes-only-its-own-values", problems)]


# case: the setup kinds it runs for, in the 64-bit prefix.
CASES = [(case_no_rights, KINDS), (case_held_addon, KINDS), (case_only_own_values, ("nsis",))]


def guarded(name, results, run):
    """results plus run()'s, or a harness error for name: one broken case
    must not hide the others."""
    try:
        return results + run()
    except Exception as error:
        return results + [(name, ["harness error: %r" % error])]


def build(kind, context, iscc_line=False):
    """The setup's folder, and the problems of building it: by its build.sh,
    or by the README's ISCC line with the test's files in the vendor's place."""
    folder = os.path.join(context["base"], "setup-%s%s" % (kind, "-iscc" * iscc_line))
    examples = os.path.join(context["release"], "examples")
    if iscc_line:
        names = {"C:\\Ostrel\\RegOST.ini": context["setup_ini"], "C:\\Ostrel\\out": folder,
                 "C:\\Ostrel\\x86\\Ostrel.arx": os.path.join(examples, "placeholder", "x86",
                                                             "Ostrel.arx"),
                 "C:\\Ostrel\\x64\\Ostrel.arx": os.path.join(examples, "placeholder", "x64",
                                                             "Ostrel.arx")}
        line = ISCC_LINE
        for name, path in names.items():
            line = line.replace(name, wine.dos_path(path))
        args = [wine.wine_binary(), context["iscc"]] + line.split()[1:]
        cwd = os.path.join(examples, "inno")
    else:
        args = [os.path.join(examples, kind, "build.sh"), folder, context["setup_ini"],
                "placeholder", "placeholder"]
        cwd = None
    done = subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          env=wine.environment())
    if done.returncode != 0 or not os.path.isfile(os.path.join(folder, "OstrelSetup.exe")):
        return folder, [done.stdout.decode("utf-8", "replace")[-2000:]]
    return folder, []


def refusals(context):
    """build.sh without the vendor's files, or with files no setup can use:
    exit code 2, a line saying what is wrong, nothing built."""
    bad = os.path.join(context["base"], "bad")
    os.makedirs(bad, exist_ok=True)
    files = {"empty.arx": b"", "text.arx": b"Ostrel\r\n",
             "loader.ini": b"[VERSION]\r\nVersion=17.1\r\n[OSTKeysLoader]\r\nLoader=C:\\O.arx\r\n"}
    for name, data in files.items():
        with open(os.path.join(bad, name), "wb") as f:
            f.write(data)
    ini, out = context["setup_ini"], os.path.join(bad, "out")
    calls = [([out, "x64"], "missing: ARX_X86 ARX_X64"),
             ([out, ini, os.path.join(bad, "empty.arx"), "placeholder"], "empty"),
             ([out, ini, os.path.join(bad, "text.arx"), "placeholder"], "not a Windows image"),
             ([out, ini, "placeholder", os.path.join(context["release"], "x86",
                                                     "RegOSTCtl.exe")], "the other machine"),
             ([out, os.path.join(bad, "loader.ini"), "placeholder", "placeholder"],
              "[OSTKeysLoader] Loader")]
    problems = []
    for args, said in calls:
        done = subprocess.run([os.path.join(context["release"], "examples", "nsis", "build.sh")]
                              + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        output = done.stdout.decode("utf-8", "replace")
        if done.returncode != 2 or said not in output or os.path.exists(out):
            problems.append("build.sh %s: exit code %d, %r" % (args[1:], done.returncode,
                                                               output[-300:]))
    return [("build-refuses-what-no-setup-can-use", problems)]


def run_prefix(arch, context):
    prefix = Prefix(arch, context["base"])
    results = []
    started = time.time()
    # The server holder's tool, of the build that starts in the prefix.
    os.environ["REGOST_PROBE_DIR32" if arch == "win32" else "REGOST_PROBE_DIR"] = \
        context["probes"]["x86" if arch == "win32" else "x64"]
    prefix.enter()
    try:
        for kind in KINDS:
            # The 32-bit prefix runs the Inno setup that the README's ISCC line builds.
            folder, problems = build(kind, context, iscc_line=arch == "win32" and kind == "inno")
            setup = Setup(kind, prefix, folder)
            if problems:
                results.append(("%s: build" % setup.name, problems))
                continue
            for row in ROWS:
                if row[1] == arch:
                    started = time.time()
                    named = guarded(row[0], [], lambda: case_editions(setup, context, row))
                    print("%s %s: %.1f s" % (setup.name, row[0], time.time() - started))
                    results += [("%s %s" % (setup.name, name), p) for name, p in named]
            for case, kinds in CASES if arch == "win64" else []:
                if kind in kinds:
                    named = guarded(setup.name, [], lambda: case(setup, context))
                    results += [("%s %s" % (setup.name, name), p) for name, p in named]
    finally:
        prefix.leave()
    print("%s: %.0f s" % (arch, time.time() - started))
    return results


def main():
    exes = {"x86": os.environ.get("REGOST_EXE32", ""), "x64": os.environ.get("REGOST_EXE", "")}
    innosetup = subprocess.run(["npm", "root", "-g"], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL).stdout.decode().strip() \
        if shutil.which("npm") else ""
    iscc = os.path.join(innosetup, "innosetup", "bin", "ISCC.exe")
    missing = [what for what, ok in (
        ("wine", wine.available()), ("makensis", shutil.which("makensis")),
        ("Xvfb", shutil.which("Xvfb")),
        ("innosetup's ISCC.exe (npm)", os.path.isfile(iscc)),
        ("RegOSTCtl.exe beside REGOST_EXE32", os.path.isfile(ctl_exe(exes["x86"]))),
        ("RegOSTCtl.exe beside REGOST_EXE", os.path.isfile(ctl_exe(exes["x64"]))))
        if not ok]
    if missing:
        return wine.skipped("missing: %s" % ", ".join(missing))
    regost = os.environ.get("REGOST", "")
    if not os.path.isfile(regost):
        print("REGOST not built: the Linux comparison is left out")
        regost = None
    base = tempfile.mkdtemp(prefix="regost-e2e-setups-")
    release, problems = harness.lay_out_release(base, exes)
    if problems:
        return harness.finish([("tools/dist.sh --layout", problems)], base)
    setup_ini = harness.vendor_setup_ini(base)
    context = {"base": base, "release": release, "regost": regost, "setup_ini": setup_ini,
               "iscc": iscc, "probes": {arch: os.path.dirname(exe) for arch, exe in exes.items()}}
    results = refusals(context) + [("readme-prints-the-lines-run", harness.readme_problems(
        [line for pair in LINES.values() for line in pair]) + harness.readme_problems(
        [ISCC_LINE], "examples/README.txt"))]
    display, os.environ["REGOST_WINE_DISPLAY"] = start_display()
    try:
        for arch in ("win64", "win32"):
            results += run_prefix(arch, context)
    finally:
        display.kill()
        display.wait()
    return harness.finish(results, base)


if __name__ == "__main__":
    sys.exit(main())
