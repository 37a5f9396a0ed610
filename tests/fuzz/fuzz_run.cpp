// Whole runs of the program in this process, on any setup file, any
// arguments, any installed products and any registry faults. After each run:
// both logs are well formed, every registry-script record stands for a value
// that is in the registry, and no key handle or heap block is left behind.
//
// Input: four bytes of conditions, then the argument count, the arguments
// and the product names (each ended by a NUL), then the setup file, in which
// "{dir}" stands for the program folder.
//   byte 0: 1 HKLM read-only, 2 HKCU read-only, 4 fail the n-th value set,
//           8 fail listings at an index, 16 fail the n-th heap allocation,
//           32 Ostrel.arx present, 64 Qel.arx present, 128 an earlier log
//   byte 1: n of the failing value set
//   byte 2: listing index (low nibble), n of the failing allocation (high)
//   byte 3: products of R17.0, R17.1, R17.2 (two bits each), 64 no setup file
#include "fuzz_support.h"

#include <stdint.h>
#include <sys/stat.h>

#include <map>
#include <tuple>
#include <vector>

#include "driver/driver.h"
#include "platform/posix/simulation.h"

namespace {

const char kEarlierLog[] = "01/02/03 -- 04:05:06 \r\n\r\nInstallation Completed\r\n\r\n";

const char *const kFinalMessages[] = {
    "Installation Completed",   "(INI) file not found",   "Release number not found",
    "Incorrect release number", "Unknown release number",
};

std::vector<std::string> SplitLines(const std::string &text, const char *log) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n', "%s: a CR without LF at %zu",
                       log, i);
            lines.push_back(text.substr(start, i - start));
            start = i + 2;
            ++i;
        } else {
            FUZZ_CHECK(text[i] != '\n', "%s: an LF without CR at %zu", log, i);
        }
    }
    FUZZ_CHECK(start == text.size(), "%s: the last line has no line end", log);
    return lines;
}

bool IsDigits(const std::string &text, size_t at, size_t count) {
    for (size_t i = at; i < at + count; ++i)
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

bool EndsWith(const std::string &text, const char *tail) {
    size_t length = strlen(tail);
    return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

// The header, then messages each followed by an empty line and error lines
// of failed writes directly above the next line, then one final message.
void CheckProgressLog(const std::string &text, bool tooManyArguments) {
    std::vector<std::string> lines = SplitLines(text, "RegOST.log");
    FUZZ_CHECK(lines.size() >= 4, "RegOST.log has %zu lines", lines.size());
    const std::string &header = lines[0];
    FUZZ_CHECK(header.size() == 21 && IsDigits(header, 0, 2) && header[2] == '/' &&
                   IsDigits(header, 3, 2) && header[5] == '/' && IsDigits(header, 6, 2) &&
                   header.compare(8, 4, " -- ") == 0 && IsDigits(header, 12, 2) &&
                   header[14] == ':' && IsDigits(header, 15, 2) && header[17] == ':' &&
                   IsDigits(header, 18, 2) && header[20] == ' ' && lines[1].empty(),
               "header \"%s\"", header.c_str());

    size_t finalAt = lines.size() - 2;
    bool knownFinal = false;
    for (const char *message : kFinalMessages)
        knownFinal = knownFinal || lines[finalAt] == message;
    FUZZ_CHECK(knownFinal && lines.back().empty(), "final message \"%s\"", lines[finalAt].c_str());
    int parameterLines = 0;
    for (size_t i = 2; i < finalAt; ++i) {
        const std::string &line = lines[i];
        FUZZ_CHECK(!line.empty(), "an empty line without a message above it (line %zu)", i + 1);
        for (const char *message : kFinalMessages)
            FUZZ_CHECK(line != message, "final message \"%s\" before the end", message);
        bool errorLine = EndsWith(line, " -- HKEY_LOCAL_MACHINE.") ||
                         EndsWith(line, " -- HKEY_CURRENT_USER.") ||
                         line == "Error -- AutoCAD not found." ||
                         line == "Error -- AutoCAD product name too long." ||
                         (line.compare(0, 38, "Error -- AutoCAD product not found -- ") == 0 &&
                          EndsWith(line, "."));
        if (errorLine) {
            FUZZ_CHECK(!lines[i + 1].empty(), "an empty line after error line \"%s\"",
                       line.c_str());
            continue;
        }
        FUZZ_CHECK(EndsWith(line, "(1)") || EndsWith(line, "(2)") ||
                       line == "Error -- Incorrect number of parameters",
                   "unknown progress line \"%s\"", line.c_str());
        parameterLines += line == "Error -- Incorrect number of parameters";
        FUZZ_CHECK(lines[i + 1].empty(), "message \"%s\" without its empty line", line.c_str());
        ++i;
    }
    FUZZ_CHECK(parameterLines == (tooManyArguments ? 1 : 0), "%d parameter messages",
               parameterLines);
}

std::string AfterPrefix(const std::string &line, const char *prefix) {
    size_t length = strlen(prefix);
    FUZZ_CHECK(line.compare(0, length, prefix) == 0, "record line \"%s\", expected \"%s...\"",
               line.c_str(), prefix);
    return line.substr(length);
}

// Records of four lines (five for a number); each one's value is in the
// registry with that type and data. Returns how many distinct values they name.
size_t CheckScriptLog(const std::string &text) {
    std::vector<std::string> lines = SplitLines(text, "TEMPTXT.log");
    std::map<std::tuple<std::string, std::string, std::string>, bool> named;
    for (size_t i = 0; i < lines.size();) {
        FUZZ_CHECK(i + 4 <= lines.size(), "a record cut short at line %zu", i + 1);
        std::string key = AfterPrefix(lines[i], "RegDB Key: ");
        std::string value = AfterPrefix(lines[i + 1], "RegDB Val: ");
        std::string name = AfterPrefix(lines[i + 2], "RegDB Name: ");
        bool number = lines[i + 3].compare(0, 12, "RegDB Type: ") == 0;
        if (number) {
            FUZZ_CHECK(lines[i + 3] == "RegDB Type: 3", "type line \"%s\"", lines[i + 3].c_str());
            FUZZ_CHECK(i + 5 <= lines.size(), "a number record cut short at line %zu", i + 1);
        }
        std::string root = AfterPrefix(lines[i + (number ? 4 : 3)], "RegDB Root: ");
        FUZZ_CHECK(root == "1" || root == "2", "root \"%s\"", root.c_str());
        i += number ? 5 : 4;
        named[std::make_tuple(root, key, name)] = true;

        HKEY rootKey = root == "1" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        DWORD type = 0;
        DWORD length = 0;
        std::vector<BYTE> data(value.size() + 16);
        FUZZ_CHECK(QuerySimulationValue(rootKey, key.c_str(), name.c_str(), &type, data.data(),
                                        static_cast<DWORD>(data.size()), &length),
                   "recorded value %s\\%s \"%s\" is not in the registry", root.c_str(), key.c_str(),
                   name.c_str());
        if (number) {
            FUZZ_CHECK(type == REG_DWORD && length == 4, "%s is not a REG_DWORD", name.c_str());
            unsigned long stored =
                data[0] | data[1] << 8 | data[2] << 16 | static_cast<unsigned long>(data[3]) << 24;
            FUZZ_CHECK(std::to_string(stored) == value, "%s holds %lu, the record says %s",
                       name.c_str(), stored, value.c_str());
        } else {
            FUZZ_CHECK(type == REG_SZ && length == value.size() + 1 &&
                           memcmp(data.data(), value.c_str(), value.size() + 1) == 0,
                       "%s does not hold the recorded \"%s\"", name.c_str(), value.c_str());
        }
    }
    return named.size();
}

// The values of a saved registry file: the lines that start a value.
size_t CountSavedValues(const std::string &text) {
    size_t count = 0;
    for (size_t at = 0; at < text.size();) {
        if (text[at] == '"' || text[at] == '@')
            ++count;
        size_t end = text.find('\n', at);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return count;
}

void AddProduct(const std::string &release, const std::string &name) {
    std::string key = "SOFTWARE\\Autodesk\\AutoCAD\\" + release + "\\" + name;
    char noClass[] = "";
    HKEY handle = nullptr;
    FUZZ_CHECK(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, noClass, 0, KEY_WRITE, nullptr,
                               &handle, nullptr) == ERROR_SUCCESS,
               "cannot create product key %s", key.c_str());
    RegCloseKey(handle);
}

// A key name as the registry allows it (no backslash, at most 255
// characters), and without line ends, which no product key holds.
std::string ProductName(std::string name, int number) {
    for (char &c : name)
        if (c == '\\' || c == '\r' || c == '\n')
            c = '_';
    if (name.size() > 255)
        name.resize(255);
    return name.empty() ? "ACAD-" + std::to_string(number) + ":409" : name;
}

bool IsLogSwitch(const std::string &argument) {
    if (argument.size() != 4)
        return false;
    return argument[0] == '/' && (argument[1] | 0x20) == 'l' && (argument[2] | 0x20) == 'o' &&
           (argument[3] | 0x20) == 'g';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string program = fuzz::ScratchFolder() + "/prog";
    static const std::string dosProgram = fuzz::DosPath(program) + "\\";
    static const std::string exe = dosProgram + "RegOST.exe";
    static const std::string savedRegistry = fuzz::ScratchFile("after.reg");
    static bool prepared = false;
    if (!prepared) {
        FUZZ_CHECK(mkdir(program.c_str(), 0777) == 0, "cannot create %s", program.c_str());
        // A log that does not open in the program folder goes to the temporary one.
        setenv("TMPDIR", fuzz::ScratchFolder().c_str(), 1);
        prepared = true;
    }

    unsigned conditions = fuzz::TakeByte(data, size);
    unsigned failingSet = fuzz::TakeByte(data, size);
    unsigned indexes = fuzz::TakeByte(data, size);
    unsigned products = fuzz::TakeByte(data, size);
    unsigned argumentCount = fuzz::TakeByte(data, size) % 8;
    std::vector<std::string> arguments;
    for (unsigned i = 0; i < argumentCount; ++i)
        arguments.push_back(fuzz::TakeField(data, size));
    std::vector<std::pair<std::string, std::string>> productKeys;
    const char *const releases[] = {"R17.0", "R17.1", "R17.2"};
    for (int r = 0; r < 3; ++r)
        for (unsigned i = 0; i < ((products >> (2 * r)) & 3); ++i)
            productKeys.emplace_back(releases[r],
                                     ProductName(fuzz::TakeField(data, size), static_cast<int>(i)));
    std::string setupFile(reinterpret_cast<const char *>(data), size);
    for (size_t at = setupFile.find("{dir}"); at != std::string::npos;
         at = setupFile.find("{dir}", at + dosProgram.size()))
        setupFile.replace(at, 5, dosProgram);

    // The program folder as this input wants it.
    for (const char *name : {"RegOST.log", "TEMPTXT.log", "RegOST.ini", "Ostrel.arx", "Qel.arx"})
        remove((program + "/" + name).c_str());
    remove(fuzz::ScratchFile("RegOST.log").c_str());
    if (!(products & 64))
        fuzz::WriteFile(program + "/RegOST.ini", setupFile);
    if (conditions & 32)
        fuzz::WriteFile(program + "/Ostrel.arx", "");
    if (conditions & 64)
        fuzz::WriteFile(program + "/Qel.arx", "");
    if (conditions & 128)
        fuzz::WriteFile(program + "/RegOST.log", kEarlierLog);

    ResetSimulationRegistry();
    ResetRunForTests();
    for (const auto &[release, name] : productKeys)
        AddProduct(release, name);
    int heapBlocks = SimulationHeapBlockCount();
    SetSimulationReadOnlyRoot(HKEY_LOCAL_MACHINE, (conditions & 1) != 0);
    SetSimulationReadOnlyRoot(HKEY_CURRENT_USER, (conditions & 2) != 0);
    if (conditions & 4)
        FailSimulationNthSet(static_cast<int>(failingSet));
    if (conditions & 8)
        FailSimulationEnumAt(static_cast<int>(indexes & 15));
    if (conditions & 16)
        FailSimulationNthAlloc(static_cast<int>(indexes >> 4));

    std::vector<char *> argv;
    std::string self = exe;
    argv.push_back(&self[0]);
    for (std::string &argument : arguments)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    SetSimulationModuleFileName(exe.c_str());
    int result = RunRegOST(static_cast<int>(argv.size() - 1), argv.data());
    SetSimulationModuleFileName(nullptr);
    ClearSimulationFaults();

    FUZZ_CHECK(result == 0, "exit code %d", result);
    FUZZ_CHECK(SimulationOpenHandleCount() == 0, "%d key handles left open",
               SimulationOpenHandleCount());
    FUZZ_CHECK(SimulationHeapBlockCount() == heapBlocks, "%d heap blocks left, %d before the run",
               SimulationHeapBlockCount(), heapBlocks);

    std::string progress = fuzz::ReadFile(program + "/RegOST.log");
    if (conditions & 128) {
        FUZZ_CHECK(progress.compare(0, strlen(kEarlierLog), kEarlierLog) == 0,
                   "the earlier run's log was not kept");
        progress.erase(0, strlen(kEarlierLog));
    }
    CheckProgressLog(progress, arguments.size() > 2);

    bool scriptWanted = false;
    for (const std::string &argument : arguments)
        scriptWanted = scriptWanted || IsLogSwitch(argument);
    std::string script = program + "/TEMPTXT.log";
    FUZZ_CHECK(fuzz::FileExists(script) == scriptWanted, "TEMPTXT.log %s",
               scriptWanted ? "missing" : "written without /LOG");
    if (scriptWanted) {
        size_t recorded = CheckScriptLog(fuzz::ReadFile(script));
        // Before the run the registry held keys only, so every value in it
        // now was written by the run and needs its record.
        FUZZ_CHECK(SaveSimulationRegistry(savedRegistry.c_str()), "cannot save the registry");
        size_t values = CountSavedValues(fuzz::ReadFile(savedRegistry));
        FUZZ_CHECK(values == recorded, "%zu values in the registry, %zu recorded", values,
                   recorded);
    }
    ResetSimulationRegistry();
    ResetRunForTests();
    return 0;
}
