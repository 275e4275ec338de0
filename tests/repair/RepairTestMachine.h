#pragma once
// A machine for the repair tests: a temporary folder standing for the prefix (it also holds the
// test's Backup.xml and ignore.xml), and an in-memory registry built from literal .reg texts
// whose flush can be made to fail, to see what an action does when the registry's files cannot
// be written.

#include "lists/CheckableList.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tw::platform {
class RegistryApi;
}

namespace tw::test {

using Bytes = std::vector<std::uint8_t>;

class RepairTestMachine {
public:
  RepairTestMachine();
  ~RepairTestMachine();
  RepairTestMachine(const RepairTestMachine &) = delete;
  RepairTestMachine &operator=(const RepairTestMachine &) = delete;

  /// The temporary folder (host path, no trailing slash).
  const std::string &folder() const { return m_folder; }
  /// A host path in the folder.
  std::string pathOf(std::string_view name) const { return m_folder + "/" + std::string(name); }
  /// A host path whose folder does not exist, so that every save to it fails.
  std::string unreachablePath() const { return m_folder + "/no-such-folder/file.xml"; }

  platform::RegistryApi &registry();
  /// Imports the lines of a .reg file after its header line, and flushes; throws when refused.
  void importReg(std::string_view regLines);
  /// Makes every later flush of the registry fail (or succeed again).
  void setFlushFails(bool fails);
  /// Lets `flushes` more flushes (of one root each) succeed and makes every later one fail; -1
  /// lifts the limit.
  void setFlushesBeforeFailure(int flushes);
  /// Refuses to create any key whose path (as the caller names it) holds `text`; empty allows all.
  void refuseKeysNamed(std::string text);
  /// Makes the registry behave as one whose every write reaches the disk at once (advapi32):
  /// changes cannot be taken back (discardUnflushedChanges answers NotSupported).
  void setWritesThrough(bool writesThrough);
  /// Calls `check` with the key path (and value name) before every deletion reaches the registry.
  void onErase(std::function<void(const std::string &)> check);
  /// Refuses to delete any key whose path, or value whose name, ends in `text` (case as named),
  /// although it can be opened for deletion; empty allows all.
  void refuseDeletesOf(std::string text);

  /// The value's type and data as the registry holds them (string data as UTF-8 with its
  /// terminating zero), or nothing when it does not exist.
  std::optional<std::pair<std::uint32_t, Bytes>> value(std::uint32_t root, std::string_view keyPath,
                                                       std::string_view name);
  bool keyExists(std::uint32_t root, std::string_view keyPath);
  /// Every key below `root`'s `keyPath` with its values, one line per value
  /// ("key\name=type:hex"), one line per key without values, sorted: a fingerprint of a sub-tree.
  std::vector<std::string> dump(std::uint32_t root, std::string_view keyPath);

private:
  std::string m_folder;
  class FlakyRegistry *m_registry = nullptr; // owned by the installed machine
};

/// UTF-8 text with its terminating zero, as the registry hands string data over.
Bytes textBytes(std::string_view text);

/// An error-list row as the scan makes it (checked).
lists::Row errorRow(std::string errorType, std::string keyText, std::string guessPath = "",
                    std::string keyValue = "");

/// The captions and key texts of a list's rows, "caption|sub-item 0", first to last.
std::vector<std::string> rowTexts(const lists::CheckableList &list);

/// The whole text of a host file, or nothing when it cannot be read.
std::optional<std::string> fileText(const std::string &path);

} // namespace tw::test
