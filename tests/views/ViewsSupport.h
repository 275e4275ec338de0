#pragma once
// What the registry-view tests share beyond Wine's listings: the rows of a full scan and a whole
// repair cycle.

#include "WineListing.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tw::test {

/// One row of the error list as its four texts.
struct ScanRow {
  std::string errorType, keyName, keyValue, guessPath;
  /// The row as one TSV line, as expected-errors.tsv holds it.
  std::string line() const { return errorType + "\t" + keyName + "\t" + keyValue + "\t" + guessPath; }
};

/// Opens the prefix as the program does and runs a full scan; `completed` (optional) tells
/// whether the scan ran to its end.
std::vector<ScanRow> scanPrefix(const std::filesystem::path &prefix, bool *completed = nullptr);

/// What a whole repair cycle did to a prefix: scan, fix every row, close the program, start it
/// again and restore every record.
struct RepairCycle {
  std::string problem;         ///< what stopped the cycle; empty when it ran through
  std::size_t fixedRows = 0;
  std::size_t restoredRecords = 0;
  std::vector<std::string> changedByFix;     ///< how the fixed registry differs from the original
  std::vector<std::string> leftAfterRestore; ///< how the restored registry differs from it
};
RepairCycle fixAndRestoreEverything(const std::filesystem::path &prefix);

/// The lines of a text file, without their line ends.
std::vector<std::string> fileLines(const std::filesystem::path &file);

} // namespace tw::test
