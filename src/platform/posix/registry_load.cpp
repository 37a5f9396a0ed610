// Loading the simulation's registry file: the run's lock on it, its bytes,
// and its text encodings. A "Version 5.00" file comes as UTF-16LE from
// regedit or as ANSI or UTF-8 from editors, a REGEDIT4 one as ANSI; either
// becomes cp1252 text here, and a character cp1252 lacks makes the file
// malformed. registry_parse.cpp reads the lines into a tree, and a
// malformed file is never half loaded.
//
// The run holds the file from load to save by an exclusive flock on its
// folder (the save replaces the file), so runs on one file take turns and no
// lock file appears.

#include "platform/posix/dos_path.h"
#include "platform/posix/registry_store.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace simulation {
namespace {

int gLockFd = -1;

bool FailOnLine(int line, const std::string &reason, std::string *error) {
    *error = "line " + std::to_string(line) + ": " + reason;
    return false;
}

// Records that the character after `text` is not in cp1252, on its line.
bool FailCharacter(const std::string &text, uint32_t c, std::string *error) {
    int line = 1;
    for (size_t i = 0; i < text.size(); ++i)
        line +=
            text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
    char reason[64];
    snprintf(reason, sizeof reason, "character U+%04X is not in code page 1252",
             static_cast<unsigned>(c));
    return FailOnLine(line, reason, error);
}

// raw from start on, as UTF-8, in cp1252; false when it is not UTF-8. *bad
// gets the first character cp1252 lacks (0: none), text what came before.
bool NarrowUtf8(const std::string &raw, size_t start, std::string *text, uint32_t *bad) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(raw.c_str());
    *bad = 0;
    for (size_t i = start, length = 0; i < raw.size(); i += length) {
        uint32_t c = 0;
        BYTE b = 0;
        if ((length = DecodeUtf8(s + i, &c)) == 0) // the final NUL ends any sequence
            return false;
        if (!*bad && !UnicodeToCp1252(c, &b))
            *bad = c;
        if (!*bad)
            text->push_back(static_cast<char>(b));
    }
    return true;
}

// The file's bytes as cp1252 text; *utf16 when they were UTF-16LE.
bool DecodeFile(const std::string &raw, std::string *text, bool *utf16, std::string *error) {
    *utf16 = raw.compare(0, 2, "\xFF\xFE") == 0;
    bool utf8Bom = raw.compare(0, 3, "\xEF\xBB\xBF") == 0;
    bool version5 = raw.compare(0, sizeof kHeader5 - 1, kHeader5) == 0;
    std::string narrow;
    *text = *utf16 ? "" : raw;
    uint32_t bad = 0;
    if (*utf16 && !Utf16LeToCp1252(raw.data() + 2, (raw.size() - 2) / 2, text, &bad))
        return FailCharacter(*text, bad, error);
    if (raw.size() % 2 && *utf16)
        return FailOnLine(1, "UTF-16 file of an odd number of bytes", error);
    bool utf8 = (utf8Bom || version5) && NarrowUtf8(raw, utf8Bom ? 3 : 0, &narrow, &bad);
    if (utf8Bom && !utf8)
        return FailOnLine(1, "not UTF-8 after a UTF-8 byte order mark", error);
    if (utf8 && bad)
        return FailCharacter(narrow, bad, error);
    if (utf8)
        *text = narrow;
    return true;
}

} // namespace

std::string FolderOf(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

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

} // namespace simulation

using namespace simulation;

bool LoadSimulationRegistry(const char *unixPath, char *error, size_t errorSize) {
    ReplaceLiveRegistry(Tree());
    int fd = -1;
    std::string reason, text;
    bool ok = LockRegistryFile(RegistryFileTarget(unixPath), &fd, &reason);
    std::string raw;
    char buffer[65536];
    ssize_t n = 0;
    while (fd >= 0 && ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)))
        raw.append(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    if (n < 0)
        reason = std::string("cannot read the file: ") + strerror(errno);
    if (fd >= 0)
        close(fd);
    // No file, or 0 bytes: an empty registry.
    Tree tree;
    bool utf16 = false;
    ok = ok && n >= 0 &&
         (raw.empty() || (DecodeFile(raw, &text, &utf16, &reason) &&
                          ParseRegistryText(text, utf16, &tree, &reason)));
    if (ok)
        ReplaceLiveRegistry(std::move(tree));
    else
        UnlockRegistryFile();
    if (error && errorSize)
        snprintf(error, errorSize, "%s", ok ? "" : reason.c_str());
    return ok;
}
