// The run driver: the run itself, the setup file and the program's location.
// The top floor: it may include every other floor; nothing includes it but
// the entry point and the tests.
#pragma once

#include "common/text.h"
#include "platform/win32.h"

constexpr int kMaxReleases = 3;
constexpr DWORD kLoadCtrlsValue = 15;

/* run.cpp */
// The whole job. Returns 0 whatever happened: the logs tell the outcome.
int RunRegOST(int argc, char **argv);
// Forgets everything a run left behind, so tests can run it again in-process.
void ResetRunForTests();

/* location.cpp */
void UpperCaseInPlace(char *text);
// Writes the folder of the running executable, ending in a separator, into
// directory (kPathBufferSize bytes). argv0 (the program as it was started)
// stands in when the platform cannot tell; empty when nothing is known.
void FindProgramDirectory(const char *argv0, char *directory);

struct PathParts {
    char drive[3];
    char directory[kPathPartSize];
    char fileName[kPathPartSize];
    char extension[kPathPartSize];
};
// Splits a path the way the C runtime does; each part is cut to 255 characters.
void SplitPath(const char *path, PathParts *parts);
// True when the setup file opens for reading. A name without drive or folder
// is completed in place with programDirectory (path holds kPathBufferSize bytes).
bool CheckSetupFile(char *path, const char *programDirectory);

/* setup_file.cpp */
enum class ReleaseListResult { Accepted, Missing, WrongLength, Unknown };
// Reads and validates the release list of setupFile into releaseList
// (kPathBufferSize bytes); on success *releaseCount is 1 to kMaxReleases.
ReleaseListResult ReadReleaseList(const char *setupFile, char *releaseList, int *releaseCount);
// The release at index i (0 to 2) of an accepted list: four characters into
// releaseNumber (kReleaseNumberSize bytes).
void CopyRelease(const char *releaseList, int index, char *releaseNumber);
// Replaces a default loader path with the setup file's where that names
// something that exists; the second add-on's only when it is registered.
void ApplyLoaderOverrides(const char *setupFile, bool secondAddOn, char *mainLoaderPath,
                          char *secondLoaderPath);
// The custom data of the main add-on (kPathBufferSize bytes); empty when the
// setup file has none.
void ReadCustomData(const char *setupFile, char *customData);
