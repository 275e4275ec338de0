#pragma once
// What tells one version of a host file from another: a file replaced by an atomic save gets a
// new inode, and one written in place a new size or modification time. A program that read a
// file compares its identity before saving over it, so that it never replaces a version it has
// not seen.

#include <cstdint>
#include <string>

namespace tw::platform {

struct FileIdentity {
  bool exists = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  /// Modification time in nanoseconds since the Unix epoch.
  std::int64_t modified = 0;

  /// Two identities are equal when both name no file, or the same file with the same size and
  /// modification time.
  bool operator==(const FileIdentity &other) const {
    if (exists != other.exists) return false;
    return !exists || (device == other.device && inode == other.inode && size == other.size &&
                       modified == other.modified);
  }
};

/// The identity of the file at `path` (links followed); one that does not exist when there is
/// no such file or it cannot be examined.
FileIdentity fileIdentityOf(const std::string &path);

} // namespace tw::platform
