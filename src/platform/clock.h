// Monotonic clock and plain blocking sleeps with millisecond resolution.
#pragma once
#include <cstdint>

// Milliseconds of a monotonic clock with an arbitrary origin.
int64_t MonotonicMs();

// Blocks the calling thread for at least `ms` milliseconds (nothing for
// ms <= 0). Serves no window events. The first call raises the system timer
// resolution to 1 ms where the OS needs that.
void SleepMs(int64_t ms);
