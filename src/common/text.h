// The floor under the whole core: the sizes of its fixed buffers, the one
// bounded join that fills them with paths and key paths, and the one way
// names are compared and hashed without regard to case. It includes only the
// C library, so every other floor may include it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

constexpr size_t kPathBufferSize = 512;       // paths, key paths, texts: at most 511 characters
constexpr size_t kArgumentBufferSize = 28;    // a switch: at most 27 characters
constexpr size_t kReleaseNumberSize = 5;      // "17.1"
constexpr size_t kReleaseKeyNameSize = 6;     // "R17.1"
constexpr size_t kLineBufferSize = 200;       // a composed log line: at most 199 characters
constexpr size_t kHeldLinesBufferSize = 4096; // progress lines held to go out together
constexpr size_t kSubkeyNameBufferSize = 200; // a listed subkey name: at most 199 characters
constexpr size_t kNumberTextSize = 11;        // a 32-bit number in decimal: "4294967295"
constexpr size_t kHeaderTextSize = 9;         // the log header's "MM/DD/YY" and "HH:MM:SS"
constexpr size_t kRecordLineBufferSize = 528; // a TEMPTXT.log line: label, 511 characters, CR LF
constexpr size_t kVersionTextSize = 24;       // "65535,65535,65535,65535"

// The length of a fixed text, for the static_asserts that prove a join fits.
template <size_t N> constexpr size_t TextLength(const char (&)[N]) {
    return N - 1;
}

// Joins a, b and c into out (kPathBufferSize bytes; it must not overlap them).
// False, with out empty, when they do not fit; nothing is ever written past
// the buffer.
inline bool JoinText(char *out, const char *a, const char *b, const char *c = "") {
    size_t lengths[] = {strlen(a), strlen(b), strlen(c)};
    if (lengths[0] + lengths[1] + lengths[2] >= kPathBufferSize) {
        out[0] = '\0';
        return false;
    }
    memcpy(out, a, lengths[0]);
    memcpy(out + lengths[0], b, lengths[1]);
    memcpy(out + lengths[0] + lengths[1], c, lengths[2] + 1);
    return true;
}

// What goes between a folder and a name: a backslash, unless the folder ends
// in one already.
inline const char *SeparatorAfter(const char *folder) {
    size_t length = strlen(folder);
    return length > 0 && folder[length - 1] != '\\' ? "\\" : "";
}

// Upper case for the ASCII letters only, the same whatever the machine's
// locale or code page: switches, release keys, registry names and folders
// compare so. The registry folds more (every letter, in Unicode): two names
// that differ only in the case of a letter outside ASCII are one name there
// and two here. The names the program writes are ASCII.
inline char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether a and b begin with the same length characters, but for case.
inline bool SameTextIgnoringCase(const char *a, const char *b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i]))
            return false;
    }
    return true;
}

// The 32-bit FNV-1a hash of names upper-cased: start from kFnvOffsetBasis and
// add each character in turn.
constexpr uint32_t kFnvOffsetBasis = 2166136261u;
inline uint32_t HashUpperCased(uint32_t hash, char c) {
    return (hash ^ static_cast<unsigned char>(UpperAscii(c))) * 16777619u;
}
