// DOS paths and code page 1252 for the Linux stand-in (private to platform/posix).
//
// The program sees the Unix file system as Wine shows it: drive Z: is the
// Unix root, '\' and '/' both separate, and each component is looked up
// without regard to case. Names are bytes of code page 1252 on the DOS side
// and UTF-8 on the Unix side, as under Wine.
#pragma once

#ifdef REGOST_CORE
#error "the core reaches the platform through platform/win32.h alone"
#endif

#include <string.h>

#include "platform/win32.h"

constexpr DWORD kErrorFilenameExcedRange = 206; // ERROR_FILENAME_EXCED_RANGE

// Room for a Unix path or a normalized DOS path; longer ones are refused.
constexpr size_t kStandInPathSize = 4096;

// Appends length bytes and a NUL at *used; false when they do not fit.
inline bool AppendBytes(char *out, size_t outSize, size_t *used, const char *text, size_t length) {
    if (*used + length >= outSize)
        return false;
    memcpy(out + *used, text, length);
    *used += length;
    out[*used] = 0;
    return true;
}

// --- Code page 1252 --------------------------------------------------------

// The Unicode code point of a cp1252 byte. The five bytes that cp1252 leaves
// undefined map to the C1 controls of the same value, as Windows maps them.
uint32_t Cp1252ToUnicode(unsigned char byte);
// The cp1252 byte of a code point; false when cp1252 has none.
bool UnicodeToCp1252(uint32_t codePoint, unsigned char *byte);
// The byte Windows compares a cp1252 letter as when case does not matter.
unsigned char Cp1252Upper(unsigned char byte);
bool Cp1252EqualNoCase(const char *a, size_t aLength, const char *b, size_t bLength);

// Decodes one UTF-8 sequence at s; returns its length, or 0 when it is not a
// valid (shortest-form, non-surrogate) sequence.
size_t DecodeUtf8(const unsigned char *s, uint32_t *codePoint);
// A UTF-8 Unix name in cp1252. A character cp1252 lacks becomes '?', and a
// byte that is not valid UTF-8 is kept as it is. False when it does not fit
// (out is then empty). *lossy (may be null) tells whether a '?' stands for a
// character cp1252 lacks, so that no ANSI name can ask for this one.
bool UnixNameToAnsi(const char *unixName, char *out, size_t outSize, bool *lossy = nullptr);
// length bytes of cp1252 as UTF-8; false when they do not fit.
bool AnsiNameToUnix(const char *ansi, size_t length, char *out, size_t outSize);
// units UTF-16LE code units into cp1252 as WideCharToMultiByte gives them (a
// character cp1252 lacks becomes '?', a NUL stays a NUL). out takes at most
// units + 1 bytes and gets a NUL after them; returns the length before it.
size_t Utf16LeToCp1252(const unsigned char *data, size_t units, char *out);

// --- DOS paths -------------------------------------------------------------

// Turns a DOS path into the absolute, normalized form "\dir\name" ("" is the
// root of Z:), the way Windows rewrites a path before it touches the disk: a
// relative path is taken from the current directory, "/" becomes "\", runs of
// separators collapse, "." and ".." go, a component loses one trailing dot
// and the last component all trailing dots and blanks. *endsInSeparator says
// whether the path ended in a separator (it may be null). Returns 0, or
// ERROR_PATH_NOT_FOUND for an empty path, another drive, a UNC path or one
// starting "\\?\" or "\\.\" (the programs build no such paths),
// ERROR_INVALID_NAME for characters no file name may hold ('*' and '?' are
// let through; FindFirstFileA decides on them), ERROR_FILENAME_EXCED_RANGE
// when the full path reaches MAX_PATH, as Windows' ANSI calls refuse it.
DWORD NormalizeDosPath(const char *dosPath, char *out, size_t outSize, bool *endsInSeparator);

enum DosLookup {
    kDosFound,         // every component exists
    kDosLastMissing,   // the folder exists, the last component does not
    kDosFolderMissing, // a folder on the way is missing
    kDosFolderIsFile,  // a folder on the way is a file
};

// Finds a normalized DOS path on the disk, component by component without
// regard to case (a name that matches exactly wins), never as a pattern: a
// name whose cp1252 form is lossy is found by no ANSI name. unixPath receives the
// Unix path with every found component as stored; when only the last one is
// missing, that one is appended as given (in UTF-8), ready to be created.
// False when the Unix path would not fit.
bool ResolveNormalizedPath(const char *normalized, char *unixPath, size_t unixSize,
                           DosLookup *lookup);

// NormalizeDosPath and ResolveNormalizedPath in one. Returns 0 (and *lookup)
// or the Win32 error of the normalization.
DWORD LookUpDosPath(const char *dosPath, char *unixPath, size_t unixSize, DosLookup *lookup);

// Opens a regular file without waiting: a FIFO, a device or a folder would
// block a reader or is no file, so it is refused (-1, errno EACCES). The
// descriptor is blocking again when returned. -1 and errno otherwise.
int OpenRegularFile(const char *unixPath, int flags);

// The Z: form of an absolute Unix path ("/opt/x" -> "Z:\opt\x"), names in
// cp1252. A relative path is taken from the current directory; "." and ".."
// are resolved without asking the disk. False when it does not fit.
bool UnixPathToDos(const char *unixPath, char *out, size_t outSize);

// --- FindFirstFileA's patterns ---------------------------------------------

// The last component of a search in the form MatchFindPattern takes;
// endsInDot: the search ended in a dot that the path lost. out is empty when
// it does not fit.
void TranslateFindPattern(const char *name, bool endsInDot, char *out, size_t outSize);
// Whether an ANSI name matches a translated pattern, case aside.
bool MatchFindPattern(const char *expression, const char *name);
