"""Running Windows programs under Wine for the tests.

One Wine prefix serves a whole test run: REGOST_WINEPREFIX names it (the test
runner makes a fresh one per run); without it a prefix below the system's
temporary folder is used. It is created on first use, under a lock, so tests
may share it; each test clears the registry keys it uses before it starts.
"""
import fcntl
import os
import shutil
import subprocess
import tempfile

SKIP = 77  # ctest's SKIP_RETURN_CODE for these scripts


def wine_binary():
    return shutil.which("wine") or shutil.which("wine64")


def prefix_path():
    return os.environ.get("REGOST_WINEPREFIX") or os.path.join(
        tempfile.gettempdir(), "regost-wine-%d" % os.getuid())


def environment(extra=None):
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix_path()
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="  # no Mono/Gecko install dialogs
    env.pop("DISPLAY", None)
    if extra:
        env.update(extra)
    return env


def ensure_prefix():
    """Creates the shared prefix once; safe to call from every test."""
    prefix = prefix_path()
    os.makedirs(os.path.dirname(prefix) or ".", exist_ok=True)
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(prefix, "system.reg")):
            subprocess.run([wine_binary(), "wineboot", "-i"], env=environment(),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
            wait_server()


def wait_server():
    """Waits until the prefix's wineserver has ended, so the registry is on disk."""
    subprocess.run(["wineserver", "-w"], env=environment(), check=False)


def run(args, cwd=None, extra_env=None, timeout=300):
    """Runs a Windows program (and waits for it, GUI-subsystem ones included).

    Returns the CompletedProcess with bytes stdout/stderr."""
    return subprocess.run([wine_binary()] + list(args), cwd=cwd, env=environment(extra_env),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout,
                          check=False)


def dos_path(unix_path):
    """The Z: drive form of an absolute Unix path, as Wine shows it."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def available(exe=None):
    """True when Wine is installed and, if given, the Windows program exists."""
    if not wine_binary():
        return False
    return exe is None or (exe != "" and os.path.exists(exe))
