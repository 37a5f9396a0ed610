// Writing one value and listing the subkeys of a key. Each call opens and
// closes its own key handle.
#include <stdint.h>
#include <string.h>

#include "registry/registry.h"

namespace {

bool WriteValue(HKEY root, const char *keyPath, const char *valueName, DWORD type, const BYTE *data,
                DWORD size) {
    char noClass[] = "";
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, keyPath, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &key, &disposition) != ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(key, valueName, 0, type, data, size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

char *CopyName(const char *name, size_t length) {
    char *copy = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, length + 1));
    if (copy != nullptr) {
        memcpy(copy, name, length);
        copy[length] = '\0';
    }
    return copy;
}

} // namespace

bool WriteStringValue(HKEY root, const char *keyPath, const char *valueName, const char *text) {
    return WriteValue(root, keyPath, valueName, REG_SZ, reinterpret_cast<const BYTE *>(text),
                      static_cast<DWORD>(strlen(text) + 1));
}

void DwordData(DWORD number, BYTE *data) {
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<BYTE>(number >> (8 * i));
}

bool WriteDwordValue(HKEY root, const char *keyPath, const char *valueName, DWORD number) {
    BYTE data[4];
    DwordData(number, data);
    return WriteValue(root, keyPath, valueName, REG_DWORD, data, sizeof data);
}

bool ListSubkeys(HKEY root, const char *keyPath, char **&names, int &count, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;

    bool listed = false;
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys <= INT32_MAX && static_cast<uint64_t>(subkeys) * sizeof(char *) <= SIZE_MAX) {
        listed = true;
        if (subkeys > 0) {
            names = static_cast<char **>(
                HeapAlloc(GetProcessHeap(), 0, static_cast<size_t>(subkeys) * sizeof(char *)));
            listed = names != nullptr;
        }
        for (DWORD i = 0; listed && i < subkeys; ++i) {
            char name[kSubkeyNameBufferSize];
            DWORD length = kSubkeyNameBufferSize;
            FILETIME lastWrite;
            LONG result =
                RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, &lastWrite);
            // A name longer than the buffer is still a subkey: it is listed as
            // an empty name, which the caller reports instead of losing the
            // rest of the listing.
            if (result == ERROR_MORE_DATA) {
                length = 0;
            } else if (result != ERROR_SUCCESS) {
                listed = false;
                break;
            }
            // Never trust the platform to have stayed inside the buffer.
            if (length >= kSubkeyNameBufferSize)
                length = kSubkeyNameBufferSize - 1;
            char *copy = CopyName(name, length);
            if (copy == nullptr) {
                listed = false;
                break;
            }
            names[count++] = copy;
        }
    }
    RegCloseKey(key);
    return listed;
}

bool KeyOpens(HKEY root, const char *keyPath, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void FreeSubkeyList(char **&names, int count) {
    if (names == nullptr)
        return;
    for (int i = 0; i < count; ++i) {
        if (names[i] != nullptr) {
            HeapFree(GetProcessHeap(), 0, names[i]);
            names[i] = nullptr;
        }
    }
    HeapFree(GetProcessHeap(), 0, names);
    names = nullptr;
}
