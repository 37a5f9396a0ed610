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


def run_with_input(args, input_bytes, cwd=None, extra_env=None, timeout=300):
    """Like run(), with input_bytes as the program's standard input."""
    return subprocess.run([wine_binary()] + list(args), cwd=cwd, env=environment(extra_env),
                          input=input_bytes, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout, check=False)


def reg_import(unix_path):
    """Imports a .reg file (REGEDIT4 or 5.00; [-KEY] lines delete a tree)."""
    return run(["reg", "import", dos_path(unix_path)])


def reg_export(key, unix_path):
    """Exports a key and its subtree as a 5.00 .reg file (UTF-16LE); returns
    the file's bytes, or None when the key does not exist."""
    if os.path.exists(unix_path):
        os.remove(unix_path)
    run(["regedit", "/e", dos_path(unix_path), key])
    if not os.path.exists(unix_path):
        return None
    with open(unix_path, "rb") as f:
        return f.read()


def user_environment(name):
    """(type, data) of a value of HKCU\\Environment, or None."""
    done = run(["reg", "query", "HKCU\\Environment", "/v", name])
    for line in done.stdout.decode("utf-8", "replace").splitlines():
        fields = line.split(None, 2)
        if len(fields) == 3 and fields[0].lower() == name.lower() and fields[1].startswith("REG_"):
            return fields[1], fields[2].strip()
    return None


def set_user_environment(name, value):
    """Sets (value (type, data)) or deletes (None) a value of HKCU\\Environment.
    Wine builds a new process's TMP and TEMP from there, not from the Unix
    environment, so this is the way to move a program's temporary folder."""
    if value is None:
        return run(["reg", "delete", "HKCU\\Environment", "/v", name, "/f"])
    return run(["reg", "add", "HKCU\\Environment", "/v", name, "/t", value[0], "/d", value[1],
                "/f"])


def delete_key(key):
    """Removes a registry key and all below it (`reg delete KEY /f`), if present."""
    run(["reg", "delete", key, "/f"])
