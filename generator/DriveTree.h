#pragma once
// The files and folders of the prefix's drive C:, made on the host. Windows paths are matched
// against what is already on disk without regard to letter case, as Wine matches them, so that
// generating into a prefix made by wineboot adds to its "windows\Fonts" rather than making a
// second "windows\FONTS" beside it.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace tw::generator::detail {

class DriveTree {
public:
  /// `hostRoot` is the host folder that drive C: maps (the prefix's drive_c); it must exist.
  explicit DriveTree(std::string hostRoot);

  /// Makes the folder of the C: path `windowsPath` and its parents. False on failure, with
  /// `failedPath()` and `failure()` saying where and why.
  bool makeFolder(std::string_view windowsPath);
  /// Makes an empty file at `windowsPath` (and its folder) unless one is already there.
  bool makeFile(std::string_view windowsPath);

  std::size_t filesCreated() const { return m_filesCreated; }
  const std::string &failedPath() const { return m_failedPath; }
  const std::string &failure() const { return m_failure; }

private:
  /// The host path of the folder `components` (below C:\), made with its parents if missing.
  bool resolveFolder(std::string_view components, std::string &hostPath);
  /// The on-disk name of `name` in `hostFolder`, or null when there is none.
  const std::string *findEntry(const std::string &hostFolder, std::string_view name);

  std::string m_root;
  // Host folder -> its entries, by lower-cased name -> the name on disk. Filled on first use.
  std::map<std::string, std::map<std::string, std::string>> m_listings;
  std::map<std::string, std::string> m_resolved; // lower-cased Windows folder -> host path
  std::size_t m_filesCreated = 0;
  std::string m_failedPath;
  std::string m_failure;
};

} // namespace tw::generator::detail
