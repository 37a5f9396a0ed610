// Registry writes followed by their records, and the tally of the run. In a
// verification the same calls compare instead: the value under
// HKEY_LOCAL_MACHINE, or under HKEY_CURRENT_USER where a step falls back to
// it. Other HKEY_CURRENT_USER values are the user's (settings, and the
// loader that the other edition's install may have taken over): not checked.
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

WriteMode writeMode = WriteMode::Install;

// A value found not in place, reported once its step gives up on it: a
// HKEY_LOCAL_MACHINE value may still be found where the step falls back.
struct Finding {
    bool open;
    ValueMatch match;
    HKEY root;
    char key[kPathBufferSize];
    char name[kPathBufferSize];
};
Finding finding = {};

bool IsFallbackOfFinding(HKEY root, const char *keyPath, const char *valueName) {
    return finding.open && root == HKEY_CURRENT_USER && finding.root == HKEY_LOCAL_MACHINE &&
           strcmp(finding.key, keyPath) == 0 && strcmp(finding.name, valueName) == 0;
}

bool CheckValue(HKEY root, const char *keyPath, const char *valueName, DWORD type, const BYTE *data,
                DWORD size) {
    bool fallback = IsFallbackOfFinding(root, keyPath, valueName);
    if (root == HKEY_CURRENT_USER && !fallback)
        return true;
    ValueMatch match = MatchValue(root, keyPath, valueName, type, data, size);
    if (match == ValueMatch::Same) {
        finding.open = false;
        return true;
    }
    // A fallback that is missing too leaves the finding where it belongs.
    if (!fallback || match == ValueMatch::Different) {
        finding.open = JoinText(finding.key, keyPath, "") && JoinText(finding.name, valueName, "");
        finding.match = match;
        finding.root = root;
    }
    return false;
}

bool LeftAlone(HKEY root) {
    return writeMode == WriteMode::User && root != HKEY_CURRENT_USER;
}

} // namespace

void RequireWholeRecords() {
    wholeRecordsRequired = true;
}

void SetWriteMode(WriteMode mode) {
    writeMode = mode;
    finding.open = false;
}

void CountFailedWrite() {
    ++tally.failedWrites;
    if (writeMode != WriteMode::Verify || !finding.open)
        return;
    finding.open = false;
    WriteProgressLine(finding.match == ValueMatch::Missing ? "Missing -- " : "Different -- ",
                      finding.key, "\\", finding.name,
                      finding.root == HKEY_CURRENT_USER ? " -- HKEY_CURRENT_USER.\n"
                                                        : " -- HKEY_LOCAL_MACHINE.\n");
}

void CountRegisteredProduct() {
    ++tally.registeredProducts;
}

void WriteStepError(const char *a, const char *b, const char *c, const char *d, const char *e) {
    if (writeMode != WriteMode::Verify)
        WriteProgressLine(a, b, c, d, e);
}

StepTally ReadStepTally() {
    return tally;
}

void ResetStepTally() {
    tally = StepTally{0, 0};
    writesStopped = false;
}

bool WriteRecordedString(HKEY root, const char *keyPath, const char *valueName, const char *text) {
    if (writeMode == WriteMode::Verify)
        return CheckValue(root, keyPath, valueName, REG_SZ, reinterpret_cast<const BYTE *>(text),
                          static_cast<DWORD>(strlen(text) + 1));
    if (LeftAlone(root))
        return true;
    if (writesStopped || !WriteStringValue(root, keyPath, valueName, text))
        return false;
    RecordWrite(root, keyPath, valueName, text, false);
    return true;
}

bool WriteRecordedDword(HKEY root, const char *keyPath, const char *valueName, DWORD number) {
    if (writeMode == WriteMode::Verify) {
        BYTE data[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                        static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
        return CheckValue(root, keyPath, valueName, REG_DWORD, data, sizeof data);
    }
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
    if (writesStopped || !WriteDwordValue(root, keyPath, valueName, number))
        return false;
    // The record states the number that was written, in decimal.
    char text[kNumberTextSize];
    snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(number));
    RecordWrite(root, keyPath, valueName, text, true);
    return true;
}
