// RegOSTCtl's command line, its modes and their exit codes.
#include <string.h>

#include "ctl/ctl.h"
#include "driver/driver.h"
#include "log/log.h"

namespace {

// One mode: its word, the switches it takes after the word (each at most
// once, in any order), how long it waits for another run's lock, and the job.
struct Mode {
    const char *word;
    unsigned switches;
    DWORD lockWait;
    int (*run)(const CtlRun &run);
};

// A deployment waits as long as another setup runs; a logon must not, nor a
// detection rule, which its tool gives up on after a while (a verification
// that goes on without the lock may find a half-done install: not intact).
constexpr DWORD kLogonLockWait = 5000;
const Mode kModes[] = {
    {"/INSTALL", kSwitchQel | kSwitchAllUsers, INFINITE, InstallRegistration},
    {"/UNINSTALL", 0, INFINITE, UninstallRegistration},
    {"/USER", kSwitchQel, kLogonLockWait, UserRegistration},
    {"/VERIFY", kSwitchQel, 30000, VerifyRegistration},
};

const struct {
    const char *word;
    unsigned bit;
} kSwitches[] = {
    {"/QEL", kSwitchQel},
    {"/ALLUSERS", kSwitchAllUsers},
};

// The mode the command line names, with its switches in *switches; null for
// any other command line.
const Mode *ReadCommand(int argc, char **argv, unsigned *switches) {
    *switches = 0;
    const Mode *mode = nullptr;
    for (int i = 1; i < argc; ++i) {
        size_t length = strlen(argv[i]);
        if (length >= kArgumentBufferSize)
            return nullptr;
        char word[kArgumentBufferSize];
        memcpy(word, argv[i], length + 1);
        UpperCaseInPlace(word);
        if (i == 1) {
            for (const Mode &candidate : kModes)
                mode = strcmp(word, candidate.word) == 0 ? &candidate : mode;
            if (mode == nullptr)
                return nullptr;
            continue;
        }
        unsigned bit = 0;
        for (const auto &candidate : kSwitches)
            bit = strcmp(word, candidate.word) == 0 ? candidate.bit : bit;
        if (bit == 0 || (mode->switches & bit) == 0 || (*switches & bit) != 0)
            return nullptr;
        *switches |= bit;
    }
    return mode;
}

} // namespace

bool ScriptLogPath(const char *directory, char *path) {
    return directory[0] != '\0' &&
           JoinText(path, directory, SeparatorAfter(directory), "TEMPTXT.log");
}

int EndWith(const char *finalMessage, int exitCode) {
    EndLogs(finalMessage);
    return exitCode;
}

bool OpenLogAndReadSetup(const CtlRun &run, Setup *setup, int *exitCode) {
    OpenRunLog(run.directory);
    const char *ended = ReadSetup(run.directory, (run.switches & kSwitchQel) != 0, setup);
    if (ended == nullptr)
        return true;
    *exitCode = EndWith(ended, kExitNoSetupFile);
    return false;
}

int RunRegOSTCtl(int argc, char **argv) {
    CtlRun run = {argc > 0 ? argv[0] : nullptr, "", 0};
    bool usable = FindProgramDirectory(run.argv0, run.directory);
    const Mode *mode = ReadCommand(argc, argv, &run.switches);
    LockRuns(run.directory, mode != nullptr ? mode->lockWait : INFINITE);
    int exitCode = kExitBadCommandLine;
    if (mode != nullptr && !usable) {
        OpenRunLog(run.directory);
        exitCode = EndWith(kUnusableFolderLine, kExitNoSetupFile);
    } else if (mode != nullptr) {
        exitCode = mode->run(run);
    } else {
        OpenRunLog(run.directory);
        EndLogs("Error -- Use /INSTALL [/QEL] [/ALLUSERS], /USER [/QEL], /VERIFY [/QEL] or "
                "/UNINSTALL\n\n");
    }
    UnlockRuns();
    return exitCode;
}
