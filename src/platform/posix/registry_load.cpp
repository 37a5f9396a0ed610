// Loading the stand-in's registry file: REGEDIT4 or "Windows Registry Editor
// Version 5.00" (UTF-16LE) files, as regedit and `wine regedit /e` write
// them: regedit's escapes (\\ and \", and Wine's \r \n), dword:, hex: and
// hex(N): with regedit's line continuations.
//
// Strings are bytes of code page 1252 in the registry and in REGEDIT4 files;
// a UTF-16 file is converted to them, and a character that cp1252 cannot hold
// makes the file malformed. A malformed file is never half loaded.

#include "platform/posix/dos_path.h"
#include "platform/posix/registry_parse.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

namespace standin {
namespace {

const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";

bool ReadKeyLine(Parser &p, const char *s) {
    const char *close = strrchr(s, ']');
    if (!close)
        return Fail(p, "key line without a closing \"]\"");
    if (!OnlyCommentLeft(close + 1))
        return Fail(p, "text after the key name");
    std::string name(s + 1, close);
    bool deletion = !name.empty() && name[0] == '-';
    if (deletion)
        name.erase(0, 1);
    size_t slash = name.find('\\');
    std::string rootName = name.substr(0, slash);
    std::string path = slash == std::string::npos ? "" : name.substr(slash + 1);
    if (const char *canonical = CanonicalRootName(rootName))
        rootName = canonical;
    else if (rootName.size() < 5 || strncasecmp(rootName.c_str(), "HKEY_", 5) != 0)
        return Fail(p, "\"%s\" is not a registry root (HKEY_...)", rootName.c_str());
    std::vector<std::string> components;
    LSTATUS status = SplitKeyPath(path.c_str(), &components);
    if (status == ERROR_BAD_PATHNAME)
        return Fail(p, "key path with an empty name after the root");
    if (status != ERROR_SUCCESS)
        return Fail(p, "key name longer than %zu characters", kMaxKeyNameLength);
    if (components.size() > kMaxKeyDepth)
        return Fail(p, "key nested deeper than %zu levels", kMaxKeyDepth);

    if (deletion) {
        p.key = nullptr;
        p.keyDeleted = true;
        if (components.empty())
            return Fail(p, "a root cannot be deleted");
        Root *root = FindRoot(p.tree, rootName);
        size_t found = 0;
        Key *key = root ? WalkExisting(root->key.get(), components, &found) : nullptr;
        if (key && found == components.size())
            DeleteKeyTree(*key);
        return true;
    }
    Root &root = RootNamed(p.tree, rootName);
    Key *key = root.key.get();
    uint64_t now = NowFileTime();
    for (const std::string &c : components)
        key = AddSubkey(*key, c, now);
    if (components.empty())
        root.listedAlone = true;
    p.key = key;
    p.keyDeleted = false;
    return true;
}

bool ReadLine(Parser &p, const char *text) {
    const char *s = SkipBlanks(text);
    if (p.continued) {
        if (*s == '\0' || *s == ';')
            return true; // regedit skips blank and comment lines inside a hex list
        if (HexDigit(*s) < 0)
            return Fail(p, "expected more hex bytes after a line ending in a backslash");
        return ReadHexList(p, s);
    }
    switch (*s) {
    case '\0':
    case ';':
    case '#':
        return true;
    case '[':
        return ReadKeyLine(p, s);
    case '@':
    case '"':
        return ReadValue(p, s);
    default:
        return Fail(p, "not a key, a value or a comment");
    }
}

// Turns a UTF-16LE file (after its BOM) into cp1252 bytes.
bool NarrowFile(Parser &p, const std::string &raw, std::string *text) {
    p.line = 1;
    if (raw.size() % 2)
        return Fail(p, "UTF-16 file of an odd number of bytes");
    for (size_t i = 2; i < raw.size(); i += 2) {
        char16_t c =
            static_cast<char16_t>(static_cast<BYTE>(raw[i]) | (static_cast<BYTE>(raw[i + 1]) << 8));
        BYTE b;
        if (!UnicodeToCp1252(c, &b))
            return Fail(p, "character U+%04X is not in code page 1252", static_cast<unsigned>(c));
        if (b == '\n' ||
            (b == '\r' && !(i + 3 < raw.size() && raw[i + 2] == '\n' && raw[i + 3] == '\0')))
            ++p.line;
        text->push_back(static_cast<char>(b));
    }
    return true;
}

bool ParseFile(Parser &p, const std::string &raw) {
    std::string text;
    p.unicode =
        raw.size() >= 2 && static_cast<BYTE>(raw[0]) == 0xFF && static_cast<BYTE>(raw[1]) == 0xFE;
    if (p.unicode) {
        if (!NarrowFile(p, raw, &text))
            return false;
    } else {
        text = raw;
    }
    p.line = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size())
            pos += text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n' ? 2 : 1;
        ++p.line;
        if (line.find('\0') != std::string::npos)
            return Fail(p, "a zero byte in the line");
        if (p.line == 1) {
            const char *header = SkipBlanks(line.c_str());
            const char *wanted = p.unicode ? kHeader5 : kHeader4;
            if (strcmp(header, wanted) != 0)
                return Fail(p, "the first line must be \"%s\"%s", wanted,
                            p.unicode ? " (UTF-16 file)" : "");
            continue;
        }
        if (!ReadLine(p, line.c_str()))
            return false;
    }
    if (p.line == 0)
        return Fail(p, "empty file has no header");
    if (p.continued)
        return FinishValue(p);
    return true;
}

bool ReadAll(int fd, std::string *raw) {
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        raw->append(buffer, static_cast<size_t>(n));
    }
}

void PutError(char *error, size_t errorSize, const std::string &text) {
    if (error && errorSize)
        snprintf(error, errorSize, "%s", text.c_str());
}

} // namespace
} // namespace standin

using namespace standin;

bool LoadStandInRegistry(const char *unixPath, char *error, size_t errorSize) {
    PutError(error, errorSize, "");
    ReplaceLiveRegistry(Tree());
    int fd = -1;
    std::string reason;
    if (!LockRegistryFile(RegistryFileTarget(unixPath), &fd, &reason)) {
        PutError(error, errorSize, reason);
        return false;
    }
    if (fd < 0)
        return true; // no file yet: an empty registry
    std::string raw;
    if (!ReadAll(fd, &raw)) {
        PutError(error, errorSize, std::string("cannot read the file: ") + strerror(errno));
        UnlockRegistryFile();
        return false;
    }
    // An empty (0-byte) file is an empty registry too.
    Parser parser;
    if (!raw.empty() && !ParseFile(parser, raw)) {
        PutError(error, errorSize, parser.error);
        UnlockRegistryFile();
        return false;
    }
    ReplaceLiveRegistry(std::move(parser.tree));
    return true;
}
