// Text streams opened by a DOS path. Streams for appending store each "\n"
// as CR LF, as msvcrt's text mode does; they stay buffered by stdio, so the
// file receives large blocks rather than one write per line.
#include "platform/posix/dos_path.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

struct TextFile {
    int fd;
};

bool WriteAll(int fd, const char *data, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

ssize_t WriteTranslated(void *cookie, const char *data, size_t size) {
    TextFile *file = static_cast<TextFile *>(cookie);
    char block[2 * BUFSIZ];
    size_t used = 0;
    for (size_t i = 0; i < size; i++) {
        if (used + 2 > sizeof block) {
            if (!WriteAll(file->fd, block, used))
                return 0;
            used = 0;
        }
        if (data[i] == '\n')
            block[used++] = '\r';
        block[used++] = data[i];
    }
    if (used > 0 && !WriteAll(file->fd, block, used))
        return 0;
    return static_cast<ssize_t>(size);
}

int CloseFile(void *cookie) {
    TextFile *file = static_cast<TextFile *>(cookie);
    int result = close(file->fd);
    free(file);
    return result;
}

// A stream over fd that translates "\n" on the way out; fd is closed on failure.
FILE *OpenTranslatingStream(int fd) {
    TextFile *file = static_cast<TextFile *>(malloc(sizeof *file));
    if (file == nullptr) {
        close(fd);
        errno = ENOMEM;
        return nullptr;
    }
    file->fd = fd;
    cookie_io_functions_t functions = {nullptr, WriteTranslated, nullptr, CloseFile};
    FILE *stream = fopencookie(file, "w", functions);
    if (stream == nullptr)
        CloseFile(file);
    return stream;
}

} // namespace

FILE *OpenDosStream(const char *path, const char *mode) {
    // The programs append to their logs ("a") and read TEMPTXT.log ("r");
    // no other mode is offered.
    bool append = mode != nullptr && strcmp(mode, "a") == 0;
    if (path == nullptr || (!append && (mode == nullptr || strcmp(mode, "r") != 0))) {
        errno = EINVAL;
        return nullptr;
    }
    char unixPath[kStandInPathSize];
    DosLookup lookup;
    DWORD error = LookUpDosPath(path, unixPath, sizeof unixPath, &lookup);
    if (error != 0 || (lookup != kDosFound && (!append || lookup != kDosLastMissing))) {
        errno = ENOENT;
        return nullptr;
    }
    // A FIFO would hang the run, so only regular files open.
    int fd = OpenRegularFile(unixPath, append ? O_WRONLY | O_CREAT | O_APPEND : O_RDONLY);
    if (fd < 0)
        return nullptr;
    if (append)
        return OpenTranslatingStream(fd);
    FILE *stream = fdopen(fd, "r");
    if (stream == nullptr)
        close(fd);
    return stream;
}
