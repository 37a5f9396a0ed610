// GetPrivateProfileStringA as Windows reads an INI file, where Wine differs
// too (comment lines, lines before the first section, "[A]b]", "[C", a
// UTF-8 BOM). A NUL ends a name or value, not the line, as in Wine.
#include "platform/posix/dos_path.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <string>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0x1A; // 0x1A: DOS end of file
}

// line[begin, end) without the blanks around it.
std::string Trimmed(const std::string &line, size_t begin, size_t end) {
    while (begin < end && IsBlank(line[begin]))
        ++begin;
    while (end > begin && IsBlank(line[end - 1]))
        --end;
    return line.substr(begin, end - begin);
}

// Names (up to a NUL) compare without the case of A-Z only, as Wine does (e
// acute and E acute differ), and nothing shows Windows does otherwise.
bool NameIs(const std::string &name, const char *wanted) {
    return strcasecmp(name.substr(0, name.find('\0')).c_str(), wanted) == 0;
}

// The whole file as cp1252 bytes (a UTF-16LE file converted); false when
// there is none. A bare name means the Windows folder, which is missing here.
bool LoadText(const char *fileName, std::string *text) {
    char unixPath[kSimulationPathSize];
    DosLookup lookup;
    if (!fileName || !strpbrk(fileName, "\\/:") ||
        LookUpDosPath(fileName, unixPath, sizeof unixPath, &lookup) != 0 || lookup != kDosFound)
        return false;
    int fd = OpenRegularFile(unixPath, O_RDONLY);
    if (fd < 0)
        return false;
    char block[65536];
    for (ssize_t n; (n = read(fd, block, sizeof block)) > 0;)
        text->append(block, static_cast<size_t>(n));
    close(fd);
    // A UTF-8 BOM is no BOM to Windows: its bytes are part of line 1.
    if (text->compare(0, 2, "\xFF\xFE") == 0) {
        std::string utf16;
        utf16.swap(*text);
        Utf16LeToCp1252(utf16.data() + 2, (utf16.size() - 2) / 2, text);
    }
    return true;
}

// The value of key in the first block of [section]; false if absent. CR LF,
// LF and a lone CR end a line.
bool FindValue(const std::string &text, const char *section, const char *key, std::string *value) {
    bool inSection = false;
    for (size_t pos = 0, end; pos < text.size();
         pos = end + (text.compare(end, 2, "\r\n") ? 1 : 2)) {
        end = std::min(text.find_first_of("\r\n", pos), text.size());
        std::string line = text.substr(pos, end - pos);
        size_t start = 0;
        while (start < line.size() && IsBlank(line[start]))
            ++start;
        if (start == line.size() || line[start] == ';')
            continue;
        if (line[start] == '[') { // the name ends at the first ']', or the line's end
            if (inSection)
                return false;
            inSection =
                NameIs(Trimmed(line, start + 1, std::min(line.find(']'), line.size())), section);
            continue;
        }
        size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos || !NameIs(Trimmed(line, start, equals), key))
            continue;
        std::string v = Trimmed(line, equals + 1, line.size());
        if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
            v = v.substr(1, v.size() - 2);  // one outer pair of the same quote goes
        *value = v.substr(0, v.find('\0')); // a NUL ends it
        return true;
    }
    return false;
}

} // namespace

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString || nSize == 0)
        return 0;
    std::string text, value = lpDefault ? lpDefault : "";
    if (!lpAppName || !lpKeyName)
        value.clear(); // the list forms are not offered
    else if (LoadText(lpFileName, &text))
        FindValue(text, lpAppName, lpKeyName, &value);
    size_t length = std::min(value.size(), static_cast<size_t>(nSize - 1));
    memcpy(lpReturnedString, value.data(), length);
    lpReturnedString[length] = 0;
    return static_cast<DWORD>(length);
}
