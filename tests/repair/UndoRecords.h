#pragma once
// The crash tests' check, shared by the test of each build: whatever a killed run left in the
// registry files and in Backup.xml on disk, every key and value of the original registry that is
// gone from the files has its record in Backup.xml, with the type and data that give it back.

#include "PrefixContent.h"

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tw::test {

/// The prefix's program folder that holds Backup.xml (the Linux build's; the Windows build's is
/// the folder of its executable).
constexpr const char *UndoStoreFolder = "drive_c/ProgramData/Tidewell Registry Cleaner 2006";
/// The registry files of a prefix.
constexpr const char *RegistryFiles[] = {"system.reg", "user.reg", "userdef.reg"};

/// The records of an undo store, keyed for the checks below.
struct UndoRecords {
  /// canonical SUBKEY + "\n" + lower-case NAME -> TYPE + "\n" + VALUE
  std::map<std::string, std::string> items;
  /// canonical SUBKEY + "\n" + lower-case NAME -> RAW, for the items that carry one
  std::map<std::string, std::string> raws;
  /// canonical SUBKEY of the items that record a key without values
  std::set<std::string> keysWithoutValues;
  /// canonical key texts of the records (TYPE)
  std::set<std::string> keyTexts;
};

/// The bytes of a file; nothing when it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path &path);

/// Reads `prefix`/UndoStoreFolder/Backup.xml; an absent file holds no records. Nothing, with
/// `problem` set, when it is damaged.
std::optional<UndoRecords> readUndoRecords(const std::filesystem::path &prefix, std::string &problem);

/// Copies the registry files and the undo store of `prefix` to the folder `state`, so that a
/// round can start again from them.
void savePrefixState(const std::filesystem::path &prefix, const std::filesystem::path &state);

/// Every entry of `original` that `now` lacks must be in `records`: a key without values as an
/// item of its own, a value as an item whose texts (and exact form, where it needs one) give it
/// back. A key seen through a link is checked where it is stored, and a record that names it by
/// the link's path counts for that key. Returns what is missing without a record, one line each.
std::vector<std::string> unrecordedLosses(const RegistryContent &original, const RegistryContent &now,
                                          const UndoRecords &records);

} // namespace tw::test
