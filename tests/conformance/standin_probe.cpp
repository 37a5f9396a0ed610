// The Linux stand-in's side of the conformance probes: "standin_probe
// profile" and "standin_probe find" answer the requests on stdin exactly as
// probes/profile_probe.exe and probes/find_probe.exe do with the real calls.
#include <string.h>

#include "probes/probe_io.h"

int main(int argc, char **argv) {
    if (argc == 2 && strcmp(argv[1], "profile") == 0)
        return probe::RunProfileProbe();
    if (argc == 2 && strcmp(argv[1], "find") == 0)
        return probe::RunFindProbe();
    fprintf(stderr, "usage: standin_probe profile|find < requests\n");
    return 2;
}
