// What the registry steps write through: one StepWrites per run, owned by the
// mode that runs the steps and passed into each of them. Its StepMode says
// what a write does; it keeps the tally, and a verification's finding.
#pragma once

#include "common/text.h"
#include "log/log.h"
#include "platform/win32.h"
#include "registry/registry.h"

struct StepWrites;

// The modes that run a row of the release's table (release_steps.cpp).
constexpr unsigned kForInstall = 1; // RegOST.exe's run and /INSTALL
constexpr unsigned kForUser = 2;    // /USER
constexpr unsigned kForVerify = 4;  // /VERIFY

// A mode of the steps: the rows of the release's table it runs (kFor*),
// whether the steps' progress and error lines go to the log, what its writes
// do, and what else a failed write means to it (null: nothing). Each mode is
// defined in a source of its own, so that a program carries only the modes it
// names: RegOST.exe the install's alone.
struct StepMode {
    unsigned steps;
    bool logsStepLines;
    bool (*writeString)(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                        const char *text);
    bool (*writeDword)(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                       DWORD number);
    void (*failedWrite)(StepWrites &writes);
};
// step_writes.cpp: write, then record the value in TEMPTXT.log (when open).
extern const StepMode kInstallMode;
// user_writes.cpp: the user's half at a logon. HKEY_LOCAL_MACHINE is left
// alone and a number already set (a setting the user may have chosen) is
// kept; a value left alone counts as written.
extern const StepMode kUserMode;
// compare_writes.cpp: what a write would write is compared with the registry,
// which is not changed. A write "succeeds" when the value is in place; each
// one that is not gets a line of its own, and the steps' lines stay out.
extern const StepMode kVerifyMode;

// What the steps did: writes that no root took (and products that could not
// be registered), and products that got the main add-on's entries.
struct StepTally {
    int failedWrites = 0;
    int registeredProducts = 0;
};

// A value a verification found not in place, reported once its step gives up
// on it: a HKEY_LOCAL_MACHINE value may still be found where the step falls
// back to HKEY_CURRENT_USER.
struct Finding {
    bool open = false;
    // The rest is set whenever open is.
    ValueMatch match = ValueMatch::Same;
    HKEY root = nullptr;
    char key[kPathBufferSize] = "";
    char name[kPathBufferSize] = "";
};

struct StepWrites {
    explicit StepWrites(const StepMode &runMode) : mode(&runMode) {}
    const StepMode *mode;
    // Set by /INSTALL: a value whose record TEMPTXT.log does not take whole
    // counts as a failed write, and every write after it is refused (stopped):
    // what has no record could never be removed again.
    bool wholeRecordsRequired = false;
    bool stopped = false;
    StepTally tally;
    Finding finding;
};

// Counts a write that no root took; in a verification, a value not in place,
// whose line it writes.
void CountFailedWrite(StepWrites &writes);
// A step's error line for a write that a root refused.
inline void WriteStepError(const StepWrites &writes, const char *a, const char *b, const char *c,
                           const char *d = "", const char *e = "") {
    if (writes.mode->logsStepLines)
        WriteProgressLine(a, b, c, d, e);
}

// Both return the write's result, as the run's mode makes it.
inline bool WriteStepString(StepWrites &writes, HKEY root, const char *keyPath,
                            const char *valueName, const char *text) {
    return writes.mode->writeString(writes, root, keyPath, valueName, text);
}
inline bool WriteStepDword(StepWrites &writes, HKEY root, const char *keyPath,
                           const char *valueName, DWORD number) {
    return writes.mode->writeDword(writes, root, keyPath, valueName, number);
}

// The install's writes, which the user's half makes too: false when the
// write failed or writes have stopped; on success the record is written.
bool WriteAndRecordString(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                          const char *text);
bool WriteAndRecordDword(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                         DWORD number);
