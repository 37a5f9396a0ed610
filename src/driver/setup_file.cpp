// The setup file "RegOST.ini": the release list, the loader overrides and the
// custom data.
#include <string.h>

#include "driver/driver.h"

namespace {

const char *const kAcceptedReleaseLists[] = {
    "17.0", "17.1", "17.2", "17.0:17.1", "17.0:17.2", "17.1:17.2", "17.0:17.1:17.2",
};
// Releases stand at fixed places of the list: "17.0:17.1:17.2".
constexpr size_t kReleaseStride = 5;

// A present but empty entry counts as missing.
bool ReadSetupEntry(const char *setupFile, const char *section, const char *key, char *text) {
    return GetPrivateProfileStringA(section, key, "", text, kPathBufferSize, setupFile) != 0;
}

void OverrideLoader(const char *setupFile, const char *section, char *loaderPath) {
    char text[kPathBufferSize];
    if (!ReadSetupEntry(setupFile, section, "Loader", text))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(text, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    memcpy(loaderPath, text, strlen(text) + 1);
}

} // namespace

ReleaseListResult ReadReleaseList(const char *setupFile, char *releaseList, int *releaseCount) {
    *releaseCount = 0;
    if (!ReadSetupEntry(setupFile, "VERSION", "Version", releaseList))
        return ReleaseListResult::Missing;
    size_t length = strlen(releaseList);
    if (length != 4 && length != 9 && length != 14)
        return ReleaseListResult::WrongLength;
    for (const char *accepted : kAcceptedReleaseLists) {
        if (strcmp(releaseList, accepted) == 0) {
            *releaseCount = static_cast<int>((length + 1) / kReleaseStride);
            return ReleaseListResult::Accepted;
        }
    }
    return ReleaseListResult::Unknown;
}

void CopyRelease(const char *releaseList, int index, char *releaseNumber) {
    memcpy(releaseNumber, releaseList + static_cast<size_t>(index) * kReleaseStride,
           kReleaseNumberSize - 1);
    releaseNumber[kReleaseNumberSize - 1] = '\0';
}

void ApplyLoaderOverrides(const char *setupFile, bool secondAddOn, char *mainLoaderPath,
                          char *secondLoaderPath) {
    if (secondAddOn)
        OverrideLoader(setupFile, "QELKeysLoader", secondLoaderPath);
    OverrideLoader(setupFile, "OSTKeysLoader", mainLoaderPath);
}

void ReadCustomData(const char *setupFile, char *customData) {
    if (!ReadSetupEntry(setupFile, "OSTKeysLoader", "CustomData", customData))
        customData[0] = '\0';
}
