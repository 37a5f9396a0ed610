// TEMPORARY until the core's RunRegistration and folder lock are on main.
#pragma once
struct RunOutcome {
    bool completed;
    int failedWrites;
    int registeredProducts;
};
void RunRegistration(int argc, char **argv, RunOutcome *outcome);
bool LockProgramFolder(const char *programDirectory);
void UnlockProgramFolder();
