// /INSTALL: RegOST's own run with /LOG, its outcome turned into an exit code.
#include "ctl/ctl.h"
#include "driver/driver.h"
#include "log/log.h"

// Records that cannot be kept would leave writes that no uninstall can find,
// so nothing is written then.
int InstallRegistration(const CtlRun &run) {
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
    RunRegistration((run.switches & kSwitchQel) != 0 ? 3 : 2, arguments, &outcome,
                    (run.switches & kSwitchAllUsers) != 0 ? RegisterForEveryUser : nullptr);
    if (!outcome.completed)
        return kExitNoSetupFile;
    if (outcome.failedWrites > 0)
        return kExitWriteFailed;
    return outcome.registeredProducts == 0 ? kExitNoAutoCAD : kExitDone;
}
