// RegDeleteValueA and RegDeleteKeyA over the simulation's registry tree, with
// the rights the simulation's switches take away refused as Windows would.

#include "platform/posix/registry_store.h"

using namespace standin;

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    Key *key = nullptr;
    std::string rootName;
    LSTATUS status = KeyOfHandle(hKey, KEY_SET_VALUE, &key, &rootName);
    if (status != ERROR_SUCCESS)
        return status;
    std::string name = lpValueName ? lpValueName : "";
    if (IsReadOnlyRoot(rootName) || SetFaultCovers(rootName, *key, name))
        return ERROR_ACCESS_DENIED;
    if (!DeleteValue(*key, name))
        return ERROR_FILE_NOT_FOUND;
    key->lastWrite = NowFileTime();
    return ERROR_SUCCESS;
}

// Only below a predefined root, the one way the program calls it.
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    const char *rootName = PredefinedRootName(hKey);
    std::vector<std::string> components;
    if (!rootName || !lpSubKey)
        return ERROR_INVALID_PARAMETER;
    LSTATUS status = SplitKeyPath(lpSubKey, &components);
    if (status != ERROR_SUCCESS)
        return status;
    if (components.empty())
        return ERROR_ACCESS_DENIED; // a root is never deleted
    Root &root = RootNamed(LiveRegistry(), rootName);
    size_t found = 0;
    Key *key = WalkExisting(root.key.get(), components, &found);
    if (found < components.size())
        return ERROR_FILE_NOT_FOUND;
    // Windows refuses a key with subkeys but takes its values along.
    if (!key->subkeys.empty() || IsReadOnlyRoot(root.name) ||
        CreateFaultCovers(root.name, PathKeys(*key)))
        return ERROR_ACCESS_DENIED;
    Key *parent = key->parent;
    DeleteKeyTree(*key);
    parent->lastWrite = NowFileTime();
    return ERROR_SUCCESS;
}
