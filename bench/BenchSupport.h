#pragma once
// What every benchmark program needs around its measurements: a wall-clock timer and a scratch
// folder for the prefix it generates.

#include <chrono>
#include <filesystem>
#include <system_error>

namespace tw::bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

/// Removes the generated prefix however the benchmark ends.
struct TemporaryFolder {
  std::filesystem::path path;
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

} // namespace tw::bench
