"""Runs every end-to-end scenario with RegOST.exe under Wine, in one prefix,
and holds it to the same expected logs and, when the Linux build is at hand
too (env REGOST), to byte-identical logs (headers aside) and the same
registry as that build gives in the same folder.

The configuration, the script's one argument, says which exe runs where:
  x64        REGOST_EXE (x86_64) in a 64-bit prefix
  x86        REGOST_EXE32 (i686) in a 32-bit prefix (WINEARCH=win32)
  x86-wow64  REGOST_EXE32 in a 64-bit prefix: every HKEY_LOCAL_MACHINE\\SOFTWARE
             key the scenario lays down or expects sits under
             SOFTWARE\\Wow6432Node, the program's view
In a 64-bit prefix the other view (Wow6432Node for x64, the 64-bit view for
x86-wow64) must come out as the scenario laid it down: empty, or holding the
keys of the scenario's `other_view`, which the program must not see.
The helper programs (tools/) come from the exe's own build, so they work in
its view too.

How the Windows side is arranged:
- Waiting: `wine prog.exe` does not come back before a GUI-subsystem program
  has ended (Wine 8: the launcher waits for the process and returns its exit
  code; only `wine start` returns at once). The first check below proves it
  with a GUI probe that sleeps before it writes a file; should it ever fail,
  every run is followed by `wineserver -w` instead.
- Registry: before each scenario one `reg import` deletes the keys the
  program uses ([-KEY] lines, in both views) and writes the machine's state;
  afterwards `reg export` exports each of those keys.
- A user without rights: HKEY_LOCAL_MACHINE\\Software\\Quenlar and each
  product key are created volatile by tools/volatile_keys.cpp; the program
  creates only non-volatile keys, which Windows refuses below a volatile one,
  so every HKEY_LOCAL_MACHINE write of the program fails as it would without
  rights (HKEY_CURRENT_USER likewise with its Quenlar and Autodesk keys).
  Volatile keys live only while the wineserver runs; the tool itself stays
  alive until the scenario is done, which keeps the server up without
  touching its persistence or anyone else's processes.
- Temporary folder: Wine takes a new process's TMP from HKCU\\Environment, not
  from the Unix environment, so for the scenarios that log there, TMP is set
  to the scenario's own Unix folder (as Z:\\...) and restored afterwards; the
  Linux build gets the same folder through TMPDIR.
"""
import contextlib
import os
import re
import shutil
import struct
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
import scenarios as table  # noqa: E402
import test_linux  # noqa: E402
import wine  # noqa: E402

WATCHED_FULL = ["%s\\%s" % (regfile.ROOT_NAMES[root], path) for root, path in regfile.WATCHED]
# Where the Active Setup entries and the users' stamps of them lie.
ACTIVE_SETUP_FULL = ["HKLM\\" + regfile.ACTIVE_SETUP,
                     "HKCU\\Software\\Microsoft\\Active Setup\\Installed Components"]

# name: (environment variable of the exe, prefix, the exe sees Wow6432Node)
CONFIGURATIONS = {
    "x64": ("REGOST_EXE", "win64", False),
    "x86": ("REGOST_EXE32", "win32", False),
    "x86-wow64": ("REGOST_EXE32", "win64", True),
}
WOW = harness.WOW
in_wow = harness.in_wow
_WOW_KEY_LINE = re.compile(r"^\[(HKEY_LOCAL_MACHINE\\SOFTWARE)\\%s(\\|\])" % WOW,
                           re.IGNORECASE | re.MULTILINE)


def from_wow(raw):
    """An export of Wow6432Node keys, as if they were at their 32-bit paths."""
    text = raw[2:].decode("utf-16-le") if raw.startswith(b"\xff\xfe") else raw.decode("cp1252")
    return b"\xff\xfe" + _WOW_KEY_LINE.sub(r"[\1\2", text).encode("utf-16-le")


def tool(exe, name):
    """A helper program of the exe's own build or, without an exe, of the
    build that starts in the prefix (REGOST_PROBE_DIR or REGOST_PROBE_DIR32)."""
    probes = os.environ.get("REGOST_PROBE_DIR32" if wine.arch() == "win32" else
                            "REGOST_PROBE_DIR", "")
    for folder in (os.path.dirname(exe) if exe else "", probes):
        path = os.path.join(folder, name) if folder else ""
        if path and os.path.isfile(path):
            return path
    return None


RT_MANIFEST = 24
_SUPPORTED_OS = ["e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                 "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                 "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"]  # Vista, 7, 8, 8.1, 10 and 11


def resource(image, kind, ident):
    """The data of resource kind/ident (first language) of a PE image, or None."""
    def u16(at):
        return struct.unpack_from("<H", image, at)[0]

    def u32(at):
        return struct.unpack_from("<I", image, at)[0]

    header = u32(0x3C)
    sections = u16(header + 6)
    optional = header + 24
    directories = optional + (96 if u16(optional) == 0x10B else 112)
    table_rva = u32(directories + 2 * 8)
    table = optional + u16(header + 20)

    def offset(rva):
        for i in range(sections):
            at = table + 40 * i
            start, raw_size, raw = u32(at + 12), u32(at + 16), u32(at + 20)
            if start <= rva < start + raw_size:
                return raw + rva - start
        raise ValueError("RVA %#x outside the sections" % rva)

    base = offset(table_rva) if table_rva else None
    at = base
    for wanted in (kind, ident, None):
        if at is None:
            return None
        entries = u16(at + 12) + u16(at + 14)
        found = None
        for i in range(entries):
            name, target = u32(at + 16 + 8 * i), u32(at + 20 + 8 * i)
            if wanted is None or name == wanted:
                found = target
                break
        if found is None:
            return None
        at = base + (found & 0x7FFFFFFF)
    return image[offset(u32(at)):offset(u32(at)) + u32(at + 4)]


def manifest_problems(exe):
    """The exe must carry a manifest asking to run as the invoker, for the
    Windows versions from Vista to 11."""
    with open(exe, "rb") as f:
        data = resource(f.read(), RT_MANIFEST, 1)
    if data is None:
        return ["no manifest resource (RT_MANIFEST 1) in %s" % exe]
    text = data.decode("utf-8", "replace")
    problems = []
    level = re.search(r"<requestedExecutionLevel\s[^>]*>", text)
    if level is None or not (re.search(r'\blevel="asInvoker"', level.group(0))
                             and re.search(r'\buiAccess="false"', level.group(0))):
        problems.append("requestedExecutionLevel is not asInvoker without uiAccess: %r"
                        % (level.group(0) if level else None))
    for guid in _SUPPORTED_OS:
        if not re.search(r'<supportedOS\s+Id="\{%s\}"' % guid, text, re.IGNORECASE):
            problems.append("supportedOS %s missing" % guid)
    return problems


def wine_waits_for_gui_programs(exe, base):
    """True when `wine` returned only after a sleeping GUI program ended."""
    probe = tool(exe, "gui_probe.exe")
    if probe is None:
        return None
    marker = os.path.join(base, "gui-probe-done")
    done = wine.run([probe, "1500", wine.dos_path(marker)])
    return done.returncode == 0 and os.path.exists(marker)


# Wine's own messages when it could not start a program at all: such a run
# never reached the program, so it alone is tried once more, and says so.
WINE_DID_NOT_START = re.compile(rb"^(wine: (could not load|failed to|could not exec|cannot)"
                                rb"|wine client error)", re.MULTILINE)


def start(args, cwd, name, never_ran=None):
    """Runs the program; once more when Wine did not start it: Wine said so,
    or never_ran() says the program left no trace (RegOST.exe exits 0 and
    always writes its log, so a failed exit without one is Wine's)."""
    done = wine.run(args, cwd=cwd)
    failure = WINE_DID_NOT_START.search(done.stderr or b"")
    if done.returncode != 0 and (failure or (never_ran is not None and never_ran())):
        text = done.stderr[failure.start():] if failure else done.stderr or b"(no message)"
        line = text.strip().split(b"\n")[-1 if not failure else 0].decode("utf-8", "replace")
        print("%s: Wine did not start the program (exit code %d, %s); trying once more"
              % (name, done.returncode, line))
        done = wine.run(args, cwd=cwd)
    return done


class WineRunner:
    def __init__(self, exe, base, wow=False):
        self.exe = exe
        self.base = base
        self.wow = wow  # the program's HKLM\\SOFTWARE is Wow6432Node
        self.two_views = wine.arch() == "win64"
        self.waits = True
        self.settle = False  # wait for the server to end after each command

    def own(self, full):
        return in_wow(full) if self.wow else full

    def other(self, full):
        return full if self.wow else in_wow(full)

    def prepare_registry(self, layout):
        """Clears the program's keys in both views and lays down the machine;
        returns the keys that must be made volatile (in the program's view:
        the helper that makes them is of the program's build)."""
        scenario = layout.scenario
        machine = layout.expanded_machine()
        volatile = []
        if "HKLM" in scenario.readonly:
            volatile.append("HKLM\\Software\\Quenlar")
            for full in list(machine):
                root, rest = regfile.split_full_path(full)
                if root == "HKLM":
                    assert not machine[full], "volatile keys are made without values"
                    del machine[full]
                    volatile.append(full)
        if "HKCU" in scenario.readonly:
            volatile += ["HKCU\\Software\\Quenlar", "HKCU\\Software\\Autodesk"]
            assert not any(k.startswith("HKCU\\") for k in machine)
        laid = {self.own(full): values for full, values in machine.items()}
        for full, values in self.expanded_other_view(layout).items():
            laid[self.other(full)] = values
        cleared = WATCHED_FULL
        if self.two_views:
            cleared = WATCHED_FULL + [in_wow(full) for full in WATCHED_FULL if in_wow(full) != full]
        reg = os.path.join(self.base, "prepare.reg")
        regfile.write_regedit4(laid, reg, delete_first=cleared)
        done = wine.reg_import(reg)
        if done.returncode != 0:
            raise RuntimeError("reg import failed: %r" % done.stderr[:300])
        if self.settle:
            wine.wait_server()
        return volatile

    def expanded_other_view(self, layout):
        if not self.two_views or not layout.scenario.other_view:
            return {}
        return layout.expanded_machine(layout.scenario.other_view)

    def read_registry(self, place, keys=WATCHED_FULL):
        """The keys as they stand at the place that `place` maps them to,
        read back at their plain paths."""
        state = {}
        for key in keys:
            where = place(key)
            raw = None
            # Once in a few hundred exports reg left no file for a key that
            # existed; ask again rather than report a key as lost.
            for _ in range(3):
                raw = wine.reg_export(where, os.path.join(self.base, "export.reg"))
                if raw is not None or wine.reg(["query", where]).returncode != 0:
                    break
            else:
                raise RuntimeError("reg export keeps failing for %s" % where)
            if raw is not None:
                regfile.parse(from_wow(raw) if where != key else raw, state)
            if self.settle:
                wine.wait_server()
        return state

    def other_view_problems(self, layout):
        """The other view must hold exactly what the scenario laid there."""
        if not self.two_views:
            return []
        # HKEY_CURRENT_USER\\Software is one key in both views.
        got = regfile.normalise(self.read_registry(
            self.other, [key for key in WATCHED_FULL if in_wow(key) != key]))
        expected = regfile.normalise(regfile.from_machine(self.expanded_other_view(layout)))
        return ["other view: " + line for line in
                regfile.describe_difference(got, expected, "Wine", "the scenario")]

    def run(self, layout, exe=None, name="RegOST.exe", args=None, codes=None):
        """Runs the scenario (or exe as name with args, its exit codes
        going to codes) in its folder laid out afresh."""
        scenario = layout.scenario
        program = layout.create(exe or self.exe, name)
        volatile = self.prepare_registry(layout)
        problems = []
        holder = None
        release = os.path.join(self.base, "release-volatile")
        saved_tmp = None
        moved_tmp = scenario.progress_in_temp or scenario.block_log == "both"
        try:
            if volatile:
                holder = self.hold_volatile(volatile, release)
            if moved_tmp:
                saved_tmp = wine.user_environment("TMP")
                wine.set_user_environment("TMP", ("REG_SZ", harness.dos_path(layout.temp)))
            for _ in range(scenario.runs):
                done = start([program] + (scenario.args if args is None else args),
                             layout.folder, scenario.name,
                             None if codes is not None else lambda: not any(
                                 os.path.exists(os.path.join(folder, "RegOST.log"))
                                 for folder in (layout.program, layout.temp)))
                if self.settle or not self.waits:
                    wine.wait_server()
                if codes is not None:
                    codes.append(done.returncode)
                elif done.returncode != 0:
                    problems.append("exit code %d" % done.returncode)
            after = self.read_registry(self.own)
            problems += self.other_view_problems(layout)
        finally:
            if moved_tmp:
                wine.set_user_environment("TMP", saved_tmp)
            if holder is not None:
                open(release, "w").close()
                holder.wait(timeout=60)
                os.remove(release)
        return harness.Outcome(layout, after), problems

    def hold_volatile(self, keys, release):
        maker = tool(self.exe, "volatile_keys.exe")
        if maker is None:
            raise RuntimeError("volatile_keys.exe not built")
        for leftover in (release, release + ".ready"):
            if os.path.exists(leftover):
                os.remove(leftover)
        holder = subprocess.Popen([wine.wine_binary(), maker, "--hold", wine.dos_path(release)]
                                  + keys, env=wine.environment(), stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        deadline = time.time() + 60
        while not os.path.exists(release + ".ready"):
            if time.time() > deadline or holder.poll() is not None:
                holder.kill()
                raise RuntimeError("volatile_keys.exe did not get ready")
            time.sleep(0.05)
        time.sleep(0.05)
        with open(release + ".ready") as f:
            status = f.read().strip()
        os.remove(release + ".ready")
        if status != "0":
            open(release, "w").close()
            holder.wait(timeout=60)
            raise RuntimeError("volatile keys not made: %s" % status)
        return holder


KILL_PRODUCTS = 150     # 17.1 with 150 products: 5,111 values
KILL_VALUES = 2 + 9 + 34 * KILL_PRODUCTS
KILL_AFTER_RECORDS = 1500
COMPLETE_PROGRESS = (b"Ostrel Registration Registry Successful (1)\r\n\r\n"
                     b"Ostrel Settings Registry Successful (1)\r\n\r\n"
                     b"Installation AutoCAD Successful (2)\r\n\r\nInstallation Completed\r\n\r\n")


def lay_out_many_products(runner, base, name, products=KILL_PRODUCTS, releases=b"17.1"):
    """A program folder <base>/<name> with RegOST.exe and a setup file for
    releases, no logs, and that many products of 17.1 in the registry; returns
    the folder, the exe and the paths of both logs."""
    folder = os.path.join(base, name)
    os.makedirs(folder, exist_ok=True)
    program = os.path.join(folder, "RegOST.exe")
    subprocess.run(["cp", runner.exe, program], check=True)
    with open(os.path.join(folder, "RegOST.ini"), "wb") as f:
        f.write(b"[VERSION]\r\nVersion=" + releases + b"\r\n")
    logs = [os.path.join(folder, log) for log in ("RegOST.log", "TEMPTXT.log")]
    for log in logs:
        if os.path.exists(log):
            os.remove(log)
    machine = {runner.own("HKLM\\SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-%04d:409" % (6000 + i)):
               {} for i in range(products)}
    laid = os.path.join(base, name + ".reg")
    regfile.write_regedit4(machine, laid, delete_first=[runner.own(k) for k in WATCHED_FULL])
    if wine.reg_import(laid).returncode != 0:
        raise RuntimeError("reg import failed")
    return folder, program, logs


def killed_run_problems(runner, base):
    """RegOST.exe killed once its registry-script log holds KILL_AFTER_RECORDS
    records: RegOST.log has its header and whole lines of a complete run,
    TEMPTXT.log only whole records, and each record names a value that the
    registry holds with that data."""
    folder, program, logs = lay_out_many_products(runner, base, "killed")
    process = subprocess.Popen([wine.wine_binary(), program, "/LOG"], cwd=folder,
                               env=wine.environment(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    deadline = time.time() + 120
    records = 0
    while process.poll() is None and records < KILL_AFTER_RECORDS and time.time() < deadline:
        time.sleep(0.002)
        if os.path.exists(logs[1]):
            with open(logs[1], "rb") as f:
                records = f.read().count(b"RegDB Root: ")
    if process.poll() is not None:
        return ["the run ended (%d records) before it could be killed" % records]
    process.kill()  # the process itself: a setup that gives up on it does no more
    process.wait(timeout=60)
    progress, script = (open(log, "rb").read() if os.path.exists(log) else b"" for log in logs)

    problems = harness.killed_log_problems(progress, script, COMPLETE_PROGRESS)
    if problems:
        return problems
    try:
        parsed = harness.parse_records(
            harness.without_page_cut(script).decode("cp1252").replace("\r\n", "\n"))
    except ValueError as error:
        return ["TEMPTXT.log: %s" % error]
    problems = held_problems(runner, parsed)
    print("killed run: %d records on disk, each held by the registry: %s"
          % (len(parsed), "no" if problems else "yes"))
    return problems


def concurrent_run_problems(runner, base):
    """Two RegOST.exe /LOG runs started at once from one folder take turns: the
    C runtime's append is a seek and a write, which two processes tear."""
    folder, program, logs = lay_out_many_products(runner, base, "concurrent")
    runs = [subprocess.Popen([wine.wine_binary(), program, "/LOG"], cwd=folder,
                             env=wine.environment(), stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL) for _ in range(2)]
    for run in runs:
        run.wait(timeout=300)
    progress, script = (open(log, "rb").read() if os.path.exists(log) else b"" for log in logs)
    problems = harness.concurrent_log_problems(progress, script, COMPLETE_PROGRESS,
                                               KILL_VALUES)
    print("two runs at once: %s" % ("took turns" if not problems else "interleaved"))
    return problems


def held_problems(runner, records):
    """Each record names a value that the registry holds with that data."""
    problems = []
    held = runner.read_registry(runner.own)
    for r in records:
        value = held.get(regfile.state_key(r.root, r.key), (None, {}))[1].get(r.name.lower())
        want = ("dword", int(r.value)) if r.number else ("sz", r.value)
        if value is None or value[1:] != want:
            problems.append("record %s\\%s %s=%r, registry holds %r"
                            % (r.root, r.key, r.name, r.value, value))
            if len(problems) > 5:
                break
    return problems


def two_folder_problems(runner, base, rounds=3):
    """RegOSTCtl /UNINSTALL from folder A and, a moment later, /INSTALL from
    folder B, both on the same products: every folder's runs change the same
    keys, so they must take turns machine-wide, and B's registration is whole
    every time (without that, A removed values B had just written)."""
    ctl = os.path.join(os.path.dirname(runner.exe), "RegOSTCtl.exe")
    programs = []
    for name in ("two-folders-b", "two-folders-a"):
        folder, program, _ = lay_out_many_products(runner, base, name)
        programs.append((folder, os.path.join(folder, "RegOSTCtl.exe")))
        subprocess.run(["cp", ctl, programs[-1][1]], check=True)
    (folder_b, b), (folder_a, a) = programs

    def start(program, folder, switch):
        return subprocess.Popen([wine.wine_binary(), program, switch], cwd=folder,
                                env=wine.environment(), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
    problems = []
    for turn in range(rounds + 1):
        runs = [start(b, folder_b, "/INSTALL")] if turn == 0 else []
        if turn > 0:
            runs = [start(a, folder_a, "/UNINSTALL")]
            time.sleep(0.05)
            runs.append(start(b, folder_b, "/INSTALL"))
        codes = [run.wait(timeout=300) for run in runs]
        if any(codes):
            return problems + ["round %d: exit codes %r" % (turn, codes)]
        if turn > 0:
            with open(os.path.join(folder_b, "TEMPTXT.log"), "rb") as f:
                text = f.read().decode("cp1252").replace("\r\n", "\n")
            problems += ["round %d: %s" % (turn, p) for p in
                         held_problems(runner, harness.parse_records(text)[-KILL_VALUES:])]
        if turn < rounds and start(a, folder_a, "/INSTALL").wait(timeout=300) != 0:
            return problems + ["round %d: A's install failed" % turn]
    print("uninstall from one folder and install from another at once, %d rounds: %s"
          % (rounds, "B whole every time" if not problems else "B lost values"))
    return problems


def user_during_uninstall_problems(runner, base):
    """/USER 1.5 s into an /UNINSTALL of 3,000 products (17.2's records go first), past its
    5 s wait: it gives up on the lock, writes no user's half back, and logs together."""
    folder, _, _ = lay_out_many_products(runner, base, "user-during-uninstall", 3000,
                                         b"17.1:17.2")
    ctl = shutil.copy(os.path.join(os.path.dirname(runner.exe), "RegOSTCtl.exe"), folder)
    codes = [wine.run([ctl, "/INSTALL", "/ALLUSERS"], cwd=folder).returncode]
    uninstall = subprocess.Popen([wine.wine_binary(), ctl, "/UNINSTALL"], cwd=folder,
                                 env=wine.environment(), stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
    time.sleep(1.5)
    codes += [wine.run([ctl, "/USER"], cwd=folder).returncode, uninstall.wait(timeout=300)]
    log = harness.read_file(os.path.join(folder, "RegOST.log")) or b""
    left = [p for p, _ in runner.read_registry(runner.own).values() if "quenlar" in p.lower()]
    if codes != [0, 0, 0] or left or not re.search(
            harness.HEADER.pattern + rb"Warning -- Another run still holds the lock, going on "
            rb"without it\r\n\r\nUser Registration Skipped", log):
        return ["exit codes %r, left %r, RegOST.log %s" % (codes, left, harness.shown(log))]
    return []


def lock_fallback_problems(runner, base):
    """The machine-wide lock made by another account with an access list that
    admits no one else: the run takes its folder's lock instead, says so
    first in RegOST.log, and does its job."""
    folder = os.path.join(base, "lock-fallback")
    os.makedirs(folder, exist_ok=True)
    program = os.path.join(folder, "RegOST.exe")
    subprocess.run(["cp", runner.exe, program], check=True)
    with open(os.path.join(folder, "RegOST.ini"), "wb") as f:
        f.write(b"[VERSION]\r\nVersion=17.1\r\n")
    release = os.path.join(base, "release-mutex")
    holder = runner.hold_volatile(["MUTEX:Global\\RegOST-Registry"], release)
    try:
        start([program], folder, "lock-fallback")
    finally:
        open(release, "w").close()
        holder.wait(timeout=60)
    log = harness.read_file(os.path.join(folder, "RegOST.log")) or b""
    lines = harness.HEADER.sub(b"", log)
    if not (lines.startswith(b"Warning -- Machine-wide lock not available, only runs from this "
                             b"folder take turns\r\n\r\n")
            and lines.endswith(b"Installation Completed\r\n\r\n")):
        return ["RegOST.log: %s" % harness.shown(log)]
    return []


# --- RegOSTCtl -----------------------------------------------------------------
# RegOSTCtl.exe, beside RegOST.exe, must give the exit codes of the table and
# the logs and registry of the Linux build, which test_linux.py holds to
# RegOST /LOG's.


def ctl_column_problems(runner, layout, linux):
    args = ["/INSTALL"] + (["/QEL"] if layout.scenario.second else [])
    reference, _ = test_linux.run_linux(layout, test_linux.ctl_exe(linux), "regostctl", args, [])
    codes = []
    outcome, problems = runner.run(layout, os.path.join(os.path.dirname(runner.exe),
                                                        "RegOSTCtl.exe"), "RegOSTCtl.exe", args,
                                   codes)
    problems += ["RegOSTCtl /INSTALL exit code %d, expected %d" % (code, layout.scenario.ctl_exit)
                 for code in codes if code != layout.scenario.ctl_exit]
    reference.progress = other_view_named(runner, reference.progress)
    return problems + ["RegOSTCtl /INSTALL: " + line
                       for line in harness.compare_builds(reference, outcome)]


def other_view_named(runner, log):
    """A log of the Linux build, which plays the x64 build's views, as the x86
    build names its other view."""
    return log.replace(b"32-bit registry view", b"64-bit registry view") if runner.wow and log \
        else log


class WineCase(test_linux.LinuxCase):
    """An uninstall case in the Linux run's folders (the loader paths must be
    the same), with RegOSTCtl.exe, on Wine's registry."""
    def __init__(self, case, base, runner):
        super().__init__(case, base, os.path.join(os.path.dirname(runner.exe), "RegOSTCtl.exe"),
                         runner.machine)
        self.runner = runner
        self.other_view_name = "64-bit" if runner.wow else "32-bit"
        self.held = []

    def hold_addon(self, path):
        shutil.copyfile(test_linux.addon_image(self.machine), path)
        self.held.append(path)

    def holding(self):
        return self.hold_files(self.held)

    def hold_files(self, paths):
        """A context in which another process holds the files open without sharing."""
        if not paths:
            return contextlib.nullcontext()
        release = os.path.join(self.folder, "release-held")
        holder = self.runner.hold_volatile(["FILE:" + wine.dos_path(p) for p in paths], release)

        @contextlib.contextmanager
        def held():
            try:
                yield
            finally:
                open(release, "w").close()
                holder.wait(timeout=60)
        return held()

    def set(self, machine, cleared=()):
        reg = os.path.join(self.folder, "laid.reg")
        regfile.write_regedit4({self.runner.own(k): v for k, v in machine.items()}, reg,
                               delete_first=cleared)
        # Once in a while (seen in a fresh 32-bit prefix) an import fails and
        # the same one succeeds right after.
        if wine.reg_import(reg).returncode != 0 and wine.reg_import(reg).returncode != 0:
            raise RuntimeError("reg import failed")

    def lay_out(self):
        self.held = []
        # What earlier cases left goes first, their entries and stamps too.
        entries = [path for _, (path, _) in self.runner.read_registry(
            self.runner.own, ACTIVE_SETUP_FULL).items()]
        cleared = WATCHED_FULL + ["HKLM\\" + e for e in entries] + ["HKCU\\" + e for e in entries]
        os.makedirs(self.folder, exist_ok=True)
        self.set({}, cleared + [in_wow(k) for k in cleared
                                if self.runner.two_views and in_wow(k) != k])
        super().lay_out()  # and the machine, in the view of the program

    def lay_other_view(self):
        reg = os.path.join(self.folder, "other.reg")
        regfile.write_regedit4({self.runner.other(k): v for k, v in self.case.other_view.items()},
                               reg)
        if wine.reg_import(reg).returncode != 0:
            raise RuntimeError("reg import failed")

    def lay_script_log(self, name, text):
        super().lay_script_log(name, text)
        return self.hold_files([self.script_log(name)] if text == "held" else [])

    @contextlib.contextmanager
    def hold_lock(self):
        release = os.path.join(self.folder, "release-lock")
        holder = self.runner.hold_volatile(["LOCK:Global\\RegOST-Registry"], release)
        try:
            yield
        finally:
            open(release, "w").close()
            holder.wait(timeout=60)

    def run(self, steps, readonly=(), limit=None):
        if readonly:  # the HKEY_LOCAL_MACHINE keys that hold values
            keys = [path for (root, _), (path, values) in self.state().items()
                    if root == "HKLM" and values]
            if wine.run([tool(self.runner.exe, "deny_set_value.exe")] + keys).returncode != 0:
                raise RuntimeError("deny_set_value.exe failed")
        return super().run(steps, readonly, limit)

    def start(self, name, args, readonly=(), limit=None):
        code = wine.run([os.path.join(self.folder, name, self.name)] + args, cwd=self.folder,
                        preexec_fn=limit and (lambda: test_linux.file_size_limit(limit))
                        ).returncode
        if self.runner.settle or not self.runner.waits:
            wine.wait_server()
        return code

    def state(self):
        return self.runner.read_registry(self.runner.own, WATCHED_FULL + ACTIVE_SETUP_FULL)

    def change(self, change):
        self.set({k: v for k, v in change.items() if v is not None},
                 [self.runner.own(k) for k, v in change.items() if v is None])


def run_uninstall_cases(runner, base, linux):
    results = []
    for case in table.UNINSTALL_CASES:
        if case.other_view and not runner.two_views:
            continue  # a 32-bit Windows has one view
        try:
            problems, after, log = test_linux.uninstall_case_problems(WineCase(case, base, runner))
            # Wine has no read-only root, only keys refusing values, and Linux
            # no file that another process holds.
            if case.readonly or case.script_log == "held":
                results.append(("uninstall " + case.name, problems))
                continue
            _, linux_after, linux_log = test_linux.uninstall_case_problems(
                test_linux.LinuxCase(case, base, test_linux.ctl_exe(linux), runner.machine))
            linux_log = other_view_named(runner, linux_log)
            problems += harness.compare_bytes("RegOST.log, Linux vs Windows", linux_log, log)
            problems += regfile.describe_difference(after, linux_after, "Windows", "Linux")
        except Exception as error:  # noqa: BLE001, reported like a scenario's
            problems = ["harness error: %r" % error]
        results.append(("uninstall " + case.name, problems))
    return results


def run_scenario(runner, scenario, base, linux):
    """The problems of one scenario on Wine, and against the Linux build."""
    layout = harness.Layout(scenario, base)
    try:
        reference = None
        if linux and scenario.linux:
            reference, _ = test_linux.run_linux(layout, linux)
        outcome, run_problems = runner.run(layout)
        problems = run_problems + harness.check(layout, outcome)
        if reference is not None:
            problems += harness.compare_builds(reference, outcome)
            # Windows starts no program whose path reaches MAX_PATH.
            if len(layout.dos_dir + "RegOSTCtl.exe") < 260:
                problems += ctl_column_problems(runner, layout, linux)
        return problems
    except Exception as error:  # one broken scenario must not hide the others
        return ["harness error: %r" % error]


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in CONFIGURATIONS:
        print("usage: test_wine.py %s" % "|".join(CONFIGURATIONS))
        return 2
    variable, arch, wow = CONFIGURATIONS[sys.argv[1]]
    os.environ["REGOST_WINEARCH"] = arch
    exe = os.environ.get(variable, "")
    if not wine.available(exe):
        return wine.skipped("wine or %s (%r) missing" % (variable, exe))
    linux = os.environ.get("REGOST", "")
    if not os.path.isfile(linux):
        print("REGOST not built: the Linux comparison is left out")
        linux = None
    wine.ensure_prefix()
    base = tempfile.mkdtemp(prefix="regost-e2e-wine-")
    runner = WineRunner(exe, base, wow)
    runner.machine = "x86" if variable == "REGOST_EXE32" else "x64"
    results = []
    # One wineserver for the whole run, kept up by an idle holder rather than
    # by changing the server's persistence, so the commands do not pay for a
    # server start each and the prefix is left as it was found.
    server_release = os.path.join(base, "release-server")
    try:
        server_holder = runner.hold_volatile([], server_release)
    except RuntimeError:
        server_holder = None
        runner.settle = True

    results.append(("manifest-as-invoker", manifest_problems(exe)))
    waits = wine_waits_for_gui_programs(exe, base)
    if waits is not None:
        results.append(("wine-waits-for-gui-program",
                        [] if waits else ["wine came back before the GUI program ended"]))
        runner.waits = waits

    for scenario in harness.selected():
        if (scenario.other_view and not runner.two_views) or scenario.faults:
            continue  # a 32-bit Windows has one view; faults are regost's
        problems = run_scenario(runner, scenario, base, linux)
        if problems and scenario.wine_difference:
            print("%s, a known Wine difference (%s): %s"
                  % (scenario.name, scenario.wine_difference, "; ".join(problems)))
            problems = []
        results.append((scenario.name, problems))
    if linux:
        results += run_uninstall_cases(runner, base, linux)
    # The checks of whole runs that no scenario row can express.
    for name, check in (("killed-run", killed_run_problems),
                        ("concurrent-runs", concurrent_run_problems),
                        ("lock-taken-by-another-account", lock_fallback_problems),
                        ("two-folders-at-once", two_folder_problems),
                        ("user-during-a-long-uninstall", user_during_uninstall_problems)):
        try:
            results.append((name, check(runner, base)))
        except Exception as error:  # noqa: BLE001, reported like a scenario's
            results.append((name, ["harness error: %r" % error]))
    if server_holder is not None:
        open(server_release, "w").close()
        server_holder.wait(timeout=60)
    return harness.finish(results, base)


if __name__ == "__main__":
    sys.exit(main())
