#pragma once
// The monotonic clock's time, read from the performance counter directly: std::chrono's
// steady_clock::now goes through a pthread layer's clock_gettime to the same counter.

#include <windows.h>

#include <chrono>

namespace kv::win {

inline std::chrono::steady_clock::time_point SteadyNow() {
    LARGE_INTEGER counter;
    LARGE_INTEGER perSecond;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&perSecond);  // fixed at boot; reading it costs next to nothing
    const LONGLONG frequency = perSecond.QuadPart;
    // Whole seconds and the rest apart, so that the product cannot overflow.
    const LONGLONG seconds = counter.QuadPart / frequency;
    const LONGLONG rest = counter.QuadPart % frequency;
    const std::chrono::nanoseconds since{seconds * 1000000000LL + rest * 1000000000LL / frequency};
    return std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(since));
}

}  // namespace kv::win
