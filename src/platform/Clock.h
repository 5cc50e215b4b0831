#pragma once
// Local time, a monotonic millisecond clock and uniform random integers.
#include <cstdint>
#include <ctime>
#include <optional>

// The current local calendar time (localtime_r).
std::tm LocalNow();

// The current local date and time as seconds since 1970-01-01 00:00:00 of the local
// calendar (the wall-clock value, with no time-zone conversion).
int64_t LocalSecondsNow();

// Converts a UTC instant to local wall-clock seconds, and back through the local-time
// rules (mktime). The way back fails for values mktime cannot represent.
int64_t LocalSecondsFromUtc(int64_t utcSeconds);
std::optional<int64_t> UtcFromLocalSeconds(int64_t localSeconds);

// Milliseconds from a monotonic clock.
int64_t MonotonicMilliseconds();

// A uniformly drawn integer from `low` to `high`, both included.
int32_t RandomInteger(int32_t low, int32_t high);
