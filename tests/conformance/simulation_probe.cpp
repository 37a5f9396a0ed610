// The Linux simulation's side of the conformance probes: "simulation_probe
// profile" and "simulation_probe find" answer the requests on stdin exactly as
// probes/profile_probe.exe and probes/find_probe.exe do with the real calls.
#include <string.h>

#include "probes/probe_io.h"

int main(int argc, char **argv) {
    if (argc == 2 && strcmp(argv[1], "profile") == 0)
        return probe::RunProfileProbe();
    if (argc == 2 && strcmp(argv[1], "find") == 0)
        return probe::RunFindProbe();
    fprintf(stderr, "usage: simulation_probe profile|find < requests\n");
    return 2;
}
