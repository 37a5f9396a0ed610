// The lock that makes runs take turns. Every program folder's runs change the
// same keys (the maker's, the products', the user's), so the lock is one
// mutex in the global namespace, shared by every logon session. Where that
// name cannot be had (another account made it with a stricter access list),
// a mutex derived from the program folder takes its place, so that runs from
// one folder still never mix their lines in one log.
#include <stdio.h>

#include "driver/driver.h"
#include "log/log.h"

namespace {

constexpr char kMachineLockName[] = "Global\\RegOST-Registry";

// The mutex held from LockRuns to UnlockRuns, the one file-scope variable of
// the driver (DESIGN.md): a process holds one lock, and a handle handed to
// the caller would only let a second LockRuns take it twice.
HANDLE runLock = nullptr;

} // namespace

RunLock LockRuns(const char *programDirectory, DWORD waitMilliseconds) {
    if (runLock != nullptr)
        return RunLock::None;
    RunLock kind = RunLock::Machine;
    runLock = CreateMutexA(nullptr, FALSE, kMachineLockName);
    if (runLock == nullptr && programDirectory[0] != '\0') {
        // A mutex name may hold no backslash; the hash keeps it short too.
        char name[32];
        snprintf(name, sizeof name, "RegOST-%08lX", FolderHash(programDirectory));
        runLock = CreateMutexA(nullptr, FALSE, name);
        kind = RunLock::Folder;
    }
    if (runLock == nullptr)
        return RunLock::None;
    // An abandoned mutex (a run that was killed) is ours now all the same.
    DWORD waited = WaitForSingleObject(runLock, waitMilliseconds);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(runLock);
        runLock = nullptr;
        return waited == WAIT_TIMEOUT ? RunLock::Held : RunLock::None;
    }
    return kind;
}

void UnlockRuns() {
    if (runLock == nullptr)
        return;
    ReleaseMutex(runLock);
    CloseHandle(runLock);
    runLock = nullptr;
}

void OpenRunLog(const char *programDirectory, RunLock lock) {
    if (lock != RunLock::Machine && lock != RunLock::Folder)
        HoldProgressLines();
    OpenProgressLog(programDirectory);
    if (lock == RunLock::Folder)
        WriteProgressLine("Warning -- Machine-wide lock not available, only runs from this folder "
                          "take turns\n\n");
    if (lock == RunLock::Held)
        WriteProgressLine("Warning -- Another run still holds the lock, going on without it\n\n");
    if (lock == RunLock::None)
        WriteProgressLine("Warning -- No lock available, runs do not take turns\n\n");
}
