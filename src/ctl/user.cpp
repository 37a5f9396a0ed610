// /USER: the per-user half of the registration for the user who runs it,
// which every user's logon runs through the Active Setup entry: the
// HKEY_CURRENT_USER loaders as the install writes them, and the default
// settings the user does not have yet. It writes no records: the program
// folder is not the user's to write, and a user's hive is the user's own.
#include "ctl/ctl.h"
#include "driver/driver.h"
#include "steps/step_writes.h"

int UserRegistration(const CtlRun &run) {
    StepWrites writes(kUserMode);
    RegisterReleases(writes, run.setup, (run.switches & kSwitchQel) != 0);
    return EndWith("User Registration Completed\n\n",
                   writes.tally.failedWrites > 0 ? kExitWriteFailed : kExitDone);
}
