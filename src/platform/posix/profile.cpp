// GetPrivateProfileStringA as Windows reads an INI file. Where Wine reads
// differently (comment lines, lines before the first section, "[A]b]", a
// header without "]", a UTF-8 BOM, tabs around the names asked for, quotes
// in the default, truncated quoted values), Windows is followed, since the
// Linux build is meant to predict what the program does on Windows.
//
// With a null section name the section names are listed, with a null key
// name the key names of the section (each name NUL-terminated, the list
// ending in a second NUL), in the form Windows documents for both.
#include "platform/posix/dos_path.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

struct Text {
    char *bytes;
    size_t length;
};

static bool IsBlank(char c) {
    // 0x1A is what DOS editors left at the end of a file.
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A;
}

static void TrimBlanks(const char **start, const char **end) {
    while (*start < *end && IsBlank(**start)) {
        (*start)++;
    }
    while (*end > *start && IsBlank((*end)[-1])) {
        (*end)--;
    }
}

// UTF-16LE after its BOM, turned into cp1252 as WideCharToMultiByte would
// (a character cp1252 lacks becomes '?').
static bool DecodeUtf16(const unsigned char *data, size_t length, Text *text) {
    size_t units = (length - 2) / 2;
    text->bytes = (char *)malloc(units + 1);
    if (text->bytes == NULL) {
        return false;
    }
    size_t used = 0;
    for (size_t i = 0; i < units; i++) {
        uint32_t unit = (uint32_t)data[2 + 2 * i] | ((uint32_t)data[3 + 2 * i] << 8);
        if (unit == 0) {
            break; // the text ends at a NUL
        }
        unsigned char byte;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            uint32_t next = (uint32_t)data[4 + 2 * i] | ((uint32_t)data[5 + 2 * i] << 8);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                i++; // one character, one '?'
            }
            byte = '?';
        } else if (!UnicodeToCp1252(unit, &byte)) {
            byte = '?';
        }
        text->bytes[used++] = (char)byte;
    }
    text->bytes[used] = 0;
    text->length = used;
    return true;
}

// Reads the whole file. False (and the Win32 error set) when there is none.
static bool LoadText(const char *fileName, Text *text) {
    char unixPath[STANDIN_PATH_SIZE];
    DosLookup lookup = kDosFolderMissing;
    text->bytes = NULL;
    text->length = 0;
    if (fileName == NULL || strpbrk(fileName, "\\/:") == NULL) {
        // A bare name means the Windows folder, which the stand-in lacks.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    DWORD error = LookUpDosPath(fileName, unixPath, sizeof unixPath, &lookup);
    if (error != 0 || lookup != kDosFound) {
        SetLastError(error == 0 && lookup == kDosLastMissing ? ERROR_FILE_NOT_FOUND
                                                             : ERROR_PATH_NOT_FOUND);
        return false;
    }
    FILE *file = fopen(unixPath, "rb");
    struct stat info;
    if (file == NULL || fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (file != NULL) {
            fclose(file);
        }
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    size_t size = (size_t)info.st_size;
    unsigned char *data = (unsigned char *)malloc(size + 1);
    if (data == NULL) {
        fclose(file);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    size = fread(data, 1, size, file);
    fclose(file);
    data[size] = 0;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        bool decoded = DecodeUtf16(data, size, text);
        free(data);
        if (!decoded) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        }
        return decoded;
    }
    // Anything else is ANSI, a UTF-8 BOM included: Windows does not know it
    // and reads its three bytes as part of the first line. A NUL ends the text.
    text->bytes = (char *)data;
    text->length = strlen((char *)data);
    return true;
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
static bool NextLine(const Text *text, size_t *position, Line *line) {
    if (*position >= text->length) {
        return false;
    }
    const char *start = text->bytes + *position;
    const char *limit = text->bytes + text->length;
    const char *end = start;
    while (end < limit && *end != '\r' && *end != '\n') {
        end++;
    }
    const char *next = end;
    if (next < limit && *next == '\r') {
        next++;
    }
    if (next < limit && *next == '\n' && (next == end || next[-1] == '\r')) {
        next++;
    }
    *position = (size_t)(next - text->bytes);

    memset(line, 0, sizeof *line);
    line->kind = kLineSkipped;
    while (start < end && IsBlank(*start)) {
        start++;
    }
    if (start == end || *start == ';') {
        return true;
    }
    if (*start == '[') {
        // The name ends at the first ']'; without one, at the end of the line.
        const char *name = start + 1;
        const char *close = name;
        while (close < end && *close != ']') {
            close++;
        }
        TrimBlanks(&name, &close);
        line->kind = kLineSection;
        line->name = name;
        line->nameEnd = close;
        return true;
    }
    const char *equals = (const char *)memchr(start, '=', (size_t)(end - start));
    const char *keyEnd = equals != NULL ? equals : end;
    TrimBlanks(&start, &keyEnd);
    line->kind = kLineKey;
    line->name = start;
    line->nameEnd = keyEnd;
    if (equals != NULL) {
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
        line->valueEnd = valueEnd;
    }
    return true;
}

// A name as asked for: Windows drops spaces around it, but not tabs.
static void TrimAskedName(const char *name, const char **start, const char **end) {
    *start = name;
    *end = name + strlen(name);
    while (*start < *end && **start == ' ') {
        (*start)++;
    }
    while (*end > *start && (*end)[-1] == ' ') {
        (*end)--;
    }
}

// Names compare without regard to the case of A-Z only: Wine leaves other
// letters (e acute against E acute) unequal, and nothing shows Windows does
// otherwise.
static bool NameIs(const Line *line, const char *start, const char *end) {
    size_t length = (size_t)(line->nameEnd - line->name);
    if (length != (size_t)(end - start)) {
        return false;
    }
    for (size_t i = 0; i < length; i++) {
        char a = line->name[i];
        char b = start[i];
        if (a >= 'a' && a <= 'z') {
            a = (char)(a - 0x20);
        }
        if (b >= 'a' && b <= 'z') {
            b = (char)(b - 0x20);
        }
        if (a != b) {
            return false;
        }
    }
    return true;
}

// Copies a string into the caller's buffer: at most nSize-1 characters and
// a NUL. Returns the characters copied; a cut sets ERROR_MORE_DATA.
static DWORD CopyString(const char *start, size_t length, LPSTR buffer, DWORD nSize) {
    if (length > nSize - 1) {
        length = nSize - 1;
        SetLastError(ERROR_MORE_DATA);
    }
    memcpy(buffer, start, length);
    buffer[length] = 0;
    return (DWORD)length;
}

// Copies a list of NUL-terminated names (listLength bytes, the last NUL
// included) and the closing NUL. A list that does not fit is cut, its last
// name ends in two NULs, and nSize-2 is returned.
static DWORD CopyList(const char *list, size_t listLength, LPSTR buffer, DWORD nSize) {
    if (listLength + 1 <= nSize) {
        memcpy(buffer, list, listLength);
        buffer[listLength] = 0;
        return (DWORD)listLength;
    }
    SetLastError(ERROR_MORE_DATA);
    if (nSize < 2) {
        buffer[0] = 0;
        return 0;
    }
    memcpy(buffer, list, nSize - 2);
    buffer[nSize - 2] = 0;
    buffer[nSize - 1] = 0;
    return nSize - 2;
}

// Collects the section names (app == NULL) or the key names of the first
// block of a section into a new list. False when the section is missing or
// memory runs out.
static bool CollectNames(const Text *text, LPCSTR app, char **list, size_t *listLength) {
    const char *appStart = NULL;
    const char *appEnd = NULL;
    if (app != NULL) {
        TrimAskedName(app, &appStart, &appEnd);
    }
    // Names never outgrow the text they come from, plus their NULs.
    char *names = (char *)malloc(text->length + 1);
    if (names == NULL) {
        return false;
    }
    size_t used = 0;
    size_t position = 0;
    bool inSection = false;
    bool found = false;
    Line line;
    while (NextLine(text, &position, &line)) {
        if (line.kind == kLineSection) {
            if (app == NULL) {
                size_t length = (size_t)(line.nameEnd - line.name);
                memcpy(names + used, line.name, length);
                used += length;
                names[used++] = 0;
                found = true;
                continue;
            }
            if (inSection) {
                break; // only the first block of a section counts
            }
            inSection = NameIs(&line, appStart, appEnd);
            found = found || inSection;
        } else if (line.kind == kLineKey && inSection && line.hasValue &&
                   line.nameEnd != line.name) {
            size_t length = (size_t)(line.nameEnd - line.name);
            memcpy(names + used, line.name, length);
            used += length;
            names[used++] = 0;
        }
    }
    if (!found && app != NULL) {
        free(names);
        return false;
    }
    *list = names;
    *listLength = used;
    return true;
}

// The value of app/key in the first block of the section; false if absent.
static bool FindValue(const Text *text, LPCSTR app, LPCSTR key, const char **value,
                      const char **valueEnd) {
    const char *appStart, *appEnd, *keyStart, *keyEnd;
    TrimAskedName(app, &appStart, &appEnd);
    TrimAskedName(key, &keyStart, &keyEnd);
    size_t position = 0;
    bool inSection = false;
    Line line;
    while (NextLine(text, &position, &line)) {
        if (line.kind == kLineSection) {
            if (inSection) {
                return false;
            }
            inSection = NameIs(&line, appStart, appEnd);
        } else if (line.kind == kLineKey && inSection && line.hasValue &&
                   NameIs(&line, keyStart, keyEnd)) {
            *value = line.value;
            *valueEnd = line.valueEnd;
            return true;
        }
    }
    return false;
}

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (lpReturnedString == NULL || nSize == 0) {
        return 0;
    }
    // The default loses its trailing spaces, not its tabs.
    const char *fallback = lpDefault != NULL ? lpDefault : "";
    size_t fallbackLength = strlen(fallback);
    while (fallbackLength > 0 && fallback[fallbackLength - 1] == ' ') {
        fallbackLength--;
    }

    Text text;
    DWORD result;
    if (!LoadText(lpFileName, &text)) {
        if (lpAppName == NULL) {
            return CopyList("", 0, lpReturnedString, nSize);
        }
        return CopyString(fallback, fallbackLength, lpReturnedString, nSize);
    }
    if (lpAppName == NULL || lpKeyName == NULL) {
        char *list = NULL;
        size_t listLength = 0;
        if (CollectNames(&text, lpAppName, &list, &listLength)) {
            result = CopyList(list, listLength, lpReturnedString, nSize);
            free(list);
        } else {
            result = CopyString(fallback, fallbackLength, lpReturnedString, nSize);
        }
    } else {
        const char *value = NULL;
        const char *valueEnd = NULL;
        if (FindValue(&text, lpAppName, lpKeyName, &value, &valueEnd)) {
            result = CopyString(value, (size_t)(valueEnd - value), lpReturnedString, nSize);
        } else {
            result = CopyString(fallback, fallbackLength, lpReturnedString, nSize);
        }
    }
    free(text.bytes);
    return result;
}
