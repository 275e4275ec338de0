#include "cli/tidewell-regedit/detail/RegistryTree.h"

#include "cli/tidewell-regedit/RegFileReader.h"

namespace tw::regedit::detail {

namespace error = platform::error;

namespace {

// Deletes every sub-key of `key`, deepest first. `depth` stops a registry whose links form a
// cycle from recursing for ever.
long deleteChildren(platform::RegistryApi &registry, platform::RegKey key, std::size_t depth) {
  if (depth > MaxKeyDepth)
    return error::InvalidParameter;
  std::string name;
  for (;;) {
    // Always the first child: each pass deletes it, so the next one moves up to index 0.
    long rc = registry.enumKey(key, 0, name);
    if (rc == error::NoMoreItems)
      return error::Success;
    if (rc != error::Success)
      return rc;
    platform::RegKey child = 0;
    rc = registry.openKey(key, name, platform::access::KeyAllAccess, child);
    if (rc != error::Success)
      return rc;
    {
      KeyHandle owned(registry, child);
      rc = deleteChildren(registry, child, depth + 1);
    }
    if (rc != error::Success)
      return rc;
    rc = registry.deleteKey(key, name);
    if (rc != error::Success)
      return rc;
  }
}

} // namespace

long deleteKeyTree(platform::RegistryApi &registry, platform::RegKey root, std::string_view path) {
  platform::RegKey key = 0;
  long rc = registry.openKey(root, path, platform::access::KeyAllAccess, key);
  if (rc == error::FileNotFound)
    return error::Success;
  if (rc != error::Success)
    return rc;
  {
    KeyHandle owned(registry, key);
    rc = deleteChildren(registry, key, 1);
  }
  if (rc != error::Success)
    return rc;
  rc = registry.deleteKey(root, path);
  return rc == error::FileNotFound ? error::Success : rc;
}

std::string errorText(long code) {
  const char *words = nullptr;
  switch (code) {
  case error::FileNotFound:
    words = "not found";
    break;
  case error::AccessDenied:
    words = "access denied";
    break;
  case error::InvalidHandle:
    words = "invalid handle";
    break;
  case error::InvalidParameter:
    words = "invalid parameter";
    break;
  case error::KeyDeleted:
    words = "the key was deleted";
    break;
  case error::WriteFault:
    words = "write fault";
    break;
  case error::BadFormat:
    words = "the registry file is damaged";
    break;
  default:
    words = "registry error";
  }
  return std::string(words) + " (error " + std::to_string(code) + ")";
}

} // namespace tw::regedit::detail
