// The registry checks that run the same on Windows (enum_order_probe.exe,
// under Wine) and on the Linux stand-in (regfile_tool probe): each prints one
// line per result, so a test can compare the two outputs line by line.
//
//   enum NAME...  creates each NAME below HKCU\Software\RegOstTest\EnumOrder
//                 in the order given, then prints the names RegEnumKeyExA gives
//   checks        result codes of names, paths, buffers, handles and values
//
// The caller removes HKCU\Software\RegOstTest first (the stand-in starts empty).
#pragma once

#include "../../src/platform/win32.h"

#include <stdio.h>
#include <string.h>

#include <string>

namespace probe {

const char kBase[] = "Software\\RegOstTest";

inline void Line(const char *label, long status) {
    printf("%s: %ld\n", label, status);
}

inline LSTATUS Create(const std::string &path, REGSAM access, HKEY *key, DWORD *disposition) {
    return RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kBase) + "\\" + path).c_str(), 0,
                           const_cast<char *>(""), REG_OPTION_NON_VOLATILE, access, nullptr, key,
                           disposition);
}

inline LSTATUS CreateAndClose(const std::string &path, DWORD *disposition = nullptr) {
    HKEY key = nullptr;
    DWORD unused = 0;
    LSTATUS status = Create(path, KEY_WRITE, &key, disposition ? disposition : &unused);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status;
}

inline int Enumerate(int argc, char **argv) {
    for (int i = 0; i < argc; ++i) {
        LSTATUS status = CreateAndClose(std::string("EnumOrder\\") + argv[i]);
        if (status != ERROR_SUCCESS) {
            printf("create %s: %ld\n", argv[i], static_cast<long>(status));
            return 1;
        }
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kBase) + "\\EnumOrder").c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return 1;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        FILETIME written;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, &written) !=
            ERROR_SUCCESS)
            break;
        printf("%s\n", name);
    }
    RegCloseKey(key);
    return 0;
}

inline void Checks() {
    HKEY key = nullptr, sub = nullptr;
    DWORD disposition = 0;
    char label[128];

    // Case: kept as created, found in any case.
    Line("create MixedCase", CreateAndClose("Checks\\MixedCase", &disposition));
    Line("  disposition", static_cast<long>(disposition));
    Line("create CHECKS\\MIXEDCASE", CreateAndClose("CHECKS\\MIXEDCASE", &disposition));
    Line("  disposition", static_cast<long>(disposition));

    // Paths.
    HKEY root = HKEY_CURRENT_USER;
    Line("open missing",
         RegOpenKeyExA(root, "Software\\RegOstTest\\Checks\\Nothing", 0, KEY_READ, &key));
    Line("create leading backslash",
         RegCreateKeyExA(root, "\\Software\\RegOstTest\\Checks\\Lead", 0, nullptr, 0, KEY_WRITE,
                         nullptr, &key, nullptr));
    Line("open leading backslash",
         RegOpenKeyExA(root, "\\Software\\RegOstTest", 0, KEY_READ, &key));
    Line("create trailing backslash", CreateAndClose("Checks\\Trail\\"));
    Line("create two trailing backslashes", CreateAndClose("Checks\\Trail2\\\\"));
    Line("create empty component", CreateAndClose("Checks\\Empty\\\\Component"));
    // Long names below a handle: Wine's A calls fail a whole path over 260
    // characters with 234 before any name limit is checked.
    Line("create Checks", Create("Checks", KEY_ALL_ACCESS, &key, &disposition));
    for (size_t length : {255u, 256u, 257u}) {
        snprintf(label, sizeof label, "create %zu-char name below a handle", length);
        Line(label, RegCreateKeyExA(key, std::string(length, 'a').c_str(), 0, nullptr, 0, KEY_WRITE,
                                    nullptr, &sub, nullptr));
        if (RegCloseKey(sub) == ERROR_SUCCESS)
            sub = nullptr;
    }
    RegCloseKey(key);

    // Enumeration and its buffer.
    CreateAndClose("Enum\\abc");
    CreateAndClose("Enum\\defgh");
    Line("open Enum", RegOpenKeyExA(root, "Software\\RegOstTest\\Enum", 0, KEY_READ, &key));
    DWORD subkeys = 0, longest = 0;
    Line("query info", RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, nullptr));
    Line("  subkeys", static_cast<long>(subkeys));
    Line("  longest subkey name", static_cast<long>(longest));
    char name[16];
    for (DWORD size : {3u, 4u}) {
        memset(name, '#', sizeof name);
        DWORD cch = size;
        snprintf(label, sizeof label, "enum 0 with %lu chars", static_cast<unsigned long>(size));
        Line(label, RegEnumKeyExA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
        Line("  cch after", static_cast<long>(cch));
        printf("  first byte: %02x\n", static_cast<unsigned>(static_cast<unsigned char>(name[0])));
    }
    DWORD cch = sizeof name;
    Line("enum 2 (past the end)",
         RegEnumKeyExA(key, 2, name, &cch, nullptr, nullptr, nullptr, nullptr));
    const BYTE one[4] = {1, 0, 0, 0};
    Line("set through KEY_READ handle", RegSetValueExA(key, "v", 0, REG_DWORD, one, 4));
    Line("close", RegCloseKey(key));
    Line("close again", RegCloseKey(key));
    Line("set through closed handle", RegSetValueExA(key, "v", 0, REG_DWORD, one, 4));

    // Values.
    Line("create Values", Create("Values", KEY_ALL_ACCESS, &key, &disposition));
    const char text[] = "abc";
    Line("set REG_SZ abc counting 3",
         RegSetValueExA(key, "Uncounted", 0, REG_SZ, reinterpret_cast<const BYTE *>(text), 3));
    // The byte after the counted ones is looked at: a zero there is added.
    const char four[] = "abcd";
    Line("set REG_SZ abcd counting 3",
         RegSetValueExA(key, "Uncut", 0, REG_SZ, reinterpret_cast<const BYTE *>(four), 3));
    Line("set REG_SZ empty text",
         RegSetValueExA(key, "Empty", 0, REG_SZ, reinterpret_cast<const BYTE *>(""), 1));
    const BYTE fifteen[4] = {15, 0, 0, 0};
    Line("set ValName", RegSetValueExA(key, "ValName", 0, REG_DWORD, fifteen, 4));
    Line("set VALNAME", RegSetValueExA(key, "VALNAME", 0, REG_DWORD, one, 4));
    const char *names[] = {"Uncounted", "Uncut", "Empty", "valname", "Missing"};
    for (const char *value : names) {
        DWORD type = 0, size = 0;
        BYTE data[16];
        snprintf(label, sizeof label, "query size of %s", value);
        Line(label, RegQueryValueExA(key, value, nullptr, &type, nullptr, &size));
        Line("  type", static_cast<long>(type));
        Line("  size", static_cast<long>(size));
        size = sizeof data;
        if (RegQueryValueExA(key, value, nullptr, &type, data, &size) == ERROR_SUCCESS) {
            printf("  data:");
            for (DWORD i = 0; i < size; ++i)
                printf(" %02x", data[i]);
            printf("\n");
        }
    }
    DWORD size = 2, type = 0;
    BYTE small[2];
    Line("query Uncounted into 2 bytes",
         RegQueryValueExA(key, "Uncounted", nullptr, &type, small, &size));
    Line("  size", static_cast<long>(size));
    Line("open missing below a handle", RegOpenKeyExA(key, "Nothing", 0, KEY_READ, &sub));
    RegCloseKey(key);

    // Removing: a value through a writing handle only; a key with a subkey
    // refused, one holding values taken with them (so RegOSTCtl checks first).
    const std::string deleted = std::string(kBase) + "\\Delete";
    Line("create Delete\\Sub", CreateAndClose("Delete\\Sub"));
    Line("create Delete", Create("Delete", KEY_WRITE, &key, &disposition));
    Line("set v", RegSetValueExA(key, "v", 0, REG_DWORD, one, 4));
    Line("set w", RegSetValueExA(key, "w", 0, REG_DWORD, one, 4));
    Line("delete value V", RegDeleteValueA(key, "V"));
    Line("delete value V again", RegDeleteValueA(key, "V"));
    RegCloseKey(key);
    Line("open Delete for reading",
         RegOpenKeyExA(HKEY_CURRENT_USER, deleted.c_str(), 0, KEY_READ, &key));
    DWORD held = 0;
    Line("query info with values",
         RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &held,
                          nullptr, nullptr, nullptr, nullptr));
    Line("  subkeys", static_cast<long>(subkeys));
    Line("  values", static_cast<long>(held));
    Line("delete value through KEY_READ handle", RegDeleteValueA(key, "w"));
    RegCloseKey(key);
    Line("delete key with a subkey", RegDeleteKeyA(HKEY_CURRENT_USER, deleted.c_str()));
    Line("delete key Delete\\SUB", RegDeleteKeyA(HKEY_CURRENT_USER, (deleted + "\\SUB").c_str()));
    Line("delete key holding a value", RegDeleteKeyA(HKEY_CURRENT_USER, deleted.c_str()));
    Line("delete missing key", RegDeleteKeyA(HKEY_CURRENT_USER, deleted.c_str()));
}

// argv[0] is the mode.
inline int Run(int argc, char **argv) {
    if (argc >= 1 && strcmp(argv[0], "enum") == 0)
        return Enumerate(argc - 1, argv + 1);
    if (argc >= 1 && strcmp(argv[0], "checks") == 0) {
        Checks();
        return 0;
    }
    fprintf(stderr, "usage: enum NAME... | checks\n");
    return 2;
}

} // namespace probe
