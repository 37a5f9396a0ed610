// Text streams opened by a DOS path. Appending stores each "\n" as CR LF, as
// msvcrt's text mode does, through stdio's buffer; reading leaves CR LF.
#include "platform/posix/dos_path.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>

#include <string>

namespace {

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

FILE *OpenDosStream(const char *path, const char *mode) {
    bool append = mode && strcmp(mode, "a") == 0;
    if (!path || (!append && (!mode || strcmp(mode, "r") != 0))) {
        errno = EINVAL;
        return nullptr;
    }
    char unixPath[kStandInPathSize];
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
