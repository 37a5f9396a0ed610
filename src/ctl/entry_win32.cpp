// RegOSTCtl.exe's entry on Windows, in place of the C runtime's start-up
// code: the command line from msvcrt and the exit code from the job. Without
// that start-up code (its TLS, pseudo-relocation and exception-frame
// support, none of which the program uses) the exe stays within its 32 KiB.
#include <stdlib.h>

#include "ctl/ctl.h"

struct StartupInfo {
    int newMode;
};
extern "C" int __cdecl __getmainargs(int *argc, char ***argv, char ***environment, int expand,
                                     StartupInfo *startup);

// Windows enters with the stack aligned to 4 bytes on x86; GCC's code
// expects 16.
extern "C" __attribute__((force_align_arg_pointer)) void RegOSTCtlStart() {
    int argc = 0;
    char **argv = nullptr;
    char **environment = nullptr;
    StartupInfo startup = {0};
    // No wildcard expansion: the arguments are switches.
    if (__getmainargs(&argc, &argv, &environment, 0, &startup) != 0)
        exit(kExitBadCommandLine);
    // exit() flushes and closes every stream before the process ends.
    exit(RunRegOSTCtl(argc, argv));
}
