// Creates registry keys as volatile ones, so that a test can make writes
// fail under them: Windows refuses a non-volatile key below a volatile one
// (ERROR_CHILD_MUST_BE_VOLATILE), and RegOST only ever creates non-volatile
// keys. Arguments: full key paths such as HKLM\Software\Quenlar (roots HKLM
// and HKCU). Volatile keys vanish when the registry server ends, so the
// caller keeps it running for as long as it needs them: with
// "--hold FILE" first, the program writes FILE.ready (holding its exit code)
// once the keys exist and stays alive until FILE appears, which keeps the
// server up without changing its persistence for other users of the prefix.
// An argument "FILE:path" instead opens that file (made if missing) without
// sharing and keeps it open as long as the program lives, as another
// program that holds a log would. An argument "MUTEX:name" makes that mutex
// with an access list that admits nobody, as another account's run would
// leave it for this one, and holds it likewise; "LOCK:name" makes or opens
// that mutex as a run does and owns it, as a run that never ends would.
//
// Exit code: 0 when every key was created new and volatile; 1 otherwise (an
// existing key would keep its non-volatile kind and block nothing).
#include <stdio.h>
#include <string.h>
#include <windows.h>

namespace {

bool SplitRoot(const char *path, HKEY *root, const char **rest) {
    struct Root {
        const char *prefix;
        HKEY key;
    };
    const Root roots[] = {{"HKLM\\", HKEY_LOCAL_MACHINE},
                          {"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
                          {"HKCU\\", HKEY_CURRENT_USER},
                          {"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER}};
    for (const Root &candidate : roots) {
        size_t length = strlen(candidate.prefix);
        if (_strnicmp(path, candidate.prefix, length) == 0) {
            *root = candidate.key;
            *rest = path + length;
            return true;
        }
    }
    return false;
}

bool FileExists(const char *path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Signals readiness, then waits (at most ten minutes) for the release file.
void Hold(const char *releaseFile, int result) {
    char ready[MAX_PATH + 8];
    snprintf(ready, sizeof ready, "%s.ready", releaseFile);
    FILE *signal = fopen(ready, "w");
    if (signal != nullptr) {
        fprintf(signal, "%d\n", result);
        fclose(signal);
    }
    for (int waited = 0; waited < 600000 && !FileExists(releaseFile); waited += 20)
        Sleep(20);
}

} // namespace

int main(int argc, char **argv) {
    int result = 0;
    const char *releaseFile = nullptr;
    int first = 1;
    if (argc > 2 && strcmp(argv[1], "--hold") == 0) {
        releaseFile = argv[2];
        if (strlen(releaseFile) > MAX_PATH)
            return 1;
        first = 3;
    }
    for (int i = first; i < argc; ++i) {
        if (strncmp(argv[i], "MUTEX:", 6) == 0) {
            SECURITY_DESCRIPTOR descriptor;
            ACL nobody;
            SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
            if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
                !InitializeAcl(&nobody, sizeof nobody, ACL_REVISION) ||
                !SetSecurityDescriptorDacl(&descriptor, TRUE, &nobody, FALSE) ||
                CreateMutexA(&attributes, FALSE, argv[i] + 6) == nullptr)
                result = 1;
            continue;
        }
        if (strncmp(argv[i], "LOCK:", 5) == 0) {
            HANDLE lock = CreateMutexA(nullptr, FALSE, argv[i] + 5);
            if (lock == nullptr || WaitForSingleObject(lock, 0) != WAIT_OBJECT_0)
                result = 1;
            continue;
        }
        if (strncmp(argv[i], "FILE:", 5) == 0) {
            if (CreateFileA(argv[i] + 5, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE)
                result = 1;
            continue;
        }
        HKEY root;
        const char *subKey;
        if (!SplitRoot(argv[i], &root, &subKey)) {
            fprintf(stderr, "volatile_keys: unknown root in %s\n", argv[i]);
            result = 1;
            continue;
        }
        HKEY key;
        DWORD disposition = 0;
        LONG status = RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                      nullptr, &key, &disposition);
        if (status != ERROR_SUCCESS) {
            fprintf(stderr, "volatile_keys: %s: error %ld\n", argv[i], status);
            result = 1;
            continue;
        }
        RegCloseKey(key);
        if (disposition != REG_CREATED_NEW_KEY) {
            fprintf(stderr, "volatile_keys: %s already existed\n", argv[i]);
            result = 1;
        }
    }
    if (releaseFile != nullptr)
        Hold(releaseFile, result);
    return result;
}
