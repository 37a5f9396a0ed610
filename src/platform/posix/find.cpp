// FindFirstFileA/FindClose: whether a path, or a pattern with '*' and '?' in
// its last component, names something. Only that is answered: the find data
// is left zeroed, and no error code is kept.
//
// The pattern rules are in find_pattern.cpp; 8.3 short names do not exist here.
// A device name (NUL, CON, COM1, "nul.arx", "<folder>\NUL") is found in any
// folder that exists, as Wine finds it (Windows unverified). "\\?\", "\\.\"
// and UNC paths are found nowhere.
#include "platform/posix/dos_path.h"

#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

namespace {

const unsigned kFindMagic = 0x46494E44;

struct FindHandle {
    unsigned magic;
};

HANDLE NewFindHandle() {
    FindHandle *handle = static_cast<FindHandle *>(malloc(sizeof *handle));
    if (handle == nullptr)
        return INVALID_HANDLE_VALUE;
    handle->magic = kFindMagic;
    return handle;
}

// The device name the last component of path is, before any extension,
// ':' or trailing blanks (e.g. "nul" of "Z:\x\nul .arx"): its length, and
// where it starts in *name; 0 when it is none.
size_t DeviceNameLength(const char *path, const char **name) {
    const char *start = path[0] != 0 && path[1] == ':' ? path + 2 : path;
    for (const char *p = start; *p != 0; p++) {
        if (*p == '\\' || *p == '/')
            start = p + 1;
    }
    size_t length = strcspn(start, ".:");
    while (length > 0 && start[length - 1] == ' ')
        length--;
    *name = start;
    const char *const fixed[] = {"AUX", "CON", "NUL", "PRN", "CONIN$", "CONOUT$"};
    for (const char *device : fixed) {
        if (length == strlen(device) && strncasecmp(start, device, length) == 0)
            return length;
    }
    bool numbered =
        length == 4 && (strncasecmp(start, "COM", 3) == 0 || strncasecmp(start, "LPT", 3) == 0);
    return numbered && start[3] >= '1' && start[3] <= '9' ? 4 : 0;
}

// FindFirstFileA of a device name: found when its folder exists.
HANDLE FindDevice(const char *path, const char *name) {
    char folder[MAX_PATH + 1];
    size_t folderLength = static_cast<size_t>(name - path);
    if (folderLength == 0) {
        memcpy(folder, ".", 2);
    } else {
        memcpy(folder, path, folderLength); // path is at most MAX_PATH characters
        folder[folderLength] = 0;
    }
    char unixPath[kStandInPathSize];
    DosLookup lookup;
    struct stat info;
    if (LookUpDosPath(folder, unixPath, sizeof unixPath, &lookup) != 0 || lookup != kDosFound ||
        stat(unixPath, &info) != 0 || !S_ISDIR(info.st_mode)) {
        return INVALID_HANDLE_VALUE;
    }
    return NewFindHandle();
}

const size_t kMaxFindPathLength = 260;

} // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    // The ANSI call takes at most MAX_PATH characters (Wine: 261 fail), and
    // the full path must be shorter (NormalizeDosPath).
    if (lpFileName == nullptr || lpFindFileData == nullptr ||
        strlen(lpFileName) > kMaxFindPathLength) {
        return INVALID_HANDLE_VALUE;
    }
    memset(lpFindFileData, 0, sizeof *lpFindFileData);
    const char *deviceName = nullptr;
    if (DeviceNameLength(lpFileName, &deviceName) > 0)
        return FindDevice(lpFileName, deviceName);
    // A trailing separator never names an entry; wildcards only in the last
    // component.
    char normalized[kStandInPathSize];
    bool endsInSeparator = false;
    if (NormalizeDosPath(lpFileName, normalized, sizeof normalized, &endsInSeparator) != 0 ||
        endsInSeparator || normalized[0] == 0) {
        return INVALID_HANDLE_VALUE;
    }
    char *lastSeparator = strrchr(normalized, '\\');
    *lastSeparator = 0;
    const char *mask = lastSeparator + 1;
    char unixPath[kStandInPathSize];
    DosLookup lookup;
    struct stat folderInfo;
    if (strpbrk(normalized, "*?") != nullptr ||
        !ResolveNormalizedPath(normalized, unixPath, sizeof unixPath, &lookup) ||
        lookup != kDosFound || stat(unixPath, &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode)) {
        return INVALID_HANDLE_VALUE;
    }
    char pattern[kStandInPathSize];
    TranslateFindPattern(mask, lpFileName[strlen(lpFileName) - 1] == '.', pattern, sizeof pattern);
    DIR *dir = opendir(unixPath);
    if (dir == nullptr)
        return INVALID_HANDLE_VALUE;
    bool isRoot = normalized[0] == 0;
    bool found = false;
    struct dirent *entry;
    while (!found && (entry = readdir(dir)) != nullptr) {
        bool dots = strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0;
        char ansi[kStandInPathSize];
        found = !(dots && isRoot) && UnixNameToAnsi(entry->d_name, ansi, sizeof ansi) &&
                MatchFindPattern(pattern, ansi);
    }
    closedir(dir);
    return found ? NewFindHandle() : INVALID_HANDLE_VALUE;
}

BOOL FindClose(HANDLE hFindFile) {
    FindHandle *handle = static_cast<FindHandle *>(hFindFile);
    if (handle == nullptr || hFindFile == INVALID_HANDLE_VALUE || handle->magic != kFindMagic)
        return FALSE;
    handle->magic = 0;
    free(handle);
    return TRUE;
}
