// Upper-casing, the program folder and the setup-file check.
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"

namespace {

std::string Upper(std::string text) {
    UpperCaseInPlace(text.data());
    return text;
}

using SetupFileCheckTest = ProgramTest;

} // namespace

TEST(UpperCase, TurnsOnlyAsciiLettersAndLeavesHighBytes) {
    EXPECT_EQ(Upper("/log"), "/LOG");
    EXPECT_EQ(Upper("/Qel"), "/QEL");
    EXPECT_EQ(Upper("-LOG"), "-LOG");
    EXPECT_EQ(Upper("r17.1"), "R17.1");
    EXPECT_EQ(Upper(""), "");
    EXPECT_EQ(Upper("\xe9t\xe9 \xff\x80z{`@"), "\xe9T\xe9 \xff\x80Z{`@");
}

TEST(ProgramDirectory, IsTheRunningExecutablesFolderWithItsBackslash) {
    char directory[kPathBufferSize];
    FindProgramDirectory("", directory);
    char self[kPathBufferSize];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    ASSERT_GT(length, 0u);
    std::string expected(self, length);
    expected.erase(expected.rfind('\\') + 1);
    EXPECT_EQ(directory, expected);
    EXPECT_EQ(std::string(directory).substr(0, 3), "Z:\\");
}

TEST(ProgramDirectory, FallsBackToAnAbsoluteArgv0AndIsOtherwiseUnknown) {
    // A module name that does not fit the buffer sends the search to argv[0].
    SetSimulationModuleFileName(("Z:\\" + std::string(600, 'd') + "\\RegOST.exe").c_str());
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Tools\\RegOST.exe", "C:\\Tools\\"},
        {"\\\\server\\share\\RegOST.exe", "\\\\server\\share\\"},
        {"/opt/setup/regost", "/opt/setup/"},
        {"RegOST.exe", ""},
        {"sub\\RegOST.exe", ""}, // relative to wherever the setup left the current folder
        {"C:\\" + std::string(520, 'x') + "\\RegOST.exe", ""},
    };
    for (const auto &[argv0, expected] : cases) {
        char directory[kPathBufferSize];
        FindProgramDirectory(argv0.c_str(), directory);
        EXPECT_EQ(directory, expected) << argv0;
    }
    SetSimulationModuleFileName(nullptr);
}

TEST_F(SetupFileCheckTest, FileThatOpensIsFoundAndAnyOtherIsNot) {
    WriteFile(folder.File("RegOST.ini"), "[VERSION]\r\n");
    EXPECT_TRUE(CheckSetupFile((folder.Dos() + "RegOST.ini").c_str()));
    EXPECT_FALSE(CheckSetupFile((folder.Dos() + "Missing.ini").c_str()));
    EXPECT_FALSE(CheckSetupFile(folder.Dos().c_str()));
}

TEST_F(SetupFileCheckTest, ExistingFileThatCannotBeReadIsNotFound) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    WriteFile(folder.File("RegOST.ini"), "");
    chmod(folder.File("RegOST.ini").c_str(), 0);
    EXPECT_FALSE(CheckSetupFile((folder.Dos() + "RegOST.ini").c_str()));
}
