#include "platform/files/FolderCache.h"

#include "platform/files/NameMatch.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace tw::platform::detail {

static bool sameStamp(const struct timespec &a, const struct timespec &b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::optional<FolderCache::Listing> FolderCache::readListing(const std::string &folder,
                                                             const struct stat &st) {
  DIR *dir = ::opendir(folder.c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (const struct dirent *entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.emplace_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(),
            [](const std::string &a, const std::string &b) { return nameSortsBefore(a, b); });

  Listing listing;
  listing.device = st.st_dev;
  listing.inode = st.st_ino;
  listing.modified = st.st_mtim;
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  listing.trusted = now.tv_sec - st.st_mtim.tv_sec > RacyWindowSeconds;
  listing.byFoldedName.reserve(names.size());
  for (auto &name : names) listing.byFoldedName[foldName(name)].push_back(std::move(name));
  return listing;
}

std::optional<std::string> FolderCache::findEntry(const std::string &folder, std::string_view name) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return findEntry(folder, st, name);
}

std::optional<std::string> FolderCache::findEntry(const std::string &folder, const struct stat &st,
                                                  std::string_view name) {
  std::lock_guard lock(m_mutex);
  auto it = m_listings.find(folder);
  const bool current = it != m_listings.end() && it->second.trusted &&
                       it->second.device == st.st_dev && it->second.inode == st.st_ino &&
                       sameStamp(it->second.modified, st.st_mtim);
  if (!current) {
    auto fresh = readListing(folder, st);
    if (!fresh) {
      if (it != m_listings.end()) m_listings.erase(it);
      return std::nullopt;
    }
    if (m_listings.size() >= MaxFolders) m_listings.clear();
    it = m_listings.insert_or_assign(folder, std::move(*fresh)).first;
  }

  auto found = it->second.byFoldedName.find(foldName(name));
  if (found == it->second.byFoldedName.end()) return std::nullopt;
  const auto &candidates = found->second;
  auto exact = std::find(candidates.begin(), candidates.end(), name);
  return exact != candidates.end() ? *exact : candidates.front();
}

void FolderCache::forget(const std::string &folder) {
  std::lock_guard lock(m_mutex);
  m_listings.erase(folder);
}

std::size_t FolderCache::size() const {
  std::lock_guard lock(m_mutex);
  return m_listings.size();
}

} // namespace tw::platform::detail
