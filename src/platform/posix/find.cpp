// FindFirstFileA/FindClose: whether a path, or a pattern in its last
// component (find_pattern.cpp), names something; the find data is zeroed.
// There are no 8.3 names. A device name (NUL, CON, COM1, "nul.arx") is found
// in any folder that exists, as Wine finds it.
#include "platform/posix/dos_path.h"

#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <initializer_list>

namespace {

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
           ResolveNormalizedPath(normalized, unixPath, kStandInPathSize, &lookup) &&
           lookup == kDosFound && stat(unixPath, &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    // At most MAX_PATH characters (Wine: 261 fail); the full path must be shorter.
    if (!lpFileName || !lpFindFileData || strlen(lpFileName) > MAX_PATH)
        return INVALID_HANDLE_VALUE;
    memset(lpFindFileData, 0, sizeof *lpFindFileData);
    char normalized[kStandInPathSize], unixPath[kStandInPathSize];
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
    char pattern[kStandInPathSize];
    TranslateFindPattern(mask, lpFileName[strlen(lpFileName) - 1] == '.', pattern, sizeof pattern);
    bool found = false;
    for (struct dirent *entry; !found && (entry = readdir(dir)) != nullptr;) {
        bool dots = strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0;
        char ansi[kStandInPathSize];
        found = !(dots && normalized[0] == 0) && UnixNameToAnsi(entry->d_name, ansi, sizeof ansi) &&
                MatchFindPattern(pattern, ansi);
    }
    closedir(dir);
    return found ? &gFindHandle : INVALID_HANDLE_VALUE;
}

BOOL FindClose(HANDLE hFindFile) {
    return hFindFile == &gFindHandle;
}
