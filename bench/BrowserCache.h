#pragma once
// The browser cache of a generated prefix filled with many small files, for the benchmarks of
// the traces page (bench/tools_bench, app/bench/traces_ui_bench).

#include <filesystem>
#include <fstream>
#include <string>

namespace tw::bench {

/// Fills the cache folder of `user` in the prefix `prefix` with `count` files, 1,000 to a
/// sub-folder, as Internet Explorer spreads its cache.
inline void fillBrowserCache(const std::filesystem::path &prefix, const std::string &user, int count) {
  const std::filesystem::path cache =
      prefix / "drive_c/users" / user / "AppData/Local/Microsoft/Windows/INetCache/Content.IE5";
  for (int i = 0; i < count; ++i) {
    const std::filesystem::path folder = cache / ("F" + std::to_string(i / 1000));
    if (i % 1000 == 0) std::filesystem::create_directories(folder);
    std::ofstream(folder / ("page" + std::to_string(i) + ".htm")) << "<html></html>";
  }
}

} // namespace tw::bench
