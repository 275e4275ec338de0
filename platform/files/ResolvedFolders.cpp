#include "platform/files/ResolvedFolders.h"

namespace tw::platform::detail {

std::optional<std::string> ResolvedFolders::find(const std::string &key, struct stat &folderStat) const {
  std::string host;
  {
    std::lock_guard lock(m_mutex);
    auto it = m_folders.find(key);
    if (it == m_folders.end()) return std::nullopt;
    host = it->second;
  }
  if (::stat(host.c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) return std::nullopt;
  return host;
}

void ResolvedFolders::remember(const std::string &key, const std::string &hostFolder) {
  std::lock_guard lock(m_mutex);
  if (m_folders.size() >= MaxFolders) m_folders.clear();
  m_folders.insert_or_assign(key, hostFolder);
}

} // namespace tw::platform::detail
