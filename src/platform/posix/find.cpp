// FindFirstFileA/FindClose: whether a path, or a pattern in its last
// component, names something; the find data is zeroed. There are no 8.3
// names. A device name (NUL, CON, COM1, "nul.arx") is found in any folder
// that exists, as Wine finds it.
//
// Patterns are translated as kernel32 does before the file system sees them:
// "*.*" is "*"; '?' matches one character, or none before a dot or at the
// end; '*' before a dot stops at the last dot; a dot before a wildcard or at
// the end also matches the end of the name. A pattern ending in a dot keeps
// it though the path loses it: "*." names entries without an extension.
#include "platform/posix/dos_path.h"

#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

const char kDosStar = '<', kDosQm = '>', kDosDot = '"';

struct Matcher {
    const char *expression, *name;
    size_t expressionLength, nameLength, lastDot; // lastDot: nameLength without a dot
    std::vector<signed char> memo;                // -1: not known yet

    bool From(size_t e, size_t n) {
        signed char &known = memo[e * (nameLength + 1) + n];
        if (known < 0)
            known = Step(e, n) ? 1 : 0;
        return known != 0;
    }
    bool Step(size_t e, size_t n) {
        bool atEnd = n == nameLength;
        unsigned char c = atEnd ? 0 : static_cast<unsigned char>(name[n]);
        if (e == expressionLength)
            return atEnd;
        switch (expression[e]) {
        case '*':
            return From(e + 1, n) || (!atEnd && From(e, n + 1));
        case kDosStar:
            return From(e + 1, n) || (!atEnd && n != lastDot && From(e, n + 1));
        case kDosQm:
            return From(e + 1, atEnd || c == '.' ? n : n + 1);
        case kDosDot:
            return atEnd ? From(e + 1, n) : c == '.' && From(e + 1, n + 1);
        default:
            return !atEnd &&
                   Cp1252Upper(c) == Cp1252Upper(static_cast<unsigned char>(expression[e])) &&
                   From(e + 1, n + 1);
        }
    }
};

// The last component of a search as Matcher takes it (endsInDot: the dot
// the path lost); out is empty when it does not fit.
void TranslateFindPattern(const char *name, bool endsInDot, char *out, size_t outSize) {
    std::string raw = std::string(name) + (endsInDot ? "." : "");
    if (raw.size() + 1 > outSize) {
        out[0] = 0;
        return;
    }
    if (raw == "*.*")
        raw = "*";
    for (size_t i = 0; i < raw.size(); i++) {
        char c = raw[i], next = raw[i + 1];
        out[i] = c == '?'                                                ? kDosQm
                 : c == '*' && next == '.'                               ? kDosStar
                 : c == '.' && (next == '?' || next == '*' || next == 0) ? kDosDot
                                                                         : c;
    }
    out[raw.size()] = 0;
}

// Whether an ANSI name matches a translated pattern, case aside.
bool MatchFindPattern(const char *expression, const char *name) {
    const char *dot = strrchr(name, '.');
    Matcher m{expression, name, strlen(expression), strlen(name), 0, {}};
    m.lastDot = dot ? static_cast<size_t>(dot - name) : m.nameLength;
    m.memo.assign((m.expressionLength + 1) * (m.nameLength + 1), -1);
    return m.From(0, 0);
}

char gFindHandle; // every search's handle: only found or not matters

// Whether the last component of path, before any extension, ':' or trailing
// blanks, is a device name ("nul" of "Z:\x\nul .arx"); *name: where it starts.
bool IsDeviceName(const char *path, const char **name) {
    const char *start = path[0] != 0 && path[1] == ':' ? path + 2 : path;
    for (const char *p = start; *p != 0; p++)
        start = *p == '\\' || *p == '/' ? p + 1 : start;
    size_t length = strcspn(start, ".:");
    while (length > 0 && start[length - 1] == ' ')
        length--;
    *name = start;
    for (const char *device : {"AUX", "CON", "NUL", "PRN", "CONIN$", "CONOUT$"})
        if (length == strlen(device) && strncasecmp(start, device, length) == 0)
            return true;
    bool numbered =
        length == 4 && (strncasecmp(start, "COM", 3) == 0 || strncasecmp(start, "LPT", 3) == 0);
    return numbered && start[3] >= '1' && start[3] <= '9';
}

// Whether a normalized path without wildcards names a folder; unixPath gets it.
bool IsFolder(const char *normalized, char *unixPath) {
    DosLookup lookup;
    struct stat info;
    return !strpbrk(normalized, "*?") &&
           ResolveNormalizedPath(normalized, unixPath, kSimulationPathSize, &lookup) &&
           lookup == kDosFound && stat(unixPath, &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    // At most MAX_PATH characters (Wine: 261 fail); the full path must be shorter.
    if (!lpFileName || !lpFindFileData || strlen(lpFileName) > MAX_PATH)
        return INVALID_HANDLE_VALUE;
    memset(lpFindFileData, 0, sizeof *lpFindFileData);
    char normalized[kSimulationPathSize], unixPath[kSimulationPathSize];
    const char *device = nullptr;
    if (IsDeviceName(lpFileName, &device)) { // found when its folder exists
        char folder[MAX_PATH + 2];
        int length = device == lpFileName ? 1 : static_cast<int>(device - lpFileName);
        snprintf(folder, sizeof folder, "%.*s", length, device == lpFileName ? "." : lpFileName);
        bool found = NormalizeDosPath(folder, normalized, sizeof normalized, nullptr) == 0 &&
                     IsFolder(normalized, unixPath);
        return found ? &gFindHandle : INVALID_HANDLE_VALUE;
    }
    // A trailing separator never names an entry.
    bool endsInSeparator = false;
    if (NormalizeDosPath(lpFileName, normalized, sizeof normalized, &endsInSeparator) != 0 ||
        endsInSeparator || normalized[0] == 0)
        return INVALID_HANDLE_VALUE;
    char *mask = strrchr(normalized, '\\');
    *mask++ = 0;
    DIR *dir = IsFolder(normalized, unixPath) ? opendir(unixPath) : nullptr;
    if (!dir)
        return INVALID_HANDLE_VALUE;
    char pattern[kSimulationPathSize];
    TranslateFindPattern(mask, lpFileName[strlen(lpFileName) - 1] == '.', pattern, sizeof pattern);
    bool found = false;
    for (struct dirent *entry; !found && (entry = readdir(dir)) != nullptr;) {
        bool dots = strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0;
        char ansi[kSimulationPathSize];
        found = !(dots && normalized[0] == 0) && UnixNameToAnsi(entry->d_name, ansi, sizeof ansi) &&
                MatchFindPattern(pattern, ansi);
        struct stat info;
        std::string entryPath = std::string(unixPath) + "/" + entry->d_name;
        if (found && stat(entryPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            lpFindFileData->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    }
    closedir(dir);
    return found ? &gFindHandle : INVALID_HANDLE_VALUE;
}

BOOL FindClose(HANDLE hFindFile) {
    return hFindFile == &gFindHandle;
}
