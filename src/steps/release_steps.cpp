// A release's registry steps, each once: its progress lines and the modes
// that run it. A new step is a row of kReleaseSteps.
#include "log/log.h"
#include "steps/step_writes.h"
#include "steps/steps.h"

namespace {

// One step: whether it is the second add-on's (run only with "/QEL"), the
// modes that run it, and its progress lines.
struct ReleaseStep {
    bool (*write)(StepWrites &writes, const ReleaseInput &release, bool secondAddOn);
    bool secondAddOn;
    unsigned modes;
    const char *success;
    const char *failure;
};

// /USER runs the main vendor key with the custom data too: its writes leave
// HKEY_LOCAL_MACHINE, where that goes, alone. The settings are the user's
// own: a verification leaves them out.
const ReleaseStep kReleaseSteps[] = {
    {WriteVendorKey, false, kForInstall | kForUser | kForVerify,
     "Ostrel Registration Registry Successful (1)\n\n",
     "Error -- Ostrel Registration Registry (1)\n\n"},
    {WriteVendorKey, true, kForInstall | kForUser | kForVerify,
     "QEL Registration Registry Successful (1)\n\n", "Error -- QEL Registration Registry (1)\n\n"},
    {WriteDefaultSettings, false, kForInstall | kForUser,
     "Ostrel Settings Registry Successful (1)\n\n", "Error -- Ostrel Settings Registry (1)\n\n"},
    {WriteDemandLoadEntries, true, kForInstall | kForVerify,
     "Installation AutoCAD Successful (2)\n\n", "Error -- AutoCAD registry (2)\n\n"},
    {WriteDemandLoadEntries, false, kForInstall | kForVerify,
     "Installation AutoCAD Successful (2)\n\n", "Error -- AutoCAD registry (2)\n\n"},
};

void ReportStep(const StepWrites &writes, bool succeeded, const char *success,
                const char *failure) {
    if (writes.mode->logsStepLines)
        WriteProgressLine(succeeded ? success : failure);
}

} // namespace

void RunReleaseSteps(StepWrites &writes, const ReleaseInput &release) {
    for (const ReleaseStep &step : kReleaseSteps) {
        if ((step.modes & writes.mode->steps) == 0 ||
            (step.secondAddOn && !release.withSecondAddOn))
            continue;
        ReportStep(writes, step.write(writes, release, step.secondAddOn), step.success,
                   step.failure);
    }
}
