#pragma once
// The content of a Wine prefix's registry files as the repair tests compare it: every key below
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER with its values (types and data), without times or
// order. Key paths are compared without regard to case, as the registry compares them, and
// HKEY_CLASSES_ROOT is seen where it lives, below HKEY_LOCAL_MACHINE\Software\Classes.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::test {

struct RegistryContent {
  struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data; ///< string data as UTF-8 with its terminating zero
    std::vector<std::uint8_t> stored; ///< the data exactly as stored (string data as UTF-16LE)
    bool operator==(const Value &) const = default;
  };
  struct Key {
    std::string path; ///< as stored, e.g. "HKEY_LOCAL_MACHINE\Software\X"
    /// canonicalKeyPath of the key where it is stored: another key's for a key seen through a
    /// link (Wine links the keys both registry views share); empty when the backend cannot tell
    std::string storedPath;
    std::map<std::string, Value> values; ///< by lower-case name
    std::map<std::string, std::string> valueNames; ///< lower-case name -> name as stored
  };
  std::map<std::string, Key> keys; ///< by canonicalKeyPath
};

/// Reads the registry files of `prefixDir` without changing them. Nothing, with `problem` set,
/// when they do not load.
std::optional<RegistryContent> readPrefixRegistry(const std::string &prefixDir, std::string &problem);

/// A key text or SUBKEY as the comparison keys it: lower case, HKEY_CLASSES_ROOT spelled as its
/// place below HKEY_LOCAL_MACHINE, no trailing backslash.
std::string canonicalKeyPath(std::string_view keyPath);

/// Lower-case ASCII.
std::string lowerCase(std::string_view text);

/// Text lines describing how two contents differ (at most `limit` lines); empty when equal.
std::vector<std::string> differences(const RegistryContent &expected, const RegistryContent &actual,
                                     std::size_t limit = 20);

/// The host folder fast scratch files go to: /dev/shm when there is one, the temp folder
/// otherwise.
std::string scratchFolder();

} // namespace tw::test
