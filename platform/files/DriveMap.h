#pragma once
// The drive letters of a Wine prefix: the links in its dosdevices folder ("c:" -> ../drive_c,
// "z:" -> /). A drive's host root is the link itself, so the kernel follows it on every use,
// as Wine lets it; only the reverse direction (which drive shows a host folder) keeps a table.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tw::platform::detail {

class DriveMap {
public:
  /// `dosdevicesDir`: absolute host path of the prefix's dosdevices folder.
  explicit DriveMap(std::string dosdevicesDir);

  /// The host path of the root of `drive` (any case): ".../dosdevices/c:/". The drive need not
  /// be mapped; the path then names nothing.
  std::string driveRoot(char drive) const;

  /// True when `drive` (any case) is mapped to an existing folder.
  bool isMapped(char drive) const;

  /// The Windows path through which the absolute host path `hostPath` is seen: the drive whose
  /// root is the deepest folder above (or at) it, the lowest letter when several map the same
  /// folder. Nothing when no drive reaches it.
  std::optional<std::string> windowsPathOf(const std::string &hostPath) const;

  /// A number that changes whenever the table of drives is read anew (a link was added,
  /// removed or replaced), so translations made earlier can be recognised as current.
  std::uint64_t generation() const;

private:
  struct Root {
    char letter;
    dev_t device;
    ino_t inode;
  };
  const std::vector<Root> &roots() const; // m_mutex held

  std::string m_dosdevices;
  mutable std::mutex m_mutex;
  mutable std::vector<Root> m_roots;
  mutable struct timespec m_stamp {};
  mutable bool m_loaded = false;
  mutable std::uint64_t m_generation = 0;
};

} // namespace tw::platform::detail
