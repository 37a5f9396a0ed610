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
import scenarios  # noqa: E402
import test_wine  # noqa: E402
import wine  # noqa: E402

AUTOCAD = "HKLM\\SOFTWARE\\Autodesk\\AutoCAD"
PRODUCTS = [AUTOCAD + "\\R17.1\\ACAD-A001:409", AUTOCAD + "\\R17.1\\ACAD-A002:409",
            AUTOCAD + "\\R17.2\\ACAD-B001:409"]
# Two 17.1 products and one 17.2, one of them with another add-on, and an
# earlier release of Ostrel: the uninstaller must leave all of that alone.
MACHINE = {
    PRODUCTS[0]: {"ProductName": "AutoCAD 2008"},
    PRODUCTS[0] + "\\Applications\\Other": {"LOADCTRLS": 2},
    PRODUCTS[1]: {"ProductName": "AutoCAD Map 3D 2008"},
    PRODUCTS[2]: {"ProductName": "AutoCAD 2009"},
    "HKLM\\Software\\Quenlar\\AutoCAD\\17.0\\Ostrel": {"Loader": "C:\\Old\\Ostrel.arx"},
    "HKCU\\Software\\Quenlar\\AutoCAD\\17.0\\Ostrel": {"Loader": "C:\\Old\\Ostrel.arx"},
}
WATCHED_FULL = test_wine.WATCHED_FULL
UNINSTALL = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
# A setup's uninstall entry: NSIS's key, Inno's AppId.
ENTRIES = {"nsis": "Quenlar Ostrel 17", "inno": "{8E41C2D5-6A3B-4F0E-9D27-C51B7A0E3F17}_is1"}
KINDS = ("nsis", "inno")
IMAGE_MACHINES = {"x86": 0x14C, "x64": 0x8664}
VIEWS = {"x86": "/reg:32", "x64": "/reg:64"}


class Prefix:
    """A fresh Wine prefix, "win32" or "win64", with one server for all its cases."""

    def __init__(self, arch, base):
        self.arch = arch
        self.path = os.path.join(base, "wine-" + arch)
        self.base = base
        self.views = ["/reg:32", "/reg:64"] if arch == "win64" else ["/reg:32"]

    def enter(self):
        os.environ["REGOST_WINEPREFIX"] = self.path
        if self.arch == "win32":
            os.environ["WINEARCH"] = "win32"
        else:
            os.environ.pop("WINEARCH", None)
        wine.ensure_prefix()
        # One wineserver for all cases, kept up by an idle holder: each
        # command would otherwise pay for a server start.
        self.runner = test_wine.WineRunner(None, self.base)
        self.release = os.path.join(self.base, "release-server-" + self.arch)
        self.server = self.runner.hold_volatile([], self.release)

    def leave(self):
        if getattr(self, "server", None) is not None:
            open(self.release, "w").close()
            self.server.wait(timeout=60)
        subprocess.run(["wineserver", "-k"], env=wine.environment(), check=False)
        shutil.rmtree(self.path, ignore_errors=True)

    def unix(self, dos):
        """The Unix path of a C: path of the prefix."""
        assert dos[:3].upper() == "C:\\", dos
        return os.path.join(self.path, "drive_c", *dos[3:].split("\\"))

    def reg(self, *args, view):
        return wine.run(["reg"] + list(args) + [view])

    def lay_down(self, machines):
        """Removes the program's keys and the setups' uninstall entries in
        every view, then writes each view's machine (view: machine)."""
        # `reg import /reg:64` writes in the 64-bit view but deletes its
        # [-KEY] lines in the 32-bit one (Wine 8), so keys go one by one.
        for view in self.views:
            for key in WATCHED_FULL + [UNINSTALL + "\\" + e for e in set(ENTRIES.values())]:
                self.reg("delete", key, "/f", view=view)
        for view, machine in machines.items():
            path = os.path.join(self.base, "machine.reg")
            regfile.write_regedit4(machine, path)
            done = self.reg("import", wine.dos_path(path), view=view)
            if done.returncode != 0:
                raise RuntimeError("reg import failed: %r" % done.stderr[:300])
        for folder in ("Program Files", "Program Files (x86)"):
            shutil.rmtree(self.unix("C:\\%s\\Quenlar" % folder), ignore_errors=True)

    def export(self, key, view):
        path = os.path.join(self.base, "export.reg")
        if os.path.exists(path):
            os.remove(path)
        self.reg("export", key, wine.dos_path(path), "/y", view=view)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def whole_registry(self):
        """Exports of HKLM\\SOFTWARE (in a 64-bit prefix the 64-bit view, which
        holds the 32-bit one as Wow6432Node) and HKCU\\Software (one for both)."""
        return [self.export("HKLM\\SOFTWARE", "/reg:64"),
                self.export("HKCU\\Software", "/reg:64")]


    def whole_state(self):
        state = {}
        for raw in self.whole_registry():
            if raw is not None:
                regfile.parse(raw, state)
        return regfile.normalise(state)


# The README's deployment lines, run exactly as printed (a `cmd` line from a
# batch file, as a deployment tool's command line would run it).
LINES = {"nsis": ("OstrelSetup.exe /S", 'cmd /c "start "" /wait "C:\\Program Files\\Quenlar\\Ostrel '
                  '17\\Uninstall.exe" /S _?=C:\\Program Files\\Quenlar\\Ostrel 17 & if not '
                  'errorlevel 1 rmdir /s /q "C:\\Program Files\\Quenlar\\Ostrel 17""'),
         "inno": ("OstrelSetup.exe /VERYSILENT /SUPPRESSMSGBOXES /NORESTART",
                  '"C:\\Program Files\\Quenlar\\Ostrel 17\\unins000.exe" /VERYSILENT '
                  '/SUPPRESSMSGBOXES /NORESTART')}
# The README's Windows build of the Inno setup, with the vendor's names that
# the test replaces by its own files.
ISCC_LINE = ("ISCC /DSETUP_INI=C:\\Ostrel\\RegOST.ini /DARX_X86=C:\\Ostrel\\x86\\Ostrel.arx "
             "/DARX_X64=C:\\Ostrel\\x64\\Ostrel.arx /OC:\\Ostrel\\out OstrelSetup.iss")


class Setup:
    """One built setup, "nsis" or "inno", for both editions, in a prefix."""

    def __init__(self, kind, prefix, directory):
        self.kind, self.prefix, self.directory = kind, prefix, directory
        self.name = "%s %s" % (kind, prefix.arch)
        # The uninstaller lies in the machine's own edition's folder.
        self.folders = {"x86": "C:\\Program Files\\Quenlar\\Ostrel 17"}
        if prefix.arch == "win64":
            self.folders = {"x64": self.folders["x86"],
                            "x86": "C:\\Program Files (x86)\\Quenlar\\Ostrel 17"}
        self.unix = prefix.unix(self.folders["x64" if prefix.arch == "win64" else "x86"])

    def install(self):
        """The setup's exit code (Wine keeps its low 8 bits)."""
        line = LINES[self.kind][0].split()
        return wine.run([os.path.join(self.directory, line[0])] + line[1:],
                        cwd=self.directory).returncode

    def uninstall(self):
        """None, or what went wrong uninstalling."""
        script = os.path.join(self.prefix.base, "uninstall.cmd")
        with open(script, "wb") as f:
            f.write(LINES[self.kind][1].encode() + b"\r\n")
        done = wine.run(["cmd", "/c", wine.dos_path(script)])
        deadline = time.time() + 30  # Inno's uninstaller returns before its copy is done
        left = []
        while time.time() < deadline:
            left = [e for e, f in self.folders.items() if os.path.exists(self.prefix.unix(f))]
            if not left:
                break
            time.sleep(0.2)
        if done.returncode != 0:
            return "%s: uninstall exit code %d" % (self.name, done.returncode)
        return "%s: folders left: %s" % (self.name, left) if left else None

    def editions(self):
        return sorted(e for e, f in self.folders.items()
                      if os.path.exists(os.path.join(self.prefix.unix(f), "RegOSTCtl.exe")))

    def edition_problems(self, edition):
        """What is wrong with an edition's install: its add-on's machine, its
        Loader values and Active Setup entry in its own view."""
        folder, view = self.folders[edition], VIEWS[edition]
        problems = []
        machine = harness.image_machine(os.path.join(self.prefix.unix(folder), "Ostrel.arx"))
        if machine != IMAGE_MACHINES[edition]:
            problems.append("%s: Ostrel.arx is not an image of its machine: %r" % (edition,
                                                                                  machine))
        for release in ("17.1", "17.2"):
            done = self.prefix.reg("query", "HKLM\\SOFTWARE\\Quenlar\\AutoCAD\\%s\\Ostrel" %
                                   release, "/v", "Loader", view=view)
            loader = done.stdout.decode("utf-8", "replace").partition("REG_SZ")[2].strip()
            if loader != folder + "\\Ostrel.arx":
                problems.append("%s: %s Loader: %r" % (edition, release, loader))
        entry = "HKLM\\" + scenarios.active_setup_key(folder + "\\")
        query = self.prefix.reg("query", entry, "/v", "StubPath", view=view).stdout
        if query.decode("utf-8", "replace").partition("REG_SZ")[2].strip() != \
                '"%s\\RegOSTCtl.exe" /USER' % folder:
            problems.append("%s: Active Setup entry's StubPath: %r" % (edition, query[-200:]))
        return problems

    def installed_problems(self, editions):
        problems = [] if self.editions() == sorted(editions) else [
            "editions installed: %s, expected %s" % (self.editions(), sorted(editions))]
        for edition in editions:
            problems += self.edition_problems(edition)
        entry = UNINSTALL + "\\" + ENTRIES[self.kind]
        if self.prefix.reg("query", entry, view="/reg:64").returncode != 0:
            problems.append("no uninstall entry %s" % entry)
        return problems

    def watched_state(self, view):
        state = {}
        for key in WATCHED_FULL:
            raw = self.prefix.export(key, view)
            if raw is not None:
                regfile.parse(raw, state)
        return regfile.normalise(state)


def linux_state(context, machine, setup, edition):
    """The registry regost gives for machine from a folder with the example
    setup file, with its folder's path replaced by the edition's folder."""
    folder = os.path.join(context["base"], "linux")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copy(context["setup_ini"], os.path.join(folder, "RegOST.ini"))
    shutil.copy(os.path.join(context["release"], "examples", "placeholder", edition,
                             "Ostrel.arx"), folder)
    shutil.copy(context["regost"], os.path.join(folder, "regost"))
    registry = os.path.join(folder, "registry.reg")
    regfile.write_regedit4(machine, registry)
    env = dict(os.environ, REGOST_REGISTRY=registry, TMPDIR=folder)
    env.pop("REGOST_READONLY_ROOTS", None)
    subprocess.run([os.path.join(folder, "regost"), "/LOG"], cwd=folder, env=env, check=True,
                   stdout=subprocess.DEVNULL, timeout=60)
    with open(registry, "rb") as f:
        state = regfile.parse(f.read())
    ours = harness.dos_path(folder) + "\\"
    for _, values in state.values():
        for lname, (name, kind, data) in list(values.items()):
            if kind == "sz" and data.startswith(ours):
                values[lname] = (name, kind, setup.folders[edition] + "\\" + data[len(ours):])
    return regfile.normalise(state)


def uninstalled_problems(setup, before):
    problems = [p for p in [setup.uninstall()] if p]
    if setup.prefix.whole_registry() != before:
        problems.append("registry differs from before the install")
    return problems


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


def ctl_exe(exe):
    """The RegOSTCtl.exe built beside a RegOST.exe."""
    return os.path.join(os.path.dirname(exe), "RegOSTCtl.exe")


def start_display():
    """An X server of its own for the run (Xvfb picks a free display)."""
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp",
                               "-screen", "0", "800x600x24"], pass_fds=[write],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as f:
        number = f.readline().strip()
    if not number:
        server.kill()
        raise RuntimeError("Xvfb did not start")
    return server, ":" + number


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
        [line for pair in LINES.values() for line in pair] + [ISCC_LINE]))]
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
