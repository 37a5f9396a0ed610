// RegOSTCtl's entry: like RegOST's, a GUI-subsystem program on Windows that
// never opens a window; its exit code is the process's.
#include "ctl/ctl.h"

int ProgramMain(int argc, char **argv) {
    return RunRegOSTCtl(argc, argv);
}
