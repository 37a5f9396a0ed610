// The one header through which RegOST reaches the platform.
//
// On Windows it is <windows.h>. Elsewhere it declares the small Win32 subset
// the program uses, with the same names, arguments and results; the Linux
// simulation in platform/posix implements it. The core includes nothing else
// of the platform and never asks which one it runs on.
#pragma once

#include <stdio.h>

// The program's own entry, one per program (RegOST's in src/driver,
// RegOSTCtl's in src/ctl), which the platform's start calls with the command
// line as the runtime split it: argc 0 and argv null when the runtime could
// not (no memory for it). Its result is the process's exit code.
int ProgramMain(int argc, char **argv);

#ifdef _WIN32

#include <io.h>
#include <windows.h>

// A text-mode stream opened by a DOS path: the C library does that itself here.
inline FILE *OpenDosStream(const char *path, const char *mode) {
    return fopen(path, mode);
}

// Whether such a stream is a device (NUL, COM1: a name that is one in every
// folder) rather than a file; msvcrt notes it as it opens the stream.
inline bool IsDeviceStream(FILE *stream) {
    return _isatty(_fileno(stream)) != 0;
}

// The machine of the Windows images this build can load: its own.
inline WORD BuildImageMachine() {
#if defined(__x86_64__) || defined(_M_X64)
    return IMAGE_FILE_MACHINE_AMD64;
#elif defined(__i386__) || defined(_M_IX86)
    return IMAGE_FILE_MACHINE_I386;
#else
#error "RegOST is built for x86-64 and i386 only"
#endif
}

// The registry view of the other build's programs, for reading: 32-bit from
// the x86-64 build, 64-bit from the i386 one. 32-bit Windows has one view and
// ignores the flag.
inline REGSAM OtherRegistryView() {
#if defined(__x86_64__) || defined(_M_X64)
    return KEY_WOW64_32KEY;
#else
    return KEY_WOW64_64KEY;
#endif
}

#else // the Linux simulation

#include <stddef.h>
#include <stdint.h>

#define WINAPI

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef LONG LSTATUS;
typedef uint32_t UINT;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef BYTE *LPBYTE;
typedef const BYTE *LPCBYTE;
typedef DWORD *LPDWORD;
typedef DWORD REGSAM;
typedef void *HANDLE;
typedef struct RegistryKeyHandle *HKEY;
typedef HKEY *PHKEY;
typedef struct ModuleHandle *HMODULE;
typedef HMODULE HINSTANCE;
typedef void *LPSECURITY_ATTRIBUTES;
typedef uint16_t WCHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWCH;
typedef const char *LPCCH;
typedef BOOL *LPBOOL;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define MAX_PATH 260

#define CP_ACP 0
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INVALID_NAME 123L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L

#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001UL)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002UL)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200

#define REG_OPTION_NON_VOLATILE 0x0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

#define INFINITE 0xFFFFFFFFUL
#define WAIT_OBJECT_0 0x00000000UL
#define WAIT_ABANDONED 0x00000080UL
#define WAIT_TIMEOUT 0x00000102UL
#define WAIT_FAILED 0xFFFFFFFFUL

#define IMAGE_FILE_MACHINE_I386 0x014c
#define IMAGE_FILE_MACHINE_AMD64 0x8664

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME;

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

// advapi32
LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                        REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                        PHKEY phkResult, LPDWORD lpdwDisposition);
LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE *lpData, DWORD cbData);
LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);
LSTATUS RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);
LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData);
LSTATUS RegCloseKey(HKEY hKey);
LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);

// kernel32
DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);
HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
BOOL FindClose(HANDLE hFindFile);
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);
DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);
void GetLocalTime(LPSYSTEMTIME lpSystemTime);
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL ReleaseMutex(HANDLE hMutex);
BOOL CloseHandle(HANDLE hObject);
HANDLE GetProcessHeap(void);
void *HeapAlloc(HANDLE hHeap, DWORD dwFlags, size_t dwBytes);
BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, void *lpMem);

// A stream opened by a DOS path (Z:\ is the Unix root), for appending text
// ("a", each "\n" stored as CR LF, as msvcrt does) or reading ("r", CR LF
// left as it is; "rb", the bytes as they are, as on Windows).
FILE *OpenDosStream(const char *path, const char *mode);
// It opens files only, never a device.
inline bool IsDeviceStream(FILE *) {
    return false;
}

// The machine of the Windows images the simulated build can load: x86-64,
// or i386 when the simulator plays the 32-bit build (REGOST_MACHINE=x86).
WORD BuildImageMachine(void);

// The simulation plays the x86-64 build's two views: the other one is the
// 32-bit view, HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node.
inline REGSAM OtherRegistryView(void) {
    return KEY_WOW64_32KEY;
}

#endif
