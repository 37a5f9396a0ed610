// Both exes' start on Windows, in place of the C runtime's start-up code: it
// has msvcrt split the command line, calls the program's ProgramMain and ends
// through exit(), which flushes and closes every stream. It runs nothing else
// of that code: no constructors or exit tables, no TLS callbacks, no
// pseudo-relocation fix-ups, no wildcard expansion; the build refuses what
// would need them (tests/exes/test_exe_start.py). So RegOST.exe is a third
// smaller and RegOSTCtl.exe stays small.
#include <stdlib.h>

#include "platform/win32.h"

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
    // msvcrt could not split reaches the program as none at all, which each
    // program answers as its promise says.
    if (__getmainargs(&argc, &argv, &environment, 0, &startup) != 0) {
        argc = 0;
        argv = nullptr;
    }
    exit(ProgramMain(argc, argv));
}
