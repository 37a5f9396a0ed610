// The run: switches, setup file, and the registry steps for each release.
#include <string.h>

#include "driver/driver.h"
#include "log/log.h"
#include "steps/steps.h"

RunState run;

namespace {

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

void RegisterRelease() {
    ReportStep(WriteVendorKey(run.releaseNumber, false),
               "Ostrel Registration Registry Successful (1)\n\n",
               "Error -- Ostrel Registration Registry (1)\n\n");
    if (run.secondAddOn)
        ReportStep(WriteVendorKey(run.releaseNumber, true),
                   "QEL Registration Registry Successful (1)\n\n",
                   "Error -- QEL Registration Registry (1)\n\n");
    ReportStep(WriteDefaultSettings(run.releaseNumber),
               "Ostrel Settings Registry Successful (1)\n\n",
               "Error -- Ostrel Settings Registry (1)\n\n");
    if (run.secondAddOn)
        ReportStep(
            WriteDemandLoadEntries(run.releaseKeyName, run.secondLoaderPath, kLoadCtrlsValue, true),
            "Installation AutoCAD Successful (2)\n\n", "Error -- AutoCAD registry (2)\n\n");
    ReportStep(
        WriteDemandLoadEntries(run.releaseKeyName, run.mainLoaderPath, kLoadCtrlsValue, false),
        "Installation AutoCAD Successful (2)\n\n", "Error -- AutoCAD registry (2)\n\n");
}

int EndRun(const char *finalMessage) {
    EndLogs(finalMessage);
    return 0; // setup programs read the logs, not the exit code
}

} // namespace

int RunRegOST(int argc, char **argv) {
    FindProgramDirectory(run.programDirectory);
    OpenProgressLog(run.programDirectory);
    if (argc > 3)
        WriteProgressLine("Error -- Incorrect number of parameters\n\n");
    ExamineArguments(argc, argv);

    JoinPath(run.setupFilePath, run.programDirectory, "RegOST.ini");
    JoinPath(run.mainLoaderPath, run.programDirectory, "Ostrel.arx");
    JoinPath(run.secondLoaderPath, run.programDirectory, "Qel.arx");
    if (!CheckSetupFile(run.setupFilePath))
        return EndRun("(INI) file not found\n\n");

    int releaseCount = 0;
    switch (ReadReleaseList(&releaseCount)) {
    case ReleaseListResult::Missing:
        return EndRun("Release number not found\n\n");
    case ReleaseListResult::WrongLength:
        return EndRun("Incorrect release number\n\n");
    case ReleaseListResult::Unknown:
        return EndRun("Unknown release number\n\n");
    case ReleaseListResult::Accepted:
        break;
    }
    ApplyLoaderOverrides();

    for (int i = 0; i < releaseCount; ++i) {
        CopyRelease(i, run.releaseNumber);
        run.releaseKeyName[0] = 'R';
        memcpy(run.releaseKeyName + 1, run.releaseNumber, sizeof run.releaseNumber);
        UpperCaseInPlace(run.releaseKeyName);
        RegisterRelease();
    }
    return EndRun("Installation Completed\n\n");
}

void ResetRunForTests() {
    run = RunState{};
    ResetLogStateForTests();
}
