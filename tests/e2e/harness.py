"""What both end-to-end runners share: laying a scenario out in a program
folder, reading back what the run left, and judging it.

Every scenario is judged twice over: against its expected logs, byte for
byte, and by a property that does not look at those texts at all: the
registry-script records are exactly the values the run changed, in the order
the program attempts its writes, and every write without a record has its
error line in the progress log.
"""
import collections
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import regfile  # noqa: E402
import scenarios as table  # noqa: E402

HEADER = re.compile(rb"\d\d/\d\d/\d\d -- \d\d:\d\d:\d\d \r\n\r\n")


def dos_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def unix_path(dos):
    assert dos[:2].upper() == "Z:", dos
    return dos[2:].replace("\\", "/")


class Layout:
    """A scenario's folder: <base>/<name>/ holding the program folder, a
    temporary folder and the registry file of the Linux build."""

    def __init__(self, scenario, base):
        self.scenario = scenario
        self.folder = os.path.join(base, scenario.name)
        program = os.path.join(self.folder, scenario.program)
        if scenario.long_dir:
            room = scenario.long_dir - len(dos_path(self.folder)) - 1
            program = os.path.join(self.folder, "p" * room)
        self.program = program
        self.temp = os.path.join(self.folder, "temp")
        self.registry = os.path.join(self.folder, "registry.reg")
        self.dos_dir = dos_path(program) + "\\"
        self.subst = {}
        if scenario.extra:
            self.subst.update(scenario.extra(self.dos_dir))
        self.subst["{dir}"] = self.dos_dir

    def expand(self, text):
        for placeholder, value in self.subst.items():
            text = text.replace(placeholder, value)
        return text

    def create(self, exe, exe_name):
        """Lays the folder out afresh with a copy of the program."""
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.program)
        os.makedirs(self.temp)
        scenario = self.scenario
        for name in scenario.files:
            path = os.path.join(self.program, self.expand(name).replace("\\", "/"))
            if path.endswith("/"):
                os.makedirs(path, exist_ok=True)
            else:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                open(path, "wb").write(b"add-on")  # an empty add-on file is no add-on
        for folder in [self.program] + [os.path.join(self.folder, scenario.sibling)] * bool(
                scenario.sibling):
            os.makedirs(folder, exist_ok=True)
            if scenario.ini is not None:
                with open(os.path.join(folder, "RegOST.ini"), "wb") as out:
                    out.write(self.expand(scenario.ini).encode("cp1252"))
        # A folder of the log's name: no program, not even root's, can open it
        # as a file.
        if scenario.block_log in ("program", "both"):
            os.makedirs(os.path.join(self.program, "RegOST.log"))
        if scenario.block_log == "both":
            os.makedirs(os.path.join(self.temp, "RegOST.log"))
        target = os.path.join(self.program, exe_name)
        shutil.copy2(exe, target)
        return target

    def before_state(self):
        return regfile.from_machine(self.expanded_machine())

    def expanded_machine(self, machine=None):
        return {self.expand(k): {n: (self.expand(v) if isinstance(v, str) else v)
                                 for n, v in vals.items()}
                for k, vals in (self.scenario.before if machine is None else machine).items()}


WOW = "Wow6432Node"


def in_wow(full):
    """The Wow6432Node place of an HKLM\\SOFTWARE key (the 32-bit view of a
    64-bit Windows, which the Linux build plays as its other view); others
    unchanged."""
    root, rest = regfile.split_full_path(full)
    first, _, below = rest.partition("\\")
    if root != "HKLM" or first.lower() != "software":
        return full
    return "%s\\%s\\%s" % (regfile.ROOT_NAMES[root], first, WOW + ("\\" + below if below else ""))


class Outcome:
    """What one build left after a scenario's runs."""

    def __init__(self, layout, after_state):
        self.after = regfile.normalise(after_state)
        self.progress = read_file(os.path.join(layout.temp if layout.scenario.progress_in_temp
                                               else layout.program, "RegOST.log"))
        self.stray_progress = read_file(os.path.join(
            layout.program if layout.scenario.progress_in_temp else layout.temp, "RegOST.log"))
        self.script = read_file(os.path.join(layout.program, "TEMPTXT.log"))

    def progress_runs(self):
        """The progress log split into runs (headers removed), or None."""
        if self.progress is None:
            return None
        pieces = HEADER.split(self.progress)
        return pieces[1:] if pieces[0] == b"" else None

    def headerless_progress(self):
        return None if self.progress is None else HEADER.sub(b"<header>", self.progress)


def image_machine(path):
    """The machine of a Windows image's file header (0x14C i386, 0x8664
    x86-64), or None for any other file or none."""
    data = read_file(path) or b""
    offset = int.from_bytes(data[0x3C:0x40], "little") if data[:2] == b"MZ" else 0
    if not offset or data[offset:offset + 4] != b"PE\0\0":
        return None
    return int.from_bytes(data[offset + 4:offset + 6], "little")


def read_file(path):
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def on_disk(text):
    return text.replace("\n", "\r\n").encode("cp1252")


def shown(data, limit=2000):
    if data is None:
        return "(no file)"
    text = data.decode("cp1252", "replace")
    return text if len(text) <= limit else text[:limit] + "...(%d more)" % (len(text) - limit)


def first_difference(got, expected):
    for i, (a, b) in enumerate(zip(got, expected)):
        if a != b:
            return i
    return min(len(got), len(expected))


def compare_bytes(what, got, expected):
    if got == expected:
        return []
    if got is None or expected is None:
        return ["%s: got %s, expected %s" % (what, shown(got, 300), shown(expected, 300))]
    at = first_difference(got, expected)
    return ["%s differs at byte %d: got %r, expected %r" % (
        what, at, got[max(0, at - 60):at + 80], expected[max(0, at - 60):at + 80])]


# --- Expected logs ---------------------------------------------------------


def check_expected(layout, outcome):
    scenario = layout.scenario
    problems = []
    if scenario.progress is None:
        if outcome.progress is not None:
            problems.append("a progress log exists: %s" % shown(outcome.progress, 300))
    else:
        runs = outcome.progress_runs()
        if runs is None:
            problems.append("progress log does not start with a header: %s"
                            % shown(outcome.progress, 300))
        elif len(runs) != len(scenario.progress):
            problems.append("progress log holds %d runs, expected %d: %s" % (
                len(runs), len(scenario.progress), shown(outcome.progress)))
        else:
            for i, (got, text) in enumerate(zip(runs, scenario.progress)):
                problems += compare_bytes("progress log, run %d" % (i + 1), got,
                                          on_disk(layout.expand(text)))
    if outcome.stray_progress is not None:
        problems.append("a progress log was also written in the other folder")
    expected_script = None if scenario.script is None else on_disk(layout.expand(scenario.script))
    problems += compare_bytes("TEMPTXT.log", outcome.script, expected_script)
    return problems


# --- The property ----------------------------------------------------------

Record = collections.namedtuple("Record", "key value name number root")
ROOT_OF_CODE = {"1": "HKCU", "2": "HKLM"}
RECORD_END = re.compile(rb"RegDB Root: [12]\r\n$")
KERNEL_PAGE = 4096


def without_page_cut(script):
    """A killed run's records less a last record cut at a page boundary of
    the file: Linux ends a write() that SIGKILL interrupts there, whatever the
    writer did (Wine's WriteFile too), and only that may cut a record."""
    if script and len(script) % KERNEL_PAGE == 0 and not RECORD_END.search(script[-16:]):
        return script[:script.rfind(b"RegDB Key: ")]
    return script


def killed_log_problems(progress, script, complete_progress, complete_script=None):
    """What is wrong with the logs (bytes) of a run killed midway, given a
    complete run's progress lines after its header (and its records, when
    they are known): RegOST.log must hold the header and whole lines that
    begin the complete run's, TEMPTXT.log only whole records that begin the
    complete run's. Once a record exists the header must be there, since it
    is written before any registry work."""
    problems = []
    header = HEADER.match(progress)
    if header:
        lines = progress[header.end():]
        if not complete_progress.startswith(lines) or (lines and not lines.endswith(b"\r\n")):
            problems.append("RegOST.log after the header holds %r, not whole lines of a "
                            "complete run" % lines[-120:])
    elif progress or script:
        problems.append("RegOST.log does not begin with the header: %r" % progress[:40])
    script = without_page_cut(script)
    if script and not RECORD_END.search(script[-16:]):
        problems.append("TEMPTXT.log ends %r, not after a whole record" % script[-120:])
    elif complete_script is not None and not complete_script.startswith(script):
        problems.append("TEMPTXT.log ends %r, not with a record of a complete run"
                        % script[-120:])
    return problems


def concurrent_log_problems(progress, script, complete_progress, records_per_run):
    """What is wrong with the logs (bytes) of two runs started at once from one
    folder on the same machine: they must have taken turns, so RegOST.log is
    two whole runs one after the other and TEMPTXT.log the same whole records
    twice over."""
    problems = []
    one_run = HEADER.pattern + re.escape(complete_progress)
    if not re.fullmatch(one_run + one_run, progress):
        problems.append("RegOST.log is not two whole runs one after the other: %s"
                        % shown(progress, 400))
    half = len(script) // 2
    if script[:half] != script[half:]:
        problems.append("TEMPTXT.log is not one run's records twice (%d bytes)" % len(script))
        return problems
    try:
        count = len(parse_records(script[:half].decode("cp1252").replace("\r\n", "\n")))
    except ValueError as error:
        return problems + ["TEMPTXT.log: %s" % error]
    if count != records_per_run:
        problems.append("TEMPTXT.log holds %d records a run, not %d" % (count, records_per_run))
    return problems


def parse_records(text):
    """Records of a registry-script log (text with "\\n" line ends)."""
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    records = []
    i = 0
    while i < len(lines):
        group = lines[i:i + 5]
        number = len(group) > 3 and group[3] == "RegDB Type: 3"
        size = 5 if number else 4
        group = lines[i:i + size]
        prefixes = ["RegDB Key: ", "RegDB Val: ", "RegDB Name: "] + (
            ["RegDB Type: "] if number else []) + ["RegDB Root: "]
        if len(group) != size or any(not g.startswith(p) for g, p in zip(group, prefixes)):
            raise ValueError("malformed record at line %d: %r" % (i + 1, group))
        root = group[-1][len("RegDB Root: "):]
        if root not in ROOT_OF_CODE:
            raise ValueError("bad root line %r" % group[-1])
        records.append(Record(group[0][11:], group[1][11:], group[2][12:], number,
                              ROOT_OF_CODE[root]))
        i += size
    return records


SUFFIX = {"HKLM": table.HKLM_SUFFIX, "HKCU": table.HKCU_SUFFIX}
ROOT_CODE = {"HKLM": table.HKLM, "HKCU": table.HKCU}


def parse_error_lines(text):
    """(line less its root, root) of every failed-write line."""
    found = []
    for line in text.split("\n"):
        for root, suffix in SUFFIX.items():
            if line.startswith("Error -- ") and line.endswith(suffix[:-1]):
                found.append((line[:-len(suffix) + 1], root))
    return found


def subkeys_of(machine, release):
    """Every subkey name of a release key in the registry before, or None
    when there is no such key."""
    base = "hklm\\software\\autodesk\\autocad\\r" + release.lower()
    names = None
    for full in machine:
        lower = full.lower()
        if lower == base or lower.startswith(base + "\\"):
            names = names or []
            rest = full[len(base) + 1:]
            if rest and rest.split("\\")[0] not in names:
                names.append(rest.split("\\")[0])
    return names


def products_of(machine, release):
    """Product names of a release in the registry before, in the order the
    registry lists subkeys; None when the release cannot be listed."""
    names = subkeys_of(machine, release)
    # A release key without products is no AutoCAD either; a name of 200
    # characters or more does not fit the listing's buffer and is skipped.
    # A name the code page cannot spell is listed with '?' and skipped too.
    if not names:
        return None
    spelled = [n for n in names if len(n) < 200 and n == n.encode("cp1252", "replace").decode(
        "cp1252")]
    return sorted(spelled, key=lambda n: n.upper())


def unlisted_by_faults(faults, listings):
    """The listings that the scenario's REGOST_FAIL_ENUM_AT or _ALLOC_AT cut
    short: a listing asks for every index below its product count, and takes
    one heap block for the list and one per name."""
    cut = set()
    if "REGOST_FAIL_ENUM_AT" in faults:
        index = int(faults["REGOST_FAIL_ENUM_AT"])
        cut |= {i for i, names in enumerate(listings) if index < len(names)}
    if "REGOST_FAIL_ALLOC_AT" in faults:
        left = int(faults["REGOST_FAIL_ALLOC_AT"])
        for i, names in enumerate(listings):
            if left <= len(names):
                cut.add(i)
                break
            left -= 1 + len(names)
    return cut


def planned_run(layout):
    """The steps and writes of one run of the scenario (scenarios.plan) with
    the listings its faults cut short."""
    scenario = layout.scenario
    machine = layout.expanded_machine()
    products = {release: products_of(machine, release) for release in scenario.releases}
    listings = [(release, second) for release in scenario.releases
                for second in ([True, False] if scenario.second else [False])
                if products[release] is not None]
    cut = {listings[i] for i in unlisted_by_faults(
        scenario.faults, [subkeys_of(machine, r) for r, _ in listings])}
    return table.plan(scenario.releases, products, scenario.second,
                      custom="" if scenario.custom else None, cut=cut)


def expected_run(layout, clean_records):
    """Progress (after the header) and records of one run under the
    scenario's faults and read-only roots, from the records of the same run
    without them: a refused write logs its error line and tries its next
    root; REGOST_FAIL_SET_AT counts every value set that is tried."""
    scenario = layout.scenario
    steps, attempts = planned_run(layout)
    clean = {(r.key, r.name, r.root): r for r in clean_records}
    fail_at = int(scenario.faults.get("REGOST_FAIL_SET_AT", -1))
    errors = [""] * len(steps)
    failed = [False] * len(steps)
    script = ""
    sets = 0
    for attempt in attempts:
        for root in attempt.roots:
            refused = root in scenario.readonly
            if not refused:
                refused = sets == fail_at
                sets += 1
            if not refused:
                r = clean[(attempt.key, attempt.name, attempt.roots[0])]
                script += table.record(r.key, r.value, r.name, ROOT_CODE[root], r.number)
                break
            errors[attempt.step] += attempt.head + SUFFIX[root]
        else:
            failed[attempt.step] = True
    progress = ""
    for at, (ok, fail, listing) in enumerate(steps):
        if listing is not None and listing[2] is None:
            progress += table.AUTOCAD_NOT_FOUND + fail
        else:
            progress += errors[at] + (fail if failed[at] else ok)
    return progress + table.COMPLETED, script


def fault_cases(layout, clean_records):
    """The faults of the sweep over a scenario: each value set in turn,
    each listing index up to one past the most products, each heap block
    up to one past the last, and every write refused."""
    cases = [("set-%d" % n, {"REGOST_FAIL_SET_AT": str(n)}, ())
             for n in range(len(clean_records))]
    listings = [s.listing[2] for s in planned_run(layout)[0] if s.listing and s.listing[2]]
    cases += [("enum-%d" % i, {"REGOST_FAIL_ENUM_AT": str(i)}, ())
              for i in range(max(map(len, listings)) + 1)]
    cases += [("alloc-%d" % n, {"REGOST_FAIL_ALLOC_AT": str(n)}, ())
              for n in range(sum(1 + len(names) for names in listings) + 1)]
    return cases + [("both-roots-read-only", {}, ("HKLM", "HKCU"))]


def check_property(layout, outcome):
    """Records against registry changes and attempted writes."""
    scenario = layout.scenario
    problems = []
    if outcome.script is not None:
        text = outcome.script.decode("cp1252").replace("\r\n", "\n")
    else:
        text = layout.expand(scenario.writes or scenario.script or "")
    try:
        records = parse_records(text)
    except ValueError as error:
        return ["TEMPTXT.log: %s" % error]

    before = regfile.normalise(layout.before_state())
    after = outcome.after

    # Each record states a value the registry now holds (the last record of
    # a value wins), and nothing changed without a record.
    last = {}
    for r in records:
        last[(r.root, r.key.lower(), r.name.lower())] = r
    for (root, key, name), r in last.items():
        held = after.get((root, key), (None, {}))[1].get(name)
        want = (r.name, "dword", int(r.value)) if r.number else (r.name, "sz", r.value)
        if held is None or held[1:] != want[1:]:
            problems.append("record %s\\%s %s=%r, registry holds %r" % (root, r.key, r.name,
                                                                        r.value, held))
    for (root, key), (path, values) in after.items():
        old = before.get((root, key), (None, {}))[1]
        for lname, value in values.items():
            if old.get(lname) != value and (root, key, lname) not in last:
                problems.append("%s\\%s %s changed to %r without a record" % (
                    root, path, value[0], value[2]))
        # (A set that fails after its key was created leaves that key.)
        if (root, key) not in before and not scenario.faults and not any(
                r_root == root and (r_key == key or r_key.startswith(key + "\\"))
                for (r_root, r_key, _) in last):
            problems.append("key %s\\%s appeared without a record below it" % (root, path))
    for (root, key), (path, values) in before.items():
        if (root, key) not in after:
            problems.append("key %s\\%s was deleted" % (root, path))
            continue
        for lname in values:
            if lname not in after[(root, key)][1]:
                problems.append("value %s\\%s %s was deleted" % (root, path, values[lname][0]))

    # Walk the attempted writes in order: each is either the next record or
    # a failure with its error line.
    check_errors = scenario.progress is not None and outcome.progress is not None
    errors = collections.Counter()
    if check_errors:
        errors.update(parse_error_lines(outcome.progress.decode("cp1252").replace("\r\n", "\n")))
    attempts = planned_run(layout)[1] * scenario.runs
    at = 0
    lost = False
    for attempt in attempts:
        for root in attempt.roots:
            if at < len(records) and (records[at].key, records[at].name,
                                      records[at].root) == (attempt.key, attempt.name, root):
                at += 1
                break
            if check_errors:
                if errors[(attempt.head, root)] == 0:
                    # Past the first such write the walk is out of step.
                    problems.append("%s\\%s %s: no record and no error line" % (
                        root, attempt.key, attempt.name))
                    lost = True
                    break
                errors[(attempt.head, root)] -= 1
        if lost:
            break
    if lost:
        return problems
    if at != len(records):
        problems.append("records out of the order of the writes from record %d: %r" % (
            at + 1, records[at]))
    leftover = +errors
    if leftover:
        problems.append("error lines without a failed write: %r" % dict(leftover))
    return problems


def check(layout, outcome):
    return check_expected(layout, outcome) + check_property(layout, outcome)


def compare_builds(linux, windows):
    """Differences between the two builds' outcomes of one scenario."""
    problems = compare_bytes("RegOST.log (headers aside), Linux vs Windows",
                             linux.headerless_progress(), windows.headerless_progress())
    problems += compare_bytes("TEMPTXT.log, Linux vs Windows", linux.script, windows.script)
    problems += regfile.describe_difference(windows.after, linux.after, "Windows", "Linux")
    return problems


def lay_out_release(base, exes):
    """The release's folder as the zip unpacks, around the exes beside
    exes["x86"] and exes["x64"]; its path and the problems of laying it out."""
    dist = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "dist.sh")
    done = subprocess.run([dist, "--layout", base, os.path.dirname(exes["x86"]),
                           os.path.dirname(exes["x64"])],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = done.stdout.decode("utf-8", "replace")
    if done.returncode != 0:
        return None, [output[-2000:]]
    return output.strip().splitlines()[-1], []


def readme_problems(lines, name="README.md"):
    """Each of lines that the README (name: README.md, or another README of
    the source tree) does not print whole, as a command a reader copies (a
    code span or a line of its own): the tests run these lines as printed,
    so a change to one must reach its test too."""
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", name),
              encoding="utf-8") as f:
        text = f.read()
    printed = set(re.findall(r"`([^`\n]+)`", text)) | {l.strip() for l in text.splitlines()}
    return ["%s does not print: %s" % (name, line) for line in lines if line not in printed]


def vendor_setup_ini(base):
    """A vendor's RegOST.ini for the example setups, in base."""
    path = os.path.join(base, "RegOST.ini")
    with open(path, "wb") as f:
        f.write(b"[VERSION]\r\nVersion=17.1:17.2\r\n[OSTKeysLoader]\r\n"
                b"CustomData=Ostrel 17 site licence\r\n")
    return path


def finish(results, base):
    """Reports the results; keeps the scenario folders only when something
    failed or REGOST_E2E_KEEP asks for them."""
    code = report(results)
    if code == 0 and not os.environ.get("REGOST_E2E_KEEP"):
        shutil.rmtree(base, ignore_errors=True)
    else:
        print("scenario folders kept in %s" % base)
    return code


def report(results):
    """Prints one line per scenario and the closing count; returns the exit code."""
    failed = 0
    for name, problems in results:
        if problems:
            failed += 1
            print("FAIL %s" % name)
            for problem in problems:
                print("    " + problem)
        else:
            print("ok   %s" % name)
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


def selected():
    """The scenarios to run: all, or those named in REGOST_E2E_ONLY (commas)."""
    only = os.environ.get("REGOST_E2E_ONLY")
    if not only:
        return list(table.SCENARIOS)
    return [table.by_name(name) for name in only.split(",")]
