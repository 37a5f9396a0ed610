// Named mutexes, as far as the programs use them: CreateMutexA(NULL, FALSE,
// name), WaitForSingleObject, ReleaseMutex and CloseHandle. A name, with its
// "Global\" namespace if it has one, is a lock file in /tmp, which every
// process of the machine sees; flock gives the waiting, and the kernel lets
// go of it when a process dies, as Windows hands an abandoned mutex to the
// next waiter.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/win32.h"

namespace {

struct Mutex {
    int fd;
};

bool ValidName(const char *name) {
    if (name != nullptr && strncmp(name, "Global\\", 7) == 0)
        name += 7;
    size_t length = name != nullptr ? strlen(name) : 0;
    return length > 0 && length < MAX_PATH && strchr(name, '\\') == nullptr &&
           strchr(name, '/') == nullptr;
}

} // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName) {
    if (lpMutexAttributes != nullptr || bInitialOwner || !ValidName(lpName))
        return nullptr;
    char path[MAX_PATH + 32];
    snprintf(path, sizeof path, "/tmp/regost-mutex-%s", lpName);
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    Mutex *mutex = static_cast<Mutex *>(malloc(sizeof(Mutex)));
    if (mutex == nullptr) {
        close(fd);
        return nullptr;
    }
    mutex->fd = fd;
    return mutex;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    if (hHandle == nullptr)
        return WAIT_FAILED;
    int fd = static_cast<Mutex *>(hHandle)->fd;
    int result;
    if (dwMilliseconds == INFINITE) {
        do
            result = flock(fd, LOCK_EX);
        while (result != 0 && errno == EINTR);
        return result == 0 ? WAIT_OBJECT_0 : WAIT_FAILED;
    }
    // A bounded wait asks again every 10 ms until its time is up.
    for (DWORD waited = 0;; waited += 10) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return WAIT_OBJECT_0;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return WAIT_FAILED;
        if (waited >= dwMilliseconds)
            return WAIT_TIMEOUT;
        usleep(10000);
    }
}

BOOL ReleaseMutex(HANDLE hMutex) {
    return hMutex != nullptr && flock(static_cast<Mutex *>(hMutex)->fd, LOCK_UN) == 0;
}

BOOL CloseHandle(HANDLE hObject) {
    if (hObject == nullptr)
        return FALSE;
    close(static_cast<Mutex *>(hObject)->fd);
    free(hObject);
    return TRUE;
}
