#pragma once
// The system facts a Windows program asks kernel32 for.

#include <cstdint>
#include <optional>
#include <string>

namespace tw::platform {

/// The version record (OSVERSIONINFO): platform id 1 = Windows 9x family, 2 = NT family.
struct VersionRecord {
  std::uint32_t platformId = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t buildNumber = 0;
};

class SystemInfo {
public:
  virtual ~SystemInfo() = default;
  /// GetSystemDirectory: e.g. "C:\windows\system32" (no trailing backslash, as Windows gives it).
  virtual std::string systemDirectory() const = 0;
  /// GetWindowsDirectory: e.g. "C:\windows".
  virtual std::string windowsDirectory() const = 0;
  /// GetTempPath: the user's TEMP folder, expanded, with a trailing backslash.
  virtual std::string tempPath() const = 0;
  /// GetVersionEx, read afresh on every call; nothing when the record cannot be obtained.
  virtual std::optional<VersionRecord> version() const = 0;
  /// GetModuleFileName(0): the running program's own path, as a Windows path.
  virtual std::string moduleFileName() const = 0;
  /// The folder that holds the program's data files (Backup.xml and the Backup folder), with a
  /// trailing backslash. On Windows it is the executable's folder; on a Wine prefix it is
  /// "C:\ProgramData\Tidewell Registry Cleaner 2006\", which belongs to the prefix whose
  /// registry the data was taken from. The folder is created when it is missing.
  virtual std::string programFolder() const = 0;
};

} // namespace tw::platform
