// Every switch that makes the simulation refuse what Windows might (read-only
// roots, injected faults), in one place so that one call resets them all.

#include "platform/posix/registry_store.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <utility>

namespace simulation {
namespace {

std::set<HKEY> gReadOnlyRoots;

struct PathFault {
    HKEY root;
    std::vector<std::u16string> path; // NameKey of each component
    bool anyValue;
    std::u16string value;
};
std::vector<PathFault> gCreateFaults, gSetFaults;
int gSetCountdown = -1, gEnumFailIndex = -1, gAllocCountdown = -1; // -1: off
long gSaveFailAfter = -1;

void AddPathFault(std::vector<PathFault> &faults, HKEY root, const char *keyPath,
                  const char *valueName) {
    std::vector<std::string> components;
    SplitKeyPath(keyPath, &components);
    std::vector<std::u16string> path;
    for (const std::string &c : components)
        path.push_back(NameKey(c));
    faults.push_back({root, path, valueName == nullptr, NameKey(valueName ? valueName : "")});
}

// A countdown fires once, when it reaches zero.
bool CountDown(int &countdown) {
    return countdown >= 0 && countdown-- == 0;
}

} // namespace

bool IsReadOnlyRoot(HKEY root) {
    return gReadOnlyRoots.count(root) != 0;
}

bool CreateFaultCovers(HKEY root, const std::vector<std::u16string> &path) {
    for (const PathFault &f : gCreateFaults)
        if (f.root == root && f.path.size() <= path.size() &&
            std::equal(f.path.begin(), f.path.end(), path.begin()))
            return true;
    return false;
}

bool SetFaultCovers(HKEY root, const Key &key, const std::string &valueName) {
    for (const PathFault &f : gSetFaults)
        if (f.root == root && f.path == PathKeys(key) &&
            (f.anyValue || f.value == NameKey(valueName)))
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

long TakeSaveFault() {
    return std::exchange(gSaveFailAfter, -1L);
}

} // namespace simulation

using namespace simulation;

void SetSimulationReadOnlyRoot(HKEY root, bool readOnly) {
    if (readOnly)
        gReadOnlyRoots.insert(root);
    else
        gReadOnlyRoots.erase(root);
}

bool ApplyReadOnlyRootsFromEnvironment(char *error, size_t errorSize) {
    const char *text = getenv("REGOST_READONLY_ROOTS");
    std::string list = text ? text : "";
    std::set<HKEY> roots;
    for (size_t start = 0, comma = 0; !list.empty() && comma != std::string::npos;
         start = comma + 1) {
        comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? comma : comma - start);
        size_t first = item.find_first_not_of(" \t"), last = item.find_last_not_of(" \t");
        item = first == std::string::npos ? "" : item.substr(first, last - first + 1);
        HKEY root = RootNamed(item);
        if (!root) {
            if (error && errorSize)
                snprintf(error, errorSize,
                         "REGOST_READONLY_ROOTS: \"%s\" is not HKLM or HKCU (expected HKLM, "
                         "HKCU or HKLM,HKCU)",
                         item.c_str());
            return false;
        }
        roots.insert(root);
    }
    gReadOnlyRoots = roots;
    return true;
}

void FailSimulationCreatesUnder(HKEY root, const char *keyPath) {
    AddPathFault(gCreateFaults, root, keyPath, nullptr);
}

void FailSimulationSet(HKEY root, const char *keyPath, const char *valueName) {
    AddPathFault(gSetFaults, root, keyPath, valueName);
}

void FailSimulationNthSet(int n) {
    gSetCountdown = n < 0 ? -1 : n;
}

void FailSimulationEnumAt(int index) {
    gEnumFailIndex = index < 0 ? -1 : index;
}

void FailSimulationNthAlloc(int n) {
    gAllocCountdown = n < 0 ? -1 : n;
}

void FailSimulationSaveAfterBytes(long bytes) {
    gSaveFailAfter = bytes < 0 ? -1 : bytes;
}

void ClearSimulationFaults() {
    gCreateFaults.clear();
    gSetFaults.clear();
    gSetCountdown = -1;
    gEnumFailIndex = -1;
    gAllocCountdown = -1;
    gSaveFailAfter = -1;
}

namespace {

// "ROOT\\key[|value]" items separated by ';' (key names hold ':' and ',').
bool AddPathFaults(std::vector<PathFault> &faults, const std::string &list, bool withValue) {
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = list.find(';', start);
        std::string item = list.substr(start, end == std::string::npos ? end : end - start);
        size_t bar = withValue ? item.find('|') : std::string::npos;
        std::string key = item.substr(0, bar);
        size_t slash = key.find('\\');
        HKEY root = RootNamed(key.substr(0, slash));
        if (!root || slash == std::string::npos || slash + 1 == key.size())
            return false;
        AddPathFault(faults, root, key.c_str() + slash + 1,
                     bar == std::string::npos ? nullptr : item.c_str() + bar + 1);
    }
    return true;
}

} // namespace

bool ApplyFaultsFromEnvironment(char *error, size_t errorSize) {
    const struct {
        const char *variable;
        int *countdown;
    } counts[] = {{"REGOST_FAIL_SET_AT", &gSetCountdown},
                  {"REGOST_FAIL_ENUM_AT", &gEnumFailIndex},
                  {"REGOST_FAIL_ALLOC_AT", &gAllocCountdown}};
    for (const auto &count : counts) {
        const char *text = getenv(count.variable);
        char *end = nullptr;
        if (!text || !*text)
            continue;
        long n = strtol(text, &end, 10); // a whole non-negative decimal number
        *count.countdown = text[0] >= '0' && text[0] <= '9' && strlen(text) <= 9 && *end == '\0'
                               ? static_cast<int>(n)
                               : -1;
        if (*count.countdown < 0) {
            snprintf(error, errorSize, "%s: \"%s\" is not a count", count.variable, text);
            return false;
        }
    }
    const char *lists[][2] = {{"REGOST_FAIL_CREATES_UNDER", "ROOT\\key[;...]"},
                              {"REGOST_FAIL_SET", "ROOT\\key[|value][;...]"}};
    for (int i = 0; i < 2; ++i) {
        const char *text = getenv(lists[i][0]);
        if (text && *text && !AddPathFaults(i ? gSetFaults : gCreateFaults, text, i == 1)) {
            snprintf(error, errorSize, "%s: \"%s\" is not %s", lists[i][0], text, lists[i][1]);
            return false;
        }
    }
    return true;
}
