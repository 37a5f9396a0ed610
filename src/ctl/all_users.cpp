// /INSTALL /ALLUSERS: the folder's Active Setup entry, through which every
// user's next logon runs /USER. It lives here rather than in the driver's
// run so that RegOST.exe, which never writes it, does not carry it.
#include "ctl/ctl.h"
#include "driver/driver.h"
#include "log/log.h"
#include "steps/key_paths.h"
#include "steps/step_writes.h"
#include "steps/steps.h"

namespace {

static_assert(TextLength(kActiveSetupPrefix) + TextLength(kEntryNamePrefix) + kEntryHashDigits <
                  kPathBufferSize,
              "the entry's key fits its buffer");

} // namespace

void ActiveSetupKey(const char *programDirectory, char *key) {
    snprintf(key, kPathBufferSize, "%s%s%0*lX", kActiveSetupPrefix, kEntryNamePrefix,
             kEntryHashDigits, FolderHash(programDirectory));
}

// After the releases, so that a logon that runs the command finds them
// registered.
void RegisterForEveryUser(StepWrites &writes, const CtlRun &run) {
    char key[kPathBufferSize];
    ActiveSetupKey(run.directory, key);
    SYSTEMTIME now;
    GetLocalTime(&now);
    WriteProgressLine(WriteActiveSetupEntry(writes, key, run.directory, run.fileName,
                                            (run.switches & kSwitchQel) != 0, &now)
                          ? "Active Setup Registry Successful\n\n"
                          : "Error -- Active Setup Registry\n\n");
}
