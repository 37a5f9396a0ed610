#include "support.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

TempFolder::TempFolder() {
    const char *base = getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/regost-unit-XXXXXX";
    char *made = mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr) << "cannot create a temporary folder";
    path_ = pattern;
}

TempFolder::~TempFolder() {
    if (!path_.empty())
        system(("chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'").c_str());
}

std::string TempFolder::Dos() const {
    return DosPath(path_) + "\\";
}

std::string DosPath(const std::string &unixPath) {
    std::string dos = "Z:" + unixPath;
    for (char &c : dos)
        if (c == '/')
            c = '\\';
    return dos;
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

bool FileExists(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

LSTATUS PutKey(HKEY root, const std::string &path, DWORD *disposition) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_WRITE, nullptr, &key, disposition);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status;
}

LSTATUS PutValue(HKEY root, const std::string &path, const char *name, DWORD type,
                 const std::string &bytes, size_t count) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                            static_cast<DWORD>(count == std::string::npos ? bytes.size() : count));
    RegCloseKey(key);
    return status;
}

namespace {

std::string FromCrlf(const std::string &bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        out += bytes[i];
    }
    return out;
}

} // namespace

void ProgramTest::SetUp() {
    ResetRunForTests();
    ResetSimulationRegistry();
}

void ProgramTest::TearDown() {
    CloseLogs();
    ClearSimulationFaults();
    EXPECT_EQ(SimulationOpenHandleCount(), 0) << "a registry key was left open";
}

::testing::AssertionResult ProgramTest::OpenLogs() {
    OpenProgressLog(folder.Dos().c_str());
    OpenRegistryScriptLog(folder.Dos().c_str());
    for (const char *log : {"RegOST.log", "TEMPTXT.log"})
        if (!FileExists(folder.File(log)))
            return ::testing::AssertionFailure() << log << " did not open in " << folder.path();
    return ::testing::AssertionSuccess();
}

void ProgramTest::CloseLogs() {
    if (logsClosed)
        return;
    logsClosed = true;
    EndLogs("");
}

std::string ProgramTest::ProgressLines() {
    CloseLogs();
    std::string text = FromCrlf(ReadFile(folder.File("RegOST.log")));
    // The header is the first line and the empty line after it.
    size_t end = text.find(" \n\n");
    return end == std::string::npos ? text : text.substr(end + 3);
}

std::string ProgramTest::ScriptLines() {
    CloseLogs();
    return FromCrlf(ReadFile(folder.File("TEMPTXT.log")));
}

std::string ProgramTest::StringValue(HKEY root, const std::string &key, const std::string &name) {
    DWORD type = 0;
    static BYTE data[4096];
    DWORD length = 0;
    if (!QuerySimulationValue(root, key.c_str(), name.c_str(), &type, data, sizeof data, &length))
        return "(missing)";
    if (type != REG_SZ)
        return "(not a REG_SZ)";
    return std::string(reinterpret_cast<char *>(data), length);
}

bool ProgramTest::HasValue(HKEY root, const std::string &key, const std::string &name) {
    DWORD type = 0;
    BYTE data[1];
    DWORD length = 0;
    return QuerySimulationValue(root, key.c_str(), name.c_str(), &type, data, 0, &length);
}

int Count(const std::string &text, const std::string &needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}
