// The Unix side of the stand-in's paths: the DOS form of a Unix path, and
// opening a file that must not block.
#include "platform/posix/dos_path.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenRegularFile(const char *unixPath, int flags) {
    int fd = open(unixPath, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EISDIR || errno == ENXIO) {
            errno = EACCES; // a folder, or a FIFO that no one reads
        }
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

bool UnixPathToDos(const char *unixPath, char *out, size_t outSize) {
    char absolute[kStandInPathSize];
    size_t length = 0;
    absolute[0] = 0;
    if (unixPath[0] != '/') {
        if (getcwd(absolute, sizeof absolute) == nullptr)
            return false;
        length = strlen(absolute);
        if (!AppendBytes(absolute, sizeof absolute, &length, "/", 1))
            return false;
    }
    if (!AppendBytes(absolute, sizeof absolute, &length, unixPath, strlen(unixPath)))
        return false;

    size_t used = 0;
    if (outSize > 0)
        out[0] = 0;
    if (!AppendBytes(out, outSize, &used, "Z:", 2))
        return false;
    char *p = absolute;
    while (*p != 0) {
        while (*p == '/')
            p++;
        char *start = p;
        while (*p != 0 && *p != '/')
            p++;
        size_t componentLength = static_cast<size_t>(p - start);
        if (componentLength == 0 || (componentLength == 1 && start[0] == '.'))
            continue;
        if (componentLength == 2 && start[0] == '.' && start[1] == '.') {
            while (used > 2 && out[used - 1] != '\\')
                used--;
            if (used > 2)
                used--;
            out[used] = 0;
            continue;
        }
        char saved = *p;
        *p = 0;
        char ansi[kStandInPathSize];
        bool converted = UnixNameToAnsi(start, ansi, sizeof ansi);
        *p = saved;
        if (!converted || !AppendBytes(out, outSize, &used, "\\", 1) ||
            !AppendBytes(out, outSize, &used, ansi, strlen(ansi))) {
            return false;
        }
    }
    if (used == 2)
        return AppendBytes(out, outSize, &used, "\\", 1);
    return true;
}
