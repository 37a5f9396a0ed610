// TEMPORARY until the core's RunRegistration and folder lock are on main.
#include "ctl/core_stub.h"
#include "driver/driver.h"

void RunRegistration(int argc, char **argv, RunOutcome *outcome) {
    RunRegOST(argc, argv);
    *outcome = RunOutcome{true, 0, 1};
}
bool LockProgramFolder(const char *) {
    return true;
}
void UnlockProgramFolder() {}
