// Deleting a restore point: every file goes, a file that cannot be deleted is named, and nothing
// outside the restore point is ever touched, also not through a link to a folder.

#include "BackupTestPrefix.h"

#include "backup/FolderEmptying.h"
#include "backup/RestorePoints.h"
#include "platform/Machine.h"
#include "tests/support/SystemCalls.h"

#include <gtest/gtest.h>

namespace tw::test {
namespace {

namespace fs = std::filesystem;

class RestorePointDeletionTest : public ::testing::Test {
protected:
  /// A restore point with the five export files.
  fs::path makeRestorePoint(const std::string &name) {
    const fs::path folder = prefix.backupHostFolder() / name;
    for (std::string_view root : backup::BackupRoots)
      BackupTestPrefix::writeFile(folder / backup::rootFileName(root), "export of " + std::string(root));
    return folder;
  }
  backup::RestorePointDeletion remove(const std::string &name) {
    return backup::deleteRestorePoint(platform::machine().files(), prefix.backupFolder(), name,
                                      [this](const std::string &message) { heard.push_back(message); });
  }

  BackupTestPrefix prefix;
  std::vector<std::string> heard;
};

TEST_F(RestorePointDeletionTest, DeletesTheFilesAndTheFolder) {
  const fs::path folder = makeRestorePoint("12-06-2026 10_56_15 PM");
  const fs::path other = makeRestorePoint("12-07-2026 10_56_15 PM");
  const backup::RestorePointDeletion result = remove("12-06-2026 10_56_15 PM");
  EXPECT_TRUE(result.folderRemoved);
  EXPECT_TRUE(result.errors.empty());
  EXPECT_TRUE(heard.empty());
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(std::distance(fs::directory_iterator(other), fs::directory_iterator()), 5);
}

TEST_F(RestorePointDeletionTest, ALinkToAFolderIsRemovedItselfAndWhatItPointsToSurvives) {
  const fs::path folder = makeRestorePoint("linked");
  const fs::path precious = prefix.outside() / "precious";
  BackupTestPrefix::writeFile(precious / "keep.txt", "keep me");
  BackupTestPrefix::writeFile(precious / "deeper" / "keep too.txt", "and me");
  fs::create_directory_symlink(precious, folder / "drive");
  fs::create_symlink(precious / "keep.txt", folder / "file link");

  const backup::RestorePointDeletion result = remove("linked");
  EXPECT_TRUE(result.folderRemoved) << testing::PrintToString(result.errors);
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder)));
  EXPECT_EQ(BackupTestPrefix::readFile(precious / "keep.txt"), "keep me");
  EXPECT_EQ(BackupTestPrefix::readFile(precious / "deeper" / "keep too.txt"), "and me");
}

TEST_F(RestorePointDeletionTest, ARestorePointThatIsALinkIsRemovedAsALink) {
  const fs::path precious = prefix.outside() / "precious";
  BackupTestPrefix::writeFile(precious / "keep.txt", "keep me");
  fs::create_directory_symlink(precious, prefix.backupHostFolder() / "pointing out");
  EXPECT_TRUE(remove("pointing out").folderRemoved);
  EXPECT_FALSE(fs::exists(fs::symlink_status(prefix.backupHostFolder() / "pointing out")));
  EXPECT_EQ(BackupTestPrefix::readFile(precious / "keep.txt"), "keep me");
}

TEST_F(RestorePointDeletionTest, AFileThatCannotBeDeletedIsNamedAndTheRestGoes) {
  const fs::path folder = makeRestorePoint("locked");
  fs::permissions(folder / "HKEY_USERS.reg", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const backup::RestorePointDeletion result = remove("locked");
  EXPECT_FALSE(result.folderRemoved);
  EXPECT_EQ(result.errors, std::vector<std::string>{" Delete error: HKEY_USERS.reg"});
  EXPECT_EQ(heard, result.errors);
  EXPECT_TRUE(fs::exists(folder / "HKEY_USERS.reg"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(RestorePointDeletionTest, AFolderWithoutWritePermissionKeepsEveryFileAndNamesEach) {
  if (runsAsAdministrator()) GTEST_SKIP() << "root ignores folder permissions";
  const fs::path folder = makeRestorePoint("unwritable");
  fs::permissions(folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const backup::RestorePointDeletion result = remove("unwritable");
  EXPECT_FALSE(result.folderRemoved);
  ASSERT_EQ(result.errors.size(), 5u);
  EXPECT_EQ(result.errors.front(), " Delete error: HKEY_CLASSES_ROOT.reg");
}

TEST_F(RestorePointDeletionTest, SubFoldersAreEmptiedButStay) {
  const fs::path folder = makeRestorePoint("nested");
  BackupTestPrefix::writeFile(folder / "sub" / "inner.txt", "x");
  const backup::RestorePointDeletion result = remove("nested");
  EXPECT_FALSE(result.folderRemoved);
  EXPECT_TRUE(result.errors.empty());
  EXPECT_TRUE(fs::is_directory(folder / "sub"));
  EXPECT_TRUE(fs::is_empty(folder / "sub"));
  EXPECT_FALSE(fs::exists(folder / "HKEY_USERS.reg"));
}

TEST_F(RestorePointDeletionTest, ANameThatLeadsOutIsRefusedAndNothingIsTouched) {
  BackupTestPrefix::writeFile(prefix.backupHostFolder().parent_path() / "Backup.xml", "<x/>");
  for (const char *bad : {"..", "..\\..", ".", ""}) {
    const backup::RestorePointDeletion result = remove(bad);
    EXPECT_FALSE(result.validName) << bad;
    EXPECT_FALSE(result.folderRemoved) << bad;
  }
  EXPECT_TRUE(fs::exists(prefix.backupHostFolder().parent_path() / "Backup.xml"));
  EXPECT_TRUE(fs::is_directory(prefix.backupHostFolder()));
}

} // namespace
} // namespace tw::test
