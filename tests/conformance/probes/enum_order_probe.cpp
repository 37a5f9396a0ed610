// Windows probe (run under Wine): prints what the real registry calls return
// for the checks of registry_probe.h, to compare with the Linux simulation.
//   enum_order_probe.exe enum NAME...   enumeration order of created keys
//   enum_order_probe.exe checks         result codes
#include "../registry_probe.h"

int main(int argc, char **argv) {
    int result = probe::Run(argc - 1, argv + 1);
    fflush(stdout);
    return result;
}
