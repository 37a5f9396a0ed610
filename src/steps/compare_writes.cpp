// The writes of a verification, which compare instead: the value under
// HKEY_LOCAL_MACHINE, or under HKEY_CURRENT_USER where a step falls back to
// it. Other HKEY_CURRENT_USER values are the user's (settings, and the loader
// that the other edition's install may have taken over): not checked.
#include <string.h>

#include "log/log.h"
#include "registry/registry.h"
#include "steps/step_writes.h"
#include "steps/steps.h"

namespace {

bool IsFallbackOfFinding(const Finding &finding, HKEY root, const char *keyPath,
                         const char *valueName) {
    return finding.open && root == HKEY_CURRENT_USER && finding.root == HKEY_LOCAL_MACHINE &&
           strcmp(finding.key, keyPath) == 0 && strcmp(finding.name, valueName) == 0;
}

bool CheckValue(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                DWORD type, const BYTE *data, DWORD size) {
    Finding &finding = writes.finding;
    bool fallback = IsFallbackOfFinding(finding, root, keyPath, valueName);
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

bool CompareString(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                   const char *text) {
    return CheckValue(writes, root, keyPath, valueName, REG_SZ,
                      reinterpret_cast<const BYTE *>(text), static_cast<DWORD>(strlen(text) + 1));
}

bool CompareDword(StepWrites &writes, HKEY root, const char *keyPath, const char *valueName,
                  DWORD number) {
    BYTE data[4];
    DwordData(number, data);
    return CheckValue(writes, root, keyPath, valueName, REG_DWORD, data, sizeof data);
}

// The step has given up on the value: the finding's line.
void ReportFinding(StepWrites &writes) {
    Finding &finding = writes.finding;
    if (!finding.open)
        return;
    finding.open = false;
    WriteProgressLine(finding.match == ValueMatch::Missing ? "Missing -- " : "Different -- ",
                      finding.key, "\\", finding.name, RootSuffix(finding.root));
}

} // namespace

const StepMode kVerifyMode = {kForVerify, false, CompareString, CompareDword, ReportFinding};
