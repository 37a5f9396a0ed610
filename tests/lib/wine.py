"""Running Windows programs under Wine for the tests.

One 64-bit Wine prefix serves a whole test run: REGOST_WINEPREFIX names it
(the test runner makes a fresh one per run); without it a prefix below the
system's temporary folder is used. With REGOST_WINEARCH=win32 a script works
in a 32-bit prefix instead (REGOST_WINEPREFIX32, made with WINEARCH=win32),
where only 32-bit programs start. A prefix is created on first use, under a
lock, so tests may share it; each test clears the registry keys it uses
before it starts.

Registry views: with wine32 installed, the `wine` command starts the 32-bit
`reg` and `regedit`, which see a 64-bit prefix's HKLM\\SOFTWARE through
SOFTWARE\\Wow6432Node. The registry helpers here therefore run `reg` with the
64-bit loader in a 64-bit prefix, and say /reg:64 as well (ignored in a
32-bit prefix), so a key path means what it says: a test that wants the
32-bit view names SOFTWARE\\Wow6432Node. /reg:64 alone is not enough: the
32-bit `reg import` (Wine 8) deletes a [-KEY] in the 32-bit view regardless.
"""
import fcntl
import os
import shutil
import subprocess
import tempfile

SKIP = 77  # ctest's SKIP_RETURN_CODE for these scripts


def wine_binary():
    return shutil.which("wine") or shutil.which("wine64")


def arch():
    """"win32" or "win64": the kind of prefix this process works in
    (REGOST_WINEARCH, or WINEARCH for a caller that names its own prefix)."""
    wanted = os.environ.get("REGOST_WINEARCH") or os.environ.get("WINEARCH")
    return "win32" if wanted == "win32" else "win64"


def prefix_path():
    if os.environ.get("REGOST_WINEARCH") == "win32":
        return os.environ.get("REGOST_WINEPREFIX32") or os.path.join(
            tempfile.gettempdir(), "regost-wine32-%d" % os.getuid())
    return os.environ.get("REGOST_WINEPREFIX") or os.path.join(
        tempfile.gettempdir(), "regost-wine-%d" % os.getuid())


def skipped(reason):
    """The exit code of a Wine test that cannot run: SKIP, except in CI
    (CI=true), where a test that never compared anything is a failure."""
    if os.environ.get("CI", "").lower() == "true":
        print("FAIL (CI=true, a skip is a failure): %s" % reason)
        return 1
    print("skipped: %s" % reason)
    return SKIP


def environment(extra=None):
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix_path()
    env["WINEARCH"] = arch()
    env["WINEDEBUG"] = "-all"
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="  # no Mono/Gecko install dialogs
    env.pop("DISPLAY", None)
    # A test of programs that make windows even when silent (Inno Setup's
    # setups) names its own X server.
    if os.environ.get("REGOST_WINE_DISPLAY"):
        env["DISPLAY"] = os.environ["REGOST_WINE_DISPLAY"]
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


def native_loader():
    """The loader whose builtins see the prefix's own registry view: in a
    64-bit prefix the 64-bit one, else the `wine` command."""
    if arch() == "win64":
        for candidate in (shutil.which("wine64"), "/usr/lib/wine/wine64"):
            if candidate and os.access(candidate, os.X_OK):
                return candidate
    return wine_binary()


def run(args, cwd=None, extra_env=None, timeout=300, loader=None, preexec_fn=None):
    """Runs a Windows program (and waits for it, GUI-subsystem ones included).

    Returns the CompletedProcess with bytes stdout/stderr."""
    return subprocess.run([loader or wine_binary()] + list(args), cwd=cwd,
                          env=environment(extra_env), stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout, check=False,
                          preexec_fn=preexec_fn)


def dos_path(unix_path):
    """The Z: drive form of an absolute Unix path, as Wine shows it."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def available(exe=None):
    """True when Wine is installed and, if given, the Windows program exists
    and can be trusted to be built from this tree (see tests/CMakeLists.txt)."""
    if os.environ.get("REGOST_WINDOWS_UNBUILT"):
        print(os.environ["REGOST_WINDOWS_UNBUILT"])
        return False
    if not wine_binary():
        return False
    return exe is None or (exe != "" and os.path.exists(exe))


def run_with_input(args, input_bytes, cwd=None, extra_env=None, timeout=300):
    """Like run(), with input_bytes as the program's standard input."""
    return subprocess.run([wine_binary()] + list(args), cwd=cwd, env=environment(extra_env),
                          input=input_bytes, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout, check=False)


def reg(args):
    """Runs Wine's `reg` with ARGS in the 64-bit view (see above)."""
    return run(["reg"] + list(args) + ["/reg:64"], loader=native_loader())


def reg_import(unix_path):
    """Imports a .reg file (REGEDIT4 or 5.00; [-KEY] lines delete a tree)."""
    return reg(["import", dos_path(unix_path)])


def reg_export(key, unix_path):
    """Exports a key and its subtree as a 5.00 .reg file (UTF-16LE, as
    `regedit /e` writes it); returns the file's bytes, or None when the key
    does not exist."""
    if os.path.exists(unix_path):
        os.remove(unix_path)
    reg(["export", key, dos_path(unix_path), "/y"])
    if not os.path.exists(unix_path):
        return None
    with open(unix_path, "rb") as f:
        return f.read()


def user_environment(name):
    """(type, data) of a value of HKCU\\Environment, or None."""
    done = reg(["query", "HKCU\\Environment", "/v", name])
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
        return reg(["delete", "HKCU\\Environment", "/v", name, "/f"])
    return reg(["add", "HKCU\\Environment", "/v", name, "/t", value[0], "/d", value[1], "/f"])


def delete_key(key):
    """Removes a registry key and all below it (`reg delete KEY /f`), if present."""
    reg(["delete", key, "/f"])
