// The run: switches, setup file, and the registry steps for each release.
#include <string.h>

#include "driver/driver.h"
#include "log/log.h"
#include "steps/steps.h"

namespace {

// "/LOG" opens the registry-script log at once; true when "/QEL" is there.
bool ExamineArguments(int argc, char **argv, const char *programDirectory) {
    bool secondAddOn = false;
    for (int i = 1; i < argc; ++i) {
        size_t length = strlen(argv[i]);
        if (length >= kArgumentBufferSize)
            continue; // too long to be a switch
        char word[kArgumentBufferSize];
        memcpy(word, argv[i], length + 1);
        UpperCaseInPlace(word);
        if (strcmp(word, "/LOG") == 0)
            OpenRegistryScriptLog(programDirectory);
        else if (strcmp(word, "/QEL") == 0)
            secondAddOn = true;
    }
    return secondAddOn;
}

// The switches and the setup file, read once, then the run.
void RegisterFromCommandLine(int argc, char **argv, const char *programDirectory, RunLock lock) {
    OpenRunLog(programDirectory, lock);
    if (argc > 3)
        WriteProgressLine("Error -- Incorrect number of parameters\n\n");
    bool secondAddOn = ExamineArguments(argc, argv, programDirectory);
    Setup setup;
    const char *ended = ReadSetup(programDirectory, secondAddOn, &setup);
    StepWrites writes(kInstallMode);
    if (RunRegistration(writes, {programDirectory, secondAddOn, &setup, ended}))
        EndRegistration();
}

} // namespace

int RunRegOST(int argc, char **argv) {
    char directory[kPathBufferSize];
    char fileName[kPathBufferSize];
    ProgramFolder folder = FindProgramDirectory(argc > 0 ? argv[0] : nullptr, directory, fileName);
    // A folder refused, or a command line that msvcrt had no memory to split,
    // is said at once: its line is all the run writes.
    if (folder != ProgramFolder::Usable || argv == nullptr) {
        OpenRunLog(directory, RunLock::NotAsked);
        EndLogs(folder != ProgramFolder::Usable ? RefusedFolderLine(folder)
                                                : "Error -- Out of memory\n\n");
        return 0;
    }
    RunLock lock = LockRuns(directory, kRunLockWait);
    RegisterFromCommandLine(argc, argv, directory, lock);
    UnlockRuns();
    return 0; // setup programs read the logs, not the exit code
}

bool RunRegistration(StepWrites &writes, const RunInput &input) {
    if (input.setupEnded != nullptr) {
        EndLogs(input.setupEnded);
        return false;
    }
    RegisterReleases(writes, *input.setup, input.secondAddOn);
    return true;
}

void EndRegistration() {
    EndLogs("Installation Completed\n\n");
}

void RegisterReleases(StepWrites &writes, const Setup &setup, bool secondAddOn) {
    ReleaseInput release = {
        "", "", setup.mainLoaderPath, setup.secondLoaderPath, setup.customData, secondAddOn};
    for (int i = 0; i < setup.releaseCount; ++i) {
        CopyRelease(setup.releaseList, i, release.number, release.keyName);
        RunReleaseSteps(writes, release);
    }
}

void ResetRunForTests() {
    ResetLogStateForTests();
}
