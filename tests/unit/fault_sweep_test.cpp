// One fault at a time in a whole run with /LOG /QEL over three releases of
// two AutoCAD products each: every registry set, every enumeration index,
// every allocation, then every write refused. Whatever fails, the run must
// end normally, the registry-script log must hold exactly the values that
// changed in the registry, and every lost value must have its error line.
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <vector>

#include "support.h"

namespace {

const char *const kReleases[] = {"17.0", "17.1", "17.2"};
const char *const kProducts[] = {"ACAD-6001:409", "ACAD-6002:409"};
constexpr int kProductCount = 2;
// Per release: both vendor keys, the settings, then the demand-load entries
// of Qel and of Ostrel.
constexpr int kStepsPerRelease = 5;
constexpr int kStepCount = 3 * kStepsPerRelease;

const char *const kStepResults[kStepsPerRelease][2] = {
    {"Ostrel Registration Registry Successful (1)", "Error -- Ostrel Registration Registry (1)"},
    {"QEL Registration Registry Successful (1)", "Error -- QEL Registration Registry (1)"},
    {"Ostrel Settings Registry Successful (1)", "Error -- Ostrel Settings Registry (1)"},
    {"Installation AutoCAD Successful (2)", "Error -- AutoCAD registry (2)"},
    {"Installation AutoCAD Successful (2)", "Error -- AutoCAD registry (2)"},
};
const char *const kNotFound = "Error -- AutoCAD not found.";

const char *const kMachine = "HKEY_LOCAL_MACHINE";
const char *const kUser = "HKEY_CURRENT_USER";

// A registry value, or a record of the registry-script log.
struct Entry {
    std::string root; // full root name
    std::string key;
    std::string name;
    std::string text; // as recorded: a number in decimal
    bool number = false;
};

bool StartsWith(const std::string &text, const std::string &head) {
    return text.compare(0, head.size(), head) == 0;
}

bool EndsWith(const std::string &text, const std::string &tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Upper(std::string text) {
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Registry names compare without regard to case.
std::string Identity(const Entry &entry) {
    return Upper(entry.root + "\\" + entry.key) + '\x01' + Upper(entry.name);
}

bool SameValue(const Entry &a, const Entry &b) {
    return a.text == b.text && a.number == b.number;
}

std::string Describe(const Entry &entry) {
    return entry.root + "\\" + entry.key + " [" + entry.name + "] = " + entry.text +
           (entry.number ? " (number)" : "");
}

// Splits CR LF text into lines; a bare LF or a last line without its CR LF
// is a fault of the file.
std::vector<std::string> CrlfLines(const std::string &bytes, bool *wellFormed) {
    std::vector<std::string> lines;
    *wellFormed = true;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            *wellFormed = false;
            end = bytes.size();
        }
        std::string line = bytes.substr(start, end - start);
        if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos)
            *wellFormed = false;
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

// --- The registry, before and after --------------------------------------

// Every value of the stand-in's registry, by Identity().
std::map<std::string, Entry> Snapshot() {
    std::map<std::string, Entry> values;
    VisitStandInValues(
        [](const char *root, const char *keyPath, const char *name, DWORD type, const BYTE *data,
           DWORD size, void *context) {
            Entry entry{root, keyPath, name, "", type == REG_DWORD};
            if (entry.number && size == 4)
                entry.text = std::to_string(data[0] | data[1] << 8 | data[2] << 16 |
                                            static_cast<DWORD>(data[3]) << 24);
            else // a text and its terminating zero: no other kind is written by the program
                entry.text.assign(reinterpret_cast<const char *>(data), size ? size - 1 : 0);
            (*static_cast<std::map<std::string, Entry> *>(context))[Identity(entry)] = entry;
        },
        &values);
    return values;
}

// --- The logs ---------------------------------------------------------------

std::vector<Entry> ParseRecords(const std::string &bytes) {
    bool wellFormed = true;
    std::vector<std::string> lines = CrlfLines(bytes, &wellFormed);
    EXPECT_TRUE(wellFormed) << "TEMPTXT.log has a line without CR LF";
    std::vector<Entry> records;
    size_t i = 0;
    auto take = [&](const char *head, std::string *field) {
        if (i < lines.size() && StartsWith(lines[i], head)) {
            *field = lines[i++].substr(strlen(head));
            return true;
        }
        return false;
    };
    while (i < lines.size()) {
        Entry record;
        std::string type;
        std::string root;
        bool whole = take("RegDB Key: ", &record.key) && take("RegDB Val: ", &record.text) &&
                     take("RegDB Name: ", &record.name);
        record.number = whole && take("RegDB Type: ", &type);
        whole = whole && (!record.number || type == "3") && take("RegDB Root: ", &root) &&
                (root == "1" || root == "2");
        if (!whole) {
            ADD_FAILURE() << "TEMPTXT.log: malformed record near line " << i + 1;
            break;
        }
        record.root = root == "1" ? kUser : kMachine;
        records.push_back(record);
    }
    return records;
}

// One step of the progress log: its error lines, then its result line.
struct Block {
    std::vector<std::string> errors;
    std::string result;
};

// The blocks after the header; the last one holds the final line. A result
// line is the one followed by an empty line.
std::vector<Block> ParseProgress(const std::string &bytes) {
    bool wellFormed = true;
    std::vector<std::string> lines = CrlfLines(bytes, &wellFormed);
    EXPECT_TRUE(wellFormed) << "RegOST.log has a line without CR LF";
    std::vector<Block> blocks;
    if (lines.size() < 2 || lines[0].size() != 21 || lines[0].substr(8, 4) != " -- " ||
        !lines[1].empty()) {
        ADD_FAILURE() << "RegOST.log does not start with its header";
        return blocks;
    }
    Block block;
    for (size_t i = 2; i < lines.size(); ++i) {
        if (i + 1 < lines.size() && lines[i + 1].empty()) {
            block.result = lines[i];
            blocks.push_back(block);
            block = Block{};
            ++i;
        } else {
            block.errors.push_back(lines[i]);
        }
    }
    EXPECT_TRUE(block.errors.empty()) << "RegOST.log ends with a line not followed by a blank one";
    return blocks;
}

// --- What a run should have logged ----------------------------------------

bool IsDemandLoad(const Entry &value) {
    return StartsWith(value.key, "SOFTWARE\\Autodesk\\");
}

int StepOf(const Entry &value) {
    int release = 0;
    while (release < 2 && value.key.find(kReleases[release]) == std::string::npos)
        ++release;
    int kind = 0;
    if (IsDemandLoad(value))
        kind = value.key.find("\\Applications\\Qel") != std::string::npos ? 3 : 4;
    else if (EndsWith(value.key, "\\Settings01"))
        kind = 2;
    else
        kind = EndsWith(value.key, "\\Qel") ? 1 : 0;
    return release * kStepsPerRelease + kind;
}

// The error line of one value refused by one root, as log readers match it.
std::string ErrorLine(const Entry &value, const std::string &root) {
    std::string what;
    if (IsDemandLoad(value)) {
        if (EndsWith(value.key, "\\Commands"))
            what = "AutoCAD registry Commands-" + value.name;
        else if (EndsWith(value.key, "\\Groups"))
            what = "AutoCAD registry Groups-" + value.name;
        else if (value.name == "LOADCTRLS")
            what = "AutoCAD registry -- LOADCTRLS";
        else
            what = "AutoCAD registry " + value.name;
    } else if (EndsWith(value.key, "\\Settings01")) {
        what = "Ostrel registry -- " + value.name;
    } else {
        what = std::string(EndsWith(value.key, "\\Qel") ? "QEL" : "Ostrel") + " registry " +
               value.name + " --" + value.name;
    }
    return "Error -- " + what + " -- " + root + ".";
}

// What became of a value the clean run wrote.
enum class Fate { Written, MovedToUser, Lost };

struct Outcome {
    std::vector<Fate> fates;    // one per record of the clean run
    std::vector<bool> unlisted; // per step: the products could not be listed
    std::vector<Entry> records;
};

class FaultSweepTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetStandInRegistry();
        SetStandInModuleFileName((folder.Dos() + "RegOST.exe").c_str());
        WriteFile(folder.File("RegOST.ini"), "[VERSION]\r\nVersion=17.0:17.1:17.2\r\n"
                                             "[OSTKeysLoader]\r\nCustomData=Site licence 42\r\n");
        heapBlocks = StandInHeapBlockCount();
        ASSERT_TRUE(PrepareRegistry());
        before = Snapshot();
        int preparedSets = StandInSetCallCount();
        ASSERT_EQ(RunOnce(), 0);
        clean = ParseRecords(ReadFile(folder.File("TEMPTXT.log")));
        cleanSets = StandInSetCallCount() - preparedSets;
        for (const Entry &value : clean)
            cleanSteps.push_back(StepOf(value));
        // Every set of an undisturbed run succeeds and is recorded once.
        ASSERT_EQ(static_cast<int>(clean.size()), cleanSets);
        ASSERT_EQ(clean.size(), 3u * (3 + 2 + 9 + kProductCount * (3 + 34)));
        Outcome outcome = Check("clean run");
        for (Fate fate : outcome.fates)
            ASSERT_EQ(fate, Fate::Written);
    }

    void TearDown() override {
        SetStandInModuleFileName(nullptr);
        ResetStandInRegistry();
        printf("[ fault sweep ] %d cases\n", cases);
        RecordProperty("cases", cases);
    }

    // Two products per release, and values the run replaces or must leave
    // alone, so that an overwrite shows as a change and a stray one too.
    ::testing::AssertionResult PrepareRegistry() {
        ResetStandInRegistry();
        auto set = [](HKEY root, const std::string &key, const char *name, const char *text) {
            LSTATUS result = PutValue(root, key, name, REG_SZ, std::string(text, strlen(text) + 1));
            if (result == ERROR_SUCCESS)
                return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure()
                   << "setting " << key << "\\" << name << ": got " << result << ", expected 0";
        };
        for (const char *release : kReleases)
            for (const char *product : kProducts) {
                auto put =
                    set(HKEY_LOCAL_MACHINE,
                        std::string("SOFTWARE\\Autodesk\\AutoCAD\\R") + release + "\\" + product,
                        "ProductName", "AutoCAD");
                if (!put)
                    return put;
            }
        const std::string application =
            "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6002:409\\Applications\\Ostrel";
        for (auto put :
             {set(HKEY_LOCAL_MACHINE, application, "LOADER", "Z:\\old\\Ostrel.arx"),
              set(HKEY_CURRENT_USER, application, "LOADER", "Z:\\older\\Ostrel.arx"),
              set(HKEY_CURRENT_USER, "Software\\Quenlar\\AutoCAD\\17.0\\Ostrel", "Loader", "old")})
            if (!put)
                return put;
        return ::testing::AssertionSuccess();
    }

    int RunOnce() {
        remove(folder.File("RegOST.log").c_str());
        remove(folder.File("TEMPTXT.log").c_str());
        std::string self = folder.Dos() + "RegOST.exe";
        char log[] = "/LOG";
        char second[] = "/QEL";
        char *argv[] = {self.data(), log, second};
        ResetRunForTests();
        return RunRegOST(3, argv);
    }

    // Runs once with the fault that arm() sets up and checks what every
    // run must keep; returns what became of each value for the caller's
    // fault-specific checks.
    Outcome RunWithFault(const std::string &name, void (*arm)(int), int argument) {
        ++cases;
        if (::testing::AssertionResult prepared = PrepareRegistry(); !prepared) {
            ADD_FAILURE() << prepared.message();
            return Outcome();
        }
        arm(argument);
        int exitCode = RunOnce();
        ClearStandInFaults();
        EXPECT_EQ(exitCode, 0) << name;
        return Check(name);
    }

    Outcome Check(const std::string &name) {
        SCOPED_TRACE(name);
        Outcome outcome;
        std::string progress = ReadFile(folder.File("RegOST.log"));
        EXPECT_TRUE(EndsWith(progress, "\r\nInstallation Completed\r\n\r\n"));
        EXPECT_EQ(StandInOpenHandleCount(), 0) << "a registry key was left open";
        EXPECT_EQ(StandInHeapBlockCount(), heapBlocks) << "a heap block was not freed";

        outcome.records = ParseRecords(ReadFile(folder.File("TEMPTXT.log")));
        CompareWithRegistry(outcome.records);
        Align(outcome);

        std::vector<Block> blocks = ParseProgress(progress);
        if (blocks.size() != kStepCount + 1) {
            ADD_FAILURE() << "got " << blocks.size() << " steps in RegOST.log, expected "
                          << kStepCount + 1;
            return outcome;
        }
        outcome.unlisted.assign(kStepCount, false);
        for (int step = 0; step < kStepCount; ++step)
            CheckStep(step, blocks[step], outcome);
        return outcome;
    }

    // The records name exactly the values that changed, each once.
    void CompareWithRegistry(const std::vector<Entry> &records) {
        std::map<std::string, Entry> after = Snapshot();
        std::map<std::string, Entry> changed;
        for (const auto &[identity, value] : after) {
            auto old = before.find(identity);
            if (old == before.end() || !SameValue(old->second, value))
                changed[identity] = value;
        }
        for (const auto &[identity, value] : before)
            EXPECT_EQ(after.count(identity), 1u) << "deleted: " << Describe(value);
        std::map<std::string, Entry> recorded;
        for (const Entry &record : records)
            EXPECT_TRUE(recorded.emplace(Identity(record), record).second)
                << "recorded twice: " << Describe(record);
        for (const auto &[identity, value] : changed) {
            auto record = recorded.find(identity);
            if (record == recorded.end())
                ADD_FAILURE() << "changed without a record: " << Describe(value);
            else
                EXPECT_TRUE(SameValue(record->second, value))
                    << "recorded " << Describe(record->second) << ", stored " << value.text;
        }
        for (const auto &[identity, record] : recorded)
            EXPECT_EQ(changed.count(identity), 1u) << "recorded, not changed: " << Describe(record);
    }

    // Walks the records against the clean run's: the same order, with values
    // missing or taken by HKEY_CURRENT_USER in place of HKEY_LOCAL_MACHINE.
    void Align(Outcome &outcome) {
        size_t next = 0;
        for (const Entry &expected : clean) {
            Fate fate = Fate::Lost;
            if (next < outcome.records.size()) {
                const Entry &got = outcome.records[next];
                bool same = Upper(got.key) == Upper(expected.key) && got.name == expected.name &&
                            SameValue(got, expected);
                if (same && got.root == expected.root)
                    fate = Fate::Written;
                else if (same && IsDemandLoad(expected) && got.root == kUser)
                    fate = Fate::MovedToUser;
            }
            if (fate != Fate::Lost)
                ++next;
            outcome.fates.push_back(fate);
        }
        EXPECT_EQ(next, outcome.records.size())
            << "records out of order or unexpected, from: "
            << (next < outcome.records.size() ? Describe(outcome.records[next]) : "");
    }

    void CheckStep(int step, const Block &block, Outcome &outcome) {
        SCOPED_TRACE("step " + std::to_string(step));
        const char *const *results = kStepResults[step % kStepsPerRelease];
        if (!block.errors.empty() && block.errors[0] == kNotFound) {
            outcome.unlisted[step] = true;
            EXPECT_EQ(block.errors, std::vector<std::string>{kNotFound});
            EXPECT_EQ(block.result, results[1]);
            for (size_t i = 0; i < clean.size(); ++i) {
                if (cleanSteps[i] == step) {
                    EXPECT_EQ(outcome.fates[i], Fate::Lost) << Describe(clean[i]);
                }
            }
            return;
        }
        std::vector<std::string> expected;
        bool failed = false;
        for (size_t i = 0; i < clean.size(); ++i) {
            if (cleanSteps[i] != step || outcome.fates[i] == Fate::Written)
                continue;
            if (IsDemandLoad(clean[i])) {
                expected.push_back(ErrorLine(clean[i], kMachine));
                if (outcome.fates[i] == Fate::MovedToUser)
                    continue; // still written, so still a success
                expected.push_back(ErrorLine(clean[i], kUser));
            } else {
                expected.push_back(ErrorLine(clean[i], clean[i].root));
            }
            failed = true;
        }
        EXPECT_EQ(block.errors, expected);
        EXPECT_EQ(block.result, results[failed ? 1 : 0]);
    }

    // Values of steps whose listing did not fail are all as in the clean run.
    void ExpectWrittenOutsideUnlisted(const Outcome &outcome) {
        for (size_t i = 0; i < clean.size(); ++i) {
            if (!outcome.unlisted[cleanSteps[i]]) {
                EXPECT_EQ(outcome.fates[i], Fate::Written) << Describe(clean[i]);
            }
        }
    }

    TempFolder folder;
    int heapBlocks = 0;
    std::map<std::string, Entry> before;
    std::vector<Entry> clean;
    std::vector<int> cleanSteps; // the step of each value of the clean run
    int cleanSets = 0;
    int cases = 0;
};

void FailSet(int n) {
    FailStandInNthSet(n);
}
void FailEnumeration(int index) {
    FailStandInEnumAt(index);
}
void FailAllocation(int n) {
    FailStandInNthAlloc(n);
}
void RefuseEveryWrite(int) {
    SetStandInReadOnlyRoot(HKEY_LOCAL_MACHINE, true);
    SetStandInReadOnlyRoot(HKEY_CURRENT_USER, true);
}

int CountOf(const std::vector<bool> &flags) {
    int count = 0;
    for (bool flag : flags)
        count += flag ? 1 : 0;
    return count;
}

} // namespace

TEST_F(FaultSweepTest, EachFailedSetLosesOnlyItsValueOrMovesItToTheUser) {
    for (int n = 0; n < cleanSets; ++n) {
        const Entry &target = clean[n];
        std::string name = "set " + std::to_string(n) + ": " + Describe(target);
        Outcome outcome = RunWithFault(name, FailSet, n);
        if (outcome.fates.size() != clean.size())
            continue;
        SCOPED_TRACE(name);
        for (int i = 0; i < cleanSets; ++i) {
            Fate expected = Fate::Written;
            if (i == n)
                expected = IsDemandLoad(target) ? Fate::MovedToUser : Fate::Lost;
            EXPECT_EQ(outcome.fates[i], expected) << Describe(clean[i]);
        }
        EXPECT_EQ(CountOf(outcome.unlisted), 0);
        if (IsDemandLoad(target)) {
            DWORD type = 0;
            DWORD length = 0;
            EXPECT_TRUE(QueryStandInValue(HKEY_CURRENT_USER, target.key.c_str(),
                                          target.name.c_str(), &type, nullptr, 0, &length))
                << "no user copy";
        }
    }
}

TEST_F(FaultSweepTest, EachFailedEnumerationIndexLosesTheWholeListing) {
    // One index past the products lies beyond what is ever asked: no effect.
    for (int index = 0; index <= kProductCount; ++index) {
        Outcome outcome =
            RunWithFault("enumeration index " + std::to_string(index), FailEnumeration, index);
        if (outcome.unlisted.size() != kStepCount)
            continue;
        // Every listing of a release's products asks for every index.
        EXPECT_EQ(CountOf(outcome.unlisted), index < kProductCount ? 6 : 0) << index;
        ExpectWrittenOutsideUnlisted(outcome);
    }
}

TEST_F(FaultSweepTest, EachFailedAllocationLosesOneListingAndLeaksNothing) {
    // Allocations happen only while listing products; a fault past the last
    // one leaves the run as it was, which ends the sweep.
    int affected = 0;
    for (int n = 0; n < 1000; ++n) {
        Outcome outcome = RunWithFault("allocation " + std::to_string(n), FailAllocation, n);
        if (outcome.unlisted.size() != kStepCount)
            break;
        int unlisted = CountOf(outcome.unlisted);
        EXPECT_LE(unlisted, 1) << "allocation " << n;
        ExpectWrittenOutsideUnlisted(outcome);
        if (unlisted == 0)
            break;
        ++affected;
    }
    // A list of the products and a copy of each name, per listing.
    EXPECT_EQ(affected, 6 * (1 + kProductCount));
}

TEST_F(FaultSweepTest, EveryWriteRefusedLosesEveryValueAndLogsEachTry) {
    Outcome outcome = RunWithFault("both roots read-only", RefuseEveryWrite, 0);
    EXPECT_TRUE(outcome.records.empty());
    for (Fate fate : outcome.fates)
        EXPECT_EQ(fate, Fate::Lost);
    EXPECT_EQ(CountOf(outcome.unlisted), 0);
}
