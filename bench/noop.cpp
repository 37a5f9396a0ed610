// The smallest program built the way RegOST.exe is: what merely starting a
// program costs, the yardstick for RegOST's own run time.
#include <windows.h>

int ProgramMain(int, char **) {
    return 0;
}
