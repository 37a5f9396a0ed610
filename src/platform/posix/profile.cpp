// GetPrivateProfileStringA as Windows reads an INI file. Where Wine reads
// differently (comment lines, lines before the first section, "[A]b]", a
// header without "]", a UTF-8 BOM, truncated quoted values), Windows is
// followed, since the Linux build is meant to predict what the program does
// on Windows. A NUL byte ends the name or value it is in, but not the line or
// the file, as Wine reads it (Windows unverified).
//
// The programs ask for single values by fixed names without blanks around
// them; the list forms (a null section or key name) give "".
#include "platform/posix/dos_path.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Text {
    char *bytes;
    size_t length;
};

bool IsBlank(char c) {
    // 0x1A is what DOS editors left at the end of a file.
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A;
}

void TrimBlanks(const char **start, const char **end) {
    while (*start < *end && IsBlank(**start))
        (*start)++;
    while (*end > *start && IsBlank((*end)[-1]))
        (*end)--;
}

// UTF-16LE after its BOM, turned into cp1252.
bool DecodeUtf16(const unsigned char *data, size_t length, Text *text) {
    size_t units = (length - 2) / 2;
    text->bytes = static_cast<char *>(malloc(units + 1));
    if (text->bytes == nullptr)
        return false;
    text->length = Utf16LeToCp1252(data + 2, units, text->bytes);
    return true;
}

// Reads the whole file; false when there is none.
bool LoadText(const char *fileName, Text *text) {
    char unixPath[kStandInPathSize];
    DosLookup lookup = kDosFolderMissing;
    text->bytes = nullptr;
    text->length = 0;
    // A bare name means the Windows folder, which the simulation lacks.
    if (fileName == nullptr || strpbrk(fileName, "\\/:") == nullptr ||
        LookUpDosPath(fileName, unixPath, sizeof unixPath, &lookup) != 0 || lookup != kDosFound) {
        return false;
    }
    int fd = OpenRegularFile(unixPath, O_RDONLY);
    struct stat info;
    FILE *file = fd >= 0 && fstat(fd, &info) == 0 ? fdopen(fd, "rb") : nullptr;
    size_t size = file != nullptr ? static_cast<size_t>(info.st_size) : 0;
    unsigned char *data =
        file != nullptr ? static_cast<unsigned char *>(malloc(size + 1)) : nullptr;
    if (data == nullptr) {
        if (file != nullptr) {
            fclose(file);
        } else if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    size = fread(data, 1, size, file);
    fclose(file);
    data[size] = 0;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        bool decoded = DecodeUtf16(data, size, text);
        free(data);
        return decoded;
    }
    // Anything else is ANSI, a UTF-8 BOM included: Windows does not know it
    // and reads its three bytes as part of the first line.
    text->bytes = reinterpret_cast<char *>(data);
    text->length = size;
    return true;
}

// Where a name or value read from start to end stops: at its first NUL.
const char *CutAtNul(const char *start, const char *end) {
    const void *nul = memchr(start, 0, static_cast<size_t>(end - start));
    return nul != nullptr ? static_cast<const char *>(nul) : end;
}

enum LineKind { kLineSkipped, kLineSection, kLineKey };

struct Line {
    LineKind kind;
    const char *name; // section or key name, trimmed
    const char *nameEnd;
    const char *value; // key lines with '=' only
    const char *valueEnd;
    bool hasValue;
};

// Splits off the next line (CR LF, LF or a lone CR ends it) and classifies it.
// False at the end of the text.
bool NextLine(const Text *text, size_t *position, Line *line) {
    if (*position >= text->length)
        return false;
    const char *start = text->bytes + *position;
    const char *limit = text->bytes + text->length;
    const char *end = start;
    while (end < limit && *end != '\r' && *end != '\n')
        end++;
    const char *next = end;
    if (next < limit && *next == '\r')
        next++;
    if (next < limit && *next == '\n' && (next == end || next[-1] == '\r'))
        next++;
    *position = static_cast<size_t>(next - text->bytes);

    memset(line, 0, sizeof *line);
    line->kind = kLineSkipped;
    while (start < end && IsBlank(*start))
        start++;
    if (start == end || *start == ';')
        return true;
    if (*start == '[') {
        // The name ends at the first ']'; without one, at the end of the line.
        const char *name = start + 1;
        const char *close = name;
        while (close < end && *close != ']')
            close++;
        TrimBlanks(&name, &close);
        line->kind = kLineSection;
        line->name = name;
        line->nameEnd = CutAtNul(name, close);
        return true;
    }
    const char *equals =
        static_cast<const char *>(memchr(start, '=', static_cast<size_t>(end - start)));
    const char *keyEnd = equals != nullptr ? equals : end;
    TrimBlanks(&start, &keyEnd);
    line->kind = kLineKey;
    line->name = start;
    line->nameEnd = CutAtNul(start, keyEnd);
    if (equals != nullptr) {
        const char *value = equals + 1;
        const char *valueEnd = end;
        TrimBlanks(&value, &valueEnd);
        // One outer pair of the same quote goes.
        if (valueEnd - value >= 2 && (*value == '"' || *value == '\'') && valueEnd[-1] == *value) {
            value++;
            valueEnd--;
        }
        line->hasValue = true;
        line->value = value;
        line->valueEnd = CutAtNul(value, valueEnd);
    }
    return true;
}

// Names compare without regard to the case of A-Z only: Wine leaves other
// letters (e acute against E acute) unequal, and nothing shows Windows does
// otherwise.
bool NameIs(const Line *line, const char *start) {
    size_t length = static_cast<size_t>(line->nameEnd - line->name);
    if (length != strlen(start))
        return false;
    for (size_t i = 0; i < length; i++) {
        char a = line->name[i];
        char b = start[i];
        if (a >= 'a' && a <= 'z')
            a = static_cast<char>(a - 0x20);
        if (b >= 'a' && b <= 'z')
            b = static_cast<char>(b - 0x20);
        if (a != b)
            return false;
    }
    return true;
}

// Copies a string into the caller's buffer: at most nSize-1 characters and
// a NUL. Returns the characters copied.
DWORD CopyString(const char *start, size_t length, LPSTR buffer, DWORD nSize) {
    if (length > nSize - 1)
        length = nSize - 1;
    memcpy(buffer, start, length);
    buffer[length] = 0;
    return static_cast<DWORD>(length);
}

// The value of app/key in the first block of the section; false if absent.
bool FindValue(const Text *text, LPCSTR app, LPCSTR key, const char **value,
               const char **valueEnd) {
    size_t position = 0;
    bool inSection = false;
    Line line;
    while (NextLine(text, &position, &line)) {
        if (line.kind == kLineSection) {
            if (inSection)
                return false;
            inSection = NameIs(&line, app);
        } else if (line.kind == kLineKey && inSection && line.hasValue && NameIs(&line, key)) {
            *value = line.value;
            *valueEnd = line.valueEnd;
            return true;
        }
    }
    return false;
}

} // namespace

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (lpReturnedString == nullptr || nSize == 0)
        return 0;
    // A missing value gives the default as it stands (the programs pass "").
    const char *value = lpDefault != nullptr ? lpDefault : "";
    const char *valueEnd = value + strlen(value);
    Text text = {nullptr, 0};
    if (lpAppName == nullptr || lpKeyName == nullptr) {
        value = valueEnd;
    } else if (LoadText(lpFileName, &text)) {
        FindValue(&text, lpAppName, lpKeyName, &value, &valueEnd);
    }
    DWORD result =
        CopyString(value, static_cast<size_t>(valueEnd - value), lpReturnedString, nSize);
    free(text.bytes);
    return result;
}
