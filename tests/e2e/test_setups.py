"""Runs the example setups (examples/nsis and examples/inno) under Wine, as a
setup program runs RegOSTCtl on a customer's machine: the x86 setups with the
i686 RegOSTCtl.exe (beside env REGOST_EXE32) in a 32-bit prefix, and both
editions in one 64-bit prefix, the x86 one through WOW64 (its AutoCAD and its
values in the 32-bit view, its folder Program Files (x86)), the x64 one with
the x86_64 exe (beside env REGOST_EXE). Each prefix is made fresh, with one
Wine server, and serves all cases of both setup kinds in turn; each case lays
its machine down afresh. One X server (Xvfb) serves the Inno setups, which
make windows even when very silent. The setups are built as a vendor builds
them: by the example's build.sh in the release's folder (tools/dist.sh
--layout around those exes), with the release's own exes and placeholder
add-ons.

Cases (CASES: the editions of each setup kind they run for): a clean install gives the
registry the Linux build (env REGOST) gives for the same machine, puts the
add-on of its own machine in its default folder, and its uninstaller restores
HKEY_LOCAL_MACHINE\\SOFTWARE and HKEY_CURRENT_USER\\Software exactly; without an
AutoCAD of the listed releases the setup warns and completes with exit code
10; with only the other edition's AutoCAD it ends with 12 (64-bit prefix); a
user without rights gets a failed setup and an uninstaller that still removes
everything written; on a machine with nothing of the maker, two installs and
one uninstall leave nothing, not even Software\\Quenlar; the uninstaller leaves
alone a record's value that is not Ostrel's, a value changed since, and a key
a later install took over. In the 64-bit prefix both editions of each kind
install side by side, each in its own folder and view with its own uninstall
entry, and each uninstaller removes exactly its own.

How the setups are started: the NSIS uninstaller with _?=FOLDER, so that it
runs in place and is waited for; Inno's uninstaller returns once its copy has
done the work and then removes itself and the folder, which is waited for.
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
ENTRIES = {("nsis", "x86"): "Quenlar Ostrel 17 x86", ("nsis", "x64"): "Quenlar Ostrel 17 x64",
           ("inno", "x86"): "{8E41C2D5-6A3B-4F0E-9D27-C51B7A0E3F32}_is1",
           ("inno", "x64"): "{8E41C2D5-6A3B-4F0E-9D27-C51B7A0E3F64}_is1"}
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


class Setup:
    """One built setup ("nsis" or "inno", edition "x86" or "x64") in a prefix."""

    def __init__(self, kind, arch, prefix, directory):
        self.kind, self.arch, self.prefix, self.directory = kind, arch, prefix, directory
        self.view = VIEWS[arch]
        self.name = "%s %s" % (kind, arch + ("-wow64" if arch == "x86" and
                                              prefix.arch == "win64" else ""))
        program_files = "Program Files (x86)" if self.name.endswith("wow64") else "Program Files"
        self.folder = "C:\\%s\\Quenlar\\Ostrel 17" % program_files
        self.unix = prefix.unix(self.folder)

    def lay_down(self, machine, other=None):
        """machine in the setup's view, other in the other one's."""
        machines = {self.view: machine}
        if other is not None:
            machines[VIEWS["x64" if self.arch == "x86" else "x86"]] = other
        self.prefix.lay_down(machines)

    def install(self):
        """The setup's exit code, silent, into its default folder."""
        quiet = ["/S"] if self.kind == "nsis" else ["/VERYSILENT", "/SUPPRESSMSGBOXES",
                                                     "/NORESTART"]
        return wine.run([os.path.join(self.directory, "OstrelSetup.exe")] + quiet).returncode

    def uninstall(self):
        """None, or what went wrong uninstalling."""
        uninstaller = "Uninstall.exe" if self.kind == "nsis" else "unins000.exe"
        if not os.path.isfile(os.path.join(self.unix, uninstaller)):
            return "%s: no %s" % (self.name, uninstaller)
        if self.kind == "nsis":
            done = wine.run(["cmd", "/c", "Uninstall.exe /S _?=" + self.folder], cwd=self.unix)
            left = set(os.listdir(self.unix)) - {"Uninstall.exe"}
        else:
            done = wine.run([os.path.join(self.unix, uninstaller), "/VERYSILENT",
                             "/SUPPRESSMSGBOXES"])
            deadline = time.time() + 30
            while os.path.exists(self.unix) and time.time() < deadline:
                time.sleep(0.2)
            left = os.listdir(self.unix) if os.path.exists(self.unix) else []
        if done.returncode != 0:
            return "%s: uninstaller exit code %d" % (self.name, done.returncode)
        return "%s: files left: %s" % (self.name, sorted(left)) if left else None

    def installed(self, name):
        return harness.read_file(os.path.join(self.unix, name))

    def watched_state(self):
        state = {}
        for key in WATCHED_FULL:
            raw = self.prefix.export(key, self.view)
            if raw is not None:
                regfile.parse(raw, state)
        return regfile.normalise(state)

    def own_problems(self):
        """What is wrong with the edition's install: its add-on's machine, its
        Loader values, its uninstall entry, all in its own folder and view."""
        problems = []
        machine = harness.image_machine(os.path.join(self.unix, "Ostrel.arx"))
        if machine != IMAGE_MACHINES[self.arch]:
            problems.append("%s: Ostrel.arx is not an image of its machine: %r" % (
                self.name, machine))
        for release in ("17.1", "17.2"):
            done = self.prefix.reg("query", "HKLM\\SOFTWARE\\Quenlar\\AutoCAD\\%s\\Ostrel" %
                                   release, "/v", "Loader", view=self.view)
            loader = done.stdout.decode("utf-8", "replace").partition("REG_SZ")[2].strip()
            if loader != self.folder + "\\Ostrel.arx":
                problems.append("%s: %s Loader in %s: %r" % (self.name, release, self.view,
                                                            loader))
        entry = UNINSTALL + "\\" + ENTRIES[(self.kind, self.arch)]
        if self.prefix.reg("query", entry, view=self.view).returncode != 0:
            problems.append("%s: no uninstall entry %s in %s" % (self.name, entry, self.view))
        return problems


def linux_state(regost, base, machine, release, setup):
    """The registry regost gives for machine from the example's folder, with its
    folder's path replaced by the install folder's."""
    folder = os.path.join(base, "linux")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copy(os.path.join(release, "examples", setup.kind, "RegOST.ini"), folder)
    shutil.copy(os.path.join(release, "examples", "placeholder", setup.arch, "Ostrel.arx"), folder)
    shutil.copy(regost, os.path.join(folder, "regost"))
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
                values[lname] = (name, kind, setup.folder + "\\" + data[len(ours):])
    return regfile.normalise(state)


def uninstalled_problems(setup, before):
    problems = [p for p in [setup.uninstall()] if p]
    if setup.prefix.whole_registry() != before:
        problems.append("registry differs from before the install")
    return problems


def case_clean_install(setup, context):
    setup.lay_down(MACHINE)
    before = setup.prefix.whole_registry()
    problems = []
    code = setup.install()
    if code != 0:
        problems.append("setup exit code %d" % code)
    entry = "HKLM\\" + scenarios.active_setup_key(setup.folder + "\\")
    query = setup.prefix.reg("query", entry, "/v", "StubPath", view=setup.view).stdout.decode(
        "utf-8", "replace")
    stub = query.partition("REG_SZ")[2].strip()
    if stub != '"%s\\RegOSTCtl.exe" /USER' % setup.folder:
        problems.append("Active Setup entry's StubPath: %r" % query[-300:])
    problems += setup.own_problems()
    if context["regost"]:
        problems += regfile.describe_difference(setup.watched_state(), linux_state(
            context["regost"], context["base"], MACHINE, context["release"], setup),
            "Wine", "Linux")
    results = [("clean-install-as-linux-build", problems)]
    problems = [p for p in [setup.uninstall()] if p]
    if setup.prefix.whole_registry() != before:
        problems.append("registry differs from before the install: %s" % "; ".join(
            regfile.describe_difference(setup.watched_state(), regfile.normalise(
                regfile.from_machine(MACHINE)), "after", "before")[:10]))
    results.append(("uninstall-restores-registry", problems))
    return results


def case_no_autocad(setup, context):
    setup.lay_down({k: v for k, v in MACHINE.items() if not k.startswith(AUTOCAD)})
    before = setup.prefix.whole_registry()
    problems = []
    code = setup.install()
    if code != 10:
        problems.append("setup exit code %d without AutoCAD, expected 10 after a warning" % code)
    if b"Error -- AutoCAD not found." not in (setup.installed("RegOST.log") or b""):
        problems.append("RegOST.log does not say 'AutoCAD not found'")
    return [("no-autocad-warns-and-completes", problems + uninstalled_problems(setup, before))]


def case_other_edition(setup, context):
    # AutoCAD only in the other edition's view: RegOSTCtl's 7.
    setup.lay_down({k: v for k, v in MACHINE.items() if not k.startswith(AUTOCAD)},
                   {k: v for k, v in MACHINE.items() if k.startswith(AUTOCAD)})
    before = setup.prefix.whole_registry()
    problems = []
    code = setup.install()
    if code != 12:
        problems.append("setup exit code %d with the other edition's AutoCAD, expected 12"
                        % code)
    return [("other-edition-ends-with-12", problems + uninstalled_problems(setup, before))]


def case_install_twice(setup, context):
    # Nothing of the maker on the machine: Software\Quenlar must go too.
    setup.lay_down({k: v for k, v in MACHINE.items() if k.startswith(AUTOCAD)})
    before = setup.prefix.whole_registry()
    problems = []
    for run in (1, 2):
        code = setup.install()
        if code != 0:
            problems.append("install %d: exit code %d" % (run, code))
    return [("install-twice-uninstall-once", problems + uninstalled_problems(setup, before))]


def case_no_rights(setup, context):
    # Volatile keys refuse the non-volatile ones RegOST creates: every
    # HKEY_LOCAL_MACHINE write fails, as for a user without rights, and the
    # demand-load values go to HKEY_CURRENT_USER. The volatile-key tool of
    # the setup's edition works in the setup's view.
    setup.lay_down({})
    os.environ["REGOST_PROBE_DIR"] = context["probes"][setup.arch]
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


def case_only_own_values(setup, context):
    # After the install: a record of another add-on's value that holds the
    # recorded data (another setup's run in this folder, or a tampered log),
    # a command of Ostrel changed since, and the HKEY_CURRENT_USER key of
    # Ostrel 17.1 taken over by a later install in another folder (the
    # other edition's). All three stay, the last one with all below it.
    other_addon = PRODUCTS[0] + "\\Applications\\Other"
    shared = "HKCU\\Software\\Quenlar\\AutoCAD\\17.1\\Ostrel"
    commands = PRODUCTS[1] + "\\Applications\\Ostrel\\Commands"
    setup.lay_down(MACHINE)
    problems = []
    code = setup.install()
    if code != 0:
        problems.append("setup exit code %d" % code)
    with open(os.path.join(setup.unix, "TEMPTXT.log"), "ab") as f:
        f.write(b"RegDB Key: %s\r\nRegDB Val: 2\r\nRegDB Name: LOADCTRLS\r\nRegDB Type: 3\r\n"
                b"RegDB Root: 2\r\n" % other_addon[5:].encode())
    elsewhere = "C:\\Other\\Quenlar\\Ostrel 17\\Ostrel.arx"
    reg = setup.prefix.reg
    reg("add", shared, "/v", "Loader", "/t", "REG_SZ", "/d", elsewhere, "/f", view=setup.view)
    reg("add", commands, "/v", "KX1", "/t", "REG_SZ", "/d", "KXOTHER", "/f", view=setup.view)
    installed = setup.watched_state()
    problems += [p for p in [setup.uninstall()] if p]
    kept = {commands: {"KX1": "KXOTHER"}, shared + "\\Settings01": {}}
    expected = regfile.normalise(regfile.from_machine(dict(MACHINE, **kept)))
    for key in (shared, shared + "\\Settings01"):
        held = regfile.state_key(*regfile.split_full_path(key))
        expected[held] = installed[held]
    problems += regfile.describe_difference(setup.watched_state(), expected, "after", "expected")
    return [("uninstall-removes-only-its-own-values", problems)]


def side_by_side(x86, x64):
    """Both editions of one kind in one 64-bit prefix: the x64 one alone
    first, for the registry it leaves; then the x86 one and the x64 one
    again. Each is installed in its own place; removing the x86 one leaves
    the registry as the x64 one alone left it, removing that one the
    registry as it was. The x64 one is installed last, so the keys under
    HKEY_CURRENT_USER, which both editions share, are its own."""
    x64.lay_down(MACHINE, MACHINE)
    prefix = x64.prefix
    before = prefix.whole_registry()
    codes = [x64.install()]
    # Parsed: the Active Setup entry's version comes from the clock.
    alone = prefix.whole_state()
    problems = [p for p in [x64.uninstall()] if p]
    codes += [x86.install(), x64.install()]
    if codes != [0, 0, 0]:
        problems.append("setup exit codes %s" % codes)
    problems += x86.own_problems() + x64.own_problems()
    problems += [p for p in [x86.uninstall()] if p]
    problems += ["after the x86 uninstall: " + line for line in regfile.describe_difference(
        prefix.whole_state(), alone, "got", "the x64 setup alone")[:10]]
    if x64.own_problems() or not os.path.isdir(x64.unix):
        problems.append("the x86 uninstall took the x64 install's files or values")
    return [("both-editions-side-by-side", problems + uninstalled_problems(x64, before))]


BOTH = ("x86", "x64")
# case: the editions of each setup kind it runs for. Inno runs in the 64-bit
# prefix only: its x86 setup does the same there, through WOW64, and the
# side-by-side case installs and uninstalls both editions cleanly.
CASES = [(case_clean_install, {"nsis": BOTH}),
         (case_no_autocad, {"nsis": BOTH, "inno": BOTH}),
         (case_other_edition, {"nsis": BOTH, "inno": BOTH}),
         (case_install_twice, {"nsis": BOTH}),
         (case_no_rights, {"nsis": BOTH, "inno": ("x86",)}),
         (case_only_own_values, {"nsis": BOTH})]
KINDS = ("nsis", "inno")


def guarded(name, results, run):
    """results plus run()'s, or a harness error for name: one broken case
    must not hide the others."""
    try:
        return results + run()
    except Exception as error:
        return results + [(name, ["harness error: %r" % error])]


def build(kind, arch, release, base):
    """The setup's folder, and the problems of building it with its build.sh."""
    folder = os.path.join(base, "setup-%s-%s" % (kind, arch))
    done = subprocess.run([os.path.join(release, "examples", kind, "build.sh"), folder, arch],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          env=wine.environment())
    if done.returncode != 0:
        return folder, [done.stdout.decode("utf-8", "replace")[-2000:]]
    return folder, []


def run_prefix(arch, context):
    prefix = Prefix(arch, context["base"])
    results = []
    started = time.time()
    # The server holder's tool, of the build that starts in the prefix.
    os.environ["REGOST_PROBE_DIR32" if arch == "win32" else "REGOST_PROBE_DIR"] = \
        context["probes"]["x86" if arch == "win32" else "x64"]
    prefix.enter()
    try:
        setups = {}
        for kind in KINDS if arch == "win64" else ("nsis",):
            for edition in BOTH if arch == "win64" else ("x86",):
                folder, problems = context["builds"].get((kind, edition)) or build(
                    kind, edition, context["release"], context["base"])
                context["builds"][(kind, edition)] = folder, problems
                setup = Setup(kind, edition, prefix, folder)
                if problems:
                    results.append(("%s: build.sh" % setup.name, problems))
                else:
                    setups[(kind, edition)] = setup
        for (kind, edition), setup in setups.items():
            for case, editions in CASES:
                if edition in editions.get(kind, ()) and (
                        arch == "win64" or case != case_other_edition):
                    named = guarded(setup.name, [], lambda: case(setup, context))
                    results += [("%s %s" % (setup.name, name), p) for name, p in named]
        for kind in KINDS:
            if (kind, "x86") in setups and (kind, "x64") in setups:
                named = guarded(kind, [], lambda: side_by_side(setups[(kind, "x86")],
                                                               setups[(kind, "x64")]))
                results += [("%s %s" % (kind, name), p) for name, p in named]
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
    missing = [what for what, ok in (
        ("wine", wine.available()), ("makensis", shutil.which("makensis")),
        ("Xvfb", shutil.which("Xvfb")),
        ("innosetup's ISCC.exe (npm)", os.path.isfile(os.path.join(
            innosetup, "innosetup", "bin", "ISCC.exe"))),
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
    context = {"base": base, "release": release, "regost": regost, "builds": {},
               "probes": {arch: os.path.dirname(exe) for arch, exe in exes.items()}}
    display, os.environ["REGOST_WINE_DISPLAY"] = start_display()
    results = []
    try:
        for arch in ("win64", "win32"):
            results += run_prefix(arch, context)
    finally:
        display.kill()
        display.wait()
    return harness.finish(results, base)


if __name__ == "__main__":
    sys.exit(main())
