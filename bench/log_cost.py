#!/usr/bin/env python3
"""What flushing every log line and record costs per value written.

Times two builds of the same program on the same machine, runs alternating:
`before` and `after` regost (Linux) and, with --before-exe/--after-exe,
RegOST.exe under Wine in a 64-bit prefix. Each run registers release 17.1 for
N products with /LOG (11 + 34 N values) and the median wall time is divided by
the values written. Prints one row per platform with the ratio after/before.

    python3 bench/log_cost.py --before-regost OLD/regost --after-regost NEW/regost \
        [--before-exe OLD/RegOST.exe --after-exe NEW/RegOST.exe] [--products 1000] [--runs 9]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import product_registry, timed  # noqa: E402

def values_in(folder):
    with open(os.path.join(folder, "TEMPTXT.log"), "rb") as f:
        return f.read().count(b"RegDB Key: ")


def compare(name, runners, folders, runs):
    """runners: {"before": fn, "after": fn}; each fn runs once in its folder."""
    walls = {"before": [], "after": []}
    for label, run in runners.items():  # warm-up
        run()
    for _ in range(runs):
        for label, run in runners.items():
            for log in ("RegOST.log", "TEMPTXT.log"):
                path = os.path.join(folders[label], log)
                if os.path.exists(path):
                    os.remove(path)
            walls[label].append(run())
    per_value = {}
    for label in walls:
        per_value[label] = statistics.median(walls[label]) / values_in(folders[label])
    ratio = per_value["after"] / per_value["before"]
    print("| %s | %.1f µs | %.1f µs | %.2fx |" % (name, per_value["before"] * 1e6,
                                                  per_value["after"] * 1e6, ratio))
    return ratio


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--before-regost", required=True)
    parser.add_argument("--after-regost", required=True)
    parser.add_argument("--before-exe")
    parser.add_argument("--after-exe")
    parser.add_argument("--products", type=int, default=1000)
    parser.add_argument("--runs", type=int, default=9)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="regost-logcost-")
    try:
        folders = {}
        for label in ("before", "after"):
            folders[label] = os.path.join(work, label)
            os.makedirs(folders[label])
            with open(os.path.join(folders[label], "RegOST.ini"), "wb") as f:
                f.write(b"[VERSION]\r\nVersion=17.1\r\n")
            shutil.copy(getattr(args, label + "_regost"), os.path.join(folders[label], "regost"))
        pristine = os.path.join(work, "pristine.reg")
        with open(pristine, "wb") as f:
            f.write(product_registry(args.products))

        print("| Per value, %d products, /LOG | before | after | after/before |" % args.products)
        print("|---|---|---|---|")

        def linux(label):
            def run():
                registry = os.path.join(work, label + ".reg")
                shutil.copy(pristine, registry)
                return timed([os.path.join(folders[label], "regost"), "/LOG"],
                             cwd=folders[label], env=dict(os.environ, REGOST_REGISTRY=registry))
            return run

        compare("Linux (regost)", {l: linux(l) for l in folders}, folders, args.runs)

        if args.before_exe and args.after_exe:
            env = dict(os.environ, WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
            env.pop("DISPLAY", None)
            wine = shutil.which("wine")
            subprocess.run([wine, "wineboot", "-i"], env=env, check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-p"], env=env, check=False)  # keep it between runs
            # 64-bit view on purpose: the builtin reg may be the 32-bit one.
            subprocess.run([wine, "reg", "import", "Z:" + pristine.replace("/", "\\"),
                            "/reg:64"], env=env, check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            for label in folders:
                shutil.copy(getattr(args, label + "_exe"),
                            os.path.join(folders[label], "RegOST.exe"))

            def exe(label):
                return lambda: timed([wine, os.path.join(folders[label], "RegOST.exe"), "/LOG"],
                                     cwd=folders[label], env=env)

            try:
                compare("Wine (RegOST.exe, x64)", {l: exe(l) for l in folders}, folders,
                        args.runs)
            finally:
                subprocess.run(["wineserver", "-k"], env=env, check=False)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
