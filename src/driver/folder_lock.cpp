// The lock that makes runs from one program folder take turns: a named mutex
// whose name is derived from the folder, so that any two programs of the
// project started from the same folder meet on it.
#include <stdio.h>

#include "driver/driver.h"

namespace {

HANDLE folderLock = nullptr;

// "RegOST-" and the FNV-1a hash of the folder, upper-cased and with '/' read
// as '\\' as Windows does; a mutex name may hold no backslash, and the
// hash keeps it short whatever the folder's length.
void MutexName(const char *programDirectory, char *name, size_t size) {
    unsigned long hash = 2166136261ul;
    for (const char *c = programDirectory; *c != '\0'; ++c) {
        char byte = *c == '/' ? '\\' : *c;
        if (byte >= 'a' && byte <= 'z')
            byte = static_cast<char>(byte - 'a' + 'A');
        hash = ((hash ^ static_cast<unsigned char>(byte)) * 16777619ul) & 0xFFFFFFFFul;
    }
    snprintf(name, size, "RegOST-%08lX", hash);
}

} // namespace

bool LockProgramFolder(const char *programDirectory) {
    if (folderLock != nullptr || programDirectory[0] == '\0')
        return false;
    char name[32];
    MutexName(programDirectory, name, sizeof name);
    folderLock = CreateMutexA(nullptr, FALSE, name);
    if (folderLock == nullptr)
        return false;
    // An abandoned mutex (a run that was killed) is ours now all the same.
    DWORD waited = WaitForSingleObject(folderLock, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(folderLock);
        folderLock = nullptr;
        return false;
    }
    return true;
}

void UnlockProgramFolder() {
    if (folderLock == nullptr)
        return;
    ReleaseMutex(folderLock);
    CloseHandle(folderLock);
    folderLock = nullptr;
}
