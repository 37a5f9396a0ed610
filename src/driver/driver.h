// The run driver: the run itself, the setup file and the program's location.
// The top floor: it may include every other floor; nothing includes it but
// the entry point and the tests.
#pragma once

#include "common/text.h"
#include "platform/win32.h"

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

// True when the setup file opens for reading; it is closed again at once.
bool CheckSetupFile(const char *path);

/* setup_file.cpp */
enum class ReleaseListResult { Accepted, Missing, WrongLength, Unknown };
// Reads and validates the release list of setupFile into releaseList
// (kPathBufferSize bytes); on success *releaseCount is 1 to 3.
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
