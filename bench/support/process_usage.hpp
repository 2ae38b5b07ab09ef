// The benchmark process's own CPU time and resident memory (Linux).
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace tagsink::bench {

/// CPU seconds of the whole process so far: every thread, user and system time, the database driver's
/// work included.
inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// The process's resident memory now.
inline double RssMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

} // namespace tagsink::bench
