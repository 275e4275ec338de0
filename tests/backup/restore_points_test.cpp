// Restore-point names and the list of restore points: what the backup page lists and appends.

#include "BackupTestPrefix.h"

#include "backup/RestorePoints.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "tests/support/SystemCalls.h"

#include <gtest/gtest.h>

#include <clocale>

namespace tw::test {
namespace {

namespace fs = std::filesystem;
using backup::listRestorePoints;

TEST(RestorePointNameTest, DateWithHyphensAndTimeWithUnderscores) {
  EXPECT_EQ(backup::restorePointName("12/06/2026", "10:56:15 PM"), "12-06-2026 10_56_15 PM");
  // Whatever the time format holds besides ":" stays; a "/" in it becomes "-" as well.
  EXPECT_EQ(backup::restorePointName("01/02/2007", "22.05.09"), "01-02-2007 22.05.09");
  EXPECT_EQ(backup::restorePointName("01/02/2007", "7/05/09 a"), "01-02-2007 7-05-09 a");
}

TEST(RestorePointNameTest, FromALocalTimeHasTheWorkedExampleShape) {
  std::tm evening{};
  evening.tm_year = 2026 - 1900;
  evening.tm_mon = 11;
  evening.tm_mday = 6;
  evening.tm_hour = 22;
  evening.tm_min = 56;
  evening.tm_sec = 15;
  const char *previous = std::setlocale(LC_TIME, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_TIME, "C");
  EXPECT_EQ(backup::restorePointNameAt(evening), "12-06-2026 22_56_15");
  if (std::setlocale(LC_TIME, "en_US.UTF-8")) {
    EXPECT_EQ(backup::restorePointNameAt(evening), "12-06-2026 10_56_15 PM");
  }
  std::setlocale(LC_TIME, saved.c_str());

  const std::string now = backup::restorePointNameNow();
  EXPECT_EQ(now.find_first_of("/:"), std::string::npos) << now;
  EXPECT_TRUE(backup::isRestorePointName(now)) << now;
  ASSERT_GE(now.size(), 11u);
  EXPECT_EQ(now[2], '-');
  EXPECT_EQ(now[5], '-');
  EXPECT_EQ(now[10], ' ');
}

TEST(RestorePointNameTest, NamesThatLeadOutOfTheBackupFolderAreRefused) {
  for (const char *bad : {"", ".", "..", "..\\x", "a\\b", "a/b", "C:x", "*", "a?"})
    EXPECT_FALSE(backup::isRestorePointName(bad)) << bad;
  EXPECT_TRUE(backup::isRestorePointName("12-06-2026 10_56_15 PM"));
}

TEST(RestorePointListTest, ListsOnlyPlainFoldersInFolderOrder) {
  BackupTestPrefix prefix;
  platform::FileSystem &files = platform::machine().files();
  const fs::path backup = prefix.backupHostFolder();
  EXPECT_TRUE(listRestorePoints(files, prefix.backupFolder()).empty());
  EXPECT_TRUE(listRestorePoints(files, prefix.backupFolder() + "\\missing").empty());

  fs::create_directory(backup / "12-07-2026 08_00_00");
  fs::create_directory(backup / "01-01-2027 09_00_00");
  BackupTestPrefix::writeFile(backup / "a file.reg", "x");
  fs::create_directory(backup / ".hidden by its name");
  fs::create_directory(backup / "hidden by its record");
  markHidden((backup / "hidden by its record").string()); // may be unsupported
  fs::create_directory(backup / "read-only");
  fs::permissions(backup / "read-only", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  fs::create_directory_symlink(prefix.outside(), backup / "a link");

  std::vector<std::string> expected = {"01-01-2027 09_00_00", "12-07-2026 08_00_00"};
  std::vector<std::string> listed = listRestorePoints(files, prefix.backupFolder());
  std::erase(listed, std::string("hidden by its record")); // when the file system keeps no records
  EXPECT_EQ(listed, expected);
  // A trailing backslash names the same folder.
  EXPECT_EQ(listRestorePoints(files, prefix.backupFolder() + "\\").size(), listed.size());
}

TEST(RestorePointListTest, RefreshAppendsOnlyNewNamesAndKeepsTheOrder) {
  const std::vector<std::string> shown = {"b", "a"};
  EXPECT_EQ(backup::newRestorePoints(shown, {"a", "b", "c", "B"}), (std::vector<std::string>{"c", "B"}));
  std::vector<std::string> after = shown;
  for (const std::string &name : backup::newRestorePoints(shown, {"a", "b", "c"})) after.push_back(name);
  EXPECT_TRUE(backup::newRestorePoints(after, {"a", "b", "c"}).empty());
  // A restore point deleted outside the program stays listed: refresh never removes.
  EXPECT_TRUE(backup::newRestorePoints(after, {}).empty());
}

} // namespace
} // namespace tw::test
