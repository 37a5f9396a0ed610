"""Runs the example Windows Installer package (examples/msi) under Wine's
msiexec: the x64 package in a 64-bit prefix, the x86 one in a 32-bit prefix
and through WOW64, each prefix made fresh for this script. The exes are
those of env REGOST_EXE and REGOST_EXE32 with RegOSTCtl.exe beside them;
the four must carry their version resources.

Cases: an install puts the files in the default folder and the values in
the registry view of the exe's bitness (and only there); its uninstall
gives back the registry exactly as before and leaves no folder; on a machine
where no listed release has an AutoCAD the install fails and leaves no
folder; an upgrade to the same source built with a higher version keeps the
values and leaves one product registered.

Wine cuts msiexec's exit code to 8 bits, so only its effects are judged.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "lib"))

import harness  # noqa: E402
import regfile  # noqa: E402
import test_wine  # noqa: E402
import wine  # noqa: E402

SOURCE = os.path.join(HERE, "..", "..")
FILES = ["Ostrel.arx", "RegOST.exe", "RegOST.ini", "RegOST.log", "RegOSTCtl.exe", "TEMPTXT.log"]
# name: (package, prefix, registry view of the exes, the default folder's parent)
CONFIGURATIONS = {
    "x64": ("x64", "win64", "/reg:64", "C:\\Program Files"),
    "x86": ("x86", "win32", "/reg:32", "C:\\Program Files"),
    "x86-wow64": ("x86", "win64", "/reg:32", "C:\\Program Files (x86)"),
}
AUTOCAD = "HKLM\\SOFTWARE\\Autodesk\\AutoCAD"
MACHINE = {
    AUTOCAD + "\\R17.1\\ACAD-A001:409": {"ProductName": "AutoCAD 2008"},
    AUTOCAD + "\\R17.2\\ACAD-B001:409": {"ProductName": "AutoCAD 2009"},
    "HKLM\\SOFTWARE\\Quenlar\\AutoCAD\\17.0\\Ostrel": {"Loader": "C:\\Old\\Ostrel.arx"},
}
# An AutoCAD of an earlier release only.
NO_AUTOCAD = {AUTOCAD + "\\R16.2\\ACAD-4001:409": {"ProductName": "AutoCAD 2006"}}
OWN_KEYS = ["HKLM\\SOFTWARE\\Autodesk", "HKLM\\SOFTWARE\\Quenlar", "HKCU\\Software\\Quenlar"]
LOADER = "SOFTWARE\\Quenlar\\AutoCAD\\%s\\Ostrel"


def version_resource_problems(exe, version):
    """The strings of the exe's version resource (RT_VERSION 1)."""
    with open(exe, "rb") as f:
        data = test_wine.resource(f.read(), 16, 1)
    if data is None:
        return ["no version resource"]
    text = data.decode("utf-16-le", "replace")
    strings = dict(re.findall(r"(\w+)\x00\x00?([^\x00]*)\x00", text))
    expected = {"FileVersion": version, "ProductVersion": version, "ProductName": "RegOST",
                "OriginalFilename": os.path.basename(exe)}
    problems = ["%s is %r, not %r" % (k, strings.get(k), v)
                for k, v in expected.items() if strings.get(k) != v]
    if "MIT" not in strings.get("LegalCopyright", "") or not strings.get("FileDescription"):
        problems.append("LegalCopyright %r, FileDescription %r" % (
            strings.get("LegalCopyright"), strings.get("FileDescription")))
    return problems


class Machine:
    """A fresh prefix and one configuration's package in it."""

    def __init__(self, name, base, packages):
        self.name = name
        self.arch, self.prefix_arch, self.view, parent = CONFIGURATIONS[name]
        self.folder = parent + "\\Quenlar\\Ostrel 17"
        self.packages = packages[self.arch]
        self.base = base
        self.two_views = self.prefix_arch == "win64"

    def unix(self, dos):
        return os.path.join(wine.prefix_path(), "drive_c", *dos[3:].split("\\"))

    def reg(self, *args, view=None):
        view = view or self.view
        return wine.run(["reg"] + list(args) + ([view] if self.two_views else []))

    def msiexec(self, *args):
        # No pipes: a process msiexec leaves running would hold them open.
        return subprocess.run([wine.wine_binary(), "msiexec"] + list(args) + ["/qn"],
                              env=wine.environment(), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=300).returncode

    def lay_down(self, machine):
        for key in OWN_KEYS:
            for view in ("/reg:64", "/reg:32"):
                self.reg("delete", key, "/f", view=view)
        path = os.path.join(self.base, "machine.reg")
        regfile.write_regedit4(machine, path)
        if self.reg("import", wine.dos_path(path)).returncode != 0:
            raise RuntimeError("reg import failed")

    def registry(self):
        """Exports of the keys RegOST writes, in both views, as text."""
        texts = []
        for key in OWN_KEYS + ["HKCU\\Software\\Autodesk"]:
            for place in {key, test_wine.in_wow(key)} if self.two_views else {key}:
                path = os.path.join(self.base, "export.reg")
                if os.path.exists(path):
                    os.remove(path)
                self.reg("export", place, wine.dos_path(path), "/y", view="/reg:64")
                if os.path.exists(path):
                    with open(path, "rb") as f:
                        texts.append(f.read().decode("utf-16"))
        return "\n".join(sorted(texts))

    def products(self):
        done = self.reg("query", "HKLM\\SOFTWARE\\Classes\\Installer\\Products", "/s")
        return done.stdout.decode("utf-8", "replace").count("Ostrel 17")

    def loader(self, release, view):
        done = self.reg("query", "HKLM\\" + LOADER % release, "/v", "Loader", view=view)
        line = done.stdout.decode("utf-8", "replace").split("REG_SZ")
        return line[1].strip() if done.returncode == 0 and len(line) > 1 else None

    def installed_problems(self):
        problems = []
        folder = self.unix(self.folder)
        found = sorted(os.listdir(folder)) if os.path.isdir(folder) else None
        if found != FILES:
            problems.append("files in %s: %s" % (self.folder, found))
        for release in ("17.1", "17.2"):
            got = self.loader(release, self.view)
            if got != self.folder + "\\Ostrel.arx":
                problems.append("%s Loader in the %s view: %r" % (release, self.view, got))
            if self.two_views:
                other = "/reg:64" if self.view == "/reg:32" else "/reg:32"
                if self.loader(release, other) is not None:
                    problems.append("%s Loader in the other view too" % release)
        if self.products() != 1:
            problems.append("%d products registered" % self.products())
        return problems

    def gone_problems(self):
        folder = self.unix(self.folder)
        return ["folder left: %s" % os.listdir(folder)] if os.path.exists(folder) else []


def difference(before, after):
    """The key lines of the exports that one side lacks (at most ten)."""
    def keys(text):
        return set(re.findall(r"^\[.*\]$", text, re.MULTILINE))
    added, lost = keys(after) - keys(before), keys(before) - keys(after)
    lines = ["added " + k for k in sorted(added)] + ["lost " + k for k in sorted(lost)]
    return lines[:10] or ["values differ"]


def install_and_uninstall(m):
    m.lay_down(MACHINE)
    before = m.registry()
    code = m.msiexec("/i", m.packages[0])
    problems = m.installed_problems()
    results = [("install", problems + (["exit code %d" % code] if problems else []))]
    code = m.msiexec("/x", m.packages[0])
    after = m.registry()
    problems = m.gone_problems() + ([] if after == before else difference(before, after))
    return results + [("uninstall", problems + (["exit code %d" % code] if problems else []))]


def no_autocad(m):
    m.lay_down(NO_AUTOCAD)
    code = m.msiexec("/i", m.packages[0])
    problems = m.gone_problems()
    if code == 0 or m.products():
        problems.append("exit code %d, %d products" % (code, m.products()))
    # Wine runs no rollback action: what RegOSTCtl wrote before it failed stays.
    left = [r for r in ("17.1", "17.2") if m.loader(r, m.view) is not None]
    print("%s no-autocad: msiexec exit %d; Loader values left (no rollback action): %s"
          % (m.name, code, left))
    m.msiexec("/x", m.packages[0])
    return [("no-autocad-fails-leaves-no-folder", problems)]


def upgrade(m):
    m.lay_down(MACHINE)
    before = m.registry()
    codes = [m.msiexec("/i", m.packages[0]), m.msiexec("/i", m.packages[1])]
    problems = m.installed_problems()
    codes.append(m.msiexec("/x", m.packages[1]))
    after = m.registry()
    problems += m.gone_problems() + ([] if after == before else difference(before, after))
    return [("upgrade-keeps-values-one-product",
             problems + (["exit codes %s" % codes] if problems else []))]


def run_configuration(name, base, packages):
    m = Machine(name, base, packages)
    started = time.time()
    results = []
    for case in (install_and_uninstall, no_autocad, upgrade):
        try:
            results += case(m)
        except Exception as error:  # one broken case must not hide the others
            results.append((case.__name__, ["harness error: %r" % error]))
    print("%s: %.0f s" % (name, time.time() - started))
    return [("%s %s" % (name, case), problems) for case, problems in results]


def enter_prefix(arch, path):
    os.environ["REGOST_WINEARCH"] = arch
    os.environ["REGOST_WINEPREFIX32" if arch == "win32" else "REGOST_WINEPREFIX"] = path
    wine.ensure_prefix()
    # One server for the whole prefix, not one per command; the first
    # command starts the prefix's services, which would inherit its pipes.
    for command in (["wineserver", "-p"], [wine.wine_binary(), "cmd", "/c", "exit"]):
        subprocess.run(command, env=wine.environment(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)


def leave_prefix():
    subprocess.run(["wineserver", "-k"], env=wine.environment(), check=False)
    shutil.rmtree(wine.prefix_path(), ignore_errors=True)


def main():
    exes = {"x86": os.environ.get("REGOST_EXE32", ""), "x64": os.environ.get("REGOST_EXE", "")}
    missing = [what for what, ok in [("wine", wine.available()), ("wixl", shutil.which("wixl")),
                                     ("msibuild", shutil.which("msibuild"))] +
               [(exe, os.path.isfile(exe)) for exe in exes.values()] if not ok]
    if missing:
        return wine.skipped("missing: %s" % ", ".join(missing))
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
        version = re.search(r"project\(RegOST VERSION ([0-9.]+)", f.read()).group(1)
    base = tempfile.mkdtemp(prefix="regost-e2e-msi-")
    results = []
    for exe in sorted(exes.values()):
        for name in ("RegOST.exe", "RegOSTCtl.exe"):
            path = os.path.join(os.path.dirname(exe), name)
            results.append(("version-resource %s" % os.path.relpath(path, SOURCE),
                            version_resource_problems(path, version)))
    packages = {}
    started = time.time()
    for arch, exe in exes.items():
        for version in ("17.0.0", "17.0.1"):
            out = os.path.join(base, "%s-%s" % (arch, version))
            build = subprocess.run([os.path.join(SOURCE, "examples", "msi", "build.sh"), out,
                                    arch, os.path.dirname(exe)],
                                   env=dict(os.environ, OSTREL_VERSION=version),
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            results.append(("build.sh %s %s" % (arch, version),
                            [build.stdout.decode("utf-8", "replace")] if build.returncode else []))
            packages.setdefault(arch, []).append(wine.dos_path(out + "/OstrelSetup.msi"))
    print("four packages built: %.0f s" % (time.time() - started))
    for arch, names in (("win64", ["x64", "x86-wow64"]), ("win32", ["x86"])):
        enter_prefix(arch, os.path.join(base, "wine-" + arch))
        try:
            for name in names:
                results += run_configuration(name, base, packages)
        finally:
            leave_prefix()
    return harness.finish(results, base)


if __name__ == "__main__":
    sys.exit(main())
