// /USER: the per-user half of the registration for the user who runs it,
// which every user's logon runs through the Active Setup entry: the
// HKEY_CURRENT_USER loaders as the install writes them, and the default
// settings the user does not have yet. It writes no records: the program
// folder is not the user's to write, and a user's hive is the user's own.
#include <string.h>

#include "ctl/ctl.h"
#include "driver/driver.h"
#include "registry/registry.h"
#include "steps/steps.h"

namespace {

// Whether this folder's install is in place for the machine: every install
// writes the add-on's loader into the vendor key under HKEY_LOCAL_MACHINE, and
// the uninstall removes it before anything else. Asked after the wait for the
// lock, right before the writes: a logon that ran once the uninstall had
// begun, or gave up waiting for a long one, would otherwise give its user the
// half of an add-on that is gone.
bool RegisteredForMachine(const Setup &setup) {
    DWORD size = static_cast<DWORD>(strlen(setup.mainLoaderPath) + 1);
    for (int i = 0; i < setup.releaseCount; ++i) {
        char releaseNumber[kReleaseNumberSize];
        char releaseKeyName[kReleaseKeyNameSize];
        CopyRelease(setup.releaseList, i, releaseNumber, releaseKeyName);
        char key[kPathBufferSize];
        VendorKeyPath(releaseNumber, false, key);
        if (MatchValue(HKEY_LOCAL_MACHINE, key, "Loader", REG_SZ,
                       reinterpret_cast<const BYTE *>(setup.mainLoaderPath),
                       size) == ValueMatch::Same)
            return true;
    }
    return false;
}

} // namespace

int UserRegistration(const CtlRun &run) {
    if (!RegisteredForMachine(run.setup))
        return EndWith("User Registration Skipped -- add-on not registered for the machine\n\n",
                       kExitDone);
    StepWrites writes(kUserMode);
    RegisterReleases(writes, run.setup, (run.switches & kSwitchQel) != 0);
    return EndWith("User Registration Completed\n\n",
                   writes.tally.failedWrites > 0 ? kExitWriteFailed : kExitDone);
}
