// What the registry steps share: registry writes followed at once by their
// registry-script records.
#pragma once

#include "common/text.h"
#include "platform/win32.h"

// The maker's own keys: this prefix, the release number, then the add-on.
constexpr char kVendorKeyPrefix[] = "Software\\Quenlar\\AutoCAD\\";

// Counts a write that no root took, for ReadStepTally.
void CountFailedWrite();
// Counts a product that got the main add-on's demand-load entries.
void CountRegisteredProduct();

// What the recorded writes do. User: the user's half at a logon, so
// HKEY_LOCAL_MACHINE is left alone and a number already set (a setting the
// user may have chosen) is kept; a value left alone counts as written.
enum class WriteMode { Install, User };
void SetWriteMode(WriteMode mode);

// Both return the write's result; on success the record is written.
bool WriteRecordedString(HKEY root, const char *keyPath, const char *valueName, const char *text);
bool WriteRecordedDword(HKEY root, const char *keyPath, const char *valueName, DWORD number);
