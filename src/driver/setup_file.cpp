// The setup file "RegOST.ini": the release list and the loader overrides.
#include <string.h>

#include "driver/driver.h"

namespace {

const char *const kAcceptedReleaseLists[] = {
    "17.0", "17.1", "17.2", "17.0:17.1", "17.0:17.2", "17.1:17.2", "17.0:17.1:17.2",
};

// A present but empty entry counts as missing.
bool ReadSetupEntry(const char *section, const char *key, char *text) {
    return GetPrivateProfileStringA(section, key, "", text, kPathBufferSize, run.setupFilePath) !=
           0;
}

void OverrideLoader(const char *section, char *loaderPath) {
    char text[kPathBufferSize];
    if (!ReadSetupEntry(section, "Loader", text))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(text, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    memcpy(loaderPath, text, strlen(text) + 1);
}

} // namespace

ReleaseListResult ReadReleaseList(int *releaseCount) {
    *releaseCount = 0;
    if (!ReadSetupEntry("VERSION", "Version", run.releaseList))
        return ReleaseListResult::Missing;
    size_t length = strlen(run.releaseList);
    if (length != 4 && length != 9 && length != 14)
        return ReleaseListResult::WrongLength;
    for (const char *accepted : kAcceptedReleaseLists) {
        if (strcmp(run.releaseList, accepted) == 0) {
            *releaseCount = static_cast<int>((length + 1) / 5);
            return ReleaseListResult::Accepted;
        }
    }
    return ReleaseListResult::Unknown;
}

void CopyRelease(int index, char *releaseNumber) {
    memcpy(releaseNumber, run.releaseList + static_cast<size_t>(index) * 5, 4);
    releaseNumber[4] = '\0';
}

void ApplyLoaderOverrides() {
    if (run.secondAddOn)
        OverrideLoader("QELKeysLoader", run.secondLoaderPath);
    OverrideLoader("OSTKeysLoader", run.mainLoaderPath);
}
