// The file side of the Linux stand-in: DOS paths, text streams, the own
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
}

TEST_F(DosStreamTest, FullPathsOfMaxPathCharactersFailInEveryCall) {
    // Folders named so that Dos("Work\\<pad>\\x.ini") has 259 characters.
    size_t pad = 259 - Dos("Work\\\\x.ini").size();
    ASSERT_LT(pad, 255u);
    std::string name(pad, 'p');
    MakeFolder(folder.File("Work/" + name));
    MakeFolder(folder.File("Work/" + name + "q"));
    WriteFile(folder.File("Work/" + name + "/x.ini"), "[S]\r\nk=v\r\n");
    WriteFile(folder.File("Work/" + name + "q/x.ini"), "[S]\r\nk=v\r\n");
    for (const std::string &folderName : {name, name + "q"}) {
        std::string path = Dos("Work\\" + folderName + "\\x.ini");
        bool fits = path.size() < MAX_PATH;
        char value[16];
        WIN32_FIND_DATAA data;
        EXPECT_EQ(Opens(path), fits) << path.size();
        EXPECT_EQ(Opens(path.substr(0, path.size() - 5) + "y.log", "a"), fits) << path.size();
        EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", value, sizeof value, path.c_str()),
                  fits ? 1u : 0u);
        HANDLE found = FindFirstFileA(path.c_str(), &data);
        EXPECT_EQ(found != INVALID_HANDLE_VALUE, fits) << path.size();
        if (found != INVALID_HANDLE_VALUE)
            FindClose(found);
        else
            EXPECT_EQ(GetLastError(), 206u);
    }
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

TEST_F(DosStreamTest, WriteModeReplacesAndBinaryModeTranslatesNothing) {
    WriteFile(folder.File("Work/out.txt"), "old content");
    FILE *text = OpenDosStream(Dos("Work\\out.txt").c_str(), "w");
    ASSERT_NE(text, nullptr);
    fputs("a\n", text);
    fclose(text);
    EXPECT_EQ(ReadFile(folder.File("Work/out.txt")), "a\r\n");
    FILE *binary = OpenDosStream(Dos("Work\\out.txt").c_str(), "ab");
    ASSERT_NE(binary, nullptr);
    fputs("b\n", binary);
    fclose(binary);
    EXPECT_EQ(ReadFile(folder.File("Work/out.txt")), "a\r\nb\n");
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
    EXPECT_FALSE(Opens(Dos("Work\\Missing.ini"), "r"));
    EXPECT_FALSE(FileExists(folder.File("Work/Missing.ini")));
    EXPECT_EQ(OpenDosStream(Dos("Work\\RegOST.ini").c_str(), "a+"), nullptr);
    EXPECT_EQ(OpenDosStream(nullptr, "r"), nullptr);
    // A FIFO would block the open (or the first read) for ever.
    ASSERT_EQ(mkfifo(folder.File("Work/fifo").c_str(), 0644), 0);
    for (const char *mode : {"r", "a", "w", "ab"}) {
        errno = 0;
        EXPECT_EQ(OpenDosStream(Dos("Work\\FIFO").c_str(), mode), nullptr) << mode;
        EXPECT_EQ(errno, EACCES) << mode;
    }
    EXPECT_EQ(
        GetPrivateProfileStringA("S", "k", "DEF", buffer, sizeof buffer, Dos("Work\\fifo").c_str()),
        3u);
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

TEST(StandInProcess, ModuleFileNameIsTheExecutableInDosForm) {
    char unixPath[4096];
    ssize_t length = readlink("/proc/self/exe", unixPath, sizeof unixPath - 1);
    ASSERT_GT(length, 0);
    unixPath[length] = '\0';
    std::string expected = DosPath(unixPath);

    char path[4096];
    DWORD got = GetModuleFileNameA(nullptr, path, sizeof path);
    EXPECT_EQ(got, expected.size());
    EXPECT_EQ(std::string(path), expected);
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(path), path, sizeof path), 0u)
        << "no other module is loaded";

    // Too small: cut and terminated, the buffer size returned (Vista on).
    memset(path, 'Q', sizeof path);
    DWORD size = (DWORD)expected.size();
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, path, size), size);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(path), expected.substr(0, size - 1));
    EXPECT_EQ(path[size], 'Q');
    EXPECT_EQ(GetModuleFileNameA(nullptr, path, size + 1), size);
    EXPECT_EQ(std::string(path), expected);
}

TEST(StandInProcess, TempPathComesFromTmpdirInDosFormWithFinalBackslash) {
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

TEST(StandInProcess, TempPathFallsBackToTmpAndResolvesRelativeFolders) {
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

TEST(StandInProcess, LocalTimeIsTheLocalClock) {
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

TEST(StandInProcess, LastErrorAndCodePage) {
    SetLastError(1234);
    EXPECT_EQ(GetLastError(), 1234u);
    SetLastError(0);
    EXPECT_EQ(GetLastError(), 0u);
    for (int byte = 0; byte < 256; byte++)
        EXPECT_FALSE(IsDBCSLeadByte((BYTE)byte)) << byte;
}

// --- FindFirstFileA --------------------------------------------------------

class FindTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char *name : {"RegOST.ini", "readme.txt", "noext", "a.b.c", "Ostrel.arx"})
            WriteFile(folder.File(name), "x");
        MakeFolder(folder.File("dir1"));
        WriteFile(folder.File("dir1/in1.txt"), "x");
        MakeFolder(folder.File("Tools"));
        MakeFolder(folder.File("q"));
        WriteFile(folder.File("q/noext"), "x");
    }

    // "name attributes" of the first match, or "error N".
    std::string Find(const std::string &path) {
        WIN32_FIND_DATAA data;
        memset(&data, 0x55, sizeof data);
        SetLastError(0);
        HANDLE handle = FindFirstFileA(path.c_str(), &data);
        if (handle == INVALID_HANDLE_VALUE)
            return "error " + std::to_string(GetLastError());
        std::string result =
            std::string(data.cFileName) + " " + std::to_string(data.dwFileAttributes & 0xFF);
        EXPECT_TRUE(FindClose(handle));
        return result;
    }
    std::string In(const std::string &relative) const { return folder.Dos() + relative; }

    TempFolder folder;
};

TEST_F(FindTest, PlainNamesMatchWithoutRegardToCase) {
    EXPECT_EQ(Find(In("regost.INI")), "RegOST.ini 32");
    EXPECT_EQ(Find(In("DIR1\\IN1.TXT")), "in1.txt 32");
    EXPECT_EQ(Find(In("dir1")), "dir1 16");
    EXPECT_EQ(Find(In("tools")), "Tools 16");
    EXPECT_EQ(Find(In("dir1\\.")), "dir1 16");
}

TEST_F(FindTest, TrailingDotsAndBlanksAreDropped) {
    EXPECT_EQ(Find(In("noext.")), "noext 32");
    EXPECT_EQ(Find(In("RegOST.ini.")), "RegOST.ini 32");
    EXPECT_EQ(Find(In("RegOST.ini  ")), "RegOST.ini 32");
}

TEST_F(FindTest, WildcardsFollowTheDosRules) {
    EXPECT_EQ(Find(In("RegOS?.ini")), "RegOST.ini 32");
    EXPECT_EQ(Find(In("????.ini")), "error 2");
    EXPECT_EQ(Find(In("*.INI")), "RegOST.ini 32");
    EXPECT_EQ(Find(In("*.arx")), "Ostrel.arx 32");
    EXPECT_EQ(Find(In("dir1\\*")), ". 16");
    EXPECT_EQ(Find(In("dir1\\*.*")), ". 16");
    EXPECT_EQ(Find(In("dir1\\*.txt")), "in1.txt 32");
    EXPECT_EQ(Find(In("*.c")), "a.b.c 32");
    EXPECT_EQ(Find(In("a.?.c")), "a.b.c 32");
    // '?' does not match a dot, but may match nothing before a dot or at
    // the end; '.' before '*' also matches the end of a name.
    EXPECT_EQ(Find(In("a?b.c")), "error 2");
    EXPECT_EQ(Find(In("q\\noext?")), "noext 32");
    EXPECT_EQ(Find(In("q\\no????.???")), "noext 32");
    EXPECT_EQ(Find(In("q\\NOEXT.*")), "noext 32");
    EXPECT_EQ(Find(In("q\\*.txt")), "error 2");
    // "*." means the names without an extension, which '.' always is.
    EXPECT_EQ(Find(In("q\\*.")), ". 16");
    EXPECT_EQ(Find(In("q\\n*.")), "noext 32");
    EXPECT_EQ(Find(In("R*.")), "error 2");
}

TEST_F(FindTest, DeviceNamesAreFoundInAnyFolderThatExists) {
    EXPECT_EQ(Find(In("NUL")), "NUL 32");
    EXPECT_EQ(Find(In("nul.arx")), "nul 32");
    EXPECT_EQ(Find(In("dir1\\Nul .txt")), "Nul 32");
    EXPECT_EQ(Find(In("CON")), "CON 32");
    EXPECT_EQ(Find(In("com1")), "com1 32");
    EXPECT_EQ(Find(In("LPT9:x")), "LPT9 32");
    EXPECT_EQ(Find("NUL"), "NUL 32");
    EXPECT_EQ(Find(In("COM0")), "error 2");
    EXPECT_EQ(Find(In("COM10")), "error 2");
    EXPECT_EQ(Find(In("nosuch\\NUL")), "error 3");
    EXPECT_EQ(Find(In("RegOST.ini\\NUL")), "error 3");
}

TEST_F(FindTest, NamespacePrefixes) {
    // "\\.\" paths are read as usual; "\\?\" ones literally.
    EXPECT_EQ(Find("\\\\.\\" + In("dir1\\..\\RegOST.ini")), "RegOST.ini 32");
    EXPECT_EQ(Find("\\\\?\\" + In("regost.INI")), "RegOST.ini 32");
    EXPECT_EQ(Find("\\\\?\\" + In("RegOS?.ini")), "RegOST.ini 32");
    EXPECT_EQ(Find("\\\\?\\" + In("dir1\\..\\RegOST.ini")), "error 123");
    EXPECT_EQ(Find("\\\\?\\" + In("dir1\\\\in1.txt")), "error 123");
    EXPECT_EQ(Find("\\\\?\\" + In("dir1/in1.txt")), "error 123");
    EXPECT_EQ(Find("\\\\?\\" + In("NUL")), "error 2");
    EXPECT_EQ(Find("\\\\.\\NUL"), "error 123");
    EXPECT_EQ(Find("\\\\?\\Z:\\"), "error 2");
}

TEST_F(FindTest, RootHasNoDotEntries) {
    EXPECT_NE(Find("Z:\\*").substr(0, 2), ". ");
    EXPECT_EQ(Find("Z:\\"), "error 2");
}

TEST_F(FindTest, FailuresGiveTheWindowsErrorCodes) {
    EXPECT_EQ(Find(In("missing.txt")), "error 2");
    EXPECT_EQ(Find(In("nosuch\\x.txt")), "error 3");
    EXPECT_EQ(Find(In("nosuch\\*")), "error 3");
    EXPECT_EQ(Find(In("d*\\in1.txt")), "error 123");
    EXPECT_EQ(Find(In("dir?\\in1.txt")), "error 123");
    EXPECT_EQ(Find(In("dir1\\")), "error 2");
    EXPECT_EQ(Find(In("nosuch\\")), "error 3");
    EXPECT_EQ(Find(In("RegOST.ini\\x")), "error 123");
    EXPECT_EQ(Find(""), "error 3");
    EXPECT_EQ(Find("C" + In("RegOST.ini").substr(1)), "error 3");
}

TEST_F(FindTest, PathsLongerThanMaxPathAreRefused) {
    // Padding with doubled separators keeps the path naming the same file.
    std::string path = In("RegOST.ini");
    std::string at260 = path;
    at260.insert(at260.rfind('\\'), std::string(260 - path.size(), '\\'));
    ASSERT_EQ(at260.size(), 260u);
    EXPECT_EQ(Find(at260), "RegOST.ini 32");
    EXPECT_EQ(Find(at260.insert(at260.rfind('\\'), "\\")), "error 206");
}

TEST_F(FindTest, HandlesAndArguments) {
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FindFirstFileA(In("RegOST.ini").c_str(), nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FindClose(nullptr));
    HANDLE handle = FindFirstFileA(In("RegOST.ini").c_str(), &data);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 1u);
    EXPECT_STREQ(data.cAlternateFileName, "");
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    EXPECT_TRUE(FindClose(handle));
}

// --- GetPrivateProfileStringA ------------------------------------------------

class ProfileTest : public ::testing::Test {
  protected:
    void Use(const std::string &bytes) { WriteFile(folder.File("Setup.ini"), bytes); }

    // "count:text" of one call with a buffer of size bytes; the bytes past
    // the buffer must stay untouched.
    std::string Get(const char *section, const char *key, const char *fallback = "DEF",
                    DWORD size = 512, const std::string &file = "") {
        std::string buffer(size + 16, '\x7F');
        std::string path = file.empty() ? folder.Dos() + "setup.INI" : file;
        DWORD count =
            GetPrivateProfileStringA(section, key, fallback, &buffer[0], size, path.c_str());
        for (size_t i = size; i < buffer.size(); i++)
            EXPECT_EQ(buffer[i], '\x7F') << "written past the buffer at " << i;
        if (size == 0)
            return std::to_string(count) + ":" + (buffer[0] == '\x7F' ? "untouched" : "touched");
        EXPECT_LT(count, size);
        EXPECT_EQ(buffer[count], '\0') << "not terminated";
        return std::to_string(count) + ":" + buffer.substr(0, count);
    }
    TempFolder folder;
};

TEST_F(ProfileTest, NamesIgnoreCaseAndBlanksValuesKeepThem) {
    Use("[  Spaced Sec  ]\r\n  Key1  =  v A l  \r\n\tTab\t=\tx\t\r\nmy key = x y \r\n");
    EXPECT_EQ(Get("spaced sec", "KEY1"), "5:v A l");
    EXPECT_EQ(Get("  Spaced Sec ", " key1 "), "5:v A l");
    EXPECT_EQ(Get("Spaced Sec", "tab"), "1:x");
    EXPECT_EQ(Get("Spaced Sec", "my key"), "3:x y");
    // Windows trims only spaces from the names asked for.
    EXPECT_EQ(Get("\tSpaced Sec", "Key1"), "3:DEF");
}

TEST_F(ProfileTest, OneOuterPairOfMatchingQuotesGoes) {
    Use("[Q]\r\nd=\"double\"\r\ns='single'\r\nsp=  \"x y\"  \r\nmis=\"mis'\r\n"
        "left=\"left\r\nsemi=\"x\" ; c\r\nempty=\"\"\r\none=\"\r\ndq=\"\"x\"\"\r\n");
    EXPECT_EQ(Get("Q", "d"), "6:double");
    EXPECT_EQ(Get("Q", "s"), "6:single");
    EXPECT_EQ(Get("Q", "sp"), "3:x y");
    EXPECT_EQ(Get("Q", "mis"), "5:\"mis'");
    EXPECT_EQ(Get("Q", "left"), "5:\"left");
    EXPECT_EQ(Get("Q", "semi"), "7:\"x\" ; c");
    EXPECT_EQ(Get("Q", "empty"), "0:");
    EXPECT_EQ(Get("Q", "one"), "1:\"");
    EXPECT_EQ(Get("Q", "dq"), "3:\"x\"");
}

TEST_F(ProfileTest, CommentsAndOddLines) {
    Use(";k=v\r\nx=1\r\n[S]\r\n  ;c=1\r\n#h=v\r\nk=v ; note\r\nnovalue\r\na=b=c\r\n=e\r\n");
    EXPECT_EQ(Get("S", ";c"), "3:DEF");
    EXPECT_EQ(Get("S", "  ;c"), "3:DEF");
    EXPECT_EQ(Get("S", "#h"), "1:v");
    EXPECT_EQ(Get("S", "k"), "8:v ; note");
    EXPECT_EQ(Get("S", "novalue"), "3:DEF");
    EXPECT_EQ(Get("S", "a"), "3:b=c");
    EXPECT_EQ(Get("", "x"), "3:DEF") << "lines before the first section are unreachable";
    EXPECT_EQ(Get("", ";k"), "3:DEF");
}

TEST_F(ProfileTest, NulByteEndsItsNameOrValueNotTheFile) {
    const char text[] = "[S]\0x\r\na=x\0y\r\nVer\0sion=17.1\r\nz=\0\0\r\n\0\r\n[T]\r\nb=2\r\n";
    Use(std::string(text, sizeof text - 1));
    EXPECT_EQ(Get("S", "a"), "1:x");
    EXPECT_EQ(Get("S", "Ver"), "4:17.1");
    EXPECT_EQ(Get("S", "z"), "0:");
    EXPECT_EQ(Get("T", "b"), "1:2");
}

TEST_F(ProfileTest, FirstKeyAndFirstSectionBlockWin) {
    Use("[D]\r\nk=first\r\nK=second\r\n[Other]\r\nb=2\r\n[d]\r\nk=third\r\nonly2=x\r\n");
    EXPECT_EQ(Get("D", "k"), "5:first");
    EXPECT_EQ(Get("d", "ONLY2"), "3:DEF");
    EXPECT_EQ(Get("Other", "b"), "1:2");
}

TEST_F(ProfileTest, SectionHeadersAsWindowsReadsThem) {
    Use("[A]b]\r\nk=1\r\n[B] text\r\nk=2\r\n[C\r\nk=3\r\n[]\r\nk=4\r\n");
    EXPECT_EQ(Get("A", "k"), "1:1");
    EXPECT_EQ(Get("A]b", "k"), "3:DEF");
    EXPECT_EQ(Get("B", "k"), "1:2");
    EXPECT_EQ(Get("C", "k"), "1:3");
    EXPECT_EQ(Get("", "k"), "1:4");
}

TEST_F(ProfileTest, EmptyValueIsEmptyNotTheDefault) {
    Use("[VERSION]\r\nVersion=\r\nBlank=   \r\n");
    EXPECT_EQ(Get("VERSION", "Version", ""), "0:");
    EXPECT_EQ(Get("VERSION", "Version", "DEF"), "0:");
    EXPECT_EQ(Get("VERSION", "Blank", "DEF"), "0:");
    EXPECT_EQ(Get("VERSION", "Missing", ""), "0:");
}

TEST_F(ProfileTest, AllLineEndsReadTheSame) {
    for (const char *text :
         {"[S]\r\nA=1\r\nB=2\r\n", "[S]\nA=1\nB=2\n", "[S]\rA=1\rB=2\r", "[S]\r\nA=1\nB=2",
          "\r\n[S]\n\r\nA=1\r\rB=2\r\n\x1A", "[S]\r\nA=1\r\nB=2\x1A"}) {
        Use(text);
        EXPECT_EQ(Get("S", "A"), "1:1") << text;
        EXPECT_EQ(Get("S", "B"), "1:2") << text;
    }
}

TEST_F(ProfileTest, Utf8BomIsNotRecognizedUtf16LeIs) {
    Use("\xEF\xBB\xBF[S]\r\nk=v\r\n[T]\r\nk=\xC3\xA9\r\n");
    EXPECT_EQ(Get("S", "k"), "3:DEF");
    EXPECT_EQ(Get("T", "k"), "2:\xC3\xA9");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[S]\r\nk=caf_ _\r\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    utf16[2 * 11] = '\xE9'; // e acute
    utf16[2 * 13] = '\xAC'; // the euro sign, U+20AC
    utf16[2 * 13 + 1] = '\x20';
    Use(utf16);
    EXPECT_EQ(Get("S", "k"), "6:caf\xE9 \x80");
}

TEST_F(ProfileTest, LongValuesAreCutToTheBuffer) {
    std::string value;
    for (int i = 0; i < 601; i++)
        value += (char)('A' + i % 26);
    Use("[S]\r\nlong=" + value + "\r\nshort=val1\r\n");
    SetLastError(0);
    EXPECT_EQ(Get("S", "long", "", 512), "511:" + value.substr(0, 511));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MORE_DATA);
    EXPECT_EQ(Get("S", "long", "", 602), "601:" + value);
    EXPECT_EQ(Get("S", "long", "", 601), "600:" + value.substr(0, 600));
    EXPECT_EQ(Get("S", "short", "", 5), "4:val1");
    EXPECT_EQ(Get("S", "short", "", 4), "3:val");
    EXPECT_EQ(Get("S", "short", "", 1), "0:");
    EXPECT_EQ(Get("S", "short", "", 0), "0:untouched");
}

TEST_F(ProfileTest, DefaultsLoseTrailingSpacesOnly) {
    Use("[S]\r\nk=v\r\n");
    EXPECT_EQ(Get("S", "x", "DEF   "), "3:DEF");
    EXPECT_EQ(Get("S", "x", "   DEF"), "6:   DEF");
    EXPECT_EQ(Get("S", "x", "DEF\t"), "4:DEF\t");
    EXPECT_EQ(Get("S", "x", "\"DEF\""), "5:\"DEF\"");
    EXPECT_EQ(Get("S", "x", nullptr), "0:");
    EXPECT_EQ(Get("S", "x", "DEFAULT", 4), "3:DEF");
}

TEST_F(ProfileTest, MissingFilesGiveTheDefault) {
    SetLastError(0);
    EXPECT_EQ(Get("S", "k", "DEF", 512, folder.Dos() + "none.ini"), "3:DEF");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Get("S", "k", "DEF", 512, folder.Dos() + "none\\x.ini"), "3:DEF");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Get("S", "k", "DEF", 512, folder.Dos()), "3:DEF");
    EXPECT_EQ(Get("S", "k", "DEF", 512, "Setup.ini"), "3:DEF")
        << "bare names mean the Windows folder";
    Use("");
    EXPECT_EQ(Get("S", "k"), "3:DEF");
}

} // namespace
