#pragma once
// The files and folders of a Wine prefix as a Windows program running in it sees them.
//
// Drive letters go through the prefix's dosdevices links; every name is resolved as Wine
// resolves it: the exact name first (one stat of the host path), then, when that fails, a
// search of each folder on the way for a name that differs only in case. Folder listings for
// that search are kept (see FolderCache.h). "\\server\share" paths never resolve.

#include "platform/FileSystem.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

struct stat;

namespace tw::platform {

namespace detail {
class DriveMap;
class FolderCache;
class ResolvedFolders;
struct FullPath;
} // namespace detail

class WineFileSystem final : public FileSystem {
public:
  /// `prefixDir`: the prefix folder (holding dosdevices); made absolute here. `twoViews`: the
  /// prefix is 64-bit, so paths in a ViewKind::Bits32 scope resolve as a 32-bit program's do
  /// (see FileView.h); on a 32-bit prefix every path resolves one way.
  explicit WineFileSystem(const std::string &prefixDir, bool twoViews = false);
  ~WineFileSystem() override;

  std::optional<std::string> hostPath(std::string_view windowsPath,
                                      bool mustExist = true) const override;
  std::unique_ptr<FileFinder> findFiles(std::string_view pattern) const override;
  std::optional<std::uint32_t> attributes(std::string_view windowsPath) const override;
  bool fileExists(std::string_view windowsPath) const override;
  bool directoryExists(std::string_view windowsPath) const override;
  bool deleteFile(std::string_view windowsPath) override;
  bool deleteFileInside(std::string_view folder, std::string_view windowsPath) override;
  bool createDirectory(std::string_view windowsPath) override;
  bool removeDirectory(std::string_view windowsPath) override;
  std::string currentDirectory() const override;
  bool setCurrentDirectory(std::string_view windowsPath) override;

  /// The Windows path through which the absolute host path `hostPath` is seen (the drive that
  /// maps the deepest folder above it), or nothing when no drive reaches it.
  std::optional<std::string> windowsPathOf(const std::string &hostPath) const;

  /// The absolute prefix folder.
  const std::string &prefixDir() const { return m_prefixDir; }

  /// Number of folder listings kept for case-insensitive lookups.
  std::size_t cachedFolderCount() const;

private:
  std::optional<detail::FullPath> fullPath(std::string_view windowsPath) const;
  // The host path `path` names; `found` (optional) receives its stat data when it exists.
  std::optional<std::string> resolve(const detail::FullPath &path, bool mustExist,
                                     struct stat *found = nullptr) const;
  std::optional<std::string> resolveByListing(const detail::FullPath &path, bool mustExist,
                                              struct stat *found) const;
  std::string hostRoot(const detail::FullPath &path) const;

  std::string m_prefixDir;
  bool m_twoViews = false;
  std::unique_ptr<detail::DriveMap> m_drives;
  std::unique_ptr<detail::FolderCache> m_folders;
  std::unique_ptr<detail::ResolvedFolders> m_resolved;

  mutable std::mutex m_currentMutex;
  mutable std::string m_currentHost;
  mutable std::uint64_t m_currentGeneration = 0;
  mutable std::string m_currentWindows;
};

} // namespace tw::platform
