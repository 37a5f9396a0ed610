// The Linux simulation of the Win32 calls in platform/win32.h, and what it
// offers beyond them (the registry file, read-only roots, inspection and
// fault injection for tests). It implements the calls as RegOST and RegOSTCtl
// make them, no more; where they pass other arguments, it refuses.
//
// Registry (HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER only; other handles are
// ERROR_INVALID_HANDLE, and a handle stays invalid once closed):
//   RegCreateKeyExA(root, path, 0, class, options, KEY_WRITE, NULL, &h, &disp)
//       creates each missing level (case kept as first given, names compared
//       without case), and tells REG_CREATED_NEW_KEY or _OPENED_EXISTING_KEY.
//   RegOpenKeyExA(root, path, 0, KEY_READ or KEY_WRITE, &h): the key, or
//       ERROR_FILE_NOT_FOUND. A write right is refused (ERROR_ACCESS_DENIED)
//       under a read-only root or an injected fault, as the create is.
//   RegSetValueExA(h, name, 0, type, data, size) stores size bytes as given.
//   RegQueryInfoKeyA(h, NULL, NULL, NULL, &subkeys, NULL, NULL, &values or
//       NULL, NULL, NULL, NULL, NULL): the counts; anything else asked for is
//       ERROR_INVALID_PARAMETER.
//   RegEnumKeyExA(h, i, name, &length, NULL, NULL, NULL, &time): subkeys in
//       the NT order (ordinal, upper-cased); ERROR_MORE_DATA when the name
//       does not fit, ERROR_NO_MORE_ITEMS past the last.
//   RegQueryValueExA(h, name, NULL, &type, data, &size): ERROR_MORE_DATA (and
//       the size) when it does not fit; a null type, data or size is refused.
//   RegCloseKey(h). A registry load closes every handle.
// Files (DOS paths over the Unix tree, Z: its root, names compared without
// case in code page 1252; UNC, "\\?\" and "\\.\" paths exist nowhere):
//   GetPrivateProfileStringA(section, key, default, buffer, size, path): the
//       value as Windows reads an INI file, or the default as it stands; the
//       list forms (a null name) give "".
//   FindFirstFileA(path or pattern, &data) + FindClose: a handle when
//       something matches (a device name: when its folder exists),
//       INVALID_HANDLE_VALUE otherwise; data is zeroed.
//   OpenDosStream(path, "a" or "r"): appending stores "\n" as CR LF, reading
//       leaves CR LF as it is; any other mode, a folder or a FIFO is refused.
// Process: GetModuleFileNameA(NULL, ...), GetTempPathA (from TMPDIR),
//   GetLocalTime, the process heap (HeapAlloc/HeapFree), __argc/__argv, and
//   named mutexes (CreateMutexA(NULL, FALSE, name), an unbounded wait; a lock
//   file in /tmp). No last-error value is kept.
// The core never includes this header: it does not compile there.
#pragma once

#ifdef REGOST_CORE
#error "the core reaches the platform through platform/win32.h alone"
#endif

#include "platform/win32.h"

// --- Registry file -------------------------------------------------------

// Empties the in-memory registry (all roots), closes every open key handle
// (using one afterwards gives ERROR_INVALID_HANDLE), clears the read-only
// roots and the set counter, and forgets every fault.
void ResetStandInRegistry();

// Loads a REGEDIT4 (ANSI) or "Windows Registry Editor Version 5.00"
// (UTF-16LE with BOM, ANSI, or UTF-8 with or without BOM) file of keys under
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER into the in-memory registry,
// replacing what it held, and holds an exclusive lock on the file until the next save, so that
// runs on one file follow one another (a second load waits). A symbolic link
// is followed. A missing or empty (0-byte) file is an empty registry. On a
// malformed file, anything but a regular file (a FIFO, a device, a folder)
// or keys nested deeper than 512 levels returns false, leaves the registry
// empty and puts a one-line reason (with the line number where there is one)
// into `error` (at most errorSize bytes, always terminated), as "line 12:
// unknown escape ..." (the caller adds the file name). Faults, read-only
// roots and counters are kept; every open key handle is closed.
bool LoadStandInRegistry(const char *unixPath, char *error, size_t errorSize);

// Saves the whole registry as REGEDIT4 to unixPath, atomically (a temporary
// file in the same folder, fsync, then rename; through a symbolic link, in
// the folder of the file it names), then drops the lock the load took. False
// if it could not be written; the file that was there is then left as it was.
bool SaveStandInRegistry(const char *unixPath);

// Reads REGOST_READONLY_ROOTS ("HKLM", "HKCU" or "HKLM,HKCU", any case) and
// applies it (an unset or empty variable: no read-only root). The full names
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are accepted too, blanks around
// the names ignored. False (and a one-line reason, without the variable's
// name) for any other text.
bool ApplyReadOnlyRootsFromEnvironment(char *error, size_t errorSize);
void SetStandInReadOnlyRoot(HKEY root, bool readOnly);

// --- The running program --------------------------------------------------

// Makes GetModuleFileNameA(NULL) report this DOS path, so tests can run the
// program in-process as if it lay in another folder. Null: the real one.
void SetStandInModuleFileName(const char *dosPath);

// --- Inspection for tests ------------------------------------------------

// Type and data of a value; false if the key or the value does not exist.
// data receives at most dataSize bytes; *dataLength gets the stored length.
bool QueryStandInValue(HKEY root, const char *keyPath, const char *valueName, DWORD *type,
                       BYTE *data, DWORD dataSize, DWORD *dataLength);
bool StandInKeyExists(HKEY root, const char *keyPath);
// Calls visit for every value, root by root and key by key (a key's values
// before its subkeys, subkeys in enumeration order): the full root name, the
// key path below the root, the value's name, type and data.
typedef void (*StandInValueVisitor)(const char *root, const char *keyPath, const char *name,
                                    DWORD type, const BYTE *data, DWORD size, void *context);
void VisitStandInValues(StandInValueVisitor visit, void *context);

// --- Fault injection -----------------------------------------------------

// Creating or opening for writing any key at or below keyPath fails
// (RegCreateKeyExA and RegOpenKeyExA return ERROR_ACCESS_DENIED). Faults of
// this kind and the next add up.
void FailStandInCreatesUnder(HKEY root, const char *keyPath);
// Setting a value under exactly this key fails (ERROR_ACCESS_DENIED); a null
// valueName means every value of that key.
void FailStandInSet(HKEY root, const char *keyPath, const char *valueName);
// The n-th RegSetValueExA call from now on (0 = the next one) fails once with
// ERROR_ACCESS_DENIED, whatever it sets. -1 switches it off. Counts every set
// call under every root, failed ones included.
void FailStandInNthSet(int n);
// RegEnumKeyExA fails with ERROR_NO_MORE_ITEMS at this index, on every key,
// until switched off (-1: off).
void FailStandInEnumAt(int index);
// The n-th HeapAlloc from now on (0 = the next one) returns null (-1: off).
void FailStandInNthAlloc(int n);
// The next SaveStandInRegistry writes this many bytes of its temporary file
// and then fails as a full disk would (-1: off).
void FailStandInSaveAfterBytes(long bytes);
// Every fault off.
void ClearStandInFaults();

// Counters, for tests that check what was attempted.
int StandInSetCallCount();    // RegSetValueExA calls since the last reset
int StandInOpenHandleCount(); // keys opened and not yet closed
int StandInHeapBlockCount();  // HeapAlloc blocks not yet freed
