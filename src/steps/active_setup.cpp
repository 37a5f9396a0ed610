// The Active Setup entry of a program folder under HKEY_LOCAL_MACHINE: at
// each user's next logon Windows runs its StubPath once, as that user, when
// the user's stamp of the entry is missing or lower than its Version.
#include <string.h>

#include "log/log.h"
#include "registry/registry.h"
#include "steps/step_writes.h"
#include "steps/steps.h"

namespace {

constexpr int kVersionParts = 4;
constexpr unsigned kVersionPartLimit = 65535;

// Four numbers separated by commas, each within the limit; false otherwise.
bool ParseVersion(const char *text, unsigned *parts) {
    for (int i = 0; i < kVersionParts; ++i) {
        if (*text < '0' || *text > '9')
            return false;
        parts[i] = 0;
        while (*text >= '0' && *text <= '9' && parts[i] <= kVersionPartLimit)
            parts[i] = parts[i] * 10 + static_cast<unsigned>(*text++ - '0');
        if (parts[i] > kVersionPartLimit || *text != (i + 1 < kVersionParts ? ',' : '\0'))
            return false;
        ++text;
    }
    return true;
}

bool IsLower(const unsigned *a, const unsigned *b) {
    for (int i = 0; i < kVersionParts; ++i) {
        if (a[i] != b[i])
            return a[i] < b[i];
    }
    return false;
}

// The version from the local time, unless the entry holds one as high or
// higher already (the clock was put back, daylight saving time ended, or two
// runs fell into one millisecond): then one more than that, since users run
// the command again only for a higher version. One at the ceiling stays:
// back at 0,0,0,0 it would be lower than every user's stamp for good.
void ComposeVersion(const char *key, const SYSTEMTIME *now, char *text) {
    unsigned parts[kVersionParts] = {
        now->wYear, static_cast<unsigned>(now->wMonth * 100u + now->wDay),
        static_cast<unsigned>(now->wHour * 100u + now->wMinute),
        static_cast<unsigned>(now->wSecond * 1000u + now->wMilliseconds)};
    for (unsigned &part : parts)
        part = part > kVersionPartLimit ? kVersionPartLimit : part;

    char held[kVersionTextSize];
    unsigned old[kVersionParts];
    DWORD type = 0;
    DWORD size = 0;
    if (ReadValue(HKEY_LOCAL_MACHINE, key, "Version", &type, reinterpret_cast<BYTE *>(held),
                  sizeof held, &size) == ValueLookup::Found &&
        type == REG_SZ && size > 0 && size <= sizeof held && held[size - 1] == '\0' &&
        ParseVersion(held, old) && !IsLower(old, parts)) {
        memcpy(parts, old, sizeof parts);
        bool raised = false;
        for (int i = kVersionParts - 1; i >= 0 && !raised; --i) {
            raised = parts[i] < kVersionPartLimit;
            parts[i] = raised ? parts[i] + 1 : 0;
        }
        if (!raised) {
            memcpy(parts, old, sizeof parts);
            WriteProgressLine("Warning -- Active Setup Version at its highest, kept: users who "
                              "ran the command do not run it again.\n");
        }
    }
    snprintf(text, kVersionTextSize, "%u,%u,%u,%u", parts[0], parts[1], parts[2], parts[3]);
}

bool WriteEntryValue(StepWrites &writes, const char *key, const char *name, const char *shownName,
                     const char *text, DWORD number) {
    bool written = text != nullptr ? WriteStepString(writes, HKEY_LOCAL_MACHINE, key, name, text)
                                   : WriteStepDword(writes, HKEY_LOCAL_MACHINE, key, name, number);
    if (!written) {
        WriteProgressLine("Error -- Active Setup registry -- ", shownName,
                          " -- HKEY_LOCAL_MACHINE.\n");
        CountFailedWrite(writes);
    }
    return written;
}

} // namespace

bool WriteActiveSetupEntry(StepWrites &writes, const char *key, const char *programDirectory,
                           const char *programName, bool secondAddOn, const SYSTEMTIME *now) {
    // The command names the program as it was started: a setup may ship it
    // under another name, and a logon would run nothing.
    char stubPath[kPathBufferSize];
    int length =
        snprintf(stubPath, sizeof stubPath, "\"%s%s%s\" /USER%s", programDirectory,
                 SeparatorAfter(programDirectory), programName, secondAddOn ? " /QEL" : "");
    if (programName[0] == '\0' || length < 0 || static_cast<size_t>(length) >= sizeof stubPath) {
        WriteProgressLine("Error -- Active Setup registry -- StubPath -- HKEY_LOCAL_MACHINE.\n");
        CountFailedWrite(writes);
        return false;
    }
    char version[kVersionTextSize];
    ComposeVersion(key, now, version);
    // The version goes last: it is what sends every user through the command.
    bool succeeded = WriteEntryValue(writes, key, "", "(Default)", "Ostrel", 0);
    succeeded &= WriteEntryValue(writes, key, "StubPath", "StubPath", stubPath, 0);
    succeeded &= WriteEntryValue(writes, key, "IsInstalled", "IsInstalled", nullptr, 1);
    succeeded &= WriteEntryValue(writes, key, "Version", "Version", version, 0);
    return succeeded;
}
