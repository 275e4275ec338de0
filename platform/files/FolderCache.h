#pragma once
// Listings of host folders, kept so that a name whose case differs from the name on disk is
// found without reading its folder again for every lookup: a scan tests tens of thousands of
// paths, most in a few folders.
//
// A listing is used again only while its folder's identity and modification time are those
// seen when it was read. A folder changed less than RacyWindowSeconds before it was read may
// change again within the same time stamp, so such a listing serves that one lookup only.

#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace tw::platform::detail {

class FolderCache {
public:
  /// The name on disk of the entry of host folder `folder` that `name` names: an entry of
  /// exactly that name if there is one, otherwise the first (in Wine's listing order) that
  /// differs only in case. Nothing when there is none or the folder cannot be read.
  std::optional<std::string> findEntry(const std::string &folder, std::string_view name);
  /// The same, for a caller that has just taken the folder's stat data.
  std::optional<std::string> findEntry(const std::string &folder, const struct stat &folderStat,
                                       std::string_view name);

  /// Drops what is known of `folder` (after the program itself changed it).
  void forget(const std::string &folder);

  /// Number of folders whose listing is kept (for tests and benchmarks).
  std::size_t size() const;

  static constexpr int RacyWindowSeconds = 2;
  /// Beyond this many folders the cache starts afresh, so memory stays bounded on any tree.
  static constexpr std::size_t MaxFolders = 4096;

private:
  struct Listing {
    dev_t device = 0;
    ino_t inode = 0;
    struct timespec modified {};
    bool trusted = false;
    /// folded name -> names on disk (usually one), in listing order
    std::unordered_map<std::string, std::vector<std::string>> byFoldedName;
  };
  static std::optional<Listing> readListing(const std::string &folder, const struct stat &st);

  mutable std::mutex m_mutex;
  std::unordered_map<std::string, Listing> m_listings;
};

} // namespace tw::platform::detail
