// What the fuzz targets share: one scratch folder per process, DOS paths of
// files in it, whole-file reads and writes, and a report that stops the
// fuzzer on a broken property with the input saved as a crash artifact.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

// Prints what went wrong and aborts, which libFuzzer records as a crash.
#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition);        \
            fprintf(stderr, __VA_ARGS__);                                                          \
            fputc('\n', stderr);                                                                   \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

namespace fuzz {

// A folder below $TMPDIR (or /tmp) that lives as long as the process; it is
// removed at exit, so many fuzzing runs leave nothing behind.
inline const std::string &ScratchFolder() {
    static std::string folder;
    if (folder.empty()) {
        const char *base = getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/regost-fuzz-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) {
            perror("mkdtemp");
            abort();
        }
        folder = pattern;
        atexit([] {
            std::string command = "rm -rf '" + folder + "'";
            if (system(command.c_str()) != 0)
                fprintf(stderr, "could not remove %s\n", folder.c_str());
        });
    }
    return folder;
}

inline std::string ScratchFile(const char *name) {
    return ScratchFolder() + "/" + name;
}

// The path as the program sees it: Z: and backslashes.
inline std::string DosPath(const std::string &unixPath) {
    std::string dos = "Z:" + unixPath;
    for (char &c : dos)
        if (c == '/')
            c = '\\';
    return dos;
}

inline void WriteFile(const std::string &path, const std::string &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        perror(path.c_str());
        abort();
    }
    fclose(file);
}

// The whole file; empty when it does not exist.
inline std::string ReadFile(const std::string &path) {
    std::string bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    char block[65536];
    size_t n;
    while ((n = fread(block, 1, sizeof block, file)) > 0)
        bytes.append(block, n);
    fclose(file);
    return bytes;
}

inline bool FileExists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

// Takes bytes up to the next NUL (or the end) off the front of the input.
inline std::string TakeField(const uint8_t *&data, size_t &size) {
    const void *nul = memchr(data, 0, size);
    size_t length =
        nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t *>(nul) - data) : size;
    std::string field(reinterpret_cast<const char *>(data), length);
    size_t used = nul != nullptr ? length + 1 : length;
    data += used;
    size -= used;
    return field;
}

inline unsigned TakeByte(const uint8_t *&data, size_t &size) {
    if (size == 0)
        return 0;
    --size;
    return *data++;
}

} // namespace fuzz
