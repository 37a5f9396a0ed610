// RegOSTCtl's entry: like RegOST's, a GUI-subsystem program that never opens
// a window; its exit code is the process's.
#include "ctl/ctl.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunRegOSTCtl(__argc, __argv);
}
