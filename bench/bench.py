"""Times RegOST.exe under Wine and regost on Linux; prints one Markdown table.

Run through bench/run.sh, which builds the programs first. Wall times are
medians of several runs, taken with a persistent wineserver (wineserver -p)
in a fresh Wine prefix, so that Wine's own start-up is paid once and not
measured; every run is preceded by warm-up runs that are not counted.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "lib"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.dont_write_bytecode = True

import scenarios as table  # noqa: E402

RELEASE_KEY = "HKEY_LOCAL_MACHINE\\" + table.product_key("17.1", "").rstrip("\\")
# LOADCTRLS, LOADER, DESCRIPTION, the group and the commands.
VALUES_PER_PRODUCT = 4 + len(table.COMMANDS)
# Loader under both roots and the settings, before any product.
VALUES_PER_RELEASE = 2 + len(table.SETTINGS)
SETUP_FILE = table.ini("17.1").encode("cp1252")


def product_registry(count):
    """A REGEDIT4 file with `count` AutoCAD products of release 17.1."""
    lines = ["REGEDIT4", ""]
    for i in range(count):
        lines += ["[%s\\ACAD-%04d:409]" % (RELEASE_KEY, 6000 + i), ""]
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def values_written(count):
    return VALUES_PER_RELEASE + VALUES_PER_PRODUCT * count


def timed(args, **kwargs):
    start = time.perf_counter()
    done = subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False,
                          **kwargs)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("bench: %s failed (%d): %s" % (" ".join(args), done.returncode,
                                               done.stderr.decode(errors="replace")))
    return elapsed


def remove_logs(folder):
    for name in ("RegOST.log", "TEMPTXT.log"):
        path = os.path.join(folder, name)
        if os.path.exists(path):
            os.remove(path)


def record_count(folder):
    with open(os.path.join(folder, "TEMPTXT.log"), "rb") as f:
        return f.read().count(b"RegDB Key: ")


def milliseconds(seconds):
    return "%.1f ms" % (seconds * 1000)


def microseconds(seconds):
    return "%.1f µs" % (seconds * 1e6)


class Wine:
    def __init__(self, prefix):
        os.environ["REGOST_WINEPREFIX"] = prefix
        import wine  # tests/lib/wine.py, reads the prefix from the environment
        self.wine = wine
        wine.ensure_prefix()  # waits for the wineserver that created it
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-p"], env=wine.environment(), check=True, **quiet)
        # Wine's service processes start with the first program and, with the
        # server kept alive, stay: they must not inherit the pipes of a later
        # run, whose output would then never end.
        subprocess.run([wine.wine_binary(), "cmd", "/c", "exit"], env=wine.environment(),
                       check=False, timeout=300, **quiet)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.wine.environment(), check=False)

    def command(self, args):
        return [self.wine.wine_binary()] + args

    def env(self):
        return self.wine.environment()

    def products(self, folder, count):
        self.wine.delete_key(RELEASE_KEY)
        path = os.path.join(folder, "products.reg")
        with open(path, "wb") as f:
            f.write(product_registry(count))
        done = self.wine.reg_import(path)
        if done.returncode != 0:
            sys.exit("bench: reg import failed: %s" % done.stderr.decode())


def image_facts(exe, tools):
    """Size once stripped, imported DLLs and subsystem of a Windows build;
    tools is its binutils prefix (x86_64-w64-mingw32, i686-w64-mingw32)."""
    stripped = tempfile.mktemp(suffix=".exe")
    subprocess.run([tools + "-strip", "-o", stripped, exe], check=True)
    size = os.path.getsize(stripped)
    os.remove(stripped)
    dump = subprocess.run([tools + "-objdump", "-p", exe], stdout=subprocess.PIPE,
                          check=True).stdout.decode()
    dlls = sorted(re.findall(r"DLL Name: (\S+)", dump), key=str.lower)
    subsystem = re.search(r"^Subsystem\s+\S+\s+\((.*)\)", dump, re.MULTILINE)
    return size, dlls, subsystem.group(1) if subsystem else "?"


def size_rows(row, builds):
    """The size rows of each (label, RegOST.exe, binutils prefix, byte budgets
    of RegOST.exe and of RegOSTCtl.exe beside it)."""
    wanted = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"}
    for label, exe, tools, budgets in builds:
        ctl = os.path.join(os.path.dirname(exe), "RegOSTCtl.exe")
        for name, path, budget in (("RegOST.exe", exe, budgets[0]), ("RegOSTCtl.exe", ctl, budgets[1])):
            size, dlls, subsystem = image_facts(path, tools)
            row("%s %s size, stripped, with its manifest" % (name, label),
                "{:,} bytes ({:.1f} KiB)".format(size, size / 1024), "≤ {:,} bytes".format(budget),
                size <= budget)
            row("%s %s imports, subsystem" % (name, label), "%s; %s" % (", ".join(dlls), subsystem),
                "KERNEL32, ADVAPI32, msvcrt only; Windows GUI",
                {d.lower() for d in dlls} <= wanted and subsystem == "Windows GUI")


def log_writes(regost, folder, registry):
    """write() calls regost makes to each log in one run, and the log's lines."""
    trace = os.path.join(folder, "strace.txt")
    remove_logs(folder)
    subprocess.run(["strace", "-f", "-o", trace, "-e", "trace=open,openat,close,write", regost,
                    "/LOG"], cwd=folder, env=dict(os.environ, REGOST_REGISTRY=registry),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    open_fds = {}
    writes = {"RegOST.log": 0, "TEMPTXT.log": 0}
    opened = re.compile(r'^\d+\s+open(?:at)?\(.*"([^"]*)".*\)\s+=\s+(\d+)')
    closed = re.compile(r"^\d+\s+close\((\d+)\)")
    written = re.compile(r"^\d+\s+write\((\d+),")
    with open(trace) as f:
        for line in f:
            match = opened.match(line)
            if match:
                open_fds[match.group(2)] = os.path.basename(match.group(1))
                continue
            match = closed.match(line)
            if match:
                open_fds.pop(match.group(1), None)
                continue
            match = written.match(line)
            if match and open_fds.get(match.group(1)) in writes:
                writes[open_fds[match.group(1)]] += 1
    lines = {}
    for name in writes:
        with open(os.path.join(folder, name), "rb") as f:
            lines[name] = f.read().count(b"\r\n")
    return writes, lines


def print_rows(rows):
    print("| Measure | Result | Target | Met |")
    print("|---|---|---|---|")
    for measure, result, target, met in rows:
        print("| %s | %s | %s | %s |" % (measure, result, target, met))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True, help="the x86_64 RegOST.exe, the one timed")
    parser.add_argument("--exe32", required=True,
                        help="the i686 RegOST.exe, measured for size with RegOSTCtl.exe beside it")
    parser.add_argument("--sizes-only", action="store_true", help="only the size rows")
    parser.add_argument("--noop", required=True)
    parser.add_argument("--advapi-noop", required=True)
    parser.add_argument("--regost", required=True)
    parser.add_argument("--runs", type=int, default=15, help="timed runs per measure")
    args = parser.parse_args()

    rows = []

    def row(measure, result, target="", met=None):
        rows.append((measure, result, target, "" if met is None else ("yes" if met else "**no**")))

    size_rows(row, [("x86_64", args.exe, "x86_64-w64-mingw32", (21504, 35840)),
                    ("i686", args.exe32, "i686-w64-mingw32", (19968, 32768))])
    if args.sizes_only:
        print_rows(rows)
        return

    work = tempfile.mkdtemp(prefix="regost-bench-")
    wine = Wine(os.path.join(work, "wine"))
    try:

        # The typical run: /LOG, release 17.1, one product; the same program
        # folder for RegOST.exe, the no-op and the .reg file of the same values.
        folder = os.path.join(work, "typical")
        os.makedirs(folder)
        shutil.copy(args.exe, os.path.join(folder, "RegOST.exe"))
        shutil.copy(args.noop, os.path.join(folder, "noop.exe"))
        shutil.copy(args.advapi_noop, os.path.join(folder, "advapi_noop.exe"))
        # Where the gap to the no-op goes: the same run with no setup file
        # only opens the logs, writes their first and last lines and ends.
        bare = os.path.join(work, "bare")
        os.makedirs(bare)
        shutil.copy(args.exe, os.path.join(bare, "RegOST.exe"))
        shutil.copy(args.regost, os.path.join(folder, "regost"))
        with open(os.path.join(folder, "RegOST.ini"), "wb") as f:
            f.write(SETUP_FILE)
        registry = os.path.join(work, "typical.reg")
        with open(registry, "wb") as f:
            f.write(product_registry(1))
        # regost saves what it wrote, with the product key: the same values
        # for `reg import` as RegOST.exe writes in the same folder.
        same_values = os.path.join(work, "same-values.reg")
        shutil.copy(registry, same_values)
        subprocess.run([os.path.join(folder, "regost"), "/LOG"], cwd=folder, check=True,
                       env=dict(os.environ, REGOST_REGISTRY=same_values))
        typical_values = record_count(folder)
        remove_logs(folder)
        wine.products(work, 1)

        def exe_run():
            remove_logs(folder)
            return timed(wine.command([os.path.join(folder, "RegOST.exe"), "/LOG"]), cwd=folder,
                         env=wine.env())

        def noop_run():
            return timed(wine.command([os.path.join(folder, "noop.exe")]), cwd=folder,
                         env=wine.env())

        def advapi_noop_run():
            return timed(wine.command([os.path.join(folder, "advapi_noop.exe")]), cwd=folder,
                         env=wine.env())

        def bare_run():
            remove_logs(bare)
            return timed(wine.command([os.path.join(bare, "RegOST.exe"), "/LOG"]), cwd=bare,
                         env=wine.env())

        def import_run():
            # The 64-bit reg, which writes where the x86_64 RegOST.exe does.
            return timed([wine.wine.native_loader(), "reg", "import",
                          wine.wine.dos_path(same_values), "/reg:64"], cwd=folder, env=wine.env())

        measures = {"exe": exe_run, "noop": noop_run, "advapi": advapi_noop_run,
                    "bare": bare_run, "import": import_run}
        samples = {name: [] for name in measures}
        for measure in list(measures.values()) * 2:
            measure()  # warm-up
        # Interleaved, so that drift of the machine touches all alike; the
        # short runs three times as often, as their differences are small.
        for i in range(3 * args.runs):
            for name, measure in measures.items():
                if name != "import" or i % 3 == 0:
                    samples[name].append(measure())
        if record_count(folder) != typical_values:
            sys.exit("bench: RegOST.exe wrote %d values, regost %d" %
                     (record_count(folder), typical_values))
        exe, noop, advapi, bare, imported = (
            statistics.median(samples[k]) for k in ("exe", "noop", "advapi", "bare", "import"))

        def spread(name):
            return "%s (fastest %s)" % (milliseconds(statistics.median(samples[name])),
                                        milliseconds(min(samples[name])))
        row("Typical run under Wine (/LOG, 17.1, 1 product: %d values)" % typical_values,
            spread("exe"))
        row("No-op exe under Wine (same build flags)", spread("noop"))
        row("No-op importing ADVAPI32 like RegOST.exe (bench/advapi_noop.cpp)", spread("advapi"))
        row("RegOST.exe /LOG with no setup file (logs only, nothing written)", spread("bare"))
        row("`wine reg import` of the same %d values" % typical_values, spread("import"))
        row("Typical run / no-op", "%.2fx" % (exe / noop), "≤ 1.2x", exe / noop <= 1.2)
        row("Typical run / reg import", "%.2fx" % (exe / imported), "≤ 1.0x", exe <= imported)

        # Scaling: products of one release.
        scale_folder = os.path.join(work, "scale")
        os.makedirs(scale_folder)
        shutil.copy(args.exe, os.path.join(scale_folder, "RegOST.exe"))
        shutil.copy(args.regost, os.path.join(scale_folder, "regost"))
        with open(os.path.join(scale_folder, "RegOST.ini"), "wb") as f:
            f.write(SETUP_FILE)

        def scaling(platform, counts, run_once, baseline):
            """Each count's runs alternate with runs of the baseline, whose
            median is taken out as the start-up cost of that count."""
            per_value = {}
            for count in counts:
                runs = args.runs if count <= 100 else max(3, args.runs // 3)
                run_once(count)  # warm-up, and the keys exist from now on
                baseline()
                walls, bases = [], []
                for _ in range(runs):
                    walls.append(run_once(count))
                    bases.append(baseline())
                wall, base = statistics.median(walls), statistics.median(bases)
                values = record_count(scale_folder)
                if values != values_written(count):
                    sys.exit("bench: %s, %d products: %d values written, expected %d" %
                             (platform, count, values, values_written(count)))
                per_value[count] = (wall - base) / values
                row("Scaling, %s: %d product(s), %d values (median of %d)" %
                    (platform, count, values, runs),
                    "%s, start-up %s: %s per value net of start-up (%s gross)" %
                    (milliseconds(wall), milliseconds(base), microseconds(per_value[count]),
                     microseconds(wall / values)))
            ratio = per_value[1000] / per_value[10]
            row("Scaling, %s: per value, 1000 vs 10 products" % platform, "%.2fx" % ratio,
                "≤ 1.5x", ratio <= 1.5)

        prepared = {}

        def wine_run(count):
            if prepared.get("wine") != count:
                wine.products(work, count)
                prepared["wine"] = count
            remove_logs(scale_folder)
            return timed(wine.command([os.path.join(scale_folder, "RegOST.exe"), "/LOG"]),
                         cwd=scale_folder, env=wine.env())

        scaling("Wine", (1, 10, 100, 1000), wine_run, noop_run)

        linux_registry = os.path.join(work, "linux.reg")
        pristine = os.path.join(work, "linux-pristine.reg")

        def linux_run(count):
            if prepared.get("linux") != count:
                with open(pristine, "wb") as f:
                    f.write(product_registry(count))
                prepared["linux"] = count
            shutil.copy(pristine, linux_registry)  # every run starts from the same registry
            remove_logs(scale_folder)
            return timed([os.path.join(scale_folder, "regost"), "/LOG"], cwd=scale_folder,
                         env=dict(os.environ, REGOST_REGISTRY=linux_registry))

        # Start-up of regost: no setup file, an empty registry.
        empty_folder = os.path.join(work, "empty")
        os.makedirs(empty_folder)
        shutil.copy(args.regost, os.path.join(empty_folder, "regost"))
        empty_registry = os.path.join(work, "empty.reg")
        def linux_noop():
            return timed([os.path.join(empty_folder, "regost")], cwd=empty_folder,
                         env=dict(os.environ, REGOST_REGISTRY=empty_registry))

        scaling("Linux", (1, 10, 100, 1000, 10000), linux_run, linux_noop)

        writes, lines = log_writes(os.path.join(folder, "regost"), folder, registry)
        row("write() calls to the logs, typical run on Linux (strace -f)",
            "RegOST.log: %d writes for %d lines; TEMPTXT.log: %d writes for %d lines" %
            (writes["RegOST.log"], lines["RegOST.log"], writes["TEMPTXT.log"],
             lines["TEMPTXT.log"]))
    finally:
        wine.stop()
        shutil.rmtree(work, ignore_errors=True)

    print_rows(rows)
    print()
    print("Wall times: median of %d timed runs (three times as many for the short typical-run "
          "measures; fewer for 1000 products and more: see each row), "
          "after unmeasured warm-up runs; Wine runs in a fresh prefix with a persistent "
          "wineserver (`wineserver -p`), WINEDEBUG=-all, runs of RegOST.exe, the no-op and "
          "`reg import` interleaved. In the scaling rows each run alternates with a start-up run "
          "(Wine: the no-op exe; Linux: regost with no setup file and an empty registry), whose "
          "median is subtracted for \"net of start-up\"." % args.runs)


if __name__ == "__main__":
    main()
