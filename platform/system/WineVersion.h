#pragma once
// The Windows version a program in a Wine prefix is told, decided as Wine decides it: Wine's
// own version setting ("Version" under HKCU\Software\Wine\AppDefaults\<program> or, failing
// that, HKCU\Software\Wine) names one of Wine's versions ("win98", "winxp", "win10", ...);
// without a valid setting the version values of the registry count: CurrentMajorVersionNumber
// and CurrentMinorVersionNumber, or CurrentVersion, of the key
// HKLM\Software\Microsoft\Windows NT\CurrentVersion (NT family), else VersionNumber of
// HKLM\Software\Microsoft\Windows\CurrentVersion (9x family).

#include "platform/SystemInfo.h"

#include <optional>
#include <string_view>

namespace tw::platform {

class RegistryApi;

/// The version record Wine uses for the setting `name` ("winxp", "win2k", ...; exact spelling,
/// as Wine compares it), or nothing for a name Wine does not know.
std::optional<VersionRecord> versionOfWineSetting(std::string_view name);

/// The version record of the prefix whose registry is `registry`, for the program named
/// `programName` (its file name, for the per-program setting). Nothing when neither a setting
/// nor the registry's version values give one.
std::optional<VersionRecord> readWineVersion(RegistryApi &registry, std::string_view programName);

} // namespace tw::platform
