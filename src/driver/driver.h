// The run driver: the run state, the run itself, the setup file and the
// program's location.
#pragma once

#include "platform/win32.h"

constexpr int kPathBufferSize = 512;    // paths and texts: at most 511 characters
constexpr int kArgumentBufferSize = 28; // a switch: at most 27 characters
constexpr int kPathPartSize = 256;      // one part of a split path: at most 255
constexpr int kReleaseNumberSize = 5;   // "17.1"
constexpr int kReleaseKeyNameSize = 6;  // "R17.1"
constexpr int kMaxReleases = 3;
constexpr DWORD kLoadCtrlsValue = 15;

// Process-wide state of the one run.
struct RunState {
    bool secondAddOn = false; // "/QEL"
    char programDirectory[kPathBufferSize] = "";
    char setupFilePath[kPathBufferSize] = "";
    char mainLoaderPath[kPathBufferSize] = "";
    char secondLoaderPath[kPathBufferSize] = "";
    char releaseList[kPathBufferSize] = "";
    char releaseNumber[kReleaseNumberSize] = "";
    char releaseKeyName[kReleaseKeyNameSize] = "";
};
extern RunState run;

/* run.cpp */
// The whole job. Returns 0 whatever happened: the logs tell the outcome.
int RunRegOST(int argc, char **argv);
// Forgets everything a run left behind, so tests can run it again in-process.
void ResetRunForTests();

/* location.cpp */
void UpperCaseInPlace(char *text);
// Writes the folder of the running executable, ending in a backslash, into
// directory (kPathBufferSize bytes); empty when nothing better is known.
void FindProgramDirectory(char *directory);

struct PathParts {
    char drive[3];
    char directory[kPathPartSize];
    char fileName[kPathPartSize];
    char extension[kPathPartSize];
};
// Splits a path the way the C runtime does; each part is cut to 255 characters.
void SplitPath(const char *path, PathParts *parts);
// True when the setup file opens for reading. A bare name is completed in
// place with the program directory (path holds kPathBufferSize bytes).
bool CheckSetupFile(char *path);

/* setup_file.cpp */
enum class ReleaseListResult { Accepted, Missing, WrongLength, Unknown };
// Reads and validates the release list of the setup file into run.releaseList;
// on success *releaseCount is 1 to 3.
ReleaseListResult ReadReleaseList(int *releaseCount);
// The release at index i (0 to 2) of an accepted list, four characters.
void CopyRelease(int index, char *releaseNumber);
// Replaces the default loader paths with the setup file's, where those exist.
void ApplyLoaderOverrides();
