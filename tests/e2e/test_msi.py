"""The example MSI package (examples/msi) under Wine's msiexec: x64 in a
64-bit prefix, x86 in a 32-bit one and through WOW64, both side by side in the
64-bit one, in fresh prefixes,
around the exes of env REGOST_EXE and REGOST_EXE32 (RegOSTCtl.exe beside
them), whose version resources are checked too. The packages are built by
build.sh in the release's folder (tools/dist.sh --layout around those exes) and installed,
removed and repaired by README.md's lines. Wine cuts msiexec's exit
code to 8 bits, so the cases judge effects: files, values, folder, products.
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
import scenarios  # noqa: E402
import test_wine  # noqa: E402
import wine  # noqa: E402

SOURCE = os.path.join(HERE, "..", "..")
# The package carries only what it runs: no RegOST.exe.
FILES = ["Ostrel.arx", "RegOST-LICENSE.txt", "RegOST.ini", "RegOST.log", "RegOSTCtl.exe",
         "TEMPTXT.log"]
# README.md's deployment lines, run as printed in the package's folder.
INSTALL = "msiexec /i OstrelSetup.msi /qn /norestart"
UNINSTALL = "msiexec /x {ProductCode} /qn /norestart"
REPAIR = "msiexec /i OstrelSetup.msi REINSTALL=ALL REINSTALLMODE=omus /qn /norestart"
# name: (package, prefix, registry view of the exes, the default folder)
CONFIGURATIONS = [("x64", "win64", "/reg:64", "C:\\Program Files\\Quenlar\\Ostrel 17"),
                  ("x86-wow64", "win64", "/reg:32", "C:\\Program Files (x86)\\Quenlar\\Ostrel 17"),
                  ("x86", "win32", "/reg:32", "C:\\Program Files\\Quenlar\\Ostrel 17")]
AUTOCAD = "HKLM\\SOFTWARE\\Autodesk\\AutoCAD"
MACHINE = {AUTOCAD + "\\R17.1\\ACAD-A001:409": {"ProductName": "AutoCAD 2008"},
           AUTOCAD + "\\R17.2\\ACAD-B001:409": {"ProductName": "AutoCAD 2009"},
           "HKLM\\SOFTWARE\\Quenlar\\AutoCAD\\17.0\\Ostrel": {"Loader": "C:\\Old\\Ostrel.arx"}}
# (the package's view, the other one)
OTHER_VIEW_ONLY = ({k: v for k, v in MACHINE.items() if not k.startswith(AUTOCAD)},
                   {k: v for k, v in MACHINE.items() if k.startswith(AUTOCAD)})
NO_AUTOCAD = {AUTOCAD + "\\R16.2\\ACAD-4001:409": {"ProductName": "AutoCAD 2006"}}
OURS = ["HKLM\\SOFTWARE\\Autodesk", "HKLM\\SOFTWARE\\Quenlar", "HKCU\\Software\\Quenlar",
        "HKCU\\Software\\Autodesk"]


def version_problems(exe, version):
    with open(exe, "rb") as f:
        data = test_wine.resource(f.read(), 16, 1) or b""  # RT_VERSION
    strings = dict(re.findall(r"(\w+)\x00\x00?([^\x00]*)\x00", data.decode("utf-16-le", "replace")))
    expected = {"FileVersion": version, "ProductVersion": version, "ProductName": "RegOST",
                "OriginalFilename": os.path.basename(exe)}
    problems = ["%s: %r" % (k, strings.get(k)) for k, v in expected.items() if strings.get(k) != v]
    if "MIT" not in strings.get("LegalCopyright", "") or not strings.get("FileDescription"):
        problems.append("LegalCopyright or FileDescription: %r" % strings)
    return problems


class Machine:
    def __init__(self, name, prefix, view, folder, packages, base):
        self.name, self.view, self.folder, self.base = name, view, folder, base
        self.product = "Ostrel 17 (%s)" % ("64-bit" if name == "x64" else "32-bit")
        self.two_views, self.packages = prefix == "win64", packages
        self.exe = os.environ["REGOST_EXE32" if prefix == "win32" else "REGOST_EXE"]
        self.unix = os.path.join(wine.prefix_path(), "drive_c", *folder[3:].split("\\"))
        # The folder's Active Setup entry is the package's too (Windows' own stay).
        self.entry = "HKLM\\" + scenarios.active_setup_key(folder + "\\")
        self.ours = OURS + [self.entry]

    def reg(self, *args, view=None):
        return wine.run(["reg"] + list(args) + ([view or self.view] if self.two_views else []))

    def msiexec(self, line, package=0, *extra):
        """line split as cmd splits it, with the ProductCode of packages[package]."""
        msi = self.packages[package]
        code = re.search(r"^ProductCode\t(\S+)", subprocess.run(
            ["msiinfo", "export", msi, "Property"], stdout=subprocess.PIPE).stdout.decode(), re.M)
        # No pipes: a process msiexec leaves running would hold them open.
        return subprocess.run([wine.wine_binary()] + line.replace(
            "{ProductCode}", code.group(1)).split() + list(extra), cwd=os.path.dirname(msi),
            env=wine.environment(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            timeout=300).returncode

    def lay_down(self, machine, other=None):
        """machine in the package's view, other in the other one's."""
        for key in self.ours:
            for view in ("/reg:64", "/reg:32"):
                self.reg("delete", key, "/f", view=view)
        other_view = {"/reg:32": "/reg:64", "/reg:64": "/reg:32"}[self.view]
        for view, content in ((self.view, machine), (other_view, other)):
            if content is not None:
                regfile.write_regedit4(content, os.path.join(self.base, "machine.reg"))
                self.reg("import", wine.dos_path(os.path.join(self.base, "machine.reg")),
                         view=view)
        return self.registry()

    def registry(self):
        """The keys RegOST writes, in both views, as exported."""
        texts, path = {}, os.path.join(self.base, "export.reg")
        for key in self.ours:
            for place in {key, test_wine.in_wow(key) if self.two_views else key}:
                if os.path.exists(path):
                    os.remove(path)
                self.reg("export", place, wine.dos_path(path), "/y", view="/reg:64")
                texts[place] = open(path, "rb").read() if os.path.exists(path) else None
        return texts

    def loader(self, release, view):
        done = self.reg("query", "HKLM\\SOFTWARE\\Quenlar\\AutoCAD\\%s\\Ostrel" % release,
                        "/v", "Loader", view=view)
        return done.stdout.decode("utf-8", "replace").partition("REG_SZ")[2].strip() or None

    def products(self):
        done = self.reg("query", "HKLM\\SOFTWARE\\Classes\\Installer\\Products", "/s")
        return done.stdout.decode("utf-8", "replace").count(self.product)

    def installed_problems(self, beside=None):
        """beside: the folder of the other edition's install, if any."""
        found = sorted(os.listdir(self.unix)) if os.path.isdir(self.unix) else None
        problems = [] if found == FILES else ["files: %s" % found]
        machine = harness.image_machine(os.path.join(self.unix, "Ostrel.arx"))
        if machine != (0x8664 if self.name == "x64" else 0x14C):
            problems.append("Ostrel.arx is no image of the package's machine: %r" % machine)
        other = {"/reg:32": "/reg:64", "/reg:64": "/reg:32"}[self.view]
        others = beside + "\\Ostrel.arx" if beside else None
        for release in ("17.1", "17.2"):
            if self.loader(release, self.view) != self.folder + "\\Ostrel.arx" or (
                    self.two_views and self.loader(release, other) != others):
                problems.append("%s Loader: %r in %s, %r in the other view" % (
                    release, self.loader(release, self.view), self.view,
                    self.loader(release, other)))
        stub = self.reg("query", self.entry, "/v", "StubPath").stdout.decode("utf-8", "replace")
        if stub.partition("REG_SZ")[2].strip() != '"%s\\RegOSTCtl.exe" /USER' % self.folder:
            problems.append("Active Setup entry's StubPath: %r" % stub[-300:])
        return problems + ([] if self.products() == 1 else ["%d products" % self.products()])

    def removed_problems(self, before):
        problems = ["folder left"] if os.path.exists(os.path.dirname(self.unix)) else []
        after = self.registry()
        return problems + ["%s differs from before" % k for k in after if after[k] != before[k]]

    def cases(self):
        before = self.lay_down(MACHINE)
        codes = [self.msiexec(INSTALL)]
        yield "install", self.installed_problems(), codes
        # Another run holds the lock past RegOSTCtl's wait: all stays for a later uninstall.
        installed, release = self.registry(), os.path.join(self.base, "release-lock")
        holder = test_wine.WineRunner(self.exe, self.base).hold_volatile(
            ["LOCK:Global\\RegOST-Registry"], release)
        try:
            codes.append(self.msiexec(UNINSTALL, 0, "OSTRELWAIT=2"))
        finally:
            open(release, "w").close()
            holder.wait(timeout=60)
        problems = self.installed_problems() + ["values changed"] * (self.registry() != installed)
        yield "locked-uninstall-fails-keeps-all", problems, codes
        codes.append(self.msiexec(UNINSTALL))
        problems = self.removed_problems(before)
        # Into another folder: the uninstall finds its TEMPTXT.log there too.
        codes.append(self.msiexec(INSTALL, 0, "INSTALLDIR=C:\\Other\\Ostrel"))
        if self.loader("17.1", self.view) != "C:\\Other\\Ostrel\\Ostrel.arx":
            problems.append("no install into C:\\Other\\Ostrel")
        codes.append(self.msiexec(UNINSTALL))
        other = os.path.join(wine.prefix_path(), "drive_c", "Other", "Ostrel")
        problems += ["C:\\Other\\Ostrel left"] * os.path.exists(other)
        yield "uninstall-default-and-other-folder", problems + self.removed_problems(before), codes
        failing = [("no-autocad", NO_AUTOCAD, None)]
        if self.two_views:  # only the other edition's AutoCAD: RegOSTCtl's 7
            failing.append(("other-edition", OTHER_VIEW_ONLY[0], OTHER_VIEW_ONLY[1]))
        for name, machine, other in failing:
            self.lay_down(machine, other)
            codes = [self.msiexec(INSTALL)]
            problems = ["folder left"] if os.path.exists(os.path.dirname(self.unix)) else []
            if codes[0] == 0 or self.products():
                problems.append("%d products" % self.products())
            # Wine runs no rollback action: what RegOSTCtl wrote before it failed stays.
            print("%s %s: Loader values left: %s" % (self.name, name, [
                r for r in ("17.1", "17.2") if self.loader(r, self.view)]))
            codes.append(self.msiexec(UNINSTALL))
            yield name + "-fails-leaves-no-folder", problems, codes
        yield from self.later_cases()

    def later_cases(self):
        before = self.lay_down(MACHINE)
        codes = [self.msiexec(INSTALL, package) for package in (0, 1)]
        problems = self.installed_problems()
        codes.append(self.msiexec(UNINSTALL, 1))
        yield "upgrade-keeps-values-one-product", problems + self.removed_problems(before), codes
        # A repair puts back a deleted registration (Wine's msiexec takes no
        # /f with a package path, and fails /fomus {ProductCode}).
        before = self.lay_down(MACHINE)
        codes = [self.msiexec(INSTALL)]
        application = AUTOCAD + "\\R17.1\\ACAD-A001:409\\Applications\\Ostrel"
        self.reg("delete", application, "/v", "LOADER", "/f")
        codes.append(self.msiexec(REPAIR))
        loader = self.reg("query", application, "/v", "LOADER").stdout.decode("utf-8", "replace")
        problems = self.installed_problems()
        if loader.partition("REG_SZ")[2].strip() != self.folder + "\\Ostrel.arx":
            problems.append("LOADER after the repair: %r" % loader[-300:])
        codes.append(self.msiexec(UNINSTALL))
        yield "repair-registers-again-uninstall-exact", problems + self.removed_problems(before), \
            codes


def side_by_side(x86, x64):
    """Both packages in one 64-bit prefix: the x64 one alone first, for the
    registry it leaves; then the x86 one and the x64 one again, each in its
    own folder and view. Removing the x86 one leaves what the x64 one alone
    left (the x64 one, installed last, holds the HKEY_CURRENT_USER keys both
    share), removing that one what was there before."""
    before = x64.lay_down(MACHINE, MACHINE)
    codes = [x64.msiexec(INSTALL)]
    alone = x86.registry()
    codes += [x64.msiexec(UNINSTALL), x86.msiexec(INSTALL), x64.msiexec(INSTALL)]
    problems = x86.installed_problems(x64.folder) + x64.installed_problems(x86.folder)
    codes.append(x86.msiexec(UNINSTALL))
    problems += ["x86 uninstall: " + p for p in x86.removed_problems(alone)]
    problems += ["x64 after the x86 uninstall: " + p for p in x64.installed_problems()]
    codes.append(x64.msiexec(UNINSTALL))
    return problems + x64.removed_problems(before), codes


def build_packages(release, base):
    """Both packages of each version, built as a vendor builds them: by
    build.sh in the release's folder, with the release's exes, a vendor's
    RegOST.ini and the placeholder add-ons; with the results of the builds
    and of the README's lines."""
    build_sh, results, packages = os.path.join(release, "examples", "msi", "build.sh"), [], {}
    setup_ini = harness.vendor_setup_ini(base)
    for version in ("17.0.0", "17.0.1"):  # the second one upgrades the first
        out = os.path.join(base, version)
        build = subprocess.run([build_sh, out, setup_ini, "placeholder", "placeholder"],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               env=dict(os.environ, OSTREL_VERSION=version))
        results.append(("build.sh " + version,
                        [build.stdout.decode()[-2000:]] if build.returncode else []))
        for arch in ("x86", "x64"):
            packages.setdefault(arch, []).append(os.path.join(out, arch, "OstrelSetup.msi"))
    results.append(("readme-msi-lines", harness.readme_problems([INSTALL, UNINSTALL, REPAIR])))
    return results, packages


def run_prefix(prefix, base, packages, results):
    os.environ["REGOST_WINEARCH"] = prefix
    os.environ["REGOST_WINEPREFIX32" if prefix == "win32" else "REGOST_WINEPREFIX"] = \
        os.path.join(base, "wine-" + prefix)
    wine.ensure_prefix()
    # One server for the prefix; the first command starts the prefix's
    # services, which would otherwise inherit a later command's pipes.
    for command in (["wineserver", "-p"], [wine.wine_binary(), "cmd", "/c", "exit"]):
        subprocess.run(command, env=wine.environment(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    try:
        for name, arch_prefix, view, folder in CONFIGURATIONS:
            if arch_prefix != prefix:
                continue
            started = time.time()
            machine = Machine(name, prefix, view, folder, packages[name[:3]], base)
            try:
                for case, problems, codes in machine.cases():
                    print("%s %s: msiexec exit codes %s" % (name, case, codes))
                    results.append(("%s %s" % (name, case), problems))
            except Exception as error:  # one broken configuration must not hide the others
                results.append((name, ["harness error: %r" % error]))
            print("%s: %.0f s" % (name, time.time() - started))
        if prefix == "win64":
            pair = [Machine(name, prefix, view, folder, packages[name[:3]], base)
                    for name, _, view, folder in CONFIGURATIONS[:2]]
            try:
                problems, codes = side_by_side(pair[1], pair[0])
            except Exception as error:
                problems, codes = ["harness error: %r" % error], []
            print("both-editions-side-by-side: msiexec exit codes %s" % codes)
            results.append(("both-editions-side-by-side", problems))
    finally:
        subprocess.run(["wineserver", "-k"], env=wine.environment())
        shutil.rmtree(wine.prefix_path(), ignore_errors=True)


def main():
    exes = {"x86": os.environ.get("REGOST_EXE32", ""), "x64": os.environ.get("REGOST_EXE", "")}
    missing = [what for what in ["wixl", "msibuild"] if not shutil.which(what)] + [
        exe for exe in exes.values() if not os.path.isfile(exe)]
    if missing or not wine.available():
        return wine.skipped("missing: wine or %s" % ", ".join(missing))
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
        version = re.search(r"project\(RegOST VERSION ([0-9.]+)", f.read()).group(1)
    base = tempfile.mkdtemp(prefix="regost-e2e-msi-")
    release, problems = harness.lay_out_release(base, exes)
    if problems:
        return harness.finish([("tools/dist.sh --layout", problems)], base)
    results, packages = build_packages(release, base)
    for arch, exe in sorted(exes.items()):
        for name in ("RegOST.exe", "RegOSTCtl.exe"):
            results.append(("version-resource %s %s" % (arch, name),
                            version_problems(os.path.join(os.path.dirname(exe), name), version)))
    for prefix in ("win64", "win32"):
        run_prefix(prefix, base, packages, results)
    return harness.finish(results, base)


if __name__ == "__main__":
    sys.exit(main())
