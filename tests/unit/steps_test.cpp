// The registry steps: what they write, log and record, and how they fail.
#include "registry/registry.h"
#include "steps/steps.h"
#include "support.h"

namespace {

const char *const kSettingsKey = "Software\\Quenlar\\AutoCAD\\17.1\\Ostrel\\Settings01";
const char *const kVendorKey = "Software\\Quenlar\\AutoCAD\\17.1\\Ostrel";
const char *const kReleaseKey = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1";
const char *const kProduct1 = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:409";
const char *const kProduct2 = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6002:409";

class StepsTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        snprintf(mainLoader, sizeof mainLoader, "%sOstrel.arx", folder.Dos().c_str());
        snprintf(secondLoader, sizeof secondLoader, "%sQel.arx", folder.Dos().c_str());
        UseSetupFile("[VERSION]\r\nVersion=17.1\r\n");
        ASSERT_TRUE(OpenLogs());
    }

    void UseSetupFile(const std::string &text) {
        WriteFile(folder.File("RegOST.ini"), text);
        setupFile = folder.Dos() + "RegOST.ini";
    }

    // The vendor key step with the custom data of the setup file, as a run gives it.
    bool VendorKey(bool secondAddOn) {
        char customData[kPathBufferSize];
        ReadCustomData(setupFile.c_str(), customData);
        return WriteVendorKey("17.1", secondAddOn ? secondLoader : mainLoader, customData,
                              secondAddOn);
    }

    std::string setupFile;
    char mainLoader[kPathBufferSize] = "";
    char secondLoader[kPathBufferSize] = "";

    static void AddProducts() {
        for (const char *product : {kProduct1, kProduct2})
            ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, product), ERROR_SUCCESS);
    }

    std::string Application(const char *product, const char *addOn = "Ostrel") {
        return std::string(product) + "\\Applications\\" + addOn;
    }
};

std::string Record(const std::string &key, const std::string &value, const std::string &name,
                   bool number, int root) {
    return "RegDB Key: " + key + "\nRegDB Val: " + value + "\nRegDB Name: " + name + "\n" +
           (number ? "RegDB Type: 3\n" : "") + "RegDB Root: " + std::to_string(root) + "\n";
}

} // namespace

// --- Default settings -------------------------------------------------------

TEST_F(StepsTest, SettingsAreNineNumbersRecordedInTableOrder) {
    EXPECT_TRUE(WriteDefaultSettings("17.1"));
    std::string expected;
    for (const char *name : {"AuditAlert", "BadPlotAlert", "FreezeLayer", "KxWarmNoCreate",
                             "Reshape", "ShowAssistant", "ShowNewDlg", "Splash"}) {
        expected += Record(kSettingsKey, "1", name, true, 1);
        EXPECT_EQ(DwordText(HKEY_CURRENT_USER, kSettingsKey, name), "1") << name;
    }
    expected += Record(kSettingsKey, "0", "ShowOnce", true, 1);
    EXPECT_EQ(DwordText(HKEY_CURRENT_USER, kSettingsKey, "ShowOnce"), "0");
    EXPECT_EQ(ScriptLines(), expected);
    EXPECT_EQ(ProgressLines(), "");
}

TEST_F(StepsTest, SettingsOverwriteTheirOwnValuesAndLeaveOthers) {
    ASSERT_TRUE(WriteDwordValue(HKEY_CURRENT_USER, kSettingsKey, "Splash", 0));
    ASSERT_TRUE(WriteStringValue(HKEY_CURRENT_USER, kSettingsKey, "Mine", "kept"));
    EXPECT_TRUE(WriteDefaultSettings("17.1"));
    EXPECT_EQ(DwordText(HKEY_CURRENT_USER, kSettingsKey, "Splash"), "1");
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, kSettingsKey, "Mine"), std::string("kept", 5));
}

TEST_F(StepsTest, OneFailedSettingIsReportedAndTheOthersStillWritten) {
    FailStandInSet(HKEY_CURRENT_USER, kSettingsKey, "Splash");
    EXPECT_FALSE(WriteDefaultSettings("17.1"));
    EXPECT_EQ(ProgressLines(), "Error -- Ostrel registry -- Splash -- HKEY_CURRENT_USER.\n");
    std::string script = ScriptLines();
    EXPECT_EQ(Count(script, "RegDB Key: "), 8);
    EXPECT_EQ(Count(script, "Splash"), 0);
    EXPECT_EQ(DwordText(HKEY_CURRENT_USER, kSettingsKey, "ShowOnce"), "0");
}

TEST_F(StepsTest, SettingsKeyThatCannotBeCreatedGivesNineErrorLines) {
    FailStandInCreatesUnder(HKEY_CURRENT_USER, "Software\\Quenlar");
    EXPECT_FALSE(WriteDefaultSettings("17.1"));
    std::string progress = ProgressLines();
    EXPECT_EQ(Count(progress, "Error -- Ostrel registry -- "), 9);
    EXPECT_EQ(progress.rfind("Error -- Ostrel registry -- AuditAlert -- HKEY_CURRENT_USER.\n", 0),
              0u);
    EXPECT_EQ(ScriptLines(), "");
}

// --- Vendor key ---------------------------------------------------------------

TEST_F(StepsTest, VendorKeyOfTheMainAddOnRecordsLoaderTwiceThenCustomData) {
    UseSetupFile("[OSTKeysLoader]\r\nCustomData=Site 42\r\n");
    EXPECT_TRUE(VendorKey(false));
    std::string loader = mainLoader;
    EXPECT_EQ(ScriptLines(), Record(kVendorKey, loader, "Loader", false, 2) +
                                 Record(kVendorKey, loader, "Loader", false, 1) +
                                 Record(kVendorKey, "Site 42", "CustomData", false, 2));
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, kVendorKey, "Loader"), loader + '\0');
    EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, kVendorKey, "CustomData"));
}

TEST_F(StepsTest, VendorKeyOfTheSecondAddOnHasNoCustomData) {
    UseSetupFile("[OSTKeysLoader]\r\nCustomData=main only\r\n[QELKeysLoader]\r\nCustomData=no\r\n");
    EXPECT_TRUE(VendorKey(true));
    std::string key = "Software\\Quenlar\\AutoCAD\\17.1\\Qel";
    EXPECT_EQ(ScriptLines(), Record(key, secondLoader, "Loader", false, 2) +
                                 Record(key, secondLoader, "Loader", false, 1));
    EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, key, "CustomData"));
}

TEST_F(StepsTest, VendorKeyWithoutMachineRightsKeepsTheUserCopy) {
    UseSetupFile("[OSTKeysLoader]\r\nCustomData=x\r\n");
    SetStandInReadOnlyRoot(HKEY_LOCAL_MACHINE, true);
    EXPECT_FALSE(VendorKey(false));
    EXPECT_EQ(ProgressLines(),
              "Error -- Ostrel registry Loader --Loader -- HKEY_LOCAL_MACHINE.\n"
              "Error -- Ostrel registry CustomData --CustomData -- HKEY_LOCAL_MACHINE.\n");
    EXPECT_EQ(ScriptLines(), Record(kVendorKey, mainLoader, "Loader", false, 1));
}

TEST_F(StepsTest, VendorKeyErrorLinesNameTheSecondAddOnAsQel) {
    SetStandInReadOnlyRoot(HKEY_LOCAL_MACHINE, true);
    SetStandInReadOnlyRoot(HKEY_CURRENT_USER, true);
    EXPECT_FALSE(VendorKey(true));
    EXPECT_EQ(ProgressLines(), "Error -- QEL registry Loader --Loader -- HKEY_LOCAL_MACHINE.\n"
                               "Error -- QEL registry Loader --Loader -- HKEY_CURRENT_USER.\n");
}

TEST_F(StepsTest, LongLoaderAndCustomDataAreStoredAndRecordedWhole) {
    std::string custom(700, 'c'); // the setup file reader hands over 511
    UseSetupFile("[OSTKeysLoader]\r\nCustomData=" + custom + "\r\n");
    std::string loader = "Z:\\" + std::string(508, 'p');
    memcpy(mainLoader, loader.c_str(), loader.size() + 1);
    EXPECT_TRUE(VendorKey(false));
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kVendorKey, "Loader"), loader + '\0');
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kVendorKey, "CustomData"),
              std::string(511, 'c') + '\0');
    std::string script = ScriptLines();
    EXPECT_EQ(Count(script, "RegDB Val: " + loader + "\n"), 2);
    EXPECT_EQ(Count(script, "RegDB Val: " + std::string(511, 'c') + "\n"), 1);
}

// --- Demand-load entries ------------------------------------------------------

TEST_F(StepsTest, MissingReleaseKeyMeansAutoCADNotFound) {
    EXPECT_FALSE(WriteDemandLoadEntries("R17.0", mainLoader, 15, false));
    EXPECT_EQ(ProgressLines(), "Error -- AutoCAD not found.\n");
    EXPECT_EQ(ScriptLines(), "");
    EXPECT_EQ(StandInSetCallCount(), 0);
}

TEST_F(StepsTest, ReleaseKeyWithoutProductsIsNoAutoCad) {
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, kReleaseKey), ERROR_SUCCESS);
    ResetStepTally();
    EXPECT_FALSE(WriteDemandLoadEntries("R17.1", mainLoader, 15, false));
    EXPECT_EQ(ProgressLines(), "Error -- AutoCAD not found.\n");
    EXPECT_EQ(StandInSetCallCount(), 0);
    EXPECT_EQ(ReadStepTally().failedWrites, 0);
    EXPECT_EQ(ReadStepTally().registeredProducts, 0);
}

TEST_F(StepsTest, MainAddOnGets34ValuesUnderEveryProduct) {
    AddProducts();
    EXPECT_TRUE(WriteDemandLoadEntries("R17.1", mainLoader, 15, false));
    std::string script = ScriptLines();
    EXPECT_EQ(Count(script, "RegDB Key: "), 68);
    EXPECT_EQ(Count(script, "RegDB Root: 2\n"), 68);
    EXPECT_EQ(Count(script, "RegDB Type: 3\n"), 2);
    EXPECT_EQ(ProgressLines(), "");

    std::string application = Application(kProduct1);
    std::string expectedStart =
        Record(application, "15", "LOADCTRLS", true, 2) +
        Record(application, mainLoader, "LOADER", false, 2) +
        Record(application, "Lumenwarp (https://www.quenlar.com)", "DESCRIPTION", false, 2) +
        Record(application + "\\Groups", "KTVR_OSTREL", "KTVR_OSTREL", false, 2) +
        Record(application + "\\Commands", "KXMAKE", "KXMAKE", false, 2);
    EXPECT_EQ(script.substr(0, expectedStart.size()), expectedStart);

    EXPECT_EQ(DwordText(HKEY_LOCAL_MACHINE, application, "LOADCTRLS"), "15");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, application, "LOADER"),
              std::string(mainLoader) + '\0');
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, application + "\\Commands", "KXMENU?"),
              std::string("KXMENU?", 8));
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, application + "\\Commands", "KX?"),
              std::string("KX?", 4));
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, Application(kProduct2) + "\\Commands", "KXUPDATE"),
              std::string("KXUPDATE", 9));
}

TEST_F(StepsTest, SecondAddOnGetsThreeValuesAndNoCommands) {
    AddProducts();
    EXPECT_TRUE(WriteDemandLoadEntries("R17.1", secondLoader, 15, true));
    EXPECT_EQ(Count(ScriptLines(), "RegDB Key: "), 6);
    std::string application = Application(kProduct2, "Qel");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, application, "DESCRIPTION").substr(0, 9),
              "Sarvenet ");
    EXPECT_FALSE(StandInKeyExists(HKEY_LOCAL_MACHINE, (application + "\\Groups").c_str()));
    EXPECT_FALSE(StandInKeyExists(HKEY_LOCAL_MACHINE, (application + "\\Commands").c_str()));
    EXPECT_FALSE(StandInKeyExists(HKEY_LOCAL_MACHINE, Application(kProduct1).c_str()));
}

TEST_F(StepsTest, ValuesRefusedByTheMachineGoToTheUserValueByValue) {
    AddProducts();
    SetStandInReadOnlyRoot(HKEY_LOCAL_MACHINE, true);
    EXPECT_TRUE(WriteDemandLoadEntries("R17.1", mainLoader, 15, false));
    std::string progress = ProgressLines();
    EXPECT_EQ(Count(progress, " -- HKEY_LOCAL_MACHINE.\n"), 68);
    EXPECT_EQ(Count(progress, "HKEY_CURRENT_USER"), 0);
    std::string firstLines =
        "Error -- AutoCAD registry -- LOADCTRLS -- HKEY_LOCAL_MACHINE.\n"
        "Error -- AutoCAD registry LOADER -- HKEY_LOCAL_MACHINE.\n"
        "Error -- AutoCAD registry DESCRIPTION -- HKEY_LOCAL_MACHINE.\n"
        "Error -- AutoCAD registry Groups-KTVR_OSTREL -- HKEY_LOCAL_MACHINE.\n";
    EXPECT_EQ(progress.substr(0, firstLines.size()), firstLines);
    EXPECT_NE(progress.find("Error -- AutoCAD registry Commands-KXMENU? -- HKEY_LOCAL_MACHINE.\n"),
              std::string::npos);
    std::string script = ScriptLines();
    EXPECT_EQ(Count(script, "RegDB Root: 1\n"), 68);
    EXPECT_EQ(Count(script, "RegDB Root: 2\n"), 0);
    EXPECT_EQ(DwordText(HKEY_CURRENT_USER, Application(kProduct1), "LOADCTRLS"), "15");
}

TEST_F(StepsTest, ValuesRefusedByBothRootsAreAllStillTried) {
    AddProducts();
    SetStandInReadOnlyRoot(HKEY_LOCAL_MACHINE, true);
    SetStandInReadOnlyRoot(HKEY_CURRENT_USER, true);
    EXPECT_FALSE(WriteDemandLoadEntries("R17.1", mainLoader, 15, false));
    std::string progress = ProgressLines();
    EXPECT_EQ(Count(progress, "\n"), 136);
    EXPECT_EQ(Count(progress,
                    "Error -- AutoCAD registry Commands-KXUPDATE -- HKEY_LOCAL_MACHINE.\n"
                    "Error -- AutoCAD registry Commands-KXUPDATE -- HKEY_CURRENT_USER.\n"),
              2);
    EXPECT_EQ(ScriptLines(), "");
}

TEST_F(StepsTest, AFailedProductDoesNotCostTheNextOneItsRecords) {
    AddProducts();
    FailStandInCreatesUnder(HKEY_LOCAL_MACHINE, kProduct1);
    FailStandInCreatesUnder(HKEY_CURRENT_USER, kProduct1);
    EXPECT_FALSE(WriteDemandLoadEntries("R17.1", mainLoader, 15, false));
    std::string script = ScriptLines();
    EXPECT_EQ(Count(script, "RegDB Key: "), 34);
    EXPECT_EQ(Count(script, "ACAD-6001"), 0);
    EXPECT_EQ(Count(ProgressLines(), "\n"), 68);
}

TEST_F(StepsTest, AFailedCommandDoesNotStopTheOthers) {
    AddProducts();
    std::string commands = Application(kProduct1) + "\\Commands";
    FailStandInSet(HKEY_LOCAL_MACHINE, commands.c_str(), "KX?");
    FailStandInSet(HKEY_CURRENT_USER, commands.c_str(), "KX?");
    EXPECT_FALSE(WriteDemandLoadEntries("R17.1", mainLoader, 15, false));
    EXPECT_EQ(ProgressLines(), "Error -- AutoCAD registry Commands-KX? -- HKEY_LOCAL_MACHINE.\n"
                               "Error -- AutoCAD registry Commands-KX? -- HKEY_CURRENT_USER.\n");
    EXPECT_EQ(Count(ScriptLines(), "RegDB Key: " + commands + "\n"), 29);
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, commands, "KXABOUT"), std::string("KXABOUT", 8));
}

TEST_F(StepsTest, ListingCutShortMeansAutoCADNotFoundAndNothingWritten) {
    AddProducts();
    FailStandInEnumAt(1);
    EXPECT_FALSE(WriteDemandLoadEntries("R17.1", mainLoader, 15, false));
    EXPECT_EQ(ProgressLines(), "Error -- AutoCAD not found.\n");
    EXPECT_EQ(StandInSetCallCount(), 0);
}
