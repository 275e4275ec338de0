// A whole cycle on a generated prefix, as the user lives it: scan, fix every row, close the
// program, start it again, restore every record. The registry files must then hold exactly what
// they held before: every key, also those without values, and every value with its type and
// stored bytes.

#include "PrefixContent.h"

#include "generator/PrefixGenerator.h"
#include "lists/CheckableList.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/RegistryApi.h"
#include "platform/SystemInfo.h"
#include "platform/WinePrefix.h"
#include "registry/XmlStore.h"
#include "repair/Fixing.h"
#include "repair/RestoreHistory.h"
#include "scan/ListScanSession.h"
#include "scan/ScanLists.h"
#include "scan/ScanRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace tw::test {
namespace {

namespace fs = std::filesystem;
namespace regtype = platform::regtype;

/// Opens the prefix as the program does at start-up; returns the host path of its Backup.xml.
std::string startProgram(const fs::path &prefix) {
  platform::PrefixOpenResult opened;
  auto machine = platform::openWinePrefix(prefix.string(), opened);
  EXPECT_TRUE(machine) << opened.description();
  if (!machine) return {};
  EXPECT_FALSE(opened.readOnly()) << opened.readOnlyReason;
  platform::Machine &installed = platform::installMachine(std::move(machine));
  const std::string folder = installed.system().programFolder();
  return installed.files().hostPath(folder + "Backup.xml", /*mustExist=*/false).value_or("");
}

/// How many of the entries of `original` that `fixed` lacks the plain texts of the undo store
/// cannot carry: keys without values, and values that are not a string, a four-byte integer or
/// binary. Without some of them the cycle would prove little about the undo store's exactness.
std::size_t erasedEntriesNeedingExactForm(const RegistryContent &original, const RegistryContent &fixed) {
  std::size_t count = 0;
  for (const auto &[path, key] : original.keys) {
    auto after = fixed.keys.find(path);
    if (after == fixed.keys.end() && key.values.empty()) ++count;
    for (const auto &[name, value] : key.values) {
      if (after != fixed.keys.end() && after->second.values.contains(name)) continue;
      const bool plain = value.type == regtype::Sz || value.type == regtype::Binary ||
                         (value.type == regtype::Dword && value.stored.size() == 4);
      if (!plain) ++count;
    }
  }
  return count;
}

TEST(RepairCycleTest, FixCloseReopenRestoreGivesTheRegistryBack) {
  const fs::path root = fs::path(scratchFolder()) / ("tw-repair-cycle-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  const fs::path prefix = root / "prefix";
  generator::GeneratorOptions options;
  options.seed = 4;
  options.brokenShare = 0.3;
  const generator::GenerateResult made = generator::generatePrefix(prefix.string(), options);
  ASSERT_TRUE(made) << made.description();

  std::string problem;
  const auto original = readPrefixRegistry(prefix.string(), problem);
  ASSERT_TRUE(original) << problem;

  // First run: scan and fix every row; the window's close writes the undo store once more.
  std::size_t fixedRows = 0;
  {
    const std::string undoStorePath = startProgram(prefix);
    ASSERT_FALSE(undoStorePath.empty());
    lists::CheckableList groups;
    lists::CheckableList errors(/*sorted=*/true);
    scan::rebuildScanGroupList(groups);
    scan::ListScanSession session(groups, errors);
    ASSERT_EQ(scan::runScanBody(session).kind, scan::ScanEndKind::Completed);
    ASSERT_EQ(static_cast<std::size_t>(errors.count()), made.expectedErrors);

    pugi::xml_document undoStore;
    ASSERT_TRUE(loadXmlDocument(undoStore, undoStorePath, UndoStoreRootName));
    const repair::ActionResult fixed = repair::fixSelectedErrors(errors, {undoStore, undoStorePath});
    ASSERT_TRUE(fixed) << fixed.message;
    fixedRows = static_cast<std::size_t>(fixed.count);
    EXPECT_TRUE(errors.isEmpty());
    ASSERT_TRUE(saveXmlDocument(undoStore, undoStorePath));
  }
  const auto fixed = readPrefixRegistry(prefix.string(), problem);
  ASSERT_TRUE(fixed) << problem;
  ASSERT_FALSE(differences(*original, *fixed).empty());

  // Second run: the restore history lists every record; restore them all.
  {
    const std::string undoStorePath = startProgram(prefix);
    pugi::xml_document undoStore;
    ASSERT_EQ(loadXmlDocument(undoStore, undoStorePath, UndoStoreRootName).status,
              XmlLoadResult::Status::Loaded);
    lists::CheckableList history;
    ASSERT_TRUE(repair::refreshHistory(history, undoStore));
    ASSERT_EQ(static_cast<std::size_t>(history.count()), fixedRows);
    EXPECT_EQ(repair::toggleHistoryChecks(history, repair::CheckAllHistoryCaption),
              repair::UncheckAllHistoryCaption);
    const repair::ActionResult restored = repair::restoreCheckedRecords(history, {undoStore, undoStorePath});
    ASSERT_TRUE(restored) << restored.message;
    EXPECT_EQ(static_cast<std::size_t>(restored.count), fixedRows);
    EXPECT_TRUE(history.isEmpty());
  }

  const auto restored = readPrefixRegistry(prefix.string(), problem);
  ASSERT_TRUE(restored) << problem;
  const auto mismatches = differences(*original, *restored);
  EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " differences, the first: " << mismatches.front();

  const std::size_t erased = differences(*original, *fixed, SIZE_MAX).size();
  const std::size_t needingExactForm = erasedEntriesNeedingExactForm(*original, *fixed);
  EXPECT_GT(needingExactForm, 0u) << "the prefix gave the fix nothing the plain texts cannot carry";
  std::printf("[          ] %zu rows fixed, %zu entries erased and given back, %zu of them keys without "
              "values or values of other kinds\n", fixedRows, erased, needingExactForm);

  std::error_code ignored;
  fs::remove_all(root, ignored);
}

} // namespace
} // namespace tw::test
