// The advapi32 calls the programs make, over the simulation's registry tree.
// Arguments they never pass are refused with ERROR_INVALID_PARAMETER.

#include "platform/posix/registry_store.h"

#include <string.h>
#include <strings.h>

#include <algorithm>
#include <iterator>

namespace simulation {
namespace {

constexpr DWORD kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

struct OpenKey {
    std::shared_ptr<Key> key; // keeps a key deleted meanwhile alive, detached
    HKEY root = nullptr;
    DWORD access = 0;
};
std::map<uintptr_t, OpenKey> gHandles;
uintptr_t gNextHandle = 0xFC; // never reused: a closed handle stays invalid
int gSetCalls = 0;

// ERROR_INVALID_PARAMETER first for arguments the programs never pass.
LSTATUS ResolveHandle(HKEY handle, DWORD right, OpenKey *out, bool badArguments = false) {
    if (badArguments)
        return ERROR_INVALID_PARAMETER;
    auto it = gHandles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == gHandles.end())
        return ERROR_INVALID_HANDLE;
    *out = it->second;
    return (out->access & right) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

struct Lookup { // a key path below a root, as far as it exists
    HKEY root;
    std::vector<std::string> components;
    size_t found = 0;       // components that exist
    Key *deepest = nullptr; // the last of them (the root if none)
};

LSTATUS LookUp(HKEY root, LPCSTR subKey, Lookup *out) {
    out->root = root;
    Key *base = RootKey(LiveRegistry(), root);
    LSTATUS status = base ? SplitKeyPath(subKey, &out->components) : ERROR_INVALID_HANDLE;
    if (status == ERROR_SUCCESS)
        out->deepest = WalkExisting(base, out->components, &out->found);
    return status;
}

Key *ExistingKey(HKEY root, const char *keyPath) {
    Lookup at;
    bool exists = LookUp(root, keyPath, &at) == ERROR_SUCCESS && at.found == at.components.size();
    return exists ? at.deepest : nullptr;
}

bool WriteRefused(const Lookup &at) {
    std::vector<std::u16string> path;
    for (const std::string &c : at.components)
        path.push_back(NameKey(c));
    return IsReadOnlyRoot(at.root) || CreateFaultCovers(at.root, path);
}

HKEY NewHandle(const Lookup &at, DWORD access) {
    Key *key = at.deepest;
    std::shared_ptr<Key> shared = key->parent ? key->parent->subkeys[NameKey(key->name)] : nullptr;
    for (const std::shared_ptr<Key> &root : LiveRegistry().roots)
        shared = root.get() == key ? root : shared;
    gHandles[gNextHandle += 4] = OpenKey{shared, at.root, access};
    return reinterpret_cast<HKEY>(gNextHandle);
}

} // namespace

void CloseAllKeyHandles() {
    gHandles.clear();
}

LSTATUS KeyOfHandle(HKEY handle, DWORD right, Key **key, HKEY *root) {
    OpenKey open;
    LSTATUS status = ResolveHandle(handle, right, &open);
    *key = open.key.get();
    *root = open.root;
    return status;
}

} // namespace simulation

using namespace simulation;

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR /*class: not kept*/,
                        DWORD, REGSAM samDesired, LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                        LPDWORD lpdwDisposition) {
    Lookup at;
    LSTATUS status = !phkResult || Reserved ? ERROR_INVALID_PARAMETER : LookUp(hKey, lpSubKey, &at);
    if (status != ERROR_SUCCESS)
        return status;
    bool creating = at.found < at.components.size();
    if ((creating || (samDesired & kWriteRights)) && WriteRefused(at))
        return ERROR_ACCESS_DENIED;

    for (size_t i = at.found; i < at.components.size(); ++i)
        at.deepest = AddSubkey(*at.deepest, at.components[i]);
    *phkResult = NewHandle(at, samDesired);
    if (lpdwDisposition)
        *lpdwDisposition = creating ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    // The 32-bit view of an x86-64 program, read only.
    std::string viewed;
    if ((samDesired & KEY_WOW64_32KEY) && hKey == HKEY_LOCAL_MACHINE && lpSubKey &&
        strncasecmp(lpSubKey, "SOFTWARE\\", 9) == 0) {
        viewed = std::string(lpSubKey, 8) + "\\Wow6432Node" + (lpSubKey + 8);
        lpSubKey = viewed.c_str();
    }
    if ((samDesired & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) && (samDesired & kWriteRights))
        return ERROR_INVALID_PARAMETER;
    Lookup at;
    LSTATUS status = phkResult ? LookUp(hKey, lpSubKey, &at) : ERROR_INVALID_PARAMETER;
    if (status == ERROR_SUCCESS && at.found < at.components.size())
        status = ERROR_FILE_NOT_FOUND;
    else if (status == ERROR_SUCCESS && (samDesired & kWriteRights) && WriteRefused(at))
        status = ERROR_ACCESS_DENIED;
    if (status == ERROR_SUCCESS)
        *phkResult = NewHandle(at, samDesired);
    return status;
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData,
                       DWORD cbData) {
    ++gSetCalls;
    bool failThisCall = TakeSetFault();

    OpenKey open;
    LSTATUS status = ResolveHandle(hKey, KEY_SET_VALUE, &open);
    if (status != ERROR_SUCCESS)
        return status;
    std::string name = lpValueName ? lpValueName : "";
    if (IsReadOnlyRoot(open.root) || failThisCall || SetFaultCovers(open.root, *open.key, name))
        return ERROR_ACCESS_DENIED;
    SetValue(*open.key, name, dwType, lpData, cbData);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    bool badArguments = lpReserved || lpClass || lpcchClass || !lpcSubKeys || lpcbMaxSubKeyLen ||
                        lpcbMaxClassLen || lpcbMaxValueNameLen || lpcbMaxValueLen ||
                        lpcbSecurityDescriptor || lpftLastWriteTime;
    OpenKey open;
    LSTATUS status = ResolveHandle(hKey, KEY_QUERY_VALUE, &open, badArguments);
    if (status != ERROR_SUCCESS)
        return status;
    *lpcSubKeys = static_cast<DWORD>(open.key->subkeys.size());
    if (lpcValues)
        *lpcValues = static_cast<DWORD>(open.key->values.size());
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    bool badArguments = !lpName || !lpcchName || lpReserved || lpClass || lpcchClass;
    OpenKey open;
    LSTATUS status = ResolveHandle(hKey, KEY_ENUMERATE_SUB_KEYS, &open, badArguments);
    if (status != ERROR_SUCCESS)
        return status;
    if (EnumFaultAt(dwIndex) || dwIndex >= open.key->subkeys.size())
        return ERROR_NO_MORE_ITEMS;
    const Key &sub = *std::next(open.key->subkeys.begin(), dwIndex)->second;
    // Too small a buffer leaves the buffer and *lpcchName as they were.
    if (sub.name.size() + 1 > *lpcchName)
        return ERROR_MORE_DATA;
    memcpy(lpName, sub.name.c_str(), sub.name.size() + 1);
    *lpcchName = static_cast<DWORD>(sub.name.size());
    if (lpftLastWriteTime)
        *lpftLastWriteTime = FILETIME{0, 0}; // no time is kept
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
    bool badArguments = lpReserved || !lpType || !lpData || !lpcbData;
    OpenKey open;
    LSTATUS status = ResolveHandle(hKey, KEY_QUERY_VALUE, &open, badArguments);
    if (status != ERROR_SUCCESS)
        return status;
    const Value *v = FindValue(*open.key, lpValueName ? lpValueName : "");
    if (!v)
        return ERROR_FILE_NOT_FOUND;
    *lpType = v->type;
    bool fits = *lpcbData >= v->data.size();
    if (fits)
        std::copy(v->data.begin(), v->data.end(), lpData);
    *lpcbData = static_cast<DWORD>(v->data.size());
    return fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

LSTATUS RegCloseKey(HKEY hKey) {
    return gHandles.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

void ResetSimulationRegistry() {
    ReplaceLiveRegistry(Tree());
    SetSimulationReadOnlyRoot(HKEY_LOCAL_MACHINE, false);
    SetSimulationReadOnlyRoot(HKEY_CURRENT_USER, false);
    gSetCalls = 0;
    ClearSimulationFaults();
}

bool QuerySimulationValue(HKEY root, const char *keyPath, const char *valueName, DWORD *type,
                          BYTE *data, DWORD dataSize, DWORD *dataLength) {
    Key *key = ExistingKey(root, keyPath);
    const Value *v = key ? FindValue(*key, valueName ? valueName : "") : nullptr;
    if (!v)
        return false;
    if (type)
        *type = v->type;
    if (data && !v->data.empty())
        memcpy(data, v->data.data(), std::min(v->data.size(), static_cast<size_t>(dataSize)));
    if (dataLength)
        *dataLength = static_cast<DWORD>(v->data.size());
    return true;
}

bool SimulationKeyExists(HKEY root, const char *keyPath) {
    return ExistingKey(root, keyPath) != nullptr;
}

int SimulationSetCallCount() {
    return gSetCalls;
}

int SimulationOpenHandleCount() {
    return static_cast<int>(gHandles.size());
}
