// Where the program is and whether its setup file is there.
#include <string.h>

#include "driver/driver.h"

void UpperCaseInPlace(char *text) {
    // Plain ASCII on purpose: switches and release key names must not depend
    // on the machine's locale or code page.
    for (; *text != '\0'; ++text) {
        if (*text >= 'a' && *text <= 'z')
            *text = static_cast<char>(*text - 'a' + 'A');
    }
}

void FindProgramDirectory(const char *argv0, char *directory) {
    char path[kPathBufferSize];
    const char *source = path;
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    // A result that fills the buffer was cut short and would name a wrong folder.
    if (length == 0 || length >= sizeof path) {
        source = argv0 != nullptr ? argv0 : "";
        if (strlen(source) >= kPathBufferSize)
            source = "";
    }

    // A relative name would make the folder depend on the current folder,
    // which a setup may have left anywhere: such a folder counts as unknown.
    bool absolute = (source[0] != '\0' && source[1] == ':') || source[0] == '\\' ||
                    source[0] == '/';
    size_t keep = 0;
    for (size_t i = 0; absolute && source[i] != '\0'; ++i) {
        if (source[i] == '\\' || source[i] == '/')
            keep = i + 1;
    }
    memcpy(directory, source, keep);
    directory[keep] = '\0';
}

namespace {

void CopyPart(char *part, const char *begin, const char *end) {
    size_t length = static_cast<size_t>(end - begin);
    if (length > kPathPartSize - 1)
        length = kPathPartSize - 1;
    memcpy(part, begin, length);
    part[length] = '\0';
}

} // namespace

void SplitPath(const char *path, PathParts *parts) {
    const char *rest = path;
    if (path[0] != '\0' && path[1] == ':') {
        parts->drive[0] = path[0];
        parts->drive[1] = ':';
        parts->drive[2] = '\0';
        rest = path + 2;
    } else {
        parts->drive[0] = '\0';
    }

    // The second byte of a double-byte character may look like a separator
    // or a dot; step over such characters whole.
    const char *lastSeparator = nullptr;
    const char *lastDot = nullptr;
    const char *end = rest;
    while (*end != '\0') {
        if (IsDBCSLeadByte(static_cast<BYTE>(*end)) && end[1] != '\0') {
            end += 2;
            continue;
        }
        if (*end == '\\' || *end == '/')
            lastSeparator = end;
        else if (*end == '.')
            lastDot = end;
        ++end;
    }

    const char *name = lastSeparator != nullptr ? lastSeparator + 1 : rest;
    CopyPart(parts->directory, rest, name);
    const char *extension = (lastDot != nullptr && lastDot >= name) ? lastDot : end;
    CopyPart(parts->fileName, name, extension);
    CopyPart(parts->extension, extension, end);
}

bool CheckSetupFile(char *path, const char *programDirectory) {
    PathParts parts;
    SplitPath(path, &parts);
    bool hasName = parts.fileName[0] != '\0' && parts.extension[0] != '\0';
    // A rooted or network path (\\server\share\...) is complete as it is.
    bool rooted = path[0] == '\\' || path[0] == '/';

    if (rooted) {
        if (!hasName)
            return false;
    } else if ((parts.drive[0] == '\0' || parts.directory[0] == '\0') && hasName) {
        // An unknown program folder is never the current one.
        if (programDirectory[0] == '\0')
            return false;
        char completed[kPathBufferSize];
        if (!JoinText(completed, programDirectory, path))
            return false;
        memcpy(path, completed, strlen(completed) + 1);
    } else if (parts.drive[0] == '\0' || parts.directory[0] == '\0' || !hasName) {
        return false;
    }

    FILE *file = OpenDosStream(path, "r");
    if (file == nullptr)
        return false;
    fclose(file);
    return true;
}
