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
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile

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
    regfile.write_regedit4(layout.expanded_machine(), layout.registry)
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
    """An uninstall case's program folders a and b, with regostctl and a
    setup file each, on one registry; regostctl plays the build of machine."""
    name = "regostctl"

    def __init__(self, case, base, exe, machine="x64"):
        self.case, self.exe, self.machine = case, exe, machine
        self.folder = os.path.join(base, "uninstall-" + case.name)
        self.registry = os.path.join(self.folder, "registry.reg")

    def lay_out(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        for name in "ab":
            os.makedirs(os.path.join(self.folder, name))
            shutil.copy2(self.exe, os.path.join(self.folder, name, self.name))
            with open(os.path.join(self.folder, name, "RegOST.ini"), "wb") as out:
                out.write(self.case.inis.get(name, table.ini("17.1")).encode("cp1252"))
        self.place_addons(self.case.addons)
        self.set(self.case.before)

    def place_addons(self, addons):
        other = "x86" if self.machine == "x64" else "x64"
        for folder in "ab":
            for name, kind in addons.items():
                path = os.path.join(self.folder, folder, name)
                if kind is None:
                    os.remove(path)
                else:
                    shutil.copyfile(addon_image(self.machine if kind == "own" else other), path)

    def expand(self, text, folder):
        machines = (MACHINES["x86" if self.machine == "x64" else "x64"][3],
                    MACHINES[self.machine][3])
        return text.replace("{dir}", harness.dos_path(os.path.join(self.folder, folder)) + "\\"
                            ).replace("{machines}", "%s, not %s" % machines)

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
        env = dict(os.environ, REGOST_REGISTRY=self.registry, TMPDIR=self.folder,
                   REGOST_READONLY_ROOTS=",".join(readonly), REGOST_MACHINE=self.machine)
        wrapper = os.environ.get("REGOST_E2E_WRAPPER", "").split()  # valgrind, say
        return [subprocess.run(wrapper + [os.path.join(self.folder, name, self.name)] + args,
                               cwd=self.folder, env=env, timeout=300,
                               preexec_fn=limit and (lambda: file_size_limit(limit))).returncode
                for name, args in steps]

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

    def state(self):
        with open(self.registry, "rb") as f:
            return regfile.parse(f.read())

    def change(self, change):
        if not any(None in values.values() for values in change.values()):
            self.set(change, "ab")  # a key given again in a file adds to it
            return
        # The registry file may hold no deletions: it is written anew without them.
        state = self.state()
        for full, values in change.items():
            held = state[regfile.state_key(*regfile.split_full_path(full))][1]
            for name, value in values.items():
                if value is None:
                    held.pop(name.lower())
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
    expected = None
    # Where the expected registry is the one before the last step, one pass gives both.
    passes = [case.steps[:-1]]
    if case.expected is not None and list(case.expected) != passes[0]:
        passes.insert(0, case.expected)
    for steps in passes:
        runner.lay_out()
        runner.run(steps)
        if case.change:
            runner.change(case.change)
        runner.place_addons(case.swap)
        if expected is None:
            expected = regfile.normalise(runner.state())
    last = case.steps[-1][0]
    limit = None
    if case.limit:
        limit = os.path.getsize(runner.script_log(last)) + case.limit
    with runner.lay_script_log(last, case.script_log) if case.script_log else \
            contextlib.nullcontext():
        code = runner.run(case.steps[-1:], case.readonly, limit)[0]
    after = regfile.normalise(runner.state())
    folder, args = case.steps[-1]
    progress = harness.read_file(os.path.join(runner.folder, folder, "RegOST.log"))
    problems = [] if code == case.code else ["exit code %d, expected %d" % (code, case.code)]
    final = case.final or table.CTL_MODE_FINAL_LINES.get((args[0].upper(), case.code)) or \
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
