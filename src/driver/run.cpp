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
    char setupFilePath[kPathBufferSize] = "";
    char releaseList[kPathBufferSize] = "";
    char mainLoaderPath[kPathBufferSize] = "";
    char secondLoaderPath[kPathBufferSize] = "";
    char customData[kPathBufferSize] = "";
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

// The setup file's path and the default loader paths, all in the program
// folder. The loader names are no longer than the setup file's, so once its
// path fits, theirs do too. An unknown (empty) folder is never the current one.
bool ComposeProgramPaths() {
    static_assert(TextLength("Ostrel.arx") <= TextLength("RegOST.ini") &&
                      TextLength("Qel.arx") <= TextLength("RegOST.ini"),
                  "a default loader path must fit wherever the setup file's path fits");
    if (run.programDirectory[0] == '\0')
        return false;
    const char *separator = SeparatorAfter(run.programDirectory);
    if (!JoinText(run.setupFilePath, run.programDirectory, separator, "RegOST.ini"))
        return false;
    JoinText(run.mainLoaderPath, run.programDirectory, separator, "Ostrel.arx");
    JoinText(run.secondLoaderPath, run.programDirectory, separator, "Qel.arx");
    return true;
}

void ReportStep(bool succeeded, const char *success, const char *failure) {
    WriteProgressLine(succeeded ? success : failure);
}

void RegisterRelease(const char *releaseNumber, const char *releaseKeyName) {
    ReportStep(WriteVendorKey(releaseNumber, run.mainLoaderPath, run.customData, false),
               "Ostrel Registration Registry Successful (1)\n\n",
               "Error -- Ostrel Registration Registry (1)\n\n");
    if (run.secondAddOn)
        ReportStep(WriteVendorKey(releaseNumber, run.secondLoaderPath, "", true),
                   "QEL Registration Registry Successful (1)\n\n",
                   "Error -- QEL Registration Registry (1)\n\n");
    ReportStep(WriteDefaultSettings(releaseNumber), "Ostrel Settings Registry Successful (1)\n\n",
               "Error -- Ostrel Settings Registry (1)\n\n");
    if (run.secondAddOn)
        ReportStep(
            WriteDemandLoadEntries(releaseKeyName, run.secondLoaderPath, kLoadCtrlsValue, true),
            "Installation AutoCAD Successful (2)\n\n", "Error -- AutoCAD registry (2)\n\n");
    ReportStep(WriteDemandLoadEntries(releaseKeyName, run.mainLoaderPath, kLoadCtrlsValue, false),
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

void RunRegistration(int argc, char **argv, RunOutcome *outcome) {
    ResetStepTally();
    FindProgramDirectory(argc > 0 ? argv[0] : nullptr, run.programDirectory);
    OpenRunLog(run.programDirectory);
    if (argc > 3)
        WriteProgressLine("Error -- Incorrect number of parameters\n\n");
    ExamineArguments(argc, argv);

    if (!ComposeProgramPaths() || !CheckSetupFile(run.setupFilePath))
        return EndRun("(INI) file not found\n\n", false, outcome);

    int releaseCount = 0;
    switch (ReadReleaseList(run.setupFilePath, run.releaseList, &releaseCount)) {
    case ReleaseListResult::Missing:
        return EndRun("Release number not found\n\n", false, outcome);
    case ReleaseListResult::WrongLength:
        return EndRun("Incorrect release number\n\n", false, outcome);
    case ReleaseListResult::Unknown:
        return EndRun("Unknown release number\n\n", false, outcome);
    case ReleaseListResult::Accepted:
        break;
    }
    ApplyLoaderOverrides(run.setupFilePath, run.programDirectory, run.secondAddOn,
                         run.mainLoaderPath, run.secondLoaderPath);
    ReadCustomData(run.setupFilePath, run.customData);

    for (int i = 0; i < releaseCount; ++i) {
        char releaseNumber[kReleaseNumberSize];
        CopyRelease(run.releaseList, i, releaseNumber);
        char releaseKeyName[kReleaseKeyNameSize];
        releaseKeyName[0] = 'R';
        memcpy(releaseKeyName + 1, releaseNumber, sizeof releaseNumber);
        RegisterRelease(releaseNumber, releaseKeyName);
    }
    EndRun("Installation Completed\n\n", true, outcome);
}

void ResetRunForTests() {
    run = RunState{};
    ResetLogStateForTests();
}
