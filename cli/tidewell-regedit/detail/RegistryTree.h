#pragma once
// Registry helpers of the registry editor: an owned key handle, deleting a key tree, and the
// words for Windows error codes.

#include "platform/RegistryApi.h"

#include <string>
#include <string_view>

namespace tw::regedit::detail {

/// Owns one open key handle of a registry and closes it when destroyed or reset.
class KeyHandle {
public:
  explicit KeyHandle(platform::RegistryApi &registry) : m_registry(&registry) {}
  KeyHandle(platform::RegistryApi &registry, platform::RegKey key)
      : m_registry(&registry), m_key(key), m_open(true) {}
  ~KeyHandle() { reset(); }
  KeyHandle(const KeyHandle &) = delete;
  KeyHandle &operator=(const KeyHandle &) = delete;

  void adopt(platform::RegKey key) {
    reset();
    m_key = key;
    m_open = true;
  }
  void reset() {
    if (m_open)
      m_registry->closeKey(m_key);
    m_open = false;
  }
  platform::RegKey get() const { return m_key; }

private:
  platform::RegistryApi *m_registry;
  platform::RegKey m_key = 0;
  bool m_open = false;
};

/// Deletes `path` below `root` with every key under it (RegDeleteTree). A key that does not
/// exist counts as deleted. Returns the first error of the registry.
long deleteKeyTree(platform::RegistryApi &registry, platform::RegKey root, std::string_view path);

/// "access denied (error 5)" and the like.
std::string errorText(long code);

} // namespace tw::regedit::detail
