#pragma once

#include <sys/resource.h>

// Seconds of processor time the whole process has used, its threads and the kernel's work for
// it included.
inline double CpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}
