// /VERIFY: whether this folder's registration is in place as /INSTALL would
// write it now, and whether an AutoCAD of this build's machine can load the
// add-on files it names. The install's own steps compare instead of writing,
// so the two cannot drift apart; the registry is not changed.
#include "ctl/ctl.h"
#include "driver/driver.h"
#include "log/log.h"
#include "steps/step_writes.h"

namespace {

// False, with its line, when the file is missing, unreadable, empty or for the
// other machine.
bool LoaderFileUsable(const char *path) {
    WORD machine = 0;
    switch (ExamineLoaderFile(path, &machine)) {
    case LoaderFile::Missing:
        WriteProgressLine("Loader file missing -- ", path, ".\n");
        return false;
    case LoaderFile::Unreadable:
        WriteProgressLine("Loader file cannot be read -- ", path, ".\n");
        return false;
    case LoaderFile::Empty:
        WriteProgressLine("Loader file empty -- ", path, ".\n");
        return false;
    case LoaderFile::OtherMachine:
        WriteOtherMachineLine("Loader file for another machine -- ", path, machine);
        return false;
    case LoaderFile::ThisMachine:
    case LoaderFile::NoVerdict:
        break;
    }
    return true;
}

} // namespace

int VerifyRegistration(const CtlRun &run) {
    bool secondAddOn = (run.switches & kSwitchQel) != 0;
    bool filesUsable = LoaderFileUsable(run.setup.mainLoaderPath);
    if (secondAddOn && !LoaderFileUsable(run.setup.secondLoaderPath))
        filesUsable = false;

    StepWrites writes(kVerifyMode);
    RegisterReleases(writes, run.setup, secondAddOn);

    // The most basic cause first: without AutoCAD nothing loads the add-on,
    // and without a usable file no registration helps.
    if (writes.tally.registeredProducts == 0)
        return EndWith("Verification Completed -- no AutoCAD\n\n",
                       ReportOtherEdition(run.setup) ? kExitOtherEdition : kExitNoAutoCAD);
    if (!filesUsable)
        return EndWith("Verification Completed -- loader file missing or for another machine\n\n",
                       kExitLoaderFile);
    if (writes.tally.failedWrites > 0)
        return EndWith("Verification Completed -- missing or different values\n\n", kExitNotIntact);
    return EndWith("Verification Completed -- intact\n\n", kExitDone);
}
