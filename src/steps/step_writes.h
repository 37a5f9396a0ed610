// What the registry steps share: registry writes followed at once by their
// registry-script records, or, in a verification, compared with the registry.
#pragma once

#include "common/text.h"
#include "platform/win32.h"

// The maker's own keys: this prefix, the release number, then the add-on.
constexpr char kVendorKeyPrefix[] = "Software\\Quenlar\\AutoCAD\\";
// AutoCAD's release keys: this prefix, then the release key name; the
// products are its subkeys.
constexpr char kReleaseKeyPrefix[] = "SOFTWARE\\Autodesk\\AutoCAD\\";
// Windows' Active Setup entries, one subkey each; the add-on's entry of a
// program folder is named kEntryNamePrefix and the folder's hash in hex.
constexpr char kActiveSetupPrefix[] = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\";
constexpr char kEntryNamePrefix[] = "Ostrel-";
constexpr int kEntryHashDigits = 8;

// What the steps' writes do: write and record (Install); compare what they
// would write with what the registry holds (Verify), writing nothing; or
// write the user's half at a logon (User).
// In a verification a write "succeeds" when the value is in place; each
// one that is not gets a line of its own, and the steps' error lines
// (WriteStepError) stay out of the log. For the user's half
// HKEY_LOCAL_MACHINE is left alone and a number already set (a setting the
// user may have chosen) is kept; a value left alone counts as written.
enum class WriteMode { Install, Verify, User };
void SetWriteMode(WriteMode mode);

// Counts a write that no root took, for ReadStepTally; in a verification, a
// value not in place, whose line it writes.
void CountFailedWrite();
// Counts a product that got the main add-on's demand-load entries.
void CountRegisteredProduct();
// A step's error line for a write that a root refused.
void WriteStepError(const char *a, const char *b, const char *c, const char *d = "",
                    const char *e = "");

// Both return the write's result; on success the record is written.
bool WriteRecordedString(HKEY root, const char *keyPath, const char *valueName, const char *text);
bool WriteRecordedDword(HKEY root, const char *keyPath, const char *valueName, DWORD number);
