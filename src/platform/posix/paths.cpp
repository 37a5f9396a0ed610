// DOS paths over the Unix tree, as Wine presents it: Z:\ is "/", and text
// streams opened by them. Appending stores each "\n" as CR LF, as msvcrt's
// text mode does, through stdio's buffer; reading ("r" or "rb") leaves CR LF.
#include "platform/posix/dos_path.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Drops the last "\name" of a DOS path, never below floor (for "..").
void DropLast(char *out, size_t *used, size_t floor) {
    while (*used > floor && out[--*used] != '\\') {
    }
    out[*used] = 0;
}

ssize_t WriteTranslated(void *cookie, const char *data, size_t size) {
    std::string block; // one write per buffer, as msvcrt's, not one per line
    for (size_t i = 0; i < size; ++i)
        block += data[i] == '\n' ? "\r\n" : std::string(1, data[i]);
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(cookie));
    return WriteFully(fd, block.data(), block.size()) ? static_cast<ssize_t>(size) : 0;
}

int CloseFile(void *cookie) {
    return close(static_cast<int>(reinterpret_cast<intptr_t>(cookie)));
}

} // namespace

DWORD NormalizeDosPath(const char *dosPath, char *out, size_t outSize, bool *endsInSeparator) {
    if (endsInSeparator)
        *endsInSeparator = false;
    if (outSize == 0)
        return ERROR_BAD_PATHNAME;
    out[0] = 0;
    // Z: is the only drive; UNC paths, "\\?\" and "\\.\" lead nowhere here.
    if (!dosPath || !dosPath[0] || (dosPath[1] == ':' && (dosPath[0] | 0x20) != 'z') ||
        (IsSeparator(dosPath[0]) && IsSeparator(dosPath[1])))
        return ERROR_PATH_NOT_FOUND;
    const char *p = dosPath[1] == ':' ? dosPath + 2 : dosPath;
    size_t used = 0;
    if (!IsSeparator(*p)) { // relative, also "Z:name": from the current folder
        char cwd[kSimulationPathSize], cwdDos[kSimulationPathSize];
        if (!getcwd(cwd, sizeof cwd) || !UnixPathToDos(cwd, cwdDos, sizeof cwdDos) ||
            (strcmp(cwdDos, "Z:\\") != 0 &&
             !AppendBytes(out, outSize, &used, cwdDos + 2, strlen(cwdDos + 2))))
            return ERROR_BAD_PATHNAME;
    }
    while (*p != 0) {
        while (IsSeparator(*p))
            p++;
        const char *start = p;
        while (*p != 0 && !IsSeparator(*p))
            p++;
        size_t length = static_cast<size_t>(p - start);
        if (length == 0)
            break;
        if (start[0] == '.' && (length == 1 || (length == 2 && start[1] == '.'))) {
            if (length == 2)
                DropLast(out, &used, 0);
            continue;
        }
        for (size_t i = 0; i < length; i++)
            if (static_cast<unsigned char>(start[i]) < 0x20 || strchr("<>:\"|", start[i]))
                return ERROR_INVALID_NAME;
        if (*p != 0 && start[length - 1] == '.')
            length--; // one trailing dot of a folder, all dots and blanks of the last name
        while (*p == 0 && length > 0 && (start[length - 1] == '.' || start[length - 1] == ' '))
            length--;
        if (length == 0)
            break;
        if (!AppendBytes(out, outSize, &used, "\\", 1) ||
            !AppendBytes(out, outSize, &used, start, length))
            return ERROR_BAD_PATHNAME;
    }
    // "Z:" and the path, or "Z:\" for the root, and the NUL must fit MAX_PATH.
    if (2 + (used == 0 ? 1 : used) >= MAX_PATH) {
        out[0] = 0;
        return kErrorFilenameExcedRange;
    }
    if (endsInSeparator)
        *endsInSeparator = IsSeparator(dosPath[strlen(dosPath) - 1]);
    return 0;
}

bool UnixPathToDos(const char *unixPath, char *out, size_t outSize, bool keepNames) {
    char cwd[kSimulationPathSize] = "", absolute[2 * kSimulationPathSize];
    size_t used = 0;
    if ((unixPath[0] != '/' && !getcwd(cwd, sizeof cwd)) ||
        snprintf(absolute, sizeof absolute, "%s/%s", cwd, unixPath) >= int{sizeof absolute} ||
        !AppendBytes(out, outSize, &used, "Z:", 2))
        return false;
    char *save = nullptr;
    for (char *name = strtok_r(absolute, "/", &save); name; name = strtok_r(nullptr, "/", &save)) {
        char ansi[kSimulationPathSize];
        if (strcmp(name, "..") == 0)
            DropLast(out, &used, 2);
        else if (strcmp(name, ".") != 0 &&
                 ((!keepNames && !UnixNameToAnsi(name, ansi, sizeof ansi)) ||
                  !AppendBytes(out, outSize, &used, "\\", 1) ||
                  !AppendBytes(out, outSize, &used, keepNames ? name : ansi,
                               strlen(keepNames ? name : ansi))))
            return false;
    }
    return used > 2 || AppendBytes(out, outSize, &used, "\\", 1);
}

bool WriteFully(int fd, const char *data, size_t length) {
    for (ssize_t n = 0; length > 0; data += n, length -= static_cast<size_t>(n)) {
        n = write(fd, data, length);
        if (n <= 0 && (n == 0 || errno != EINTR))
            return false;
        n = n < 0 ? 0 : n;
    }
    return true;
}

int OpenRegularFile(const char *unixPath, int flags) {
    int fd = open(unixPath, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        errno = errno == EISDIR || errno == ENXIO ? EACCES : errno; // a folder, an unread FIFO
        return -1;
    }
    struct stat info;
    int status = fcntl(fd, F_GETFL);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || status < 0 ||
        fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        close(fd);
        errno = EACCES; // what msvcrt reports for a folder
        return -1;
    }
    return fd;
}

namespace {

// The entry of folder that is name, case aside (of several, the first in
// sort order); a name cp1252 shows with a '?' is found by no ANSI name.
bool FindEntryNoCase(const char *folder, const char *name, size_t nameLength, char *found,
                     size_t foundSize) {
    DIR *dir = opendir(folder[0] != 0 ? folder : "/");
    if (dir == nullptr)
        return false;
    bool any = false;
    for (struct dirent *entry; (entry = readdir(dir)) != nullptr;) {
        char ansi[kSimulationPathSize];
        bool lossy = false, same = UnixNameToAnsi(entry->d_name, ansi, sizeof ansi, &lossy) &&
                                   !lossy && strlen(ansi) == nameLength;
        for (size_t i = 0; same && i < nameLength; i++)
            same = Cp1252Upper(static_cast<unsigned char>(ansi[i])) ==
                   Cp1252Upper(static_cast<unsigned char>(name[i]));
        if (same && strlen(entry->d_name) < foundSize &&
            (!any || strcmp(entry->d_name, found) < 0)) {
            memcpy(found, entry->d_name, strlen(entry->d_name) + 1);
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
    *lookup = kDosFound;
    if (unixSize < 2)
        return false;
    memcpy(unixPath, "/", 2); // the root, until a component follows
    for (const char *p = normalized; *p != 0;) {
        const char *start = ++p; // past the separator
        p += strcspn(p, "\\");
        size_t length = static_cast<size_t>(p - start), folderEnd = used;
        char wanted[kSimulationPathSize], name[kSimulationPathSize];
        struct stat info;
        bool found = AnsiNameToUnix(start, length, wanted, sizeof wanted);
        if (!found || !AppendComponent(unixPath, unixSize, &used, folderEnd, wanted))
            return false;
        if (stat(unixPath, &info) != 0) {
            unixPath[folderEnd] = 0;
            found = FindEntryNoCase(unixPath, start, length, name, sizeof name);
            if (!AppendComponent(unixPath, unixSize, &used, folderEnd, found ? name : wanted))
                return false;
        }
        if (!found || (*p != 0 && (stat(unixPath, &info) != 0 || !S_ISDIR(info.st_mode)))) {
            *lookup = found ? kDosFolderIsFile : *p != 0 ? kDosFolderMissing : kDosLastMissing;
            return true;
        }
    }
    return true;
}

DWORD LookUpDosPath(const char *dosPath, char *unixPath, size_t unixSize, DosLookup *lookup) {
    // Only FindFirstFileA takes "*" and "?", as patterns; Windows' other ANSI
    // calls refuse them, so a Unix folder named "Q?x" is no program folder.
    char normalized[kSimulationPathSize];
    DWORD error = strpbrk(dosPath, "*?")
                      ? ERROR_INVALID_NAME
                      : NormalizeDosPath(dosPath, normalized, sizeof normalized, nullptr);
    if (error == 0 && !ResolveNormalizedPath(normalized, unixPath, unixSize, lookup))
        error = ERROR_BAD_PATHNAME;
    return error;
}

FILE *OpenDosStream(const char *path, const char *mode) {
    // "rb" reads the bytes as stored, as "r" does here: only msvcrt's text
    // mode would make CR LF "\n" and stop at a byte 0x1A.
    bool append = mode && strcmp(mode, "a") == 0;
    // Reading stores nothing, so text and binary reads are the same here.
    bool read = mode && (strcmp(mode, "r") == 0 || strcmp(mode, "rb") == 0);
    if (!path || (!append && !read)) {
        errno = EINVAL;
        return nullptr;
    }
    char unixPath[kSimulationPathSize];
    DosLookup lookup;
    if (LookUpDosPath(path, unixPath, sizeof unixPath, &lookup) != 0 ||
        (lookup != kDosFound && (!append || lookup != kDosLastMissing))) {
        errno = ENOENT;
        return nullptr;
    }
    int fd = OpenRegularFile(unixPath, append ? O_WRONLY | O_CREAT | O_APPEND : O_RDONLY);
    if (fd < 0)
        return nullptr;
    cookie_io_functions_t functions = {nullptr, WriteTranslated, nullptr, CloseFile};
    FILE *stream =
        append ? fopencookie(reinterpret_cast<void *>(static_cast<intptr_t>(fd)), "w", functions)
               : fdopen(fd, "r");
    if (!stream)
        close(fd);
    return stream;
}
