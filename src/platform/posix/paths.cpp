// DOS paths over the Unix file system, as Wine presents it: Z:\ is "/".
#include "platform/posix/dos_path.h"

#include <dirent.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsInvalidNameChar(unsigned char c) {
    return c < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|';
}

} // namespace

DWORD NormalizeDosPath(const char *dosPath, char *out, size_t outSize, bool *endsInSeparator) {
    if (endsInSeparator != nullptr)
        *endsInSeparator = false;
    if (outSize == 0)
        return ERROR_BAD_PATHNAME;
    out[0] = 0;
    if (dosPath == nullptr || dosPath[0] == 0)
        return ERROR_PATH_NOT_FOUND;
    const char *rest = dosPath;
    if (dosPath[1] == ':') {
        if (dosPath[0] != 'Z' && dosPath[0] != 'z') {
            return ERROR_PATH_NOT_FOUND; // the only drive there is
        }
        rest = dosPath + 2;
    } else if (IsSeparator(dosPath[0]) && IsSeparator(dosPath[1])) {
        return ERROR_PATH_NOT_FOUND; // UNC paths, "\\?\" and "\\.\" lead nowhere here
    }

    size_t used = 0;
    if (!IsSeparator(rest[0])) {
        // Relative (also "Z:name"): from the current directory, which is on Z:.
        char cwd[kStandInPathSize];
        char cwdDos[kStandInPathSize];
        if (getcwd(cwd, sizeof cwd) == nullptr || !UnixPathToDos(cwd, cwdDos, sizeof cwdDos))
            return ERROR_BAD_PATHNAME;
        const char *base = cwdDos + 2; // past "Z:"
        if (strcmp(base, "\\") != 0 && !AppendBytes(out, outSize, &used, base, strlen(base)))
            return ERROR_BAD_PATHNAME;
    }

    const char *p = rest;
    while (*p != 0) {
        while (IsSeparator(*p))
            p++;
        const char *start = p;
        while (*p != 0 && !IsSeparator(*p))
            p++;
        size_t length = static_cast<size_t>(p - start);
        bool last = (*p == 0);
        bool dots =
            (length == 1 && start[0] == '.') || (length == 2 && start[0] == '.' && start[1] == '.');
        if (length == 0)
            break;
        if (length == 1 && start[0] == '.')
            continue;
        if (dots) {
            while (used > 0 && out[used - 1] != '\\')
                used--;
            if (used > 0) {
                used--; // the separator before the dropped component
            }
            out[used] = 0;
            continue;
        }
        for (size_t i = 0; i < length; i++) {
            if (IsInvalidNameChar(static_cast<unsigned char>(start[i])))
                return ERROR_INVALID_NAME;
        }
        if (last) {
            while (length > 0 && (start[length - 1] == '.' || start[length - 1] == ' '))
                length--;
            if (length == 0)
                break;
        } else if (start[length - 1] == '.') {
            length--;
        }
        if (!AppendBytes(out, outSize, &used, "\\", 1) ||
            !AppendBytes(out, outSize, &used, start, length)) {
            return ERROR_BAD_PATHNAME;
        }
    }
    // "Z:" and the path, or "Z:\" for the root, and the NUL must fit MAX_PATH.
    if (2 + (used == 0 ? 1 : used) >= MAX_PATH) {
        out[0] = 0;
        return kErrorFilenameExcedRange;
    }
    if (endsInSeparator != nullptr) {
        size_t length = strlen(dosPath);
        *endsInSeparator = IsSeparator(dosPath[length - 1]);
    }
    return 0;
}

namespace {

bool IsDirectory(const char *unixPath) {
    struct stat info;
    return stat(unixPath, &info) == 0 && S_ISDIR(info.st_mode);
}

// Finds the entry of folder that matches an ANSI name without regard to
// case; of several, the one that sorts first, so the answer does not depend
// on the order of the folder. A name cp1252 cannot hold shows a '?' in the
// ANSI calls, and Windows never finds a file by that '?'.
bool FindEntryNoCase(const char *folder, const char *name, size_t nameLength, char *found,
                     size_t foundSize) {
    DIR *dir = opendir(folder[0] != 0 ? folder : "/");
    if (dir == nullptr)
        return false;
    bool any = false;
    struct dirent *entry;
    while ((entry = readdir(dir)) != nullptr) {
        char ansi[kStandInPathSize];
        bool lossy = false;
        if (!UnixNameToAnsi(entry->d_name, ansi, sizeof ansi, &lossy) || lossy ||
            !Cp1252EqualNoCase(ansi, strlen(ansi), name, nameLength)) {
            continue;
        }
        if (strlen(entry->d_name) >= foundSize)
            continue;
        if (!any || strcmp(entry->d_name, found) < 0) {
            memcpy(found, entry->d_name, strlen(entry->d_name) + 1); // length checked above
            any = true;
        }
    }
    closedir(dir);
    return any;
}

// Appends "/" and name to unixPath at folderEnd.
bool AppendComponent(char *unixPath, size_t unixSize, size_t *used, size_t folderEnd,
                     const char *name) {
    *used = folderEnd;
    return AppendBytes(unixPath, unixSize, used, "/", 1) &&
           AppendBytes(unixPath, unixSize, used, name, strlen(name));
}

} // namespace

bool ResolveNormalizedPath(const char *normalized, char *unixPath, size_t unixSize,
                           DosLookup *lookup) {
    size_t used = 0;
    if (unixSize < 2)
        return false;
    unixPath[0] = 0;
    *lookup = kDosFound;
    const char *p = normalized;
    while (*p != 0) {
        p++; // the separator
        const char *start = p;
        while (*p != 0 && *p != '\\')
            p++;
        size_t length = static_cast<size_t>(p - start);
        bool last = (*p == 0);
        char wanted[kStandInPathSize];
        char name[kStandInPathSize];
        size_t folderEnd = used;
        if (!AnsiNameToUnix(start, length, wanted, sizeof wanted) ||
            !AppendComponent(unixPath, unixSize, &used, folderEnd, wanted)) {
            return false;
        }
        struct stat info;
        if (stat(unixPath, &info) != 0) {
            unixPath[folderEnd] = 0;
            bool found = FindEntryNoCase(unixPath, start, length, name, sizeof name);
            if (!AppendComponent(unixPath, unixSize, &used, folderEnd, found ? name : wanted))
                return false;
            if (!found) {
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
    // Only FindFirstFileA takes "*" and "?", as patterns; Windows' other ANSI
    // calls refuse them, so a Unix folder named "Q?x" is no program folder.
    if (strpbrk(dosPath, "*?") != nullptr)
        return ERROR_INVALID_NAME;
    char normalized[kStandInPathSize];
    DWORD error = NormalizeDosPath(dosPath, normalized, sizeof normalized, nullptr);
    if (error != 0)
        return error;
    if (!ResolveNormalizedPath(normalized, unixPath, unixSize, lookup))
        return ERROR_BAD_PATHNAME;
    return 0;
}
