// The registry steps of one release. Each returns true when every write it
// attempted succeeded (a write taken by the fallback root counts as done).
// Everything a step needs comes in as arguments, the run's writes first.
#pragma once

#include "common/text.h"
#include "platform/win32.h"
#include "steps/step_writes.h"

/* release_steps.cpp */
// What a release's steps take, from the setup file and the switches.
struct ReleaseInput {
    char number[kReleaseNumberSize];   // "17.1"
    char keyName[kReleaseKeyNameSize]; // "R17.1"
    const char *mainLoaderPath;
    const char *secondLoaderPath;
    const char *customData; // empty when the setup file has none
    bool withSecondAddOn;   // "/QEL"
};
// Runs the steps of the release that the writes' mode runs, in the table's
// order, each followed by its progress line where the mode logs them.
void RunReleaseSteps(StepWrites &writes, const ReleaseInput &release);

// The steps of a release, each for the main add-on or (secondAddOn) the
// second one.

/* vendor_key.cpp */
// The add-on's key under the maker's (kVendorKeyPrefix, the release number,
// then Ostrel or Qel) into key, kPathBufferSize bytes: it always fits.
void VendorKeyPath(const char *releaseNumber, bool secondAddOn, char *key);
// The custom data is written for the main add-on only, and only when not empty.
bool WriteVendorKey(StepWrites &writes, const ReleaseInput &release, bool secondAddOn);

/* default_settings.cpp */
// The main add-on's; the second has none.
bool WriteDefaultSettings(StepWrites &writes, const ReleaseInput &release, bool secondAddOn);

/* demand_load.cpp */
bool WriteDemandLoadEntries(StepWrites &writes, const ReleaseInput &release, bool secondAddOn);

/* active_setup.cpp */
// The entry at key (under HKEY_LOCAL_MACHINE) that makes every user's next
// logon run programName /USER in programDirectory (with /QEL for
// secondAddOn); its version is higher than any it held before, or, where
// none can be, the one it holds.
bool WriteActiveSetupEntry(StepWrites &writes, const char *key, const char *programDirectory,
                           const char *programName, bool secondAddOn, const SYSTEMTIME *now);
