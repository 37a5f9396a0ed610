// What the scenarios cannot see of the registry steps: the tally a caller
// turns into an exit code (regost's own exit code is always 0).
#include "registry/registry.h"
#include "steps/steps.h"
#include "support.h"

TEST_F(ProgramTest, ReleaseKeyWithoutProductsIsNoAutoCadAndNoFailedWrite) {
    ASSERT_TRUE(OpenLogs());
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk\\AutoCAD\\R17.1"), ERROR_SUCCESS);
    StepWrites writes(kInstallMode);
    ReleaseInput release = {"17.1", "R17.1", "Z:\\p\\Ostrel.arx", "Z:\\p\\Qel.arx", "", false};
    EXPECT_FALSE(WriteDemandLoadEntries(writes, release, false));
    EXPECT_EQ(ProgressLines(), "Error -- AutoCAD not found.\n");
    EXPECT_EQ(SimulationSetCallCount(), 0);
    EXPECT_EQ(writes.tally.failedWrites, 0);
    EXPECT_EQ(writes.tally.registeredProducts, 0);
}

// The local clock can go back (daylight saving time ends): every user must
// still see a higher version, or no logon runs the command again.
TEST_F(ProgramTest, ActiveSetupVersionRisesEvenWhenTheClockWentBack) {
    ASSERT_TRUE(OpenLogs());
    const char *key = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\Ostrel-1";
    std::string held = "2026,1208,2359,65535";
    ASSERT_EQ(PutValue(HKEY_LOCAL_MACHINE, key, "Version", REG_SZ, held + '\0'), ERROR_SUCCESS);
    SYSTEMTIME earlier = {2026, 12, 2, 8, 1, 30, 0, 0};
    StepWrites writes(kInstallMode);
    EXPECT_TRUE(WriteActiveSetupEntry(writes, key, "Z:\\p\\", "RegOSTCtl.exe", false, &earlier));
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, key, "Version"),
              std::string("2026,1208,2360,0") + '\0');
    SYSTEMTIME later = {2027, 1, 5, 1, 0, 0, 0, 1};
    EXPECT_TRUE(WriteActiveSetupEntry(writes, key, "Z:\\p\\", "RegOSTCtl.exe", true, &later));
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, key, "Version"), std::string("2027,101,0,1") + '\0');
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, key, "StubPath"),
              std::string("\"Z:\\p\\RegOSTCtl.exe\" /USER /QEL") + '\0');
}
