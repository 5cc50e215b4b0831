#include "platform/Clock.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <random>

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

int64_t LocalSecondsFromUtc(int64_t utcSeconds) {
  std::time_t t = static_cast<std::time_t>(utcSeconds);
  std::tm local{};
  if (!localtime_r(&t, &local)) return utcSeconds;
  return utcSeconds + local.tm_gmtoff;
}

int64_t LocalSecondsNow() { return LocalSecondsFromUtc(static_cast<int64_t>(std::time(nullptr))); }

std::optional<int64_t> UtcFromLocalSeconds(int64_t localSeconds) {
  // Break the wall-clock value into calendar fields (gmtime does no zone arithmetic), then
  // let mktime apply the local rules, daylight saving included.
  std::time_t wall = static_cast<std::time_t>(localSeconds);
  std::tm fields{};
  if (!gmtime_r(&wall, &fields)) return std::nullopt;
  fields.tm_isdst = -1;
  errno = 0;
  std::time_t utc = mktime(&fields);
  if (utc == static_cast<std::time_t>(-1) && errno != 0) return std::nullopt;
  return static_cast<int64_t>(utc);
}

int64_t MonotonicMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int32_t RandomInteger(int32_t low, int32_t high) {
  static std::mutex lock;
  static std::mt19937 engine{std::random_device{}()};
  std::lock_guard<std::mutex> guard(lock);
  return std::uniform_int_distribution<int32_t>(low, high)(engine);
}
