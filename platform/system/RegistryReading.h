#pragma once
// Small read-only registry look-ups the system facts are made of. Every call opens its key,
// reads and closes it again; a missing key or value is an empty answer, never an error.

#include "platform/RegistryApi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform::detail {

/// A string value's text (up to its first NUL) and whether it is REG_EXPAND_SZ.
struct RegistryText {
  std::string text;
  bool expandable = false;
};

/// The text of the string value `name` of `root`\`path`; nothing when the key or value is
/// missing or the value holds no string.
std::optional<RegistryText> readRegistryText(RegistryApi &registry, RegKey root,
                                             std::string_view path, std::string_view name);

/// The REG_DWORD value `name` of `root`\`path`; nothing when missing or of another type.
std::optional<std::uint32_t> readRegistryDword(RegistryApi &registry, RegKey root,
                                               std::string_view path, std::string_view name);

/// Every string value of `root`\`path` in the key's order, as (name, text).
std::vector<std::pair<std::string, RegistryText>> readRegistryTexts(RegistryApi &registry,
                                                                    RegKey root,
                                                                    std::string_view path);

/// The names of the sub-keys of `root`\`path`; empty when the key is missing.
std::vector<std::string> readSubKeyNames(RegistryApi &registry, RegKey root, std::string_view path);

} // namespace tw::platform::detail
