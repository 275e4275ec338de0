#pragma once
// Working on keys through a registry interface: an owned key handle, deleting a key with its
// whole tree, and the words for the registry's error codes. The registry object and the .reg
// format share these.

#include "platform/RegistryApi.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

/// Windows refuses keys nested deeper than this below a root, so a deeper walk can only be a
/// loop of links.
inline constexpr std::size_t MaxRegistryKeyDepth = 512;

/// Owns one open key handle of a registry and closes it when destroyed or reset.
class OwnedKey {
public:
  explicit OwnedKey(platform::RegistryApi &registry) : m_registry(&registry) {}
  OwnedKey(platform::RegistryApi &registry, platform::RegKey key)
      : m_registry(&registry), m_key(key), m_open(true) {}
  ~OwnedKey() { reset(); }
  OwnedKey(const OwnedKey &) = delete;
  OwnedKey &operator=(const OwnedKey &) = delete;

  void adopt(platform::RegKey key) {
    reset();
    m_key = key;
    m_open = true;
  }
  void reset() {
    if (m_open) m_registry->closeKey(m_key);
    m_open = false;
  }
  platform::RegKey get() const { return m_key; }

private:
  platform::RegistryApi *m_registry;
  platform::RegKey m_key = 0;
  bool m_open = false;
};

/// Deletes the key `path` below `base` with every key under it (RegDeleteTree), opening the
/// keys it empties with `access`. Sub-keys that cannot be deleted are passed over and the
/// others still deleted. A sub-key that is a link to a key stored elsewhere is never followed:
/// it stays, with the key holding it (AccessDenied). Success when the key itself was deleted;
/// FileNotFound when there was no such key; otherwise the first error met. An empty path names
/// `base` itself and deletes nothing (InvalidParameter).
long deleteKeyTree(platform::RegistryApi &registry, platform::RegKey base, std::string_view path,
                   std::uint32_t access = platform::access::KeyAllAccess);

/// "access denied (error 5)" and the like.
std::string registryErrorText(long code);

} // namespace tw
