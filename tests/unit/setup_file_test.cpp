// The release list and the loader overrides of the setup file.
#include "support.h"

namespace {

class SetupFileTest : public ProgramTest {
  protected:
    void UseSetupFile(const std::string &text) {
        WriteFile(folder.File("RegOST.ini"), text);
        setupFile = folder.Dos() + "RegOST.ini";
        snprintf(mainLoader, sizeof mainLoader, "%sOstrel.arx", folder.Dos().c_str());
        snprintf(secondLoader, sizeof secondLoader, "%sQel.arx", folder.Dos().c_str());
    }

    ReleaseListResult ReadReleaseList(int *count) {
        return ::ReadReleaseList(setupFile.c_str(), releaseList, count);
    }

    void ApplyLoaderOverrides(bool secondAddOn = false) {
        ::ApplyLoaderOverrides(setupFile.c_str(), folder.Dos().c_str(), secondAddOn, mainLoader,
                               secondLoader);
    }

    ReleaseListResult Read(const std::string &version, int *count) {
        UseSetupFile("[VERSION]\r\nVersion=" + version + "\r\n");
        return ReadReleaseList(count);
    }

    std::string Releases(const std::string &version) {
        int count = 0;
        if (Read(version, &count) != ReleaseListResult::Accepted)
            return "(refused)";
        std::string releases;
        for (int i = 0; i < count; ++i) {
            char release[kReleaseNumberSize];
            char keyName[kReleaseKeyNameSize];
            CopyRelease(releaseList, i, release, keyName);
            releases += (i > 0 ? " " : "") + std::string(release);
            EXPECT_EQ(std::string(keyName), "R" + std::string(release));
        }
        return releases;
    }

    ReleaseListResult Refusal(const std::string &version) {
        int count = -1;
        ReleaseListResult result = Read(version, &count);
        EXPECT_EQ(count, 0) << version;
        return result;
    }

    std::string setupFile;
    char releaseList[kPathBufferSize] = "";
    char mainLoader[kPathBufferSize] = "";
    char secondLoader[kPathBufferSize] = "";
};

} // namespace

TEST_F(SetupFileTest, AcceptsTheSevenReleaseListsInOrder) {
    EXPECT_EQ(Releases("17.0"), "17.0");
    EXPECT_EQ(Releases("17.1"), "17.1");
    EXPECT_EQ(Releases("17.2"), "17.2");
    EXPECT_EQ(Releases("17.0:17.1"), "17.0 17.1");
    EXPECT_EQ(Releases("17.0:17.2"), "17.0 17.2");
    EXPECT_EQ(Releases("17.1:17.2"), "17.1 17.2");
    EXPECT_EQ(Releases("17.0:17.1:17.2"), "17.0 17.1 17.2");
}

TEST_F(SetupFileTest, RefusesOtherListsWithTheirReason) {
    EXPECT_EQ(Refusal("17.2:17.1"), ReleaseListResult::Unknown);
    EXPECT_EQ(Refusal("17.3"), ReleaseListResult::Unknown);
    EXPECT_EQ(Refusal("17.0;17.1"), ReleaseListResult::Unknown);
    EXPECT_EQ(Refusal("2007"), ReleaseListResult::Unknown);
    EXPECT_EQ(Refusal("17.0:17.1:17.3"), ReleaseListResult::Unknown);
    EXPECT_EQ(Refusal("17"), ReleaseListResult::WrongLength);
    EXPECT_EQ(Refusal("17.0:"), ReleaseListResult::WrongLength);
    EXPECT_EQ(Refusal(std::string(600, '7')), ReleaseListResult::WrongLength);
    EXPECT_EQ(Refusal(""), ReleaseListResult::Missing);
}

TEST_F(SetupFileTest, MissingSectionOrKeyMeansNoReleaseList) {
    int count = 0;
    UseSetupFile("[OSTKeysLoader]\r\nVersion=17.1\r\n");
    EXPECT_EQ(ReadReleaseList(&count), ReleaseListResult::Missing);
    UseSetupFile("[VERSION]\r\nRelease=17.1\r\n");
    EXPECT_EQ(ReadReleaseList(&count), ReleaseListResult::Missing);
}

TEST_F(SetupFileTest, SectionAndKeyNamesMatchInAnyCase) {
    int count = 0;
    UseSetupFile("[version]\r\nVERSION = 17.0:17.2\r\n");
    EXPECT_EQ(ReadReleaseList(&count), ReleaseListResult::Accepted);
    EXPECT_EQ(count, 2);
}

TEST_F(SetupFileTest, LoaderOverrideMustNameSomethingThatExists) {
    WriteFile(folder.File("Real.arx"), "");
    std::string real = folder.Dos() + "Real.arx";
    UseSetupFile("[OSTKeysLoader]\r\nLoader=" + folder.Dos() + "Missing.arx\r\n");
    ApplyLoaderOverrides();
    EXPECT_EQ(std::string(mainLoader), folder.Dos() + "Ostrel.arx");

    UseSetupFile("[OSTKeysLoader]\r\nLoader=" + real + "\r\n");
    ApplyLoaderOverrides();
    EXPECT_EQ(std::string(mainLoader), real);
}

TEST_F(SetupFileTest, LoaderOverrideIsTakenAsWrittenWhenAPatternMatches) {
    WriteFile(folder.File("Real.arx"), "");
    std::string pattern = folder.Dos() + "re*.ARX";
    UseSetupFile("[OSTKeysLoader]\r\nLoader=" + pattern + "\r\n");
    ApplyLoaderOverrides();
    EXPECT_EQ(std::string(mainLoader), pattern);
}

TEST_F(SetupFileTest, SecondLoaderOverrideOnlyWithTheSecondAddOn) {
    WriteFile(folder.File("Q.arx"), "");
    std::string text = "[QELKeysLoader]\r\nLoader=" + folder.Dos() + "Q.arx\r\n";
    UseSetupFile(text);
    ApplyLoaderOverrides();
    EXPECT_EQ(std::string(secondLoader), folder.Dos() + "Qel.arx");

    ApplyLoaderOverrides(true);
    EXPECT_EQ(std::string(secondLoader), folder.Dos() + "Q.arx");
    EXPECT_EQ(std::string(mainLoader), folder.Dos() + "Ostrel.arx");
}
