// Text streams opened by a DOS path. Streams for writing store each "\n" as
// CR LF, as msvcrt's text mode does; they stay buffered by stdio, so the
// file receives large blocks rather than one write per line.
#include "platform/posix/dos_path.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

struct TextFile {
    int fd;
};

static bool WriteAll(int fd, const char *data, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        length -= (size_t)written;
    }
    return true;
}

static ssize_t WriteTranslated(void *cookie, const char *data, size_t size) {
    TextFile *file = (TextFile *)cookie;
    char block[2 * BUFSIZ];
    size_t used = 0;
    for (size_t i = 0; i < size; i++) {
        if (used + 2 > sizeof block) {
            if (!WriteAll(file->fd, block, used)) {
                return 0;
            }
            used = 0;
        }
        if (data[i] == '\n') {
            block[used++] = '\r';
        }
        block[used++] = data[i];
    }
    if (used > 0 && !WriteAll(file->fd, block, used)) {
        return 0;
    }
    return (ssize_t)size;
}

static int SeekFile(void *cookie, off64_t *offset, int whence) {
    TextFile *file = (TextFile *)cookie;
    off_t position = lseek(file->fd, (off_t)*offset, whence);
    if (position < 0) {
        return -1;
    }
    *offset = position;
    return 0;
}

static int CloseFile(void *cookie) {
    TextFile *file = (TextFile *)cookie;
    int result = close(file->fd);
    free(file);
    return result;
}

FILE *OpenDosStream(const char *path, const char *mode) {
    if (path == NULL || mode == NULL) {
        errno = EINVAL;
        return NULL;
    }
    char kind = mode[0];
    bool binary = strchr(mode, 'b') != NULL;
    if ((kind != 'r' && kind != 'w' && kind != 'a') || strchr(mode, '+') != NULL) {
        errno = EINVAL; // read-write text streams are not needed and not offered
        return NULL;
    }

    char unixPath[STANDIN_PATH_SIZE];
    DosLookup lookup;
    DWORD error = LookUpDosPath(path, unixPath, sizeof unixPath, &lookup);
    if (error != 0 || (lookup != kDosFound && (kind == 'r' || lookup != kDosLastMissing))) {
        errno = ENOENT;
        return NULL;
    }
    struct stat info;
    if (lookup == kDosFound && stat(unixPath, &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EACCES; // what msvcrt reports for a folder
        return NULL;
    }
    if (kind == 'r' || binary) {
        char unixMode[3] = {kind, binary ? 'b' : '\0', '\0'};
        return fopen(unixPath, unixMode);
    }

    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (kind == 'a' ? O_APPEND : O_TRUNC);
    int fd = open(unixPath, flags, 0666);
    if (fd < 0) {
        return NULL;
    }
    TextFile *file = (TextFile *)malloc(sizeof *file);
    if (file == NULL) {
        close(fd);
        errno = ENOMEM;
        return NULL;
    }
    file->fd = fd;
    cookie_io_functions_t functions = {NULL, WriteTranslated, SeekFile, CloseFile};
    FILE *stream = fopencookie(file, "w", functions);
    if (stream == NULL) {
        CloseFile(file);
        return NULL;
    }
    return stream;
}
