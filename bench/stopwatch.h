#pragma once

#include <chrono>

// Wall time since `start`, in seconds; the benchmarks' one clock.
inline double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
