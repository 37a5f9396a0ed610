"""Runs of regost (env REGOST) that do not end normally.

- Killed: regost is started many times on the same registry file and killed
  with SIGKILL at a random moment. The registry file must then hold exactly
  the state before the run or the state after a complete run, never a mix
  nor a cut file. The logs must hold what was written up to the kill: the
  header, whole progress lines, and whole records that begin a complete run's
  records (the simulated registry is saved only at the end, so on Linux the
  records cannot be checked against it).
- Concurrent: two runs at once on one registry file, each registering its own
  release. The runs must follow one another, so that the file ends up with
  the values of both.
- One folder, two registry files: two runs at once from one program folder
  take turns under the run lock, so each run's lines stay together.
- Logs that cannot be written: RegOST.log (and then TEMPTXT.log too) is a
  symbolic link to /dev/full. The run must still end, with exit code 0, and
  leave the same registry as a run whose logs are fine.
"""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402

SKIP = 77
KILLED_RUNS = int(os.environ.get("REGOST_KILLED_RUNS", "200"))
KILLED_SECONDS = float(os.environ.get("REGOST_KILLED_SECONDS", "90"))

SETUP = ("[VERSION]\r\nVersion=17.0:17.1:17.2\r\n[OSTKeysLoader]\r\n"
         "CustomData=Site licence 42\r\n")
ARGUMENTS = ["/LOG", "/QEL"]
# Products of every release, and values the run must keep as they are.
BEFORE = "\r\n".join(
    ["REGEDIT4", ""] +
    ["[HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\AutoCAD\\R%s\\ACAD-%d:409]\r\n" % (release, n)
     for release in ("17.0", "17.1", "17.2") for n in (6001, 6002, 6003)] +
    ["[HKEY_CURRENT_USER\\Software\\Other]", "\"Keep\"=\"this \\\"value\\\"\"",
     "\"Number\"=dword:0000002a", ""])


class Program:
    """A program folder holding a copy of regost and its setup file, and a
    registry file beside it."""

    def __init__(self, base, name, exe):
        self.folder = os.path.join(base, name)
        self.program = os.path.join(self.folder, "prog")
        os.makedirs(self.program)
        os.makedirs(os.path.join(self.folder, "temp"))
        self.exe = os.path.join(self.program, "regost")
        shutil.copy2(exe, self.exe)
        with open(os.path.join(self.program, "RegOST.ini"), "wb") as out:
            out.write(SETUP.encode("cp1252"))
        self.registry = os.path.join(self.folder, "registry.reg")
        self.env = dict(os.environ)
        self.env.update(REGOST_REGISTRY=self.registry, TMPDIR=os.path.join(self.folder, "temp"))
        self.env.pop("REGOST_READONLY_ROOTS", None)

    def set_registry(self, data):
        with open(self.registry, "wb") as out:
            out.write(data)

    def registry_bytes(self):
        with open(self.registry, "rb") as f:
            return f.read()

    def clear_logs(self):
        for name in ("RegOST.log", "TEMPTXT.log"):
            path = os.path.join(self.program, name)
            if os.path.lexists(path):
                os.remove(path)

    def start(self, arguments):
        return subprocess.Popen([self.exe] + arguments, cwd=self.folder, env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def run(self, arguments, timeout=60):
        started = time.monotonic()
        done = subprocess.run([self.exe] + arguments, cwd=self.folder, env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        return done, time.monotonic() - started

    def leftovers(self):
        """Temporary files of registry saves that never got renamed."""
        return [name for name in os.listdir(self.folder) if name.startswith(".registry.reg.")]


def reference_states(program):
    """The registry file before a run (as regost itself writes it, from a run
    that ends at once for want of a setup file) and after a complete run, how
    long a complete run takes, and its TEMPTXT.log. The loader paths name the
    program folder, so every run of the test uses the same one."""
    program.set_registry(BEFORE.encode("cp1252"))
    os.remove(os.path.join(program.program, "RegOST.ini"))
    done, _ = program.run(ARGUMENTS)
    assert done.returncode == 0, done.stderr
    before = program.registry_bytes()
    with open(os.path.join(program.program, "RegOST.ini"), "wb") as out:
        out.write(SETUP.encode("cp1252"))
    program.clear_logs()
    durations = []
    for _ in range(5):
        program.set_registry(before)
        done, seconds = program.run(ARGUMENTS)
        assert done.returncode == 0, done.stderr
        durations.append(seconds)
        script = open(os.path.join(program.program, "TEMPTXT.log"), "rb").read()
        progress = open(os.path.join(program.program, "RegOST.log"), "rb").read()
        program.clear_logs()
    after = program.registry_bytes()
    assert after != before, "a complete run changed nothing"
    progress = progress[harness.HEADER.match(progress).end():]
    return before, after, sorted(durations)[len(durations) // 2], script, progress


def check_killed_runs(program, before, after, duration, complete_progress, complete_records):
    rng = random.Random(int(os.environ.get("REGOST_KILL_SEED", "0")) or None)
    outcomes = {"before": 0, "after": 0}
    problems = []
    deadline = time.monotonic() + KILLED_SECONDS
    runs = 0
    leftovers = 0
    while runs < KILLED_RUNS and time.monotonic() < deadline:
        runs += 1
        program.set_registry(before)
        program.clear_logs()
        process = program.start(ARGUMENTS)
        # Anywhere from before main to after the save, the save included.
        time.sleep(rng.uniform(0, duration * 1.3))
        process.send_signal(signal.SIGKILL)
        process.wait(timeout=60)
        process.stderr.close()
        state = program.registry_bytes()
        if state == before:
            outcomes["before"] += 1
        elif state == after:
            outcomes["after"] += 1
        else:
            problems.append("run %d left a registry file of %d bytes that is neither the state "
                            "before nor after a run: %r" % (runs, len(state), state[-200:]))
            if len(problems) > 5:
                break
        logs = []
        for name in ("RegOST.log", "TEMPTXT.log"):
            path = os.path.join(program.program, name)
            logs.append(open(path, "rb").read() if os.path.exists(path) else b"")
        for problem in harness.killed_log_problems(logs[0], logs[1], complete_progress,
                                                   complete_records):
            problems.append("run %d: %s" % (runs, problem))
        # A save killed before its rename leaves its temporary file; the
        # registry file itself is whole either way.
        for name in program.leftovers():
            os.remove(os.path.join(program.folder, name))
            leftovers += 1
    print("killed runs: %d, registry as before: %d, as after: %d, unfinished saves: %d"
          % (runs, outcomes["before"], outcomes["after"], leftovers))
    return problems


def check_concurrent_runs(base, program, before):
    """Two program folders, one registry file: release 17.0 from one, 17.2 from
    the other, started together."""
    other = Program(base, "other", program.exe)
    other.registry = other.env["REGOST_REGISTRY"] = program.registry
    for folder, release in ((program, "17.0"), (other, "17.2")):
        with open(os.path.join(folder.program, "RegOST.ini"), "wb") as out:
            out.write(("[VERSION]\r\nVersion=%s\r\n" % release).encode("cp1252"))
    problems = []
    for attempt in range(10):
        program.set_registry(before)
        runs = [folder.start(["/LOG"]) for folder in (program, other)]
        for run in runs:
            run.wait(timeout=60)
            run.stderr.close()
        state = program.registry_bytes()
        missing = [release for release in (b"17.0", b"17.2")
                   if b"\\Quenlar\\AutoCAD\\" + release + b"\\Ostrel]" not in state]
        if missing or any(run.returncode != 0 for run in runs):
            problems.append("concurrent runs, attempt %d: exit codes %r, releases lost: %r"
                            % (attempt, [run.returncode for run in runs], missing))
    with open(os.path.join(program.program, "RegOST.ini"), "wb") as out:
        out.write(SETUP.encode("cp1252"))
    program.clear_logs()
    print("concurrent runs: %s" % ("ok" if not problems else "FAILED"))
    return problems


def check_one_folder_runs(program, before, progress, script):
    """Two runs from one folder, each on a registry file of its own, so that
    only the run lock can make them take turns."""
    problems = []
    records = script.count(b"RegDB Root: ")
    for attempt in range(20):
        program.clear_logs()
        envs = []
        for n in range(2):
            # In folders of their own: the simulator locks a registry file's folder.
            folder = os.path.join(program.folder, "registry%d" % n)
            os.makedirs(folder, exist_ok=True)
            env = dict(program.env, REGOST_REGISTRY=os.path.join(folder, "registry.reg"))
            with open(env["REGOST_REGISTRY"], "wb") as out:
                out.write(before)
            envs.append(env)
        runs = [subprocess.Popen([program.exe] + ARGUMENTS, cwd=program.folder, env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                for env in envs]
        for run in runs:
            run.wait(timeout=60)
        logs = [os.path.join(program.program, name) for name in ("RegOST.log", "TEMPTXT.log")]
        got = [open(log, "rb").read() for log in logs]
        found = harness.concurrent_log_problems(got[0], got[1], progress, records)
        if found:
            problems += ["one folder, attempt %d: %s" % (attempt, p) for p in found]
            break
    program.clear_logs()
    print("two runs from one folder: %s" % ("took turns" if not problems else "FAILED"))
    return problems


def check_full_logs(program, before, after, script):
    problems = []
    for name, links in (("progress log on /dev/full", ["RegOST.log"]),
                        ("both logs on /dev/full", ["RegOST.log", "TEMPTXT.log"])):
        program.clear_logs()
        program.set_registry(before)
        for link in links:
            os.symlink("/dev/full", os.path.join(program.program, link))
        try:
            done, _ = program.run(ARGUMENTS, timeout=60)
        except subprocess.TimeoutExpired:
            problems.append("%s: regost did not end within 60 s" % name)
            continue
        if done.returncode != 0:
            problems.append("%s: exit code %d (stderr %r)"
                            % (name, done.returncode, done.stderr[:300]))
        if program.registry_bytes() != after:
            problems.append("%s: the registry differs from a run with working logs" % name)
        script_path = os.path.join(program.program, "TEMPTXT.log")
        if "TEMPTXT.log" not in links and open(script_path, "rb").read() != script:
            problems.append("%s: TEMPTXT.log differs from a run with working logs" % name)
        for link in links:
            if os.readlink(os.path.join(program.program, link)) != "/dev/full":
                problems.append("%s: %s is no longer the link" % (name, link))
        print("%s: %s" % (name, "ok" if not problems else "FAILED"))
    program.clear_logs()
    return problems


def main():
    exe = os.environ.get("REGOST", "")
    if not exe or not os.path.isfile(exe):
        print("REGOST does not name a built regost: skipped")
        return SKIP
    base = tempfile.mkdtemp(prefix="regost-interrupted-")
    try:
        program = Program(base, "run", exe)
        before, after, duration, script, progress = reference_states(program)
        print("a complete run takes %.1f ms" % (duration * 1000))
        problems = check_killed_runs(program, before, after, duration, progress, script)
        problems += check_concurrent_runs(base, program, before)
        problems += check_one_folder_runs(program, before, progress, script)
        if os.path.exists("/dev/full"):
            problems += check_full_logs(program, before, after, script)
        else:
            print("no /dev/full: the runs with unwritable logs are skipped")
    finally:
        shutil.rmtree(base, ignore_errors=True)
    for problem in problems:
        print("FAILED: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
