// The Linux simulation's registry, through the Win32 calls and simulation.h: names,
// enumeration order, result codes, read-only roots, the fault seam, the heap,
// and the registry file (save, load, round trip, malformed files).

#include "support.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class SimulationRegistry : public ::testing::Test {
  protected:
    void SetUp() override { ResetSimulationRegistry(); }
    void TearDown() override { ResetSimulationRegistry(); }

    std::string PathOf(const char *name) const { return folder_.File(name); }

    std::vector<std::string> FilesInFolder() const {
        std::vector<std::string> names;
        DIR *dir = opendir(folder_.path().c_str());
        if (!dir)
            return names;
        while (struct dirent *entry = readdir(dir))
            if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, ".."))
                names.push_back(entry->d_name);
        closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }

    void WriteFile(const char *name, const std::string &bytes) const {
        ::WriteFile(PathOf(name), bytes);
    }
    std::string ReadFile(const char *name) const {
        return FileExists(PathOf(name)) ? ::ReadFile(PathOf(name)) : "(missing)";
    }

    // Loads `text` as a registry file; the reason of a failure in *error.
    bool LoadText(const std::string &text, std::string *error = nullptr) {
        WriteFile("load.reg", text);
        char reason[256];
        bool ok = LoadSimulationRegistry(PathOf("load.reg").c_str(), reason, sizeof reason);
        if (error)
            *error = reason;
        return ok;
    }

    TempFolder folder_;
};

// A text value as the program writes it: the text and its terminating zero.
LSTATUS SetString(HKEY root, const char *path, const char *name, const char *text) {
    return PutValue(root, path, name, REG_SZ, std::string(text, strlen(text) + 1));
}

LSTATUS SetDword(HKEY root, const char *path, const char *name, DWORD value) {
    return PutValue(root, path, name, REG_DWORD,
                    std::string(reinterpret_cast<const char *>(&value), 4));
}

// The stored type and bytes of a value, "(none)" if it does not exist.
std::string Stored(HKEY root, const char *path, const char *name, DWORD *type = nullptr) {
    BYTE data[4096];
    DWORD length = 0, storedType = 0;
    if (!QuerySimulationValue(root, path, name, &storedType, data, sizeof data, &length))
        return "(none)";
    if (type)
        *type = storedType;
    return std::string(reinterpret_cast<char *>(data), length);
}

// The names RegEnumKeyExA gives for a key, in order.
std::vector<std::string> Subkeys(HKEY root, const char *path) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {"(cannot open)"};
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        FILETIME written;
        LSTATUS status = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, &written);
        if (status != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    return names;
}

std::vector<std::string> Names(std::initializer_list<const char *> list) {
    return std::vector<std::string>(list.begin(), list.end());
}

// --- Keys and names -----------------------------------------------------------

// The dispositions themselves are rows of the registry probe.
TEST_F(SimulationRegistry, CreateMakesEveryMissingLevelOnceAndKeepsTheFirstCase) {
    DWORD disposition = 0;
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B\\C"), ERROR_SUCCESS);
    EXPECT_TRUE(SimulationKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B\\C"));
    EXPECT_FALSE(SimulationKeyExists(HKEY_CURRENT_USER, "SOFTWARE"));
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "software\\a\\b", &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, "software\\a"), Names({"B"}));
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, ""), Names({"SOFTWARE"}));
}

TEST_F(SimulationRegistry, SettingAValueInOtherCaseReplacesItAndKeepsItsName) {
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "K", "ValName", "one"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "K", "VALNAME", "two"), ERROR_SUCCESS);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "k", "valname"), std::string("two", 4));
    ASSERT_TRUE(SaveSimulationRegistry(PathOf("r.reg").c_str()));
    EXPECT_EQ(ReadFile("r.reg"),
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"ValName\"=\"two\"\r\n\r\n");
}

TEST_F(SimulationRegistry, NonAsciiNamesMatchWithoutRegardToCase) {
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "K\\\xE9t\xE9", "\xE0", "x"), ERROR_SUCCESS);
    EXPECT_TRUE(SimulationKeyExists(HKEY_CURRENT_USER, "k\\\xC9T\xC9"));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "K\\\xC9t\xE9", "\xC0"), std::string("x", 2));
    // y with diaeresis (FF) and its capital (9F in cp1252, U+0178) are one name.
    ASSERT_EQ(PutKey(HKEY_CURRENT_USER, "K\\\xFF"), ERROR_SUCCESS);
    EXPECT_TRUE(SimulationKeyExists(HKEY_CURRENT_USER, "K\\\x9F"));
}

TEST_F(SimulationRegistry, NonAsciiSubkeysSortByTheirUnicodeUpperCase) {
    // E9 -> U+00C9; 80 (euro) -> U+20AC; 9A (s caron) -> U+0160; 61 -> 'A'.
    const char *created[] = {"\x80", "\xE9", "\x9A", "a"};
    for (const char *name : created)
        ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, (std::string("E\\") + name).c_str()), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, "E"), Names({"a", "\xE9", "\x9A", "\x80"}));
}

TEST_F(SimulationRegistry, EnumerationWritesNothingPastTheZero) {
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "E\\abc"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "E", 0, KEY_READ, &key), ERROR_SUCCESS);
    char name[8];
    memset(name, '#', sizeof name);
    DWORD size = 4;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(name, 5), std::string("abc\0#", 5));
    RegCloseKey(key);
}

// --- Result codes -------------------------------------------------------------

TEST_F(SimulationRegistry, OpeningAMissingKeyGivesFileNotFound) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SimulationOpenHandleCount(), 0);
}

TEST_F(SimulationRegistry, ALeadingBackslashIsABadPathnameATrailingOneIsAccepted) {
    HKEY key = nullptr;
    EXPECT_EQ(PutKey(HKEY_CURRENT_USER, "\\Software\\X"), ERROR_BAD_PATHNAME);
    EXPECT_FALSE(SimulationKeyExists(HKEY_CURRENT_USER, "Software"));
    EXPECT_EQ(PutKey(HKEY_CURRENT_USER, "Software\\X\\"), ERROR_SUCCESS);
    EXPECT_EQ(PutKey(HKEY_CURRENT_USER, "Software\\Y\\\\"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\X\\", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER, "Software"), Names({"X", "Y"}));
}

TEST_F(SimulationRegistry, AKeyNameOver255CharactersIsAnInvalidParameter) {
    EXPECT_EQ(PutKey(HKEY_CURRENT_USER, ("L\\" + std::string(255, 'k')).c_str()), ERROR_SUCCESS);
    EXPECT_EQ(PutKey(HKEY_CURRENT_USER, ("M\\" + std::string(256, 'k')).c_str()),
              ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(SimulationKeyExists(HKEY_CURRENT_USER, "M"));
}

TEST_F(SimulationRegistry, ClosedAndMadeUpHandlesAreInvalid) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "H", 0, const_cast<char *>(""), 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(SimulationOpenHandleCount(), 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(SimulationOpenHandleCount(), 0);
    const BYTE one[4] = {1, 0, 0, 0};
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_DWORD, one, 4), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    HKEY madeUp = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    EXPECT_EQ(RegSetValueExA(madeUp, "v", 0, REG_DWORD, one, 4), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(nullptr, "v", 0, REG_DWORD, one, 4), ERROR_INVALID_HANDLE);
    HKEY sub = nullptr;
    EXPECT_EQ(RegOpenKeyExA(key, "", 0, KEY_READ, &sub), ERROR_INVALID_HANDLE);
    DWORD subkeys = 0;
    EXPECT_EQ(RegQueryInfoKeyA(madeUp, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_DWORD, one, 4), ERROR_INVALID_HANDLE)
        << "the programs write through keys they opened";
}

// A set through a KEY_READ handle is a row of the registry probe.
TEST_F(SimulationRegistry, AWriteHandleCannotQueryTheKey) {
    ASSERT_EQ(PutKey(HKEY_CURRENT_USER, "R"), ERROR_SUCCESS);
    HKEY key = nullptr;
    const BYTE one[4] = {1, 0, 0, 0};
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "R", 0, KEY_WRITE, &key), ERROR_SUCCESS);
    DWORD subkeys = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED)
        << "KEY_WRITE has no KEY_QUERY_VALUE";
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_DWORD, one, 4), ERROR_SUCCESS);
    RegCloseKey(key);
}

// --- Read-only roots ----------------------------------------------------------

TEST_F(SimulationRegistry, AReadOnlyRootRefusesWritesAndAllowsReading) {
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:409"),
              ERROR_SUCCESS);
    SetSimulationReadOnlyRoot(HKEY_LOCAL_MACHINE, true);
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\New"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk"), ERROR_ACCESS_DENIED)
        << "opening an existing key for writing";
    EXPECT_FALSE(SimulationKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\New"));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_WRITE, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk\\AutoCAD\\R17.1"),
              Names({"ACAD-6001:409"}));
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, "SOFTWARE\\New", "v", "x"), ERROR_SUCCESS);
    SetSimulationReadOnlyRoot(HKEY_LOCAL_MACHINE, false);
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\New"), ERROR_SUCCESS);
}

TEST_F(SimulationRegistry, ReadOnlyRootsComeFromTheEnvironment) {
    char error[200];
    setenv("REGOST_READONLY_ROOTS", "hklm, HKCU", 1);
    EXPECT_TRUE(ApplyReadOnlyRootsFromEnvironment(error, sizeof error));
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "A"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(PutKey(HKEY_CURRENT_USER, "A"), ERROR_ACCESS_DENIED);
    setenv("REGOST_READONLY_ROOTS", "HKCU", 1);
    EXPECT_TRUE(ApplyReadOnlyRootsFromEnvironment(error, sizeof error));
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "A"), ERROR_SUCCESS);
    EXPECT_EQ(PutKey(HKEY_CURRENT_USER, "A"), ERROR_ACCESS_DENIED);
    for (const char *bad : {"HKCR", "HKLM,", "HKLM;HKCU", "yes"}) {
        setenv("REGOST_READONLY_ROOTS", bad, 1);
        EXPECT_FALSE(ApplyReadOnlyRootsFromEnvironment(error, sizeof error)) << bad;
        EXPECT_NE(strstr(error, "is not HKLM or HKCU"), nullptr) << error;
    }
    unsetenv("REGOST_READONLY_ROOTS");
    EXPECT_TRUE(ApplyReadOnlyRootsFromEnvironment(error, sizeof error));
    EXPECT_EQ(PutKey(HKEY_CURRENT_USER, "A"), ERROR_SUCCESS);
}

// --- Faults -------------------------------------------------------------------

TEST_F(SimulationRegistry, FailedCreatesCoverTheKeyAndEverythingBelowIt) {
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Software\\Quenlar\\AutoCAD"), ERROR_SUCCESS);
    FailSimulationCreatesUnder(HKEY_LOCAL_MACHINE, "SOFTWARE\\QUENLAR");
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Software\\Quenlar"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Software\\Quenlar\\AutoCAD\\17.1"), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SimulationKeyExists(HKEY_LOCAL_MACHINE, "Software\\Quenlar\\AutoCAD\\17.1"));
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Software\\QuenlarX"), ERROR_SUCCESS);
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Software"), ERROR_SUCCESS);
    EXPECT_EQ(PutKey(HKEY_CURRENT_USER, "Software\\Quenlar"), ERROR_SUCCESS);
    ClearSimulationFaults();
    EXPECT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Software\\Quenlar\\AutoCAD\\17.1"), ERROR_SUCCESS);
}

TEST_F(SimulationRegistry, FailedSetsCoverOneValueOrAllValuesOfOneKey) {
    FailSimulationSet(HKEY_CURRENT_USER, "S\\K", "Bad");
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, "S\\K", "BAD", "x"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(SimulationKeyExists(HKEY_CURRENT_USER, "S\\K")) << "the key stays created";
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, "S\\K", "Good", "x"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, "S\\K\\Sub", "Bad", "x"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "S\\K", "Bad", "x"), ERROR_SUCCESS);
    FailSimulationSet(HKEY_CURRENT_USER, "S\\Other", nullptr);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "S\\Other", "a", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "S\\Other", "", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "S\\K", "Bad"), "(none)");
}

TEST_F(SimulationRegistry, TheNthSetFailsOnceAndEverySetIsCounted) {
    FailSimulationNthSet(2);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "N", "a", 1), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "N", "b", 1), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "N", "c", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "N", "d", 1), ERROR_SUCCESS);
    EXPECT_EQ(SimulationSetCallCount(), 4);
    FailSimulationNthSet(0);
    FailSimulationNthSet(-1);
    EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, "N", "e", 1), ERROR_SUCCESS);
    ResetSimulationRegistry();
    EXPECT_EQ(SimulationSetCallCount(), 0);
}

TEST_F(SimulationRegistry, EnumerationFailsAtTheChosenIndex) {
    for (const char *name : {"E\\a", "E\\b", "E\\c"})
        ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, name), ERROR_SUCCESS);
    FailSimulationEnumAt(1);
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, "E"), Names({"a"}));
    FailSimulationEnumAt(-1);
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, "E"), Names({"a", "b", "c"}));
}

TEST_F(SimulationRegistry, TheNthAllocationFailsOnceAndBlocksAreCounted) {
    HANDLE heap = GetProcessHeap();
    ASSERT_NE(heap, nullptr);
    int before = SimulationHeapBlockCount();
    FailSimulationNthAlloc(1);
    void *first = HeapAlloc(heap, 0, 16);
    void *second = HeapAlloc(heap, 0, 16);
    void *third = HeapAlloc(heap, 0, 0);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(SimulationHeapBlockCount(), before + 2);
    EXPECT_TRUE(HeapFree(heap, 0, first));
    EXPECT_TRUE(HeapFree(heap, 0, third));
    EXPECT_TRUE(HeapFree(heap, 0, nullptr));
    EXPECT_EQ(SimulationHeapBlockCount(), before);
}

TEST_F(SimulationRegistry, ResetClosesHandlesAndForgetsFaults) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "H", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    FailSimulationNthSet(0);
    FailSimulationCreatesUnder(HKEY_CURRENT_USER, "H");
    ResetSimulationRegistry();
    EXPECT_EQ(SimulationOpenHandleCount(), 0);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SimulationKeyExists(HKEY_CURRENT_USER, "H"));
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "H", "v", 1), ERROR_SUCCESS);
}

TEST_F(SimulationRegistry, ALoadClosesEveryHandle) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "H", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    ASSERT_TRUE(LoadText("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\H]\r\n"));
    const BYTE one[4] = {1, 0, 0, 0};
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_DWORD, one, 4), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

// --- Registry file ------------------------------------------------------------

TEST_F(SimulationRegistry, SaveWritesRegedit4WithCrLfAndRegeditEscapes) {
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Q", "Path", "C:\\a \"b\""), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(HKEY_LOCAL_MACHINE, "Software\\Q", "N", 15), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Q", nullptr, "def"), ERROR_SUCCESS);
    ASSERT_EQ(PutValue(HKEY_LOCAL_MACHINE, "Software\\Q", "B", REG_BINARY, "\x01\xAB"),
              ERROR_SUCCESS);
    ASSERT_EQ(
        PutValue(HKEY_LOCAL_MACHINE, "Software\\Q", "X", REG_EXPAND_SZ, std::string("%A%", 4)),
        ERROR_SUCCESS);
    ASSERT_EQ(PutKey(HKEY_CURRENT_USER, "Empty"), ERROR_SUCCESS);
    ASSERT_TRUE(SaveSimulationRegistry(PathOf("r.reg").c_str()));
    EXPECT_EQ(ReadFile("r.reg"), "REGEDIT4\r\n"
                                 "\r\n"
                                 "[HKEY_LOCAL_MACHINE\\Software]\r\n"
                                 "\r\n"
                                 "[HKEY_LOCAL_MACHINE\\Software\\Q]\r\n"
                                 "\"Path\"=\"C:\\\\a \\\"b\\\"\"\r\n"
                                 "\"N\"=dword:0000000f\r\n"
                                 "@=\"def\"\r\n"
                                 "\"B\"=hex:01,ab\r\n"
                                 "\"X\"=hex(2):25,41,25,00\r\n"
                                 "\r\n"
                                 "[HKEY_CURRENT_USER\\Empty]\r\n"
                                 "\r\n");
}

TEST_F(SimulationRegistry, LongHexDataIsWrappedAsRegeditWrapsIt) {
    // A 26-character prefix leaves room for 17 bytes on the first line, then 25.
    std::string bytes(50, '\x11');
    ASSERT_EQ(PutValue(HKEY_CURRENT_USER, "W", "Twenty-one chars name", REG_BINARY, bytes),
              ERROR_SUCCESS);
    ASSERT_TRUE(SaveSimulationRegistry(PathOf("r.reg").c_str()));
    std::string text = ReadFile("r.reg");
    std::string first = "\"Twenty-one chars name\"=hex:";
    for (int i = 0; i < 17; ++i)
        first += "11,";
    first += "\\\r\n  ";
    for (int i = 0; i < 25; ++i)
        first += "11,";
    first += "\\\r\n  ";
    for (int i = 0; i < 8; ++i)
        first += i == 7 ? "11" : "11,";
    EXPECT_NE(text.find(first + "\r\n"), std::string::npos) << text;
}

TEST_F(SimulationRegistry, SaveThenLoadGivesBackEveryKeyAndValue) {
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c)
        high.push_back(static_cast<char>(c));
    const std::string key = "Software\\Rt \xC4\xE9\\Back\"quote";
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, key.c_str(), "Path", "C:\\Program Files\\\"x\"\\"),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, key.c_str(), "\\name\"with\\escapes", "v"),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, key.c_str(), ("High" + high).c_str(), high.c_str()),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, key.c_str(), "Lines", "a\r\nb"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, key.c_str(), "", "default"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, key.c_str(), "Empty", ""), ERROR_SUCCESS);
    ASSERT_EQ(PutValue(HKEY_CURRENT_USER, key.c_str(), "NoBytes", REG_SZ, ""), ERROR_SUCCESS);
    // "abc" counted as 2 bytes: the byte after them is not zero, so no zero is added.
    ASSERT_EQ(PutValue(HKEY_CURRENT_USER, key.c_str(), "Unterminated", REG_SZ, "abc", 2),
              ERROR_SUCCESS);
    ASSERT_EQ(
        PutValue(HKEY_CURRENT_USER, key.c_str(), "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)),
        ERROR_SUCCESS);
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, key.c_str(), "Dword", 0xFEDCBA98), ERROR_SUCCESS);
    ASSERT_EQ(PutValue(HKEY_CURRENT_USER, key.c_str(), "Short dword", REG_DWORD, "\x01"),
              ERROR_SUCCESS);
    ASSERT_EQ(PutValue(HKEY_CURRENT_USER, key.c_str(), "Bin", REG_BINARY, high + high),
              ERROR_SUCCESS);
    ASSERT_EQ(PutValue(HKEY_CURRENT_USER, key.c_str(), "None", REG_NONE, ""), ERROR_SUCCESS);
    ASSERT_EQ(PutValue(HKEY_CURRENT_USER, key.c_str(), "Odd", 0x100, "z"), ERROR_SUCCESS);
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk\\AutoCAD\\R17.0"), ERROR_SUCCESS);
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:409"),
              ERROR_SUCCESS);
    ASSERT_TRUE(SaveSimulationRegistry(PathOf("first.reg").c_str()));
    std::string first = ReadFile("first.reg");

    ResetSimulationRegistry();
    char error[200] = "unset";
    ASSERT_TRUE(LoadSimulationRegistry(PathOf("first.reg").c_str(), error, sizeof error)) << error;
    EXPECT_STREQ(error, "");
    const char *names[] = {"Path",         "\\name\"with\\escapes",
                           "Lines",        "",
                           "Empty",        "NoBytes",
                           "Unterminated", "Multi",
                           "Dword",        "Short dword",
                           "Bin",          "None",
                           "Odd"};
    ASSERT_TRUE(SaveSimulationRegistry(PathOf("second.reg").c_str()));
    EXPECT_EQ(ReadFile("second.reg"), first);
    for (const char *name : names)
        EXPECT_NE(Stored(HKEY_CURRENT_USER, key.c_str(), name), "(none)") << name;
    DWORD type = 0;
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, key.c_str(), ("HIGH" + high).c_str(), &type),
              high + std::string(1, '\0'));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, key.c_str(), "Path"),
              std::string("C:\\Program Files\\\"x\"\\", 22));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, key.c_str(), "NoBytes", &type), "");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, key.c_str(), "Unterminated"), "ab");
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, key.c_str(), "Bin"), high + high) << "no zero added";
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, key.c_str(), "Dword"), "\x98\xBA\xDC\xFE");
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, key.c_str(), "Odd", &type), "z");
    EXPECT_EQ(type, 0x100u);
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk\\AutoCAD"),
              Names({"R17.0", "R17.1"}));
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk\\AutoCAD\\R17.0"), Names({}));
}

TEST_F(SimulationRegistry, AMissingFileIsAnEmptyRegistry) {
    ASSERT_EQ(PutKey(HKEY_CURRENT_USER, "Old"), ERROR_SUCCESS);
    char error[200];
    EXPECT_TRUE(LoadSimulationRegistry(PathOf("nothing.reg").c_str(), error, sizeof error));
    EXPECT_FALSE(SimulationKeyExists(HKEY_CURRENT_USER, "Old"));
}

TEST_F(SimulationRegistry, LoadReadsCommentsAndContinuations) {
    std::string error;
    ASSERT_TRUE(LoadText("  REGEDIT4\n"
                         "; a comment\n"
                         "# another\n"
                         "[HKLM\\Software\\Kept]   \n"
                         "  \"Bin\" = hex:01,02,\\\n"
                         "  ; a comment inside the list\n"
                         "\n"
                         "    03,04,\\ ; trailing\n"
                         "    05\n"
                         "\"d\"=dword:1234;5678\n"
                         "\"D2\"=dword:FFFFffff\n"
                         "\"s\"=\"x\" ; note\n"
                         "\"cr\"=\"y\"\r"
                         "\"\"=\"default\"\n"
                         "\"m\"=hex(7):61,00,00\n"
                         "\"e\"=hex(0):\n"
                         "\"last\"=hex:ff,\\",
                         &error))
        << error;
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Software\\Kept", "Bin"), "\x01\x02\x03\x04\x05");
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Software\\Kept", "d"), std::string("\x34\x12\0\0", 4));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Software\\Kept", "d2"), "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Software\\Kept", "s"), std::string("x", 2));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Software\\Kept", "cr"), std::string("y", 2));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Software\\Kept", nullptr), std::string("default", 8));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Software\\Kept", "m"), std::string("a\0\0", 3));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Software\\Kept", "e"), "");
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Software\\Kept", "last"), "\xFF");
}

// "\\k\\k..." : a key path of that many levels.
std::string Nested(int levels) {
    std::string path;
    for (int i = 0; i < levels; ++i)
        path += "\\k";
    return path;
}

std::string Utf16(const std::u16string &text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

// A "Version 5.00" file as regedit writes it (UTF-16) and as editors save it
// (ANSI, UTF-8 with or without its BOM); hex(2) data is UTF-16 in each.
TEST_F(SimulationRegistry, AVersion5FileLoadsInEveryEncoding) {
    const std::string body = "\r\n[HKEY_CURRENT_USER\\Caf\xE9]\r\n\"N\xE9\"=\"cr\xE8me\"\r\n"
                             "\"X\"=hex(2):e9,00,00,00\r\n";
    std::string utf8 =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Caf\xC3\xA9]"
        "\r\n\"N\xC3\xA9\"=\"cr\xC3\xA8me\"\r\n\"X\"=hex(2):e9,00,00,00\r\n";
    const std::string files[] = {
        Utf16(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Caf\u00E9]\r\n"
              u"\"N\u00E9\"=\"cr\u00E8me\"\r\n\"X\"=hex(2):e9,00,00,00\r\n"),
        "Windows Registry Editor Version 5.00\r\n" + body,
        utf8,
        "\xEF\xBB\xBF" + utf8,
    };
    for (const std::string &file : files) {
        std::string error;
        ASSERT_TRUE(LoadText(file, &error)) << error << " for: " << file;
        EXPECT_EQ(Stored(HKEY_CURRENT_USER, "caf\xC9", "n\xC9"), std::string("cr\xE8me", 6))
            << file;
        EXPECT_EQ(Stored(HKEY_CURRENT_USER, "caf\xC9", "X"), std::string("\xE9\0", 2)) << file;
    }
}

TEST_F(SimulationRegistry, MalformedFilesAreRejectedWithTheirLineAndLeaveTheRegistryEmpty) {
    struct Case {
        std::string text;
        const char *reason;
    } cases[] = {
        {"\r\nREGEDIT4\r\n", "line 1:"},
        {"REGEDIT4 \r\n", "line 1:"},
        {"\xEF\xBB\xBFREGEDIT4\r\n\xE9\r\n", "line 1:"},
        {"Windows Registry Editor Version 5.00\r[HKEY_CURRENT_USER\\A]\r\"v\"=\"\xD0\x96\"\r",
         "line 3:"},
        {Utf16(u"REGEDIT4\r\n"), "line 1:"},
        {"REGEDIT4\r\n\r\n\"v\"=\"x\"\r\n", "line 3:"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\A\r\n", "line 2:"},
        {"REGEDIT4\r\n[Software\\A]\r\n", "line 2:"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"C:\\Temp\"\r\n", "line 3:"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"x\"#c\r\n", "line 3:"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"open\r\n", "line 3:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:123456789\n", "line 3:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:0x10\n", "line 3:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:1g\n", "line 3:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:100\n", "line 3:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:01,\\\n\"w\"=\"x\"\n", "line 4:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=str:x\n", "line 3:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"\n", "line 3:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\ngarbage\n", "line 3:"},
        {"REGEDIT4\n[-HKEY_CURRENT_USER\\A]\n", "line 2:"},
        {"REGEDIT4\n[HKEY_USERS\\.DEFAULT]\n", "line 2:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=-\n", "line 3:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\\\A]\n", "line 2:"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\n", "line 2:"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER" + Nested(513) + "]\n", "line 3:"},
        {Utf16(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n"
               u"\"v\"=\"\u0416\"\r\n"),
         "line 4:"},
        {Utf16(u"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\A]\r\n"
               u"\"v\"=hex(1):41\r\n"),
         "line 3:"},
    };
    for (const Case &c : cases) {
        ResetSimulationRegistry();
        ASSERT_EQ(SetDword(HKEY_CURRENT_USER, "Before", "v", 1), ERROR_SUCCESS);
        std::string error;
        EXPECT_FALSE(LoadText(c.text, &error)) << c.text;
        EXPECT_EQ(error.rfind(c.reason, 0), 0u)
            << "got \"" << error << "\", expected it to start " << c.reason << " for: " << c.text;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_FALSE(SimulationKeyExists(HKEY_CURRENT_USER, "Before")) << c.text;
        EXPECT_FALSE(SimulationKeyExists(HKEY_CURRENT_USER, "A")) << c.text;
    }
}

TEST_F(SimulationRegistry, OnlyARegularFileIsLoadedAndKeysMayNest512Levels) {
    std::string error;
    ASSERT_TRUE(LoadText("REGEDIT4\n[HKEY_CURRENT_USER" + Nested(512) + "]\n", &error)) << error;
    EXPECT_TRUE(SimulationKeyExists(HKEY_CURRENT_USER, Nested(512).substr(1).c_str()));
    ASSERT_EQ(mkfifo(PathOf("fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(PathOf("folder").c_str(), 0700), 0);
    const char *refused[][2] = {{"fifo", "not a regular file (a FIFO)"},
                                {"folder", "not a regular file (a folder)"},
                                {"/dev/null", "not a regular file (a device)"},
                                {"no-folder/r.reg", "its folder does not exist"}};
    for (const auto &c : refused) {
        std::string path = c[0][0] == '/' ? c[0] : PathOf(c[0]);
        char reason[200];
        EXPECT_FALSE(LoadSimulationRegistry(path.c_str(), reason, sizeof reason)) << path;
        EXPECT_STREQ(reason, c[1]);
    }
    rmdir(PathOf("folder").c_str());
}

TEST_F(SimulationRegistry, ASymlinkIsFollowedAndItsTargetReplaced) {
    ASSERT_EQ(mkdir(PathOf("real").c_str(), 0700), 0);
    WriteFile("real/target.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Old]\r\n\r\n");
    ASSERT_EQ(symlink("real/target.reg", PathOf("link.reg").c_str()), 0);
    char error[200];
    ASSERT_TRUE(LoadSimulationRegistry(PathOf("link.reg").c_str(), error, sizeof error)) << error;
    EXPECT_TRUE(SimulationKeyExists(HKEY_CURRENT_USER, "Old"));
    ASSERT_EQ(PutKey(HKEY_CURRENT_USER, "New"), ERROR_SUCCESS);
    ASSERT_TRUE(SaveSimulationRegistry(PathOf("link.reg").c_str()));
    char target[64] = {};
    EXPECT_EQ(readlink(PathOf("link.reg").c_str(), target, sizeof target - 1), 15);
    EXPECT_NE(ReadFile("real/target.reg").find("[HKEY_CURRENT_USER\\New]"), std::string::npos);
    EXPECT_EQ(FilesInFolder(), Names({"link.reg", "real"})) << "no file left beside the link";
    unlink(PathOf("real/target.reg").c_str());
    rmdir(PathOf("real").c_str());
}

TEST_F(SimulationRegistry, AFailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "A", "v", "old"), ERROR_SUCCESS);
    ASSERT_TRUE(SaveSimulationRegistry(PathOf("r.reg").c_str()));
    std::string old = ReadFile("r.reg");
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "A", "v", "new and longer"), ERROR_SUCCESS);
    FailSimulationSaveAfterBytes(10);
    EXPECT_FALSE(SaveSimulationRegistry(PathOf("r.reg").c_str()));
    EXPECT_EQ(ReadFile("r.reg"), old);
    EXPECT_EQ(FilesInFolder(), Names({"r.reg"}));
    EXPECT_TRUE(SaveSimulationRegistry(PathOf("r.reg").c_str())) << "the fault fires once";
    EXPECT_NE(ReadFile("r.reg").find("new and longer"), std::string::npos);
    EXPECT_FALSE(SaveSimulationRegistry(PathOf("no-such-folder/r.reg").c_str()));
}

} // namespace
