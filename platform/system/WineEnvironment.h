#pragma once
// The environment variables a program started in a Wine prefix receives, rebuilt from the
// prefix's registry as Wine builds them at process start: the variables Wine derives from the
// profile settings (USERPROFILE, ProgramData, SystemRoot, ...), then the system's variables
// (HKLM\System\CurrentControlSet\Control\Session Manager\Environment), then the user's
// (HKCU\Environment), each key's plain strings before its expandable ones. The host's own
// environment plays no part, as in Wine, which keeps the host's TEMP and PATH apart.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tw::platform {

class RegistryApi;

class WineEnvironment {
public:
  /// Reads the variables from `registry`. `hostUserName` names the user when the profile
  /// settings do not.
  static WineEnvironment fromRegistry(RegistryApi &registry, std::string_view hostUserName);

  /// The value of `name` (any case), or nothing when it is not set.
  std::optional<std::string> get(std::string_view name) const;
  /// Sets or replaces `name` (any case; a new variable keeps the spelling given).
  void set(std::string_view name, std::string value);

  /// ExpandEnvironmentStrings: every "%NAME%" of a set variable replaced by its value; the text
  /// of an unset one stays as it is.
  std::string expand(std::string_view text) const;

private:
  std::vector<std::pair<std::string, std::string>> m_variables;
};

} // namespace tw::platform
