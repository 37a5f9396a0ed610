// The setup file "RegOST.ini": the release list, the loader overrides and the
// custom data.
#include <string.h>

#include "driver/driver.h"

namespace {

static_assert(kReleaseKeyNameSize == kReleaseNumberSize + 1, "R and the release number");

const char *const kAcceptedReleaseLists[] = {
    "17.0", "17.1", "17.2", "17.0:17.1", "17.0:17.2", "17.1:17.2", "17.0:17.1:17.2",
};
// Releases stand at fixed places of the list: "17.0:17.1:17.2".
constexpr size_t kReleaseStride = 5;

// A present but empty entry counts as missing.
bool ReadSetupEntry(const char *setupFile, const char *section, const char *key, char *text) {
    return GetPrivateProfileStringA(section, key, "", text, kPathBufferSize, setupFile) != 0;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// A loader that is not absolute is taken in the program folder, never in the
// current one, which a setup may have left anywhere: a relative name is put
// after the folder, a rooted one (no drive) after the folder's drive or
// share. False when the result does not fit.
bool ResolveLoader(const char *text, const char *programDirectory, char *resolved) {
    bool hasDrive = text[0] != '\0' && text[1] == ':' && IsSeparator(text[2]);
    bool isShare = IsSeparator(text[0]) && IsSeparator(text[1]);
    if (hasDrive || isShare)
        return JoinText(resolved, text, "");
    if (!IsSeparator(text[0]))
        return JoinText(resolved, programDirectory, SeparatorAfter(programDirectory), text);

    // The folder's root: "C:", or "\\server\share" of a network folder.
    char root[kPathBufferSize];
    size_t length = 0;
    if (programDirectory[0] != '\0' && programDirectory[1] == ':') {
        length = 2;
    } else if (IsSeparator(programDirectory[0]) && IsSeparator(programDirectory[1])) {
        int separators = 0;
        for (length = 2; programDirectory[length] != '\0'; ++length) {
            if (IsSeparator(programDirectory[length]) && ++separators == 2)
                break;
        }
    }
    memcpy(root, programDirectory, length);
    root[length] = '\0';
    return JoinText(resolved, root, text);
}

void OverrideLoader(const char *setupFile, const char *programDirectory, const char *section,
                    char *loaderPath) {
    char text[kPathBufferSize];
    if (!ReadSetupEntry(setupFile, section, "Loader", text))
        return;
    char resolved[kPathBufferSize];
    if (!ResolveLoader(text, programDirectory, resolved))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(resolved, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    memcpy(loaderPath, resolved, strlen(resolved) + 1);
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

void CopyRelease(const char *releaseList, int index, char *releaseNumber, char *releaseKeyName) {
    memcpy(releaseNumber, releaseList + static_cast<size_t>(index) * kReleaseStride,
           kReleaseNumberSize - 1);
    releaseNumber[kReleaseNumberSize - 1] = '\0';
    releaseKeyName[0] = 'R';
    memcpy(releaseKeyName + 1, releaseNumber, kReleaseNumberSize);
}

void ApplyLoaderOverrides(const char *setupFile, const char *programDirectory, bool secondAddOn,
                          char *mainLoaderPath, char *secondLoaderPath) {
    if (secondAddOn)
        OverrideLoader(setupFile, programDirectory, "QELKeysLoader", secondLoaderPath);
    OverrideLoader(setupFile, programDirectory, "OSTKeysLoader", mainLoaderPath);
}

void ReadCustomData(const char *setupFile, char *customData) {
    if (!ReadSetupEntry(setupFile, "OSTKeysLoader", "CustomData", customData))
        customData[0] = '\0';
}

// The setup file's path and the default loader paths all lie in the program
// folder. The loader names are no longer than the setup file's, so once its
// path fits, theirs do too. An unknown (empty) folder is never the current one.
const char *ReadSetup(const char *programDirectory, bool secondAddOn, Setup *setup) {
    static_assert(TextLength("Ostrel.arx") <= TextLength("RegOST.ini") &&
                      TextLength("Qel.arx") <= TextLength("RegOST.ini"),
                  "a default loader path must fit wherever the setup file's path fits");
    *setup = Setup{};
    const char *separator = SeparatorAfter(programDirectory);
    if (programDirectory[0] == '\0' ||
        !JoinText(setup->setupFilePath, programDirectory, separator, "RegOST.ini") ||
        !CheckSetupFile(setup->setupFilePath))
        return "(INI) file not found\n\n";
    JoinText(setup->mainLoaderPath, programDirectory, separator, "Ostrel.arx");
    JoinText(setup->secondLoaderPath, programDirectory, separator, "Qel.arx");

    switch (ReadReleaseList(setup->setupFilePath, setup->releaseList, &setup->releaseCount)) {
    case ReleaseListResult::Missing:
        return "Release number not found\n\n";
    case ReleaseListResult::WrongLength:
        return "Incorrect release number\n\n";
    case ReleaseListResult::Unknown:
        return "Unknown release number\n\n";
    case ReleaseListResult::Accepted:
        break;
    }
    ApplyLoaderOverrides(setup->setupFilePath, programDirectory, secondAddOn, setup->mainLoaderPath,
                         setup->secondLoaderPath);
    ReadCustomData(setup->setupFilePath, setup->customData);
    return nullptr;
}
