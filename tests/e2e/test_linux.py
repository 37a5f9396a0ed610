"""Runs every end-to-end scenario with the Linux build `regost` (env REGOST).

Each scenario gets a fresh program folder with a copy of the program, its
setup file and a registry file (REGOST_REGISTRY); read-only roots come from
REGOST_READONLY_ROOTS and the temporary folder from TMPDIR.

With --faults it runs the fault sweep instead: the scenario FAULT_SWEEP
once per fault of harness.fault_cases(), each judged against the run that
harness.expected_run() derives from the scenario's own expected records.
regost itself fails a run that leaves a key handle open or a heap block
unfreed.
"""
import contextlib
import dataclasses
import fcntl
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# Keep the source tree free of __pycache__ folders.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import regfile  # noqa: E402
import scenarios as table  # noqa: E402

SKIP = 77


def run_linux(layout, exe, name="regost", args=None, codes=None):
    """Runs the scenario with regost (or exe as name with args, its exit
    codes going to codes); returns (Outcome, problems)."""
    scenario = layout.scenario
    program = layout.create(exe, name)
    other_view = layout.expanded_machine(scenario.other_view)
    regfile.write_regedit4(dict(layout.expanded_machine(), **{
        harness.in_wow(k): v for k, v in other_view.items()}), layout.registry)
    env = dict(os.environ)
    env["REGOST_REGISTRY"] = layout.registry
    env["TMPDIR"] = layout.temp
    for name in [n for n in env if n.startswith("REGOST_FAIL_")] + ["REGOST_READONLY_ROOTS"]:
        env.pop(name, None)
    if scenario.readonly:
        env["REGOST_READONLY_ROOTS"] = ",".join(scenario.readonly)
    env.update(scenario.faults)
    # REGOST_E2E_WRAPPER runs each scenario under a checker such as valgrind.
    wrapper = os.environ.get("REGOST_E2E_WRAPPER", "").split()
    problems = []
    for _ in range(scenario.runs):
        # Started from the scenario folder, not the program folder: nothing
        # may depend on the current directory.
        done = subprocess.run(wrapper + [program] + (scenario.args if args is None else args),
                              cwd=layout.folder, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=60)
        if codes is not None:
            codes.append(done.returncode)
        if (codes is None and done.returncode != 0) or done.stderr:
            problems.append("exit code %d (stderr %r)" % (done.returncode, done.stderr[:300]))
        if done.stdout:
            problems.append("wrote to standard output: %r" % done.stdout[:300])
    with open(layout.registry, "rb") as f:
        after = regfile.parse(f.read())
    return harness.Outcome(layout, after), problems


def fault_sweep():
    """The sweep's cases as scenarios with their expected logs."""
    sweep = table.by_name(table.FAULT_SWEEP)
    clean = harness.parse_records(sweep.script)  # placeholders stay in the values
    for name, faults, readonly in harness.fault_cases(harness.Layout(sweep, ""), clean):
        case = dataclasses.replace(sweep, name="%s-%s" % (sweep.name, name), faults=faults,
                                   readonly=readonly)
        progress, case.script = harness.expected_run(harness.Layout(case, ""), clean)
        case.progress = [progress]
        yield case


# --- RegOSTCtl ----------------------------------------------------------------
# /INSTALL is a column of the scenario table: in the same laid-out folder it
# must leave what RegOST /LOG leaves, and exit with the scenario's ctl_exit.
# An uninstall case runs RegOSTCtl from folders "a" and "b" on one registry.


def ctl_exe(exe):
    return os.path.join(os.path.dirname(exe), "regostctl")


def ctl_column_problems(layout, exe):
    scenario = layout.scenario
    args = ["/QEL"] if scenario.second else []
    reference, _ = run_linux(layout, exe, "regost", ["/LOG"] + args)
    codes = []
    ctl, problems = run_linux(layout, ctl_exe(exe), "regostctl", ["/INSTALL"] + args, codes)
    problems += ["RegOSTCtl /INSTALL exit code %d, expected %d" % (code, scenario.ctl_exit)
                 for code in codes if code != scenario.ctl_exit]
    if scenario.ctl_exit == 7:  # the lines RegOST does not write, before its last
        at = reference.progress.rindex(harness.on_disk(table.COMPLETED))
        reference.progress = reference.progress[:at] + harness.on_disk("".join(
            (table.OTHER_EDITION % release).replace("{view}", "32-bit")
            for release in scenario.releases
            if harness.products_of(scenario.other_view, release))) + reference.progress[at:]
    if scenario.ctl_exit == 5:  # nothing written, one line logged
        closed = [harness.on_disk(table.CTL_SCRIPT_LOG_CLOSED)] * scenario.runs
        if ctl.progress is not None and ctl.progress_runs() != closed:
            problems.append("RegOSTCtl's RegOST.log: %s" % harness.shown(ctl.progress))
        reference.after, reference.progress = regfile.normalise(layout.before_state()), None
        ctl.progress = None
    return problems + ["RegOSTCtl /INSTALL vs RegOST /LOG: " + line
                       for line in harness.compare_builds(reference, ctl)]


MACHINES = {"x64": ("REGOST_EXE", "REGOST_PROBE_DIR", "mingw64", "x86-64"),
            "x86": ("REGOST_EXE32", "REGOST_PROBE_DIR32", "mingw32", "i386")}


def addon_image(machine):
    """The tests' add-on DLL of machine "x64" or "x86", from the Windows build
    of that machine (the mingw64 and mingw32 presets)."""
    exe, probes, preset, _ = MACHINES[machine]
    for folder in (os.path.dirname(os.environ.get(exe, "")), os.environ.get(probes, ""),
                   os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../build", preset)):
        if folder and os.path.isfile(os.path.join(folder, "addon_image.dll")):
            return os.path.join(folder, "addon_image.dll")
    raise RuntimeError("addon_image.dll of %s not built (preset %s)" % (machine, preset))


class LinuxCase:
    """An uninstall case's program folders a and b, with regostctl (under the
    case's companion name, as it names itself in StubPath) and a setup file
    each, on one registry; regostctl plays the build of machine."""
    other_view_name = "32-bit"  # the simulation plays the x64 build's views

    def __init__(self, case, base, exe, machine="x64"):
        self.case, self.exe, self.machine = case, exe, machine
        self.name = case.companion
        self.folder = os.path.join(base, "uninstall-" + case.name)
        self.registry = os.path.join(self.folder, "registry.reg")

    def lay_out(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        for name in "ab":
            os.makedirs(os.path.join(self.folder, name))
            shutil.copy2(self.exe, os.path.join(self.folder, name, self.name))
            with open(os.path.join(self.folder, name, "RegOST.ini"), "wb") as out:
                out.write(self.case.inis.get(name, table.ini("17.1")).encode("cp1252"))
        os.symlink("a", os.path.join(self.folder, "c"))  # Wine follows it as a junction
        self.place_addons(self.case.addons)
        self.set(self.case.before)
        if self.case.other_view:
            self.lay_other_view()

    def lay_other_view(self):
        """The keys of the view the build does not see: Wow6432Node, the
        simulation playing the x64 build."""
        self.set({harness.in_wow(k): v for k, v in self.case.other_view.items()}, "ab")

    def place_addons(self, addons):
        other = "x86" if self.machine == "x64" else "x64"
        for folder in "ab":
            for name, kind in addons.items():
                path = os.path.join(self.folder, folder, name)
                if os.path.isdir(path) or (kind in (None, "folder", "held")
                                           and os.path.lexists(path)):
                    shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
                if kind in ("folder", "empty"):
                    os.makedirs(path) if kind == "folder" else open(path, "wb").close()
                elif kind == "held":
                    self.hold_addon(path)
                elif kind is not None:
                    shutil.copyfile(addon_image(self.machine if kind == "own" else other), path)

    def hold_addon(self, path):
        # What root cannot open here: a FIFO, which the simulation refuses as
        # Windows refuses a file another program holds without sharing.
        os.mkfifo(path)

    def holding(self):
        """A context in which the held add-on files are held."""
        return contextlib.nullcontext()

    def expand(self, text, folder):
        machines = (MACHINES["x86" if self.machine == "x64" else "x64"][3],
                    MACHINES[self.machine][3])
        directory = harness.dos_path(os.path.join(self.folder, folder)) + "\\"
        return text.replace("{dir}", directory).replace(
            "{machines}", "%s, not %s" % machines).replace("{view}", self.other_view_name).replace(
                "{entry}", table.active_setup_key(directory))

    def set(self, machine, mode="wb"):
        full = {}  # with the parent keys, as a saved registry has them
        for key, values in machine.items():
            parts = key.split("\\")
            for n in range(2, len(parts)):
                full.setdefault("\\".join(parts[:n]), {})
            full[key] = values
        laid = os.path.join(self.folder, "laid.reg")
        regfile.write_regedit4(full, laid)
        with open(laid, "rb") as f, open(self.registry, mode) as out:
            out.write(f.read()[0 if mode == "wb" else len(b"REGEDIT4\r\n"):])

    def run(self, steps, readonly=(), limit=None):
        codes = []
        for name, args in steps:
            if name == "reg":
                self.change(args)
            codes.append(self.logon() if name == "logon" else None if name == "reg" else
                         self.start(name, args, readonly, limit))
        return codes

    def start(self, name, args, readonly=(), limit=None):
        env = dict(os.environ, REGOST_REGISTRY=self.registry, TMPDIR=self.folder,
                   REGOST_READONLY_ROOTS=",".join(readonly), REGOST_MACHINE=self.machine)
        wrapper = os.environ.get("REGOST_E2E_WRAPPER", "").split()  # valgrind, say
        return subprocess.run(wrapper + [os.path.join(self.folder, name, self.name)] + args,
                              cwd=self.folder, env=env, timeout=300,
                              preexec_fn=limit and (lambda: file_size_limit(limit))).returncode

    def logon(self):
        """What Windows does at a logon for each Active Setup entry: runs its
        StubPath when the user's stamp is missing or lower, then stamps it.
        Checks each entry on the way; the code is the last command's."""
        code, state = None, self.state()
        folders = {harness.dos_path(os.path.join(self.folder, name)) + "\\": name
                   for name in "ab"}
        for (root, _), (path, values) in sorted(state.items()):
            if root != "HKLM" or not path.lower().startswith(regfile.ENTRY_PREFIX.lower()):
                continue
            stub = values.get("stubpath", (0, 0, ""))[2]
            folder, _, args = stub[1:].partition(self.name + "\" ")
            version = values.get("version", (0, 0, ""))[2]
            parts = [int(p) for p in version.split(",") if p.isdigit()]
            got = (values.get("")[1:] if "" in values else None, values.get("isinstalled"),
                   stub[:1], folder in folders, args in ("/USER", "/USER /QEL"),
                   path == table.active_setup_key(folder), len(parts), max(parts + [0]) <= 65535)
            if got != (("sz", table.ENTRY_DEFAULT), ("IsInstalled", "dword", 1), '"', True, True,
                       True, 4, True):
                self.problems.append("entry %s: %r" % (path, values))
                continue
            stamp = state.get(("HKCU", path.lower()), (0, {}))[1].get("version", (0, 0, ""))[2]
            if [int(p) for p in stamp.split(",") if p.isdigit()] >= parts:
                continue
            code = self.start(folders[folder], args.split())
            self.change({"HKCU\\" + path: {"Version": version}})
        return code

    def script_log(self, name):
        return os.path.join(self.folder, name, "TEMPTXT.log")

    def lay_script_log(self, name, text):
        """The folder's TEMPTXT.log as the case has it before its last step;
        a context that holds it open, where it must be held."""
        path = self.script_log(name)
        if os.path.exists(path) and text != "held":
            os.remove(path)
        if text == "folder":
            os.makedirs(path)
        elif text != "held":
            with open(path, "wb") as out:
                out.write(text.encode("cp1252"))
        return contextlib.nullcontext()

    @contextlib.contextmanager
    def hold_lock(self):
        """The simulated machine-wide mutex, held as another run holds it."""
        with open("/tmp/regost-mutex-Global\\RegOST-Registry", "a") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            yield

    def state(self):
        with open(self.registry, "rb") as f:
            return regfile.parse(f.read())

    def change(self, change):
        """Sets values; a value None deletes that value, a key None deletes
        the key and everything below it."""
        if all(values is not None and None not in values.values() for values in change.values()):
            self.set(change, "ab")  # a key given again in a file adds to it
            return
        # The registry file may hold no deletions: it is written anew without them.
        gone = [regfile.state_key(*regfile.split_full_path(k)) for k, v in change.items()
                if v is None]
        state = {key: entry for key, entry in self.state().items()
                 if not any(key[0] == g[0] and (key[1] + "\\").startswith(g[1] + "\\")
                            for g in gone)}
        for full, values in ((k, v) for k, v in change.items() if v is not None):
            root, path = regfile.split_full_path(full)
            held = state.setdefault(regfile.state_key(root, path), (path, {}))[1]
            for name, value in values.items():
                if value is None:
                    held.pop(name.lower(), None)
                else:
                    held[name.lower()] = (name, "dword" if isinstance(value, int) else "sz", value)
        self.set({"%s\\%s" % (root, path): {name: data for name, _, data in values.values()}
                  for (root, _), (path, values) in state.items()})


def file_size_limit(size):
    """A full disk for the process: files it writes stop growing at size
    bytes, and the write fails rather than killing it."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))


def uninstall_case_problems(runner):
    """Runs a case; returns (problems, the registry and RegOST.log it left)."""
    case = runner.case
    runner.problems = []
    expected = None
    # Where the expected registry is the one before the last step, one pass gives both.
    passes = [case.steps[:-1]]
    if case.expected is not None and list(case.expected) != passes[0]:
        passes.insert(0, case.expected)
    for steps in passes:
        runner.lay_out()
        runner.run(steps)
        if case.change:
            runner.change({runner.expand(k, "a"): v for k, v in case.change.items()})
        runner.place_addons(case.swap)
        if expected is None:
            expected = regfile.normalise(runner.state())
    last = case.steps[-1][0]
    limit = None
    if case.limit:
        limit = os.path.getsize(runner.script_log(last)) + case.limit
    with runner.lay_script_log(last, case.script_log) if case.script_log else \
            contextlib.nullcontext(), runner.hold_lock() if case.lock_held else \
            contextlib.nullcontext(), runner.holding():
        laid, started = harness.read_file(runner.script_log(last)), time.monotonic()
        code = runner.run(case.steps[-1:], case.readonly, limit)[0]
        took = time.monotonic() - started
    after = regfile.normalise(runner.state())
    folder, args = case.steps[-1]
    progress = harness.read_file(os.path.join(runner.folder, "a" if folder == "logon" else folder,
                                              "RegOST.log"))
    # A process's exit status keeps 8 bits on Linux, and under Wine: 1618 is 82.
    problems = runner.problems + ([] if code == (case.code and case.code % 256) else
                                  ["exit code %r, expected %r" % (code, case.code)])
    if case.lock_held and (took > 20 or harness.read_file(runner.script_log(last)) != laid):
        problems.append("with the lock held: %.1f s, TEMPTXT.log %r, laid %r" % (
            took, harness.read_file(runner.script_log(last)), laid))
    final = case.final or (table.USER_COMPLETED if folder == "logon" else None) or \
        table.CTL_MODE_FINAL_LINES.get((args[0].upper() if args else "", case.code)) or \
        table.CTL_FINAL_LINES.get(case.code, table.UNINSTALLED)
    last_run = harness.HEADER.split(progress or b"")[-1]
    if case.logged is not None:
        final = runner.expand(case.logged, folder) + final
    if not last_run.endswith(harness.on_disk(final)) or (
            case.logged is not None and last_run != harness.on_disk(final)):
        problems.append("the last step's RegOST.log: %s" % harness.shown(progress))
    if case.expected is not None:
        problems += regfile.describe_difference(after, expected, "after", "expected")
    return problems, after, harness.HEADER.sub(b"", progress or b"")


def run_uninstall_cases(base, exe):
    results = []
    for case in table.UNINSTALL_CASES:
        if case.script_log == "held":
            continue  # no process holds a file against another here
        # A case that depends on the add-on's machine runs as either build.
        for machine in ["x64"] + (["x86"] if case.addons != {"Ostrel.arx": "own"} else []):
            try:
                problems = uninstall_case_problems(LinuxCase(case, base, exe, machine))[0]
            except Exception as error:  # noqa: BLE001, reported like a scenario's
                problems = ["harness error: %r" % error]
            results.append(("uninstall %s%s" % (case.name, " (x86)" * (machine == "x86")),
                            problems))
    return results


def main():
    exe = os.environ.get("REGOST", "")
    if not exe or not os.path.isfile(exe):
        print("REGOST does not name a built regost: skipped")
        return SKIP
    base = tempfile.mkdtemp(prefix="regost-e2e-")
    results = []
    sweep = sys.argv[1:] == ["--faults"]
    for scenario in fault_sweep() if sweep else (s for s in harness.selected() if s.linux):
        layout = harness.Layout(scenario, base)
        try:
            outcome, problems = run_linux(layout, exe)
            problems += harness.check(layout, outcome)
            if not sweep:
                problems += ctl_column_problems(layout, exe)
        except Exception as error:  # one broken scenario must not hide the others
            problems = ["harness error: %r" % error]
        results.append((scenario.name, problems))
    if not sweep:
        results += run_uninstall_cases(base, ctl_exe(exe))
    return harness.finish(results, base)


if __name__ == "__main__":
    sys.exit(main())
