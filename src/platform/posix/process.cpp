// The process side of the stand-in: its own module, the temporary folder,
// the clock, the last-error value and the command line globals.
#include "platform/posix/dos_path.h"
#include "platform/posix/standin.h"

#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

int __argc;    // NOLINT(bugprone-reserved-identifier)
char **__argv; // NOLINT(bugprone-reserved-identifier)

static const DWORD kErrorModNotFound = 126;

struct ModuleHandle {
    int unused;
};
static ModuleHandle gExecutable;

static thread_local DWORD gLastError;

DWORD GetLastError(void) {
    return gLastError;
}
void SetLastError(DWORD dwErrCode) {
    gLastError = dwErrCode;
}

// The Unix path the program was started by. Windows reports the path a
// program was loaded from, not where a link to it leads, so a link named
// RegOST.exe is reported by its own name: argv[0] is taken when it names the
// running file, /proc/self/exe otherwise.
static bool ExecutableUnixPath(char *path, size_t pathSize) {
    struct stat running;
    if (stat("/proc/self/exe", &running) != 0) {
        return false;
    }
    int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ssize_t length = read(fd, path, pathSize - 1);
        close(fd);
        struct stat named;
        if (length > 0) {
            path[length] = 0; // argv[0] ends at the first NUL
            if (strchr(path, '/') != NULL && stat(path, &named) == 0 &&
                named.st_dev == running.st_dev && named.st_ino == running.st_ino) {
                return true;
            }
        }
    }
    ssize_t length = readlink("/proc/self/exe", path, pathSize - 1);
    if (length <= 0) {
        return false;
    }
    path[length] = 0;
    return true;
}

static bool ExecutableDosPath(char *path, size_t pathSize) {
    char unixPath[STANDIN_PATH_SIZE];
    return ExecutableUnixPath(unixPath, sizeof unixPath) && UnixPathToDos(unixPath, path, pathSize);
}

static const char *LastComponent(const char *path) {
    const char *name = path;
    for (const char *p = path; *p != 0; p++) {
        if (*p == '\\' || *p == '/') {
            name = p + 1;
        }
    }
    return name;
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName == NULL) {
        return &gExecutable;
    }
    char exePath[STANDIN_PATH_SIZE];
    if (!ExecutableDosPath(exePath, sizeof exePath)) {
        SetLastError(kErrorModNotFound);
        return NULL;
    }
    // A name without an extension means a DLL; a final dot means "no
    // extension, add none".
    char wanted[STANDIN_PATH_SIZE];
    size_t length = strlen(lpModuleName);
    const char *name = LastComponent(lpModuleName);
    if (length + 5 > sizeof wanted) {
        SetLastError(kErrorModNotFound);
        return NULL;
    }
    memcpy(wanted, lpModuleName, length + 1);
    if (strchr(name, '.') == NULL) {
        memcpy(wanted + length, ".dll", 5);
    }
    bool matches;
    if (name != lpModuleName) {
        char normalized[STANDIN_PATH_SIZE];
        char exeNormalized[STANDIN_PATH_SIZE];
        matches =
            NormalizeDosPath(wanted, normalized, sizeof normalized, NULL) == 0 &&
            NormalizeDosPath(exePath, exeNormalized, sizeof exeNormalized, NULL) == 0 &&
            Cp1252EqualNoCase(normalized, strlen(normalized), exeNormalized, strlen(exeNormalized));
    } else {
        const char *exeName = LastComponent(exePath);
        matches = Cp1252EqualNoCase(wanted, strlen(wanted), exeName, strlen(exeName));
    }
    if (!matches) {
        SetLastError(kErrorModNotFound);
        return NULL;
    }
    return &gExecutable;
}

// Tests that run the program in-process name the executable it pretends to be.
static char gModuleFileNameOverride[STANDIN_PATH_SIZE];

void SetStandInModuleFileName(const char *dosPath) {
    gModuleFileNameOverride[0] = 0;
    if (dosPath != NULL && strlen(dosPath) < sizeof gModuleFileNameOverride)
        memcpy(gModuleFileNameOverride, dosPath, strlen(dosPath) + 1);
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    if (hModule != NULL && hModule != &gExecutable) {
        SetLastError(kErrorModNotFound);
        return 0;
    }
    char path[STANDIN_PATH_SIZE];
    if (gModuleFileNameOverride[0] != 0) {
        memcpy(path, gModuleFileNameOverride, sizeof path);
    } else if (!ExecutableDosPath(path, sizeof path)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (nSize == 0 || lpFilename == NULL) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    size_t length = strlen(path);
    if (length >= nSize) {
        // Vista and later: cut, terminated, and the full size returned.
        memcpy(lpFilename, path, nSize - 1);
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    memcpy(lpFilename, path, length + 1);
    SetLastError(ERROR_SUCCESS);
    return (DWORD)length;
}

DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    const char *folder = getenv("TMPDIR");
    if (folder == NULL || folder[0] == 0) {
        folder = "/tmp";
    }
    char path[STANDIN_PATH_SIZE];
    if (!UnixPathToDos(folder, path, sizeof path - 1)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return 0;
    }
    size_t length = strlen(path);
    if (path[length - 1] != '\\') {
        path[length++] = '\\';
        path[length] = 0;
    }
    if (lpBuffer == NULL || nBufferLength < length + 1) {
        return (DWORD)(length + 1);
    }
    memcpy(lpBuffer, path, length + 1);
    return (DWORD)length;
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    struct timespec now;
    struct tm local;
    clock_gettime(CLOCK_REALTIME, &now);
    localtime_r(&now.tv_sec, &local);
    lpSystemTime->wYear = (WORD)(local.tm_year + 1900);
    lpSystemTime->wMonth = (WORD)(local.tm_mon + 1);
    lpSystemTime->wDayOfWeek = (WORD)local.tm_wday;
    lpSystemTime->wDay = (WORD)local.tm_mday;
    lpSystemTime->wHour = (WORD)local.tm_hour;
    lpSystemTime->wMinute = (WORD)local.tm_min;
    // A leap second shows as :59, as Windows never reports :60.
    lpSystemTime->wSecond = (WORD)(local.tm_sec > 59 ? 59 : local.tm_sec);
    lpSystemTime->wMilliseconds = (WORD)(now.tv_nsec / 1000000);
}

// Code page 1252 has no lead bytes.
BOOL IsDBCSLeadByte(BYTE TestChar) {
    (void)TestChar;
    return FALSE;
}
