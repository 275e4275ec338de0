#pragma once
// The files and folders a Windows program sees, named by Windows paths ("C:\windows\win.ini").
// On Linux the Wine backend maps drive letters through the prefix's dosdevices links and
// resolves every name case-insensitively, as Wine does.
//
// Error contract: calls that test return false for "no"; calls that change return false
// when the change did not happen. Nothing throws.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tw::platform {

/// Windows file attribute bits.
namespace fileattr {
inline constexpr std::uint32_t ReadOnly = 0x01;
inline constexpr std::uint32_t Hidden = 0x02;
inline constexpr std::uint32_t System = 0x04;
inline constexpr std::uint32_t Directory = 0x10;
inline constexpr std::uint32_t Archive = 0x20;
inline constexpr std::uint32_t Normal = 0x80;
/// A link, junction or mount point: a folder or file that stands for another one elsewhere.
inline constexpr std::uint32_t ReparsePoint = 0x400;
} // namespace fileattr

/// One entry of a directory listing.
struct FoundFile {
  std::string name;             ///< the entry's name as stored on disk
  std::uint32_t attributes = 0; ///< fileattr bits
  std::uint64_t size = 0;
  std::uint64_t lastWriteTime = 0; ///< FILETIME: 100 ns since 1601-01-01 UTC
};

/// Find-first/find-next over the entries of one folder that match a wildcard pattern.
class FileFinder {
public:
  virtual ~FileFinder() = default;
  /// The next matching entry, or nothing when the listing is exhausted.
  virtual std::optional<FoundFile> next() = 0;
};

class FileSystem {
public:
  virtual ~FileSystem() = default;

  /// The host path a Windows path names, or nothing when it names nothing that exists on the
  /// host (unmapped drive, UNC path, a missing component). The last component may be missing
  /// when `mustExist` is false: the result then names where it would be.
  virtual std::optional<std::string> hostPath(std::string_view windowsPath,
                                              bool mustExist = true) const = 0;

  /// Lists the entries of the folder in `pattern` ("C:\dir\*.*") that match its last component
  /// with Windows wildcard rules ("*" and "?"; "*.*" also matches names without a dot).
  /// Returns a finder that yields nothing when the folder does not exist.
  virtual std::unique_ptr<FileFinder> findFiles(std::string_view pattern) const = 0;

  /// The attributes of a file or folder, or nothing when it does not exist.
  virtual std::optional<std::uint32_t> attributes(std::string_view windowsPath) const = 0;

  /// True when `windowsPath` names a file (not a folder), whatever its last-write time.
  virtual bool fileExists(std::string_view windowsPath) const = 0;
  /// True when `windowsPath` names a folder.
  virtual bool directoryExists(std::string_view windowsPath) const = 0;

  virtual bool deleteFile(std::string_view windowsPath) = 0;
  /// Deletes the file `windowsPath` only when it lies inside the folder `folder`, is a plain
  /// file (not a folder, link, junction or mount point), is not read-only, and no folder on the
  /// way from the root of the drive down to it is a link, junction or mount point. The tests
  /// are made as the file is deleted, so a tree changed since the file was found cannot lead the
  /// deletion elsewhere. False when it did not delete; a backend that cannot make these tests
  /// deletes nothing.
  virtual bool deleteFileInside(std::string_view /*folder*/, std::string_view /*windowsPath*/) {
    return false;
  }
  /// Creates one folder; its parent must exist.
  virtual bool createDirectory(std::string_view windowsPath) = 0;
  /// Removes an empty folder, or a link to a folder itself (never what it points to).
  virtual bool removeDirectory(std::string_view windowsPath) = 0;

  /// The current folder as a Windows path with no trailing backslash (a drive root keeps it),
  /// seen through the drive that maps the host's current folder; relative names resolve here.
  virtual std::string currentDirectory() const = 0;
  /// SetCurrentDirectory: makes the folder `windowsPath` the process's current folder. False
  /// (and the current folder unchanged) when it names no folder.
  virtual bool setCurrentDirectory(std::string_view windowsPath) = 0;
};

} // namespace tw::platform
