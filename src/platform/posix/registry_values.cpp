// Value lines of the simulation's registry file: names and quoted texts with
// regedit's escapes (\\ \" and Wine's \r \n), dword:, hex: and hex(N): lists
// with their continuation lines. A version 5 file's UTF-16 string data
// becomes cp1252.

#include "platform/posix/dos_path.h"
#include "platform/posix/registry_parse.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace standin {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

bool Fail(Parser &p, const char *format, ...) {
    char reason[300];
    va_list args;
    va_start(args, format);
    vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    char text[340];
    snprintf(text, sizeof text, "line %d: %s", p.line, reason);
    p.error = text;
    return false;
}

const char *SkipBlanks(const char *s) {
    while (IsBlank(*s))
        ++s;
    return s;
}

bool OnlyCommentLeft(const char *s) {
    s = SkipBlanks(s);
    return *s == '\0' || *s == ';';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

namespace {

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

// Converts UTF-16LE string data (hex(1), hex(2), hex(7) of a version 5 file)
// to the cp1252 bytes the A calls see.
bool NarrowStringData(Parser &p, std::vector<BYTE> *data) {
    if (data->size() % 2)
        return Fail(p, "string data of an odd number of bytes in a version 5 file");
    std::vector<BYTE> narrow;
    for (size_t i = 0; i < data->size(); i += 2) {
        char16_t c = static_cast<char16_t>((*data)[i] | ((*data)[i + 1] << 8));
        BYTE b;
        if (!UnicodeToCp1252(c, &b))
            return Fail(p, "character U+%04X in string data is not in code page 1252",
                        static_cast<unsigned>(c));
        narrow.push_back(b);
    }
    *data = narrow;
    return true;
}

} // namespace

bool FinishValue(Parser &p) {
    p.continued = false;
    bool isString =
        p.valueType == REG_SZ || p.valueType == REG_EXPAND_SZ || p.valueType == REG_MULTI_SZ;
    if (isString && p.version5 && !NarrowStringData(p, &p.valueData))
        return false;
    SetValue(*p.key, p.valueName, p.valueType, p.valueData.data(), p.valueData.size());
    return true;
}

bool ReadHexList(Parser &p, const char *s) {
    for (;;) {
        s = SkipBlanks(s);
        if (*s == '\0' || *s == ';')
            return FinishValue(p);
        if (*s == '\\') {
            if (!OnlyCommentLeft(s + 1))
                return Fail(p, "text after the continuation backslash");
            p.continued = true;
            return true;
        }
        int hi = HexDigit(s[0]);
        if (hi < 0)
            return Fail(p, "expected a hex byte, got \"%c\"", s[0]);
        int lo = HexDigit(s[1]);
        int value = hi;
        s += 1;
        if (lo >= 0) {
            value = hi * 16 + lo;
            s += 1;
            if (HexDigit(*s) >= 0)
                return Fail(p, "hex byte of more than two digits");
        }
        p.valueData.push_back(static_cast<BYTE>(value));
        s = SkipBlanks(s);
        if (*s == ',') {
            ++s;
            continue;
        }
        if (*s == '\0' || *s == ';')
            return FinishValue(p);
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
        p.valueType = REG_SZ;
        p.valueData.assign(text.begin(), text.end());
        p.valueData.push_back(0);
        SetValue(*p.key, p.valueName, REG_SZ, p.valueData.data(), p.valueData.size());
        return true;
    }
    if (strncmp(s, "dword:", 6) == 0) {
        s = SkipBlanks(s + 6);
        DWORD value = 0;
        int digits = 0;
        for (; HexDigit(*s) >= 0; ++s, ++digits)
            value = value * 16 + static_cast<DWORD>(HexDigit(*s));
        if (digits < 1 || digits > 8 || !OnlyCommentLeft(s))
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
        s += 4;
        DWORD type = 0;
        int digits = 0;
        for (; HexDigit(*s) >= 0; ++s, ++digits)
            type = type * 16 + static_cast<DWORD>(HexDigit(*s));
        if (digits < 1 || digits > 8 || s[0] != ')' || s[1] != ':')
            return Fail(p, "hex(N): takes a type of 1 to 8 hex digits");
        p.valueType = type;
        return ReadHexList(p, s + 2);
    }
    return Fail(p, "unknown kind of data (expected \"text\", dword:, hex: or hex(N):)");
}

} // namespace standin
