// The Linux simulator's entry: loads the simulated registry, runs the
// program's ProgramMain as the Windows start calls it, and saves the
// registry afterwards.
#include <stdlib.h>

#include <initializer_list>

#include "platform/posix/simulation.h"
#include "platform/win32.h"

namespace {

const char *const kDefaultRegistryFile = "registry.reg";

// The simulator's own exit codes, apart from every code the programs give
// (RegOSTCtl: 0 to 7, 87, and 1618, which a Unix status shows as 82), so
// that a caller never takes a failure of the simulation for one of the
// program's outcomes.
const int kExitSimulationFailed = 70; // registry file, switches or save
const int kExitLeaked = 71;           // a key handle or heap block kept

} // namespace

int main(int argc, char **argv) {
    __argc = argc;
    __argv = argv;

    const char *registryFile = getenv("REGOST_REGISTRY");
    if (registryFile == nullptr || registryFile[0] == '\0')
        registryFile = kDefaultRegistryFile;

    // The simulator's own failures go to standard error and stop it before
    // the program runs on a registry it could not fully read.
    char error[512];
    for (auto apply : {ApplyReadOnlyRootsFromEnvironment, ApplyFaultsFromEnvironment,
                       ApplyMachineFromEnvironment}) {
        if (!apply(error, sizeof error)) {
            fprintf(stderr, "regost: %s\n", error);
            return kExitSimulationFailed;
        }
    }
    if (!LoadSimulationRegistry(registryFile, error, sizeof error)) {
        fprintf(stderr, "regost: %s: %s\n", registryFile, error);
        return kExitSimulationFailed;
    }

    int result = ProgramMain(argc, argv);

    if (!SaveSimulationRegistry(registryFile)) {
        fprintf(stderr, "regost: %s: the registry could not be saved\n", registryFile);
        return kExitSimulationFailed;
    }
    // What Windows would reclaim at exit must still have been given back, or
    // a long-lived caller of the same code would leak it.
    if (SimulationOpenHandleCount() != 0 || SimulationHeapBlockCount() != 0) {
        fprintf(stderr, "regost: %d key handles left open, %d heap blocks not freed\n",
                SimulationOpenHandleCount(), SimulationHeapBlockCount());
        return kExitLeaked;
    }
    return result;
}
