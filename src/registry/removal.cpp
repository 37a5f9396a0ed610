// Reading back and removing what was written: a value, and a key once it is
// empty. Each call opens and closes its own key handle.
#include "registry/registry.h"

#include <string.h>

ValueLookup ReadValue(HKEY root, const char *keyPath, const char *valueName, DWORD *type,
                      BYTE *data, DWORD dataSize, DWORD *size) {
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExA(root, keyPath, 0, KEY_READ, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return ValueLookup::Missing;
    if (opened != ERROR_SUCCESS)
        return ValueLookup::Unreadable;
    *size = dataSize;
    LONG result = RegQueryValueExA(key, valueName, nullptr, type, data, size);
    RegCloseKey(key);
    // A value too large for the buffer still tells its type and size.
    if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)
        return ValueLookup::Found;
    return result == ERROR_FILE_NOT_FOUND ? ValueLookup::Missing : ValueLookup::Unreadable;
}

ValueLookup CompareValue(HKEY root, const char *keyPath, const char *valueName, DWORD type,
                         const BYTE *data, DWORD size, bool *same) {
    BYTE held[kPathBufferSize];
    DWORD heldType = 0;
    DWORD heldSize = 0;
    ValueLookup lookup =
        ReadValue(root, keyPath, valueName, &heldType, held, sizeof held, &heldSize);
    *same = lookup == ValueLookup::Found && data != nullptr && heldType == type &&
            heldSize == size && size <= sizeof held && memcmp(held, data, size) == 0;
    return lookup;
}

ValueMatch MatchValue(HKEY root, const char *keyPath, const char *valueName, DWORD type,
                      const BYTE *data, DWORD size) {
    bool same = false;
    if (CompareValue(root, keyPath, valueName, type, data, size, &same) != ValueLookup::Found)
        return ValueMatch::Missing;
    return same ? ValueMatch::Same : ValueMatch::Different;
}

bool DeleteValue(HKEY root, const char *keyPath, const char *valueName) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(root, keyPath, 0, KEY_WRITE, &key);
    if (result == ERROR_SUCCESS) {
        result = RegDeleteValueA(key, valueName);
        RegCloseKey(key);
    }
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

KeyRemoval DeleteEmptyKey(HKEY root, const char *keyPath) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(root, keyPath, 0, KEY_READ, &key);
    if (result == ERROR_FILE_NOT_FOUND)
        return KeyRemoval::Missing;
    if (result != ERROR_SUCCESS)
        return KeyRemoval::Failed;
    DWORD subkeys = 0;
    DWORD values = 0;
    result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                              nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return KeyRemoval::Failed;
    // RegDeleteKeyA would take a key that still holds values along with them.
    if (subkeys != 0 || values != 0)
        return KeyRemoval::NotEmpty;
    result = RegDeleteKeyA(root, keyPath);
    if (result == ERROR_SUCCESS)
        return KeyRemoval::Deleted;
    return result == ERROR_FILE_NOT_FOUND ? KeyRemoval::Missing : KeyRemoval::Failed;
}
