#pragma once
// Writing registry values for a test in a few words.

#include "platform/RegistryApi.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace tw::test {

inline void setRegistryText(platform::RegistryApi &registry, platform::RegKey root, const std::string &path,
                            const std::string &name, const std::string &text,
                            std::uint32_t type = platform::regtype::Sz) {
  platform::RegKey key = 0;
  ASSERT_EQ(registry.createKey(root, path, platform::access::KeyAllAccess, key), platform::error::Success)
      << path;
  EXPECT_EQ(registry.setValue(key, name, type, reinterpret_cast<const std::uint8_t *>(text.c_str()),
                              text.size() + 1),
            platform::error::Success)
      << path << "\\" << name;
  registry.closeKey(key);
}

inline void setRegistryDword(platform::RegistryApi &registry, platform::RegKey root, const std::string &path,
                             const std::string &name, std::uint32_t value) {
  platform::RegKey key = 0;
  ASSERT_EQ(registry.createKey(root, path, platform::access::KeyAllAccess, key), platform::error::Success)
      << path;
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  EXPECT_EQ(registry.setValue(key, name, platform::regtype::Dword, bytes, 4), platform::error::Success);
  registry.closeKey(key);
}

} // namespace tw::test
