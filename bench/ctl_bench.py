"""Times RegOSTCtl: /UNINSTALL per record as the products grow, /INSTALL
against RegOST.exe /LOG, and /USER (what every user's logon runs) against the
no-op program; prints one Markdown table. --user-only: the /USER row alone.

Run through bench/ctl_run.sh, which builds the programs first. Same method
as bench.py: medians, warm-up runs not counted, Wine in a fresh prefix with
a persistent wineserver. Each uninstall follows an untimed install from the
same folder on the same registry, and alternates with a start-up run (an
uninstall from a folder without TEMPTXT.log, which touches no registry),
whose median is taken out for "net of start-up".
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402


def timed(args, code, **kwargs):
    start = time.perf_counter()
    done = subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          check=False, **kwargs)
    elapsed = time.perf_counter() - start
    if done.returncode != code:
        log = os.path.join(kwargs.get("cwd", "."), "RegOST.log")
        tail = open(log, "rb").read()[-1500:] if os.path.exists(log) else b""
        sys.exit("bench: %s gave %d, expected %d; RegOST.log ends %r" % (
            " ".join(args), done.returncode, code, tail))
    return elapsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True, help="the x86_64 RegOST.exe")
    parser.add_argument("--ctl", required=True, help="the x86_64 RegOSTCtl.exe")
    parser.add_argument("--regostctl", required=True, help="the Linux regostctl")
    parser.add_argument("--noop", required=True, help="the x86_64 no-op program (bench/noop.cpp)")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--user-only", action="store_true")
    args = parser.parse_args()
    rows = []

    def row(measure, result, target="", met=None):
        rows.append((measure, result, target, "" if met is None else ("yes" if met else "**no**")))

    work = tempfile.mkdtemp(prefix="regost-ctl-bench-")
    wine = bench.Wine(os.path.join(work, "wine"))
    try:
        folder = os.path.join(work, "prog")
        empty = os.path.join(work, "empty")
        for place in (folder, empty):
            os.makedirs(place)
            shutil.copy(args.ctl, os.path.join(place, "RegOSTCtl.exe"))
            shutil.copy(args.regostctl, os.path.join(place, "regostctl"))
        shutil.copy(args.exe, os.path.join(folder, "RegOST.exe"))
        with open(os.path.join(folder, "RegOST.ini"), "wb") as f:
            f.write(bench.SETUP_FILE)

        def wine_program(name, *switches):
            return wine.command([os.path.join(folder, name)] + list(switches))

        # /USER as a first logon runs it (a user with nothing of the add-on:
        # nine settings read, ten values written), against the no-op; the user's
        # half is deleted before each pair, untimed, and the pair's order
        # alternates, so that neither run always follows the deletion.
        shutil.copy(args.noop, os.path.join(folder, "noop.exe"))
        forget = wine.command(["reg", "delete", "HKCU\\Software\\Quenlar", "/f"])
        commands = {"/USER": wine_program("RegOSTCtl.exe", "/USER"),
                    "noop": wine_program("noop.exe")}
        samples = {"/USER": [], "noop": []}
        for i in range(3 * args.runs + 2):
            subprocess.run(forget, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           env=wine.env(), check=False)
            for name in sorted(commands, reverse=i % 2 == 1):
                elapsed = timed(commands[name], 0, cwd=folder, env=wine.env())
                if i >= 2:
                    samples[name].append(elapsed)
        user, noop = (statistics.median(samples[k]) for k in ("/USER", "noop"))
        row("RegOSTCtl.exe /USER under Wine (17.1, a user with nothing) / no-op program",
            "%s / %s = %.2fx (fastest %s / %s)" % (
                bench.milliseconds(user), bench.milliseconds(noop), user / noop,
                bench.milliseconds(min(samples["/USER"])), bench.milliseconds(min(samples["noop"]))),
            "≤ 1.2x", user / noop <= 1.2)
        if args.user_only:
            return bench.print_rows(rows)

        # /INSTALL against RegOST.exe /LOG: one product, runs interleaved.
        wine.products(work, 1)
        samples = {"RegOST.exe /LOG": [], "RegOSTCtl.exe /INSTALL": []}
        commands = {"RegOST.exe /LOG": wine_program("RegOST.exe", "/LOG"),
                    "RegOSTCtl.exe /INSTALL": wine_program("RegOSTCtl.exe", "/INSTALL")}
        for i in range(3 * args.runs + 2):
            for name, command in commands.items():
                bench.remove_logs(folder)
                elapsed = timed(command, 0, cwd=folder, env=wine.env())
                if i >= 2:
                    samples[name].append(elapsed)
        for name, times in samples.items():
            row("%s under Wine (17.1, 1 product)" % name, "%s (fastest %s)" % (
                bench.milliseconds(statistics.median(times)), bench.milliseconds(min(times))))
        ratio = (statistics.median(samples["RegOSTCtl.exe /INSTALL"])
                 / statistics.median(samples["RegOST.exe /LOG"]))
        row("RegOSTCtl.exe /INSTALL / RegOST.exe /LOG", "%.2fx" % ratio, "within noise (≤ 1.1x)",
            ratio <= 1.1)

        def scaling(platform, counts, prepare, install, uninstall, startup):
            per_record = {}
            for count in counts:
                runs = args.runs if count <= 100 else max(3, args.runs // 5)
                prepare(count)
                walls, bases = [], []
                for i in range(runs + 1):
                    bench.remove_logs(folder)
                    install()
                    records = bench.record_count(folder)
                    wall, base = uninstall(), startup()
                    if i > 0:  # the first is a warm-up
                        walls.append(wall)
                        bases.append(base)
                wall, base = statistics.median(walls), statistics.median(bases)
                per_record[count] = (wall - base) / records
                row("/UNINSTALL, %s: %d product(s), %d records (median of %d)" %
                    (platform, count, records, runs),
                    "%s, start-up %s: %s per record net of start-up" %
                    (bench.milliseconds(wall), bench.milliseconds(base),
                     bench.microseconds(per_record[count])))
            ratio = per_record[1000] / per_record[10]
            row("/UNINSTALL, %s: per record, 1000 vs 10 products" % platform, "%.2fx" % ratio,
                "≤ 1.5x", ratio <= 1.5)

        scaling("Wine", (10, 100, 1000), lambda count: wine.products(work, count),
                lambda: timed(wine_program("RegOSTCtl.exe", "/INSTALL"), 0, cwd=folder,
                              env=wine.env()),
                lambda: timed(wine_program("RegOSTCtl.exe", "/UNINSTALL"), 0, cwd=folder,
                              env=wine.env()),
                lambda: timed(wine.command([os.path.join(empty, "RegOSTCtl.exe"), "/UNINSTALL"]),
                              4, cwd=empty, env=wine.env()))

        registry = os.path.join(work, "linux.reg")
        environment = dict(os.environ, REGOST_REGISTRY=registry)

        def linux_prepare(count):
            with open(registry, "wb") as f:
                f.write(bench.product_registry(count))

        def linux(place, switch, code):
            return timed([os.path.join(place, "regostctl"), switch], code, cwd=place,
                         env=environment)

        scaling("Linux", (10, 100, 1000), linux_prepare, lambda: linux(folder, "/INSTALL", 0),
                lambda: linux(folder, "/UNINSTALL", 0), lambda: linux(empty, "/UNINSTALL", 4))
    finally:
        wine.stop()
        shutil.rmtree(work, ignore_errors=True)

    bench.print_rows(rows)


if __name__ == "__main__":
    main()
