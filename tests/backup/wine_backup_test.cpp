// Restore points of a real prefix made by wineboot: a backup/fix/restore cycle through our
// registry editor gives every key and value back, Wine's own 64-bit regedit imports the files of
// a restore point, and a restore is refused while a wineserver owns the registry. Skipped when
// Wine is not installed.

#include "BackupTestPrefix.h"
#include "PrefixContent.h"

#include "backup/BackupRun.h"
#include "backup/RestorePoints.h"
#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/RegistryApi.h"
#include "platform/WinePrefix.h"
#include "registry/ProgramFiles.h"
#include "registry/XmlStore.h"
#include "repair/Fixing.h"
#include "scan/ListScanSession.h"
#include "scan/ScanLists.h"
#include "scan/ScanRun.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

constexpr const char *Wine64Loader = "/usr/lib/wine/wine64";

class WineBackupTest : public ::testing::Test {
protected:
  static inline fs::path s_root;
  static inline fs::path s_prefix;
  static inline std::string s_skip;

  static void SetUpTestSuite() {
    if (::access(Wine64Loader, X_OK) != 0 || runShell("command -v wineboot >/dev/null 2>&1") != 0) {
      s_skip = "the 64-bit wine loader is not installed";
      return;
    }
    char pattern[] = "/tmp/tw-backup-wine-XXXXXX";
    if (!::mkdtemp(pattern)) {
      s_skip = "cannot make a temporary folder";
      return;
    }
    s_root = pattern;
    s_prefix = s_root / "prefix";
    // wineboot's own status is not reliable; the registry files once the server ended count.
    runShell("env WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPREFIX=" + shellQuoted(s_prefix.string()) +
             " wineboot -i >/dev/null 2>&1");
    waitForServer();
    if (!fs::exists(s_prefix / "system.reg") || !fs::exists(s_prefix / "user.reg"))
      s_skip = "wineboot could not make a prefix";
  }

  static void TearDownTestSuite() {
    if (s_root.empty()) return;
    runShell("env WINEPREFIX=" + shellQuoted(s_prefix.string()) + " wineserver -k >/dev/null 2>&1");
    waitForServer();
    std::error_code ignored;
    fs::remove_all(s_root, ignored);
  }

  void SetUp() override {
    if (!s_skip.empty()) GTEST_SKIP() << s_skip;
  }

  static void waitForServer() {
    runShell("env WINEPREFIX=" + shellQuoted(s_prefix.string()) + " wineserver -w >/dev/null 2>&1");
  }

  /// Opens the prefix as the program does and installs it, once Wine has let go of it (unless
  /// `whileWineRuns`).
  static void startProgram(bool whileWineRuns = false) {
    if (!whileWineRuns) waitForServer();
    platform::PrefixOpenResult opened;
    auto machine = platform::openWinePrefix(s_prefix.string(), opened);
    ASSERT_TRUE(machine) << opened.description();
    platform::installMachine(std::move(machine));
    setUpProgramFiles(platform::machine());
  }

  static std::string backupFolder() { return programFilesOf(platform::machine()).backupFolder; }
  static fs::path backupHostFolder() {
    return s_prefix / "drive_c" / "ProgramData" / "Tidewell Registry Cleaner 2006" / "Backup";
  }

  static std::string makeBackup(const std::string &name) {
    const std::string folder = backup::createRestorePoint(platform::machine(), backupFolder(), name);
    const backup::RunReport report = backup::runBackup(platform::machine(), folder, [](const std::string &) {}, {});
    EXPECT_TRUE(report.succeeded()) << report.description();
    return folder;
  }

  // The parts of the one test below.
  void BackupFixRestoreCycleGivesEveryEntryBack();
  void WinesOwnRegeditImportsTheRestorePoint();
  void ARestoreWhileAWineserverRunsIsRefusedAndSaysWhy();

  ScopedEnvironment editor{"TIDEWELL_REGEDIT", TIDEWELL_REGEDIT_PATH};
};

void WineBackupTest::BackupFixRestoreCycleGivesEveryEntryBack() {
  startProgram();
  std::string problem;
  const auto original = readPrefixRegistry(s_prefix.string(), problem);
  ASSERT_TRUE(original) << problem;
  const std::string folder = makeBackup("cycle");

  lists::CheckableList groups, errors(/*sorted=*/true);
  scan::rebuildScanGroupList(groups);
  scan::ListScanSession session(groups, errors);
  ASSERT_EQ(scan::runScanBody(session).kind, scan::ScanEndKind::Completed);
  const std::string undoStorePath = programFilesOf(platform::machine()).undoStorePath;
  pugi::xml_document undoStore;
  ASSERT_TRUE(loadXmlDocument(undoStore, undoStorePath, UndoStoreRootName));
  const int rows = errors.count();
  const repair::ActionResult fixed = repair::fixSelectedErrors(errors, {undoStore, undoStorePath});
  ASSERT_TRUE(fixed) << fixed.message;
  const auto afterFix = readPrefixRegistry(s_prefix.string(), problem);
  ASSERT_TRUE(afterFix) << problem;
  if (rows > 0) {
    EXPECT_FALSE(differences(*original, *afterFix).empty());
  }

  const backup::RunReport restored = backup::runRestore(platform::machine(), folder, [](const std::string &) {});
  ASSERT_TRUE(restored.succeeded()) << restored.description();
  const auto after = readPrefixRegistry(s_prefix.string(), problem);
  ASSERT_TRUE(after) << problem;
  EXPECT_EQ(differences(*original, *after), std::vector<std::string>{});
}

void WineBackupTest::WinesOwnRegeditImportsTheRestorePoint() {
  startProgram();
  {
    platform::RegistryApi &registry = platform::machine().registry();
    platform::RegKey key = 0;
    ASSERT_EQ(registry.createKey(platform::HKEY_CURRENT_USER, "Software\\Tidewell Backup Test",
                                 platform::access::KeyAllAccess, key),
              0);
    const std::string text = "from the restore point";
    ASSERT_EQ(registry.setValue(key, "Marker", platform::regtype::Sz,
                                reinterpret_cast<const std::uint8_t *>(text.c_str()), text.size() + 1),
              0);
    ASSERT_EQ(registry.flushKey(key), 0);
    registry.closeKey(key);
  }
  const std::string folder = makeBackup("for wine");
  {
    platform::RegistryApi &registry = platform::machine().registry();
    platform::RegKey key = 0;
    ASSERT_EQ(registry.openKey(platform::HKEY_CURRENT_USER, "Software\\Tidewell Backup Test",
                               platform::access::KeyAllAccess, key),
              0);
    ASSERT_EQ(registry.deleteValue(key, "Marker"), 0);
    ASSERT_EQ(registry.flushKey(key), 0);
    registry.closeKey(key);
  }
  const fs::path point = backupHostFolder() / "for wine";
  for (std::string_view root : backup::BackupRoots) {
    const fs::path file = point / backup::rootFileName(root);
    const int status = runShell(std::string("env WINEDEBUG=-all WINEPREFIX=") + shellQuoted(s_prefix.string()) +
                                " WINELOADER=" + Wine64Loader + " " + Wine64Loader + " regedit /s " +
                                shellQuoted("Z:" + file.string()) + " >/dev/null 2>&1");
    EXPECT_EQ(status, 0) << file;
  }
  startProgram();
  platform::RegistryApi &registry = platform::machine().registry();
  platform::RegKey key = 0;
  ASSERT_EQ(registry.openKey(platform::HKEY_CURRENT_USER, "Software\\Tidewell Backup Test", platform::access::KeyRead,
                             key),
            0);
  platform::RegValue value;
  ASSERT_EQ(registry.queryValue(key, "Marker", value), 0) << "Wine's regedit did not import HKEY_CURRENT_USER.reg";
  EXPECT_EQ(std::string(value.data.begin(), value.data.end()), std::string("from the restore point") + '\0');
  registry.closeKey(key);
}

void WineBackupTest::ARestoreWhileAWineserverRunsIsRefusedAndSaysWhy() {
  startProgram();
  const std::string folder = makeBackup("server");
  // A server that stays until it is killed.
  runShell("env WINEPREFIX=" + shellQuoted(s_prefix.string()) + " wineserver -p >/dev/null 2>&1");
  startProgram(/*whileWineRuns=*/true);
  const std::string systemBefore = BackupTestPrefix::readFile(s_prefix / "system.reg");
  const backup::RunReport report = backup::runRestore(platform::machine(), folder, [](const std::string &) {});
  runShell("env WINEPREFIX=" + shellQuoted(s_prefix.string()) + " wineserver -k >/dev/null 2>&1");
  waitForServer();
  EXPECT_FALSE(report.succeeded());
  EXPECT_NE(report.description().find("Wine is running"), std::string::npos) << report.description();
  EXPECT_TRUE(BackupTestPrefix::readFile(s_prefix / "system.reg") == systemBefore);
}

// One test, so that one wineboot prefix serves every part.
TEST_F(WineBackupTest, RestorePointsOfAWinebootPrefix) {
  {
    SCOPED_TRACE("backup, fix, restore");
    BackupFixRestoreCycleGivesEveryEntryBack();
  }
  {
    SCOPED_TRACE("Wine's regedit imports the files");
    WinesOwnRegeditImportsTheRestorePoint();
  }
  {
    SCOPED_TRACE("a running wineserver");
    ARestoreWhileAWineserverRunsIsRefusedAndSaysWhy();
  }
}

} // namespace
} // namespace tw::test
