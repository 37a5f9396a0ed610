// The Linux simulation of platform/win32.h. It implements the calls as
// RegOST and RegOSTCtl make them, no more; other arguments are refused.
//   RegCreateKeyExA(HKLM|HKCU, path, 0, class, options, KEY_WRITE, NULL, &h, &disp)
//   RegOpenKeyExA(HKLM|HKCU, path, 0, KEY_READ|KEY_WRITE, &h); KEY_READ with
//   KEY_WOW64_32KEY: HKLM\SOFTWARE\X is HKLM\SOFTWARE\Wow6432Node\X (x86-64's
//   32-bit view; KEY_WOW64_64KEY is its own). OtherRegistryView(): _32KEY
//   RegSetValueExA(h, name, 0, REG_SZ|REG_DWORD, data, size)  (bytes kept as given)
//   RegQueryInfoKeyA(h, NULL, NULL, NULL, &subkeys, NULL, NULL, &values|NULL, NULL x4)
//   RegEnumKeyExA(h, i, name, &length, NULL, NULL, NULL, &time)  (NT order)
//   RegQueryValueExA(h, name, NULL, &type, data, &size); RegCloseKey(h)
//   RegDeleteValueA(h, name); RegDeleteKeyA(HKLM|HKCU, path)  (no subkeys; values go too)
//   GetPrivateProfileStringA(section, key, "", buffer, 512, path)
//   FindFirstFileA(path or pattern, &data) + FindClose: found or not, and
//   FILE_ATTRIBUTE_DIRECTORY when the entry found is a folder
//   OpenDosStream(path, "a" | "r" | "rb"): "\n" appended as CR LF, read as
//   stored; errno ENOENT when it is not there, EACCES for a folder; never a
//   device, so IsDeviceStream(stream) is false
//   BuildImageMachine(): IMAGE_FILE_MACHINE_AMD64, or _I386 (REGOST_MACHINE)
//   GetModuleFileNameW(NULL, ...) (Unix names kept), WideCharToMultiByte(CP_ACP,
//   WC_NO_BEST_FIT_CHARS, text, n or -1, out, size, NULL, &used), as cp1252;
//   GetTempPathA (TMPDIR), GetLocalTime,
//   HeapAlloc/HeapFree on the process heap,
//   CreateMutexA(NULL, FALSE, name or "Global\" name), WaitForSingleObject(h,
//   ms or INFINITE), ReleaseMutex(h), CloseHandle(h).
// Paths are DOS paths over the Unix tree (Z: is "/"), names compared without
// case in code page 1252. Only HKLM and HKCU exist; a closed handle stays
// invalid. No last-error value is kept. The core never includes this header.
#pragma once

#ifdef REGOST_CORE
#error "the core reaches the platform through platform/win32.h alone"
#endif

#include "platform/win32.h"

// --- Registry file -------------------------------------------------------

void ResetSimulationRegistry(); // no key, handle, read-only root, fault or count

// Loads a REGEDIT4 or "Version 5.00" file (UTF-16LE, ANSI or UTF-8) in place
// of the registry (handles closed; faults kept) and locks it until the next
// save, so runs on one file take turns. No file or 0 bytes: empty. False, an
// empty registry and a reason ("line 12: ...") for a malformed or odd file.
bool LoadSimulationRegistry(const char *unixPath, char *error, size_t errorSize);
// Saves the registry as REGEDIT4, atomically (temporary file, fsync,
// rename; a symbolic link keeps naming it), and drops the load's lock.
// False if it could not be written; the old file is then left as it was.
bool SaveSimulationRegistry(const char *unixPath);
// REGOST_READONLY_ROOTS: "HKLM", "HKCU" or both, comma-separated, any case.
bool ApplyReadOnlyRootsFromEnvironment(char *error, size_t errorSize);
void SetSimulationReadOnlyRoot(HKEY root, bool readOnly);

// The command line the simulator was started with, which main sets as
// msvcrt would: GetModuleFileNameW(NULL) takes argv[0] where it names the
// running file.
extern int __argc;    // NOLINT(bugprone-reserved-identifier)
extern char **__argv; // NOLINT(bugprone-reserved-identifier)
// What GetModuleFileNameW(NULL) reports (a DOS path, UTF-8); null: the real one.
void SetSimulationModuleFileName(const char *dosPath);
// REGOST_MACHINE: "x64" (also unset or empty) or "x86", any case: the build
// the simulator plays, as BuildImageMachine reports it.
bool ApplyMachineFromEnvironment(char *error, size_t errorSize);

// --- Inspection for tests ------------------------------------------------

// False if there is no such value; data gets at most dataSize bytes.
bool QuerySimulationValue(HKEY root, const char *keyPath, const char *valueName, DWORD *type,
                          BYTE *data, DWORD dataSize, DWORD *dataLength);
bool SimulationKeyExists(HKEY root, const char *keyPath);

// --- Fault injection (each gives ERROR_ACCESS_DENIED, or null) -------------
// Creating, or opening for writing, any key at or below keyPath.
void FailSimulationCreatesUnder(HKEY root, const char *keyPath);
// Setting a value of exactly this key; a null valueName: any value.
void FailSimulationSet(HKEY root, const char *keyPath, const char *valueName);
// The n-th RegSetValueExA from now (0 = the next) fails once; -1: off.
void FailSimulationNthSet(int n);
// RegEnumKeyExA gives ERROR_NO_MORE_ITEMS at this index; -1: off.
void FailSimulationEnumAt(int index);
// The n-th HeapAlloc from now returns null; -1: off.
void FailSimulationNthAlloc(int n);
// The next save writes this many bytes, then fails as a full disk; -1: off.
void FailSimulationSaveAfterBytes(long bytes);
void ClearSimulationFaults();

int SimulationSetCallCount();    // RegSetValueExA calls since the last reset
int SimulationOpenHandleCount(); // keys opened and not yet closed
int SimulationHeapBlockCount();  // HeapAlloc blocks not yet freed

// Faults of a whole run of regost, from the environment (unset or empty: off):
//   REGOST_FAIL_SET_AT=n       the n-th RegSetValueExA (from 0) fails, as FailSimulationNthSet
//   REGOST_FAIL_ENUM_AT=i      RegEnumKeyExA fails at index i, as FailSimulationEnumAt
//   REGOST_FAIL_ALLOC_AT=n     the n-th HeapAlloc (from 0) fails, as FailSimulationNthAlloc
//   REGOST_FAIL_CREATES_UNDER=HKLM\key[;HKCU\key...]       as FailSimulationCreatesUnder
//   REGOST_FAIL_SET=HKLM\key[|value][;...]                  as FailSimulationSet
// False, with a one-line reason naming the variable, for any other text.
bool ApplyFaultsFromEnvironment(char *error, size_t errorSize);
