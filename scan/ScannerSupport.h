#pragma once
// Private to the scanners: the registry object of one walk and the joining of key texts.

#include "registry/RegistryAccess.h"

#include <string>
#include <string_view>

namespace tw::scan::detail {

/// The registry object of one walk. It opens keys for reading: the scan never changes the
/// registry, and asking for full access made every key of a registry that may only be read (a
/// prefix whose wineserver runs, a user without the right to change HKEY_LOCAL_MACHINE) fail to
/// open, so that the scan found nothing and reported a clean registry.
class WalkRegistry : public TRegistry {
public:
  explicit WalkRegistry(RootKey root) : TRegistry(platform::access::KeyRead) { CurrentRoot(root); }
  /// The current root's full name, which begins every key text the walk reports.
  std::string rootName() const { return RootKeyToFullName(CurrentRoot()); }
};

/// `path` + "\" + `name`.
inline std::string joinKey(std::string_view path, std::string_view name) {
  std::string text;
  text.reserve(path.size() + 1 + name.size());
  text.append(path).append(1, '\\').append(name);
  return text;
}

} // namespace tw::scan::detail
