// The advapi32 calls RegOST uses, over the stand-in's registry tree, with the
// Win32 result codes and key handles that stay invalid once closed. What the
// program never asks of them (classes, security, value statistics) is
// refused with ERROR_INVALID_PARAMETER rather than made up.

#include "platform/posix/registry_store.h"

#include <string.h>

#include <iterator>

namespace standin {
namespace {

constexpr LSTATUS kErrorNoAccess = 998; // ERROR_NOACCESS
constexpr DWORD kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

struct OpenKey {
    std::shared_ptr<Key> key;
    std::string rootName;
    DWORD access;
};
std::map<uintptr_t, OpenKey> gHandles;
// Handle values are never reused, so a closed handle stays invalid.
uintptr_t gNextHandle = 0x100;
int gSetCalls = 0;

// What a handle stands for: a predefined root (created on first use) or an
// open key.
LSTATUS ResolveHandle(HKEY handle, OpenKey *out) {
    if (const char *rootName = PredefinedRootName(handle)) {
        Root &root = RootNamed(LiveRegistry(), rootName);
        *out = OpenKey{root.key, root.name, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    auto it = gHandles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == gHandles.end())
        return ERROR_INVALID_HANDLE;
    *out = it->second;
    return out->key->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

// The open key behind a handle, if the handle was opened with that right.
LSTATUS ResolveHandleFor(HKEY handle, DWORD right, OpenKey *out) {
    LSTATUS status = ResolveHandle(handle, out);
    if (status == ERROR_SUCCESS && !(out->access & right))
        status = ERROR_ACCESS_DENIED;
    return status;
}

// A key path below a handle, as far as it exists.
struct Lookup {
    OpenKey base;
    std::vector<std::string> components;
    size_t found = 0;       // components that exist
    Key *deepest = nullptr; // the last of them (the base if none)
};

LSTATUS LookUp(HKEY hKey, LPCSTR subKey, Lookup *out) {
    LSTATUS status = ResolveHandle(hKey, &out->base);
    if (status == ERROR_SUCCESS)
        status = SplitKeyPath(subKey, &out->components);
    if (status == ERROR_SUCCESS)
        out->deepest = WalkExisting(out->base.key.get(), out->components, &out->found);
    return status;
}

// Whether the simulated rights refuse writing at the looked-up path.
bool WriteRefused(const Lookup &at) {
    if (IsReadOnlyRoot(at.base.rootName))
        return true;
    std::vector<std::u16string> path = PathKeys(*at.base.key);
    for (const std::string &c : at.components)
        path.push_back(NameKey(c));
    return CreateFaultCovers(at.base.rootName, path);
}

HKEY NewHandle(Key *key, const OpenKey &base, DWORD access) {
    std::shared_ptr<Key> shared =
        key == base.key.get() ? base.key : key->parent->subkeys[NameKey(key->name)];
    uintptr_t value = gNextHandle;
    gNextHandle += 4;
    gHandles[value] = OpenKey{shared, base.rootName, access};
    return reinterpret_cast<HKEY>(value);
}

} // namespace

LSTATUS KeyOfHandle(HKEY handle, DWORD right, Key **key, std::string *rootName) {
    OpenKey open;
    LSTATUS status = ResolveHandleFor(handle, right, &open);
    *key = open.key.get();
    *rootName = open.rootName;
    return status;
}

} // namespace standin

using namespace standin;

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                        PHKEY phkResult, LPDWORD lpdwDisposition) {
    (void)lpClass; // classes are not kept
    (void)dwOptions;
    (void)lpSecurityAttributes;
    if (!phkResult || Reserved)
        return ERROR_INVALID_PARAMETER;
    Lookup at;
    LSTATUS status = LookUp(hKey, lpSubKey, &at);
    if (status != ERROR_SUCCESS)
        return status;
    bool creating = at.found < at.components.size();
    if ((creating || (samDesired & kWriteRights)) && WriteRefused(at))
        return ERROR_ACCESS_DENIED;

    uint64_t now = NowFileTime();
    Key *key = at.deepest;
    for (size_t i = at.found; i < at.components.size(); ++i)
        key = AddSubkey(*key, at.components[i], now);
    *phkResult = NewHandle(key, at.base, samDesired);
    if (lpdwDisposition)
        *lpdwDisposition = creating ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult) {
    (void)ulOptions;
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    Lookup at;
    LSTATUS status = LookUp(hKey, lpSubKey, &at);
    if (status != ERROR_SUCCESS)
        return status;
    if (at.found < at.components.size())
        return ERROR_FILE_NOT_FOUND;
    if ((samDesired & kWriteRights) && WriteRefused(at))
        return ERROR_ACCESS_DENIED;
    *phkResult = NewHandle(at.deepest, at.base, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE *lpData, DWORD cbData) {
    (void)Reserved;
    ++gSetCalls;
    bool failThisCall = TakeSetFault();

    OpenKey open;
    LSTATUS status = ResolveHandle(hKey, &open);
    if (status != ERROR_SUCCESS)
        return status;
    if (!(open.access & KEY_SET_VALUE) || IsReadOnlyRoot(open.rootName))
        return ERROR_ACCESS_DENIED;
    std::string name = lpValueName ? lpValueName : "";
    if (name.size() > kMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    if (!lpData && cbData)
        return kErrorNoAccess;
    if (failThisCall || SetFaultCovers(open.rootName, *open.key, name))
        return ERROR_ACCESS_DENIED;

    DWORD size = cbData;
    bool isString = dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ;
    // As Windows does: a string whose terminating zero was not counted gets
    // it, so the byte after the counted ones is looked at.
    if (isString && size && lpData[size - 1] != 0 && lpData[size] == 0)
        ++size;
    SetValue(*open.key, name, dwType, lpData, size, NowFileTime());
    return ERROR_SUCCESS;
}

LSTATUS RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    bool badArguments = lpReserved || lpClass || lpcchClass || lpcbMaxClassLen ||
                        lpcbMaxValueNameLen || lpcbMaxValueLen || lpcbSecurityDescriptor ||
                        lpftLastWriteTime;
    OpenKey open;
    LSTATUS status =
        badArguments ? ERROR_INVALID_PARAMETER : ResolveHandleFor(hKey, KEY_QUERY_VALUE, &open);
    if (status != ERROR_SUCCESS)
        return status;
    const Key &key = *open.key;
    if (lpcSubKeys)
        *lpcSubKeys = static_cast<DWORD>(key.subkeys.size());
    if (lpcValues)
        *lpcValues = static_cast<DWORD>(key.values.size());
    if (lpcbMaxSubKeyLen) {
        size_t longest = 0;
        for (const auto &sub : key.subkeys)
            longest = sub.second->name.size() > longest ? sub.second->name.size() : longest;
        *lpcbMaxSubKeyLen = static_cast<DWORD>(longest);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    bool badArguments = !lpName || !lpcchName || lpReserved || lpClass || lpcchClass;
    OpenKey open;
    LSTATUS status = badArguments ? ERROR_INVALID_PARAMETER
                                  : ResolveHandleFor(hKey, KEY_ENUMERATE_SUB_KEYS, &open);
    if (status != ERROR_SUCCESS)
        return status;
    const Key &key = *open.key;
    if (EnumFaultAt(dwIndex) || dwIndex >= key.subkeys.size())
        return ERROR_NO_MORE_ITEMS;
    const Key &sub = *std::next(key.subkeys.begin(), dwIndex)->second;

    // Too small a buffer leaves the buffer and *lpcchName as they were.
    if (sub.name.size() + 1 > *lpcchName)
        return ERROR_MORE_DATA;
    memcpy(lpName, sub.name.c_str(), sub.name.size() + 1);
    *lpcchName = static_cast<DWORD>(sub.name.size());
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(sub.lastWrite);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(sub.lastWrite >> 32);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
    bool badArguments = lpReserved || (lpData && !lpcbData);
    OpenKey open;
    LSTATUS status =
        badArguments ? ERROR_INVALID_PARAMETER : ResolveHandleFor(hKey, KEY_QUERY_VALUE, &open);
    if (status != ERROR_SUCCESS)
        return status;
    const Value *v = FindValue(*open.key, lpValueName ? lpValueName : "");
    if (!v)
        return ERROR_FILE_NOT_FOUND;
    if (lpType)
        *lpType = v->type;
    DWORD size = static_cast<DWORD>(v->data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData && size)
        memcpy(lpData, v->data.data(), size);
    if (lpcbData)
        *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (PredefinedRootName(hKey))
        return ERROR_SUCCESS;
    return gHandles.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// --- standin.h --------------------------------------------------------------

void ResetStandInRegistry() {
    gHandles.clear();
    ReplaceLiveRegistry(Tree());
    ClearReadOnlyRoots();
    gSetCalls = 0;
    ClearStandInFaults();
}

bool QueryStandInValue(HKEY root, const char *keyPath, const char *valueName, DWORD *type,
                       BYTE *data, DWORD dataSize, DWORD *dataLength) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    const Value *v =
        FindValue(*gHandles[reinterpret_cast<uintptr_t>(key)].key, valueName ? valueName : "");
    RegCloseKey(key);
    if (!v)
        return false;
    if (type)
        *type = v->type;
    if (data && dataSize && !v->data.empty())
        memcpy(data, v->data.data(), v->data.size() < dataSize ? v->data.size() : dataSize);
    if (dataLength)
        *dataLength = static_cast<DWORD>(v->data.size());
    return true;
}

bool StandInKeyExists(HKEY root, const char *keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

int StandInSetCallCount() {
    return gSetCalls;
}

int StandInOpenHandleCount() {
    return static_cast<int>(gHandles.size());
}
