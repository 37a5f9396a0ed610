// Whole runs in-process: switches, early ends and the order of the steps.
#include "ctl/ctl.h"
#include "steps/steps.h"
#include "support.h"

namespace {

class RunTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        SetSimulationModuleFileName((folder.Dos() + "Inst.exe").c_str());
        logsClosed = true; // the run closes its logs itself
    }
    void TearDown() override {
        SetSimulationModuleFileName(nullptr);
        ProgramTest::TearDown();
    }

    int Run(std::initializer_list<const char *> arguments) {
        std::vector<char *> argv;
        std::string self = folder.Dos() + "Inst.exe";
        argv.push_back(self.data());
        for (const char *argument : arguments)
            argv.push_back(const_cast<char *>(argument));
        ResetRunForTests();
        return RunRegOST(static_cast<int>(argv.size()), argv.data());
    }

    void AddProduct(const char *release) {
        std::string key = std::string("SOFTWARE\\Autodesk\\AutoCAD\\") + release + "\\ACAD-1:409";
        ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, key), ERROR_SUCCESS);
    }
};

const char *const kRelease =
    "Ostrel Registration Registry Successful (1)\n\nOstrel Settings Registry Successful (1)\n\n"
    "Installation AutoCAD Successful (2)\n\n";

} // namespace

TEST_F(RunTest, MissingSetupFileEndsTheRunAndStillCreatesTheScriptLog) {
    EXPECT_EQ(Run({"/log"}), 0);
    EXPECT_EQ(ProgressLines(), "(INI) file not found\n\n");
    EXPECT_TRUE(FileExists(folder.File("TEMPTXT.log")));
    EXPECT_EQ(ScriptLines(), "");
    EXPECT_EQ(SimulationSetCallCount(), 0);
}

// What the start hands over when msvcrt had no memory to split the command
// line: RegOST cannot know its switches, so it writes nothing, and RegOSTCtl
// takes no mode from it.
TEST_F(RunTest, CommandLineTheRuntimeCouldNotSplitChangesNothing) {
    WriteFile(folder.File("RegOST.ini"), "[VERSION]\r\nVersion=17.1\r\n");
    AddProduct("R17.1");
    ResetRunForTests();
    EXPECT_EQ(RunRegOST(0, nullptr), 0);
    EXPECT_EQ(ProgressLines(), "Error -- Out of memory\n\n");
    remove(folder.File("RegOST.log").c_str());
    ResetRunForTests();
    EXPECT_EQ(RunRegOSTCtl(0, nullptr), kExitBadCommandLine);
    EXPECT_EQ(ProgressLines().substr(0, 13), "Error -- Use ");
    EXPECT_EQ(SimulationSetCallCount(), 0);
}

TEST_F(RunTest, RenamedExecutableFindsItsFolder) {
    WriteFile(folder.File("RegOST.ini"), "[VERSION]\r\nVersion=17.1\r\n");
    AddProduct("R17.1");
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(ProgressLines(), std::string(kRelease) + "Installation Completed\n\n");
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, "Software\\Quenlar\\AutoCAD\\17.1\\Ostrel", "Loader"),
              folder.Dos() + "Ostrel.arx" + '\0');
    EXPECT_FALSE(FileExists(folder.File("TEMPTXT.log")));
}

TEST_F(RunTest, ThirdArgumentIsReportedAndTheSwitchesStillWork) {
    WriteFile(folder.File("RegOST.ini"), "[VERSION]\r\nVersion=17.0:17.2\r\n");
    AddProduct("R17.0");
    AddProduct("R17.2");
    EXPECT_EQ(Run({"/log", "/qEl", "extra"}), 0);
    const char *withSecond = "Ostrel Registration Registry Successful (1)\n\n"
                             "QEL Registration Registry Successful (1)\n\n"
                             "Ostrel Settings Registry Successful (1)\n\n"
                             "Installation AutoCAD Successful (2)\n\n"
                             "Installation AutoCAD Successful (2)\n\n";
    EXPECT_EQ(ProgressLines(), std::string("Error -- Incorrect number of parameters\n\n") +
                                   withSecond + withSecond + "Installation Completed\n\n");
    std::string script = ScriptLines();
    // Per release: 4 vendor records, 9 settings, 3 + 34 demand-load entries.
    EXPECT_EQ(Count(script, "RegDB Key: "), 2 * (4 + 9 + 3 + 34));
    EXPECT_LT(script.find("17.0\\Qel"), script.find("17.2\\Ostrel"));
}

TEST_F(RunTest, OnlyWholeSwitchesCount) {
    WriteFile(folder.File("RegOST.ini"), "[VERSION]\r\nVersion=17.1\r\n");
    std::string tooLong = "/LOG" + std::string(24, ' ');
    EXPECT_EQ(Run({"/LOGFILE", "-LOG"}), 0);
    EXPECT_EQ(Run({tooLong.c_str()}), 0);
    EXPECT_FALSE(FileExists(folder.File("TEMPTXT.log")));
    EXPECT_EQ(Count(ProgressLines(), "QEL"), 0);
}

TEST_F(RunTest, BadReleaseListsEndTheRunWithTheirMessage) {
    const std::pair<const char *, const char *> cases[] = {
        {"[VERSION]\r\n", "Release number not found\n\n"},
        {"[VERSION]\r\nVersion=17\r\n", "Incorrect release number\n\n"},
        {"[VERSION]\r\nVersion=17.2:17.1\r\n", "Unknown release number\n\n"},
    };
    for (const auto &[setupFile, message] : cases) {
        WriteFile(folder.File("RegOST.ini"), setupFile);
        remove(folder.File("RegOST.log").c_str());
        EXPECT_EQ(Run({}), 0);
        EXPECT_EQ(ProgressLines(), message);
    }
    EXPECT_EQ(SimulationSetCallCount(), 0);
}

TEST_F(RunTest, EveryStepFailingStillEndsNormally) {
    WriteFile(folder.File("RegOST.ini"), "[VERSION]\r\nVersion=17.1\r\n");
    SetSimulationReadOnlyRoot(HKEY_LOCAL_MACHINE, true);
    SetSimulationReadOnlyRoot(HKEY_CURRENT_USER, true);
    EXPECT_EQ(Run({"/QEL"}), 0);
    std::string progress = ProgressLines();
    for (const char *failure :
         {"Error -- Ostrel Registration Registry (1)\n\n",
          "Error -- QEL Registration Registry (1)\n\n", "Error -- Ostrel Settings Registry (1)\n\n",
          "Error -- AutoCAD not found.\nError -- AutoCAD registry (2)\n\n"})
        EXPECT_NE(progress.find(failure), std::string::npos) << failure;
    EXPECT_EQ(progress.substr(progress.size() - 26), "\n\nInstallation Completed\n\n");
}

TEST_F(RunTest, UnknownProgramFolderIsNeverTheCurrentFolder) {
    // The module's name does not fit the buffer and argv[0] is relative: the
    // folder is unknown. A setup file and logs in the current folder must not
    // be taken for the program's.
    TempFolder temporary;
    WriteFile(folder.File("RegOST.ini"), "[VERSION]\r\nVersion=17.1\r\n");
    SetSimulationModuleFileName((folder.Dos() + std::string(600, 'd') + "\\RegOST.exe").c_str());
    char *saved = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    const char *savedTemp = getenv("TMPDIR");
    std::string savedTempValue = savedTemp != nullptr ? savedTemp : "";
    setenv("TMPDIR", temporary.path().c_str(), 1);

    char self[] = "RegOST.exe";
    char logSwitch[] = "/LOG";
    char *argv[] = {self, logSwitch};
    ResetRunForTests();
    EXPECT_EQ(RunRegOST(2, argv), 0);

    EXPECT_EQ(chdir(saved), 0);
    free(saved);
    if (savedTemp != nullptr)
        setenv("TMPDIR", savedTempValue.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_FALSE(FileExists(folder.File("RegOST.log")));
    EXPECT_FALSE(FileExists(folder.File("TEMPTXT.log")));
    std::string bytes = ReadFile(temporary.File("RegOST.log"));
    std::string end = " \r\n\r\n(INI) file not found\r\n\r\n"; // right after the header
    EXPECT_EQ(bytes.substr(bytes.size() < end.size() ? 0 : bytes.size() - end.size()), end);
    EXPECT_EQ(SimulationSetCallCount(), 0);
}
