// The run driver: the run itself, the setup file and the program's location.
// The top floor of RegOST.exe: it may include every floor below it; RegOSTCtl
// (src/ctl) includes it, and the tests.
#pragma once

#include "common/text.h"
#include "platform/win32.h"

struct StepWrites;
struct Setup;

/* run.cpp */
// The whole job from its own folder, under the run lock. Returns 0
// whatever happened: the logs tell the outcome. A null argv (a command line
// the runtime could not split) writes nothing to the registry: without its
// switches the run could not know whether its values need records.
int RunRegOST(int argc, char **argv);
// What a run registers, found and read once by its caller.
struct RunInput {
    const char *programDirectory;
    bool secondAddOn;
    const Setup *setup;
    const char *setupEnded; // ReadSetup's final message; null when the setup can be used
};
// The run once its logs are open (and the lock held): the releases through
// writes. False, with the logs closed by its final message, when the setup
// file ended it; else the caller may do more, then calls EndRegistration.
bool RunRegistration(StepWrites &writes, const RunInput &input);
// Closes the logs of a run that got through its releases, with its final line.
void EndRegistration();
// The steps of every release of setup that the writes' mode runs.
void RegisterReleases(StepWrites &writes, const Setup &setup, bool secondAddOn);
// Forgets everything a run left behind, so tests can run it again in-process.
void ResetRunForTests();

/* location.cpp */
void UpperCaseInPlace(char *text);
enum class ProgramFolder { Usable, NameNotSpelled, PathTooLong };
// Writes the folder of the running executable, ending in a separator, into
// directory, and its file name ("OstrelCtl.exe" say) into fileName (both
// kPathBufferSize bytes). argv0 (the program as it was started) stands in
// when the platform cannot tell; each is empty when unknown, and the name
// also when the code page cannot spell it. Refused, with both empty, when
// the ANSI code page cannot spell the folder's name (every ANSI call would
// act on another folder or none), or when TEMPTXT.log's path in it would
// pass MAX_PATH (the ANSI file calls would refuse it after the setup file
// was found and the values written, so that no uninstall could find them).
ProgramFolder FindProgramDirectory(const char *argv0, char *directory, char *fileName);
// What a run logs, in the temporary folder, for a folder refused so.
const char *RefusedFolderLine(ProgramFolder folder);
// The FNV-1a hash of a program folder, upper-cased and with '/' read as '\\',
// so that a folder named in another case or with slashes gives the same.
unsigned long FolderHash(const char *programDirectory);

// True when the setup file opens for reading; it is closed again at once.
bool CheckSetupFile(const char *path);

/* run_lock.cpp */
// Runs that change the registry take turns, machine-wide, so that no run
// removes or rewrites a value while another writes it, and no two runs mix
// their lines in one log. A second run waits here at most waitMilliseconds
// (INFINITE: until the first unlocks or ends). Where the machine's lock
// cannot be had the program folder's is taken instead; the result says which,
// or Held when another run still held it as the wait ended.
// NotAsked: a run that ends before it asks for the lock.
enum class RunLock { Machine, Folder, None, Held, NotAsked };
// How long RegOST.exe and a deployment's RegOSTCtl wait for another run: a
// lock that a hung run, or anyone, keeps must not hang every install after it.
constexpr DWORD kRunLockWait = 60000;
RunLock LockRuns(const char *programDirectory, DWORD waitMilliseconds);
void UnlockRuns();
// Opens the progress log (OpenProgressLog) and notes in it what the lock, as
// LockRuns gave it, could not do: nothing when the machine's lock was had or
// none was asked for. A run without the lock (refused before it, or gone on
// without it) holds its lines.
void OpenRunLog(const char *programDirectory, RunLock lock);

/* setup_file.cpp */
// What the setup file says, as a run reads it from the program folder.
struct Setup {
    char setupFilePath[kPathBufferSize];
    char releaseList[kPathBufferSize];
    int releaseCount;                       // 1 to 3
    char mainLoaderPath[kPathBufferSize];   // overridden where the setup file says so
    char secondLoaderPath[kPathBufferSize]; // likewise, when secondAddOn
    char customData[kPathBufferSize];       // empty when the setup file has none
};
// Reads the setup file of programDirectory into *setup. Null when the run
// can go on; else the final message that ends it (no setup file, or a
// release list refused), and nothing in *setup is to be used.
const char *ReadSetup(const char *programDirectory, bool secondAddOn, Setup *setup);
enum class ReleaseListResult { Accepted, Missing, WrongLength, Unknown };
// Reads and validates the release list of setupFile into releaseList
// (kPathBufferSize bytes); on success *releaseCount is 1 to 3.
ReleaseListResult ReadReleaseList(const char *setupFile, char *releaseList, int *releaseCount);
// The release at index i (0 to 2) of an accepted list: four characters into
// releaseNumber (kReleaseNumberSize bytes), and "R" before them into
// releaseKeyName (kReleaseKeyNameSize bytes).
void CopyRelease(const char *releaseList, int index, char *releaseNumber, char *releaseKeyName);
// Replaces a default loader path with the setup file's where that names
// something that exists; the second add-on's only when it is registered. A
// loader that is not absolute is resolved in programDirectory (a rooted one
// on its drive or share), and the resolved path is what replaces the default.
void ApplyLoaderOverrides(const char *setupFile, const char *programDirectory, bool secondAddOn,
                          char *mainLoaderPath, char *secondLoaderPath);
// The custom data of the main add-on (kPathBufferSize bytes); empty when the
// setup file has none.
void ReadCustomData(const char *setupFile, char *customData);
