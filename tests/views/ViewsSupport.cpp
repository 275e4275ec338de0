#include "ViewsSupport.h"

#include "../repair/PrefixContent.h"

#include "lists/CheckableList.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/SystemInfo.h"
#include "platform/WinePrefix.h"
#include "registry/XmlStore.h"
#include "repair/Fixing.h"
#include "repair/RestoreHistory.h"
#include "scan/ListScanSession.h"
#include "scan/ScanLists.h"
#include "scan/ScanRun.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tw::test {

namespace fs = std::filesystem;
using namespace platform;

std::vector<ScanRow> scanPrefix(const fs::path &prefix, bool *completed) {
  if (completed) *completed = false;
  PrefixOpenResult opened;
  auto machine = openWinePrefix(prefix.string(), opened);
  EXPECT_TRUE(machine) << opened.description();
  if (!machine) return {};
  installMachine(std::move(machine));
  lists::CheckableList groups;
  lists::CheckableList errors(/*sorted=*/true);
  scan::rebuildScanGroupList(groups);
  scan::ListScanSession session(groups, errors);
  const scan::ScanRunResult result = scan::runScanBody(session);
  EXPECT_EQ(result.kind, scan::ScanEndKind::Completed) << result.error;
  if (completed) *completed = result.kind == scan::ScanEndKind::Completed;
  std::vector<ScanRow> rows;
  for (int i = 0; i < errors.count(); ++i) {
    const lists::Row &row = errors.row(i);
    rows.push_back({row.caption, row.subItem(0), row.subItem(1), row.subItem(2)});
  }
  return rows;
}

// Opens the prefix as the program does at start-up; the host path of its Backup.xml, or empty.
static std::string startProgram(const fs::path &prefix) {
  PrefixOpenResult opened;
  auto machine = openWinePrefix(prefix.string(), opened);
  if (!machine || opened.readOnly()) return {};
  Machine &installed = installMachine(std::move(machine));
  const std::string folder = installed.system().programFolder();
  return installed.files().hostPath(folder + "Backup.xml", /*mustExist=*/false).value_or("");
}

static RepairCycle failed(std::string problem) {
  RepairCycle cycle;
  cycle.problem = std::move(problem);
  return cycle;
}

RepairCycle fixAndRestoreEverything(const fs::path &prefix) {
  RepairCycle cycle;
  std::string problem;
  const auto original = readPrefixRegistry(prefix.string(), problem);
  if (!original) return failed("the registry does not load: " + problem);
  {
    const std::string undoStorePath = startProgram(prefix);
    if (undoStorePath.empty()) return failed("the prefix does not open for writing");
    lists::CheckableList groups;
    lists::CheckableList errors(/*sorted=*/true);
    scan::rebuildScanGroupList(groups);
    scan::ListScanSession session(groups, errors);
    if (scan::runScanBody(session).kind != scan::ScanEndKind::Completed) return failed("the scan did not complete");
    pugi::xml_document undoStore;
    if (!loadXmlDocument(undoStore, undoStorePath, UndoStoreRootName)) return failed("no undo store");
    const repair::ActionResult fixed = repair::fixSelectedErrors(errors, {undoStore, undoStorePath});
    if (!fixed) return failed("fixing failed: " + fixed.message);
    cycle.fixedRows = static_cast<std::size_t>(fixed.count);
    if (!saveXmlDocument(undoStore, undoStorePath)) return failed("the undo store was not saved");
  }
  const auto afterFix = readPrefixRegistry(prefix.string(), problem);
  if (!afterFix) return failed("the fixed registry does not load: " + problem);
  cycle.changedByFix = differences(*original, *afterFix, SIZE_MAX);
  {
    const std::string undoStorePath = startProgram(prefix);
    pugi::xml_document undoStore;
    if (loadXmlDocument(undoStore, undoStorePath, UndoStoreRootName).status != XmlLoadResult::Status::Loaded)
      return failed("the undo store does not load");
    lists::CheckableList history;
    if (!repair::refreshHistory(history, undoStore)) return failed("the history does not load");
    repair::toggleHistoryChecks(history, repair::CheckAllHistoryCaption);
    const repair::ActionResult restored = repair::restoreCheckedRecords(history, {undoStore, undoStorePath});
    if (!restored) return failed("restoring failed: " + restored.message);
    cycle.restoredRecords = static_cast<std::size_t>(restored.count);
  }
  const auto afterRestore = readPrefixRegistry(prefix.string(), problem);
  if (!afterRestore) return failed("the restored registry does not load: " + problem);
  cycle.leftAfterRestore = differences(*original, *afterRestore);
  return cycle;
}

std::vector<std::string> fileLines(const fs::path &file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

} // namespace tw::test
