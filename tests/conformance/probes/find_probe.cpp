// Prints what FindFirstFileA finds for each path on stdin (see probe_io.h),
// for comparison with the Linux stand-in.
#include "probe_io.h"

int main() {
    return probe::RunFindProbe();
}
