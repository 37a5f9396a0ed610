// DOS paths and code page 1252 for the simulation, as Wine shows the Unix
// tree: Z: is "/", '\' and '/' both separate, components are found without
// case; names are cp1252 on the DOS side and UTF-8 on the Unix side.
#pragma once

#ifdef REGOST_CORE
#error "the core reaches the platform through platform/win32.h alone"
#endif

#include <string.h>

#include <string>

#include "platform/win32.h"

constexpr DWORD kErrorFilenameExcedRange = 206; // ERROR_FILENAME_EXCED_RANGE
constexpr size_t kSimulationPathSize = 4096;    // a Unix or normalized DOS path

// Appends length bytes and a NUL at *used; false when they do not fit.
inline bool AppendBytes(char *out, size_t outSize, size_t *used, const char *text, size_t length) {
    if (*used + length >= outSize)
        return false;
    memcpy(out + *used, text, length);
    *used += length;
    out[*used] = 0;
    return true;
}

// codepage.cpp. The five bytes cp1252 leaves undefined are the C1 controls.
uint32_t Cp1252ToUnicode(unsigned char byte);
bool UnicodeToCp1252(uint32_t codePoint, unsigned char *byte); // false: none
unsigned char Cp1252Upper(unsigned char byte);                 // as Windows compares
// One valid UTF-8 sequence at s: its length, or 0.
size_t DecodeUtf8(const unsigned char *s, uint32_t *codePoint);
// A Unix name as cp1252: '?' for a character cp1252 lacks (*lossy: no ANSI
// name finds it), invalid UTF-8 as it is. False (out empty) if it won't fit.
bool UnixNameToAnsi(const char *unixName, char *out, size_t outSize, bool *lossy = nullptr);
bool AnsiNameToUnix(const char *ansi, size_t length, char *out, size_t outSize);
// UTF-16LE in cp1252 as WideCharToMultiByte gives it ('?' for a character
// cp1252 lacks); with bad, false at the first such, *bad its code unit.
bool Utf16LeToCp1252(const void *data, size_t units, std::string *out, uint32_t *bad = nullptr);

// paths.cpp. A DOS path as Windows rewrites it before the disk sees it:
// "\dir\name" ("" for Z:\), relative ones from the current folder, "/" as
// "\", runs of separators as one, "." and ".." resolved, one trailing dot of
// a component and the trailing dots and blanks of the last dropped.
// ERROR_PATH_NOT_FOUND for "", another drive, UNC, "\\?\" and "\\.\";
// ERROR_INVALID_NAME for characters no name holds ('*' and '?' pass);
// ERROR_FILENAME_EXCED_RANGE from MAX_PATH on.
DWORD NormalizeDosPath(const char *dosPath, char *out, size_t outSize, bool *endsInSeparator);

enum DosLookup { kDosFound, kDosLastMissing, kDosFolderMissing, kDosFolderIsFile };

// Finds a normalized path on the disk, case aside (an exact name wins); a
// missing last component is appended as given. False if it won't fit.
bool ResolveNormalizedPath(const char *normalized, char *unixPath, size_t unixSize,
                           DosLookup *lookup);
// Both of the above, with '*' and '?' refused (ERROR_INVALID_NAME).
DWORD LookUpDosPath(const char *dosPath, char *unixPath, size_t unixSize, DosLookup *lookup);
// The "Z:\..." form of a Unix path, relative ones from the current folder;
// keepNames: its names stay UTF-8, for the wide calls.
bool UnixPathToDos(const char *unixPath, char *out, size_t outSize, bool keepNames = false);
bool WriteFully(int fd, const char *data, size_t length); // through EINTR
// Opens a regular file only (a FIFO would block): -1 and EACCES otherwise.
int OpenRegularFile(const char *unixPath, int flags);
