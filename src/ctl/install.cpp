// /INSTALL: RegOST's own run, its records in TEMPTXT.log (what RegOST.exe's
// /LOG does), its outcome turned into an exit code.
#include "ctl/ctl.h"
#include "driver/driver.h"
#include "log/log.h"
#include "steps/steps.h"

namespace {

// True when the file ends in the middle of a line: a run that was killed or
// ran out of disk left half a record, and a record appended straight after
// it would be read as part of that line and lost.
bool EndsMidLine(const char *path) {
    FILE *file = OpenDosStream(path, "rb");
    if (file == nullptr)
        return false;
    bool midLine = fseek(file, -1, SEEK_END) == 0 && fgetc(file) != '\n';
    fclose(file);
    return midLine;
}

// An add-on of the other machine would be registered for an AutoCAD that
// cannot load it, and the run would report success: then nothing is
// written. True when the run ended so. A file that cannot be read cannot be
// judged, and an empty one may yet be replaced: the install goes on, and
// says so first.
bool RefusedOtherMachine(const CtlRun &run) {
    if (run.setupEnded != nullptr)
        return false; // the run itself ends with the setup file's message
    bool secondAddOn = (run.switches & kSwitchQel) != 0;
    const char *paths[] = {run.setup.mainLoaderPath,
                           secondAddOn ? run.setup.secondLoaderPath : nullptr};
    bool refused = false;
    for (const char *path : paths) {
        WORD machine = 0;
        LoaderFile file = path != nullptr ? ExamineLoaderFile(path, &machine) : LoaderFile::Missing;
        if (file == LoaderFile::Unreadable)
            WriteProgressLine("Warning -- Loader file cannot be read -- ", path, ".\n");
        if (file == LoaderFile::Empty)
            WriteProgressLine("Warning -- Loader file empty -- ", path, ".\n");
        if (file != LoaderFile::OtherMachine)
            continue;
        refused = true;
        WriteOtherMachineLine("Error -- Loader file for another machine -- ", path, machine);
    }
    if (refused)
        EndLogs("Error -- Add-on for another machine, nothing written\n\n");
    return refused;
}

} // namespace

// Records that cannot be kept would leave writes that no uninstall can find,
// so nothing is written then, and a record that is lost stops the writes.
int InstallRegistration(const CtlRun &run) {
    if (RefusedOtherMachine(run))
        return kExitLoaderFile;
    char path[kPathBufferSize] = "";
    bool midLine = ScriptLogPath(run.directory, path) && EndsMidLine(path);
    FILE *scriptLog = path[0] != '\0' ? OpenDosStream(path, "a") : nullptr;
    bool opened = scriptLog != nullptr && (!midLine || fputs("\n", scriptLog) >= 0);
    if (scriptLog != nullptr && fclose(scriptLog) != 0)
        opened = false;
    if (!opened)
        return EndWith("Error -- TEMPTXT.log cannot be written\n\n", kExitScriptLogClosed);

    OpenRegistryScriptLog(run.directory);
    StepWrites writes(kInstallMode);
    writes.wholeRecordsRequired = true;
    RunInput input = {run.directory, (run.switches & kSwitchQel) != 0, &run.setup, run.setupEnded};
    if (!RunRegistration(writes, input))
        return kExitNoSetupFile;
    if ((run.switches & kSwitchAllUsers) != 0)
        RegisterForEveryUser(writes, run);
    // Where no release found an AutoCAD, the other edition's may be the
    // cause: said before the run's final line.
    bool otherEdition = writes.tally.registeredProducts == 0 && ReportOtherEdition(run.setup);
    EndRegistration();
    if (writes.tally.failedWrites > 0)
        return kExitWriteFailed;
    if (writes.tally.registeredProducts == 0)
        return otherEdition ? kExitOtherEdition : kExitNoAutoCAD;
    return kExitDone;
}
