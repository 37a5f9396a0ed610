// RegOST's entry: on Windows a GUI-subsystem program that never opens a
// window, so no console flashes up while a setup runs it.
#include "driver/driver.h"

int ProgramMain(int argc, char **argv) {
    return RunRegOST(argc, argv);
}
