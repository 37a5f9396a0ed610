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
import dataclasses
import os
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
        done = subprocess.run(wrapper + [program] + scenario.args, cwd=layout.folder, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        if done.returncode != 0 or done.stderr:
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
        except Exception as error:  # one broken scenario must not hide the others
            problems = ["harness error: %r" % error]
        results.append((scenario.name, problems))
    return harness.finish(results, base)


if __name__ == "__main__":
    sys.exit(main())
