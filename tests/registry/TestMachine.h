#pragma once
// A machine for the registry layer's tests: a fresh prefix folder in a temporary directory
// (drive C: only), an empty in-memory registry, and system facts the test chooses (by default
// those of a typical machine: system folder C:\WINDOWS\system32, Windows XP).

#include "platform/SystemInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::platform {
class RegistryApi;
}

namespace tw::test {

class TestMachine {
public:
  TestMachine();
  ~TestMachine();
  TestMachine(const TestMachine &) = delete;
  TestMachine &operator=(const TestMachine &) = delete;

  const std::string &prefixDir() const { return m_prefixDir; }
  platform::RegistryApi &registry();

  /// Creates an empty file at a path below drive C: ("C:\WINDOWS\rundll32.exe"), making the
  /// folders on the way.
  void createFile(std::string_view windowsPath);

  /// What GetSystemDirectory gives.
  void setSystemDirectory(std::string folder);
  /// What GetVersionEx gives; nothing stands for a record that cannot be obtained.
  void setVersion(std::optional<platform::VersionRecord> version);

  /// Imports the text of a .reg file ("Windows Registry Editor Version 5.00" and the lines
  /// after it); throws when the importer refuses it.
  void importReg(std::string_view regText);

  /// Writes a value of any type straight into the registry, creating its key.
  void setRawValue(std::uint32_t root, std::string_view keyPath, std::string_view name,
                   std::uint32_t type, const std::vector<std::uint8_t> &data);
  /// The value's type and data as the registry holds them, or nothing when it does not exist.
  std::optional<std::pair<std::uint32_t, std::vector<std::uint8_t>>>
  rawValue(std::uint32_t root, std::string_view keyPath, std::string_view name);
  /// True when the key exists (opened for reading).
  bool keyExists(std::uint32_t root, std::string_view keyPath);

  struct Facts {
    std::string systemDirectory = "C:\\WINDOWS\\system32";
    std::optional<platform::VersionRecord> version = platform::VersionRecord{2, 5, 1, 2600};
  };

private:
  std::string m_prefixDir;
  Facts *m_facts = nullptr; // owned by the installed machine's system facts
};

/// The bytes of a text, for setRawValue: UTF-8 with a terminating zero.
std::vector<std::uint8_t> textBytes(std::string_view text);

} // namespace tw::test
