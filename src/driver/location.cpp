// Where the program is and whether its setup file is there.
#include <string.h>

#include "driver/driver.h"

void UpperCaseInPlace(char *text) {
    for (; *text != '\0'; ++text)
        *text = UpperAscii(*text);
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
    bool absolute =
        (source[0] != '\0' && source[1] == ':') || source[0] == '\\' || source[0] == '/';
    size_t keep = 0;
    for (size_t i = 0; absolute && source[i] != '\0'; ++i) {
        if (source[i] == '\\' || source[i] == '/')
            keep = i + 1;
    }
    memcpy(directory, source, keep);
    directory[keep] = '\0';
}

unsigned long FolderHash(const char *programDirectory) {
    uint32_t hash = kFnvOffsetBasis;
    for (const char *c = programDirectory; *c != '\0'; ++c)
        hash = HashUpperCased(hash, *c == '/' ? '\\' : *c);
    return hash;
}

bool CheckSetupFile(const char *path) {
    FILE *file = OpenDosStream(path, "r");
    if (file == nullptr)
        return false;
    fclose(file);
    return true;
}
