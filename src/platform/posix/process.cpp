// The process side of the simulation: its own module and the machine of the
// build it plays, the temporary folder, the clock, the command line it was started with,
// and the process heap over malloc/free (with the fault that fails the n-th
// allocation and a count of live blocks).
#include "platform/posix/dos_path.h"
#include "platform/posix/registry_store.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

int __argc;    // NOLINT(bugprone-reserved-identifier)
char **__argv; // NOLINT(bugprone-reserved-identifier)

namespace {

int gProcessHeap; // any non-null value does: the program only passes it back
int gLiveBlocks = 0;

// The Unix path the program was started by. Windows reports the path a
// program was loaded from, not where a link to it leads: argv[0] when it
// names the running file, /proc/self/exe otherwise.
bool ExecutableUnixPath(char *path, size_t pathSize) {
    struct stat running, named;
    const char *name = __argv && __argc > 0 ? __argv[0] : "";
    if (stat("/proc/self/exe", &running) != 0)
        return false;
    if (strchr(name, '/') && strlen(name) < pathSize && stat(name, &named) == 0 &&
        named.st_dev == running.st_dev && named.st_ino == running.st_ino) {
        memcpy(path, name, strlen(name) + 1);
        return true;
    }
    ssize_t length = readlink("/proc/self/exe", path, pathSize - 1);
    path[length > 0 ? length : 0] = 0;
    return length > 0;
}

char gModuleFileNameOverride[kSimulationPathSize]; // for tests that run the program in-process
WORD gImageMachine = IMAGE_FILE_MACHINE_AMD64;

} // namespace

void SetSimulationModuleFileName(const char *dosPath) {
    bool fits = dosPath && strlen(dosPath) < sizeof gModuleFileNameOverride;
    snprintf(gModuleFileNameOverride, sizeof gModuleFileNameOverride, "%s", fits ? dosPath : "");
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    char path[kSimulationPathSize], unixPath[kSimulationPathSize];
    // The Unix names stay whole, as Wine shows them to the wide calls.
    if (gModuleFileNameOverride[0] != 0)
        memcpy(path, gModuleFileNameOverride, sizeof path);
    else if (!ExecutableUnixPath(unixPath, sizeof unixPath) ||
             !UnixPathToDos(unixPath, path, sizeof path, true))
        return 0;
    if (hModule || nSize == 0 || !lpFilename)
        return 0; // only the program's own module is asked for
    WCHAR wide[kSimulationPathSize + 1];
    size_t length = 0;
    for (const unsigned char *s = reinterpret_cast<unsigned char *>(path); *s != 0;) {
        uint32_t c = 0;
        size_t n = DecodeUtf8(s, &c);
        if (n == 0) // invalid UTF-8 as the byte's cp1252 character, as the ANSI names show it
            c = Cp1252ToUnicode(*s), n = 1;
        if (c >= 0x10000) {
            wide[length++] = static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + (c & 0x3FF);
        }
        wide[length++] = static_cast<WCHAR>(c);
        s += n;
    }
    // Too long: cut and terminated, and the full size returned (Vista and later).
    size_t copied = length < nSize ? length : nSize - 1;
    memcpy(lpFilename, wide, copied * sizeof *wide);
    lpFilename[copied] = 0;
    return length < nSize ? static_cast<DWORD>(length) : nSize;
}

bool ApplyMachineFromEnvironment(char *error, size_t errorSize) {
    const char *text = getenv("REGOST_MACHINE");
    gImageMachine = IMAGE_FILE_MACHINE_AMD64;
    if (text == nullptr || text[0] == 0 || strcasecmp(text, "x64") == 0)
        return true;
    if (strcasecmp(text, "x86") == 0) {
        gImageMachine = IMAGE_FILE_MACHINE_I386;
        return true;
    }
    snprintf(error, errorSize, "REGOST_MACHINE: %.40s is neither x64 nor x86", text);
    return false;
}

WORD BuildImageMachine(void) {
    return gImageMachine;
}

DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    const char *folder = getenv("TMPDIR") && *getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp";
    char path[kSimulationPathSize];
    if (!UnixPathToDos(folder, path, sizeof path - 1))
        return 0;
    size_t length = strlen(path);
    if (path[length - 1] != '\\')
        memcpy(path + length++, "\\", 2);
    if (!lpBuffer || nBufferLength < length + 1)
        return static_cast<DWORD>(length + 1);
    memcpy(lpBuffer, path, length + 1);
    return static_cast<DWORD>(length);
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    struct timespec now;
    struct tm local;
    clock_gettime(CLOCK_REALTIME, &now);
    localtime_r(&now.tv_sec, &local);
    lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
    // A leap second shows as :59, as Windows never reports :60.
    lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
    lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

HANDLE GetProcessHeap(void) {
    return &gProcessHeap;
}

void *HeapAlloc(HANDLE hHeap, DWORD, size_t dwBytes) {
    if (simulation::TakeAllocFault() || hHeap != &gProcessHeap)
        return nullptr;
    void *block = malloc(dwBytes ? dwBytes : 1); // a block of 0 bytes is still a block
    gLiveBlocks += block ? 1 : 0;
    return block;
}

BOOL HeapFree(HANDLE hHeap, DWORD, void *lpMem) {
    if (hHeap != &gProcessHeap)
        return FALSE;
    gLiveBlocks -= lpMem ? 1 : 0;
    free(lpMem);
    return TRUE;
}

int SimulationHeapBlockCount() {
    return gLiveBlocks;
}
