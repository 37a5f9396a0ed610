// The registry steps of one release. Each returns true when every write it
// attempted succeeded (a write taken by the fallback root counts as done).
// Everything a step needs comes in as arguments.
#pragma once

#include "platform/win32.h"

/* step_writes.cpp */
// What the steps did since the last reset, for a caller that turns a run
// into an exit code: writes that no root took (and products that could not
// be registered), and products that got the main add-on's entries.
struct StepTally {
    int failedWrites;
    int registeredProducts;
};
StepTally ReadStepTally();
void ResetStepTally();
// For the rest of the process, a value whose record the registry-script log
// does not take whole counts as a failed write, and every write after it in
// the run is refused: what has no record could never be removed again.
void RequireWholeRecords();

/* default_settings.cpp */
bool WriteDefaultSettings(const char *releaseNumber);

/* vendor_key.cpp */
// customData is written for the main add-on only, and only when not empty.
bool WriteVendorKey(const char *releaseNumber, const char *loaderPath, const char *customData,
                    bool secondAddOn);

/* active_setup.cpp */
// The entry at key (under HKEY_LOCAL_MACHINE) that makes every user's next
// logon run programName /USER in programDirectory (with /QEL for
// secondAddOn); its version is higher than any it held before, or, where
// none can be, the one it holds.
bool WriteActiveSetupEntry(const char *key, const char *programDirectory, const char *programName,
                           bool secondAddOn, const SYSTEMTIME *now);

/* demand_load.cpp */
bool WriteDemandLoadEntries(const char *releaseKeyName, const char *loaderPath, DWORD loadCtrls,
                            bool secondAddOn);
