// Both exes' start on Windows, in place of the C runtime's start-up code: it
// fills msvcrt's __argc and __argv, calls the exe's WinMain and ends through
// exit(), as that code would. Without its TLS, pseudo-relocation and
// exception-frame support, none of which the programs use, RegOST.exe is a
// third smaller and RegOSTCtl.exe stays within its 32 KiB.
#include <windows.h>

#include <stdlib.h>

struct StartupInfo {
    int newMode;
};
extern "C" int __cdecl __getmainargs(int *argc, char ***argv, char ***environment, int expand,
                                     StartupInfo *startup);

// Windows enters with the stack aligned to 4 bytes on x86; GCC's code
// expects 16.
extern "C" __attribute__((force_align_arg_pointer)) void ProgramStart() {
    int argc = 0;
    char **argv = nullptr;
    char **environment = nullptr;
    StartupInfo startup = {0};
    // No wildcard expansion: the arguments are switches. A command line that
    // msvcrt cannot hold ends as RegOSTCtl ends one it cannot use.
    if (__getmainargs(&argc, &argv, &environment, 0, &startup) != 0)
        exit(ERROR_INVALID_PARAMETER);
    // Neither WinMain reads its arguments: the switches come from __argv.
    char noCommandLine[] = "";
    // exit() flushes and closes every stream before the process ends.
    exit(WinMain(nullptr, nullptr, noCommandLine, SW_SHOWDEFAULT));
}
