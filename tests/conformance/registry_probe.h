// The registry checks that run the same on Windows (enum_order_probe.exe,
// under Wine) and on the Linux simulation (regfile_tool probe): each prints one
// line per result, so a test can compare the two outputs line by line.
//
//   enum NAME...  creates each NAME below HKCU\Software\RegOstTest\EnumOrder
//                 in the order given, then prints the names RegEnumKeyExA gives
//   checks        result codes of the calls as the programs make them
//
// The caller removes HKCU\Software\RegOstTest first (the simulation starts empty).
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

// The argument patterns of the programs' calls only (see simulation.h).
inline void Checks() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    char label[128];

    // Case: kept as created, found in any case.
    Line("create MixedCase", CreateAndClose("Checks\\MixedCase", &disposition));
    Line("  disposition", static_cast<long>(disposition));
    Line("create CHECKS\\MIXEDCASE", CreateAndClose("CHECKS\\MIXEDCASE", &disposition));
    Line("  disposition", static_cast<long>(disposition));
    Line("open missing", RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\RegOstTest\\Checks\\Nothing",
                                       0, KEY_READ, &key));

    // Enumeration with the programs' buffer of 200 characters.
    CreateAndClose("Enum\\" + std::string(199, 'a'));
    CreateAndClose("Enum\\" + std::string(200, 'b'));
    Line("open Enum",
         RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\RegOstTest\\Enum", 0, KEY_READ, &key));
    DWORD subkeys = 0, values = 7;
    Line("query info", RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                        &values, nullptr, nullptr, nullptr, nullptr));
    Line("  subkeys", static_cast<long>(subkeys));
    Line("  values", static_cast<long>(values));
    for (DWORD i = 0; i < 3; ++i) {
        char name[200];
        DWORD length = sizeof name;
        FILETIME written;
        snprintf(label, sizeof label, "enum %lu", static_cast<unsigned long>(i));
        Line(label, RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, &written));
        Line("  length", static_cast<long>(length));
    }
    Line("close", RegCloseKey(key));

    // Values as the programs write them, read back as RegOSTCtl reads them.
    Line("create Values", Create("Values", KEY_WRITE, &key, &disposition));
    const char text[] = "abc";
    Line("set REG_SZ abc",
         RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE *>(text), 4));
    Line("set REG_SZ empty text",
         RegSetValueExA(key, "Empty", 0, REG_SZ, reinterpret_cast<const BYTE *>(""), 1));
    const BYTE fifteen[4] = {15, 0, 0, 0}, one[4] = {1, 0, 0, 0};
    Line("set ValName", RegSetValueExA(key, "ValName", 0, REG_DWORD, fifteen, 4));
    Line("set VALNAME", RegSetValueExA(key, "VALNAME", 0, REG_DWORD, one, 4));
    RegCloseKey(key);
    Line("open Values",
         RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\RegOstTest\\Values", 0, KEY_READ, &key));
    Line("query info", RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                        &values, nullptr, nullptr, nullptr, nullptr));
    Line("  values", static_cast<long>(values));
    for (const char *value : {"Text", "Empty", "valname", "Missing"}) {
        DWORD type = 0;
        BYTE data[16];
        DWORD size = sizeof data;
        snprintf(label, sizeof label, "query %s", value);
        Line(label, RegQueryValueExA(key, value, nullptr, &type, data, &size));
        Line("  type", static_cast<long>(type));
        Line("  size", static_cast<long>(size));
    }
    DWORD size = 2, type = 0;
    BYTE small[2];
    Line("query Text into 2 bytes", RegQueryValueExA(key, "Text", nullptr, &type, small, &size));
    Line("  size", static_cast<long>(size));
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
