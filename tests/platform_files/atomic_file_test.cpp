#include "platform/AtomicFile.h"
#include "tests/support/ScratchMachine.h"
#include "tests/support/SystemCalls.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using tw::platform::saveFileAtomically;
using tw::platform::SaveResult;

namespace {
class AtomicFileTest : public ::testing::Test {
protected:
  fs::path dir;
  void SetUp() override { dir = tw::test::makeScratchFolder("atomic"); }
  void TearDown() override {
    // Write-protected files and folders must be writable again to be removed (on Windows too).
    fs::permissions(dir, fs::perms::owner_all);
    for (const auto &entry : fs::directory_iterator(dir))
      fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(dir);
  }
  static std::string read(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};
} // namespace

TEST_F(AtomicFileTest, ReplacesContentAndLeavesNoTemporaryFile) {
  auto target = dir / "a.txt";
  ASSERT_TRUE(saveFileAtomically(target.string(), "old"));
  ASSERT_TRUE(saveFileAtomically(target.string(), std::string(3 << 20, 'x')));
  EXPECT_EQ(read(target), std::string(3 << 20, 'x'));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(AtomicFileTest, KeepsPermissionBitsOfTheOldFile) {
  auto target = dir / "a.txt";
  ASSERT_TRUE(saveFileAtomically(target.string(), "old"));
  ::chmod(target.string().c_str(), 0600);
  ASSERT_TRUE(saveFileAtomically(target.string(), "new"));
  struct stat st{};
  ::stat(target.string().c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(AtomicFileTest, FailureInUnwritableFolderKeepsOldFileAndSaysWhy) {
  if (tw::test::runsAsAdministrator()) GTEST_SKIP() << "root ignores folder permissions";
  auto target = dir / "a.txt";
  ASSERT_TRUE(saveFileAtomically(target.string(), "old"));
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  SaveResult r = saveFileAtomically(target.string(), "new");
  EXPECT_FALSE(r);
  EXPECT_EQ(r.status, SaveResult::Status::CannotCreate);
  EXPECT_NE(r.description().find("a.txt"), std::string::npos);
  EXPECT_EQ(read(target), "old");
}

TEST_F(AtomicFileTest, MissingFolderFailsCleanly) {
  SaveResult r = saveFileAtomically((dir / "no" / "such" / "a.txt").string(), "x");
  EXPECT_FALSE(r);
  EXPECT_FALSE(fs::exists(dir / "no"));
}

TEST_F(AtomicFileTest, RefusesToReplaceWhatIsNotARegularFile) {
  // Renaming over a device or a folder would replace it instead of writing into it.
  SaveResult device = saveFileAtomically("/dev/null", "x");
  EXPECT_EQ(device.status, SaveResult::Status::NotARegularFile);
  struct stat st{};
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  fs::create_directories(dir / "folder");
  SaveResult folder = saveFileAtomically((dir / "folder").string(), "x");
  EXPECT_EQ(folder.status, SaveResult::Status::NotARegularFile);
  EXPECT_NE(folder.description().find("not a regular file"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

TEST_F(AtomicFileTest, WriteProtectedFileIsLeftAsItIs) {
  auto target = dir / "Backup.xml";
  ASSERT_TRUE(saveFileAtomically(target.string(), "old"));
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  SaveResult r = saveFileAtomically(target.string(), "new");
  EXPECT_EQ(r.status, SaveResult::Status::WriteProtected);
  EXPECT_NE(r.description().find(target.string() + ": it is write-protected"), std::string::npos) << r.description();
  EXPECT_EQ(read(target), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(AtomicFileTest, TemporaryFilesOfKilledSavesGoAtTheNextSave) {
  auto target = dir / "system.reg";
  ASSERT_TRUE(saveFileAtomically(target.string(), "old"));
  // What a save killed before its rename leaves, a save still running elsewhere, and files that
  // only look alike.
  const fs::path stale = dir / "system.reg.tmp-AbC123";
  std::ofstream(stale) << "half";
  const fs::path running = dir / "system.reg.tmp-Run999";
  tw::test::ForeignLock held(running.string());
  ASSERT_TRUE(held.held());
  const fs::path others[] = {dir / "user.reg.tmp-AbC123", dir / "system.reg.tmp-toolong", dir / "system.reg.tmp-"};
  for (const fs::path &other : others) std::ofstream(other) << "not ours";

  ASSERT_TRUE(saveFileAtomically(target.string(), "new"));
  EXPECT_EQ(read(target), "new");
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(running));
  for (const fs::path &other : others) EXPECT_TRUE(fs::exists(other)) << other;
  held.release();
}
