// Loading the simulation's registry file: REGEDIT4 or "Windows Registry
// Editor Version 5.00" files, as regedit and `wine regedit /e` write them:
// regedit's escapes (\\ and \", and Wine's \r \n), dword:, hex: and hex(N):
// with regedit's line continuations. Keys lie under HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER; regedit's deletion lines are not read.
//
// Strings are bytes of code page 1252 in the registry and in ANSI files; a
// UTF-16 or UTF-8 file is converted to them, and a character that cp1252
// cannot hold makes the file malformed. A malformed file is never half loaded.

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
    size_t slash = name.find('\\');
    std::string rootName = name.substr(0, slash);
    std::string path = slash == std::string::npos ? "" : name.substr(slash + 1);
    HKEY root = RootNamed(rootName);
    if (!root)
        return Fail(p, "\"%s\" is not HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER", rootName.c_str());
    std::vector<std::string> components;
    LSTATUS status = SplitKeyPath(path.c_str(), &components);
    if (status == ERROR_BAD_PATHNAME)
        return Fail(p, "key path with an empty name after the root");
    if (status != ERROR_SUCCESS)
        return Fail(p, "key name longer than %zu characters", kMaxKeyNameLength);
    if (components.size() > kMaxKeyDepth)
        return Fail(p, "key nested deeper than %zu levels", kMaxKeyDepth);
    Key *key = RootKey(p.tree, root);
    for (const std::string &c : components)
        key = AddSubkey(*key, c);
    p.key = key;
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

// Records that the character after `text` is not in cp1252, on its line.
bool FailCharacter(Parser &p, const std::string &text, uint32_t c) {
    p.line = 1;
    for (size_t i = 0; i < text.size(); ++i)
        p.line +=
            text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
    return Fail(p, "character U+%04X is not in code page 1252", static_cast<unsigned>(c));
}

// Turns a UTF-16LE file (after its BOM) into cp1252 bytes.
bool NarrowUtf16(Parser &p, const std::string &raw, std::string *text) {
    for (size_t i = 2; i + 1 < raw.size(); i += 2) {
        char16_t c =
            static_cast<char16_t>(static_cast<BYTE>(raw[i]) | (static_cast<BYTE>(raw[i + 1]) << 8));
        BYTE b;
        if (!UnicodeToCp1252(c, &b))
            return FailCharacter(p, *text, c);
        text->push_back(static_cast<char>(b));
    }
    return raw.size() % 2 == 0 || Fail(p, "UTF-16 file of an odd number of bytes");
}

// Whether raw is UTF-8 from `start` on.
bool IsUtf8(const std::string &raw, size_t start) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(raw.c_str());
    uint32_t c = 0;
    for (size_t i = start, length = 1; i < raw.size(); i += length) {
        length = DecodeUtf8(s + i, &c);
        if (length == 0 || i + length > raw.size())
            return false;
    }
    return true;
}

// Turns UTF-8 (from `start` on) into cp1252 bytes.
bool NarrowUtf8(Parser &p, const std::string &raw, size_t start, std::string *text) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(raw.c_str());
    text->clear();
    uint32_t c = 0;
    for (size_t i = start, length = 0; i < raw.size(); i += length) {
        length = DecodeUtf8(s + i, &c);
        BYTE b;
        if (!UnicodeToCp1252(c, &b))
            return FailCharacter(p, *text, c);
        text->push_back(static_cast<char>(b));
    }
    return true;
}

bool ParseFile(Parser &p, const std::string &raw) {
    // A "Version 5.00" file is UTF-16LE as regedit writes it, or ANSI or UTF-8
    // (with or without its BOM) as editors save it; a REGEDIT4 file is ANSI.
    bool utf16 = raw.compare(0, 2, "\xFF\xFE") == 0;
    bool utf8Bom = raw.compare(0, 3, "\xEF\xBB\xBF") == 0;
    bool version5 = raw.compare(0, sizeof kHeader5 - 1, kHeader5) == 0;
    std::string text = utf16 ? "" : raw;
    p.line = 1;
    if (utf16 && !NarrowUtf16(p, raw, &text))
        return false;
    if (utf8Bom && !IsUtf8(raw, 3))
        return Fail(p, "not UTF-8 after a UTF-8 byte order mark");
    if ((utf8Bom || (version5 && IsUtf8(raw, 0))) && !NarrowUtf8(p, raw, utf8Bom ? 3 : 0, &text))
        return false;
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
            p.version5 = strcmp(header, kHeader5) == 0;
            if (utf16 && !p.version5)
                return Fail(p, "the first line must be \"%s\" (UTF-16 file)", kHeader5);
            if (!p.version5 && strcmp(header, kHeader4) != 0)
                return Fail(p, "the first line must be \"%s\" or \"%s\"", kHeader4, kHeader5);
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
