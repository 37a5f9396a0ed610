// Registry writes followed by their records, and the tally of the run.
#include "steps/step_writes.h"

#include "common/text.h"
#include "log/log.h"
#include "registry/registry.h"
#include "steps/steps.h"

namespace {

StepTally tally = {0, 0};
WriteMode writeMode = WriteMode::Install;

bool LeftAlone(HKEY root) {
    return writeMode == WriteMode::User && root != HKEY_CURRENT_USER;
}

} // namespace

void SetWriteMode(WriteMode mode) {
    writeMode = mode;
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
}

bool WriteRecordedString(HKEY root, const char *keyPath, const char *valueName, const char *text) {
    if (LeftAlone(root))
        return true;
    if (!WriteStringValue(root, keyPath, valueName, text))
        return false;
    WriteRegistryScriptRecord(keyPath, text, valueName, false, root);
    return true;
}

bool WriteRecordedDword(HKEY root, const char *keyPath, const char *valueName, DWORD number) {
    if (LeftAlone(root))
        return true;
    if (writeMode == WriteMode::User) {
        BYTE data[4];
        DWORD type = 0;
        DWORD size = 0;
        if (ReadValue(root, keyPath, valueName, &type, data, sizeof data, &size) ==
            ValueLookup::Found)
            return true;
    }
    if (!WriteDwordValue(root, keyPath, valueName, number))
        return false;
    // The record states the number that was written, in decimal.
    char text[kNumberTextSize];
    snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(number));
    WriteRegistryScriptRecord(keyPath, text, valueName, true, root);
    return true;
}
