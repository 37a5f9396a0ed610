// Upper-casing, path splitting, the program folder and the setup-file check.
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"

namespace {

std::string Upper(std::string text) {
    UpperCaseInPlace(text.data());
    return text;
}

std::string Split(const char *path) {
    PathParts parts;
    SplitPath(path, &parts);
    return std::string(parts.drive) + "|" + parts.directory + "|" + parts.fileName + "|" +
           parts.extension;
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

TEST(SplitPath, FollowsTheRuntimesRules) {
    EXPECT_EQ(Split("C:\\Tools\\RegOST.ini"), "C:|\\Tools\\|RegOST|.ini");
    EXPECT_EQ(Split("\\\\server\\share\\Tools\\RegOST.ini"),
              "|\\\\server\\share\\Tools\\|RegOST|.ini");
    EXPECT_EQ(Split("RegOST.ini"), "||RegOST|.ini");
    EXPECT_EQ(Split("C:RegOST.ini"), "C:||RegOST|.ini");
    EXPECT_EQ(Split(".ini"), "|||.ini");
    EXPECT_EQ(Split("C:\\Tools\\"), "C:|\\Tools\\||");
    EXPECT_EQ(Split("C:\\Tools\\RegOST"), "C:|\\Tools\\|RegOST|");
    EXPECT_EQ(Split("a.b.c"), "||a.b|.c");
    EXPECT_EQ(Split("C:/Tools/RegOST.ini"), "C:|/Tools/|RegOST|.ini");
    EXPECT_EQ(Split("C:\\dir.d\\name"), "C:|\\dir.d\\|name|");
    EXPECT_EQ(Split("1:\\x"), "1:|\\|x|");
    EXPECT_EQ(Split(""), "|||");
}

TEST(SplitPath, CutsEachPartTo255Characters) {
    std::string path =
        "C:\\" + std::string(300, 'd') + "\\" + std::string(300, 'f') + "." + std::string(300, 'e');
    PathParts parts;
    SplitPath(path.c_str(), &parts);
    EXPECT_EQ(strlen(parts.directory), 255u);
    EXPECT_EQ(strlen(parts.fileName), 255u);
    EXPECT_EQ(strlen(parts.extension), 255u);
    EXPECT_EQ(parts.extension[0], '.');
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
    SetStandInModuleFileName(("Z:\\" + std::string(600, 'd') + "\\RegOST.exe").c_str());
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
    SetStandInModuleFileName(nullptr);
}

TEST_F(SetupFileCheckTest, FullPathOfAnExistingFileIsFoundUnchanged) {
    WriteFile(folder.File("RegOST.ini"), "[VERSION]\r\n");
    char path[kPathBufferSize];
    snprintf(path, sizeof path, "%sRegOST.ini", folder.Dos().c_str());
    std::string before = path;
    EXPECT_TRUE(CheckSetupFile(path, folder.Dos().c_str()));
    EXPECT_EQ(path, before);

    snprintf(path, sizeof path, "%sMissing.ini", folder.Dos().c_str());
    EXPECT_FALSE(CheckSetupFile(path, folder.Dos().c_str()));
}

TEST_F(SetupFileCheckTest, NameWithoutFileNameOrExtensionIsNotFound) {
    WriteFile(folder.File("RegOST"), "");
    char path[kPathBufferSize];
    snprintf(path, sizeof path, "%sRegOST", folder.Dos().c_str());
    EXPECT_FALSE(CheckSetupFile(path, folder.Dos().c_str()));
    snprintf(path, sizeof path, "%s", folder.Dos().c_str());
    EXPECT_FALSE(CheckSetupFile(path, folder.Dos().c_str()));
}

TEST_F(SetupFileCheckTest, BareNameIsLookedForInTheProgramFolderAndNeverInAnUnknownOne) {
    WriteFile(folder.File("RegOST.ini"), "");
    char path[kPathBufferSize] = "RegOST.ini";
    EXPECT_TRUE(CheckSetupFile(path, folder.Dos().c_str()));
    EXPECT_EQ(std::string(path), folder.Dos() + "RegOST.ini");

    char *saved = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    char bare[kPathBufferSize] = "RegOST.ini";
    EXPECT_FALSE(CheckSetupFile(bare, ""));
    EXPECT_EQ(chdir(saved), 0);
    free(saved);
}

TEST_F(SetupFileCheckTest, RootedAndNetworkPathsAreNotPrefixedAgain) {
    WriteFile(folder.File("RegOST.ini"), "");
    std::string rooted = folder.Dos().substr(2) + "RegOST.ini"; // \tmp\...\RegOST.ini
    char path[kPathBufferSize];
    snprintf(path, sizeof path, "%s", rooted.c_str());
    EXPECT_TRUE(CheckSetupFile(path, folder.Dos().c_str()));
    EXPECT_EQ(path, rooted);

    snprintf(path, sizeof path, "\\\\server\\share\\Tools\\RegOST.ini");
    EXPECT_FALSE(CheckSetupFile(path, folder.Dos().c_str()));
    EXPECT_STREQ(path, "\\\\server\\share\\Tools\\RegOST.ini");
    snprintf(path, sizeof path, "\\\\server\\share\\Tools\\RegOST");
    EXPECT_FALSE(CheckSetupFile(path, folder.Dos().c_str()));
}

TEST_F(SetupFileCheckTest, CompletionThatWouldNotFitIsNotFoundAndStaysInTheBuffer) {
    std::string directory = folder.Dos() + std::string(500 - folder.Dos().size(), 'd') + "\\";
    char guarded[kPathBufferSize + 8];
    memset(guarded, '#', sizeof guarded);
    memcpy(guarded, "RegOST.ini", 11);
    EXPECT_FALSE(CheckSetupFile(guarded, directory.c_str()));
    EXPECT_EQ(guarded[kPathBufferSize], '#');
}

TEST_F(SetupFileCheckTest, ExistingFileThatCannotBeReadIsNotFound) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    WriteFile(folder.File("RegOST.ini"), "");
    chmod(folder.File("RegOST.ini").c_str(), 0);
    char path[kPathBufferSize];
    snprintf(path, sizeof path, "%sRegOST.ini", folder.Dos().c_str());
    EXPECT_FALSE(CheckSetupFile(path, folder.Dos().c_str()));
}
