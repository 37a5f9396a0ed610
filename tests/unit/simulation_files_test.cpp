// The file side of the Linux simulation: DOS paths, text streams, the own
// module and the temporary folder, FindFirstFileA and the INI reader.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "support.h"

namespace {

bool IsFolder(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void MakeFolder(const std::string &path) {
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
}

long FileSize(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (long)info.st_size : -1;
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char *name, const char *value) : name_(name) {
        const char *old = getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_)
            old_ = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (hadOld_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char *name_;
    bool hadOld_;
    std::string old_;
};

// --- DOS paths and streams ------------------------------------------------

class DosStreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeFolder(folder.File("Work"));
        WriteFile(folder.File("Work/RegOST.ini"), "[VERSION]\r\n");
    }
    std::string Dos(const std::string &relative) const { return folder.Dos() + relative; }

    bool Opens(const std::string &dosPath, const char *mode = "r") {
        FILE *file = OpenDosStream(dosPath.c_str(), mode);
        if (file != nullptr)
            fclose(file);
        return file != nullptr;
    }

    TempFolder folder;
};

TEST_F(DosStreamTest, PathsAreFoundWithoutRegardToCase) {
    EXPECT_TRUE(Opens(Dos("Work\\RegOST.ini")));
    EXPECT_TRUE(Opens(Dos("WORK\\regost.INI")));
    EXPECT_TRUE(Opens("z" + Dos("work\\REGOST.ini").substr(1)));
    EXPECT_FALSE(Opens(Dos("Work\\RegOST.in")));
}

TEST_F(DosStreamTest, SeparatorsDotsAndRootedPathsAreNormalized) {
    std::string rooted = Dos("Work\\RegOST.ini").substr(2); // no drive
    EXPECT_TRUE(Opens(rooted));
    std::string slashes = Dos("Work/RegOST.ini");
    for (char &c : slashes)
        if (c == '\\')
            c = '/';
    EXPECT_TRUE(Opens(slashes));
    EXPECT_TRUE(Opens(Dos("\\\\Work\\\\\\RegOST.ini")));
    EXPECT_TRUE(Opens(Dos("Missing\\..\\Work\\.\\RegOST.ini")));
    EXPECT_TRUE(Opens(Dos("Work.\\RegOST.ini. . ")));
}

TEST_F(DosStreamTest, OtherDrivesAndNetworkPathsDoNotExist) {
    std::string onC = "C" + Dos("Work\\RegOST.ini").substr(1);
    EXPECT_FALSE(Opens(onC));
    EXPECT_FALSE(Opens("\\\\server\\share" + Dos("Work\\RegOST.ini").substr(2)));
    EXPECT_FALSE(Opens(""));
    EXPECT_FALSE(Opens(Dos("Work\\Reg|OST.ini")));
}

TEST_F(DosStreamTest, NamesOutsideAsciiMatchInCodePage1252) {
    WriteFile(folder.File("Work/Caf\xC3\xA9.txt"), "x"); // UTF-8 on disk
    EXPECT_TRUE(Opens(Dos("work\\caf\xE9.txt")));
    EXPECT_TRUE(Opens(Dos("WORK\\CAF\xC9.TXT")));
    EXPECT_FALSE(Opens(Dos("Work\\Cafe.txt")));
    // A name cp1252 lacks shows as '?', which no open takes as a pattern, so
    // a folder named so never reaches its sibling's files.
    MakeFolder(folder.File("Setup-\xD0\xAF"));
    MakeFolder(folder.File("Setup-\xD0\x96"));
    WriteFile(folder.File("Setup-\xD0\x96/RegOST.ini"), "[S]\r\nk=v\r\n");
    EXPECT_FALSE(Opens(Dos("Setup-?\\RegOST.ini")));
    EXPECT_FALSE(Opens(Dos("Setup-?\\RegOST.log"), "a"));
    char value[16];
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", value, sizeof value,
                                       Dos("Setup-?\\RegOST.ini").c_str()),
              0u);
    // Nor is a '?' in a name on disk taken literally: Windows refuses it.
    MakeFolder(folder.File("Q?x"));
    WriteFile(folder.File("Q?x/RegOST.ini"), "[S]\r\nk=v\r\n");
    EXPECT_FALSE(Opens(Dos("Q?x\\RegOST.ini")));
    EXPECT_EQ(
        GetPrivateProfileStringA("S", "k", "", value, sizeof value, Dos("Q?x\\RegOST.ini").c_str()),
        0u);
}

TEST_F(DosStreamTest, RelativePathsStartInTheCurrentFolder) {
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.File("Work").c_str()), 0);
    bool bare = Opens("regost.ini");
    bool dotted = Opens("..\\work\\RegOST.ini");
    bool driveRelative = Opens("Z:RegOST.ini");
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_TRUE(bare);
    EXPECT_TRUE(dotted);
    EXPECT_TRUE(driveRelative);
}

TEST_F(DosStreamTest, AppendStoresEachNewlineAsCrLf) {
    WriteFile(folder.File("Work/RegOST.log"), "abc");
    FILE *log = OpenDosStream(Dos("work\\REGOST.LOG").c_str(), "a");
    ASSERT_NE(log, nullptr);
    fputs("x\n", log);
    fputs("y\r\nz\n\n", log);
    fclose(log);
    EXPECT_EQ(ReadFile(folder.File("Work/RegOST.log")), "abcx\r\ny\r\r\nz\r\n\r\n");
    EXPECT_FALSE(FileExists(folder.File("Work/REGOST.LOG")));
}

TEST_F(DosStreamTest, NewFilesKeepTheirGivenNameInTheFoundFolder) {
    FILE *log = OpenDosStream(Dos("WORK\\TempTxt.Log").c_str(), "a");
    ASSERT_NE(log, nullptr);
    fputs("RegDB Root: 2\n", log);
    fclose(log);
    EXPECT_EQ(ReadFile(folder.File("Work/TempTxt.Log")), "RegDB Root: 2\r\n");
}

TEST_F(DosStreamTest, MissingFoldersFoldersAndFifosFail) {
    char buffer[16];
    errno = 0;
    EXPECT_EQ(OpenDosStream(Dos("NoSuch\\RegOST.log").c_str(), "a"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(IsFolder(folder.File("NoSuch")));
    errno = 0;
    EXPECT_EQ(OpenDosStream(Dos("Work").c_str(), "a"), nullptr);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(OpenDosStream(Dos("Work\\RegOST.ini\\x.log").c_str(), "a"), nullptr);
    // The uninstall tells a missing TEMPTXT.log from one it cannot read by errno.
    for (const char *mode : {"r", "rb"}) {
        errno = 0;
        EXPECT_EQ(OpenDosStream(Dos("Work\\Missing.ini").c_str(), mode), nullptr) << mode;
        EXPECT_EQ(errno, ENOENT) << mode;
        EXPECT_EQ(OpenDosStream(Dos("Work").c_str(), mode), nullptr) << mode;
        EXPECT_EQ(errno, EACCES) << mode;
    }
    EXPECT_FALSE(FileExists(folder.File("Work/Missing.ini")));
    for (const char *mode : {"a+", "w", "ab"})
        EXPECT_EQ(OpenDosStream(Dos("Work\\RegOST.ini").c_str(), mode), nullptr)
            << "only a, r and rb";
    EXPECT_EQ(OpenDosStream(nullptr, "r"), nullptr);
    // A FIFO would block the open (or the first read) for ever.
    ASSERT_EQ(mkfifo(folder.File("Work/fifo").c_str(), 0644), 0);
    for (const char *mode : {"r", "a"}) {
        errno = 0;
        EXPECT_EQ(OpenDosStream(Dos("Work\\FIFO").c_str(), mode), nullptr) << mode;
        EXPECT_EQ(errno, EACCES) << mode;
    }
    EXPECT_EQ(
        GetPrivateProfileStringA("S", "k", "", buffer, sizeof buffer, Dos("Work\\fifo").c_str()),
        0u);
}

TEST_F(DosStreamTest, StreamsStayBufferedUntilFlushed) {
    FILE *log = OpenDosStream(Dos("Work\\RegOST.log").c_str(), "a");
    ASSERT_NE(log, nullptr);
    for (int i = 0; i < 100; i++)
        fputs("Ostrel Settings Registry Successful (1)\n\n", log);
    EXPECT_EQ(FileSize(folder.File("Work/RegOST.log")), 0) << "every line reached the disk";
    fflush(log);
    EXPECT_EQ(FileSize(folder.File("Work/RegOST.log")), 100 * 43);
    fclose(log);
}

TEST_F(DosStreamTest, TranslationHoldsAcrossBlockBoundaries) {
    std::string text;
    for (int i = 0; i < 30000; i++)
        text += (i % 7 == 0) ? "\n" : "ab\n";
    std::string expected;
    for (char c : text)
        expected += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    FILE *log = OpenDosStream(Dos("Work\\big.log").c_str(), "a");
    ASSERT_NE(log, nullptr);
    fwrite(text.data(), 1, 5, log); // a short write, then one larger than any buffer
    fwrite(text.data() + 5, 1, text.size() - 5, log);
    fclose(log);
    EXPECT_EQ(ReadFile(folder.File("Work/big.log")), expected);
}

TEST_F(DosStreamTest, TwoAppendStreamsEachWriteAtTheEnd) {
    FILE *first = OpenDosStream(Dos("Work\\shared.log").c_str(), "a");
    FILE *second = OpenDosStream(Dos("Work\\shared.log").c_str(), "a");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    fputs("1\n", first);
    fflush(first);
    fputs("2\n", second);
    fflush(second);
    fputs("3\n", first);
    fclose(first);
    fclose(second);
    EXPECT_EQ(ReadFile(folder.File("Work/shared.log")), "1\r\n2\r\n3\r\n");
}

// --- Own module, temporary folder, clock ---------------------------------

TEST(SimulationProcess, ModuleFileNameIsTheExecutableInDosForm) {
    char unixPath[4096];
    ssize_t length = readlink("/proc/self/exe", unixPath, sizeof unixPath - 1);
    ASSERT_GT(length, 0);
    unixPath[length] = '\0';
    std::string expected = DosPath(unixPath);

    WCHAR path[4096];
    DWORD got = GetModuleFileNameW(nullptr, path, 4096);
    EXPECT_EQ(got, expected.size());
    EXPECT_EQ(std::string(path, path + got), expected); // the build folder's name is ASCII
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(path), path, 4096), 0u)
        << "no other module is loaded";

    // Too small: cut and terminated, the buffer size returned (Vista on).
    DWORD size = (DWORD)expected.size();
    path[size] = 'Q';
    EXPECT_EQ(GetModuleFileNameW(nullptr, path, size), size);
    EXPECT_EQ(std::string(path, path + size - 1), expected.substr(0, size - 1));
    EXPECT_EQ(path[size - 1], 0);
    EXPECT_EQ(path[size], 'Q');
}

// As Windows converts under code page 1252 with WC_NO_BEST_FIT_CHARS: no
// look-alike, a '?' and the flag for each character it lacks.
TEST(SimulationProcess, WideTextToCp1252WithoutBestFit) {
    const WCHAR wide[] = {'a', 0xE9, 0x20AC, 0x0100, 0xD83D, 0xDE00, 0xDC00, 0x81, 0};
    char out[16] = "";
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out, 16, nullptr, &used),
              8);
    EXPECT_STREQ(out, "a\xE9\x80??\?\x81");
    EXPECT_TRUE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, 3, out, 16, nullptr, &used),
              3);
    EXPECT_FALSE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, 3, out, 2, nullptr, &used),
              0);
}

TEST(SimulationProcess, TempPathComesFromTmpdirInDosFormWithFinalBackslash) {
    TempFolder folder;
    std::string unicodeFolder = folder.File("Caf\xC3\xA9");
    ScopedEnv tmpdir("TMPDIR", unicodeFolder.c_str());
    std::string expected = folder.Dos() + "Caf\xE9\\";
    char buffer[4096];
    EXPECT_EQ(GetTempPathA(sizeof buffer, buffer), expected.size());
    EXPECT_EQ(std::string(buffer), expected);

    // Too small by one: the size needed is returned, the buffer untouched.
    memset(buffer, 'Q', sizeof buffer);
    EXPECT_EQ(GetTempPathA((DWORD)expected.size(), buffer), expected.size() + 1);
    EXPECT_EQ(buffer[0], 'Q');
    EXPECT_EQ(GetTempPathA((DWORD)expected.size() + 1, buffer), expected.size());

    setenv("TMPDIR", (unicodeFolder + "/").c_str(), 1);
    EXPECT_EQ(GetTempPathA(sizeof buffer, buffer), expected.size()) << buffer;
}

TEST(SimulationProcess, TempPathFallsBackToTmpAndResolvesRelativeFolders) {
    char buffer[4096];
    {
        ScopedEnv tmpdir("TMPDIR", "");
        EXPECT_EQ(GetTempPathA(sizeof buffer, buffer), 7u);
        EXPECT_STREQ(buffer, "Z:\\tmp\\");
    }
    {
        ScopedEnv tmpdir("TMPDIR", "a/../b");
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        std::string expected = DosPath(std::string(cwd) + "/b") + "\\";
        if (strcmp(cwd, "/") == 0)
            expected = "Z:\\b\\";
        GetTempPathA(sizeof buffer, buffer);
        EXPECT_EQ(std::string(buffer), expected);
    }
}

TEST(SimulationProcess, LocalTimeIsTheLocalClock) {
    time_t before = time(nullptr);
    SYSTEMTIME now;
    GetLocalTime(&now);
    time_t after = time(nullptr);
    struct tm local;
    localtime_r(&before, &local);
    if (before == after) {
        EXPECT_EQ(now.wYear, local.tm_year + 1900);
        EXPECT_EQ(now.wMonth, local.tm_mon + 1);
        EXPECT_EQ(now.wDay, local.tm_mday);
        EXPECT_EQ(now.wDayOfWeek, local.tm_wday);
        EXPECT_EQ(now.wHour, local.tm_hour);
        EXPECT_EQ(now.wMinute, local.tm_min);
        EXPECT_EQ(now.wSecond, local.tm_sec);
    }
    EXPECT_LT(now.wMilliseconds, 1000);
}

// --- FindFirstFileA --------------------------------------------------------

class FindTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char *name : {"RegOST.ini", "readme.txt", "a.b.c"})
            WriteFile(folder.File(name), "x");
        MakeFolder(folder.File("q"));
        WriteFile(folder.File("q/noext"), "x");
    }

    // "found" or "none", as the programs see it.
    std::string Find(const std::string &path) {
        WIN32_FIND_DATAA data;
        HANDLE handle = FindFirstFileA(path.c_str(), &data);
        if (handle == INVALID_HANDLE_VALUE)
            return "none";
        EXPECT_TRUE(FindClose(handle));
        return "found";
    }
    std::string In(const std::string &relative) const { return folder.Dos() + relative; }

    TempFolder folder;
};

// Case, trailing dots, patterns and devices are rows of the Wine conformance
// test; these are the ones its tree lacks.
TEST_F(FindTest, PatternsAndDevicesBeyondTheConformanceRows) {
    const struct {
        const char *path, *expected;
    } rows[] = {
        {"a?b.c", "none"},   // '?' never matches a dot
        {"q\\n*.", "found"}, // "*." is the names without an extension
        {"R*.", "none"},
        {"LPT9:x", "found"}, // the highest device number
    };
    for (const auto &row : rows)
        EXPECT_EQ(Find(In(row.path)), row.expected) << row.path;
}

TEST_F(FindTest, PathsLongerThanMaxPathAreRefused) {
    // Padding with doubled separators keeps the path naming the same file.
    std::string path = In("RegOST.ini");
    std::string at260 = path;
    at260.insert(at260.rfind('\\'), std::string(260 - path.size(), '\\'));
    ASSERT_EQ(at260.size(), 260u);
    EXPECT_EQ(Find(at260), "found");
    EXPECT_EQ(Find(at260.insert(at260.rfind('\\'), "\\")), "none");
}

TEST_F(FindTest, HandlesAndArguments) {
    EXPECT_EQ(FindFirstFileA(In("RegOST.ini").c_str(), nullptr), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(FindClose(nullptr));
}

// --- GetPrivateProfileStringA ------------------------------------------------

class ProfileTest : public ::testing::Test {
  protected:
    void Use(const std::string &bytes) { WriteFile(folder.File("Setup.ini"), bytes); }

    // "count:text" of one call with a buffer of size bytes; the bytes past
    // the buffer must stay untouched.
    std::string Get(const char *section, const char *key, const char *fallback = "",
                    DWORD size = 512, const std::string &file = "") {
        std::string buffer(size + 16, '\x7F');
        std::string path = file.empty() ? folder.Dos() + "setup.INI" : file;
        DWORD count =
            GetPrivateProfileStringA(section, key, fallback, &buffer[0], size, path.c_str());
        for (size_t i = size; i < buffer.size(); i++)
            EXPECT_EQ(buffer[i], '\x7F') << "written past the buffer at " << i;
        EXPECT_LT(count, size);
        EXPECT_EQ(buffer[count], '\0') << "not terminated";
        return std::to_string(count) + ":" + buffer.substr(0, count);
    }
    TempFolder folder;
};

// What a file holds and how a value is cut are rows of the Wine conformance
// test (tests/conformance/ini); these files are not there.
TEST_F(ProfileTest, MissingFilesGiveTheDefault) {
    EXPECT_EQ(Get("S", "k", "", 512, folder.Dos() + "none.ini"), "0:");
    EXPECT_EQ(Get("S", "k", "", 512, folder.Dos() + "none\\x.ini"), "0:");
    EXPECT_EQ(Get("S", "k", "", 512, folder.Dos()), "0:");
    Use("[S]\r\nk=v\r\n");
    EXPECT_EQ(Get("S", "k", "", 512, "Setup.ini"), "0:") << "bare names mean the Windows folder";
}

} // namespace
