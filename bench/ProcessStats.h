#pragma once

#include <sys/types.h>

namespace tolvan::bench {

// What the kernel counts for a running process, all threads together.
class ProcessStats {
public:
    // User plus system CPU time in seconds.
    static double CpuSeconds(pid_t pid);
    // Resident memory now (VmRSS) and at its peak (VmHWM), in MB (10^6 bytes).
    static double RssMb(pid_t pid);
    static double PeakRssMb(pid_t pid);
};

}  // namespace tolvan::bench
