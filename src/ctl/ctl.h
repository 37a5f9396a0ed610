// RegOSTCtl: the add-on's registration installed with an exit code a setup
// can act on (/INSTALL), made for each user at logon (/USER), checked
// (/VERIFY), and removed again from what the runs recorded (/UNINSTALL). It
// stands beside the driver's entry and may include every floor.
#pragma once

#include "common/text.h"
#include "driver/driver.h"
#include "platform/win32.h"

// The exit codes a setup reads.
constexpr int kExitDone = 0;
constexpr int kExitWriteFailed = 1; // install: a write failed; uninstall: a removal failed
constexpr int kExitNotIntact = 1;   // verify: a value missing or different
constexpr int kExitNoAutoCAD = 2;
constexpr int kExitNoSetupFile = 3;
constexpr int kExitNoRecords = 4;
constexpr int kExitScriptLogClosed = 5;
constexpr int kExitLoaderFile = 6;   // the add-on file is missing (verify) or for the other machine
constexpr int kExitOtherEdition = 7; // no AutoCAD in this build's registry view, one in the other
constexpr int kExitBadCommandLine = 87; // ERROR_INVALID_PARAMETER
constexpr int kExitLockHeld = 1618;     // ERROR_INSTALL_ALREADY_RUNNING: deployment tools retry it

// The switches a mode may take after its word.
constexpr unsigned kSwitchQel = 1;
constexpr unsigned kSwitchAllUsers = 2;
constexpr unsigned kSwitchWait = 4; // "/WAIT:<seconds>"; a mode that takes it ends with 1618

// What every mode starts from, found and read once by RunRegOSTCtl.
struct CtlRun {
    char directory[kPathBufferSize]; // the program folder; empty when unknown
    char fileName[kPathBufferSize];  // the program's name as started; empty when unknown
    unsigned switches;               // kSwitch* bits
    Setup setup;                     // read when the mode's row asks for it
    const char *setupEnded;          // ReadSetup's final message; null when setup is to be used
};

/* ctl_run.cpp */
// The whole job of RegOSTCtl; returns the exit code.
int RunRegOSTCtl(int argc, char **argv);
// The path of the folder's TEMPTXT.log (kPathBufferSize bytes); false when
// the folder is unknown or the path does not fit.
bool ScriptLogPath(const char *directory, char *path);
// Writes the final message, closes the logs and returns exitCode.
int EndWith(const char *finalMessage, int exitCode);

/* install.cpp */
int InstallRegistration(const CtlRun &run);

/* loader_file.cpp */
enum class LoaderFile { Missing, Unreadable, Empty, NoVerdict, ThisMachine, OtherMachine };
// Whether the add-on file at path exists (a folder does not count), whether
// it can be read, whether it holds any byte and, when it is a Windows image
// of x86-64 or i386, whether that is this build's machine (*machine gets the
// image's, 0 when it is none).
LoaderFile ExamineLoaderFile(const char *path, WORD *machine);
// Logs head, the path and the file's machine against the build's.
void WriteOtherMachineLine(const char *head, const char *path, WORD machine);

/* all_users.cpp */
// The folder's Active Setup entry (kPathBufferSize bytes; it always fits),
// one per program folder, so the x86 and x64 folders each have theirs.
void ActiveSetupKey(const char *programDirectory, char *key);
// Writes it after the releases of /INSTALL /ALLUSERS, and its progress line.
void RegisterForEveryUser(StepWrites &writes, const CtlRun &run);

/* user.cpp */
// The per-user half for the user who runs it, as every user's logon runs it.
int UserRegistration(const CtlRun &run);

/* uninstall.cpp */
// /UNINSTALL: the records of TEMPTXT.log read (uninstall_parts.h), then
// removed (uninstall.h).
int UninstallRegistration(const CtlRun &run);

/* verify.cpp */
int VerifyRegistration(const CtlRun &run);

/* other_edition.cpp */
// For a run that found no AutoCAD of the listed releases in this build's
// registry view: logs each release that has one in the other view only
// (read, never written); true when any has, the end being then exit code 7.
bool ReportOtherEdition(const Setup &setup);
