// The path handling of the driver on any name: SplitPath, CheckSetupFile and
// FindProgramDirectory. Each part of a split path is cut to 255 characters
// and terminated; the setup-file path and the program directory stay inside
// their 512-byte buffers.
//
// Input: a flags byte (1: a program directory follows the path, 2: the path
// is also given as the module's file name), the path up to a NUL, then the
// program directory.
#include "fuzz_support.h"

#include <stdint.h>

#include "driver/driver.h"
#include "platform/posix/standin.h"

namespace {

struct GuardedParts {
    PathParts parts;
    char guard[32];
};

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Every part is terminated within its array, and the parts put together give
// the path back as far as no part was cut.
void CheckSplit(const std::string &path) {
    GuardedParts split;
    memset(&split, 0xA5, sizeof split);
    SplitPath(path.c_str(), &split.parts);
    for (char c : split.guard)
        FUZZ_CHECK(c == static_cast<char>(0xA5), "SplitPath wrote past the extension");
    const PathParts &p = split.parts;
    FUZZ_CHECK(memchr(p.drive, 0, sizeof p.drive) != nullptr, "drive not terminated");
    FUZZ_CHECK(memchr(p.directory, 0, sizeof p.directory) != nullptr, "directory not terminated");
    FUZZ_CHECK(memchr(p.fileName, 0, sizeof p.fileName) != nullptr, "file name not terminated");
    FUZZ_CHECK(memchr(p.extension, 0, sizeof p.extension) != nullptr, "extension not terminated");

    size_t directory = strlen(p.directory);
    size_t fileName = strlen(p.fileName);
    size_t extension = strlen(p.extension);
    FUZZ_CHECK(directory == 0 || IsSeparator(p.directory[directory - 1]) ||
                   directory == kPathPartSize - 1,
               "directory \"%s\" does not end in a separator", p.directory);
    FUZZ_CHECK(strpbrk(p.fileName, "\\/") == nullptr, "file name \"%s\" holds a separator",
               p.fileName);
    FUZZ_CHECK(extension == 0 || (p.extension[0] == '.' && strpbrk(p.extension, "\\/") == nullptr),
               "extension \"%s\"", p.extension);

    const size_t longest = kPathPartSize - 1;
    std::string rebuilt = std::string(p.drive) + p.directory;
    if (directory < longest) {
        rebuilt += p.fileName;
        if (fileName < longest)
            rebuilt += p.extension;
    }
    FUZZ_CHECK(path.compare(0, rebuilt.size(), rebuilt) == 0, "parts do not give \"%s\" back",
               path.c_str());
    if (directory < longest && fileName < longest && extension < longest)
        FUZZ_CHECK(rebuilt == path, "parts give \"%s\", not \"%s\"", rebuilt.c_str(), path.c_str());
}

// A bare name is completed with the program directory, nothing else is
// changed, and the buffer keeps its NUL.
void CheckSetupFilePath(const std::string &path, const std::string &directory) {
    char *buffer = static_cast<char *>(malloc(kPathBufferSize));
    size_t length = path.size() < kPathBufferSize ? path.size() : kPathBufferSize - 1;
    memcpy(buffer, path.data(), length);
    buffer[length] = '\0';
    std::string given = buffer;

    bool found = CheckSetupFile(buffer, directory.c_str());
    FUZZ_CHECK(memchr(buffer, 0, kPathBufferSize) != nullptr, "setup file path not terminated");
    std::string after = buffer;
    FUZZ_CHECK(after == given || after == directory + given,
               "\"%s\" became \"%s\" (program directory \"%s\")", given.c_str(), after.c_str(),
               directory.c_str());
    if (found)
        FUZZ_CHECK(fuzz::FileExists(fuzz::ScratchFile("RegOST.ini")), "found a missing file");
    free(buffer);
}

// The program directory is the module's file name up to its last separator.
void CheckProgramDirectory(const std::string &moduleName) {
    SetStandInModuleFileName(moduleName.c_str());
    char directory[kPathBufferSize + 32];
    memset(directory, 0xA5, sizeof directory);
    FindProgramDirectory("", directory);
    SetStandInModuleFileName(nullptr);
    for (size_t i = kPathBufferSize; i < sizeof directory; ++i)
        FUZZ_CHECK(directory[i] == static_cast<char>(0xA5), "wrote %zu bytes past the directory",
                   i - kPathBufferSize + 1);
    FUZZ_CHECK(memchr(directory, 0, kPathBufferSize) != nullptr, "directory not terminated");
    size_t length = strlen(directory);
    FUZZ_CHECK(length == 0 || (moduleName.compare(0, length, directory) == 0 &&
                               IsSeparator(directory[length - 1])),
               "directory \"%s\" of \"%s\"", directory, moduleName.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string folder = fuzz::DosPath(fuzz::ScratchFolder()) + "\\";
    static bool prepared = false;
    if (!prepared) {
        fuzz::WriteFile(fuzz::ScratchFile("RegOST.ini"), "[VERSION]\r\nVersion=17.1\r\n");
        prepared = true;
    }
    unsigned flags = fuzz::TakeByte(data, size);
    std::string path = fuzz::TakeField(data, size);
    std::string directory = folder;
    if (flags & 1) {
        directory = fuzz::TakeField(data, size);
        if (directory.size() >= kPathBufferSize)
            directory.resize(kPathBufferSize - 1);
    }

    CheckSplit(path);
    CheckSetupFilePath(path, directory);
    // An empty or overlong name leaves the stand-in reporting the real file.
    if ((flags & 2) && !path.empty() && path.size() < 4096)
        CheckProgramDirectory(path);
    ResetRunForTests();
    return 0;
}
