// The program's entry: a GUI-subsystem program that never opens a window,
// so no console flashes up while a setup runs it.
#include "driver/driver.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunRegOST(__argc, __argv);
}
