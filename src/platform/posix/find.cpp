// FindFirstFileA/FindClose: whether a path, or a pattern with '*' and '?' in
// its last component, names something, and the first entry it names.
//
// The pattern rules are in find_pattern.cpp; 8.3 short names do not exist here.
//
// A device name (NUL, CON, COM1, "nul.arx", "<folder>\NUL") is found in any
// folder that exists, as Wine finds it (Windows unverified).
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

void ToFileTime(const struct timespec *time, FILETIME *fileTime) {
    // 100 ns steps since 1601-01-01.
    uint64_t ticks = (static_cast<uint64_t>(time->tv_sec) + 11644473600ULL) * 10000000ULL +
                     static_cast<uint64_t>(time->tv_nsec) / 100;
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

void FillFindData(const char *unixFolder, const char *unixName, const char *ansiName,
                  LPWIN32_FIND_DATAA data) {
    char path[kStandInPathSize];
    struct stat info;
    memset(data, 0, sizeof *data);
    memset(&info, 0, sizeof info);
    size_t folderLength = strcmp(unixFolder, "/") == 0 ? 0 : strlen(unixFolder);
    size_t nameLength = strlen(unixName);
    if (folderLength + 1 + nameLength < sizeof path) {
        memcpy(path, unixFolder, folderLength);
        path[folderLength] = '/';
        memcpy(path + folderLength + 1, unixName, nameLength + 1);
        if (stat(path, &info) != 0 && lstat(path, &info) != 0) {
            memset(&info, 0, sizeof info);
        }
    }
    if (S_ISDIR(info.st_mode)) {
        data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        data->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
        data->nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(info.st_size) >> 32);
        data->nFileSizeLow = static_cast<DWORD>(info.st_size);
    }
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        data->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    }
    ToFileTime(&info.st_ctim, &data->ftCreationTime);
    ToFileTime(&info.st_atim, &data->ftLastAccessTime);
    ToFileTime(&info.st_mtim, &data->ftLastWriteTime);
    // A Unix name may be longer than any Windows name; it is cut.
    size_t ansiLength = strlen(ansiName);
    if (ansiLength >= sizeof data->cFileName) {
        ansiLength = sizeof data->cFileName - 1;
    }
    memcpy(data->cFileName, ansiName, ansiLength);
    data->cFileName[ansiLength] = 0;
}

HANDLE FailFind(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE NewFindHandle() {
    FindHandle *handle = static_cast<FindHandle *>(malloc(sizeof *handle));
    if (handle == nullptr) {
        return FailFind(ERROR_NOT_ENOUGH_MEMORY);
    }
    handle->magic = kFindMagic;
    return handle;
}

// The device name the last component of path is, before any extension,
// ':' or trailing blanks (e.g. "nul" of "Z:\x\nul .arx"): its length, and
// where it starts in *name; 0 when it is none.
size_t DeviceNameLength(const char *path, const char **name) {
    if (path[0] == '\\' && path[1] == '\\') {
        return 0; // "\\?\", "\\.\" and UNC paths name no DOS device
    }
    const char *start = path[0] != 0 && path[1] == ':' ? path + 2 : path;
    for (const char *p = start; *p != 0; p++) {
        if (*p == '\\' || *p == '/') {
            start = p + 1;
        }
    }
    size_t length = strcspn(start, ".:");
    while (length > 0 && start[length - 1] == ' ') {
        length--;
    }
    *name = start;
    const char *const fixed[] = {"AUX", "CON", "NUL", "PRN", "CONIN$", "CONOUT$"};
    for (const char *device : fixed) {
        if (length == strlen(device) && strncasecmp(start, device, length) == 0) {
            return length;
        }
    }
    bool numbered =
        length == 4 && (strncasecmp(start, "COM", 3) == 0 || strncasecmp(start, "LPT", 3) == 0);
    return numbered && start[3] >= '1' && start[3] <= '9' ? 4 : 0;
}

// FindFirstFileA of a device name: found when its folder exists.
HANDLE FindDevice(const char *path, const char *name, size_t length, LPWIN32_FIND_DATAA data) {
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
    DWORD error = LookUpDosPath(folder, unixPath, sizeof unixPath, &lookup);
    struct stat info;
    if (error != 0 || lookup != kDosFound || stat(unixPath, &info) != 0 || !S_ISDIR(info.st_mode)) {
        return FailFind(error != 0 ? error : ERROR_PATH_NOT_FOUND);
    }
    memset(data, 0, sizeof *data);
    memcpy(data->cFileName, name, length); // at most 7 characters
    data->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    return NewFindHandle();
}

const size_t kMaxFindPathLength = 260;

} // namespace

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    if (lpFindFileData == nullptr) {
        return FailFind(ERROR_INVALID_PARAMETER);
    }
    // The ANSI call takes at most MAX_PATH characters (Wine: 261 fail), and
    // the full path must be shorter (NormalizeDosPath), so a long override
    // keeps the default.
    if (lpFileName != nullptr && strlen(lpFileName) > kMaxFindPathLength) {
        return FailFind(kErrorFilenameExcedRange);
    }
    const char *deviceName = nullptr;
    size_t deviceLength = lpFileName != nullptr ? DeviceNameLength(lpFileName, &deviceName) : 0;
    if (deviceLength > 0) {
        return FindDevice(lpFileName, deviceName, deviceLength, lpFindFileData);
    }
    char normalized[kStandInPathSize];
    bool endsInSeparator = false;
    DWORD error = NormalizeDosPath(lpFileName, normalized, sizeof normalized, &endsInSeparator);
    if (error != 0) {
        return FailFind(error);
    }
    char unixPath[kStandInPathSize];
    DosLookup lookup;
    if (endsInSeparator || normalized[0] == 0) {
        // A trailing separator always fails: "not found" when the thing
        // exists, "path not found" when it does not.
        if (strpbrk(normalized, "*?") != nullptr) {
            return FailFind(ERROR_INVALID_NAME);
        }
        if (!ResolveNormalizedPath(normalized, unixPath, sizeof unixPath, &lookup)) {
            return FailFind(ERROR_BAD_PATHNAME);
        }
        return FailFind(lookup == kDosFound ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    }

    char *lastSeparator = strrchr(normalized, '\\');
    *lastSeparator = 0;
    const char *mask = lastSeparator + 1;
    if (strpbrk(normalized, "*?") != nullptr) {
        return FailFind(ERROR_INVALID_NAME);
    }
    if (!ResolveNormalizedPath(normalized, unixPath, sizeof unixPath, &lookup)) {
        return FailFind(ERROR_BAD_PATHNAME);
    }
    struct stat folderInfo;
    if (lookup == kDosFolderIsFile ||
        (lookup == kDosFound && stat(unixPath, &folderInfo) == 0 && !S_ISDIR(folderInfo.st_mode))) {
        return FailFind(ERROR_INVALID_NAME); // what Wine answers; Windows is not known
    }
    if (lookup != kDosFound) {
        return FailFind(ERROR_PATH_NOT_FOUND);
    }
    size_t inputLength = strlen(lpFileName);
    char pattern[kStandInPathSize];
    TranslateFindPattern(mask, lpFileName[inputLength - 1] == '.', pattern, sizeof pattern);

    DIR *dir = opendir(unixPath);
    if (dir == nullptr) {
        return FailFind(ERROR_ACCESS_DENIED);
    }
    bool isRoot = normalized[0] == 0;
    char bestUnix[kStandInPathSize];
    char bestAnsi[kStandInPathSize];
    bool found = false;
    struct dirent *entry;
    while ((entry = readdir(dir)) != nullptr) {
        bool dots = strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0;
        char ansi[kStandInPathSize];
        if ((dots && isRoot) || strlen(entry->d_name) >= sizeof bestUnix ||
            !UnixNameToAnsi(entry->d_name, ansi, sizeof ansi) || !MatchFindPattern(pattern, ansi)) {
            continue;
        }
        if (!found || CompareFindEntries(ansi, bestAnsi) < 0) {
            memcpy(bestUnix, entry->d_name, strlen(entry->d_name) + 1); // lengths checked above
            memcpy(bestAnsi, ansi, strlen(ansi) + 1);
            found = true;
        }
    }
    closedir(dir);
    if (!found) {
        return FailFind(ERROR_FILE_NOT_FOUND);
    }

    FillFindData(unixPath, bestUnix, bestAnsi, lpFindFileData);
    return NewFindHandle();
}

BOOL FindClose(HANDLE hFindFile) {
    FindHandle *handle = static_cast<FindHandle *>(hFindFile);
    if (handle == nullptr || hFindFile == INVALID_HANDLE_VALUE || handle->magic != kFindMagic) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    handle->magic = 0;
    free(handle);
    return TRUE;
}
