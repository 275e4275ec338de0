#pragma once
// The host folders that Windows folder paths in another case than on disk were found to name
// ("C:\PROGRAM FILES\VENDOR" -> ".../drive_c/Program Files/Vendor"), so that the many files a
// scan tests in one folder need only that folder searched, not every folder on the way.
//
// An answer is used again only while a folder exists at the host path it names; after a
// rename or removal the path is searched afresh. One change goes unnoticed: a new folder whose
// name matches exactly in case, made beside the one found, would win a fresh search but not a
// remembered one.

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unordered_map>

namespace tw::platform::detail {

class ResolvedFolders {
public:
  /// The host folder remembered for `key` (a folded Windows folder path) if a folder still
  /// exists there; `folderStat` then holds its stat data.
  std::optional<std::string> find(const std::string &key, struct stat &folderStat) const;
  /// Remembers that `key` names the host folder `hostFolder`.
  void remember(const std::string &key, const std::string &hostFolder);

  /// Beyond this many folders the memory starts afresh, so it stays bounded on any tree.
  static constexpr std::size_t MaxFolders = 8192;

private:
  mutable std::mutex m_mutex;
  std::unordered_map<std::string, std::string> m_folders;
};

} // namespace tw::platform::detail
