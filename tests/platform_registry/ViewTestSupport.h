#pragma once
// Reading a key through one registry view, for the view tests of every backend.

#include "RegistryTestSupport.h"

#include <cstdint>
#include <string>

namespace tw::test {

using namespace tw::platform;

inline constexpr std::uint32_t Read32 = access::KeyRead | access::Wow64_32Key;
inline constexpr std::uint32_t Read64 = access::KeyRead | access::Wow64_64Key;

// Reads a string value through a key opened with `accessMask`, or "<error N>".
inline std::string readIn(RegistryApi &reg, RegKey root, const std::string &path, std::uint32_t accessMask,
                   const std::string &name = "") {
  RegKey key = 0;
  if (long rc = reg.openKey(root, path, accessMask, key); rc != error::Success) return "<error " + std::to_string(rc) + ">";
  RegValue value;
  long rc = reg.queryValue(key, name, value);
  reg.closeKey(key);
  if (rc != error::Success) return "<error " + std::to_string(rc) + ">";
  return std::string(reinterpret_cast<const char *>(value.data.data()));
}

// Where the key opened by `path` with `accessMask` is stored: "<root>|<path>", or "<error N>".
inline std::string storedIn(RegistryApi &reg, RegKey root, const std::string &path, std::uint32_t accessMask) {
  RegKey key = 0;
  if (long rc = reg.openKey(root, path, accessMask, key); rc != error::Success) return "<error " + std::to_string(rc) + ">";
  RegKey storedRoot = 0;
  std::string storedPath;
  long rc = reg.storedKeyPath(key, storedRoot, storedPath);
  reg.closeKey(key);
  if (rc != error::Success) return "<error " + std::to_string(rc) + ">";
  const char *names[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKPD", "HKCC", "HKDD"};
  return std::string(names[storedRoot - HKEY_CLASSES_ROOT]) + "|" + storedPath;
}

} // namespace tw::test
