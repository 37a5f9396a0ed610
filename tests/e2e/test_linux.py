"""Runs every end-to-end scenario with the Linux build `regost` (env REGOST).

Each scenario gets a fresh program folder with a copy of the program, its
setup file and a registry file (REGOST_REGISTRY); read-only roots come from
REGOST_READONLY_ROOTS and the temporary folder from TMPDIR.
"""
import os
import shutil
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


def run_linux(layout, exe):
    """Runs the scenario with regost; returns (Outcome, problems)."""
    scenario = layout.scenario
    program = layout.create(exe, "regost")
    regfile.write_regedit4(layout.expanded_machine(), layout.registry)
    env = dict(os.environ)
    env["REGOST_REGISTRY"] = layout.registry
    env["TMPDIR"] = layout.temp
    env.pop("REGOST_READONLY_ROOTS", None)
    if scenario.readonly:
        env["REGOST_READONLY_ROOTS"] = ",".join(scenario.readonly)
    # REGOST_E2E_WRAPPER runs each scenario under a checker such as valgrind.
    wrapper = os.environ.get("REGOST_E2E_WRAPPER", "").split()
    problems = []
    for _ in range(scenario.runs):
        # Started from the scenario folder, not the program folder: nothing
        # may depend on the current directory.
        done = subprocess.run(wrapper + [program] + scenario.args, cwd=layout.folder, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        if done.returncode != 0:
            problems.append("exit code %d (stderr %r)" % (done.returncode, done.stderr[:300]))
        if done.stdout:
            problems.append("wrote to standard output: %r" % done.stdout[:300])
    with open(layout.registry, "rb") as f:
        after = regfile.parse(f.read())
    return harness.Outcome(layout, after), problems


# --- RegOSTCtl ----------------------------------------------------------------
# /INSTALL is a column of the scenario table: in the same laid-out folder it
# must leave what RegOST /LOG leaves, and exit with the scenario's ctl_exit.
# The uninstall cases run RegOSTCtl from program folders "a" and "b" on one
# registry, the last step being the one whose exit code is judged.


def ctl_exe(exe):
    return os.path.join(os.path.dirname(exe), "regostctl")


def program_environment(registry, temp, readonly=()):
    env = dict(os.environ)
    env["REGOST_REGISTRY"] = registry
    env["TMPDIR"] = temp
    env["REGOST_READONLY_ROOTS"] = ",".join(readonly)
    return env


def run_program(program, args, cwd, env):
    wrapper = os.environ.get("REGOST_E2E_WRAPPER", "").split()
    return subprocess.run(wrapper + [program] + args, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=120).returncode


def run_in_layout(layout, exe, name, args):
    """Runs exe (as name) with args, the scenario's number of times, in its
    folder laid out afresh; returns (Outcome, exit codes)."""
    program = layout.create(exe, name)
    regfile.write_regedit4(layout.expanded_machine(), layout.registry)
    env = program_environment(layout.registry, layout.temp, layout.scenario.readonly)
    codes = [run_program(program, args, layout.folder, env) for _ in range(layout.scenario.runs)]
    with open(layout.registry, "rb") as f:
        return harness.Outcome(layout, regfile.parse(f.read())), codes


def ctl_install_problems(layout, reference, ctl, codes):
    """RegOSTCtl /INSTALL's outcome against RegOST /LOG's in the same folder."""
    scenario = layout.scenario
    problems = ["RegOSTCtl /INSTALL exit code %d, expected %d" % (code, scenario.ctl_exit)
                for code in codes if code != scenario.ctl_exit]
    if scenario.ctl_exit != 5:
        return problems + ["RegOSTCtl /INSTALL vs RegOST /LOG: " + line for line in
                           harness.compare_builds(reference, ctl)]
    problems += ["RegOSTCtl /INSTALL wrote: " + line for line in regfile.describe_difference(
        ctl.after, regfile.normalise(layout.before_state()))]
    closed = [harness.on_disk(table.CTL_SCRIPT_LOG_CLOSED)] * scenario.runs
    if ctl.progress is not None and ctl.progress_runs() != closed:
        problems.append("RegOSTCtl /INSTALL's RegOST.log: %s" % harness.shown(ctl.progress))
    return problems


def ctl_column_problems(layout, exe):
    second = ["/QEL"] if layout.scenario.second else []
    reference, _ = run_in_layout(layout, exe, "regost", ["/LOG"] + second)
    ctl, codes = run_in_layout(layout, ctl_exe(exe), "regostctl", ["/INSTALL"] + second)
    return ctl_install_problems(layout, reference, ctl, codes)


def machine_of(state):
    return {"%s\\%s" % (root, path): {name: data for name, _, data in values.values()}
            for (root, _), (path, values) in state.items()}


def with_change(state, change):
    """A state with the case's changed values set in it."""
    changed = regfile.from_machine(machine_of(state))
    for key, (path, values) in regfile.from_machine(change).items():
        changed.setdefault(key, (path, {}))[1].update(values)
    return regfile.normalise(changed)


def uninstall_log_problems(case, progress):
    runs = harness.HEADER.split(progress or b"")
    final = "TEMPTXT.log not found\n\n" if case.code == 4 else table.UNINSTALLED
    if not runs[-1].endswith(harness.on_disk(final)):
        return ["the uninstall's RegOST.log: %s" % harness.shown(runs[-1])]
    return []


class LinuxCase:
    """Program folders a and b with regostctl and a setup file, on one registry."""

    def __init__(self, case, base, exe):
        self.case, self.exe = case, exe
        self.folder = os.path.join(base, "uninstall-" + case.name)
        self.registry = os.path.join(self.folder, "registry.reg")

    def program(self, name):
        return os.path.join(self.folder, name, "regostctl")

    def lay_out(self):
        shutil.rmtree(self.folder, ignore_errors=True)
        for name in "ab":
            os.makedirs(os.path.join(self.folder, name))
            shutil.copy2(self.exe, self.program(name))
            with open(os.path.join(self.folder, name, "RegOST.ini"), "wb") as out:
                out.write(table.ini(self.case.release_list).encode("cp1252"))
        os.makedirs(os.path.join(self.folder, "temp"))
        regfile.write_regedit4(self.case.before, self.registry)

    def run(self, steps, readonly=()):
        env = program_environment(self.registry, os.path.join(self.folder, "temp"), readonly)
        return [run_program(self.program(name), args, self.folder, env) for name, args in steps]

    def state(self):
        with open(self.registry, "rb") as f:
            return regfile.parse(f.read())

    def change(self, change):
        regfile.write_regedit4(machine_of(with_change(self.state(), change)), self.registry)

    def progress(self):
        return harness.read_file(os.path.join(self.folder, self.case.steps[-1][0], "RegOST.log"))


def uninstall_case_problems(runner):
    """Runs a case; returns (problems, the registry and RegOST.log it left)."""
    case = runner.case
    expected = None
    if case.expected is not None:
        runner.lay_out()
        runner.run(case.expected)
        expected = with_change(runner.state(), case.change)
    runner.lay_out()
    runner.run(case.steps[:-1])
    if case.change:
        runner.change(case.change)
    code = runner.run(case.steps[-1:], case.readonly)[0]
    after, progress = regfile.normalise(runner.state()), runner.progress()
    problems = [] if code == case.code else ["exit code %d, expected %d" % (code, case.code)]
    problems += uninstall_log_problems(case, progress)
    if expected is not None:
        problems += regfile.describe_difference(after, expected, "after", "expected")
    return problems, after, progress


def run_uninstall_cases(base, exe):
    results = []
    for case in table.UNINSTALL_CASES:
        try:
            problems = uninstall_case_problems(LinuxCase(case, base, exe))[0]
        except Exception as error:  # noqa: BLE001, reported like a scenario's
            problems = ["harness error: %r" % error]
        results.append(("uninstall " + case.name, problems))
    return results


def main():
    exe = os.environ.get("REGOST", "")
    if not exe or not os.path.isfile(exe):
        print("REGOST does not name a built regost: skipped")
        return SKIP
    base = tempfile.mkdtemp(prefix="regost-e2e-")
    results = []
    for scenario in harness.selected():
        layout = harness.Layout(scenario, base)
        try:
            outcome, problems = run_linux(layout, exe)
            problems += harness.check(layout, outcome)
            problems += ctl_column_problems(layout, exe)
        except Exception as error:  # one broken scenario must not hide the others
            problems = ["harness error: %r" % error]
        results.append((scenario.name, problems))
    results += run_uninstall_cases(base, ctl_exe(exe))
    return harness.finish(results, base)


if __name__ == "__main__":
    sys.exit(main())
