// GetPrivateProfileStringA of the stand-in on any file, any names and any
// buffer size. The program trusts it to deliver at most nSize-1 characters
// and a NUL, and never to touch a byte past nSize.
//
// Input: a flags byte (1: no section name, 2: no key name, 4: no default,
// 8: the file is missing), two bytes of nSize (little-endian), then the
// section name, the key name and the default, each ended by a NUL, then the
// file's bytes.
#include "fuzz_support.h"

#include <stdint.h>

#include <vector>

#include "platform/win32.h"

namespace {

constexpr size_t kGuard = 32;
constexpr uint8_t kSentinel = 0xA5;

struct Request {
    const char *section;
    const char *key;
    const char *fallback;
    const char *file;
};

DWORD Read(const Request &r, char *buffer, DWORD size) {
    return GetPrivateProfileStringA(r.section, r.key, r.fallback, buffer, size, r.file);
}

// Calls with a buffer of exactly nSize bytes between two guards of sentinel
// bytes and checks that the guards survived and the text is terminated.
std::string ReadGuarded(const Request &r, DWORD nSize, bool list) {
    std::vector<uint8_t> block(kGuard + nSize + kGuard, kSentinel);
    char *buffer = reinterpret_cast<char *>(block.data() + kGuard);
    DWORD result = Read(r, buffer, nSize);
    for (size_t i = 0; i < kGuard; ++i) {
        FUZZ_CHECK(block[i] == kSentinel, "byte %zu before the buffer was written", kGuard - i);
        FUZZ_CHECK(block[kGuard + nSize + i] == kSentinel, "byte %zu past nSize %u was written", i,
                   nSize);
    }
    if (nSize == 0) {
        FUZZ_CHECK(result == 0, "nSize 0 returned %u", result);
        return std::string();
    }
    FUZZ_CHECK(result <= nSize - 1, "returned %u characters for nSize %u", result, nSize);
    FUZZ_CHECK(buffer[result] == '\0', "no NUL after the %u characters returned", result);
    // With a null section or key name (the list forms, which the program
    // never asks for) the answer is empty.
    FUZZ_CHECK(!list || result == 0, "a null name gave %u characters", result);
    FUZZ_CHECK(strlen(buffer) == result, "a NUL inside the value: length %zu, returned %u",
               strlen(buffer), result);
    return std::string(buffer, result);
}

// ASan's view of the same call: a heap block of exactly nSize bytes.
void ReadExact(const Request &r, DWORD nSize) {
    if (nSize == 0)
        return;
    char *buffer = static_cast<char *>(malloc(nSize));
    Read(r, buffer, nSize);
    free(buffer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    unsigned flags = fuzz::TakeByte(data, size);
    DWORD nSize = fuzz::TakeByte(data, size);
    nSize |= fuzz::TakeByte(data, size) << 8;
    std::string section = fuzz::TakeField(data, size);
    std::string key = fuzz::TakeField(data, size);
    std::string fallback = fuzz::TakeField(data, size);
    std::string content(reinterpret_cast<const char *>(data), size);

    static const std::string path = fuzz::ScratchFile("setup.ini");
    static const std::string dosPath = fuzz::DosPath(path);
    static const std::string missing = fuzz::DosPath(fuzz::ScratchFile("missing.ini"));
    fuzz::WriteFile(path, content);

    Request request = {(flags & 1) ? nullptr : section.c_str(), (flags & 2) ? nullptr : key.c_str(),
                       (flags & 4) ? nullptr : fallback.c_str(),
                       (flags & 8) ? missing.c_str() : dosPath.c_str()};
    bool list = request.section == nullptr || request.key == nullptr;

    ReadExact(request, nSize);
    // The size every read of the program uses.
    ReadGuarded(request, 512, list);
    std::string got = ReadGuarded(request, nSize, list);

    // A buffer large enough for anything the file or the default could give:
    // the answer cut to nSize must be a prefix of this one.
    DWORD roomy = static_cast<DWORD>(content.size() + fallback.size() + 2);
    std::string whole = ReadGuarded(request, roomy, list);
    if (nSize == 0)
        return 0;
    FUZZ_CHECK(whole.compare(0, got.size(), got) == 0 &&
                   got.size() == std::min<size_t>(whole.size(), nSize - 1),
               "cut to nSize %u gave %zu characters, not the first of %zu", nSize, got.size(),
               whole.size());
    // Nothing is made up: the value comes from the file (an ANSI one is
    // read as it is) or is the default less its trailing blanks.
    bool ansi = content.size() < 2 || static_cast<uint8_t>(content[0]) != 0xFF ||
                static_cast<uint8_t>(content[1]) != 0xFE;
    const std::string asDefault = request.fallback != nullptr ? request.fallback : "";
    bool fromDefault = asDefault.compare(0, whole.size(), whole) == 0;
    bool fromFile = !(flags & 8) && (!ansi || content.find(whole) != std::string::npos);
    FUZZ_CHECK(fromDefault || fromFile, "\"%s\" is neither in the file nor the default",
               whole.c_str());
    return 0;
}
