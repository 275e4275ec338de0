#pragma once
// Wine's reg.exe listings of a key through its 32-bit or 64-bit tools, and ours through either
// registry view, formatted alike, for the tests that hold our registry against Wine's.

#include "platform/RegistryApi.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tw::test {

/// Access flags that choose a registry view, with their Windows values.
inline constexpr std::uint32_t View32 = 0x0200; // KEY_WOW64_32KEY
inline constexpr std::uint32_t View64 = 0x0100; // KEY_WOW64_64KEY

/// A shell word in single quotes.
std::string quoted(const std::string &text);

/// Runs a shell command of the test's own with the prefix's Wine environment and returns what it
/// printed; `status` (optional) receives its exit status.
std::string runInPrefix(const std::filesystem::path &prefix, const std::string &command, int *status = nullptr);

/// The command that runs one of Wine's programs with Wine's 32-bit tools (plain `wine`, which
/// sees the 32-bit view) or its 64-bit ones (the 64-bit loader).
std::string wineCommand(bool thirtyTwoBit);

/// What reg.exe lists for a key: its values ("(Default)" for the unnamed one) as type and
/// data, and the names of its sub-keys. Names and data reg.exe cannot print faithfully are
/// left out.
struct Listing {
  std::map<std::string, std::pair<std::string, std::string>> values;
  std::vector<std::string> subKeys;
  bool found = false;
};

/// Keeps one wineserver for the prefix running while it lives, so that a burst of Wine's tools
/// does not start and stop a server each; at its end Wine is left to save and end.
class WineSession {
public:
  explicit WineSession(std::filesystem::path prefix);
  ~WineSession();
  WineSession(const WineSession &) = delete;
  WineSession &operator=(const WineSession &) = delete;

private:
  std::filesystem::path m_prefix;
};

/// `reg query KEY` through Wine's 32-bit or 64-bit tools (inside a WineSession, or Wine's own
/// server ends a few seconds later).
Listing wineQuery(const std::filesystem::path &prefix, const std::string &key, bool thirtyTwoBit);
/// Several keys' listings through one run of Wine's command interpreter of that side.
std::vector<Listing> wineQueries(const std::filesystem::path &prefix, const std::vector<std::string> &keys,
                                 bool thirtyTwoBit);

/// The same listing through our registry, the key opened with KEY_READ | `viewFlags`.
Listing ourQuery(platform::RegistryApi &reg, platform::RegKey root, const std::string &path,
                 std::uint32_t viewFlags);

/// Lower-case ASCII.
std::string lowered(std::string text);

} // namespace tw::test
