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

// A deployment waits a while for another setup's run, then ends with a code
// its tool retries later; a logon must not wait, nor a detection rule, which
// its tool gives up on after a while (a verification that goes on without
// the lock may find a half-done install: not intact).
constexpr DWORD kLogonLockWait = 5000;
const Mode kModes[] = {
    {"/INSTALL", kSwitchQel | kSwitchAllUsers | kSwitchWait, kRunLockWait, InstallRegistration},
    {"/UNINSTALL", kSwitchWait, kRunLockWait, UninstallRegistration},
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

// The bound of "/WAIT:<seconds>" from its digits: 0 to 3600 seconds.
bool ReadWaitBound(const char *digits, DWORD *milliseconds) {
    DWORD seconds = 0;
    for (const char *digit = digits; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9')
            return false;
        seconds = seconds * 10 + static_cast<DWORD>(*digit - '0');
        if (seconds > 3600)
            return false;
    }
    *milliseconds = seconds * 1000;
    return digits[0] != '\0';
}

// The mode the command line names, with its switches in *switches and its
// lock wait in *lockWait; null for any other command line.
const Mode *ReadCommand(int argc, char **argv, unsigned *switches, DWORD *lockWait) {
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
            *lockWait = mode->lockWait;
            continue;
        }
        unsigned bit = 0;
        for (const auto &candidate : kSwitches)
            bit = strcmp(word, candidate.word) == 0 ? candidate.bit : bit;
        if (strncmp(word, "/WAIT:", 6) == 0 && ReadWaitBound(word + 6, lockWait))
            bit = kSwitchWait;
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
    FindProgramDirectory(run.argv0, run.directory);
    DWORD lockWait = kRunLockWait;
    const Mode *mode = ReadCommand(argc, argv, &run.switches, &lockWait);
    RunLock lock = LockRuns(run.directory, mode != nullptr ? lockWait : kRunLockWait);
    int exitCode = kExitBadCommandLine;
    if (mode != nullptr && lock == RunLock::Held && (mode->switches & kSwitchWait) != 0) {
        // A deployment's mode ends before it touches anything, TEMPTXT.log
        // included, so that its tool can simply run it again later.
        OpenProgressLog(run.directory);
        exitCode =
            EndWith("Error -- Another run still holds the lock, nothing done\n\n", kExitLockHeld);
    } else if (mode != nullptr) {
        exitCode = mode->run(run);
    } else {
        OpenRunLog(run.directory);
        EndLogs("Error -- Use /INSTALL [/QEL] [/ALLUSERS] [/WAIT:0-3600], /USER [/QEL], "
                "/VERIFY [/QEL] or /UNINSTALL [/WAIT:0-3600]\n\n");
    }
    UnlockRuns();
    return exitCode;
}
