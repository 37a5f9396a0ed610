// What the registry steps share: key paths, and registry writes followed at
// once by their registry-script records.
#pragma once

#include "platform/win32.h"

// Joins up to three pieces into out (kPathBufferSize bytes). False, with out
// empty, when they do not fit.
bool ComposeKeyPath(char *out, const char *a, const char *b, const char *c = "");

// Both return the write's result; on success the record is written.
bool WriteRecordedString(HKEY root, const char *keyPath, const char *valueName, const char *text);
bool WriteRecordedDword(HKEY root, const char *keyPath, const char *valueName, DWORD number);
