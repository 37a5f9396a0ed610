"""The machines of the example setups' tests (test_setups.py): a Wine prefix
with one server for all its cases, one built setup in it with its checks,
the README's deployment lines that run it, and the Linux build's registry
for comparison."""
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
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
# examples/README.txt's Windows build of the Inno setup, with the vendor's names that
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
