// The no-op yardstick that also loads ADVAPI32 as RegOST.exe does: what
// importing the registry calls costs before the program does anything.
#include <windows.h>

int ProgramMain(int, char **) {
    // Closing a predefined root does nothing but keeps the import.
    return static_cast<int>(RegCloseKey(HKEY_CURRENT_USER));
}
