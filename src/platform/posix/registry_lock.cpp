// The run's hold on its registry file from load to save: an exclusive flock
// on the file's folder (the save replaces the file), so runs on one file take
// turns and no lock file appears.

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

int gLockFd = -1;

std::string FolderOf(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string RegistryFileTarget(const char *unixPath) {
    std::string path = unixPath;
    for (int i = 0; i < 40; ++i) { // the kernel's own limit on a chain of links
        char target[PATH_MAX];
        ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length < 0)
            break;
        target[length] = '\0';
        path = target[0] == '/' ? std::string(target) : FolderOf(path) + "/" + target;
    }
    return path;
}

bool LockRegistryFile(const std::string &target, int *fd, std::string *error) {
    UnlockRegistryFile();
    *fd = -1;
    gLockFd = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (gLockFd < 0) {
        // The save would fail: refuse before the run.
        *error = errno == ENOENT ? "its folder does not exist"
                                 : std::string("cannot open its folder: ") + strerror(errno);
        return false;
    }
    int locked;
    while ((locked = flock(gLockFd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    struct stat info = {}; // looked at before it is opened: opening a FIFO may block
    bool exists = locked == 0 && stat(target.c_str(), &info) == 0;
    const char *kind = S_ISDIR(info.st_mode)                            ? "a folder"
                       : S_ISFIFO(info.st_mode)                         ? "a FIFO"
                       : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                                                                        : "not a file";
    if (locked != 0)
        *error = std::string("cannot lock the file: ") + strerror(errno);
    else if (exists && !S_ISREG(info.st_mode))
        *error = std::string("not a regular file (") + kind + ")";
    else if (exists && (*fd = open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) < 0)
        *error = std::string("cannot read the file: ") + strerror(errno);
    bool ok = locked == 0 && (!exists || *fd >= 0); // no file yet: an empty registry
    if (!ok)
        UnlockRegistryFile();
    return ok;
}

void UnlockRegistryFile() {
    if (gLockFd >= 0)
        close(gLockFd); // closing the only descriptor drops the flock
    gLockFd = -1;
}

} // namespace standin
