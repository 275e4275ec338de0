#pragma once
// A generated registry read through the program's own Wine registry reader, read-only, as the
// generator's tests check it.

#include "platform/RegistryApi.h"
#include "platform/WineRegistry.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tw::generator::test {

using platform::RegKey;

class LoadedRegistry {
public:
  explicit LoadedRegistry(const std::string &prefix) {
    platform::WineRegistryOptions options;
    options.readOnly = true;
    options.ignoreRunningServer = true;
    m_registry = platform::openWineRegistry(prefix, m_load, options);
  }
  bool loaded() const { return m_registry != nullptr; }
  std::string loadError() const { return m_load.description(); }

  bool keyExists(RegKey root, const std::string &path) {
    RegKey key = 0;
    if (m_registry->openKey(root, path, platform::access::KeyRead, key) != platform::error::Success)
      return false;
    m_registry->closeKey(key);
    return true;
  }
  std::optional<platform::KeyInfo> info(RegKey root, const std::string &path) {
    RegKey key = 0;
    if (m_registry->openKey(root, path, platform::access::KeyRead, key) != platform::error::Success)
      return std::nullopt;
    platform::KeyInfo keyInfo;
    const long status = m_registry->queryInfoKey(key, keyInfo);
    m_registry->closeKey(key);
    if (status != platform::error::Success)
      return std::nullopt;
    return keyInfo;
  }
  /// The text of a string value (without its terminating zero), or nothing.
  std::optional<std::string> text(RegKey root, const std::string &path, const std::string &name) {
    RegKey key = 0;
    if (m_registry->openKey(root, path, platform::access::KeyRead, key) != platform::error::Success)
      return std::nullopt;
    platform::RegValue value;
    const long status = m_registry->queryValue(key, name, value);
    m_registry->closeKey(key);
    if (status != platform::error::Success)
      return std::nullopt;
    std::string data(value.data.begin(), value.data.end());
    if (platform::isStringType(value.type))
      data = data.substr(0, data.find('\0'));
    return data;
  }
  bool valueExists(RegKey root, const std::string &path, const std::string &name) {
    RegKey key = 0;
    if (m_registry->openKey(root, path, platform::access::KeyRead, key) != platform::error::Success)
      return false;
    platform::RegValue value;
    const long status = m_registry->queryValue(key, name, value);
    m_registry->closeKey(key);
    return status == platform::error::Success;
  }

  /// The names of the key's sub-keys in the registry's order (none when it does not exist).
  std::vector<std::string> subKeys(RegKey root, const std::string &path) {
    std::vector<std::string> names;
    RegKey key = 0;
    if (m_registry->openKey(root, path, platform::access::KeyRead, key) != platform::error::Success)
      return names;
    for (std::uint32_t i = 0;; ++i) {
      std::string name;
      if (m_registry->enumKey(key, i, name) != platform::error::Success)
        break;
      names.push_back(name);
    }
    m_registry->closeKey(key);
    return names;
  }

private:
  platform::RegistryLoadResult m_load;
  std::unique_ptr<platform::WineRegistry> m_registry;
};

} // namespace tw::generator::test
