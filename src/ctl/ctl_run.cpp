// RegOSTCtl's command line, its modes and what each needs set up before its
// job.
#include <string.h>

#include "ctl/ctl.h"
#include "driver/driver.h"
#include "log/log.h"

namespace {

// The setup file as a mode needs it: not at all; read and handed to the job,
// which decides what a missing one means; or required: without one the run
// ends before the job (exit 3).
enum class SetupFile { Unused, Read, Required };

// One mode: its word, the switches it takes after the word (each at most
// once, in any order), how long it waits for another run's lock, its setup
// file, and the job. Every mode's log (RegOST.log) is open before its job.
struct Mode {
    const char *word;
    unsigned switches;
    DWORD lockWait;
    SetupFile setup;
    int (*job)(const CtlRun &run);
};

// A deployment waits a while for another setup's run, then ends with a code
// its tool retries later; a logon must not wait, nor a detection rule, which
// its tool gives up on after a while (a verification that goes on without
// the lock may find a half-done install: not intact).
// The usage line names the modes in this order.
constexpr DWORD kLogonLockWait = 5000;
constexpr Mode kModes[] = {
    {"/INSTALL", kSwitchQel | kSwitchAllUsers | kSwitchWait, kRunLockWait, SetupFile::Read,
     InstallRegistration},
    {"/USER", kSwitchQel, kLogonLockWait, SetupFile::Required, UserRegistration},
    {"/VERIFY", kSwitchQel, 30000, SetupFile::Required, VerifyRegistration},
    {"/UNINSTALL", kSwitchWait, kRunLockWait, SetupFile::Unused, UninstallRegistration},
};

constexpr struct {
    const char *word;
    unsigned bit;
} kSwitches[] = {
    {"/QEL", kSwitchQel},
    {"/ALLUSERS", kSwitchAllUsers},
    {"/WAIT:0-3600", kSwitchWait}, // as the usage line shows it; ReadCommand reads the seconds
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
        if (strncmp(word, "/WAIT:", 6) == 0)
            bit = ReadWaitBound(word + 6, lockWait) ? kSwitchWait : 0;
        else
            for (const auto &candidate : kSwitches)
                bit = strcmp(word, candidate.word) == 0 ? candidate.bit : bit;
        if (bit == 0 || (mode->switches & bit) == 0 || (*switches & bit) != 0)
            return nullptr;
        *switches |= bit;
    }
    return mode;
}

constexpr size_t Length(const char *text) {
    size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

// The longest the usage line can be, from the same tables: each mode as if
// after " or ", with every switch.
constexpr size_t LongestUsage() {
    size_t length = Length("Error -- Use ") + Length("\n\n");
    for (const Mode &mode : kModes) {
        length += Length(" or ") + Length(mode.word);
        for (const auto &option : kSwitches)
            length += Length(" [") + Length(option.word) + Length("]");
    }
    return length;
}
static_assert(LongestUsage() < kPathBufferSize, "the usage line fits its buffer");

// Appends piece to the usage line, which the static_assert above proves to fit.
void Append(char *text, const char *piece) {
    size_t length = strlen(text);
    snprintf(text + length, kPathBufferSize - length, "%s", piece);
}

// Any other command line: the modes and their switches, from the tables
// ("Error -- Use /INSTALL [/QEL] [/ALLUSERS], /USER [/QEL], ... or /UNINSTALL").
int EndWithUsage(const char *directory) {
    OpenRunLog(directory, RunLock::NotAsked);
    char usage[kPathBufferSize] = "Error -- Use ";
    constexpr size_t count = sizeof kModes / sizeof kModes[0];
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            Append(usage, i + 1 < count ? ", " : " or ");
        Append(usage, kModes[i].word);
        for (const auto &option : kSwitches) {
            if ((kModes[i].switches & option.bit) != 0) {
                Append(usage, " [");
                Append(usage, option.word);
                Append(usage, "]");
            }
        }
    }
    Append(usage, "\n\n");
    return EndWith(usage, kExitBadCommandLine);
}

// A deployment's mode (one that takes /WAIT) whose wait passed: it ends before
// it touches anything, TEMPTXT.log included, and its tool runs it again later.
int EndWithLockHeld(const char *directory) {
    HoldProgressLines();
    OpenProgressLog(directory);
    return EndWith("Error -- Another run still holds the lock, nothing done\n\n", kExitLockHeld);
}

// What the mode's row asks for, then its job.
int RunMode(const Mode &mode, CtlRun &run, RunLock lock) {
    OpenRunLog(run.directory, lock);
    if (mode.setup != SetupFile::Unused)
        run.setupEnded = ReadSetup(run.directory, (run.switches & kSwitchQel) != 0, &run.setup);
    if (mode.setup == SetupFile::Required && run.setupEnded != nullptr)
        return EndWith(run.setupEnded, kExitNoSetupFile);
    return mode.job(run);
}

} // namespace

bool ScriptLogPath(const char *directory, char *path) {
    return directory[0] != '\0' &&
           JoinText(path, directory, SeparatorAfter(directory), kScriptLogName);
}

int EndWith(const char *finalMessage, int exitCode) {
    EndLogs(finalMessage);
    return exitCode;
}

int RunRegOSTCtl(int argc, char **argv) {
    CtlRun run = {};
    ProgramFolder folder =
        FindProgramDirectory(argc > 0 ? argv[0] : nullptr, run.directory, run.fileName);
    DWORD lockWait = kRunLockWait;
    // A command line that msvcrt had no memory to split (argc 0) names no mode.
    const Mode *mode = ReadCommand(argc, argv, &run.switches, &lockWait);
    // A refusal reads and writes nothing but its line, so it waits for no
    // one: a setup learns at once that its command will never work.
    if (mode == nullptr)
        return EndWithUsage(run.directory);
    if (folder != ProgramFolder::Usable) {
        OpenRunLog(run.directory, RunLock::NotAsked);
        return EndWith(RefusedFolderLine(folder), kExitNoSetupFile);
    }
    RunLock lock = LockRuns(run.directory, lockWait);
    int exitCode = lock == RunLock::Held && (mode->switches & kSwitchWait) != 0
                       ? EndWithLockHeld(run.directory)
                       : RunMode(*mode, run, lock);
    UnlockRuns();
    return exitCode;
}
