// The stand-in's registry: the advapi32 calls RegOST uses, over an in-memory
// tree of keys (registry_store.h), with the Win32 result codes, read-only
// roots that simulate a user without rights, and the fault seam of standin.h.
//
// Names are compared the way the NT registry does: converted from cp1252 to
// UTF-16 and upper-cased. Subkeys enumerate in ordinal order of those
// upper-cased names, as an NT hive keeps them (Wine sorts lower-cased names
// instead, which differs only for names holding [ \ ] ^ _ or `); values in
// creation order (Wine sorts them).

#include "platform/posix/dos_path.h"
#include "platform/posix/registry_store.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <iterator>
#include <set>

namespace standin {
namespace {

// Win32 codes the stand-in returns that the program never names.
constexpr LSTATUS kErrorNoAccess = 998;             // ERROR_NOACCESS
constexpr LSTATUS kErrorChildMustBeVolatile = 1021; // ERROR_CHILD_MUST_BE_VOLATILE
constexpr DWORD kKeyCreateLink = 0x0020;            // KEY_CREATE_LINK
constexpr DWORD kDelete = 0x10000;                  // DELETE
constexpr DWORD kWriteDac = 0x40000;                // WRITE_DAC
constexpr DWORD kWriteOwner = 0x80000;              // WRITE_OWNER
constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kGenericExecute = 0x20000000u;
constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kMaximumAllowed = 0x02000000u;
constexpr DWORD kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | kKeyCreateLink | kDelete | kWriteDac | kWriteOwner;

Tree gRegistry;

struct OpenKey {
    std::shared_ptr<Key> key;
    std::string rootName;
    DWORD access;
};
std::map<uintptr_t, OpenKey> gHandles;
// Handle values are never reused, so a closed handle stays invalid.
uintptr_t gNextHandle = 0x100;

std::set<std::string> gReadOnlyRoots; // full root names

struct PathFault {
    std::string rootName;
    std::vector<std::u16string> path; // NameKey of each component
    bool anyValue;
    std::u16string value;
};
std::vector<PathFault> gCreateFaults;
std::vector<PathFault> gSetFaults;
int gSetCountdown = -1;
int gEnumFailIndex = -1;
int gSetCalls = 0;

const struct {
    HKEY handle;
    const char *name;
    const char *shortName;
} kPredefinedRoots[] = {
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},
    {HKEY_USERS, "HKEY_USERS", "HKU"},
    {(HKEY)(uintptr_t)0x80000005UL, "HKEY_CURRENT_CONFIG", "HKCC"},
};

// Upper case of the characters cp1252 can hold, as the NT upcase table has it.
char16_t UpperCase(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<char16_t>(c - 0x20);
    switch (c) {
    case 0x00B5:
        return 0x039C; // micro sign -> Greek capital mu
    case 0x00FF:
        return 0x0178;
    case 0x0153:
        return 0x0152;
    case 0x0161:
        return 0x0160;
    case 0x017E:
        return 0x017D;
    case 0x0192:
        return 0x0191;
    default:
        return c;
    }
}

bool SameRoot(const std::string &a, const std::string &b) {
    return NameKey(a) == NameKey(b);
}

int RootRank(const std::string &name) {
    for (size_t i = 0; i < sizeof kPredefinedRoots / sizeof kPredefinedRoots[0]; ++i)
        if (name == kPredefinedRoots[i].name)
            return static_cast<int>(i);
    return 100;
}

bool IsReadOnly(const std::string &rootName) {
    return gReadOnlyRoots.count(rootName) != 0;
}

DWORD MapAccess(REGSAM sam) {
    DWORD access =
        sam & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | kMaximumAllowed);
    if (sam & (kGenericRead | kGenericExecute))
        access |= KEY_READ;
    if (sam & kGenericWrite)
        access |= KEY_WRITE;
    if (sam & (kGenericAll | kMaximumAllowed))
        access |= KEY_ALL_ACCESS;
    return access;
}

// What a handle stands for: a predefined root (created on first use) or an
// open key.
LSTATUS ResolveHandle(HKEY handle, OpenKey *out) {
    if (const char *rootName = PredefinedRootName(handle)) {
        Root &root = RootNamed(gRegistry, rootName);
        out->key = root.key;
        out->rootName = root.name;
        out->access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    auto it = gHandles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == gHandles.end())
        return ERROR_INVALID_HANDLE;
    *out = it->second;
    if (out->key->deleted)
        return ERROR_KEY_DELETED;
    return ERROR_SUCCESS;
}

std::vector<std::u16string> PathKeys(const Key &key) {
    std::vector<std::u16string> path;
    for (const Key *k = &key; k->parent; k = k->parent)
        path.insert(path.begin(), NameKey(k->name));
    return path;
}

std::vector<std::u16string> PathKeys(const char *keyPath) {
    std::vector<std::u16string> path;
    std::vector<std::string> components;
    SplitKeyPath(keyPath, &components);
    for (const std::string &c : components)
        path.push_back(NameKey(c));
    return path;
}

bool StartsWith(const std::vector<std::u16string> &path,
                const std::vector<std::u16string> &prefix) {
    if (prefix.size() > path.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (path[i] != prefix[i])
            return false;
    return true;
}

bool CreateFaultCovers(const std::string &rootName, const std::vector<std::u16string> &path) {
    for (const PathFault &f : gCreateFaults)
        if (f.rootName == rootName && StartsWith(path, f.path))
            return true;
    return false;
}

bool SetFaultCovers(const std::string &rootName, const Key &key, const std::string &valueName) {
    if (gSetFaults.empty())
        return false;
    std::vector<std::u16string> path = PathKeys(key);
    std::u16string value = NameKey(valueName);
    for (const PathFault &f : gSetFaults)
        if (f.rootName == rootName && f.path == path && (f.anyValue || f.value == value))
            return true;
    return false;
}

HKEY NewHandle(const std::shared_ptr<Key> &key, const std::string &rootName, DWORD access) {
    uintptr_t value = gNextHandle;
    gNextHandle += 4;
    gHandles[value] = OpenKey{key, rootName, access};
    return reinterpret_cast<HKEY>(value);
}

std::shared_ptr<Key> SharedKey(Key *key, const std::shared_ptr<Key> &base) {
    if (key == base.get())
        return base;
    return key->parent->subkeys[NameKey(key->name)];
}

// Finds the key below `base` without creating anything.
Key *WalkExisting(Key *base, const std::vector<std::string> &components, size_t *found) {
    Key *k = base;
    size_t i = 0;
    for (; i < components.size(); ++i) {
        Key *next = FindSubkey(*k, components[i]);
        if (!next)
            break;
        k = next;
    }
    *found = i;
    return k;
}

void CopyName(const std::string &name, LPSTR buffer) {
    memcpy(buffer, name.c_str(), name.size() + 1);
}

void StoreFileTime(uint64_t t, PFILETIME out) {
    if (!out)
        return;
    out->dwLowDateTime = static_cast<DWORD>(t);
    out->dwHighDateTime = static_cast<DWORD>(t >> 32);
}

void CloseAllHandles() {
    gHandles.clear();
}

} // namespace

// --- Helpers shared with registry_file.cpp --------------------------------

Tree &LiveRegistry() {
    return gRegistry;
}

void ReplaceLiveRegistry(Tree &&tree) {
    for (Root &root : gRegistry.roots)
        MarkTreeDeleted(*root.key);
    gRegistry = std::move(tree);
}

const char *PredefinedRootName(HKEY root) {
    for (const auto &r : kPredefinedRoots)
        if (r.handle == root)
            return r.name;
    return nullptr;
}

const char *CanonicalRootName(const std::string &name) {
    std::u16string key = NameKey(name);
    for (const auto &r : kPredefinedRoots)
        if (key == NameKey(r.name) || key == NameKey(r.shortName))
            return r.name;
    return nullptr;
}

Root *FindRoot(Tree &tree, const std::string &name) {
    for (Root &root : tree.roots)
        if (SameRoot(root.name, name))
            return &root;
    return nullptr;
}

Root &RootNamed(Tree &tree, const std::string &name) {
    if (Root *root = FindRoot(tree, name))
        return *root;
    Root root;
    root.name = name;
    root.key = std::make_shared<Key>();
    root.key->name = name;
    root.key->lastWrite = NowFileTime();
    // Predefined roots first, in a fixed order; other names after them, in the
    // order they were met.
    int rank = RootRank(name);
    auto at = tree.roots.begin();
    while (at != tree.roots.end() && RootRank(at->name) <= rank)
        ++at;
    return *tree.roots.insert(at, std::move(root));
}

char16_t Cp1252ToUnicode(BYTE c) {
    return static_cast<char16_t>(::Cp1252ToUnicode(c));
}

bool UnicodeToCp1252(char16_t c, BYTE *out) {
    return ::UnicodeToCp1252(c, out);
}

std::u16string NameKey(const std::string &name) {
    std::u16string key;
    key.reserve(name.size());
    for (char c : name)
        key.push_back(UpperCase(Cp1252ToUnicode(static_cast<BYTE>(c))));
    return key;
}

Key *FindSubkey(Key &key, const std::string &name) {
    auto it = key.subkeys.find(NameKey(name));
    return it == key.subkeys.end() ? nullptr : it->second.get();
}

Key *AddSubkey(Key &key, const std::string &name, uint64_t now, bool *created) {
    std::shared_ptr<Key> &slot = key.subkeys[NameKey(name)];
    *created = !slot;
    if (!slot) {
        slot = std::make_shared<Key>();
        slot->name = name;
        slot->parent = &key;
        slot->lastWrite = now;
        key.lastWrite = now;
    }
    return slot.get();
}

Value *FindValue(Key &key, const std::string &name) {
    std::u16string wanted = NameKey(name);
    for (Value &v : key.values)
        if (v.name.size() == name.size() && NameKey(v.name) == wanted)
            return &v;
    return nullptr;
}

void SetValue(Key &key, const std::string &name, DWORD type, const BYTE *data, size_t size,
              uint64_t now) {
    Value *v = FindValue(key, name);
    if (!v) {
        key.values.push_back(Value{name, type, {}});
        v = &key.values.back();
    }
    v->type = type;
    v->data.assign(data, data + size);
    key.lastWrite = now;
}

bool DeleteValue(Key &key, const std::string &name) {
    std::u16string wanted = NameKey(name);
    for (auto it = key.values.begin(); it != key.values.end(); ++it) {
        if (NameKey(it->name) == wanted) {
            key.values.erase(it);
            return true;
        }
    }
    return false;
}

void MarkTreeDeleted(Key &key) {
    key.deleted = true;
    key.parent = nullptr;
    for (auto &sub : key.subkeys)
        MarkTreeDeleted(*sub.second);
}

void DeleteKeyTree(Key &key) {
    Key *parent = key.parent;
    std::u16string name = NameKey(key.name);
    MarkTreeDeleted(key);
    if (parent)
        parent->subkeys.erase(name); // may free `key`
}

LSTATUS SplitKeyPath(const char *path, std::vector<std::string> *components) {
    components->clear();
    if (!path || !*path)
        return ERROR_SUCCESS;
    if (path[0] == '\\')
        return ERROR_BAD_PATHNAME;
    const char *p = path;
    while (*p) {
        const char *end = strchr(p, '\\');
        size_t len = end ? static_cast<size_t>(end - p) : strlen(p);
        if (len > kMaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
        if (len > 0)
            components->emplace_back(p, len);
        p += len;
        if (*p == '\\')
            ++p;
    }
    return ERROR_SUCCESS;
}

uint64_t NowFileTime() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const uint64_t epochDifference = 11644473600ULL; // 1601-01-01 to 1970-01-01, seconds
    return (static_cast<uint64_t>(ts.tv_sec) + epochDifference) * 10000000ULL +
           static_cast<uint64_t>(ts.tv_nsec) / 100;
}

} // namespace standin

using namespace standin;

// --- advapi32 ---------------------------------------------------------------

// The key a handle stands for, and the components of a path below it.
static LSTATUS ResolveSubkeyPath(HKEY hKey, LPCSTR subKey, OpenKey *base,
                                 std::vector<std::string> *components) {
    LSTATUS status = ResolveHandle(hKey, base);
    if (status != ERROR_SUCCESS)
        return status;
    return SplitKeyPath(subKey, components);
}

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                        PHKEY phkResult, LPDWORD lpdwDisposition) {
    (void)lpClass; // classes are not kept
    (void)lpSecurityAttributes;
    if (!phkResult || Reserved)
        return ERROR_INVALID_PARAMETER;
    OpenKey base;
    std::vector<std::string> components;
    LSTATUS status = ResolveSubkeyPath(hKey, lpSubKey, &base, &components);
    if (status != ERROR_SUCCESS)
        return status;

    DWORD access = MapAccess(samDesired);
    size_t found = 0;
    Key *existing = WalkExisting(base.key.get(), components, &found);
    bool creating = found < components.size();
    bool writing = creating || (access & kWriteRights) != 0;

    std::vector<std::u16string> path = PathKeys(*base.key);
    for (const std::string &c : components)
        path.push_back(NameKey(c));
    if (writing && (IsReadOnly(base.rootName) || CreateFaultCovers(base.rootName, path)))
        return ERROR_ACCESS_DENIED;
    if (creating && existing->isVolatile && !(dwOptions & REG_OPTION_VOLATILE))
        return kErrorChildMustBeVolatile;

    uint64_t now = NowFileTime();
    Key *key = existing;
    for (size_t i = found; i < components.size(); ++i) {
        bool created = false;
        key = AddSubkey(*key, components[i], now, &created);
        key->isVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;
    }
    std::shared_ptr<Key> shared = key == base.key.get() ? base.key : SharedKey(key, base.key);
    *phkResult = NewHandle(shared, base.rootName, access);
    if (lpdwDisposition)
        *lpdwDisposition = creating ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult) {
    (void)ulOptions;
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    OpenKey base;
    std::vector<std::string> components;
    LSTATUS status = ResolveSubkeyPath(hKey, lpSubKey, &base, &components);
    if (status != ERROR_SUCCESS)
        return status;
    size_t found = 0;
    Key *key = WalkExisting(base.key.get(), components, &found);
    if (found < components.size())
        return ERROR_FILE_NOT_FOUND;

    DWORD access = MapAccess(samDesired);
    if (access & kWriteRights) {
        if (IsReadOnly(base.rootName) || CreateFaultCovers(base.rootName, PathKeys(*key)))
            return ERROR_ACCESS_DENIED;
    }
    *phkResult = NewHandle(SharedKey(key, base.key), base.rootName, access);
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE *lpData, DWORD cbData) {
    (void)Reserved;
    ++gSetCalls;
    bool failThisCall = false;
    if (gSetCountdown >= 0)
        failThisCall = gSetCountdown-- == 0;

    OpenKey open;
    LSTATUS status = ResolveHandle(hKey, &open);
    if (status != ERROR_SUCCESS)
        return status;
    if (!(open.access & KEY_SET_VALUE) || IsReadOnly(open.rootName))
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
    // As NT does: a string whose terminating zero was not counted gets it.
    if (isString && size && lpData[size - 1] != 0 && lpData[size] == 0)
        ++size;
    SetValue(*open.key, name, dwType, lpData, size, NowFileTime());
    return ERROR_SUCCESS;
}

LSTATUS RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    if (lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    OpenKey open;
    LSTATUS status = ResolveHandle(hKey, &open);
    if (status != ERROR_SUCCESS)
        return status;
    if (!(open.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    const Key &key = *open.key;

    // Keys have no class: an empty one.
    if (lpClass) {
        if (*lpcchClass < 1)
            return ERROR_MORE_DATA;
        lpClass[0] = '\0';
    }
    if (lpcchClass)
        *lpcchClass = 0;
    if (lpcSubKeys)
        *lpcSubKeys = static_cast<DWORD>(key.subkeys.size());
    if (lpcbMaxSubKeyLen) {
        size_t longest = 0;
        for (const auto &sub : key.subkeys)
            longest = sub.second->name.size() > longest ? sub.second->name.size() : longest;
        *lpcbMaxSubKeyLen = static_cast<DWORD>(longest);
    }
    if (lpcbMaxClassLen)
        *lpcbMaxClassLen = 0;
    if (lpcValues)
        *lpcValues = static_cast<DWORD>(key.values.size());
    size_t longestName = 0, longestData = 0;
    for (const Value &v : key.values) {
        longestName = v.name.size() > longestName ? v.name.size() : longestName;
        longestData = v.data.size() > longestData ? v.data.size() : longestData;
    }
    if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = static_cast<DWORD>(longestName);
    if (lpcbMaxValueLen)
        *lpcbMaxValueLen = static_cast<DWORD>(longestData);
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0; // no security descriptors here
    StoreFileTime(key.lastWrite, lpftLastWriteTime);
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    OpenKey open;
    LSTATUS status = ResolveHandle(hKey, &open);
    if (status != ERROR_SUCCESS)
        return status;
    if (!(open.access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (gEnumFailIndex >= 0 && dwIndex == static_cast<DWORD>(gEnumFailIndex))
        return ERROR_NO_MORE_ITEMS;
    const Key &key = *open.key;
    if (dwIndex >= key.subkeys.size())
        return ERROR_NO_MORE_ITEMS;
    auto it = key.subkeys.begin();
    std::advance(it, dwIndex);
    const Key &sub = *it->second;

    // Too small a buffer leaves the buffer and *lpcchName as they were.
    if (sub.name.size() + 1 > *lpcchName)
        return ERROR_MORE_DATA;
    if (lpClass && *lpcchClass < 1)
        return ERROR_MORE_DATA;
    CopyName(sub.name, lpName);
    *lpcchName = static_cast<DWORD>(sub.name.size());
    if (lpClass)
        lpClass[0] = '\0';
    if (lpcchClass)
        *lpcchClass = 0;
    StoreFileTime(sub.lastWrite, lpftLastWriteTime);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    OpenKey open;
    LSTATUS status = ResolveHandle(hKey, &open);
    if (status != ERROR_SUCCESS)
        return status;
    if (!(open.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    const Value *v = FindValue(*open.key, lpValueName ? lpValueName : "");
    if (!v)
        return ERROR_FILE_NOT_FOUND;
    if (lpType)
        *lpType = v->type;
    DWORD size = static_cast<DWORD>(v->data.size());
    if (lpData) {
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size)
            memcpy(lpData, v->data.data(), size);
    }
    if (lpcbData)
        *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (PredefinedRootName(hKey))
        return ERROR_SUCCESS;
    auto it = gHandles.find(reinterpret_cast<uintptr_t>(hKey));
    if (it == gHandles.end())
        return ERROR_INVALID_HANDLE;
    gHandles.erase(it);
    return ERROR_SUCCESS;
}

// --- standin.h: registry state, read-only roots -----------------------------

void ResetStandInRegistry() {
    CloseAllHandles();
    ReplaceLiveRegistry(Tree());
    gReadOnlyRoots.clear();
    gSetCalls = 0;
    ClearStandInFaults();
}

void SetStandInReadOnlyRoot(HKEY root, bool readOnly) {
    const char *name = PredefinedRootName(root);
    if (!name)
        return;
    if (readOnly)
        gReadOnlyRoots.insert(name);
    else
        gReadOnlyRoots.erase(name);
}

bool ApplyReadOnlyRootsFromEnvironment(char *error, size_t errorSize) {
    const char *text = getenv("REGOST_READONLY_ROOTS");
    std::set<std::string> roots;
    if (text && *text) {
        std::string list = text;
        size_t start = 0;
        for (;;) {
            size_t comma = list.find(',', start);
            std::string item =
                list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            size_t first = item.find_first_not_of(" \t");
            size_t last = item.find_last_not_of(" \t");
            item = first == std::string::npos ? "" : item.substr(first, last - first + 1);
            const char *name = CanonicalRootName(item);
            if (!name || (strcmp(name, "HKEY_LOCAL_MACHINE") != 0 &&
                          strcmp(name, "HKEY_CURRENT_USER") != 0)) {
                if (error && errorSize)
                    snprintf(error, errorSize,
                             "\"%s\" is not HKLM or HKCU (expected HKLM, HKCU or HKLM,HKCU)",
                             item.c_str());
                return false;
            }
            roots.insert(name);
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    gReadOnlyRoots = roots;
    return true;
}

// --- standin.h: inspection --------------------------------------------------

namespace {

Key *FindKeyByPath(HKEY root, const char *keyPath) {
    const char *rootName = PredefinedRootName(root);
    if (!rootName)
        return nullptr;
    Root *r = FindRoot(gRegistry, rootName);
    if (!r)
        return nullptr;
    std::vector<std::string> components;
    if (SplitKeyPath(keyPath, &components) != ERROR_SUCCESS)
        return nullptr;
    size_t found = 0;
    Key *key = WalkExisting(r->key.get(), components, &found);
    return found == components.size() ? key : nullptr;
}

void AddPathFault(std::vector<PathFault> &faults, HKEY root, const char *keyPath,
                  const char *valueName) {
    const char *rootName = PredefinedRootName(root);
    if (!rootName)
        return;
    faults.push_back(PathFault{rootName, PathKeys(keyPath), valueName == nullptr,
                               NameKey(valueName ? valueName : "")});
}

} // namespace

bool QueryStandInValue(HKEY root, const char *keyPath, const char *valueName, DWORD *type,
                       BYTE *data, DWORD dataSize, DWORD *dataLength) {
    Key *key = FindKeyByPath(root, keyPath);
    if (!key)
        return false;
    const Value *v = FindValue(*key, valueName ? valueName : "");
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
    return FindKeyByPath(root, keyPath) != nullptr;
}

// --- standin.h: faults and counters -----------------------------------------

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

void ClearStandInFaults() {
    gCreateFaults.clear();
    gSetFaults.clear();
    gSetCountdown = -1;
    gEnumFailIndex = -1;
    ClearHeapFault();
    ClearSaveFault();
}

int StandInSetCallCount() {
    return gSetCalls;
}

int StandInOpenHandleCount() {
    return static_cast<int>(gHandles.size());
}
