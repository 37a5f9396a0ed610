// RegDeleteValueA and RegDeleteKeyA over the simulation's registry tree, with
// the rights the simulation's switches take away refused as Windows would.

#include "platform/posix/registry_store.h"

using namespace simulation;

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    Key *key = nullptr;
    HKEY root = nullptr;
    LSTATUS status = KeyOfHandle(hKey, KEY_SET_VALUE, &key, &root);
    if (status != ERROR_SUCCESS)
        return status;
    std::string name = lpValueName ? lpValueName : "";
    if (IsReadOnlyRoot(root) || SetFaultCovers(root, *key, name))
        return ERROR_ACCESS_DENIED;
    return DeleteValue(*key, name) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// Only below a predefined root, the one way the programs call it.
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    Key *base = RootKey(LiveRegistry(), hKey);
    std::vector<std::string> components;
    if (!base || !lpSubKey)
        return ERROR_INVALID_PARAMETER;
    LSTATUS status = SplitKeyPath(lpSubKey, &components);
    if (status != ERROR_SUCCESS)
        return status;
    if (components.empty())
        return ERROR_ACCESS_DENIED; // a root is never deleted
    size_t found = 0;
    Key *key = WalkExisting(base, components, &found);
    if (found < components.size())
        return ERROR_FILE_NOT_FOUND;
    // Windows refuses a key with subkeys but takes its values along.
    if (!key->subkeys.empty() || IsReadOnlyRoot(hKey) || CreateFaultCovers(hKey, PathKeys(*key)))
        return ERROR_ACCESS_DENIED;
    DeleteKey(*key);
    return ERROR_SUCCESS;
}
