#include "registry/RegistryKeys.h"

#include "platform/TextCompare.h"

namespace tw {

namespace error = platform::error;

// True when the sub-key `name` of `parent`, opened as `child`, is stored somewhere else than
// below `parent`: a link (Wine writes them for the keys both registry views share), whose target
// is another key than the one the caller named. A backend that cannot tell says no.
static bool storedElsewhere(platform::RegistryApi &registry, platform::RegKey parent, platform::RegKey child,
                            std::string_view name) {
  platform::RegKey parentRoot = 0, childRoot = 0;
  std::string parentPath, childPath;
  if (registry.storedKeyPath(parent, parentRoot, parentPath) != error::Success ||
      registry.storedKeyPath(child, childRoot, childPath) != error::Success)
    return false;
  std::string expected = parentPath;
  if (!expected.empty()) expected += '\\';
  expected += name;
  return childRoot != parentRoot || !platform::equalIgnoringAsciiCase(childPath, expected);
}

static long deleteTree(platform::RegistryApi &registry, platform::RegKey base, std::string_view path,
                       std::uint32_t access, std::size_t depth) {
  if (path.empty() || depth > MaxRegistryKeyDepth) return error::InvalidParameter;
  long first = error::Success;
  platform::RegKey key = 0;
  if (registry.openKey(base, path, access, key) == error::Success) {
    OwnedKey owned(registry, key);
    // A sub-key that is a link is never followed: emptying it would empty the key it leads
    // to. It stays, and so does the key that holds it.
    if (depth > 0 && storedElsewhere(registry, base, key, path)) return error::AccessDenied;
    platform::KeyInfo info;
    if (registry.queryInfoKey(key, info) == error::Success) {
      // From the last index down, so that deleting one sub-key does not shift the next, and a
      // sub-key that stays does not stop the others.
      std::string name;
      for (std::uint32_t index = info.subKeyCount; index-- > 0;) {
        if (registry.enumKey(key, index, name) != error::Success || name.empty()) continue;
        const long rc = deleteTree(registry, key, name, access, depth + 1);
        if (rc != error::Success && rc != error::FileNotFound && first == error::Success) first = rc;
      }
    }
  }
  const long deleted = registry.deleteKey(base, path);
  if (deleted == error::Success || first == error::Success) return deleted;
  return first;
}

long deleteKeyTree(platform::RegistryApi &registry, platform::RegKey base, std::string_view path,
                   std::uint32_t access) {
  return deleteTree(registry, base, path, access, 0);
}

std::string registryErrorText(long code) {
  const char *words = nullptr;
  switch (code) {
  case error::FileNotFound: words = "not found"; break;
  case error::AccessDenied: words = "access denied"; break;
  case error::InvalidHandle: words = "invalid handle"; break;
  case error::InvalidParameter: words = "invalid parameter"; break;
  case error::KeyDeleted: words = "the key was deleted"; break;
  case error::WriteFault: words = "write fault"; break;
  case error::BadFormat: words = "the registry file is damaged"; break;
  default: words = "registry error";
  }
  return std::string(words) + " (error " + std::to_string(code) + ")";
}

} // namespace tw
