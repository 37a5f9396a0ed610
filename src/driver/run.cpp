// The run: switches, setup file, and the registry steps for each release.
#include <string.h>

#include "driver/driver.h"
#include "log/log.h"
#include "steps/steps.h"

namespace {

// What the whole run shares, from the switches and the setup file.
struct RunState {
    bool secondAddOn = false; // "/QEL"
    char programDirectory[kPathBufferSize] = "";
    Setup setup = {};
};
RunState run;

void ExamineArguments(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        size_t length = strlen(argv[i]);
        if (length >= kArgumentBufferSize)
            continue; // too long to be a switch
        char word[kArgumentBufferSize];
        memcpy(word, argv[i], length + 1);
        UpperCaseInPlace(word);
        if (strcmp(word, "/LOG") == 0)
            OpenRegistryScriptLog(run.programDirectory);
        else if (strcmp(word, "/QEL") == 0)
            run.secondAddOn = true;
    }
}

void ReportStep(bool succeeded, const char *success, const char *failure) {
    WriteProgressLine(succeeded ? success : failure);
}

void RegisterRelease(const char *releaseNumber, const char *releaseKeyName) {
    ReportStep(WriteVendorKey(releaseNumber, run.setup.mainLoaderPath, run.setup.customData, false),
               "Ostrel Registration Registry Successful (1)\n\n",
               "Error -- Ostrel Registration Registry (1)\n\n");
    if (run.secondAddOn)
        ReportStep(WriteVendorKey(releaseNumber, run.setup.secondLoaderPath, "", true),
                   "QEL Registration Registry Successful (1)\n\n",
                   "Error -- QEL Registration Registry (1)\n\n");
    ReportStep(WriteDefaultSettings(releaseNumber), "Ostrel Settings Registry Successful (1)\n\n",
               "Error -- Ostrel Settings Registry (1)\n\n");
    if (run.secondAddOn)
        ReportStep(WriteDemandLoadEntries(releaseKeyName, run.setup.secondLoaderPath,
                                          kLoadCtrlsValue, true),
                   "Installation AutoCAD Successful (2)\n\n", "Error -- AutoCAD registry (2)\n\n");
    ReportStep(
        WriteDemandLoadEntries(releaseKeyName, run.setup.mainLoaderPath, kLoadCtrlsValue, false),
        "Installation AutoCAD Successful (2)\n\n", "Error -- AutoCAD registry (2)\n\n");
}

void EndRun(const char *finalMessage, bool completed, RunOutcome *outcome) {
    EndLogs(finalMessage);
    if (outcome != nullptr) {
        StepTally tally = ReadStepTally();
        *outcome = RunOutcome{completed, tally.failedWrites, tally.registeredProducts};
    }
}

} // namespace

int RunRegOST(int argc, char **argv) {
    char directory[kPathBufferSize];
    FindProgramDirectory(argc > 0 ? argv[0] : nullptr, directory);
    LockRuns(directory, INFINITE);
    RunRegistration(argc, argv, nullptr);
    UnlockRuns();
    return 0; // setup programs read the logs, not the exit code
}

void RunRegistration(int argc, char **argv, RunOutcome *outcome, RunExtension afterReleases) {
    ResetStepTally();
    bool usable = FindProgramDirectory(argc > 0 ? argv[0] : nullptr, run.programDirectory);
    OpenRunLog(run.programDirectory);
    if (!usable)
        return EndRun(kUnusableFolderLine, false, outcome);
    if (argc > 3)
        WriteProgressLine("Error -- Incorrect number of parameters\n\n");
    ExamineArguments(argc, argv);

    const char *ended = ReadSetup(run.programDirectory, run.secondAddOn, &run.setup);
    if (ended != nullptr)
        return EndRun(ended, false, outcome);

    for (int i = 0; i < run.setup.releaseCount; ++i) {
        char releaseNumber[kReleaseNumberSize];
        char releaseKeyName[kReleaseKeyNameSize];
        CopyRelease(run.setup.releaseList, i, releaseNumber, releaseKeyName);
        RegisterRelease(releaseNumber, releaseKeyName);
    }
    if (afterReleases != nullptr)
        afterReleases(run.programDirectory, run.secondAddOn);
    EndRun("Installation Completed\n\n", true, outcome);
}

void ResetRunForTests() {
    run = RunState{};
    ResetLogStateForTests();
}
