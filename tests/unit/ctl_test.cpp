// RegOSTCtl's uninstall where a whole run cannot reach it: the records read
// back from TEMPTXT.log, and what the removal takes and what it leaves.
#include <sys/stat.h>

#include <set>
#include <vector>

#include "ctl/ctl.h"
#include "ctl/uninstall.h"
#include "support.h"

namespace {

// A value in the registry before the removal, or as a record states it.
struct Value {
    HKEY root;
    std::string key;
    std::string name;
    std::string data; // in decimal when number
    bool number;
};

std::string RecordText(const Value &v, const std::string &end = "\r\n") {
    return "RegDB Key: " + v.key + end + "RegDB Val: " + v.data + end + "RegDB Name: " + v.name +
           end + (v.number ? "RegDB Type: 3" + end : "") +
           "RegDB Root: " + (v.root == HKEY_CURRENT_USER ? "1" : "2") + end;
}

std::string Listed(HKEY root, const std::string &key, const std::string &name,
                   const std::string &data, bool number) {
    return (root == HKEY_CURRENT_USER ? "HKCU " : "HKLM ") + key + "|" + name + "=" + data +
           (number ? "#;" : ";");
}

std::string Listed(const Value &v) {
    return Listed(v.root, v.key, v.name, v.data, v.number);
}

const std::string kVendor = "Software\\Quenlar\\AutoCAD\\17.1\\Ostrel";
const std::string kProduct = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-1:409";
const std::string kApp = kProduct + "\\Applications\\Ostrel";
const std::string kEntries = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components";
const char *const kFolder = "Z:\\p\\";
std::string EntryOf(const char *folder) {
    char key[kPathBufferSize];
    ActiveSetupKey(folder, key);
    return key;
}
const std::string kEntry = EntryOf(kFolder);
const HKEY kLm = HKEY_LOCAL_MACHINE;
const HKEY kCu = HKEY_CURRENT_USER;
const Value kLoader = {kLm, kApp, "LOADER", "Z:\\p\\Ostrel.arx", false};
const Value kCtrls = {kLm, kApp, "LOADCTRLS", "15", true};
const Value kKx1 = {kLm, kApp + "\\Commands", "KX1", "KX1", false};
const Value kUserApp = {kCu, kApp, "LOADER", "Z:\\p\\Ostrel.arx", false};
const Value kVendorLoader = {kLm, kVendor, "Loader", "Z:\\p\\Ostrel.arx", false};
const Value kCustom = {kLm, kVendor, "CustomData", "Site\x1a 7", false};
const Value kUserLoader = {kCu, kVendor, "Loader", "Z:\\p\\Ostrel.arx", false};
const Value kStub = {kLm, kEntry, "StubPath", "\"Z:\\p\\RegOSTCtl.exe\" /USER", false};
const Value kInstalled = {kLm, kEntry, "IsInstalled", "1", true};
const Value kSketch = {kLm, "Software\\Quenlar\\Sketch", "Path", "C:\\S", false};
const Value kBelowEntry = {kLm, kEntry + "\\Sub", "StubPath", "x", false};
// Another name of the folder gives another entry; a name of another shape is no entry.
const Value kOtherEntry = {kLm, kEntries + "\\OSTREL-0123abcd", "StubPath", "x", false};
const Value kNoEntry = {kLm, kEntries + "\\Ostrel-0123ABCDE", "StubPath", "x", false};

Value Holding(Value value, const std::string &data, bool number) {
    value.data = data;
    value.number = number;
    return value;
}

const std::string kHklm = " -- HKEY_LOCAL_MACHINE.\n";
std::string Left(const char *why, const Value &v) {
    return why + v.key + "\\" + v.name + kHklm;
}

struct RemovalCase {
    const char *name;
    std::vector<Value> before;  // the registry
    std::vector<Value> records; // oldest first
    Removal result;
    std::vector<Value> kept;       // of before
    std::vector<std::string> keys; // kept too, and the keys above them
    std::string lines;
    HKEY readOnly = nullptr;
};

const Value kTextCtrls = Holding(kCtrls, std::string("\x0f\0\0", 3), false); // 4 bytes
const Value kKx2 = Holding(kKx1, "KX2", false);
const Value kOtherLoader = Holding(kLoader, "Z:\\q\\Ostrel.arx", false);
const char *const kChanged = "Changed since the install, left in place -- ";
const char *const kOutside = "Not the add-on's key, left in place -- ";
const std::string kAll = "HKLM\\Software";
// clang-format off
const RemovalCase kRemovalCases[] = {
    {"RecordedValuesGoAndTheWalkStopsAtSoftwareAndAtAutoCadsProductKey",
     {kLoader, kCtrls, kKx1, kUserApp, kVendorLoader, kCustom, kUserLoader},
     {kLoader, kCtrls, kKx1, kUserApp, kVendorLoader, kCustom, kUserLoader},
     Removal::Done, {}, {"HKLM\\" + kProduct, kAll, "HKCU\\Software"}, ""},
    {"AChangedValueStays", {kTextCtrls, kKx2, kLoader}, {kLoader, kCtrls, kKx1}, Removal::Done,
     {kTextCtrls, kKx2}, {}, Left(kChanged, kKx1) + Left(kChanged, kCtrls)},
    {"TheNewestRecordOfAValueDecidesIt", {kCtrls}, {Holding(kCtrls, "14", true), kCtrls},
     Removal::Done, {}, {"HKLM\\" + kProduct}, ""},
    {"AKeyWhoseLoaderAnotherFolderWroteStaysWhole", {kOtherLoader, kKx1, kVendorLoader},
     {kLoader, kKx1, kVendorLoader}, Removal::Done, {kOtherLoader, kKx1}, {kAll},
     "Another install's key, left in place -- " + kApp + kHklm},
    {"ALoaderThatIsGoneNamesNoOwner", {kKx1, kCustom}, {kLoader, kKx1, kVendorLoader, kCustom},
     Removal::Done, {}, {"HKLM\\" + kProduct, kAll}, ""},
    {"TheWalkStopsAtTheActiveSetupEntry", {kStub, kInstalled}, {kStub, kInstalled},
     Removal::Done, {}, {"HKLM\\" + kEntries}, ""},
    {"AnEntryOfTheFolderByAnotherNameGoesToo", {kOtherEntry}, {kOtherEntry}, Removal::Done, {},
     {"HKLM\\" + kEntries}, ""},
    {"AKeyOutsideTheAddOnsIsNeverTouched", {kSketch, kBelowEntry, kNoEntry},
     {kSketch, kBelowEntry, kNoEntry}, Removal::Done, {kSketch, kBelowEntry, kNoEntry}, {},
     Left(kOutside, kNoEntry) + Left(kOutside, kBelowEntry) + Left(kOutside, kSketch)},
    {"ARefusedRemovalFails", {kKx1}, {kKx1}, Removal::Failed, {kKx1}, {},
     Left("Error -- Value not removed -- ", kKx1), kLm},
};
// clang-format on

std::string Upper(std::string text) {
    UpperCaseInPlace(text.data()); // as the registry compares names
    return text;
}

std::string Full(const Value &v, const std::string &key) {
    return (v.root == kCu ? "HKCU\\" : "HKLM\\") + key;
}

void AddKeyAndAbove(std::set<std::string> &set, std::string full) {
    for (; full.find('\\') != std::string::npos; full.erase(full.rfind('\\')))
        set.insert(Upper(full));
}

// The values named and their keys with every key above them, as
// "HKLM\KEY|NAME" and "HKLM\KEY"; only those there when onlyThere.
std::set<std::string> Named(const std::vector<Value> &named, bool onlyThere) {
    std::set<std::string> set;
    for (const Value &v : named) {
        DWORD type = 0, size = 0;
        BYTE data[1];
        if (!onlyThere ||
            QuerySimulationValue(v.root, v.key.c_str(), v.name.c_str(), &type, data, 0, &size))
            set.insert(Upper(Full(v, v.key) + "|" + v.name));
        for (std::string key = v.key;; key.erase(key.rfind('\\'))) {
            if (!onlyThere || SimulationKeyExists(v.root, key.c_str()))
                set.insert(Upper(Full(v, key)));
            if (key.find('\\') == std::string::npos)
                break;
        }
    }
    return set;
}

LSTATUS Put(const Value &v) {
    if (!v.number)
        return PutValue(v.root, v.key, v.name.c_str(), REG_SZ, v.data + '\0');
    DWORD number = std::stoul(v.data);
    return PutValue(v.root, v.key, v.name.c_str(), REG_DWORD,
                    std::string(reinterpret_cast<const char *>(&number), 4));
}

void PrintTo(const RemovalCase &c, std::ostream *out) {
    *out << c.name;
}

class RemovalTest : public ProgramTest, public ::testing::WithParamInterface<RemovalCase> {};

} // namespace

TEST_P(RemovalTest, TakesWhatTheRecordsStillHoldAndTheKeysLeftEmpty) {
    const RemovalCase &c = GetParam();
    std::string text;
    for (const Value &v : c.before)
        ASSERT_EQ(Put(v), ERROR_SUCCESS) << v.key;
    for (const Value &v : c.records)
        text += RecordText(v);
    WriteFile(folder.File("records.txt"), text);
    Record *records = nullptr;
    int count = 0;
    ASSERT_EQ(ReadRecords(DosPath(folder.File("records.txt")).c_str(), &records, &count),
              RecordsRead::Read);
    ASSERT_TRUE(OpenLogs());
    SetSimulationReadOnlyRoot(c.readOnly, c.readOnly != nullptr);
    EXPECT_EQ(RemoveRecordedValues(records, count), c.result);
    SetSimulationReadOnlyRoot(c.readOnly, false);
    FreeRecords(records);
    EXPECT_EQ(ProgressLines(), c.lines);

    std::vector<Value> named = c.before;
    named.insert(named.end(), c.records.begin(), c.records.end());
    std::set<std::string> probed = Named(named, false), expected = Named(c.kept, false), kept;
    for (const std::string &key : c.keys)
        AddKeyAndAbove(expected, key);
    for (const std::string &name : expected)
        if (probed.count(name) != 0)
            kept.insert(name);
    EXPECT_EQ(Named(named, true), kept);
}

INSTANTIATE_TEST_SUITE_P(Cases, RemovalTest, ::testing::ValuesIn(kRemovalCases),
                         [](const ::testing::TestParamInfo<RemovalCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(ReadRecords, TakesWholeRecordsOnlyAndTellsAMissingFileFromAnUnreadableOne) {
    const std::string kCut = RecordText(kCtrls);
    const struct {
        const char *name;
        const char *layout; // "file", "none" or "folder"
        std::string bytes;
        RecordsRead result;
        std::string listed; // newest first
    } cases[] = {
        {"LF or CR LF", "file", RecordText(kVendorLoader, "\n") + RecordText(kCtrls),
         RecordsRead::Read, Listed(kCtrls) + Listed(kVendorLoader)},
        {"a byte 0x1A is data", "file", RecordText(kCustom) + RecordText(kUserLoader),
         RecordsRead::Read, Listed(kUserLoader) + Listed(kCustom)},
        {"cut records", "file",
         kCut.substr(0, kCut.rfind("RegDB Root")) + RecordText(kKx1) + kCut.substr(0, 80),
         RecordsRead::Read, Listed(kKx1)},
        {"a line out of place", "file",
         "RegDB Key: K\r\nRegDB Name: N\r\nRegDB Val: V\r\nRegDB Root: 2\r\n", RecordsRead::Read,
         ""},
        {"empty", "file", "", RecordsRead::Read, ""},
        {"missing", "none", "", RecordsRead::NoFile, ""},
        {"a folder", "folder", "", RecordsRead::Unreadable, ""},
    };
    TempFolder folder;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = folder.File(c.name);
        if (std::string(c.layout) == "file")
            WriteFile(path, c.bytes);
        if (std::string(c.layout) == "folder")
            mkdir(path.c_str(), 0700);
        Record *records = nullptr;
        int count = 0;
        EXPECT_EQ(ReadRecords(DosPath(path).c_str(), &records, &count), c.result);
        std::string listed;
        for (const Record *r = records; r != nullptr; r = r->older)
            listed += Listed(r->root, r->key, r->name, r->value, r->isNumber);
        EXPECT_EQ(listed, c.listed);
        EXPECT_EQ(count, Count(listed, ";"));
        FreeRecords(records);
    }
}
