// The add-on file a loader path names: whether it is there, and which
// machine it was built for when it is a Windows image. An AutoCAD loads only
// an add-on of its own machine, and fails on the other with a message that
// does not say why.
#include <errno.h>

#include "ctl/ctl.h"
#include "log/log.h"

namespace {

constexpr size_t kDosHeaderSize = 64;
constexpr size_t kNewHeaderOffsetAt = 0x3C; // e_lfanew
// No loader maps headers that far in; the bound also keeps the offset a
// positive long for fseek on a 32-bit C library.
constexpr DWORD kLargestNewHeaderOffset = 0x10000000;

DWORD LittleEndian32(const unsigned char *bytes) {
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
           static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

// The machine of IMAGE_FILE_HEADER when file holds "MZ", a new-header
// offset within bounds and "PE\0\0" there; 0 otherwise.
WORD ReadImageMachine(FILE *file) {
    unsigned char dosHeader[kDosHeaderSize];
    if (fread(dosHeader, 1, sizeof dosHeader, file) != sizeof dosHeader || dosHeader[0] != 'M' ||
        dosHeader[1] != 'Z')
        return 0;
    DWORD offset = LittleEndian32(dosHeader + kNewHeaderOffsetAt);
    unsigned char signature[6]; // "PE\0\0" and the file header's Machine
    if (offset > kLargestNewHeaderOffset || fseek(file, static_cast<long>(offset), SEEK_SET) != 0 ||
        fread(signature, 1, sizeof signature, file) != sizeof signature ||
        memcmp(signature, "PE\0\0", 4) != 0)
        return 0;
    return static_cast<WORD>(signature[4] | signature[5] << 8);
}

} // namespace

LoaderFile ExamineLoaderFile(const char *path, WORD *machine) {
    *machine = 0;
    // Found as the setup file's loader is found: a pattern that matches counts.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return LoaderFile::Missing;
    FindClose(search);
    // A folder is no add-on file, whatever it is called.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return LoaderFile::Missing;
    errno = 0;
    FILE *file = OpenDosStream(path, "rb");
    // Refused (held without sharing by another program, or not ours to
    // read), the file cannot be judged, and AutoCAD may not load it either; a
    // name that opens nothing (a pattern) or a device is merely no image.
    if (file == nullptr)
        return errno == EACCES ? LoaderFile::Unreadable : LoaderFile::NoVerdict;
    if (IsDeviceStream(file)) { // nothing to read there, and reading may wait
        fclose(file);
        return LoaderFile::NoVerdict;
    }
    // A file of no bytes (a copy that failed, say) is no add-on AutoCAD can load.
    bool empty = fgetc(file) == EOF;
    bool failed = ferror(file) != 0;
    rewind(file);
    *machine = empty ? 0 : ReadImageMachine(file);
    fclose(file);
    if (empty)
        return failed ? LoaderFile::Unreadable : LoaderFile::Empty;
    // Only the two machines RegOST is built for get a verdict: an image of any
    // other kind may still load where neither build can judge it.
    if (*machine != IMAGE_FILE_MACHINE_AMD64 && *machine != IMAGE_FILE_MACHINE_I386)
        return LoaderFile::NoVerdict;
    return *machine == BuildImageMachine() ? LoaderFile::ThisMachine : LoaderFile::OtherMachine;
}

void WriteOtherMachineLine(const char *head, const char *path, WORD machine) {
    // Of the two machines, the file's is the one the build is not for.
    WriteProgressLine(head, path,
                      machine == IMAGE_FILE_MACHINE_AMD64 ? " -- x86-64, not i386.\n"
                                                          : " -- i386, not x86-64.\n");
}
