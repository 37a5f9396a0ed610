// Saving the registry as REGEDIT4, as regedit writes it, atomically: through
// a symbolic link, the file it names is replaced, in its own folder.

#include "platform/posix/dos_path.h"
#include "platform/posix/registry_store.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace simulation {
namespace {

constexpr size_t kWrapColumn = 77; // regedit starts a continuation line from here

std::string Escape(const std::string &text) {
    std::string out;
    for (char c : text) {
        const char *escape = c == '\\'   ? "\\\\"
                             : c == '"'  ? "\\\""
                             : c == '\r' ? "\\r"
                             : c == '\n' ? "\\n"
                                         : nullptr;
        out += escape ? std::string(escape) : std::string(1, c);
    }
    return out;
}

// A REG_SZ that a quoted text gives back exactly: one zero, at the end.
bool IsPlainString(const Value &v) {
    return v.type == REG_SZ && !v.data.empty() &&
           std::find(v.data.begin(), v.data.end(), 0) == v.data.end() - 1;
}

void WriteValue(std::string &out, const Value &v) {
    std::string line = v.name.empty() ? "@=" : "\"" + Escape(v.name) + "\"=";
    char text[20];
    if (IsPlainString(v)) {
        out += line + "\"" + Escape(std::string(v.data.begin(), v.data.end() - 1)) + "\"\r\n";
        return;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD value = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                      (static_cast<DWORD>(v.data[3]) << 24);
        snprintf(text, sizeof text, "dword:%08x\r\n", value);
        out += line + text;
        return;
    }
    snprintf(text, sizeof text, v.type == REG_BINARY ? "hex:" : "hex(%x):", v.type);
    line += text;
    // Wrapped as regedit does: after a comma once the line reaches the column.
    size_t column = line.size();
    for (size_t i = 0; i < v.data.size(); ++i) {
        bool last = i + 1 == v.data.size();
        column += last ? 0 : 3;
        bool wrap = !last && column >= kWrapColumn;
        snprintf(text, sizeof text, "%02x%s", v.data[i], last ? "" : wrap ? ",\\\r\n  " : ",");
        line += text;
        column = wrap ? 2 : column;
    }
    out += line + "\r\n";
}

void WriteKey(std::string &out, const Key &key, const std::string &path) {
    out += "[" + path + "]\r\n";
    for (const Value &v : key.values)
        WriteValue(out, v);
    out += "\r\n";
    for (const auto &sub : key.subkeys)
        WriteKey(out, *sub.second, path + "\\" + sub.second->name);
}

std::string FormatRegistry(const Tree &tree) {
    std::string out = std::string(kHeader4) + "\r\n\r\n";
    for (const auto &root : tree.roots) {
        if (root && !root->values.empty())
            WriteKey(out, *root, root->name);
        else if (root)
            for (const auto &sub : root->subkeys)
                WriteKey(out, *sub.second, root->name + "\\" + sub.second->name);
    }
    return out;
}

bool WriteAll(int fd, const std::string &text) {
    long allowed = TakeSaveFault(); // then fails as a full disk would
    size_t limit = allowed >= 0 ? std::min(text.size(), static_cast<size_t>(allowed)) : text.size();
    if (!WriteFully(fd, text.data(), limit))
        return false;
    errno = limit < text.size() ? ENOSPC : errno;
    return limit == text.size();
}

} // namespace
} // namespace simulation

using namespace simulation;

bool SaveSimulationRegistry(const char *unixPath) {
    std::string path = RegistryFileTarget(unixPath), folder = FolderOf(path);
    std::string temp = folder + "/." + path.substr(path.rfind('/') + 1) + ".XXXXXX";
    // mkstemp makes the file private; give it the mode a plain create would.
    struct stat old;
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0666 & ~mask;
    int fd = mkstemp(&temp[0]);
    bool ok = fd >= 0 && fchmod(fd, mode) == 0 && WriteAll(fd, FormatRegistry(LiveRegistry())) &&
              fsync(fd) == 0;
    ok = (fd < 0 || close(fd) == 0) && ok && rename(temp.c_str(), path.c_str()) == 0;
    UnlockRegistryFile(); // a run waiting for this file goes on, and finds the new one
    if (!ok && fd >= 0)
        unlink(temp.c_str());
    int dir = ok ? open(folder.c_str(), O_RDONLY | O_DIRECTORY) : -1;
    if (dir >= 0) {
        fsync(dir); // makes the rename itself durable
        close(dir);
    }
    return ok;
}
