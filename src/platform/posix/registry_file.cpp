// The stand-in's registry file: the in-memory registry saved as a REGEDIT4
// .reg file (what regedit imports on Windows) and loaded from REGEDIT4 or
// "Windows Registry Editor Version 5.00" (UTF-16LE) files, as regedit and
// `wine regedit /e` write them: regedit's escapes (\\ and \", and Wine's \r
// \n), dword:, hex: and hex(N): with regedit's line wrapping.
//
// Strings are bytes of code page 1252 in the registry and in REGEDIT4 files;
// a UTF-16 file is converted to them, and a character that cp1252 cannot hold
// makes the file malformed. A malformed file is never half loaded.

#include "platform/posix/registry_store.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {
namespace {

const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";
constexpr size_t kWrapColumn = 77; // regedit starts a continuation line from here

long gSaveFailAfter = -1;

// --- Loading ----------------------------------------------------------------

struct Parser {
    Tree tree;
    bool unicode = false;
    int line = 0;
    std::string error;
    Key *key = nullptr;      // key of the values that follow; null after [-KEY]
    bool keyDeleted = false; // the last key line deleted a key
    // A hex value continued on the next line.
    bool continued = false;
    std::string valueName;
    DWORD valueType = 0;
    std::vector<BYTE> valueData;
};

bool Fail(Parser &p, const char *format, ...) __attribute__((format(printf, 2, 3)));
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

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

const char *SkipBlanks(const char *s) {
    while (IsBlank(*s))
        ++s;
    return s;
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

// The end of a line may hold blanks and a ';' comment, nothing else.
bool OnlyCommentLeft(const char *s) {
    s = SkipBlanks(s);
    return *s == '\0' || *s == ';';
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
        char e = *s++;
        switch (e) {
        case '\\':
            text->push_back('\\');
            break;
        case '"':
            text->push_back('"');
            break;
        case 'n':
            text->push_back('\n');
            break;
        case 'r':
            text->push_back('\r');
            break;
        case '\0':
            return Fail(p, "no closing quote");
        default:
            return Fail(p, "unknown escape \"\\%c\" in a quoted text (a backslash is written \\\\)",
                        e);
        }
    }
    *end = s;
    return true;
}

// Converts UTF-16LE string data (hex(1), hex(2), hex(7) of a version 5 file)
// to the cp1252 bytes the A calls see.
bool NarrowStringData(Parser &p, std::vector<BYTE> *data) {
    if (data->size() % 2)
        return Fail(p, "string data of an odd number of bytes in a UTF-16 file");
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

bool FinishValue(Parser &p) {
    p.continued = false;
    bool isString =
        p.valueType == REG_SZ || p.valueType == REG_EXPAND_SZ || p.valueType == REG_MULTI_SZ;
    if (isString && p.unicode && !NarrowStringData(p, &p.valueData))
        return false;
    SetValue(*p.key, p.valueName, p.valueType, p.valueData.data(), p.valueData.size(),
             NowFileTime());
    return true;
}

// Appends the bytes of a "xx,xx,..." list; a final backslash continues the
// list on the next line.
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
    if (!p.key) {
        if (p.keyDeleted)
            return Fail(p, "a value after a key deletion ([-...]) has no key");
        return Fail(p, "a value before the first key");
    }
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

    if (*s == '-') {
        if (!OnlyCommentLeft(s + 1))
            return Fail(p, "text after \"-\"");
        DeleteValue(*p.key, p.valueName);
        return true;
    }
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
        SetValue(*p.key, p.valueName, REG_SZ, p.valueData.data(), p.valueData.size(),
                 NowFileTime());
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
        SetValue(*p.key, p.valueName, REG_DWORD, bytes, 4, NowFileTime());
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

    if (deletion) {
        p.key = nullptr;
        p.keyDeleted = true;
        if (components.empty())
            return Fail(p, "a root cannot be deleted");
        Root *root = FindRoot(p.tree, rootName);
        Key *key = root ? root->key.get() : nullptr;
        for (size_t i = 0; key && i < components.size(); ++i)
            key = FindSubkey(*key, components[i]);
        if (key)
            DeleteKeyTree(*key);
        return true;
    }
    Root &root = RootNamed(p.tree, rootName);
    Key *key = root.key.get();
    uint64_t now = NowFileTime();
    for (const std::string &c : components) {
        bool created = false;
        key = AddSubkey(*key, c, now, &created);
    }
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

bool ReadWholeFile(const char *path, std::string *raw, bool *missing, int *err) {
    *missing = false;
    FILE *f = fopen(path, "rb");
    if (!f) {
        *err = errno;
        *missing = errno == ENOENT;
        return false;
    }
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        raw->append(buffer, n);
    bool ok = !ferror(f);
    *err = errno;
    fclose(f);
    return ok;
}

void PutError(char *error, size_t errorSize, const char *text) {
    if (error && errorSize)
        snprintf(error, errorSize, "%s", text);
}

// --- Saving -----------------------------------------------------------------

std::string Escape(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A REG_SZ that a quoted text gives back exactly: one terminating zero, no
// other zero byte.
bool IsPlainString(const Value &v) {
    if (v.type != REG_SZ || v.data.empty() || v.data.back() != 0)
        return false;
    for (size_t i = 0; i + 1 < v.data.size(); ++i)
        if (v.data[i] == 0)
            return false;
    return true;
}

void WriteValue(std::string &out, const Value &v) {
    std::string line = v.name.empty() ? "@=" : "\"" + Escape(v.name) + "\"=";
    if (IsPlainString(v)) {
        std::string text(v.data.begin(), v.data.end() - 1);
        out += line + "\"" + Escape(text) + "\"\r\n";
        return;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        char hex[20];
        DWORD value = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                      (static_cast<DWORD>(v.data[3]) << 24);
        snprintf(hex, sizeof hex, "dword:%08x", value);
        out += line + hex + "\r\n";
        return;
    }
    char type[20];
    if (v.type == REG_BINARY)
        snprintf(type, sizeof type, "hex:");
    else
        snprintf(type, sizeof type, "hex(%x):", v.type);
    line += type;
    // Wrapped as regedit does: after a comma once the line reaches the column.
    size_t column = line.size();
    out += line;
    for (size_t i = 0; i < v.data.size(); ++i) {
        char byte[4];
        snprintf(byte, sizeof byte, "%02x", v.data[i]);
        out += byte;
        if (i + 1 == v.data.size())
            break;
        out += ',';
        column += 3;
        if (column >= kWrapColumn) {
            out += "\\\r\n  ";
            column = 2;
        }
    }
    out += "\r\n";
}

void WriteKey(std::string &out, const Key &key, const std::string &path) {
    if (key.isVolatile)
        return; // volatile keys live only until the registry is unloaded
    out += "[" + path + "]\r\n";
    for (const Value &v : key.values)
        WriteValue(out, v);
    out += "\r\n";
    for (const auto &sub : key.subkeys)
        WriteKey(out, *sub.second, path + "\\" + sub.second->name);
}

std::string FormatRegistry(const Tree &tree) {
    std::string out = std::string(kHeader4) + "\r\n\r\n";
    for (const Root &root : tree.roots) {
        const Key &key = *root.key;
        if (!key.values.empty() || (root.listedAlone && key.subkeys.empty())) {
            out += "[" + root.name + "]\r\n";
            for (const Value &v : key.values)
                WriteValue(out, v);
            out += "\r\n";
        }
        for (const auto &sub : key.subkeys)
            WriteKey(out, *sub.second, root.name + "\\" + sub.second->name);
    }
    return out;
}

bool WriteAll(int fd, const std::string &text) {
    size_t limit = text.size();
    bool injected = false;
    if (gSaveFailAfter >= 0) {
        if (static_cast<size_t>(gSaveFailAfter) < limit) {
            limit = static_cast<size_t>(gSaveFailAfter);
            injected = true;
        }
        gSaveFailAfter = -1;
    }
    size_t done = 0;
    while (done < limit) {
        ssize_t n = write(fd, text.data() + done, limit - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    if (injected) {
        errno = ENOSPC;
        return false;
    }
    return true;
}

} // namespace

void ClearSaveFault() {
    gSaveFailAfter = -1;
}

} // namespace standin

using namespace standin;

bool LoadStandInRegistry(const char *unixPath, char *error, size_t errorSize) {
    PutError(error, errorSize, "");
    std::string raw;
    bool missing = false;
    int err = 0;
    if (!ReadWholeFile(unixPath, &raw, &missing, &err)) {
        ReplaceLiveRegistry(Tree());
        if (missing)
            return true;
        char text[300];
        snprintf(text, sizeof text, "cannot read the file: %s", strerror(err));
        PutError(error, errorSize, text);
        return false;
    }
    Parser parser;
    if (raw.empty()) {
        ReplaceLiveRegistry(Tree()); // an empty file: an empty registry
        return true;
    }
    if (!ParseFile(parser, raw)) {
        ReplaceLiveRegistry(Tree());
        PutError(error, errorSize, parser.error.c_str());
        return false;
    }
    ReplaceLiveRegistry(std::move(parser.tree));
    return true;
}

bool SaveStandInRegistry(const char *unixPath) {
    std::string text = FormatRegistry(LiveRegistry());
    std::string path = unixPath;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + (folder.back() == '/' ? "" : "/") + "." + base + ".XXXXXX";

    int fd = mkstemp(&temp[0]);
    if (fd < 0)
        return false;
    // mkstemp makes the file private; give it the mode a plain create would.
    struct stat old;
    mode_t mode;
    if (stat(unixPath, &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok)
        ok = rename(temp.c_str(), unixPath) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        fsync(dir); // makes the rename itself durable
        close(dir);
    }
    return true;
}

void FailStandInSaveAfterBytes(long bytes) {
    gSaveFailAfter = bytes < 0 ? -1 : bytes;
}
