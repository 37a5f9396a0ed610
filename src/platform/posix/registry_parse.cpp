// The lines of the simulation's registry file, as regedit and `wine regedit
// /e` write them, read into a tree: a REGEDIT4 or "Version 5.00" header,
// key lines, and values as quoted texts with \\ \" \r \n, dword:, hex: and
// hex(N): with continuation lines. The text comes in cp1252 already
// (registry_load.cpp decodes the file); the string data of hex(1), hex(2) and
// hex(7) in a version 5 file is UTF-16LE and becomes cp1252 here.

#include "platform/posix/dos_path.h"
#include "platform/posix/registry_store.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace simulation {
namespace {

struct Parser {
    Tree tree;
    bool version5 = false; // string data of hex(1), hex(2), hex(7) is UTF-16LE
    int line = 0;
    std::string error;
    Key *key = nullptr;     // key of the values that follow
    bool continued = false; // a hex list goes on on the next line
    std::string valueName;
    DWORD valueType = 0;
    std::vector<BYTE> valueData;
};

__attribute__((format(printf, 2, 3))) bool Fail(Parser &p, const char *format, ...) {
    char reason[340];
    size_t used = static_cast<size_t>(snprintf(reason, sizeof reason, "line %d: ", p.line));
    va_list args;
    va_start(args, format);
    vsnprintf(reason + used, sizeof reason - used, format, args);
    va_end(args);
    p.error = reason;
    return false;
}

const char *SkipBlanks(const char *s) {
    while (*s == ' ' || *s == '\t')
        ++s;
    return s;
}

bool OnlyCommentLeft(const char *s) {
    s = SkipBlanks(s);
    return *s == '\0' || *s == ';';
}

int HexDigit(char c) {
    const char digits[] = "0123456789abcdefABCDEF";
    int at = c && strchr(digits, c) ? static_cast<int>(strchr(digits, c) - digits) : -1;
    return at < 16 ? at : at - 6;
}

// A number of 1 to 8 hex digits at s; null when there is none.
const char *ReadHexNumber(const char *s, DWORD *value) {
    int digits = 0;
    for (*value = 0; HexDigit(*s) >= 0; ++s, ++digits)
        *value = *value * 16 + static_cast<DWORD>(HexDigit(*s));
    return digits >= 1 && digits <= 8 ? s : nullptr;
}

// Reads a quoted text (s just after the opening quote) with regedit's
// escapes: \\ \" and, as Wine writes them, \r \n. *end: after the closing quote.
bool ReadQuoted(Parser &p, const char *s, std::string *text, const char **end) {
    text->clear();
    for (;;) {
        char c = *s++;
        if (c == '\0')
            return Fail(p, "no closing quote");
        if (c == '"')
            break;
        if (c != '\\') {
            text->push_back(c);
            continue;
        }
        const char escapes[] = "\\\"nr", meanings[] = "\\\"\n\r";
        char e = *s++;
        if (e == '\0')
            return Fail(p, "no closing quote");
        const char *known = strchr(escapes, e);
        if (!known)
            return Fail(p, "unknown escape \"\\%c\" in a quoted text (a backslash is written \\\\)",
                        e);
        text->push_back(meanings[known - escapes]);
    }
    *end = s;
    return true;
}

bool FinishValue(Parser &p) {
    p.continued = false;
    bool isString =
        p.valueType == REG_SZ || p.valueType == REG_EXPAND_SZ || p.valueType == REG_MULTI_SZ;
    if (isString && p.version5) { // the A calls see cp1252
        std::string narrow;
        uint32_t bad = 0;
        if (p.valueData.size() % 2)
            return Fail(p, "string data of an odd number of bytes in a version 5 file");
        if (!Utf16LeToCp1252(p.valueData.data(), p.valueData.size() / 2, &narrow, &bad))
            return Fail(p, "character U+%04X in string data is not in code page 1252", bad);
        p.valueData.assign(narrow.begin(), narrow.end());
    }
    SetValue(*p.key, p.valueName, p.valueType, p.valueData.data(), p.valueData.size());
    return true;
}

bool ReadHexList(Parser &p, const char *s) {
    for (;; ++s) { // s at a byte, or past its comma
        s = SkipBlanks(s);
        if (*s == '\0' || *s == ';')
            return FinishValue(p);
        if (*s == '\\') {
            p.continued = OnlyCommentLeft(s + 1);
            return p.continued || Fail(p, "text after the continuation backslash");
        }
        int hi = HexDigit(s[0]), lo = HexDigit(s[1]);
        if (hi < 0)
            return Fail(p, "expected a hex byte, got \"%c\"", s[0]);
        if (lo >= 0 && HexDigit(s[2]) >= 0)
            return Fail(p, "hex byte of more than two digits");
        p.valueData.push_back(static_cast<BYTE>(lo >= 0 ? hi * 16 + lo : hi));
        s = SkipBlanks(s + (lo >= 0 ? 2 : 1));
        if (*s == '\0' || *s == ';')
            return FinishValue(p);
        if (*s != ',')
            return Fail(p, "expected a comma after a hex byte");
    }
}

bool ReadValue(Parser &p, const char *s) {
    if (!p.key)
        return Fail(p, "a value before the first key");
    if (*s == '@') {
        p.valueName.clear();
        ++s;
    } else if (!ReadQuoted(p, s + 1, &p.valueName, &s)) {
        return false;
    }
    if (p.valueName.size() > kMaxValueNameLength)
        return Fail(p, "value name longer than %zu characters", kMaxValueNameLength);
    s = SkipBlanks(s);
    if (*s != '=')
        return Fail(p, "expected \"=\" after the value name");
    s = SkipBlanks(s + 1);

    p.valueData.clear();
    if (*s == '"') {
        std::string text;
        if (!ReadQuoted(p, s + 1, &text, &s))
            return false;
        if (!OnlyCommentLeft(s))
            return Fail(p, "text after the closing quote");
        SetValue(*p.key, p.valueName, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                 text.size() + 1);
        return true;
    }
    if (strncmp(s, "dword:", 6) == 0) {
        DWORD value = 0;
        s = ReadHexNumber(SkipBlanks(s + 6), &value);
        if (!s || !OnlyCommentLeft(s))
            return Fail(p, "dword: takes 1 to 8 hex digits");
        BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                         static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
        SetValue(*p.key, p.valueName, REG_DWORD, bytes, 4);
        return true;
    }
    if (strncmp(s, "hex:", 4) == 0) {
        p.valueType = REG_BINARY;
        return ReadHexList(p, s + 4);
    }
    if (strncmp(s, "hex(", 4) == 0) {
        s = ReadHexNumber(s + 4, &p.valueType);
        if (!s || s[0] != ')' || s[1] != ':')
            return Fail(p, "hex(N): takes a type of 1 to 8 hex digits");
        return ReadHexList(p, s + 2);
    }
    return Fail(p, "unknown kind of data (expected \"text\", dword:, hex: or hex(N):)");
}

bool ReadKeyLine(Parser &p, const char *s) {
    const char *close = strrchr(s, ']');
    if (!close)
        return Fail(p, "key line without a closing \"]\"");
    if (!OnlyCommentLeft(close + 1))
        return Fail(p, "text after the key name");
    std::string name(s + 1, close), rootName = name.substr(0, name.find('\\'));
    const char *path = name.c_str() + std::min(rootName.size() + 1, name.size());
    HKEY root = RootNamed(rootName);
    if (!root)
        return Fail(p, "\"%s\" is not HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER", rootName.c_str());
    std::vector<std::string> components;
    LSTATUS status = SplitKeyPath(path, &components);
    if (status == ERROR_BAD_PATHNAME)
        return Fail(p, "key path with an empty name after the root");
    if (status != ERROR_SUCCESS)
        return Fail(p, "key name longer than %zu characters", kMaxKeyNameLength);
    if (components.size() > kMaxKeyDepth)
        return Fail(p, "key nested deeper than %zu levels", kMaxKeyDepth);
    p.key = RootKey(p.tree, root);
    for (const std::string &c : components)
        p.key = AddSubkey(*p.key, c);
    return true;
}

bool ReadLine(Parser &p, const char *text) {
    const char *s = SkipBlanks(text);
    if (p.continued && (*s == '\0' || *s == ';'))
        return true; // regedit skips blank and comment lines inside a hex list
    if (p.continued)
        return HexDigit(*s) >= 0
                   ? ReadHexList(p, s)
                   : Fail(p, "expected more hex bytes after a line ending in a backslash");
    if (*s == '\0' || *s == ';' || *s == '#')
        return true;
    if (*s == '[')
        return ReadKeyLine(p, s);
    return *s == '@' || *s == '"' ? ReadValue(p, s) : Fail(p, "not a key, a value or a comment");
}

bool ReadLines(Parser &p, const std::string &text, bool utf16) {
    p.line = 0;
    for (size_t pos = 0, end; pos < text.size();
         pos = end + (text.compare(end, 2, "\r\n") ? 1 : 2)) {
        end = std::min(text.find_first_of("\r\n", pos), text.size());
        std::string line = text.substr(pos, end - pos);
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

} // namespace

bool ParseRegistryText(const std::string &text, bool utf16, Tree *tree, std::string *error) {
    Parser p;
    bool ok = ReadLines(p, text, utf16);
    if (ok)
        *tree = std::move(p.tree);
    else
        *error = p.error;
    return ok;
}

} // namespace simulation
