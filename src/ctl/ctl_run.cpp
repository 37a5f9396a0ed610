// RegOSTCtl's command line, its two jobs and their exit codes.
#include <string.h>

#include "ctl/ctl.h"
#include "driver/driver.h"
#include "log/log.h"

namespace {

enum class Command { Install, InstallWithSecond, Uninstall, Unknown };

Command ReadCommand(int argc, char **argv) {
    if (argc < 2 || argc > 3)
        return Command::Unknown;
    char words[2][kArgumentBufferSize] = {"", ""};
    for (int i = 1; i < argc; ++i) {
        size_t length = strlen(argv[i]);
        if (length >= kArgumentBufferSize)
            return Command::Unknown;
        memcpy(words[i - 1], argv[i], length + 1);
        UpperCaseInPlace(words[i - 1]);
    }
    if (strcmp(words[0], "/INSTALL") == 0 && argc == 2)
        return Command::Install;
    if (strcmp(words[0], "/INSTALL") == 0 && strcmp(words[1], "/QEL") == 0)
        return Command::InstallWithSecond;
    if (strcmp(words[0], "/UNINSTALL") == 0 && argc == 2)
        return Command::Uninstall;
    return Command::Unknown;
}

// False when the folder is unknown or the path does not fit.
bool ScriptLogPath(const char *directory, char *path) {
    return directory[0] != '\0' &&
           JoinText(path, directory, SeparatorAfter(directory), "TEMPTXT.log");
}

int EndWith(const char *finalMessage, int exitCode) {
    EndLogs(finalMessage);
    return exitCode;
}

// RegOST's run with /LOG, its outcome turned into the exit code. Records
// that cannot be kept would leave writes that no uninstall can find, so
// nothing is written then.
int Install(const char *directory, char *argv0, bool secondAddOn) {
    char path[kPathBufferSize];
    FILE *scriptLog = ScriptLogPath(directory, path) ? OpenDosStream(path, "a") : nullptr;
    if (scriptLog == nullptr) {
        OpenProgressLog(directory);
        return EndWith("Error -- TEMPTXT.log cannot be written\n\n", kExitScriptLogClosed);
    }
    fclose(scriptLog);

    char logSwitch[] = "/LOG";
    char secondSwitch[] = "/QEL";
    char *arguments[] = {argv0, logSwitch, secondSwitch, nullptr};
    RunOutcome outcome = {};
    RunRegistration(secondAddOn ? 3 : 2, arguments, &outcome);
    if (!outcome.completed)
        return kExitNoSetupFile;
    if (outcome.failedWrites > 0)
        return kExitWriteFailed;
    return outcome.registeredProducts == 0 ? kExitNoAutoCAD : kExitDone;
}

int Uninstall(const char *directory) {
    OpenProgressLog(directory);
    char path[kPathBufferSize];
    Record *records = nullptr;
    int count = 0;
    RecordsRead read =
        ScriptLogPath(directory, path) ? ReadRecords(path, &records, &count) : RecordsRead::NoFile;
    Removal removal = Removal::OutOfMemory;
    if (read == RecordsRead::Read)
        removal = RemoveRecordedValues(records, count);
    FreeRecords(records);
    if (read == RecordsRead::NoFile)
        return EndWith("TEMPTXT.log not found\n\n", kExitNoRecords);
    if (removal == Removal::OutOfMemory)
        return EndWith("Error -- Out of memory\n\n", kExitWriteFailed);
    return EndWith("Uninstallation Completed\n\n",
                   removal == Removal::Done ? kExitDone : kExitWriteFailed);
}

} // namespace

int RunRegOSTCtl(int argc, char **argv) {
    char directory[kPathBufferSize];
    FindProgramDirectory(argc > 0 ? argv[0] : nullptr, directory);
    // Runs from one folder take turns, whichever of the two programs runs.
    bool locked = LockProgramFolder(directory);

    int exitCode = kExitBadCommandLine;
    switch (ReadCommand(argc, argv)) {
    case Command::Install:
        exitCode = Install(directory, argv[0], false);
        break;
    case Command::InstallWithSecond:
        exitCode = Install(directory, argv[0], true);
        break;
    case Command::Uninstall:
        exitCode = Uninstall(directory);
        break;
    case Command::Unknown:
        OpenProgressLog(directory);
        EndLogs("Error -- Use /INSTALL, /INSTALL /QEL or /UNINSTALL\n\n");
        break;
    }
    if (locked)
        UnlockProgramFolder();
    return exitCode;
}
