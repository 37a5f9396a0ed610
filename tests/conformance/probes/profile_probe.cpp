// Prints what GetPrivateProfileStringA returns for each request on stdin
// (see probe_io.h), for comparison with the Linux simulation.
#include "probe_io.h"

int main() {
    return probe::RunProfileProbe();
}
