// What every mode's writes share (the tally, the steps' error lines), and the
// install's writes: each value written, then its record.
#include "steps/step_writes.h"

#include "common/text.h"
#include "log/log.h"
#include "registry/registry.h"

namespace {

// After a value was written: its record, or, where records are required and
// the log could not take it whole, a line naming the value (no uninstall can
// find it now) and no further write.
void RecordWrite(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                 const char *text, bool isNumber) {
    if (WriteRegistryScriptRecord(keyPath, text, valueName, isNumber, root) ||
        !writes.wholeRecordsRequired)
        return;
    WriteProgressLine("Error -- Record not written -- ", keyPath, "\\", valueName,
                      RootSuffix(root));
    CountFailedWrite(writes);
    writes.stopped = true;
}

} // namespace

const StepMode kInstallMode = {kForInstall, true, WriteAndRecordString, WriteAndRecordDword,
                               nullptr};

void CountFailedWrite(StepWrites &writes) {
    ++writes.tally.failedWrites;
    if (writes.mode->failedWrite != nullptr)
        writes.mode->failedWrite(writes);
}

bool WriteAndRecordString(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                          const char *text) {
    if (writes.stopped || !WriteStringValue(root, keyPath, valueName, text))
        return false;
    RecordWrite(writes, root, keyPath, valueName, text, false);
    return true;
}

bool WriteAndRecordDword(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                         DWORD number) {
    if (writes.stopped || !WriteDwordValue(root, keyPath, valueName, number))
        return false;
    // The record states the number that was written, in decimal.
    char text[kNumberTextSize];
    snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(number));
    RecordWrite(writes, root, keyPath, valueName, text, true);
    return true;
}
