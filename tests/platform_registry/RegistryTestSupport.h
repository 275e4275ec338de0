#pragma once
// Helpers shared by the registry backend tests: short calls that build and read keys, and
// the backends the Windows-rule tests run against.

#include "platform/RegistryApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tw::test {

using platform::RegistryApi;
using platform::RegKey;

/// A folder below the system's temporary folder, removed again on destruction.
class TempDir {
public:
  explicit TempDir(const std::string &tag);
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::filesystem::path &path() const { return m_path; }

private:
  std::filesystem::path m_path;
};

std::string readFile(const std::filesystem::path &path);
void writeFile(const std::filesystem::path &path, const std::string &content);

/// Creates `path` below `root` and sets a REG_SZ value (empty name: the default value).
void putString(RegistryApi &reg, RegKey root, const std::string &path, const std::string &name,
               const std::string &text);
void putDword(RegistryApi &reg, RegKey root, const std::string &path, const std::string &name, std::uint32_t v);
/// The text of a string value, or "<error N>" when it cannot be read.
std::string getString(RegistryApi &reg, RegKey root, const std::string &path, const std::string &name);
bool keyExists(RegistryApi &reg, RegKey root, const std::string &path);
std::vector<std::string> subKeyNames(RegistryApi &reg, RegKey root, const std::string &path);
std::vector<std::string> valueNames(RegistryApi &reg, RegKey root, const std::string &path);

/// A way to make a fresh, empty registry for the tests that every backend must pass.
struct BackendFactory {
  std::string name;
  std::function<std::unique_ptr<RegistryApi>(const std::filesystem::path &scratch)> make;
};

inline void PrintTo(const BackendFactory &backend, std::ostream *out) { *out << backend.name; }

/// The memory backend, and the wine backend over a freshly written empty prefix.
std::vector<BackendFactory> allBackends();

/// Loads one registry file's text into a store and writes it back; with `regenerate` every
/// key is written afresh instead of copying the blocks of unchanged keys.
std::string loadAndWrite(const std::string &text, bool regenerate);

/// A minimal prefix (three registry files with the given key blocks appended) in `dir`.
void writeMinimalPrefix(const std::filesystem::path &dir, const std::string &systemBlocks = "",
                        const std::string &userBlocks = "", const std::string &userdefBlocks = "");

} // namespace tw::test
