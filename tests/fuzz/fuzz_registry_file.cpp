// The simulation's registry-file loader on any bytes. A file either loads or
// is refused with a terminated one-line reason and an empty registry; what
// loaded saves to a file that loads again and saves to the same bytes; a
// load closes every handle.
//
// Input: a byte giving the size of the error buffer, then the file's bytes.
#include "fuzz_support.h"

#include <stdint.h>

#include "platform/posix/simulation.h"

namespace {

constexpr char kEmptyRegistry[] = "REGEDIT4\r\n\r\n";

// Loads path; on failure checks the reason and that nothing was kept.
bool Load(const std::string &path, size_t errorSize) {
    char error[300];
    memset(error, 0xA5, sizeof error);
    bool loaded = LoadSimulationRegistry(path.c_str(), errorSize ? error : nullptr, errorSize);
    for (size_t i = errorSize; i < sizeof error; ++i)
        FUZZ_CHECK(error[i] == static_cast<char>(0xA5), "error text past its %zu bytes", errorSize);
    if (errorSize > 0) {
        FUZZ_CHECK(memchr(error, 0, errorSize) != nullptr, "error text not terminated");
        FUZZ_CHECK(strpbrk(error, "\r\n") == nullptr, "error text of more than one line");
        // A reason names its line ("line 12: ..."), as far as the buffer shows it.
        size_t shown = errorSize - 1 < 5 ? errorSize - 1 : 5;
        if (!loaded)
            FUZZ_CHECK(strlen(error) >= shown && strncmp(error, "line ", shown) == 0,
                       "reason \"%s\" does not name a line", error);
        if (loaded)
            FUZZ_CHECK(error[0] == '\0', "loaded, yet a reason \"%s\"", error);
    }
    return loaded;
}

std::string Save(const std::string &path) {
    FUZZ_CHECK(SaveSimulationRegistry(path.c_str()), "cannot save %s", path.c_str());
    return fuzz::ReadFile(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string input = fuzz::ScratchFile("input.reg");
    static const std::string first = fuzz::ScratchFile("first.reg");
    static const std::string second = fuzz::ScratchFile("second.reg");
    size_t errorSize = fuzz::TakeByte(data, size);
    fuzz::WriteFile(input, std::string(reinterpret_cast<const char *>(data), size));

    ResetSimulationRegistry();
    char noClass[] = "";
    HKEY held = nullptr;
    FUZZ_CHECK(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Held", 0, noClass, 0, KEY_WRITE,
                               nullptr, &held, nullptr) == ERROR_SUCCESS,
               "cannot create a key");

    bool loaded = Load(input, errorSize);
    BYTE one = 1;
    FUZZ_CHECK(RegSetValueExA(held, "x", 0, REG_BINARY, &one, 1) == ERROR_INVALID_HANDLE,
               "a handle from before the load still writes");
    FUZZ_CHECK(SimulationOpenHandleCount() == 0, "%d handles left open",
               SimulationOpenHandleCount());

    std::string saved = Save(first);
    if (!loaded) {
        FUZZ_CHECK(saved == kEmptyRegistry, "a refused file left %zu bytes of registry",
                   saved.size());
        return 0;
    }
    FUZZ_CHECK(Load(first, 300), "the saved registry does not load again");
    std::string again = Save(second);
    FUZZ_CHECK(again == saved, "the saved registry changes on a reload (%zu bytes, then %zu)",
               saved.size(), again.size());
    return 0;
}
