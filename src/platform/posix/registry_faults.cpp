// Every switch that makes the simulation refuse what Windows might refuse: the
// simulator's read-only roots and the faults tests inject (creates and sets
// under a key, the n-th set, an enumeration index, the n-th allocation, a
// save that runs out of disk). One place owns them all, so one call resets
// them all.

#include "platform/posix/registry_store.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>

namespace standin {
namespace {

std::set<HKEY> gReadOnlyRoots;

struct PathFault {
    HKEY root;
    std::vector<std::u16string> path; // NameKey of each component
    bool anyValue;
    std::u16string value;
};
std::vector<PathFault> gCreateFaults;
std::vector<PathFault> gSetFaults;
int gSetCountdown = -1;
int gEnumFailIndex = -1;
int gAllocCountdown = -1;
long gSaveFailAfter = -1;

bool StartsWith(const std::vector<std::u16string> &path,
                const std::vector<std::u16string> &prefix) {
    return prefix.size() <= path.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

void AddPathFault(std::vector<PathFault> &faults, HKEY root, const char *keyPath,
                  const char *valueName) {
    std::vector<std::string> components;
    SplitKeyPath(keyPath, &components);
    std::vector<std::u16string> path;
    for (const std::string &c : components)
        path.push_back(NameKey(c));
    faults.push_back(
        PathFault{root, path, valueName == nullptr, NameKey(valueName ? valueName : "")});
}

// A countdown that fires once when it reaches zero; -1 is off.
bool CountDown(int &countdown) {
    if (countdown < 0)
        return false;
    return countdown-- == 0;
}

} // namespace

bool IsReadOnlyRoot(HKEY root) {
    return gReadOnlyRoots.count(root) != 0;
}

bool CreateFaultCovers(HKEY root, const std::vector<std::u16string> &path) {
    for (const PathFault &f : gCreateFaults)
        if (f.root == root && StartsWith(path, f.path))
            return true;
    return false;
}

bool SetFaultCovers(HKEY root, const Key &key, const std::string &valueName) {
    if (gSetFaults.empty())
        return false;
    std::vector<std::u16string> path = PathKeys(key);
    std::u16string value = NameKey(valueName);
    for (const PathFault &f : gSetFaults)
        if (f.root == root && f.path == path && (f.anyValue || f.value == value))
            return true;
    return false;
}

bool TakeSetFault() {
    return CountDown(gSetCountdown);
}

bool EnumFaultAt(DWORD index) {
    return gEnumFailIndex >= 0 && index == static_cast<DWORD>(gEnumFailIndex);
}

bool TakeAllocFault() {
    return CountDown(gAllocCountdown);
}

void ClearReadOnlyRoots() {
    gReadOnlyRoots.clear();
}

long TakeSaveFault() {
    long limit = gSaveFailAfter;
    gSaveFailAfter = -1;
    return limit;
}

} // namespace standin

using namespace standin;

void SetStandInReadOnlyRoot(HKEY root, bool readOnly) {
    if (readOnly)
        gReadOnlyRoots.insert(root);
    else
        gReadOnlyRoots.erase(root);
}

bool ApplyReadOnlyRootsFromEnvironment(char *error, size_t errorSize) {
    const char *text = getenv("REGOST_READONLY_ROOTS");
    std::set<HKEY> roots;
    std::string list = text ? text : "";
    for (size_t start = 0; !list.empty();) {
        size_t comma = list.find(',', start);
        std::string item =
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t first = item.find_first_not_of(" \t");
        size_t last = item.find_last_not_of(" \t");
        item = first == std::string::npos ? "" : item.substr(first, last - first + 1);
        HKEY root = RootNamed(item);
        if (!root) {
            if (error && errorSize)
                snprintf(error, errorSize,
                         "\"%s\" is not HKLM or HKCU (expected HKLM, HKCU or HKLM,HKCU)",
                         item.c_str());
            return false;
        }
        roots.insert(root);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    gReadOnlyRoots = roots;
    return true;
}

void FailStandInCreatesUnder(HKEY root, const char *keyPath) {
    AddPathFault(gCreateFaults, root, keyPath, nullptr);
}

void FailStandInSet(HKEY root, const char *keyPath, const char *valueName) {
    AddPathFault(gSetFaults, root, keyPath, valueName);
}

void FailStandInNthSet(int n) {
    gSetCountdown = n < 0 ? -1 : n;
}

void FailStandInEnumAt(int index) {
    gEnumFailIndex = index < 0 ? -1 : index;
}

void FailStandInNthAlloc(int n) {
    gAllocCountdown = n < 0 ? -1 : n;
}

void FailStandInSaveAfterBytes(long bytes) {
    gSaveFailAfter = bytes < 0 ? -1 : bytes;
}

void ClearStandInFaults() {
    gCreateFaults.clear();
    gSetFaults.clear();
    gSetCountdown = -1;
    gEnumFailIndex = -1;
    gAllocCountdown = -1;
    gSaveFailAfter = -1;
}
