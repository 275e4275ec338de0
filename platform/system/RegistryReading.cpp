#include "platform/system/RegistryReading.h"

namespace tw::platform::detail {

namespace {
// Closes a key handle however the look-up ends.
class OpenKey {
public:
  OpenKey(RegistryApi &registry, RegKey root, std::string_view path) : m_registry(registry) {
    m_open = registry.openKey(root, path, access::KeyRead, m_key) == error::Success;
  }
  ~OpenKey() {
    if (m_open) m_registry.closeKey(m_key);
  }
  OpenKey(const OpenKey &) = delete;
  OpenKey &operator=(const OpenKey &) = delete;
  explicit operator bool() const { return m_open; }
  RegKey key() const { return m_key; }

private:
  RegistryApi &m_registry;
  RegKey m_key = 0;
  bool m_open = false;
};
} // namespace

static std::optional<RegistryText> textOf(const RegValue &value) {
  if (value.type != regtype::Sz && value.type != regtype::ExpandSz) return std::nullopt;
  RegistryText text;
  text.expandable = value.type == regtype::ExpandSz;
  for (std::uint8_t byte : value.data) {
    if (byte == 0) break;
    text.text += static_cast<char>(byte);
  }
  return text;
}

std::optional<RegistryText> readRegistryText(RegistryApi &registry, RegKey root,
                                             std::string_view path, std::string_view name) {
  OpenKey key(registry, root, path);
  if (!key) return std::nullopt;
  RegValue value;
  if (registry.queryValue(key.key(), name, value) != error::Success) return std::nullopt;
  return textOf(value);
}

std::optional<std::uint32_t> readRegistryDword(RegistryApi &registry, RegKey root,
                                               std::string_view path, std::string_view name) {
  OpenKey key(registry, root, path);
  if (!key) return std::nullopt;
  RegValue value;
  if (registry.queryValue(key.key(), name, value) != error::Success) return std::nullopt;
  if (value.type != regtype::Dword || value.data.size() < 4) return std::nullopt;
  return static_cast<std::uint32_t>(value.data[0]) | (static_cast<std::uint32_t>(value.data[1]) << 8) |
         (static_cast<std::uint32_t>(value.data[2]) << 16) | (static_cast<std::uint32_t>(value.data[3]) << 24);
}

std::vector<std::pair<std::string, RegistryText>> readRegistryTexts(RegistryApi &registry,
                                                                    RegKey root,
                                                                    std::string_view path) {
  std::vector<std::pair<std::string, RegistryText>> out;
  OpenKey key(registry, root, path);
  if (!key) return out;
  RegValue value;
  for (std::uint32_t index = 0; registry.enumValue(key.key(), index, value) == error::Success; ++index) {
    if (auto text = textOf(value)) out.emplace_back(value.name, std::move(*text));
  }
  return out;
}

std::vector<std::string> readSubKeyNames(RegistryApi &registry, RegKey root, std::string_view path) {
  std::vector<std::string> out;
  OpenKey key(registry, root, path);
  if (!key) return out;
  std::string name;
  for (std::uint32_t index = 0; registry.enumKey(key.key(), index, name) == error::Success; ++index)
    out.push_back(name);
  return out;
}

} // namespace tw::platform::detail
