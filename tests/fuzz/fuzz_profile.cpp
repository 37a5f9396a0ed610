// GetPrivateProfileStringA of the simulation on any file and any names, as
// the programs call it (default "", a buffer of 512 bytes). They trust it to
// deliver at most 511 characters and a NUL, never to touch a byte past the
// buffer, and to make nothing up.
//
// Input: a flags byte (1: the file is missing), the section name and the key
// name, each ended by a NUL, then the file's bytes.
#include "fuzz_support.h"

#include <stdint.h>

#include <vector>

#include "platform/win32.h"

namespace {

constexpr size_t kGuard = 32;
constexpr DWORD kSize = 512;
constexpr uint8_t kSentinel = 0xA5;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    unsigned flags = fuzz::TakeByte(data, size);
    std::string section = fuzz::TakeField(data, size);
    std::string key = fuzz::TakeField(data, size);
    std::string content(reinterpret_cast<const char *>(data), size);

    static const std::string path = fuzz::ScratchFile("setup.ini");
    static const std::string dosPath = fuzz::DosPath(path);
    static const std::string missing = fuzz::DosPath(fuzz::ScratchFile("missing.ini"));
    fuzz::WriteFile(path, content);

    // A buffer of exactly 512 bytes between two guards of sentinel bytes.
    std::vector<uint8_t> block(kGuard + kSize + kGuard, kSentinel);
    char *buffer = reinterpret_cast<char *>(block.data() + kGuard);
    DWORD result = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, kSize,
                                            (flags & 1) ? missing.c_str() : dosPath.c_str());
    for (size_t i = 0; i < kGuard; ++i) {
        FUZZ_CHECK(block[i] == kSentinel, "byte %zu before the buffer was written", kGuard - i);
        FUZZ_CHECK(block[kGuard + kSize + i] == kSentinel, "byte %zu past the buffer was written",
                   i);
    }
    FUZZ_CHECK(result <= kSize - 1, "returned %u characters", result);
    FUZZ_CHECK(buffer[result] == '\0', "no NUL after the %u characters returned", result);
    FUZZ_CHECK(strlen(buffer) == result, "a NUL inside the value: length %zu, returned %u",
               strlen(buffer), result);
    // Nothing is made up: the value comes from the file (an ANSI one is read
    // as it is).
    bool ansi = content.size() < 2 || static_cast<uint8_t>(content[0]) != 0xFF ||
                static_cast<uint8_t>(content[1]) != 0xFE;
    FUZZ_CHECK(result == 0 ||
                   (!(flags & 1) && (!ansi || content.find(buffer) != std::string::npos)),
               "\"%s\" is not in the file", buffer);
    return 0;
}
