// The progress log and the registry-script log, byte for byte.
#include <stdlib.h>
#include <sys/stat.h>

#include <regex>

#include "support.h"

namespace {

std::string Header(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    char date[9];
    char clock[9];
    FormatHeaderTexts(&time, date, clock);
    return std::string(date) + " -- " + clock;
}

const std::regex kHeader(R"(\d\d/\d\d/\d\d -- \d\d:\d\d:\d\d \r\n\r\n)");

using LogTest = ProgramTest;

} // namespace

TEST(LogHeader, DateMonthFirstWithTwoDigitYearAndTwentyFourHourClock) {
    EXPECT_EQ(Header(2008, 12, 31, 23, 59, 59), "12/31/08 -- 23:59:59");
    EXPECT_EQ(Header(2009, 1, 1, 0, 0, 4), "01/01/09 -- 00:00:04");
    EXPECT_EQ(Header(2009, 1, 5, 19, 3, 9), "01/05/09 -- 19:03:09");
    EXPECT_EQ(Header(2100, 10, 9, 12, 0, 0), "10/09/00 -- 12:00:00");
}

TEST(JoinText, JoinsWhatFitsAndRefusesTheRestWithoutWritingPastTheBuffer) {
    char guarded[kPathBufferSize + 16];
    memset(guarded, '#', sizeof guarded);
    std::string directory(501, 'd'); // 501 + "\" + 10 = 512 characters: one too many
    EXPECT_FALSE(
        JoinText(guarded, directory.c_str(), SeparatorAfter(directory.c_str()), "RegOST.log"));
    EXPECT_EQ(guarded[0], '\0');
    EXPECT_EQ(guarded[kPathBufferSize], '#');

    directory.pop_back(); // 511 characters exactly
    ASSERT_TRUE(
        JoinText(guarded, directory.c_str(), SeparatorAfter(directory.c_str()), "RegOST.log"));
    EXPECT_EQ(strlen(guarded), 511u);
    EXPECT_EQ(guarded[kPathBufferSize], '#');

    EXPECT_STREQ(SeparatorAfter("C:\\Tools\\"), "");
    EXPECT_STREQ(SeparatorAfter("C:\\Tools"), "\\");
    EXPECT_STREQ(SeparatorAfter(""), "");
}

TEST_F(LogTest, ProgressLogGetsHeaderAndLinesWithCrLf) {
    OpenProgressLog(folder.Dos().c_str());
    WriteProgressLine("Ostrel Settings Registry Successful (1)\n\n");
    WriteProgressLine("Error -- Ostrel registry -- ", "Splash", " -- HKEY_CURRENT_USER.\n");
    EndLogs("Installation Completed\n\n");
    logsClosed = true;

    std::string bytes = ReadFile(folder.File("RegOST.log"));
    std::smatch header;
    ASSERT_TRUE(std::regex_search(bytes, header, kHeader)) << bytes;
    EXPECT_EQ(header.position(0), 0);
    EXPECT_EQ(bytes.substr(header.length(0)),
              "Ostrel Settings Registry Successful (1)\r\n\r\n"
              "Error -- Ostrel registry -- Splash -- HKEY_CURRENT_USER.\r\n"
              "Installation Completed\r\n\r\n");
}

TEST_F(LogTest, SecondRunAppendsAfterTheFirstRunsFinalMessage) {
    for (int i = 0; i < 2; ++i) {
        ResetLogStateForTests();
        OpenProgressLog(folder.Dos().c_str());
        EndLogs("(INI) file not found\n\n");
    }
    logsClosed = true;
    std::string bytes = ReadFile(folder.File("RegOST.log"));
    std::string oneRun =
        R"(\d\d/\d\d/\d\d -- \d\d:\d\d:\d\d \r\n\r\n\(INI\) file not found\r\n\r\n)";
    EXPECT_TRUE(std::regex_match(bytes, std::regex(oneRun + oneRun))) << bytes;
}

TEST_F(LogTest, ProgressLogFallsBackToTheTemporaryFolder) {
    TempFolder temporary;
    mkdir(folder.File("RegOST.log").c_str(), 0755); // blocks the program folder
    const char *saved = getenv("TMPDIR");
    std::string savedValue = saved != nullptr ? saved : "";
    setenv("TMPDIR", temporary.path().c_str(), 1);

    OpenProgressLog(folder.Dos().c_str());
    WriteProgressLine("Installation Completed\n\n");
    CloseLogs();

    if (saved != nullptr)
        setenv("TMPDIR", savedValue.c_str(), 1);
    else
        unsetenv("TMPDIR");
    std::string bytes = ReadFile(temporary.File("RegOST.log"));
    EXPECT_TRUE(std::regex_search(bytes, kHeader)) << bytes;
    EXPECT_NE(bytes.find("Installation Completed\r\n\r\n"), std::string::npos);
}

TEST_F(LogTest, NoProgressOutputAnywhereWhenBothPlacesAreBlocked) {
    TempFolder temporary;
    mkdir(folder.File("RegOST.log").c_str(), 0755);
    mkdir(temporary.File("RegOST.log").c_str(), 0755);
    const char *saved = getenv("TMPDIR");
    std::string savedValue = saved != nullptr ? saved : "";
    setenv("TMPDIR", temporary.path().c_str(), 1);

    OpenProgressLog(folder.Dos().c_str());
    WriteProgressLine("nowhere\n");
    OpenRegistryScriptLog(folder.Dos().c_str());
    WriteRegistryScriptRecord("Key", "1", "Name", true, HKEY_CURRENT_USER);
    CloseLogs();

    if (saved != nullptr)
        setenv("TMPDIR", savedValue.c_str(), 1);
    else
        unsetenv("TMPDIR");
    // The registry-script log does not depend on the progress log.
    EXPECT_EQ(ReadFile(folder.File("TEMPTXT.log")),
              "RegDB Key: Key\r\nRegDB Val: 1\r\nRegDB Name: Name\r\nRegDB Type: 3\r\n"
              "RegDB Root: 1\r\n");
}

TEST_F(LogTest, RecordsHaveFourLinesForTextAndFiveForNumbers) {
    ASSERT_TRUE(OpenLogs());
    WriteRegistryScriptRecord("Software\\Quenlar\\AutoCAD\\17.1\\Ostrel\\Settings01", "1",
                              "AuditAlert", true, HKEY_CURRENT_USER);
    WriteRegistryScriptRecord("Software\\Quenlar\\AutoCAD\\17.1\\Ostrel", "C:\\Tools\\Ostrel.arx",
                              "Loader", false, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(ScriptLines(), "RegDB Key: Software\\Quenlar\\AutoCAD\\17.1\\Ostrel\\Settings01\n"
                             "RegDB Val: 1\n"
                             "RegDB Name: AuditAlert\n"
                             "RegDB Type: 3\n"
                             "RegDB Root: 1\n"
                             "RegDB Key: Software\\Quenlar\\AutoCAD\\17.1\\Ostrel\n"
                             "RegDB Val: C:\\Tools\\Ostrel.arx\n"
                             "RegDB Name: Loader\n"
                             "RegDB Root: 2\n");
}

TEST_F(LogTest, LinesLongerThanTheLineBufferReachTheirLogWhole) {
    ASSERT_TRUE(OpenLogs());
    for (size_t length : {186u, 187u, 188u, 600u}) {
        std::string value(length, 'v');
        value.front() = '<';
        value.back() = '>';
        WriteRegistryScriptRecord("Key", value.c_str(), "Loader", false, HKEY_LOCAL_MACHINE);
        std::string head(length, 'h');
        WriteProgressLine(head.c_str(), "|", head.c_str(), "\n");
    }
    std::string script = ScriptLines();
    std::string progress = "\n" + ProgressLines();
    for (size_t length : {186u, 187u, 188u, 600u}) {
        std::string value = "<" + std::string(length - 2, 'v') + ">";
        EXPECT_NE(script.find("RegDB Val: " + value + "\nRegDB Name: Loader\n"), std::string::npos)
            << "value of " << length << " characters";
        std::string head(length, 'h');
        EXPECT_NE(progress.find("\n" + head + "|" + head + "\n"), std::string::npos)
            << "line of " << 2 * length + 2 << " characters";
    }
    EXPECT_EQ(Count(script, "RegDB Key: Key\n"), 4);
}

TEST_F(LogTest, RegistryScriptLogOpensOnceAndStaysClosedWithoutTheSwitch) {
    WriteRegistryScriptRecord("Key", "x", "Name", false, HKEY_LOCAL_MACHINE);
    CloseLogs();
    EXPECT_FALSE(FileExists(folder.File("TEMPTXT.log")));

    ResetLogStateForTests();
    logsClosed = false;
    OpenRegistryScriptLog(folder.Dos().c_str());
    OpenRegistryScriptLog(folder.Dos().c_str());
    WriteRegistryScriptRecord("Key", "x", "Name", false, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(Count(ScriptLines(), "RegDB Key: Key\n"), 1);
}

TEST_F(LogTest, RegistryScriptLogThatCannotOpenIsSilentlyOff) {
    mkdir(folder.File("TEMPTXT.log").c_str(), 0755);
    OpenRegistryScriptLog(folder.Dos().c_str());
    WriteRegistryScriptRecord("Key", "x", "Name", false, HKEY_LOCAL_MACHINE);
    EndLogs(""); // nothing to write to and nothing to close: no crash
    logsClosed = true;
}
