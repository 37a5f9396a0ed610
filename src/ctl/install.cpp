// /INSTALL: RegOST's own run with /LOG, its outcome turned into an exit code.
#include "ctl/ctl.h"
#include "driver/driver.h"
#include "log/log.h"

namespace {

// An add-on of the other machine would be registered for an AutoCAD that
// cannot load it, and the run would report success: then nothing is
// written. True when the run ended so.
bool RefusedOtherMachine(const CtlRun &run) {
    bool secondAddOn = (run.switches & kSwitchQel) != 0;
    Setup setup;
    if (ReadSetup(run.directory, secondAddOn, &setup) != nullptr)
        return false; // the run itself ends with the setup file's message
    const char *paths[] = {setup.mainLoaderPath, secondAddOn ? setup.secondLoaderPath : nullptr};
    bool refused = false;
    for (const char *path : paths) {
        WORD machine = 0;
        if (path == nullptr || ExamineLoaderFile(path, &machine) != LoaderFile::OtherMachine)
            continue;
        if (!refused)
            OpenRunLog(run.directory);
        refused = true;
        WriteOtherMachineLine("Error -- Loader file for another machine -- ", path, machine);
    }
    if (refused)
        EndLogs("Error -- Add-on for another machine, nothing written\n\n");
    return refused;
}

} // namespace

// Records that cannot be kept would leave writes that no uninstall can find,
// so nothing is written then.
int InstallRegistration(const CtlRun &run) {
    if (RefusedOtherMachine(run))
        return kExitLoaderFile;
    char path[kPathBufferSize];
    FILE *scriptLog = ScriptLogPath(run.directory, path) ? OpenDosStream(path, "a") : nullptr;
    if (scriptLog == nullptr) {
        OpenRunLog(run.directory);
        return EndWith("Error -- TEMPTXT.log cannot be written\n\n", kExitScriptLogClosed);
    }
    fclose(scriptLog);

    char logSwitch[] = "/LOG";
    char secondSwitch[] = "/QEL";
    char *arguments[] = {run.argv0, logSwitch, secondSwitch, nullptr};
    RunOutcome outcome = {};
    RunRegistration((run.switches & kSwitchQel) != 0 ? 3 : 2, arguments, &outcome);
    if (!outcome.completed)
        return kExitNoSetupFile;
    if (outcome.failedWrites > 0)
        return kExitWriteFailed;
    return outcome.registeredProducts == 0 ? kExitNoAutoCAD : kExitDone;
}
