"""What the conformance tests share: finding the probes and talking to them.

A probe reads requests (one per line, tab-separated fields) on stdin and
prints one answer per request; see probes/probe_io.h for the format.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import wine  # noqa: E402

NULL = None  # a null pointer in a request


def escape_field(field):
    if field is NULL:
        return "\\N"
    if isinstance(field, str):
        field = field.encode("cp1252")
    out = []
    for byte in field:
        if byte == 0x5C:
            out.append("\\\\")
        elif 0x20 <= byte < 0x7F:
            out.append(chr(byte))
        else:
            out.append("\\x%02X" % byte)
    return "".join(out)


def request_text(requests):
    return "".join("\t".join(escape_field(f) for f in r) + "\n" for r in requests)


def probes_or_skip(windows_probe_name):
    """The Windows probe and the simulation probe, or exits with SKIP."""
    probe_dir = os.environ.get("REGOST_PROBE_DIR", "")
    windows_probe = os.path.abspath(os.path.join(probe_dir, windows_probe_name)) if probe_dir else ""
    simulation_probe = os.path.abspath(os.environ.get("REGOST_SIMULATION_PROBE", "") or "/nonexistent")
    if not wine.available(windows_probe) or not os.path.exists(simulation_probe):
        sys.exit(wine.skipped("needs wine, %s in REGOST_PROBE_DIR and REGOST_SIMULATION_PROBE"
                              % windows_probe_name))
    return windows_probe, simulation_probe


def answers(output, count, who):
    lines = output.decode("latin-1").replace("\r\n", "\n").split("\n")[:count]
    if len(lines) != count:
        sys.exit("%s gave %d answers, expected %d:\n%s" % (who, len(lines), count, output[-500:]))
    return lines


def run_windows(probe, requests, cwd):
    wine.ensure_prefix()
    result = wine.run_with_input([probe], request_text(requests).encode(), cwd=cwd, timeout=600)
    return answers(result.stdout, len(requests), "the Windows probe")


def run_simulation(probe, mode, requests, cwd):
    result = subprocess.run([probe, mode], cwd=cwd, input=request_text(requests).encode(),
                            stdout=subprocess.PIPE, timeout=600, check=False)
    return answers(result.stdout, len(requests), "the simulation probe")


def compare(requests, windows, simulation, known):
    """Every answer must agree, except the known differences, where Wine must
    give the Wine answer and the simulation the Windows answer. Returns the
    number of failures and prints each."""
    failures = 0
    for request, got_wine, got_simulation in zip(requests, windows, simulation):
        key = tuple(request)
        if key in known:
            wine_answer, windows_answer, why = known[key]
            if got_wine != wine_answer or got_simulation != windows_answer:
                failures += 1
                print("FAIL (known difference: %s) %r\n  wine:     got %r, expected %r\n"
                      "  simulation: got %r, expected %r"
                      % (why, request, got_wine, wine_answer, got_simulation, windows_answer))
        elif got_wine != got_simulation:
            failures += 1
            print("FAIL %r\n  wine:     %r\n  simulation: %r" % (request, got_wine, got_simulation))
    return failures


def run_and_compare(windows_probe, simulation_probe, mode, requests, known, cwd):
    """Asks both probes the same requests; returns the number of failures."""
    windows = run_windows(windows_probe, requests, cwd)
    simulation = run_simulation(simulation_probe, mode, requests, cwd)
    return compare(requests, windows, simulation, known)
