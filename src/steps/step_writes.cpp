// Registry writes followed by their records, and the tally of the run.
#include "steps/step_writes.h"

#include "common/text.h"
#include "log/log.h"
#include "registry/registry.h"
#include "steps/steps.h"

namespace {

StepTally tally = {0, 0};
bool wholeRecordsRequired = false;
bool writesStopped = false;

// After a value was written: its record, or, where records are required and
// the log could not take it whole, a line naming the value (no uninstall can
// find it now) and no further write.
void RecordWrite(HKEY root, const char *keyPath, const char *valueName, const char *text,
                 bool isNumber) {
    if (WriteRegistryScriptRecord(keyPath, text, valueName, isNumber, root) ||
        !wholeRecordsRequired)
        return;
    WriteProgressLine("Error -- Record not written -- ", keyPath, "\\", valueName,
                      root == HKEY_CURRENT_USER ? " -- HKEY_CURRENT_USER.\n"
                                                : " -- HKEY_LOCAL_MACHINE.\n");
    CountFailedWrite();
    writesStopped = true;
}

} // namespace

void RequireWholeRecords() {
    wholeRecordsRequired = true;
}

void CountFailedWrite() {
    ++tally.failedWrites;
}

void CountRegisteredProduct() {
    ++tally.registeredProducts;
}

StepTally ReadStepTally() {
    return tally;
}

void ResetStepTally() {
    tally = StepTally{0, 0};
    writesStopped = false;
}

bool WriteRecordedString(HKEY root, const char *keyPath, const char *valueName, const char *text) {
    if (writesStopped || !WriteStringValue(root, keyPath, valueName, text))
        return false;
    RecordWrite(root, keyPath, valueName, text, false);
    return true;
}

bool WriteRecordedDword(HKEY root, const char *keyPath, const char *valueName, DWORD number) {
    if (writesStopped || !WriteDwordValue(root, keyPath, valueName, number))
        return false;
    // The record states the number that was written, in decimal.
    char text[kNumberTextSize];
    snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(number));
    RecordWrite(root, keyPath, valueName, text, true);
    return true;
}
