// The writes of the user's half, which a logon makes through /USER: only
// HKEY_CURRENT_USER, and a number only where the user has none yet. What they
// write is recorded as the install's writes are (TEMPTXT.log is closed then).
#include "registry/registry.h"
#include "steps/step_writes.h"
#include "steps/steps.h"

namespace {

bool WriteUserString(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                     const char *text) {
    return root != HKEY_CURRENT_USER ||
           WriteAndRecordString(writes, root, keyPath, valueName, text);
}

bool WriteUserDword(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                    DWORD number) {
    if (root != HKEY_CURRENT_USER)
        return true;
    BYTE data[4];
    DWORD type = 0;
    DWORD size = 0;
    if (ReadValue(root, keyPath, valueName, &type, data, sizeof data, &size) == ValueLookup::Found)
        return true;
    return WriteAndRecordDword(writes, root, keyPath, valueName, number);
}

} // namespace

const StepMode kUserMode = {kForUser, true, WriteUserString, WriteUserDword, nullptr};
