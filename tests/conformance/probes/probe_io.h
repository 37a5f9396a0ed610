// What the conformance probes share: the Windows probes (real calls, run
// under Wine) and tests/conformance/simulation_probe.cpp (the Linux simulation)
// read the same requests and print the same answers, so the tests can
// compare them line by line.
//
// A request is one line of tab-separated fields; in a field "\t", "\\" and
// "\xNN" stand for a tab, a backslash and any byte, and "\N" alone for a
// null pointer. Answers escape every byte outside 0x20..0x7E and the
// backslash as "\xNN" / "\\".
#pragma once

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/win32.h"
#endif

namespace probe {

const int kMaxFields = 8;
const size_t kLineSize = 8192;

inline int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Splits line into fields in place, undoing the escapes. Null fields stay
// null pointers. Returns the number of fields.
inline int SplitFields(char *line, char **fields) {
    int count = 0;
    char *p = line;
    while (count < kMaxFields) {
        char *start = p;
        char *out = p;
        bool isNull = (p[0] == '\\' && p[1] == 'N' && (p[2] == '\t' || p[2] == 0));
        while (*p != 0 && *p != '\t') {
            if (*p == '\\' && p[1] == 't') {
                *out++ = '\t';
                p += 2;
            } else if (*p == '\\' && p[1] == '\\') {
                *out++ = '\\';
                p += 2;
            } else if (*p == '\\' && p[1] == 'x' && HexDigit(p[2]) >= 0 && HexDigit(p[3]) >= 0) {
                *out++ = (char)(HexDigit(p[2]) * 16 + HexDigit(p[3]));
                p += 4;
            } else {
                *out++ = *p++;
            }
        }
        bool last = (*p == 0);
        *out = 0;
        fields[count++] = isNull ? NULL : start;
        if (last)
            break;
        p++;
    }
    return count;
}

inline void PrintEscaped(const char *bytes, size_t length) {
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)bytes[i];
        if (c == '\\')
            fputs("\\\\", stdout);
        else if (c >= 0x20 && c <= 0x7E)
            putchar(c);
        else
            printf("\\x%02X", c);
    }
}

inline bool ReadRequest(char *line, size_t size) {
    if (fgets(line, (int)size, stdin) == NULL)
        return false;
    size_t length = strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
        line[--length] = 0;
    return true;
}

// Request: file, section, key, default, buffer size. Answer: the count, a
// blank, the buffer up to its terminator (two for the list forms), and
// " OVERRUN" if bytes past the buffer size were touched.
inline int RunProfileProbe() {
    static char line[kLineSize];
    const DWORD kSlack = 16;
    while (ReadRequest(line, sizeof line)) {
        char *fields[kMaxFields];
        if (SplitFields(line, fields) != 5 || fields[4] == NULL) {
            printf("BAD REQUEST\n");
            continue;
        }
        DWORD size = (DWORD)strtoul(fields[4], NULL, 10);
        char *buffer = (char *)malloc(size + kSlack);
        if (buffer == NULL)
            return 1;
        memset(buffer, 0xCC, size + kSlack);
        DWORD count =
            GetPrivateProfileStringA(fields[1], fields[2], fields[3], buffer, size, fields[0]);
        size_t shown = count + ((fields[1] == NULL || fields[2] == NULL) ? 2 : 1);
        if (shown > size)
            shown = size;
        printf("%lu ", (unsigned long)count);
        PrintEscaped(buffer, shown);
        for (DWORD i = size; i < size + kSlack; i++) {
            if ((unsigned char)buffer[i] != 0xCC) {
                printf(" OVERRUN");
                break;
            }
        }
        printf("\n");
        fflush(stdout);
        free(buffer);
    }
    return 0;
}

// Request: a path or pattern. Answer: "OK" when FindFirstFileA gives a
// handle (FindClose must take it back), "OK DIR" when the entry of a path
// without wildcards is a folder, "ERR" when there is none: the programs ask
// nothing more of it. A request of a path and a mode opens a text stream
// instead (fopen, or the simulation's OpenDosStream): "OK" or "ERR <errno>".
inline int RunFindProbe() {
    static char line[kLineSize];
    while (ReadRequest(line, sizeof line)) {
        char *fields[kMaxFields];
        int count = SplitFields(line, fields);
        if (count == 2 && fields[0] != NULL && fields[1] != NULL) {
            errno = 0;
#ifdef _WIN32
            FILE *file = fopen(fields[0], fields[1]);
#else
            FILE *file = OpenDosStream(fields[0], fields[1]);
#endif
            if (file != NULL) {
                fclose(file);
                printf("OK\n");
            } else {
                printf("ERR %d\n", errno);
            }
        } else if (count == 1) {
            WIN32_FIND_DATAA data;
            HANDLE handle = FindFirstFileA(fields[0], &data);
            bool folder = handle != INVALID_HANDLE_VALUE && !strpbrk(fields[0], "*?") &&
                          (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            printf(handle == INVALID_HANDLE_VALUE ? "ERR\n"
                   : !FindClose(handle)           ? "CLOSE-FAILED\n"
                   : folder                       ? "OK DIR\n"
                                                  : "OK\n");
        } else {
            printf("BAD REQUEST\n");
        }
        fflush(stdout);
    }
    return 0;
}

} // namespace probe
