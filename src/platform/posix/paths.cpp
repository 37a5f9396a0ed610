// DOS paths over the Unix file system, as Wine presents it: Z:\ is "/".
#include "platform/posix/dos_path.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const DWORD kErrorBadNetPath = 53;

static bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Appends length bytes and a NUL at *used; false when they do not fit.
static bool Append(char *out, size_t outSize, size_t *used, const char *text, size_t length) {
    if (*used + length >= outSize) {
        return false;
    }
    memcpy(out + *used, text, length);
    *used += length;
    out[*used] = 0;
    return true;
}

static bool IsInvalidNameChar(unsigned char c) {
    return c < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|';
}

DWORD NormalizeDosPath(const char *dosPath, char *out, size_t outSize, bool *endsInSeparator) {
    if (endsInSeparator != NULL) {
        *endsInSeparator = false;
    }
    if (outSize == 0) {
        return ERROR_BAD_PATHNAME;
    }
    out[0] = 0;
    if (dosPath == NULL || dosPath[0] == 0) {
        return ERROR_PATH_NOT_FOUND;
    }
    const char *rest = dosPath;
    if (dosPath[1] == ':') {
        if (dosPath[0] != 'Z' && dosPath[0] != 'z') {
            return ERROR_PATH_NOT_FOUND; // the only drive there is
        }
        rest = dosPath + 2;
    } else if (IsSeparator(dosPath[0]) && IsSeparator(dosPath[1])) {
        return kErrorBadNetPath; // UNC and device paths lead nowhere here
    }

    size_t used = 0;
    if (!IsSeparator(rest[0])) {
        // Relative (also "Z:name"): from the current directory, which is on Z:.
        char cwd[STANDIN_PATH_SIZE];
        char cwdDos[STANDIN_PATH_SIZE];
        if (getcwd(cwd, sizeof cwd) == NULL || !UnixPathToDos(cwd, cwdDos, sizeof cwdDos)) {
            return ERROR_BAD_PATHNAME;
        }
        const char *base = cwdDos + 2; // past "Z:"
        if (strcmp(base, "\\") != 0 && !Append(out, outSize, &used, base, strlen(base))) {
            return ERROR_BAD_PATHNAME;
        }
    }

    const char *p = rest;
    while (*p != 0) {
        while (IsSeparator(*p)) {
            p++;
        }
        const char *start = p;
        while (*p != 0 && !IsSeparator(*p)) {
            p++;
        }
        size_t length = (size_t)(p - start);
        if (length == 0) {
            break;
        }
        bool last = (*p == 0);
        if (length == 1 && start[0] == '.') {
            continue;
        }
        if (length == 2 && start[0] == '.' && start[1] == '.') {
            while (used > 0 && out[used - 1] != '\\') {
                used--;
            }
            if (used > 0) {
                used--; // the separator before the dropped component
            }
            out[used] = 0;
            continue;
        }
        for (size_t i = 0; i < length; i++) {
            if (IsInvalidNameChar((unsigned char)start[i])) {
                return ERROR_INVALID_NAME;
            }
        }
        if (last) {
            while (length > 0 && (start[length - 1] == '.' || start[length - 1] == ' ')) {
                length--;
            }
            if (length == 0) {
                break;
            }
        } else if (start[length - 1] == '.') {
            length--;
        }
        if (!Append(out, outSize, &used, "\\", 1) || !Append(out, outSize, &used, start, length)) {
            return ERROR_BAD_PATHNAME;
        }
    }
    if (endsInSeparator != NULL) {
        size_t length = strlen(dosPath);
        *endsInSeparator = IsSeparator(dosPath[length - 1]);
    }
    return 0;
}

static bool IsDirectory(const char *unixPath) {
    struct stat info;
    return stat(unixPath, &info) == 0 && S_ISDIR(info.st_mode);
}

// Finds the entry of folder that matches an ANSI name without regard to
// case; of several, the one that sorts first, so the answer does not depend
// on the order of the folder.
static bool FindEntryNoCase(const char *folder, const char *name, size_t nameLength, char *found,
                            size_t foundSize) {
    DIR *dir = opendir(folder[0] != 0 ? folder : "/");
    if (dir == NULL) {
        return false;
    }
    bool any = false;
    struct dirent *entry;
    while ((entry = readdir(dir)) != NULL) {
        char ansi[STANDIN_PATH_SIZE];
        if (!UnixNameToAnsi(entry->d_name, ansi, sizeof ansi) ||
            !Cp1252EqualNoCase(ansi, strlen(ansi), name, nameLength)) {
            continue;
        }
        if (strlen(entry->d_name) >= foundSize) {
            continue;
        }
        if (!any || strcmp(entry->d_name, found) < 0) {
            memcpy(found, entry->d_name, strlen(entry->d_name) + 1); // length checked above
            any = true;
        }
    }
    closedir(dir);
    return any;
}

bool ResolveNormalizedPath(const char *normalized, char *unixPath, size_t unixSize,
                           DosLookup *lookup) {
    size_t used = 0;
    if (unixSize < 2) {
        return false;
    }
    unixPath[0] = 0;
    *lookup = kDosFound;
    const char *p = normalized;
    while (*p != 0) {
        p++; // the separator
        const char *start = p;
        while (*p != 0 && *p != '\\') {
            p++;
        }
        size_t length = (size_t)(p - start);
        bool last = (*p == 0);
        char wanted[STANDIN_PATH_SIZE];
        char name[STANDIN_PATH_SIZE];
        if (!AnsiNameToUnix(start, length, wanted, sizeof wanted)) {
            return false;
        }
        size_t folderEnd = used;
        if (!Append(unixPath, unixSize, &used, "/", 1) ||
            !Append(unixPath, unixSize, &used, wanted, strlen(wanted))) {
            return false;
        }
        struct stat info;
        if (stat(unixPath, &info) != 0) {
            unixPath[folderEnd] = 0;
            if (FindEntryNoCase(unixPath, start, length, name, sizeof name)) {
                used = folderEnd;
                if (!Append(unixPath, unixSize, &used, "/", 1) ||
                    !Append(unixPath, unixSize, &used, name, strlen(name))) {
                    return false;
                }
            } else {
                used = folderEnd;
                if (!Append(unixPath, unixSize, &used, "/", 1) ||
                    !Append(unixPath, unixSize, &used, wanted, strlen(wanted))) {
                    return false;
                }
                *lookup = last ? kDosLastMissing : kDosFolderMissing;
                return true;
            }
        }
        if (!last && !IsDirectory(unixPath)) {
            *lookup = kDosFolderIsFile;
            return true;
        }
    }
    if (used == 0) {
        memcpy(unixPath, "/", 2); // unixSize >= 2 checked above
    }
    return true;
}

DWORD LookUpDosPath(const char *dosPath, char *unixPath, size_t unixSize, DosLookup *lookup) {
    char normalized[STANDIN_PATH_SIZE];
    DWORD error = NormalizeDosPath(dosPath, normalized, sizeof normalized, NULL);
    if (error != 0) {
        return error;
    }
    if (!ResolveNormalizedPath(normalized, unixPath, unixSize, lookup)) {
        return ERROR_BAD_PATHNAME;
    }
    return 0;
}

bool UnixPathToDos(const char *unixPath, char *out, size_t outSize) {
    char absolute[STANDIN_PATH_SIZE];
    size_t length = 0;
    absolute[0] = 0;
    if (unixPath[0] != '/') {
        if (getcwd(absolute, sizeof absolute) == NULL) {
            return false;
        }
        length = strlen(absolute);
        if (!Append(absolute, sizeof absolute, &length, "/", 1)) {
            return false;
        }
    }
    if (!Append(absolute, sizeof absolute, &length, unixPath, strlen(unixPath))) {
        return false;
    }

    size_t used = 0;
    if (outSize > 0) {
        out[0] = 0;
    }
    if (!Append(out, outSize, &used, "Z:", 2)) {
        return false;
    }
    char *p = absolute;
    while (*p != 0) {
        while (*p == '/') {
            p++;
        }
        char *start = p;
        while (*p != 0 && *p != '/') {
            p++;
        }
        size_t componentLength = (size_t)(p - start);
        if (componentLength == 0 || (componentLength == 1 && start[0] == '.')) {
            continue;
        }
        if (componentLength == 2 && start[0] == '.' && start[1] == '.') {
            while (used > 2 && out[used - 1] != '\\') {
                used--;
            }
            if (used > 2) {
                used--;
            }
            out[used] = 0;
            continue;
        }
        char saved = *p;
        *p = 0;
        char ansi[STANDIN_PATH_SIZE];
        bool converted = UnixNameToAnsi(start, ansi, sizeof ansi);
        *p = saved;
        if (!converted || !Append(out, outSize, &used, "\\", 1) ||
            !Append(out, outSize, &used, ansi, strlen(ansi))) {
            return false;
        }
    }
    if (used == 2) {
        return Append(out, outSize, &used, "\\", 1);
    }
    return true;
}
