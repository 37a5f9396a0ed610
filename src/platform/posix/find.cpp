// FindFirstFileA/FindClose: whether a path, or a pattern with '*' and '?' in
// its last component, names something, and the first entry it names.
//
// The pattern is translated as Windows' kernel32 does before the file system
// sees it: "*.*" is "*", '?' matches one character but may match none before
// a dot or at the end, '*' before a dot stops at the last dot, a dot before
// a wildcard or at the end also matches the end of the name. A pattern
// ending in a dot keeps that dot though the path loses it, so "*." names the
// entries without an extension. 8.3 short names do not exist here.
#include "platform/posix/dos_path.h"

#include <dirent.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

static const char kDosStar = '<';
static const char kDosQm = '>';
static const char kDosDot = '"';
static const unsigned kFindMagic = 0x46494E44;

struct FindHandle {
    unsigned magic;
};

static void TranslatePattern(const char *name, bool endsInDot, char *out, size_t outSize) {
    char raw[STANDIN_PATH_SIZE];
    size_t length = strlen(name);
    if (length + 2 > sizeof raw || length + 2 > outSize) {
        out[0] = 0;
        return;
    }
    memcpy(raw, name, length);
    if (endsInDot) {
        raw[length++] = '.';
    }
    raw[length] = 0;
    if (strcmp(raw, "*.*") == 0) {
        memcpy(out, "*", 2);
        return;
    }
    for (size_t i = 0; i < length; i++) {
        char c = raw[i];
        char next = raw[i + 1];
        if (c == '?') {
            c = kDosQm;
        } else if (c == '*' && next == '.') {
            c = kDosStar;
        } else if (c == '.' && (next == '?' || next == '*' || next == 0)) {
            c = kDosDot;
        }
        out[i] = c;
    }
    out[length] = 0;
}

struct MatchState {
    const unsigned char *expression;
    size_t expressionLength;
    const unsigned char *name;
    size_t nameLength;
    size_t lastDot; // nameLength when the name has no dot
    signed char *memo;
};

static bool MatchFrom(MatchState *state, size_t e, size_t n) {
    signed char *memo = &state->memo[e * (state->nameLength + 1) + n];
    if (*memo >= 0) {
        return *memo != 0;
    }
    bool result;
    size_t nameLength = state->nameLength;
    bool atEnd = (n == nameLength);
    unsigned char c = atEnd ? 0 : state->name[n];
    if (e == state->expressionLength) {
        result = atEnd;
    } else {
        switch (state->expression[e]) {
        case '*':
            result = MatchFrom(state, e + 1, n) || (!atEnd && MatchFrom(state, e, n + 1));
            break;
        case kDosStar:
            result = MatchFrom(state, e + 1, n) ||
                     (!atEnd && n != state->lastDot && MatchFrom(state, e, n + 1));
            break;
        case kDosQm:
            result =
                (atEnd || c == '.') ? MatchFrom(state, e + 1, n) : MatchFrom(state, e + 1, n + 1);
            break;
        case kDosDot:
            result =
                atEnd ? MatchFrom(state, e + 1, n) : (c == '.' && MatchFrom(state, e + 1, n + 1));
            break;
        default:
            result = !atEnd && Cp1252Upper(c) == Cp1252Upper(state->expression[e]) &&
                     MatchFrom(state, e + 1, n + 1);
            break;
        }
    }
    *memo = result ? 1 : 0;
    return result;
}

static bool MatchPattern(const char *expression, const char *name) {
    MatchState state;
    state.expression = (const unsigned char *)expression;
    state.expressionLength = strlen(expression);
    state.name = (const unsigned char *)name;
    state.nameLength = strlen(name);
    const char *dot = strrchr(name, '.');
    state.lastDot = dot != NULL ? (size_t)(dot - name) : state.nameLength;
    size_t cells = (state.expressionLength + 1) * (state.nameLength + 1);
    state.memo = (signed char *)malloc(cells);
    if (state.memo == NULL) {
        return false;
    }
    memset(state.memo, -1, cells);
    bool result = MatchFrom(&state, 0, 0);
    free(state.memo);
    return result;
}

// The order NTFS lists a folder in: "." and ".." first, then by upper case.
static int CompareEntries(const char *a, const char *b) {
    bool aDots = strcmp(a, ".") == 0 || strcmp(a, "..") == 0;
    bool bDots = strcmp(b, ".") == 0 || strcmp(b, "..") == 0;
    if (aDots || bDots) {
        return aDots && bDots ? strcmp(a, b) : (aDots ? -1 : 1);
    }
    for (size_t i = 0;; i++) {
        unsigned char ua = Cp1252Upper((unsigned char)a[i]);
        unsigned char ub = Cp1252Upper((unsigned char)b[i]);
        if (ua != ub) {
            return ua < ub ? -1 : 1;
        }
        if (ua == 0) {
            return strcmp(a, b);
        }
    }
}

static void ToFileTime(const struct timespec *time, FILETIME *fileTime) {
    // 100 ns steps since 1601-01-01.
    uint64_t ticks =
        ((uint64_t)time->tv_sec + 11644473600ULL) * 10000000ULL + (uint64_t)time->tv_nsec / 100;
    fileTime->dwLowDateTime = (DWORD)ticks;
    fileTime->dwHighDateTime = (DWORD)(ticks >> 32);
}

static void FillFindData(const char *unixFolder, const char *unixName, const char *ansiName,
                         LPWIN32_FIND_DATAA data) {
    char path[STANDIN_PATH_SIZE];
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
        data->nFileSizeHigh = (DWORD)((uint64_t)info.st_size >> 32);
        data->nFileSizeLow = (DWORD)info.st_size;
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

static HANDLE FailFind(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

static const size_t kMaxFindPathLength = 260;
static const DWORD ERROR_FILENAME_EXCED_RANGE = 206;

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    if (lpFindFileData == NULL) {
        return FailFind(ERROR_INVALID_PARAMETER);
    }
    // The ANSI call is held to MAX_PATH: Wine takes 260 characters and
    // refuses 261 (Windows unverified), so a long override keeps the default.
    if (lpFileName != NULL && strlen(lpFileName) > kMaxFindPathLength) {
        return FailFind(ERROR_FILENAME_EXCED_RANGE);
    }
    char normalized[STANDIN_PATH_SIZE];
    bool endsInSeparator = false;
    DWORD error = NormalizeDosPath(lpFileName, normalized, sizeof normalized, &endsInSeparator);
    if (error != 0) {
        return FailFind(error);
    }
    char unixPath[STANDIN_PATH_SIZE];
    DosLookup lookup;
    if (endsInSeparator || normalized[0] == 0) {
        // A trailing separator always fails: "not found" when the thing
        // exists, "path not found" when it does not.
        if (strpbrk(normalized, "*?") != NULL) {
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
    if (strpbrk(normalized, "*?") != NULL) {
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
    char pattern[STANDIN_PATH_SIZE];
    TranslatePattern(mask, lpFileName[inputLength - 1] == '.', pattern, sizeof pattern);

    DIR *dir = opendir(unixPath);
    if (dir == NULL) {
        return FailFind(ERROR_ACCESS_DENIED);
    }
    bool isRoot = normalized[0] == 0;
    char bestUnix[STANDIN_PATH_SIZE];
    char bestAnsi[STANDIN_PATH_SIZE];
    bool found = false;
    struct dirent *entry;
    while ((entry = readdir(dir)) != NULL) {
        bool dots = strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0;
        char ansi[STANDIN_PATH_SIZE];
        if ((dots && isRoot) || strlen(entry->d_name) >= sizeof bestUnix ||
            !UnixNameToAnsi(entry->d_name, ansi, sizeof ansi) || !MatchPattern(pattern, ansi)) {
            continue;
        }
        if (!found || CompareEntries(ansi, bestAnsi) < 0) {
            memcpy(bestUnix, entry->d_name, strlen(entry->d_name) + 1); // lengths checked above
            memcpy(bestAnsi, ansi, strlen(ansi) + 1);
            found = true;
        }
    }
    closedir(dir);
    if (!found) {
        return FailFind(ERROR_FILE_NOT_FOUND);
    }

    FindHandle *handle = (FindHandle *)malloc(sizeof *handle);
    if (handle == NULL) {
        return FailFind(ERROR_NOT_ENOUGH_MEMORY);
    }
    handle->magic = kFindMagic;
    FillFindData(unixPath, bestUnix, bestAnsi, lpFindFileData);
    return handle;
}

BOOL FindClose(HANDLE hFindFile) {
    FindHandle *handle = (FindHandle *)hFindFile;
    if (handle == NULL || hFindFile == INVALID_HANDLE_VALUE || handle->magic != kFindMagic) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    handle->magic = 0;
    free(handle);
    return TRUE;
}
