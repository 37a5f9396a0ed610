// The registry primitives: each writes, lists, reads or deletes one thing.
// They never log and never choose a root.
#pragma once

#include "common/text.h"
#include "platform/win32.h"

// Sets a REG_SZ value (text and its terminating zero), creating the key path.
bool WriteStringValue(HKEY root, const char *keyPath, const char *valueName, const char *text);
// Sets a REG_DWORD value, creating the key path.
bool WriteDwordValue(HKEY root, const char *keyPath, const char *valueName, DWORD number);
// A REG_DWORD's data: number's four bytes, lowest first.
void DwordData(DWORD number, BYTE *data);
// Appends the names of the direct subkeys of keyPath to the list. The caller
// starts with names null and count 0 and frees the list with FreeSubkeyList
// whatever the result: false (key missing, or listing cut short, or out of
// memory) can leave names in it. A name too long for kSubkeyNameBufferSize is
// listed as an empty name. view 0 is the build's own registry view; another
// (KEY_WOW64_32KEY or KEY_WOW64_64KEY) is only ever read, as here.
bool ListSubkeys(HKEY root, const char *keyPath, char **&names, int &count, REGSAM view = 0);
void FreeSubkeyList(char **&names, int count);
// True when keyPath exists and opens for reading (in view, as ListSubkeys).
bool KeyOpens(HKEY root, const char *keyPath, REGSAM view = 0);

/* removal.cpp */
enum class ValueLookup { Found, Missing, Unreadable };
// Reads a value: Found sets *type and *size (its stored size); data holds it
// when *size is at most dataSize. Missing when the key or the value is not
// there; Unreadable when the key cannot be opened for reading.
ValueLookup ReadValue(HKEY root, const char *keyPath, const char *valueName, DWORD *type,
                      BYTE *data, DWORD dataSize, DWORD *size);
// Reads a value as ReadValue does and, when Found, sets *same to whether it
// holds exactly type and data (size bytes, at most kPathBufferSize); a null
// data matches no value.
ValueLookup CompareValue(HKEY root, const char *keyPath, const char *valueName, DWORD type,
                         const BYTE *data, DWORD size, bool *same);
enum class ValueMatch { Same, Different, Missing };
// Whether a value holds exactly type and data (size bytes, at most
// kPathBufferSize); one that cannot be read counts as Missing.
ValueMatch MatchValue(HKEY root, const char *keyPath, const char *valueName, DWORD type,
                      const BYTE *data, DWORD size);
// Deletes a value; true when it is gone, also when it (or its key) was not there.
bool DeleteValue(HKEY root, const char *keyPath, const char *valueName);
enum class KeyRemoval { Deleted, Missing, NotEmpty, Failed };
// Deletes keyPath only while it holds no value and no subkey.
KeyRemoval DeleteEmptyKey(HKEY root, const char *keyPath);
