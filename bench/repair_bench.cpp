// Fixing 10,000 checked error rows of a generated prefix and restoring them from the restore
// history, each timed with the saves that end it (Backup.xml, then the registry files, or the
// other way round for a restore). Both must stay within two seconds.
//
//   repair_bench
//
// The prefix is generated afresh in the temporary folder (a fix changes it for good, so it is
// never reused), scanned (not timed), and the first 10,000 rows of the error list are checked. It prints the times and the sizes of the files
// written; the exit status is 1 when a time exceeds the limit.

#include "bench/BenchSupport.h"

#include "generator/PrefixGenerator.h"
#include "lists/CheckableList.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/SystemInfo.h"
#include "platform/OpenMachine.h"
#include "registry/XmlStore.h"
#include "repair/Fixing.h"
#include "repair/RestoreHistory.h"
#include "scan/ListScanSession.h"
#include "scan/ScanLists.h"
#include "scan/ScanRun.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using tw::bench::Clock;
using tw::bench::secondsSince;
using tw::bench::TemporaryFolder;

static constexpr int RowsToFix = 10000;
static constexpr double LimitSeconds = 2.0;

static std::uintmax_t sizeOf(const fs::path &file) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(file, error);
  return error ? 0 : size;
}

/// Opens the prefix as the program does; returns the host path of its Backup.xml, or empty.
static std::string openPrefix(const fs::path &dir) {
  tw::platform::PrefixOpenResult opened;
  auto machine = tw::platform::openMachine(dir.string(), opened);
  if (!machine || opened.readOnly()) {
    std::fprintf(stderr, "repair_bench: %s\n", opened.description().c_str());
    return {};
  }
  tw::platform::Machine &installed = tw::platform::installMachine(std::move(machine));
  const std::string folder = installed.system().programFolder();
  return installed.files().hostPath(folder + "Backup.xml", /*mustExist=*/false).value_or("");
}

int main() {
  const TemporaryFolder folder{fs::temp_directory_path() / ("tw-repair-bench-" + std::to_string(getpid()))};
  const fs::path &dir = folder.path;

  // About 12,000 broken entries of the kinds that make most rows.
  tw::generator::GeneratorOptions options;
  options.seed = 2006;
  options.brokenShare = 0.4;
  options.classes = 10000;
  options.appPaths = 3000;
  options.uninstall = 3000;
  options.fileExts = 8000;
  options.sharedDlls = 6000;
  auto start = Clock::now();
  const tw::generator::GenerateResult made = tw::generator::generatePrefix(dir.string(), options);
  if (!made) {
    std::fprintf(stderr, "repair_bench: %s\n", made.description().c_str());
    return 1;
  }
  const double generateSeconds = secondsSince(start);

  const std::string undoStorePath = openPrefix(dir);
  if (undoStorePath.empty()) return 1;

  tw::lists::CheckableList groups;
  tw::lists::CheckableList errors(/*sorted=*/true);
  tw::scan::rebuildScanGroupList(groups);
  tw::scan::ListScanSession session(groups, errors);
  start = Clock::now();
  const tw::scan::ScanRunResult scanned = tw::scan::runScanBody(session);
  const double scanSeconds = secondsSince(start);
  if (scanned.kind != tw::scan::ScanEndKind::Completed || errors.count() < RowsToFix) {
    std::fprintf(stderr, "repair_bench: the scan found %d rows (%s), fewer than %d\n", errors.count(),
                 scanned.error.c_str(), RowsToFix);
    return 1;
  }
  for (int i = RowsToFix; i < errors.count(); ++i) errors.setChecked(i, false);

  pugi::xml_document undoStore;
  tw::resetXmlDocument(undoStore, tw::UndoStoreRootName);
  start = Clock::now();
  const tw::repair::ActionResult fixed = tw::repair::fixSelectedErrors(errors, {undoStore, undoStorePath});
  const double fixSeconds = secondsSince(start);
  if (!fixed || fixed.count != RowsToFix) {
    std::fprintf(stderr, "repair_bench: fixing fixed %d rows: %s\n", fixed.count, fixed.message.c_str());
    return 1;
  }
  const std::uintmax_t undoStoreBytes = sizeOf(undoStorePath);

  tw::lists::CheckableList history;
  tw::repair::refreshHistory(history, undoStore);
  history.setAllChecked(true);
  start = Clock::now();
  const tw::repair::ActionResult restored =
      tw::repair::restoreCheckedRecords(history, {undoStore, undoStorePath});
  const double restoreSeconds = secondsSince(start);
  if (!restored || restored.count != RowsToFix) {
    std::fprintf(stderr, "repair_bench: restoring restored %d records: %s\n", restored.count,
                 restored.message.c_str());
    return 1;
  }

  std::printf("prefix %s: %zu keys, system.reg %ju bytes, user.reg %ju bytes (made in %.2f s)\n",
              dir.c_str(), made.keysWritten, sizeOf(dir / "system.reg"), sizeOf(dir / "user.reg"),
              generateSeconds);
  std::printf("scan (not held to the limit): %d rows in %.2f s\n", errors.count() + RowsToFix,
              scanSeconds);
  std::printf("fix %d rows:      %.3f s  (Backup.xml %ju bytes, then the registry files)\n", RowsToFix,
              fixSeconds, undoStoreBytes);
  std::printf("restore %d records: %.3f s  (the registry files, then Backup.xml)\n", RowsToFix,
              restoreSeconds);

  const bool withinLimit = fixSeconds <= LimitSeconds && restoreSeconds <= LimitSeconds;
  if (!withinLimit) std::printf("over the limit of %.1f s\n", LimitSeconds);
  return withinLimit ? 0 : 1;
}
