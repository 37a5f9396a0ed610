// Linux-only helper of the conformance tests: drives the simulation's registry
// file and runs the registry probe (registry_probe.h) on the simulation.
//   regfile_tool copy IN.reg OUT.reg   load a .reg (REGEDIT4 or UTF-16), save it
//   regfile_tool fixture OUT.reg       write the round-trip fixture, save it
//   regfile_tool probe enum NAME... | probe checks
#include "platform/posix/simulation.h"
#include "registry_probe.h"

#include <stdio.h>
#include <string.h>

#include <string>

namespace {

const char kFixture[] = "Software\\RegOstTest\\Fixture";

bool Set(const std::string &path, const char *name, DWORD type, const std::string &bytes) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kFixture) + path).c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LSTATUS status =
        RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::string Text(const char *text) {
    return std::string(text, strlen(text) + 1);
}

bool WriteFixture() {
    std::string bytes;
    for (int i = 0; i < 70; ++i)
        bytes.push_back(static_cast<char>(i * 37));
    const DWORD fifteen = 15, all = 0xFFFFFFFF;
    bool ok = true;
    ok &= Set("\\Mixed Case Key", "Path", REG_SZ, Text("C:\\Program Files\\Quenlar\\Ostrel.arx"));
    ok &= Set("\\Mixed Case Key", "Quote", REG_SZ, Text("say \"hi\" \\ and \\\\"));
    ok &= Set("\\Mixed Case Key", "Back\\slash \"name\"", REG_SZ, Text("x\\"));
    ok &= Set("\\Mixed Case Key", "High \xE9\x80\xFF", REG_SZ, Text("\xC0\xC9\x80\x9A \xA0\xFF"));
    ok &= Set("\\Mixed Case Key", "", REG_SZ, Text("default"));
    ok &= Set("\\Mixed Case Key", "Empty", REG_SZ, Text(""));
    ok &= Set("\\Mixed Case Key", "Dword", REG_DWORD,
              std::string(reinterpret_cast<const char *>(&fifteen), 4));
    ok &= Set("\\Mixed Case Key", "ALL", REG_DWORD,
              std::string(reinterpret_cast<const char *>(&all), 4));
    ok &= Set("\\Mixed Case Key", "Binary", REG_BINARY, bytes);
    ok &= Set("\\Mixed Case Key", "Expand", REG_EXPAND_SZ, Text("%SystemRoot%\\x\xE9"));
    ok &= Set("\\Mixed Case Key", "Multi", REG_MULTI_SZ, std::string("a\0b\xE9\0\0", 6));
    ok &= Set("\\Mixed Case Key", "None", REG_NONE, "");
    ok &= Set("\\R\xE9glages", "Caf\xE9", REG_SZ, Text("cr\xE8me"));
    HKEY key = nullptr;
    for (const char *path :
         {"\\Empty Key", "\\AutoCAD\\R17.1\\ACAD-6001:409", "\\AutoCAD\\R17.0"}) {
        ok &= RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kFixture) + path).c_str(), 0, nullptr,
                              0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    char error[300];
    if (argc == 4 && strcmp(argv[1], "copy") == 0) {
        if (!LoadSimulationRegistry(argv[2], error, sizeof error)) {
            fprintf(stderr, "%s: %s\n", argv[2], error);
            return 1;
        }
        return SaveSimulationRegistry(argv[3]) ? 0 : 1;
    }
    if (argc == 3 && strcmp(argv[1], "fixture") == 0) {
        if (!WriteFixture()) {
            fprintf(stderr, "could not write the fixture\n");
            return 1;
        }
        return SaveSimulationRegistry(argv[2]) ? 0 : 1;
    }
    if (argc >= 3 && strcmp(argv[1], "probe") == 0)
        return probe::Run(argc - 2, argv + 2);
    fprintf(stderr, "usage: regfile_tool copy IN OUT | fixture OUT | probe ...\n");
    return 2;
}
