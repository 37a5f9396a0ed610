// The registry steps of one release. Each returns true when every write it
// attempted succeeded (a write taken by the fallback root counts as done).
#pragma once

#include "platform/win32.h"

/* default_settings.cpp */
bool WriteDefaultSettings(const char *releaseNumber);

/* vendor_key.cpp */
bool WriteVendorKey(const char *releaseNumber, bool secondAddOn);

/* demand_load.cpp */
bool WriteDemandLoadEntries(const char *releaseKeyName, const char *loaderPath, DWORD loadCtrls,
                            bool secondAddOn);
