// What the scenarios cannot see of the registry steps: the tally a caller
// turns into an exit code (regost's own exit code is always 0).
#include "registry/registry.h"
#include "steps/steps.h"
#include "support.h"

TEST_F(ProgramTest, ReleaseKeyWithoutProductsIsNoAutoCadAndNoFailedWrite) {
    ASSERT_TRUE(OpenLogs());
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Autodesk\\AutoCAD\\R17.1"), ERROR_SUCCESS);
    ResetStepTally();
    EXPECT_FALSE(WriteDemandLoadEntries("R17.1", "Z:\\p\\Ostrel.arx", 15, false));
    EXPECT_EQ(ProgressLines(), "Error -- AutoCAD not found.\n");
    EXPECT_EQ(SimulationSetCallCount(), 0);
    EXPECT_EQ(ReadStepTally().failedWrites, 0);
    EXPECT_EQ(ReadStepTally().registeredProducts, 0);
}
