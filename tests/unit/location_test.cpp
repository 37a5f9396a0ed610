// Upper-casing, the program folder, the setup-file check and the add-on file.
#include <sys/stat.h>
#include <unistd.h>

#include "ctl/ctl.h"
#include "support.h"

namespace {

// A DOS header whose e_lfanew is offset, padded to it, then signature and
// a machine.
std::string Image(uint32_t offset, const std::string &signature, uint16_t machine) {
    std::string bytes = "MZ" + std::string(0x3A, '\0');
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>(offset >> shift);
    bytes.resize(std::max<size_t>(offset, bytes.size()), '\0');
    return bytes + signature + static_cast<char>(machine) + static_cast<char>(machine >> 8);
}

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
    char fileName[kPathBufferSize];
    EXPECT_EQ(FindProgramDirectory("", directory, fileName), ProgramFolder::Usable);
    WCHAR self[kPathBufferSize];
    DWORD length = GetModuleFileNameW(nullptr, self, kPathBufferSize);
    ASSERT_GT(length, 0u);
    std::string expected(self, self + length); // the build folder's name is ASCII
    EXPECT_EQ(fileName, expected.substr(expected.rfind('\\') + 1));
    expected.erase(expected.rfind('\\') + 1);
    EXPECT_EQ(directory, expected);
    EXPECT_EQ(std::string(directory).substr(0, 3), "Z:\\");
}

// The ANSI calls would take "\u0100" for "A", and another folder for this one.
TEST(ProgramDirectory, IsRefusedWhereTheCodePageCannotSpellIt) {
    char directory[kPathBufferSize];
    char fileName[kPathBufferSize];
    SetSimulationModuleFileName("Z:\\Ostrel \xC4\x80\\RegOST.exe");
    EXPECT_EQ(FindProgramDirectory("Z:\\Ostrel A\\RegOST.exe", directory, fileName),
              ProgramFolder::NameNotSpelled);
    EXPECT_STREQ(directory, "");
    SetSimulationModuleFileName("Z:\\Caf\xC3\xA9\\Ostrel\xE2\x82\xAC \xF0\x9F\x98\x80.exe");
    EXPECT_EQ(FindProgramDirectory("", directory, fileName), ProgramFolder::Usable);
    EXPECT_STREQ(directory, "Z:\\Caf\xE9\\"); // and no name for a command
    EXPECT_STREQ(fileName, "");
    SetSimulationModuleFileName(nullptr);
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
        char fileName[kPathBufferSize];
        FindProgramDirectory(argv0.c_str(), directory, fileName);
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

TEST_F(SetupFileCheckTest, AddOnFileGetsAVerdictOnlyAsAnImageOfEitherMachine) {
    const std::string pe("PE\0\0", 4);
    const struct {
        std::string bytes;
        LoaderFile verdict;
    } cases[] = {
        {Image(0x80, pe, 0x8664), LoaderFile::ThisMachine}, // regost plays the x64 build
        {Image(0x80, pe, 0x014c), LoaderFile::OtherMachine},
        {Image(0x40, pe, 0xAA64), LoaderFile::NoVerdict}, // an image of neither machine
        {Image(0x40, "PE\0\1", 0x014c), LoaderFile::NoVerdict},
        {Image(0x40, pe, 0x8664).substr(0, 0x45), LoaderFile::NoVerdict}, // cut in the machine
        {Image(0x40, pe, 0x014c).substr(0, 0x3C), LoaderFile::NoVerdict}, // cut before e_lfanew
        {Image(0x40, pe, 0x014c).replace(0x3C, 4, "\xF0\xFF\xFF\xFF"), LoaderFile::NoVerdict},
        {Image(0x40, pe, 0x014c).replace(0x3C, 4, "\x00\x10\x00\x00"), LoaderFile::NoVerdict},
        {"Placeholder for the Ostrel add-on\r\n", LoaderFile::NoVerdict},
        {"", LoaderFile::Empty},
    };
    for (const auto &c : cases) {
        WriteFile(folder.File("Ostrel.arx"), c.bytes);
        WORD machine = 0;
        EXPECT_EQ(ExamineLoaderFile((folder.Dos() + "Ostrel.arx").c_str(), &machine), c.verdict)
            << c.bytes.size() << " bytes";
    }
    WORD machine = 0;
    EXPECT_EQ(ExamineLoaderFile((folder.Dos() + "Qel.arx").c_str(), &machine), LoaderFile::Missing);
}
