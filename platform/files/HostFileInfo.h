#pragma once
// What a Windows program running in Wine learns of one host file: its attributes, size and
// last-write time, derived from the host's stat data as Wine derives them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::platform::detail {

struct HostFileInfo {
  std::uint32_t attributes = 0; ///< fileattr bits
  std::uint64_t size = 0;       ///< 0 for folders
  std::uint64_t lastWriteTime = 0; ///< FILETIME (100 ns since 1601), 0 for times before 1601
  bool isDirectory() const;
};

/// The information of the host file `hostPath`, following links; nothing when it does not exist
/// (a dangling link does not exist). Attributes: directory or archive; read-only when no write
/// permission bit is set; hidden and system as Wine's DOS attribute record (the extended
/// attribute user.DOSATTRIB) says, or, without one, hidden for a name that starts with a dot
/// ("." and ".." excepted); a reparse point for a link (to a folder or a file, as Windows marks
/// its symbolic links) and for a mount point.
std::optional<HostFileInfo> readHostFileInfo(const std::string &hostPath);

/// The hidden and system bits a DOS attribute record ("0x22") holds; 0 for other forms.
std::uint32_t parseDosAttributeRecord(std::string_view record);

/// Converts a host time (seconds and nanoseconds since 1970) to a Windows FILETIME.
std::uint64_t fileTimeFromHost(std::int64_t seconds, long nanoseconds);

} // namespace tw::platform::detail
