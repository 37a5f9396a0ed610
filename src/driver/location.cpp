// Where the program is and whether its setup file is there.
#include <string.h>

#include "driver/driver.h"
#include "log/log.h"

void UpperCaseInPlace(char *text) {
    for (; *text != '\0'; ++text)
        *text = UpperAscii(*text);
}

namespace {

// False when the folder is too long for every file the program opens in it:
// TEMPTXT.log has the longest name.
bool LeavesRoomForFiles(const char *directory) {
    return strlen(directory) + TextLength(kScriptLogName) < MAX_PATH;
}

// The running program's path in the ANSI code page into path. The ANSI call
// would give a name that code page cannot spell with a character that looks
// alike ("A" for "\u0100"), which may name another folder: *exact is false
// then. A file name it cannot spell is left off. False when the platform
// cannot tell, the path does not fit (cut short, it would name a wrong
// folder), or the code page takes no such conversion (UTF-8, which spells
// every name): argv0 stands in then.
bool ReadModulePath(char *path, bool *exact) {
    WCHAR wide[kPathBufferSize];
    DWORD length = GetModuleFileNameW(nullptr, wide, kPathBufferSize);
    int split = 0;
    for (DWORD i = 0; i < length && length < kPathBufferSize; ++i)
        split = wide[i] == '\\' || wide[i] == '/' ? static_cast<int>(i) + 1 : split;
    if (split == 0)
        return false;
    BOOL defaulted = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, split, path,
                                    kPathBufferSize - 1, nullptr, &defaulted);
    if (bytes <= 0)
        return false;
    *exact = defaulted == FALSE;
    int name = static_cast<int>(length) - split;
    int room = static_cast<int>(kPathBufferSize) - 1 - bytes; // 0 would ask for the size
    int nameBytes = name > 0 && room > 0
                        ? WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide + split, name,
                                              path + bytes, room, nullptr, &defaulted)
                        : 0;
    path[bytes + (nameBytes > 0 && defaulted == FALSE ? nameBytes : 0)] = '\0';
    return true;
}

} // namespace

ProgramFolder FindProgramDirectory(const char *argv0, char *directory, char *fileName) {
    char path[kPathBufferSize];
    const char *source = path;
    bool exact = true;
    if (!ReadModulePath(path, &exact)) {
        source = argv0 != nullptr ? argv0 : "";
        if (strlen(source) >= kPathBufferSize)
            source = "";
    }
    directory[0] = '\0';
    fileName[0] = '\0';
    if (!exact)
        return ProgramFolder::NameNotSpelled;

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
    if (!LeavesRoomForFiles(directory)) {
        directory[0] = '\0';
        return ProgramFolder::PathTooLong;
    }
    if (keep > 0)
        memcpy(fileName, source + keep, strlen(source + keep) + 1);
    return ProgramFolder::Usable;
}

const char *RefusedFolderLine(ProgramFolder folder) {
    return folder == ProgramFolder::NameNotSpelled
               ? "Error -- Program folder name cannot be used, nothing done\n\n"
               : "Error -- Program folder path too long, nothing done\n\n";
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
