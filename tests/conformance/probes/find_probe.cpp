// Prints what FindFirstFileA finds for each path on stdin (see probe_io.h),
// for comparison with the Linux simulation.
#include "probe_io.h"

int main() {
    return probe::RunFindProbe();
}
