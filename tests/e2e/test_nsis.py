"""Runs the example NSIS setup (examples/nsis) under Wine, as a setup program
runs RegOSTCtl on a customer's machine: the x86 setup with the i686
RegOSTCtl.exe (beside env REGOST_EXE32) in a 32-bit prefix and again in a
64-bit one (WOW64: its AutoCAD and its values in the 32-bit view), the x64
setup with the x86_64 one (beside env REGOST_EXE) in a 64-bit prefix. Each
prefix is made fresh and serves all cases of its setup in turn; each case
lays its machine down afresh. The setups are built as a vendor builds them:
by the example's build.sh in the release's folder (tools/dist.sh --layout
around those exes), with the release's own exes.

Cases: a clean install gives the registry the Linux build (env REGOST) gives
for the same machine, and its uninstaller restores HKEY_LOCAL_MACHINE\\SOFTWARE
and HKEY_CURRENT_USER\\Software exactly; without an AutoCAD of the listed
releases the setup warns and completes with exit code 10; a user without rights gets a failed
setup and an uninstaller that still removes everything written; on a machine
with nothing of the maker, two installs and one uninstall leave nothing, not
even Software\\Quenlar; the uninstaller leaves alone a record's value that is
not Ostrel's, a value changed since, and a key a later install took over.

How the setups are started (as a user would have to, too): through
`cmd /c`, so that /D= comes last and unquoted, and the uninstaller with
_?=INSTDIR so that it runs in place and is waited for. With wine32 installed,
`wine reg` is the 32-bit tool, so every registry command names its view.
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

INSTALL_DIR = "C:\\Program Files\\Quenlar\\Ostrel 17"
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


class Prefix:
    """A fresh Wine prefix for one setup ("x86" in a 32-bit prefix, "x86-wow64"
    or "x64" in a 64-bit one), and the registry view that setup uses."""

    def __init__(self, arch, base):
        self.arch = arch
        self.view = "/reg:64" if arch == "x64" else "/reg:32"
        self.path = os.path.join(base, "wine-" + arch)
        self.base = base

    def enter(self):
        os.environ["REGOST_WINEPREFIX"] = self.path
        if self.arch == "x86":
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

    def reg(self, *args, view=None):
        return wine.run(["reg"] + list(args) + [view or self.view])

    def lay_down(self, machine):
        """Removes the program's keys and writes machine."""
        # `reg import /reg:64` writes in the 64-bit view but deletes its
        # [-KEY] lines in the 32-bit one (Wine 8), so keys go one by one.
        for key in WATCHED_FULL:
            self.reg("delete", key, "/f")
        path = os.path.join(self.base, "machine.reg")
        regfile.write_regedit4(machine, path)
        done = self.reg("import", wine.dos_path(path))
        if done.returncode != 0:
            raise RuntimeError("reg import failed: %r" % done.stderr[:300])
        shutil.rmtree(self.unix(INSTALL_DIR), ignore_errors=True)

    def export(self, key, view=None):
        path = os.path.join(self.base, "export.reg")
        if os.path.exists(path):
            os.remove(path)
        self.reg("export", key, wine.dos_path(path), "/y", view=view)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def watched_state(self):
        state = {}
        for key in WATCHED_FULL:
            raw = self.export(key)
            if raw is not None:
                regfile.parse(raw, state)
        return regfile.normalise(state)

    def whole_registry(self):
        """Exports of HKLM\\SOFTWARE (in a 64-bit prefix the 64-bit view, which
        holds the 32-bit one as Wow6432Node) and HKCU\\Software (one for both)."""
        return [self.export("HKLM\\SOFTWARE", "/reg:64"), self.export("HKCU\\Software")]

    def install(self, setup_dir):
        # /D= is read only last and unquoted: a Python argument list would quote it.
        return wine.run(["cmd", "/c", "OstrelSetup.exe /S /D=" + INSTALL_DIR], cwd=setup_dir)

    def uninstall(self):
        folder = self.unix(INSTALL_DIR)
        if not os.path.isfile(os.path.join(folder, "Uninstall.exe")):
            return "no Uninstall.exe"
        done = wine.run(["cmd", "/c", "Uninstall.exe /S _?=" + INSTALL_DIR], cwd=folder)
        if done.returncode != 0:
            return "uninstaller exit code %d" % done.returncode
        left = sorted(set(os.listdir(folder)) - {"Uninstall.exe"})
        return "files left: %s" % left if left else None

    def installed(self, name):
        return harness.read_file(os.path.join(self.unix(INSTALL_DIR), name))


def linux_state(regost, base, machine, example):
    """The registry regost gives for machine from the example's folder, with its
    folder's path replaced by the install folder's."""
    folder = os.path.join(base, "linux")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name in ("RegOST.ini", "Ostrel.arx"):
        shutil.copy(os.path.join(example, name), folder)
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
                values[lname] = (name, kind, INSTALL_DIR + "\\" + data[len(ours):])
    return regfile.normalise(state)


def case_clean_install(prefix, setup_dir, regost, example):
    prefix.lay_down(MACHINE)
    before = prefix.whole_registry()
    problems = []
    done = prefix.install(setup_dir)
    if done.returncode != 0:
        problems.append("setup exit code %d" % done.returncode)
    entry = "HKLM\\" + scenarios.active_setup_key(INSTALL_DIR + "\\")
    query = prefix.reg("query", entry, "/v", "StubPath").stdout.decode("utf-8", "replace")
    stub = query.partition("REG_SZ")[2].strip()
    if stub != '"%s\\RegOSTCtl.exe" /USER' % INSTALL_DIR:
        problems.append("Active Setup entry's StubPath: %r" % query[-300:])
    if regost:
        problems += regfile.describe_difference(prefix.watched_state(),
                                                linux_state(regost, prefix.base, MACHINE,
                                                            example),
                                                "Wine", "Linux")
    results = [("clean-install-as-linux-build", problems)]
    problems = [p for p in [prefix.uninstall()] if p]
    if prefix.whole_registry() != before:
        problems.append("registry differs from before the install: %s" % "; ".join(
            regfile.describe_difference(prefix.watched_state(), regfile.normalise(
                regfile.from_machine(MACHINE)), "after", "before")[:10]))
    results.append(("uninstall-restores-registry", problems))
    return results


def case_no_autocad(prefix, setup_dir):
    machine = {k: v for k, v in MACHINE.items() if not k.startswith(AUTOCAD)}
    prefix.lay_down(machine)
    before = prefix.whole_registry()
    problems = []
    done = prefix.install(setup_dir)
    if done.returncode != 10:
        problems.append("setup exit code %d without AutoCAD, expected 10 after a warning"
                        % done.returncode)
    if b"Error -- AutoCAD not found." not in (prefix.installed("RegOST.log") or b""):
        problems.append("RegOST.log does not say 'AutoCAD not found'")
    problems += [p for p in [prefix.uninstall()] if p]
    if prefix.whole_registry() != before:
        problems.append("registry differs from before the install")
    return [("no-autocad-warns-and-completes", problems)]


def case_install_twice(prefix, setup_dir):
    # Nothing of the maker on the machine: Software\Quenlar must go too.
    machine = {k: v for k, v in MACHINE.items() if k.startswith(AUTOCAD)}
    prefix.lay_down(machine)
    before = prefix.whole_registry()
    problems = []
    for run in (1, 2):
        done = prefix.install(setup_dir)
        if done.returncode != 0:
            problems.append("install %d: exit code %d" % (run, done.returncode))
    problems += [p for p in [prefix.uninstall()] if p]
    if prefix.whole_registry() != before:
        problems.append("registry differs from before the installs")
    return [("install-twice-uninstall-once", problems)]


def case_no_rights(prefix, setup_dir):
    # Volatile keys refuse the non-volatile ones RegOST creates: every
    # HKEY_LOCAL_MACHINE write fails, as for a user without rights, and the
    # demand-load values go to HKEY_CURRENT_USER.
    prefix.lay_down({})
    release = os.path.join(prefix.base, "release-volatile")
    holder = prefix.runner.hold_volatile(["HKLM\\Software\\Quenlar"] + PRODUCTS, release)
    problems = []
    try:
        before = prefix.whole_registry()
        done = prefix.install(setup_dir)
        if done.returncode != 2:
            problems.append("setup exit code %d without HKEY_LOCAL_MACHINE rights, expected 2"
                            % done.returncode)
        if prefix.whole_registry() == before:
            problems.append("the install wrote nothing")
        problems += [p for p in [prefix.uninstall()] if p]
        if prefix.whole_registry() != before:
            problems.append("registry differs from before the install")
    finally:
        open(release, "w").close()
        holder.wait(timeout=60)
        os.remove(release)
    return [("no-rights-fails-and-uninstalls", problems)]


def case_only_own_values(prefix, setup_dir):
    # After the install: a record of another add-on's value that holds the
    # recorded data (another setup's run in this folder, or a tampered log),
    # a command of Ostrel changed since, and the HKEY_CURRENT_USER key of
    # Ostrel 17.1 taken over by a later install in another folder (the
    # other edition's). All three stay, the last one with all below it.
    other_addon = PRODUCTS[0] + "\\Applications\\Other"
    shared = "HKCU\\Software\\Quenlar\\AutoCAD\\17.1\\Ostrel"
    commands = PRODUCTS[1] + "\\Applications\\Ostrel\\Commands"
    prefix.lay_down(MACHINE)
    problems = []
    done = prefix.install(setup_dir)
    if done.returncode != 0:
        problems.append("setup exit code %d" % done.returncode)
    with open(prefix.unix(INSTALL_DIR + "\\TEMPTXT.log"), "ab") as f:
        f.write(b"RegDB Key: %s\r\nRegDB Val: 2\r\nRegDB Name: LOADCTRLS\r\nRegDB Type: 3\r\n"
                b"RegDB Root: 2\r\n" % other_addon[5:].encode())
    elsewhere = "C:\\Program Files (x86)\\Quenlar\\Ostrel 17\\Ostrel.arx"
    prefix.reg("add", shared, "/v", "Loader", "/t", "REG_SZ", "/d", elsewhere, "/f")
    prefix.reg("add", commands, "/v", "KX1", "/t", "REG_SZ", "/d", "KXOTHER", "/f")
    installed = prefix.watched_state()
    problems += [p for p in [prefix.uninstall()] if p]
    kept = {commands: {"KX1": "KXOTHER"}, shared + "\\Settings01": {}}
    expected = regfile.normalise(regfile.from_machine(dict(MACHINE, **kept)))
    for key in (shared, shared + "\\Settings01"):
        held = regfile.state_key(*regfile.split_full_path(key))
        expected[held] = installed[held]
    problems += regfile.describe_difference(prefix.watched_state(), expected, "after", "expected")
    return [("uninstall-removes-only-its-own-values", problems)]


def run_bitness(arch, exe, base, regost, example):
    prefix = Prefix(arch, base)
    setup_dir = os.path.join(base, "setup-" + arch)
    build = subprocess.run([os.path.join(example, "build.sh"), setup_dir, arch[:3]],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if build.returncode != 0:
        return [("%s: build.sh" % arch, [build.stdout.decode("utf-8", "replace")[-2000:]])]
    # The volatile-key tool of the setup's build works in the setup's view.
    os.environ["REGOST_PROBE_DIR"] = os.path.dirname(exe)
    results = []
    started = time.time()
    prefix.enter()
    try:
        for case in (lambda: case_clean_install(prefix, setup_dir, regost, example),
                     lambda: case_no_autocad(prefix, setup_dir),
                     lambda: case_install_twice(prefix, setup_dir),
                     lambda: case_no_rights(prefix, setup_dir),
                     lambda: case_only_own_values(prefix, setup_dir)):
            try:
                results += case()
            except Exception as error:  # one broken case must not hide the others
                results.append(("%s: a case" % arch, ["harness error: %r" % error]))
    finally:
        prefix.leave()
    print("%s: %.0f s" % (arch, time.time() - started))
    return [("%s %s" % (arch, name), problems) for name, problems in results]


def ctl_exe(exe):
    """The RegOSTCtl.exe built beside a RegOST.exe."""
    return os.path.join(os.path.dirname(exe), "RegOSTCtl.exe")


def main():
    exes = {"x86": os.environ.get("REGOST_EXE32", ""), "x64": os.environ.get("REGOST_EXE", "")}
    missing = [what for what, ok in (
        ("wine", wine.available()), ("makensis", shutil.which("makensis")),
        ("RegOSTCtl.exe beside REGOST_EXE32", os.path.isfile(ctl_exe(exes["x86"]))),
        ("RegOSTCtl.exe beside REGOST_EXE", os.path.isfile(ctl_exe(exes["x64"]))))
        if not ok]
    if missing:
        return wine.skipped("missing: %s" % ", ".join(missing))
    regost = os.environ.get("REGOST", "")
    if not os.path.isfile(regost):
        print("REGOST not built: the Linux comparison is left out")
        regost = None
    base = tempfile.mkdtemp(prefix="regost-e2e-nsis-")
    release, problems = harness.lay_out_release(base, exes)
    if problems:
        return harness.finish([("tools/dist.sh --layout", problems)], base)
    example = os.path.join(release, "examples", "nsis")
    results = []
    for arch in ("x86", "x86-wow64", "x64"):
        results += run_bitness(arch, exes[arch[:3]], base, regost, example)
    return harness.finish(results, base)


if __name__ == "__main__":
    sys.exit(main())
