// The registry primitives that write values and list subkeys (primitives.cpp),
// over the simulation registry.
#include "registry/registry.h"
#include "support.h"

namespace {

using PrimitivesTest = ProgramTest;

std::string Listed(char **names, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i > 0 ? "," : "") + std::string(names[i]);
    return text;
}

} // namespace

TEST_F(PrimitivesTest, WritersCreateTheWholeKeyPath) {
    EXPECT_TRUE(WriteStringValue(HKEY_CURRENT_USER, "A\\B\\C", "Name", "text"));
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, "A\\B\\C", "Name"), std::string("text", 5));
    EXPECT_TRUE(WriteDwordValue(HKEY_LOCAL_MACHINE, "X\\Y", "N", 15));
    DWORD type = 0;
    BYTE data[8] = {};
    DWORD length = 0;
    ASSERT_TRUE(QuerySimulationValue(HKEY_LOCAL_MACHINE, "X\\Y", "N", &type, data, 8, &length));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data), 4), std::string("\x0f\0\0\0", 4));
}

TEST_F(PrimitivesTest, EmptyTextIsStoredAsOneZeroByteAndRewritingReplaces) {
    EXPECT_TRUE(WriteStringValue(HKEY_CURRENT_USER, "K", "V", ""));
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, "K", "V"), std::string(1, '\0'));
    EXPECT_TRUE(WriteStringValue(HKEY_CURRENT_USER, "K", "V", "again"));
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, "K", "V"), std::string("again", 6));
}

TEST_F(PrimitivesTest, FailedSetAfterCreatedKeyReturnsFalseAndKeepsTheKey) {
    FailSimulationSet(HKEY_CURRENT_USER, "New\\Key", nullptr);
    EXPECT_FALSE(WriteDwordValue(HKEY_CURRENT_USER, "New\\Key", "V", 1));
    EXPECT_TRUE(SimulationKeyExists(HKEY_CURRENT_USER, "New\\Key"));
    EXPECT_FALSE(HasValue(HKEY_CURRENT_USER, "New\\Key", "V"));
}

TEST_F(PrimitivesTest, KeyThatCannotBeCreatedChangesNothing) {
    FailSimulationCreatesUnder(HKEY_LOCAL_MACHINE, "Locked");
    EXPECT_FALSE(WriteStringValue(HKEY_LOCAL_MACHINE, "Locked\\Sub", "V", "x"));
    EXPECT_FALSE(SimulationKeyExists(HKEY_LOCAL_MACHINE, "Locked\\Sub"));
}

TEST_F(PrimitivesTest, ListingAKeyWithoutSubkeysLeavesTheListEmpty) {
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Release"), ERROR_SUCCESS);
    char **names = nullptr;
    int count = 0;
    EXPECT_TRUE(ListSubkeys(HKEY_LOCAL_MACHINE, "Release", names, count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
    FreeSubkeyList(names, count);
    EXPECT_EQ(names, nullptr);
}

TEST_F(PrimitivesTest, ListingAMissingKeyFailsWithAnEmptyList) {
    char **names = nullptr;
    int count = 0;
    EXPECT_FALSE(ListSubkeys(HKEY_LOCAL_MACHINE, "Nowhere", names, count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
}

TEST_F(PrimitivesTest, ListsNamesInRegistryOrderUpTo199Characters) {
    std::string longest(199, 'n');
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Release\\ACAD-6001:409"), ERROR_SUCCESS);
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Release\\" + longest), ERROR_SUCCESS);
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Release\\acad-5001:409"), ERROR_SUCCESS);
    char **names = nullptr;
    int count = 0;
    EXPECT_TRUE(ListSubkeys(HKEY_LOCAL_MACHINE, "Release", names, count));
    EXPECT_EQ(Listed(names, count), "acad-5001:409,ACAD-6001:409," + longest);
    FreeSubkeyList(names, count);
    EXPECT_EQ(names, nullptr);
}

TEST_F(PrimitivesTest, NameTooLongForTheBufferIsListedEmptyAndTheListingGoesOn) {
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Release\\A"), ERROR_SUCCESS);
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Release\\B" + std::string(199, 'b')),
              ERROR_SUCCESS); // 200 characters
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Release\\C"), ERROR_SUCCESS);
    char **names = nullptr;
    int count = 0;
    EXPECT_TRUE(ListSubkeys(HKEY_LOCAL_MACHINE, "Release", names, count));
    EXPECT_EQ(Listed(names, count), "A,,C");
    FreeSubkeyList(names, count);
    EXPECT_EQ(names, nullptr);
}

TEST_F(PrimitivesTest, EnumerationAndAllocationFailuresEndTheListingSafely) {
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Release\\A"), ERROR_SUCCESS);
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Release\\B"), ERROR_SUCCESS);
    ASSERT_EQ(PutKey(HKEY_LOCAL_MACHINE, "Release\\C"), ERROR_SUCCESS);
    for (int failAt = 0; failAt < 3; ++failAt) {
        char **names = nullptr;
        int count = 0;
        FailSimulationEnumAt(failAt);
        EXPECT_FALSE(ListSubkeys(HKEY_LOCAL_MACHINE, "Release", names, count));
        EXPECT_EQ(count, failAt);
        FreeSubkeyList(names, count);
        ClearSimulationFaults();
    }
    // Allocation 0 is the array, 1 to 3 the names.
    for (int failAt = 0; failAt < 4; ++failAt) {
        char **names = nullptr;
        int count = 0;
        FailSimulationNthAlloc(failAt);
        EXPECT_FALSE(ListSubkeys(HKEY_LOCAL_MACHINE, "Release", names, count));
        EXPECT_EQ(count, failAt == 0 ? 0 : failAt - 1);
        EXPECT_EQ(names == nullptr, failAt == 0);
        FreeSubkeyList(names, count);
        ClearSimulationFaults();
    }
}
