"""The end-to-end scenarios, shared by the Linux build and the Windows build.

Each scenario names the arguments, the setup file, the machine's registry
before the run and the run's surroundings, and the expected logs: the
progress log after its header (one text per run) and the whole
registry-script log. Texts are written with "\\n"; on disk every "\\n" is CR LF.

Placeholders, replaced when a scenario is laid out in its folder:
  {dir}  the program folder in DOS form, ending in a backslash
and whatever the scenario's `extra` function returns for that folder.
"""
import os
from collections import namedtuple
from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional

# --- Progress messages -------------------------------------------------------

PARAMETERS = "Error -- Incorrect number of parameters\n\n"
NO_INI = "(INI) file not found\n\n"
NO_RELEASE = "Release number not found\n\n"
BAD_LENGTH = "Incorrect release number\n\n"
UNKNOWN_RELEASE = "Unknown release number\n\n"
OST_REG_OK = "Ostrel Registration Registry Successful (1)\n\n"
OST_REG_FAILED = "Error -- Ostrel Registration Registry (1)\n\n"
QEL_REG_OK = "QEL Registration Registry Successful (1)\n\n"
QEL_REG_FAILED = "Error -- QEL Registration Registry (1)\n\n"
SETTINGS_OK = "Ostrel Settings Registry Successful (1)\n\n"
SETTINGS_FAILED = "Error -- Ostrel Settings Registry (1)\n\n"
AUTOCAD_OK = "Installation AutoCAD Successful (2)\n\n"
AUTOCAD_FAILED = "Error -- AutoCAD registry (2)\n\n"
AUTOCAD_NOT_FOUND = "Error -- AutoCAD not found.\n"
COMPLETED = "Installation Completed\n\n"
FOLDER_REFUSED = "Error -- Program folder name cannot be used, nothing done\n\n"
FOLDER_TOO_LONG = "Error -- Program folder path too long, nothing done\n\n"

HKLM_SUFFIX = " -- HKEY_LOCAL_MACHINE.\n"
HKCU_SUFFIX = " -- HKEY_CURRENT_USER.\n"

# --- What the program writes -------------------------------------------------

MAIN_DESCRIPTION = "Lumenwarp (https://www.quenlar.com)"
SECOND_DESCRIPTION = "Sarvenet (https://www.quenlar.com)"
GROUP = "KTVR_OSTREL"
SETTINGS = [("AuditAlert", 1), ("BadPlotAlert", 1), ("FreezeLayer", 1), ("KxWarmNoCreate", 1),
            ("Reshape", 1), ("ShowAssistant", 1), ("ShowNewDlg", 1), ("Splash", 1),
            ("ShowOnce", 0)]
COMMANDS = ["KXMAKE", "KX1", "KXREFRESH", "KX2", "KXSCALE", "KX3", "KXPLAN", "KX4", "KXUCS", "KX5",
            "KXVIEWUCS", "KX6", "KXMENU", "KX7", "KXMENU?", "KXLOGO", "KXLIST", "KX8", "KXVERSION",
            "KX9", "KXHELP", "KX?", "KXABOUT", "KXGOTO", "KX10", "KXOPTIONS", "KX11", "KXREPAIR",
            "KX12", "KXUPDATE"]

MAIN_LOADER = "{dir}Ostrel.arx"
SECOND_LOADER = "{dir}Qel.arx"
PRODUCT = "ACAD-6001:409"
PRODUCT2 = "ACAD-6002:409"
HKLM, HKCU = 2, 1


def vendor_key(release, second=False):
    return "Software\\Quenlar\\AutoCAD\\%s\\%s" % (release, "Qel" if second else "Ostrel")


def settings_key(release):
    return vendor_key(release) + "\\Settings01"


def product_key(release, product):
    return "SOFTWARE\\Autodesk\\AutoCAD\\R%s\\%s" % (release, product)


def record(key, value, name, root, number=False):
    text = "RegDB Key: %s\nRegDB Val: %s\nRegDB Name: %s\n" % (key, value, name)
    if number:
        text += "RegDB Type: 3\n"
    return text + "RegDB Root: %d\n" % root


def vendor_records(release, loader=MAIN_LOADER, custom=None, second=False):
    key = vendor_key(release, second)
    text = record(key, loader, "Loader", HKLM) + record(key, loader, "Loader", HKCU)
    if custom:
        text += record(key, custom, "CustomData", HKLM)
    return text


def settings_records(release):
    return "".join(record(settings_key(release), str(value), name, HKCU, True)
                   for name, value in SETTINGS)


def demand_load_records(release, product, loader=MAIN_LOADER, second=False, root=HKLM):
    application = product_key(release, product) + ("\\Applications\\Qel" if second
                                                   else "\\Applications\\Ostrel")
    text = record(application, "15", "LOADCTRLS", root, True)
    text += record(application, loader, "LOADER", root)
    text += record(application, SECOND_DESCRIPTION if second else MAIN_DESCRIPTION,
                   "DESCRIPTION", root)
    if second:
        return text
    text += record(application + "\\Groups", GROUP, GROUP, root)
    for command in COMMANDS:
        text += record(application + "\\Commands", command, command, root)
    return text


def demand_load_hklm_errors():
    """The HKEY_LOCAL_MACHINE error lines of one product's main add-on values."""
    text = "Error -- AutoCAD registry -- LOADCTRLS" + HKLM_SUFFIX
    text += "Error -- AutoCAD registry LOADER" + HKLM_SUFFIX
    text += "Error -- AutoCAD registry DESCRIPTION" + HKLM_SUFFIX
    text += "Error -- AutoCAD registry Groups-" + GROUP + HKLM_SUFFIX
    for command in COMMANDS:
        text += "Error -- AutoCAD registry Commands-" + command + HKLM_SUFFIX
    return text


# One write a run attempts: the value, the roots it tries in turn, the head
# of its error line (" -- <root>." follows) and the index of its step.
Write = namedtuple("Write", "key name value number head roots step")
# One progress message: its texts and, for a demand-load step, the listing
# (release, second add-on, product names or None when it cannot be listed).
Step = namedtuple("Step", "ok failed listing")


def plan(releases, products, second=False, loader=MAIN_LOADER, second_loader=SECOND_LOADER,
         custom=None, cut=()):
    """The steps of a run and its writes, in the program's order: the one
    model of what a run does, for the expected logs and for the harness.
    products maps a release to its product names in registry order (missing,
    None or none: no AutoCAD); cut holds (release, second) listings that fail."""
    steps, writes = [], []

    def step(ok, failed, listing=None):
        steps.append(Step(ok, failed, listing))
        return len(steps) - 1

    for release in releases:
        for qel in ([False, True] if second else [False]):
            key, owner = vendor_key(release, qel), "QEL" if qel else "Ostrel"
            at = step(*((QEL_REG_OK, QEL_REG_FAILED) if qel else (OST_REG_OK, OST_REG_FAILED)))
            writes += [Write(key, "Loader", second_loader if qel else loader, False,
                             "Error -- %s registry Loader --Loader" % owner, (root,), at)
                       for root in ("HKLM", "HKCU")]
            if not qel and custom is not None:
                writes.append(Write(key, "CustomData", custom, False,
                                    "Error -- Ostrel registry CustomData --CustomData",
                                    ("HKLM",), at))
        at = step(SETTINGS_OK, SETTINGS_FAILED)
        writes += [Write(settings_key(release), name, str(value), True,
                         "Error -- Ostrel registry -- " + name, ("HKCU",), at)
                   for name, value in SETTINGS]
        for qel in ([True, False] if second else [False]):
            # An empty release key is no AutoCAD either.
            names = None if (release, qel) in cut else products.get(release) or None
            at = step(AUTOCAD_OK, AUTOCAD_FAILED, (release, qel, names))
            both = ("HKLM", "HKCU")
            for product in names or []:
                application = product_key(release, product) + (
                    "\\Applications\\Qel" if qel else "\\Applications\\Ostrel")
                head = "Error -- AutoCAD registry "
                writes += [
                    Write(application, "LOADCTRLS", "15", True, head + "-- LOADCTRLS", both, at),
                    Write(application, "LOADER", second_loader if qel else loader, False,
                          head + "LOADER", both, at),
                    Write(application, "DESCRIPTION", SECOND_DESCRIPTION if qel
                          else MAIN_DESCRIPTION, False, head + "DESCRIPTION", both, at)]
                if qel:
                    continue
                writes.append(Write(application + "\\Groups", GROUP, GROUP, False,
                                    head + "Groups-" + GROUP, both, at))
                writes += [Write(application + "\\Commands", c, c, False, head + "Commands-" + c,
                                 both, at) for c in COMMANDS]
    return steps, writes


def full_run(releases, products, second=False, loader=MAIN_LOADER, second_loader=SECOND_LOADER,
             custom=None, parameters=False):
    """Progress text and records of a run in which every write succeeds."""
    steps, writes = plan(releases, products, second, loader, second_loader, custom)
    progress = PARAMETERS if parameters else ""
    for ok, failed, listing in steps:
        progress += AUTOCAD_NOT_FOUND + failed if listing and listing[2] is None else ok
    script = "".join(record(w.key, w.value, w.name, HKLM if w.roots[0] == "HKLM" else HKCU,
                            w.number) for w in writes)
    return progress + COMPLETED, script


def machine(products, extra=None):
    """A registry before the run: the AutoCAD products per release (a release
    mapped to [] has its release key but no product) and extra keys."""
    state = {}
    for release, names in products.items():
        if not names:
            state["HKLM\\SOFTWARE\\Autodesk\\AutoCAD\\R%s" % release] = {}
        for name in names:
            state["HKLM\\" + product_key(release, name)] = {}
    state.update(extra or {})
    return state


def ini(release_list=None, loader=None, custom=None, second_loader=None, text=""):
    lines = []
    if release_list is not None:
        lines += ["[VERSION]", "Version=" + release_list]
    if loader is not None or custom is not None:
        lines.append("[OSTKeysLoader]")
        if loader is not None:
            lines.append("Loader=" + loader)
        if custom is not None:
            lines.append("CustomData=" + custom)
    if second_loader is not None:
        lines += ["[QELKeysLoader]", "Loader=" + second_loader]
    return "".join(line + "\r\n" for line in lines) + text


@dataclass
class Scenario:
    name: str
    args: List[str]
    ini: Optional[str]                 # None: no setup file
    before: Dict[str, Dict]            # registry before the run (see machine())
    progress: Optional[List[str]]      # per run, after the header; None: no progress log at all
    script: Optional[str]              # whole registry-script log; None: no such file
    releases: List[str] = field(default_factory=list)  # releases the run works through
    second: bool = False               # "/QEL" took effect
    custom: bool = False               # custom data is written
    readonly: tuple = ()               # roots where the user has no rights: "HKLM", "HKCU"
    block_log: str = ""                # "program": no RegOST.log in the program folder; "both"
    progress_in_temp: bool = False     # the progress log lands in the temporary folder
    runs: int = 1
    files: List[str] = field(default_factory=list)  # made in the program folder; "\\" ends a folder
    extra: Optional[Callable[[str], Dict[str, str]]] = None
    long_dir: int = 0                  # pad the program folder to this DOS length
    writes: Optional[str] = None       # records of the writes when no log shows them
    wine_difference: str = ""          # why Wine, unlike Windows, logs otherwise: shown, not judged
    # Keys only in the registry view the program does not see, on 64-bit
    # Windows (the 64-bit view for the 32-bit build, Wow6432Node for the
    # 64-bit one, which the Linux build plays); they must stay as they are.
    # Run where there are two views.
    other_view: Dict[str, Dict] = field(default_factory=dict)
    # False where the simulation cannot lay the registry down (it reads a
    # registry file's names in the code page): the row runs under Wine only.
    linux: bool = True
    # regost's fault switches (REGOST_FAIL_*, see simulation.h); a scenario with
    # faults runs on Linux only.
    faults: Dict[str, str] = field(default_factory=dict)
    ctl_exit: int = 0                  # RegOSTCtl /INSTALL's exit code in this folder
    program: str = "prog"              # the program folder's name
    sibling: str = ""                  # a folder beside it with the same setup file


ONE = {"17.1": [PRODUCT]}
FAULT_SWEEP = "fault-sweep-base"
CUSTOM = "Licence 42; site=Lyon"

# --- Scenarios -------------------------------------------------------------


def _simple(name, args, release_list, products, second=False, runs=1, **options):
    progress, script = full_run(release_list.split(":"), products, second=second,
                                parameters=len(args) > 2)
    log = "/LOG" in [a.upper() for a in args]
    blocked = options.get("block_log") == "both"
    return Scenario(name, args, ini(release_list), machine(products),
                    None if blocked else [progress] * runs,
                    script * runs if log else None, release_list.split(":"), second, runs=runs,
                    writes=script * runs, **options)


def _early_end(name, text, message):
    return Scenario(name, ["/LOG"], text, machine(ONE), [message], "", ctl_exit=3)


def _long_loader_extra(length):
    """An existing file whose DOS path has exactly `length` characters."""
    def extra(directory):
        room = length - len(directory) - len("\\Ostrel.arx")
        assert room > 10, "program folder too long for this scenario"
        folder = "L" * room
        return {"{long}": directory + folder + "\\Ostrel.arx", "{longfile}": folder + "\\Ostrel.arx"}
    return extra


def _cut_loader_extra(directory):
    """A 600-character override whose first 511 characters name an existing
    folder: only a reader that lets such a path through would accept it."""
    parts = []
    remaining = 511 - len(directory)
    while remaining > 201:
        parts.append("D" * 199)
        remaining -= 200
    parts.append("D" * remaining)
    folder = "\\".join(parts)
    cut = directory + folder
    assert len(cut) == 511, len(cut)
    return {"{cut600}": cut + "\\" + "x" * (600 - 512), "{cutfolder}": folder + "\\"}


def _sibling_setup_file(letter):
    """Lays a setup file down in <folder>\\..\\..\\<scenario name with its last
    character replaced by letter>\\prog, outside what the layout clears."""
    def extra(directory):
        program = directory[2:].rstrip("\\").replace("\\", "/")
        scenario_folder = os.path.dirname(program)
        sibling = os.path.join(scenario_folder[:-1] + letter, os.path.basename(program))
        os.makedirs(sibling, exist_ok=True)
        with open(os.path.join(sibling, "RegOST.ini"), "wb") as out:
            out.write(ini("17.1").encode("cp1252"))
        return {}
    return extra


def _build():
    scenarios = []
    add = scenarios.append

    add(_simple("no-arguments", [], "17.1", ONE))
    add(_simple("three-arguments", ["/log", "/qel", "extra"], "17.1", ONE, second=True))
    add(_simple("logfile-is-no-switch", ["/LOGFILE"], "17.1", ONE))
    add(_simple("dash-log-is-no-switch", ["-LOG"], "17.1", ONE))
    add(_simple("log-twice", ["/LOG", "/Log"], "17.1", ONE))
    add(_simple("long-argument-ignored", ["/LOG" + "x" * 40, "/LOG"], "17.1", ONE))
    add(Scenario("setup-file-missing", ["/LOG"], None, machine(ONE), [NO_INI], "", ctl_exit=3))
    add(Scenario("setup-file-missing-no-log", [], None, machine(ONE), [NO_INI], None, ctl_exit=3))
    add(_simple("setup-file-present", [], "17.0", {"17.0": [PRODUCT]}))
    add(_simple("two-runs-append", ["/LOG"], "17.1", ONE, runs=2))
    add(_simple("progress-log-in-temp", ["/LOG"], "17.1", ONE, block_log="program",
                progress_in_temp=True))
    add(_simple("no-progress-log", ["/LOG"], "17.1", ONE, block_log="both"))
    add(Scenario("no-progress-log-early-end", ["/LOG"], None, machine(ONE), None, "",
                 block_log="both", ctl_exit=3))

    all_products = {"17.0": [PRODUCT], "17.1": [PRODUCT], "17.2": [PRODUCT]}
    for release_list in ["17.0", "17.1", "17.2", "17.0:17.1", "17.0:17.2", "17.1:17.2",
                         "17.0:17.1:17.2"]:
        add(_simple("release-list-" + release_list.replace(":", "-"), ["/LOG"], release_list,
                    all_products))

    # What the INI reader makes of the release list before it is compared.
    for name, text in [("version-quoted", '[VERSION]\r\nVersion="17.1"\r\n'),
                       ("version-blanks-around", "[ VERSION ]\r\n  Version  =  17.1  \r\n"),
                       ("version-first-of-two", "[VERSION]\r\nVersion=17.1\r\nVersion=17.2\r\n"),
                       ("version-lf-only", "[VERSION]\nVersion=17.1\n")]:
        progress, script = full_run(["17.1"], ONE)
        add(Scenario(name, ["/LOG"], text, machine({"17.1": [PRODUCT], "17.2": [PRODUCT]}),
                     [progress], script, ["17.1"]))
    add(Scenario("setup-file-is-a-folder", ["/LOG"], None, machine(ONE), [NO_INI], "",
                 files=["RegOST.ini\\"], ctl_exit=3))
    progress, script = full_run(["17.1"], ONE)
    add(Scenario("script-log-blocked", ["/LOG"], ini("17.1"), machine(ONE), [progress], None,
                 ["17.1"], files=["TEMPTXT.log\\"], writes=script, ctl_exit=5))

    add(_early_end("version-section-missing", ini(loader="x", custom=CUSTOM), NO_RELEASE))
    add(_early_end("version-empty", ini(""), NO_RELEASE))
    add(_early_end("version-blank", ini("   "), NO_RELEASE))
    add(_early_end("version-reversed", ini("17.2:17.1"), UNKNOWN_RELEASE))
    add(_early_end("version-17.3", ini("17.3"), UNKNOWN_RELEASE))
    add(_early_end("version-semicolon", ini("17.0;17.1"), UNKNOWN_RELEASE))
    add(_early_end("version-2007", ini("2007"), UNKNOWN_RELEASE))
    add(_early_end("version-17", ini("17"), BAD_LENGTH))
    add(_early_end("version-lower-case-r", ini("r17.1"), BAD_LENGTH))

    progress, script = full_run(["17.1"], ONE, loader="{dir}Tools\\Ostrel.arx", custom=CUSTOM)
    add(Scenario("setup-names-in-other-case", ["/LOG"],
                 "[version]\r\nVERSION=17.1\r\n[ostkeysloader]\r\nLOADER={dir}Tools\\Ostrel.arx"
                 "\r\ncustomdata=" + CUSTOM + "\r\n", machine(ONE), [progress], script, ["17.1"],
                 custom=True, files=["Tools\\Ostrel.arx"]))

    progress, script = full_run(["17.1"], ONE, loader="{dir}Tools\\Ostrel.arx")
    add(Scenario("override-exists", ["/LOG"], ini("17.1", loader="{dir}Tools\\Ostrel.arx"),
                 machine(ONE), [progress], script, ["17.1"], files=["Tools\\Ostrel.arx"]))
    progress, script = full_run(["17.1"], ONE)
    add(Scenario("override-missing", ["/LOG"], ini("17.1", loader="{dir}Tools\\Missing.arx"),
                 machine(ONE), [progress], script, ["17.1"], files=["Tools\\Ostrel.arx"]))
    progress, script = full_run(["17.1"], ONE, loader="{dir}Tools\\ost*.ARX")
    add(Scenario("override-wildcard", ["/LOG"], ini("17.1", loader="{dir}Tools\\ost*.ARX"),
                 machine(ONE), [progress], script, ["17.1"], files=["Tools\\Ostrel.arx"]))
    progress, script = full_run(["17.1"], ONE, loader="{dir}Tools")
    add(Scenario("override-names-folder", ["/LOG"], ini("17.1", loader="{dir}Tools"),
                 machine(ONE), [progress], script, ["17.1"], files=["Tools\\"]))
    # A loader that is not absolute lies in the program folder, wherever the
    # setup left the current folder, and is stored resolved.
    progress, script = full_run(["17.1"], ONE, loader="{dir}Tools\\Ostrel.arx")
    add(Scenario("override-relative", ["/LOG"], ini("17.1", loader="Tools\\Ostrel.arx"),
                 machine(ONE), [progress], script, ["17.1"], files=["Tools\\Ostrel.arx"]))
    add(Scenario("override-rooted-without-drive", ["/LOG"],
                 ini("17.1", loader="{rooted}Tools\\Ostrel.arx"), machine(ONE), [progress],
                 script, ["17.1"], files=["Tools\\Ostrel.arx"],
                 extra=lambda directory: {"{rooted}": directory[2:]}))
    progress, script = full_run(["17.1"], ONE)
    add(Scenario("second-override-ignored-without-qel", ["/LOG"],
                 ini("17.1", second_loader="{dir}Tools\\Qel.arx"), machine(ONE), [progress],
                 script, ["17.1"], files=["Tools\\Qel.arx"]))
    progress, script = full_run(["17.1"], ONE, second=True,
                                second_loader="{dir}Tools\\Qel.arx")
    add(Scenario("second-override-with-qel", ["/LOG", "/QEL"],
                 ini("17.1", second_loader="{dir}Tools\\Qel.arx"), machine(ONE), [progress],
                 script, ["17.1"], second=True, files=["Tools\\Qel.arx"]))

    # The typical run: two Loader records and CustomData, nine settings, 34
    # demand-load records.
    progress = OST_REG_OK + SETTINGS_OK + AUTOCAD_OK + COMPLETED
    script = (vendor_records("17.1", custom=CUSTOM) + settings_records("17.1")
              + demand_load_records("17.1", PRODUCT))
    add(Scenario("typical-run", ["/LOG"], ini("17.1", custom=CUSTOM), machine(ONE), [progress],
                 script, ["17.1"], custom=True))

    two = {"17.0": [PRODUCT, PRODUCT2], "17.2": [PRODUCT, PRODUCT2]}
    progress, script = full_run(["17.0", "17.2"], two, second=True)
    add(Scenario("qel-two-releases-two-products", ["/QEL", "/LOG"], ini("17.0:17.2"),
                 machine(two), [progress], script, ["17.0", "17.2"], second=True))

    progress, script = full_run(["17.1"], {})
    add(Scenario("autocad-key-missing", ["/LOG"], ini("17.1"),
                 machine({"17.0": [PRODUCT]}), [progress], script, ["17.1"], ctl_exit=2))
    # An uninstalled AutoCAD can leave its release key behind, empty.
    progress = OST_REG_OK + SETTINGS_OK + AUTOCAD_NOT_FOUND + AUTOCAD_FAILED + COMPLETED
    script = vendor_records("17.1") + settings_records("17.1")
    add(Scenario("release-key-without-product", ["/LOG"], ini("17.1"), machine({"17.1": []}),
                 [progress], script, ["17.1"], ctl_exit=2))

    # Product key names: 199 characters are listed (and their key lines are
    # longer than the line buffer); 200 do not fit the name buffer, so that
    # product is skipped with its own line and the others are registered.
    long_product = "ACAD-" + "9" * 194
    products = {"17.1": [PRODUCT, long_product]}
    progress, script = full_run(["17.1"], products)
    add(Scenario("product-name-199", ["/LOG"], ini("17.1"), machine(products), [progress], script,
                 ["17.1"]))
    progress = (OST_REG_OK + SETTINGS_OK + "Error -- AutoCAD product name too long.\n"
                + AUTOCAD_FAILED + COMPLETED)
    script = vendor_records("17.1") + settings_records("17.1") + demand_load_records("17.1",
                                                                                     PRODUCT)
    too_long = {"17.1": [PRODUCT, "ACAD-" + "9" * 195]}
    add(Scenario("product-name-200", ["/LOG"], ini("17.1"), machine(too_long), [progress], script,
                 ["17.1"], ctl_exit=1))

    # A product name outside the code page comes back from the listing with
    # '?' in it: that product is skipped, never created as a twin.
    progress = (OST_REG_OK + SETTINGS_OK + "Error -- AutoCAD product not found -- ACAD-??:419.\n"
                + AUTOCAD_FAILED + COMPLETED)
    script = vendor_records("17.1") + settings_records("17.1") + demand_load_records("17.1",
                                                                                     PRODUCT)
    add(Scenario("product-name-outside-code-page", ["/LOG"], ini("17.1"),
                 machine({"17.1": [PRODUCT, "ACAD-\u0416\u042f:419"]}), [progress], script,
                 ["17.1"], linux=False, ctl_exit=1))

    # A user without rights on HKEY_LOCAL_MACHINE: the vendor key's HKLM
    # writes fail, the demand-load values fall back to HKEY_CURRENT_USER.
    key = vendor_key("17.1")
    progress = ("Error -- Ostrel registry Loader --Loader" + HKLM_SUFFIX
                + "Error -- Ostrel registry CustomData --CustomData" + HKLM_SUFFIX
                + OST_REG_FAILED + SETTINGS_OK + demand_load_hklm_errors() + AUTOCAD_OK
                + COMPLETED)
    script = (record(key, MAIN_LOADER, "Loader", HKCU) + settings_records("17.1")
              + demand_load_records("17.1", PRODUCT, root=HKCU))
    add(Scenario("hklm-read-only", ["/LOG"], ini("17.1", custom=CUSTOM), machine(ONE),
                 [progress], script, ["17.1"], custom=True, readonly=("HKLM",), ctl_exit=1))

    key2 = vendor_key("17.1", second=True)
    progress = ("Error -- Ostrel registry Loader --Loader" + HKLM_SUFFIX + OST_REG_FAILED
                + "Error -- QEL registry Loader --Loader" + HKLM_SUFFIX + QEL_REG_FAILED
                + SETTINGS_OK
                + "Error -- AutoCAD registry -- LOADCTRLS" + HKLM_SUFFIX
                + "Error -- AutoCAD registry LOADER" + HKLM_SUFFIX
                + "Error -- AutoCAD registry DESCRIPTION" + HKLM_SUFFIX + AUTOCAD_OK
                + demand_load_hklm_errors() + AUTOCAD_OK + COMPLETED)
    script = (record(key, MAIN_LOADER, "Loader", HKCU) + record(key2, SECOND_LOADER, "Loader", HKCU)
              + settings_records("17.1")
              + demand_load_records("17.1", PRODUCT, SECOND_LOADER, second=True, root=HKCU)
              + demand_load_records("17.1", PRODUCT, root=HKCU))
    add(Scenario("hklm-read-only-qel", ["/LOG", "/QEL"], ini("17.1"), machine(ONE), [progress],
                 script, ["17.1"], second=True, readonly=("HKLM",), ctl_exit=1))

    def both_errors():
        text = ""
        for head, name in ([("Error -- AutoCAD registry -- ", "LOADCTRLS"),
                            ("Error -- AutoCAD registry ", "LOADER"),
                            ("Error -- AutoCAD registry ", "DESCRIPTION"),
                            ("Error -- AutoCAD registry Groups-", GROUP)]
                           + [("Error -- AutoCAD registry Commands-", c) for c in COMMANDS]):
            text += head + name + HKLM_SUFFIX + head + name + HKCU_SUFFIX
        return text
    progress = ("Error -- Ostrel registry Loader --Loader" + HKLM_SUFFIX
                + "Error -- Ostrel registry Loader --Loader" + HKCU_SUFFIX + OST_REG_FAILED
                + "".join("Error -- Ostrel registry -- " + n + HKCU_SUFFIX for n, _ in SETTINGS)
                + SETTINGS_FAILED + both_errors() + AUTOCAD_FAILED + COMPLETED)
    add(Scenario("both-roots-read-only", ["/LOG"], ini("17.1"), machine(ONE), [progress], "",
                 ["17.1"], readonly=("HKLM", "HKCU"), ctl_exit=1))

    # A product whose key neither root takes, and one command refused by
    # both: every other value is still written.
    commands = product_key("17.1", PRODUCT2) + "\\Applications\\Ostrel\\Commands"
    progress = (OST_REG_OK + SETTINGS_OK + both_errors() + "Error -- AutoCAD registry Commands-KX?"
                + HKLM_SUFFIX + "Error -- AutoCAD registry Commands-KX?" + HKCU_SUFFIX
                + AUTOCAD_FAILED + COMPLETED)
    script = (vendor_records("17.1") + settings_records("17.1") + demand_load_records(
        "17.1", PRODUCT2).replace(record(commands, "KX?", "KX?", HKLM), ""))
    two = {"17.1": [PRODUCT, PRODUCT2]}
    add(Scenario("product-key-and-command-refused", ["/LOG"], ini("17.1"), machine(two),
                 [progress], script, ["17.1"], ctl_exit=1, faults={
                     "REGOST_FAIL_CREATES_UNDER": "HKLM\\%s;HKCU\\%s" % (
                         (product_key("17.1", PRODUCT),) * 2),
                     "REGOST_FAIL_SET": "HKLM\\%s|KX?;HKCU\\%s|KX?" % ((commands,) * 2)}))

    progress, script = full_run(["17.1"], ONE)
    add(Scenario("settings-key-holds-values", ["/LOG"], ini("17.1"), machine(ONE, {
        "HKCU\\" + settings_key("17.1"): {"Splash": 0, "Theme": "dark", "Zoom": 3},
        "HKLM\\" + vendor_key("17.1"): {"Loader": "C:\\Old\\Ostrel.arx", "Keep": "yes"},
        "HKLM\\" + product_key("17.1", PRODUCT) + "\\Applications\\Other": {"LOADER": "o"},
    }), [progress], script, ["17.1"]))

    # Long texts: a value line longer than the line buffer must reach the log
    # whole; setup-file values are seen up to 511 characters.
    progress, script = full_run(["17.1"], ONE, loader="{long}")
    add(Scenario("loader-path-250", ["/LOG"], ini("17.1", loader="{long}"), machine(ONE),
                 [progress], script, ["17.1"], files=["{longfile}"], extra=_long_loader_extra(250)))
    progress, script = full_run(["17.1"], ONE)
    add(Scenario("loader-path-600-cut", ["/LOG"], ini("17.1", loader="{cut600}"), machine(ONE),
                 [progress], script, ["17.1"], files=["{cutfolder}"], extra=_cut_loader_extra))
    long_custom = "".join("%03d-" % i for i in range(150))  # 600 characters
    progress, script = full_run(["17.1"], ONE, custom=long_custom[:511])
    add(Scenario("custom-data-600-cut", ["/LOG"], ini("17.1", custom=long_custom), machine(ONE),
                 [progress], script, ["17.1"], custom=True))
    progress, script = full_run(["17.1"], ONE)
    add(Scenario("deep-program-folder", ["/LOG"], ini("17.1"), machine(ONE), [progress], script,
                 ["17.1"], long_dir=230))
    # Windows' ANSI calls refuse a full path of MAX_PATH characters: a folder
    # without room for TEMPTXT.log is refused, its line in the temporary folder.
    add(Scenario("program-folder-of-247-characters", ["/LOG"], ini("17.1"), machine(ONE),
                 [progress], script, ["17.1"], long_dir=247))
    add(Scenario("program-folder-of-248-characters", ["/LOG"], ini("17.1"), machine(ONE),
                 [FOLDER_TOO_LONG], None, progress_in_temp=True, long_dir=248, ctl_exit=3))
    add(Scenario("program-folder-of-300-characters", ["/LOG"], ini("17.1"), machine(ONE),
                 [FOLDER_TOO_LONG], None, progress_in_temp=True, long_dir=300,
                 wine_difference="Wine starts no program from so long a folder", ctl_exit=3))
    # A folder name outside the code page is refused: the ANSI calls would
    # spell it with '?' or a look-alike, and act on another folder or none.
    # No log can be written here, as the temporary folder lies below that name
    # too; nor is the sibling's setup file read.
    add(Scenario("program-folder-outside-code-page-\u042f", ["/LOG"], ini("17.1"), machine(ONE),
                 None, None, progress_in_temp=True, extra=_sibling_setup_file("\u0416"),
                 ctl_exit=3))
    add(Scenario("program-folder-spelled-as-a-sibling", ["/LOG"], ini("17.1"), machine(ONE),
                 [FOLDER_REFUSED], None, progress_in_temp=True, program="prog \u0100",
                 sibling="prog A", ctl_exit=3))
    progress, script = full_run(["17.1"], ONE, loader="{dir}nul.arx")
    add(Scenario("loader-names-a-device", ["/LOG"], ini("17.1", loader="{dir}nul.arx"),
                 machine(ONE), [progress], script, ["17.1"]))
    progress, script = full_run(["17.1"], ONE, custom="Site")
    add(Scenario("setup-file-with-nul-byte", ["/LOG"],
                 "[OSTKeysLoader]\r\nCustomData=Site\x00 42\r\n" + ini("17.1"), machine(ONE),
                 [progress], script, ["17.1"], custom=True))

    # The fault sweep's run (test_linux.py --faults): both add-ons, custom
    # data, three releases of two products, and values the run replaces.
    three = {r: [PRODUCT, PRODUCT2] for r in ("17.0", "17.1", "17.2")}
    progress, script = full_run(["17.0", "17.1", "17.2"], three, second=True, custom=CUSTOM)
    old = "HKLM\\" + product_key("17.1", PRODUCT2) + "\\Applications\\Ostrel"
    add(Scenario(FAULT_SWEEP, ["/LOG", "/QEL"], ini("17.0:17.1:17.2", custom=CUSTOM),
                 machine(three, {old: {"LOADER": "Z:\\old\\Ostrel.arx"},
                                 "HKCU" + old[4:]: {"LOADER": "Z:\\older\\Ostrel.arx"},
                                 "HKCU\\" + vendor_key("17.0"): {"Loader": "old"}}),
                 [progress], script, ["17.0", "17.1", "17.2"], second=True, custom=True))

    # An AutoCAD of the other bitness: its product and vendor keys are in the
    # view this build does not see, so nothing is found and nothing touched;
    # RegOSTCtl names it (7). With an AutoCAD in both views, this one's counts.
    progress, script = full_run(["17.1"], {})
    other = machine(ONE, {"HKLM\\" + vendor_key("17.1"): {"Loader": "C:\\Other\\Ostrel.arx"}})
    add(Scenario("autocad-only-in-other-view", ["/LOG"], ini("17.1"), machine({}), [progress],
                 script, ["17.1"], ctl_exit=7, other_view=other))
    progress, script = full_run(["17.1"], ONE)
    add(Scenario("autocad-in-both-views", ["/LOG"], ini("17.1"), machine(ONE), [progress], script,
                 ["17.1"], other_view=other))
    return scenarios


SCENARIOS = _build()


# --- RegOSTCtl /UNINSTALL, /VERIFY and the add-on's machine ----------------

CTL_SCRIPT_LOG_CLOSED = "Error -- TEMPTXT.log cannot be written\n\n"
UNINSTALLED = "Uninstallation Completed\n\n"
NO_RECORD = "TEMPTXT.log holds no record\n\n"
CTL_FINAL_LINES = {
    4: "TEMPTXT.log not found\n\n",
    87: "Error -- Use /INSTALL [/QEL] [/ALLUSERS] [/WAIT:0-3600], /USER [/QEL], /VERIFY [/QEL] "
        "or /UNINSTALL [/WAIT:0-3600]\n\n",
    1618: "Error -- Another run still holds the lock, nothing done\n\n"}
VERIFIED = "Verification Completed -- "
CTL_MODE_FINAL_LINES = {
    ("/VERIFY", 0): VERIFIED + "intact\n\n",
    ("/VERIFY", 1): VERIFIED + "missing or different values\n\n",
    ("/VERIFY", 2): VERIFIED + "no AutoCAD\n\n",
    ("/VERIFY", 6): VERIFIED + "loader file missing or for another machine\n\n",
    ("/VERIFY", 7): VERIFIED + "no AutoCAD\n\n",
    ("/INSTALL", 0): COMPLETED,
    ("/INSTALL", 7): COMPLETED,
    ("/INSTALL", 6): "Error -- Add-on for another machine, nothing written\n\n"}
OTHER_MACHINE = "Loader file for another machine -- {dir}%s -- {machines}.\n"
# {view}: the other view of the build, "32-bit" from x64 (and Linux), "64-bit" from x86.
OTHER_EDITION = "AutoCAD of the other edition only -- R%s -- {view} registry view.\n"
USER_COMPLETED = "User Registration Completed\n\n"
ENTRY_DEFAULT = "Ostrel"


def active_setup_key(dos_dir):
    """The Active Setup entry of a program folder (DOS path ending in a
    backslash): the FNV-1a hash of its upper-cased bytes, as the lock's."""
    value = 2166136261
    for byte in dos_dir.replace("/", "\\").encode("cp1252"):
        byte = byte - 32 if 97 <= byte <= 122 else byte
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\Ostrel-%08X" % value


@dataclass
class UninstallCase:
    name: str
    # (program folder "a", "b" or "c" (a by another name: a link), RegOSTCtl's
    # arguments) in turn; or LOGON, a logon as Windows' Active Setup does it (its
    # code: the command's, or None when nothing ran); or ("reg", {key: values, or
    # None to delete it}).
    steps: List[tuple]
    code: Optional[int]      # the last step's exit code
    before: Dict[str, Dict] = field(default_factory=lambda: machine(ONE))
    # The steps that alone leave the registry expected (plus `change`); None: not judged.
    expected: Optional[List[tuple]] = field(default_factory=list)
    change: Dict[str, Dict] = field(default_factory=dict)  # set before the last step
    readonly: tuple = ()     # roots where the last step has no rights
    inis: Dict[str, str] = field(default_factory=dict)  # a folder's setup file; else 17.1
    # The last step's TEMPTXT.log: "folder" (a folder of that name), "held" (open
    # without sharing by another process: Wine only), else the file's text.
    script_log: Optional[str] = None
    limit: int = 0           # the last step may grow a file by this many bytes only
    final: str = ""          # the last step's final line, where CTL_FINAL_LINES does not say
    # The add-on files in both folders: a DLL of the build's machine ("own")
    # or of the other one ("other"); `swap` replaces ("other", "folder", "empty", "held": open
    # without sharing by another process) or removes (None) them before the last step.
    addons: Dict[str, str] = field(default_factory=lambda: {"Ostrel.arx": "own"})
    swap: Dict[str, Optional[str]] = field(default_factory=dict)
    # The last run's lines before its final line; {dir}: its folder, {machines}:
    # e.g. "i386, not x86-64" for the x64 build. None: not judged.
    logged: Optional[str] = None
    # Another process holds the run lock through the last step, which must end
    # within seconds and leave TEMPTXT.log as it was.
    lock_held: bool = False
    # Keys laid down in the view the build does not see, as Scenario.other_view.
    other_view: Dict[str, Dict] = field(default_factory=dict)
    companion: str = "RegOSTCtl.exe"  # RegOSTCtl's file name in both folders


INSTALL, INSTALL_QEL, UNINSTALL = ["/INSTALL"], ["/INSTALL", "/QEL"], ["/UNINSTALL"]
VERIFY = ["/VERIFY"]
APPLICATION = product_key("17.1", PRODUCT) + "\\Applications\\Ostrel"
ALL_USERS, ALL_USERS_QEL = ["/INSTALL", "/ALLUSERS"], ["/INSTALL", "/ALLUSERS", "/QEL"]
LOGON = ("logon", [])
NEW_USER = ("reg", {"HKCU\\Software\\Quenlar": None})  # a user with nothing of the add-on
UNINSTALL_CASES = [
    UninstallCase("install-uninstall", [("a", INSTALL), ("a", UNINSTALL)], 0),
    UninstallCase("beside-another-product", [("a", INSTALL_QEL), ("a", UNINSTALL)], 0,
                  machine(ONE, {"HKCU\\Software\\Quenlar\\Sketch": {"Theme": "dark"},
                                "HKLM\\Software\\Quenlar\\Sketch": {"Path": "C:\\Sketch"}})),
    UninstallCase("two-installs-one-uninstall",
                  [("a", INSTALL_QEL), ("a", INSTALL_QEL), ("a", UNINSTALL)], 0,
                  machine({"17.1": [PRODUCT, PRODUCT2]})),
    UninstallCase("second-folder-keeps-its-registration",
                  [("a", INSTALL), ("b", INSTALL), ("a", UNINSTALL)], 0, expected=[("b", INSTALL)]),
    UninstallCase("changed-value-survives", [("a", INSTALL), ("a", UNINSTALL)], 0,
                  change={"HKCU\\" + settings_key("17.1"): {"Splash": 0}}),
    UninstallCase("refused-delete", [("a", INSTALL), ("a", UNINSTALL)], 1, expected=None,
                  readonly=("HKLM",)),
    UninstallCase("no-records", [("a", UNINSTALL)], 4),
    UninstallCase("both-switches", [("a", INSTALL), ("a", ["/INSTALL", "/UNINSTALL"])], 87,
                  expected=[("a", INSTALL)]),
    # Records are bytes: Windows' text mode would end the file at 0x1A.
    UninstallCase("control-z-in-custom-data", [("a", INSTALL), ("a", UNINSTALL)], 0,
                  inis={"a": ini("17.1", custom="Site\x1a7")}),
    # Only a file that is not there, or holds no whole record, means nothing to remove.
    UninstallCase("records-unreadable", [("a", INSTALL), ("a", UNINSTALL)], 1,
                  expected=[("a", INSTALL)], script_log="folder",
                  final="Error -- TEMPTXT.log cannot be read\n\n"),
    UninstallCase("records-held-by-another-process", [("a", INSTALL), ("a", UNINSTALL)], 1,
                  expected=[("a", INSTALL)], script_log="held",
                  final="Error -- TEMPTXT.log cannot be read\n\n"),
    UninstallCase("records-none-whole", [("a", UNINSTALL)], 4,
                  script_log="RegDB Key: Software\\Quenlar\r\nRegDB Val", final=NO_RECORD),
    # A full disk cuts a record: the install fails and writes no further value.
    UninstallCase("records-cut-by-a-full-disk", [("a", INSTALL), ("a", INSTALL)], 1,
                  expected=[("a", INSTALL)], limit=1000, final=COMPLETED),
    # A loader that is gone names no owner: A's custom data goes with A.
    UninstallCase("loader-gone-custom-data-removed",
                  [("a", INSTALL), ("b", INSTALL), ("b", UNINSTALL), ("a", UNINSTALL)], 0,
                  inis={"a": ini("17.1", custom="Site 7")}),
    UninstallCase("verify-intact", [("a", INSTALL), ("a", VERIFY)], 0,
                  expected=[("a", INSTALL)], logged=""),
    UninstallCase("verify-value-deleted", [("a", INSTALL), ("a", VERIFY)], 1,
                  expected=[("a", INSTALL)], change={"HKLM\\" + APPLICATION + "\\Commands": {
                      "KX1": None}}, logged="Missing -- %s\\Commands\\KX1%s" % (
                          APPLICATION, HKLM_SUFFIX)),
    UninstallCase("verify-value-changed", [("a", INSTALL), ("a", VERIFY)], 1,
                  expected=[("a", INSTALL)], change={"HKLM\\" + APPLICATION: {
                      "LOADER": "C:\\Other\\Ostrel.arx"}},
                  logged="Different -- %s\\LOADER%s" % (APPLICATION, HKLM_SUFFIX)),
    UninstallCase("verify-after-uninstall", [("a", INSTALL), ("a", UNINSTALL), ("a", VERIFY)], 1,
                  expected=None),
    UninstallCase("verify-no-autocad", [("a", VERIFY)], 2, machine({})),
    UninstallCase("verify-other-edition-only", [("a", VERIFY)], 7, machine({}),
                  other_view=machine(ONE), logged="Missing -- %s\\Loader%s%s%s" % (
                      vendor_key("17.1"), HKLM_SUFFIX, AUTOCAD_NOT_FOUND, OTHER_EDITION % "17.1")),
    UninstallCase("verify-autocad-in-both-views", [("a", INSTALL), ("a", VERIFY)], 0,
                  expected=[("a", INSTALL)], other_view=machine(ONE)),
    UninstallCase("verify-loader-file-gone", [("a", INSTALL), ("a", VERIFY)], 6,
                  expected=[("a", INSTALL)], swap={"Ostrel.arx": None},
                  logged="Loader file missing -- {dir}Ostrel.arx.\n"),
    UninstallCase("verify-other-machine-swapped-in", [("a", INSTALL), ("a", VERIFY)], 6,
                  expected=[("a", INSTALL)], swap={"Ostrel.arx": "other"},
                  logged=OTHER_MACHINE % "Ostrel.arx"),
    UninstallCase("install-refuses-other-machine", [("a", INSTALL)], 6,
                  addons={"Ostrel.arx": "other"}, logged="Error -- " + OTHER_MACHINE % "Ostrel.arx"),
    UninstallCase("install-refuses-second-of-other-machine", [("a", INSTALL_QEL)], 6,
                  addons={"Ostrel.arx": "own", "Qel.arx": "other"},
                  logged="Error -- " + OTHER_MACHINE % "Qel.arx"),
    # Every user of the machine, through the Active Setup entry.
    UninstallCase("all-users-install-uninstall", [("a", ALL_USERS_QEL), ("a", UNINSTALL)], 0),
    # The records name the entry the install wrote, whatever the folder is called now.
    UninstallCase("all-users-uninstall-by-another-name", [("a", ALL_USERS), ("c", UNINSTALL)], 0),
    UninstallCase("all-users-other-edition-only", [("a", ALL_USERS)], 7, machine({}), expected=None,
                  other_view=machine(ONE), logged=OST_REG_OK + SETTINGS_OK + AUTOCAD_NOT_FOUND
                  + AUTOCAD_FAILED + "Active Setup Registry Successful\n\n"
                  + OTHER_EDITION % "17.1"),
    UninstallCase("logon-gives-a-new-user-the-half",
                  [("a", ["/INSTALL", "/QEL", "/ALLUSERS"]), NEW_USER, LOGON], 0,
                  expected=[("a", ALL_USERS_QEL), LOGON]),
    UninstallCase("logon-keeps-a-changed-setting", [("a", ALL_USERS), LOGON], 0,
                  change={"HKCU\\" + settings_key("17.1"): {"Splash": 0}},
                  expected=[("a", ALL_USERS), LOGON]),
    UninstallCase("second-logon-runs-nothing", [("a", ALL_USERS), LOGON, NEW_USER, LOGON], None,
                  expected=[("a", ALL_USERS), LOGON, NEW_USER]),
    UninstallCase("reinstall-reaches-every-user-again",
                  [("a", ALL_USERS), LOGON, ("a", ALL_USERS), NEW_USER, LOGON], 0,
                  expected=[("a", ALL_USERS), LOGON]),
    UninstallCase("user-takes-no-allusers", [("a", ALL_USERS), ("a", ["/USER", "/ALLUSERS"])], 87,
                  expected=[("a", ALL_USERS)]),
    # A lock that another run keeps past /WAIT's bound: 1618 before anything is
    # touched (a TEMPTXT.log that ends mid-line would get a line end).
    UninstallCase("install-gives-up-on-a-held-lock",
                  [("a", INSTALL), ("a", ["/INSTALL", "/WAIT:3"])], 1618,
                  expected=[("a", INSTALL)], lock_held=True, logged="",
                  script_log="RegDB Key: Software\\Quenlar\r\nRegDB Val"),
    UninstallCase("uninstall-gives-up-on-a-held-lock",
                  [("a", INSTALL), ("a", ["/UNINSTALL", "/WAIT:3"])], 1618,
                  expected=[("a", INSTALL)], lock_held=True, logged=""),
    UninstallCase("wait-bound-with-the-lock-free",
                  [("a", ["/INSTALL", "/WAIT:3"]), ("a", ["/UNINSTALL", "/WAIT:3"])], 0),
    UninstallCase("wait-among-the-other-switches", [("a", ["/INSTALL", "/QEL", "/wait:60",
                                                           "/ALLUSERS"])], 0, expected=None),
    UninstallCase("wait-out-of-range", [("a", ["/INSTALL", "/WAIT:3601"])], 87),
    UninstallCase("wait-not-a-number", [("a", ["/INSTALL", "/WAIT:-1"])], 87),
    UninstallCase("wait-given-twice", [("a", ["/UNINSTALL", "/WAIT:1", "/WAIT:1"])], 87),
    UninstallCase("wait-not-for-verify", [("a", ["/VERIFY", "/WAIT:1"])], 87),
    UninstallCase("refusal-waits-for-no-lock", [("a", ["/INSTALL", "/WAIT:0", "/QEL", "/QEL"])],
                  87, lock_held=True, logged=""),
    UninstallCase("renamed-companion-runs-at-logon", [("a", ALL_USERS), NEW_USER, LOGON], 0,
                  expected=[("a", ALL_USERS), LOGON], companion="OstrelCtl.exe"),
    # A logon that runs once the uninstall has taken the registration away.
    UninstallCase("user-after-uninstall-writes-nothing",
                  [("a", ALL_USERS), ("a", UNINSTALL), ("a", ["/USER"])], 0,
                  final="User Registration Skipped -- add-on not registered for the machine\n\n",
                  logged=""),
    UninstallCase("user-by-hand-after-an-install", [("a", INSTALL), NEW_USER, ("a", ["/USER"])], 0,
                  expected=[("a", INSTALL)], final=USER_COMPLETED),
    UninstallCase("version-at-its-ceiling-stays", [("a", ALL_USERS), ("a", ALL_USERS)], 0,
                  expected=[("a", ALL_USERS)], change={
                      "HKLM\\{entry}": {"Version": "65535,65535,65535,65535"}},
                  logged=OST_REG_OK + SETTINGS_OK + AUTOCAD_OK + "Warning -- Active Setup Version "
                  "at its highest, kept: users who ran the command do not run it again.\n"
                  "Active Setup Registry Successful\n\n"),
    UninstallCase("verify-loader-names-a-folder", [("a", INSTALL), ("a", VERIFY)], 6,
                  expected=[("a", INSTALL)], swap={"Ostrel.arx": "folder"},
                  logged="Loader file missing -- {dir}Ostrel.arx.\n"),
    UninstallCase("verify-loader-file-held", [("a", INSTALL), ("a", VERIFY)], 6,
                  expected=[("a", INSTALL)], swap={"Ostrel.arx": "held"},
                  logged="Loader file cannot be read -- {dir}Ostrel.arx.\n"),
    UninstallCase("install-goes-on-past-a-held-loader-file", [("a", INSTALL)], 0,
                  expected=[("a", INSTALL)], swap={"Ostrel.arx": "held"},
                  logged="Warning -- Loader file cannot be read -- {dir}Ostrel.arx.\n"
                  + OST_REG_OK + SETTINGS_OK + AUTOCAD_OK),
    UninstallCase("verify-loader-file-empty", [("a", INSTALL), ("a", VERIFY)], 6,
                  expected=[("a", INSTALL)], swap={"Ostrel.arx": "empty"},
                  logged="Loader file empty -- {dir}Ostrel.arx.\n"),
    UninstallCase("install-goes-on-past-an-empty-loader-file", [("a", INSTALL)], 0, expected=None,
                  addons={"Ostrel.arx": "empty"}, logged="Warning -- Loader file empty -- "
                  "{dir}Ostrel.arx.\n" + OST_REG_OK + SETTINGS_OK + AUTOCAD_OK),
]


def by_name(name):
    for scenario in SCENARIOS:
        if scenario.name == name:
            return scenario
    raise KeyError(name)
