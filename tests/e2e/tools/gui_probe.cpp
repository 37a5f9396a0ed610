// A GUI-subsystem program, like RegOST.exe, that ends late: it sleeps for the
// milliseconds given as its first argument, then creates the file named by
// its second. Whoever launched it can tell from that file whether the
// launcher came back before the program had ended.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc != 3)
        return 2;
    Sleep(static_cast<DWORD>(atoi(__argv[1])));
    FILE *done = fopen(__argv[2], "w");
    if (done == nullptr)
        return 1;
    fputs("done\n", done);
    fclose(done);
    return 0;
}
