// A whole cycle on a generated prefix through the real registry editor: back up, fix every scan
// row, restore. Every key and value the restore point holds is back, a key made after the backup
// stays (an import merges), and the running program works on what the files now hold: the next
// scan finds the restored entries and the next fix saves.

#include "BackupTestPrefix.h"
#include "PrefixContent.h"

#include "backup/BackupRun.h"
#include "backup/RestorePoints.h"
#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/RegistryApi.h"
#include "platform/WinePrefix.h"
#include "platform/WineRegistry.h"
#include "registry/ProgramFiles.h"
#include "registry/XmlStore.h"
#include "repair/Fixing.h"
#include "scan/ListScanSession.h"
#include "scan/ScanLists.h"
#include "scan/ScanRun.h"

#include <gtest/gtest.h>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

/// A full scan of the installed machine, as the window runs it.
void scanAll(lists::CheckableList &errors) {
  lists::CheckableList groups;
  scan::rebuildScanGroupList(groups);
  scan::ListScanSession session(groups, errors);
  ASSERT_EQ(scan::runScanBody(session).kind, scan::ScanEndKind::Completed);
}

/// Fixes every row of `errors`, with the undo store in the program folder.
repair::ActionResult fixAll(lists::CheckableList &errors) {
  const std::string undoStorePath = programFilesOf(platform::machine()).undoStorePath;
  pugi::xml_document undoStore;
  EXPECT_TRUE(loadXmlDocument(undoStore, undoStorePath, UndoStoreRootName));
  return repair::fixSelectedErrors(errors, {undoStore, undoStorePath});
}

std::string makeBackup(const BackupTestPrefix &prefix, const std::string &name) {
  const std::string folder = backup::createRestorePoint(platform::machine(), prefix.backupFolder(), name);
  const backup::RunReport report = backup::runBackup(platform::machine(), folder, [](const std::string &) {}, {});
  EXPECT_TRUE(report.succeeded()) << report.description();
  return folder;
}

TEST(BackupCycleTest, BackupFixRestoreGivesTheRegistryBackToTheFilesAndTheProgram) {
  ScopedEnvironment editor("TIDEWELL_REGEDIT", TIDEWELL_REGEDIT_PATH);
  BackupTestPrefix prefix(BackupTestPrefix::Kind::Generated, 7);
  std::string problem;
  const auto original = readPrefixRegistry(prefix.prefix().string(), problem);
  ASSERT_TRUE(original) << problem;

  const std::string folder = makeBackup(prefix, "12-06-2026 10_56_15 PM");
  // The five files are exactly the editor's own exports of the five roots.
  const fs::path point = prefix.backupHostFolder() / "12-06-2026 10_56_15 PM";
  const fs::path direct = prefix.outside() / "direct";
  fs::create_directories(direct);
  for (std::string_view root : backup::BackupRoots) {
    const std::string file = backup::rootFileName(root);
    ASSERT_EQ(runShell("env WINEPREFIX=" + shellQuoted(prefix.prefix().string()) + " " +
                       shellQuoted(TIDEWELL_REGEDIT_PATH) + " /e " + shellQuoted((direct / file).string()) + " " +
                       std::string(root)),
              0);
    const std::string exported = BackupTestPrefix::readFile(point / file);
    EXPECT_GT(exported.size(), 2u) << file;
    EXPECT_TRUE(exported == BackupTestPrefix::readFile(direct / file)) << file;
  }

  lists::CheckableList errors(/*sorted=*/true);
  scanAll(errors);
  ASSERT_EQ(static_cast<std::size_t>(errors.count()), prefix.expectedErrors());
  const repair::ActionResult fixed = fixAll(errors);
  ASSERT_TRUE(fixed) << fixed.message;
  {
    platform::RegistryApi &registry = platform::machine().registry();
    platform::RegKey key = 0;
    ASSERT_EQ(registry.createKey(platform::HKEY_CURRENT_USER, "Software\\Made After The Backup",
                                 platform::access::KeyAllAccess, key),
              0);
    ASSERT_EQ(registry.flushKey(key), 0);
    registry.closeKey(key);
  }

  const backup::RunReport restored = backup::runRestore(platform::machine(), folder, [](const std::string &) {});
  ASSERT_TRUE(restored.succeeded()) << restored.description();
  EXPECT_EQ(restored.description(), "");
  const auto after = readPrefixRegistry(prefix.prefix().string(), problem);
  ASSERT_TRUE(after) << problem;
  const std::vector<std::string> changes = differences(*original, *after);
  ASSERT_EQ(changes.size(), 1u) << testing::PrintToString(changes);
  EXPECT_NE(changes.front().find("Made After The Backup"), std::string::npos) << changes.front();

  // The program, still running, sees the restored entries and can fix them again.
  lists::CheckableList again(/*sorted=*/true);
  scanAll(again);
  EXPECT_EQ(static_cast<std::size_t>(again.count()), prefix.expectedErrors());
  const repair::ActionResult fixedAgain = fixAll(again);
  EXPECT_TRUE(fixedAgain) << fixedAgain.message;
  EXPECT_TRUE(again.isEmpty());
}

TEST(BackupCycleTest, ARegistryThatMayOnlyBeReadRefusesTheRestoreAndTheBackupSaysSo) {
  ScopedEnvironment editor("TIDEWELL_REGEDIT", TIDEWELL_REGEDIT_PATH);
  BackupTestPrefix prefix(BackupTestPrefix::Kind::Generated, 3);
  platform::RegistryLoadResult loaded;
  platform::WineRegistryOptions options;
  options.readOnly = true;
  auto registry = platform::openWineRegistry(prefix.prefix().string(), loaded, options);
  ASSERT_TRUE(registry) << loaded.description();
  platform::installMachine(platform::makeMachine(prefix.prefix().string(), std::move(registry)));

  const std::string folder = backup::createRestorePoint(platform::machine(), prefix.backupFolder(), "read-only");
  const backup::RunReport made = backup::runBackup(platform::machine(), folder, [](const std::string &) {}, {});
  EXPECT_TRUE(made.succeeded()) << made.description();
  EXPECT_NE(made.description().find("opened read-only"), std::string::npos) << made.description();

  const std::string systemBefore = BackupTestPrefix::readFile(prefix.prefix() / "system.reg");
  std::vector<std::string> statuses;
  const backup::RunReport restored =
      backup::runRestore(platform::machine(), folder, [&](const std::string &text) { statuses.push_back(text); });
  EXPECT_FALSE(restored.succeeded());
  EXPECT_NE(restored.description().find("cannot be changed"), std::string::npos) << restored.description();
  EXPECT_TRUE(statuses.empty());
  EXPECT_TRUE(BackupTestPrefix::readFile(prefix.prefix() / "system.reg") == systemBefore);
}

TEST(BackupCycleTest, AFailedImportIsReportedWithTheEditorsWords) {
  ScopedEnvironment editor("TIDEWELL_REGEDIT", TIDEWELL_REGEDIT_PATH);
  BackupTestPrefix prefix(BackupTestPrefix::Kind::Generated, 5);
  const std::string folder = makeBackup(prefix, "damaged");
  BackupTestPrefix::writeFile(prefix.backupHostFolder() / "damaged" / "HKEY_USERS.reg", "not a registry file");
  fs::remove(prefix.backupHostFolder() / "damaged" / "HKEY_CURRENT_CONFIG.reg");
  const backup::RunReport report = backup::runRestore(platform::machine(), folder, [](const std::string &) {});
  ASSERT_EQ(report.failures.size(), 2u) << report.description();
  EXPECT_EQ(report.failures[0].root, "HKEY_USERS");
  EXPECT_NE(report.failures[0].reason.find("HKEY_USERS.reg"), std::string::npos) << report.failures[0].reason;
  EXPECT_EQ(report.failures[1].root, "HKEY_CURRENT_CONFIG");
  EXPECT_NE(report.failures[1].reason.find("exit status 1"), std::string::npos) << report.failures[1].reason;
}

} // namespace
} // namespace tw::test
