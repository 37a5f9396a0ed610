// The run's hold on its registry file, from load to save: an exclusive flock,
// so that runs on one file follow one another instead of losing each other's
// writes. The save replaces the file by a rename, so a run that waited on the
// old file checks, once it holds the lock, that the path still names what it
// locked, and starts again if not. While there is no file yet, its folder is
// locked instead. Either way no extra file appears beside the user's.

#include "platform/posix/registry_store.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {
namespace {

constexpr int kMaxLinks = 40; // as the kernel's own limit on a chain of links

int gLockFd = -1; // the locked file, or its folder while there is no file

std::string FolderOf(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

const char *KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a file";
}

bool Refuse(std::string *error, mode_t mode) {
    *error = std::string("not a regular file (") + KindOf(mode) + ")";
    return false;
}

bool SameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int Lock(int fd) {
    int result;
    do
        result = flock(fd, LOCK_EX);
    while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

std::string RegistryFileTarget(const char *unixPath) {
    std::string path = unixPath;
    for (int i = 0; i < kMaxLinks; ++i) {
        char target[PATH_MAX];
        ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length < 0)
            break; // not a link (or no file): this is the file
        target[length] = '\0';
        path = target[0] == '/' ? std::string(target) : FolderOf(path) + "/" + target;
    }
    return path;
}

bool LockRegistryFile(const std::string &target, int *fd, std::string *error) {
    UnlockRegistryFile();
    *fd = -1;
    for (;;) {
        // Looked at before it is opened: opening a FIFO or a device may block
        // or act on the device.
        struct stat before;
        bool exists = stat(target.c_str(), &before) == 0;
        if (exists && !S_ISREG(before.st_mode))
            return Refuse(error, before.st_mode);
        int opened = exists ? open(target.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                            : open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (opened < 0 && errno == ENOENT && !exists) {
            // The save at the end could not succeed either: refuse now, before
            // the logs describe a run whose registry is then lost.
            *error = "its folder does not exist";
            return false;
        }
        if (opened < 0 && errno == ENOENT)
            continue; // the file went away between the two looks
        if (opened < 0) {
            *error = std::string("cannot read the file: ") + strerror(errno);
            return false;
        }
        struct stat held, now;
        bool known = fstat(opened, &held) == 0;
        if (known && exists && !S_ISREG(held.st_mode)) {
            close(opened);
            return Refuse(error, held.st_mode);
        }
        if (!known || Lock(opened) != 0) {
            *error = std::string("cannot lock the file: ") + strerror(errno);
            close(opened);
            return false;
        }
        bool still = stat(target.c_str(), &now) == 0;
        if (exists ? still && SameFile(held, now) : !still && errno == ENOENT) {
            gLockFd = opened;
            *fd = exists ? opened : -1;
            return true;
        }
        close(opened); // replaced or created while we waited: once more
    }
}

void UnlockRegistryFile() {
    if (gLockFd >= 0)
        close(gLockFd); // closing the only descriptor drops the flock
    gLockFd = -1;
}

} // namespace standin
