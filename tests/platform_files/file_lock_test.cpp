#include "platform/FileLock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using tw::platform::FileLock;

namespace {

class FileLockTest : public ::testing::Test {
protected:
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tw-lock-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  /// What another process gets when it tries the lock now.
  static FileLock::Status statusInAnotherProcess(const fs::path &path) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(static_cast<int>(FileLock::tryLock(path.string()).status()));
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<FileLock::Status>(WEXITSTATUS(status));
  }
};

TEST_F(FileLockTest, OneProcessAtATimeAndNestedHoldsWithinOne) {
  const fs::path path = dir / "tidewell.lock";
  EXPECT_EQ(statusInAnotherProcess(path), FileLock::Status::Held) << "free at first";
  {
    FileLock outer = FileLock::tryLock(path.string());
    ASSERT_TRUE(outer);
    EXPECT_EQ(statusInAnotherProcess(path), FileLock::Status::Busy);
    {
      // An action inside a command that holds the lock already.
      FileLock inner = FileLock::tryLock(path.string());
      EXPECT_TRUE(inner);
      FileLock moved = std::move(inner);
      EXPECT_TRUE(moved);
      EXPECT_FALSE(inner);
    }
    EXPECT_EQ(statusInAnotherProcess(path), FileLock::Status::Busy) << "the outer hold remains";
  }
  EXPECT_EQ(statusInAnotherProcess(path), FileLock::Status::Held) << "released with the last hold";
}

TEST_F(FileLockTest, AHolderThatDiesLeavesNothingBehind) {
  const fs::path path = dir / "tidewell.lock";
  const pid_t child = ::fork();
  if (child == 0) {
    FileLock held = FileLock::tryLock(path.string());
    ::_exit(held ? 0 : 1); // ends without giving it up, as a crash would
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(FileLock::tryLock(path.string()));
}

TEST_F(FileLockTest, SomethingElseInTheLockFilesPlaceIsRefusedWithoutWaiting) {
  const fs::path pipe = dir / "pipe.lock";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(FileLock::tryLock(pipe.string()).status(), FileLock::Status::CannotOpen);
  fs::create_directory(dir / "folder.lock");
  EXPECT_EQ(FileLock::tryLock((dir / "folder.lock").string()).status(), FileLock::Status::CannotOpen);
  const FileLock missing = FileLock::tryLock((dir / "no-such-folder" / "x.lock").string());
  EXPECT_EQ(missing.status(), FileLock::Status::CannotOpen);
  EXPECT_NE(missing.osError(), 0);
}

} // namespace
