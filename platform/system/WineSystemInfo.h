#pragma once
// The system facts of a Wine prefix: its fixed system and Windows folders, the temp folder and
// version that its registry gives, and the running program seen through the prefix's drives.

#include "platform/SystemInfo.h"
#include "platform/system/WineEnvironment.h"

#include <string>

namespace tw::platform {

class RegistryApi;
class WineFileSystem;

class WineSystemInfo final : public SystemInfo {
public:
  /// Both must outlive this object.
  WineSystemInfo(RegistryApi &registry, WineFileSystem &files);

  std::string systemDirectory() const override;
  std::string windowsDirectory() const override;
  /// TMP, else TEMP, else USERPROFILE, else the Windows folder, from the environment the
  /// prefix's registry gives (read afresh on each call), made a full path with a trailing
  /// backslash.
  std::string tempPath() const override;
  std::optional<VersionRecord> version() const override;
  /// The running executable through the drive that maps it ("Z:\usr\bin\tidewell"), or
  /// "\\?\unix\..." when no drive reaches it.
  std::string moduleFileName() const override;
  std::string programFolder() const override;

  /// The environment a program started in the prefix receives (see WineEnvironment.h).
  WineEnvironment environment() const;

  /// The program folder on a Wine prefix, with its trailing backslash.
  static constexpr const char *ProgramFolderPath =
      "C:\\ProgramData\\Tidewell Registry Cleaner 2006\\";

private:
  RegistryApi &m_registry;
  WineFileSystem &m_files;
};

/// The host path of the running executable (from /proc/self/exe), or empty when unknown.
std::string runningExecutablePath();

} // namespace tw::platform
