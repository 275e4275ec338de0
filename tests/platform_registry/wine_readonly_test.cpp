// When the Wine prefix's registry must not be written: protected files, a running
// wineserver, files changed behind our back, and saves that fail half-way.

#include "RegistryTestSupport.h"

#include "platform/WineRegistry.h"

#include <csignal>
#include <functional>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tw::platform;
using namespace tw::test;
namespace fs = std::filesystem;

namespace {

// Holds, in a child process, the lock a running wineserver holds on <server folder>/lock.
// Wine keeps its server folders in /tmp/.wine-<uid>; Debian's Wine in a private folder below
// /tmp whose name it records in the prefix's "wineserver" file.
class FakeWineServer {
public:
  explicit FakeWineServer(const fs::path &prefix, const std::string &recordedRoot = "") {
    struct stat st{};
    EXPECT_EQ(::stat(prefix.c_str(), &st), 0);
    std::string root = "/tmp/.wine-" + std::to_string(::getuid());
    if (!recordedRoot.empty()) {
      writeFile(prefix / "wineserver", recordedRoot);
      root = "/tmp/" + recordedRoot;
      m_removeRoot = root;
    }
    char leaf[128];
    std::snprintf(leaf, sizeof leaf, "/server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    m_folder = root + leaf;
    fs::create_directories(m_folder);
    int ready[2], release[2];
    EXPECT_EQ(::pipe(ready), 0);
    EXPECT_EQ(::pipe(release), 0);
    m_child = ::fork();
    if (m_child == 0) {
      ::close(ready[0]);
      ::close(release[1]); // so that the parent's close ends the wait below
      int fd = ::open((m_folder / "lock").c_str(), O_CREAT | O_WRONLY, 0600);
      struct flock lock{};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      lock.l_start = 0;
      lock.l_len = 1;
      char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? 'y' : 'n';
      [[maybe_unused]] auto w = ::write(ready[1], &ok, 1);
      char byte;
      [[maybe_unused]] auto r = ::read(release[0], &byte, 1); // until the parent lets go
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    m_release = release[1];
    char ok = 'n';
    EXPECT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(ok, 'y') << "the child could not take the lock";
  }
  ~FakeWineServer() { stop(); }
  void stop() {
    if (m_child <= 0) return;
    ::close(m_release);
    ::waitpid(m_child, nullptr, 0);
    m_child = 0;
    fs::remove_all(m_folder);
    if (!m_removeRoot.empty()) fs::remove_all(m_removeRoot);
  }

private:
  fs::path m_folder;
  std::string m_removeRoot;
  pid_t m_child = 0;
  int m_release = -1;
};

class WineReadOnly : public ::testing::Test {
protected:
  TempDir dir{"readonly"};
  void SetUp() override {
    writeMinimalPrefix(dir.path(), "\n[Software\\\\Machine Key] 1700000000\n@=\"m\"\n",
                       "\n[Software\\\\User Key] 1700000000\n@=\"u\"\n");
  }
  std::unique_ptr<WineRegistry> open(WineRegistryOptions options = {}) {
    RegistryLoadResult result;
    auto reg = openWineRegistry(dir.path().string(), result, options);
    EXPECT_TRUE(result) << result.description();
    return reg;
  }
  static long openWith(RegistryApi &reg, RegKey root, const char *path, std::uint32_t access) {
    RegKey key = 0;
    long status = reg.openKey(root, path, access, key);
    if (status == error::Success) reg.closeKey(key);
    return status;
  }
};

TEST_F(WineReadOnly, AFileWithoutWriteBitsKeepsItsKeysFromChanging) {
  fs::permissions(dir.path() / "user.reg", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  auto reg = open();
  ASSERT_NE(reg, nullptr);
  EXPECT_TRUE(reg->isReadOnly());
  EXPECT_NE(reg->readOnlyReason().find("user.reg"), std::string::npos) << reg->readOnlyReason();

  EXPECT_EQ(openWith(*reg, HKEY_CURRENT_USER, "Software\\User Key", access::KeyRead), error::Success);
  EXPECT_EQ(openWith(*reg, HKEY_CURRENT_USER, "Software\\User Key", access::KeyAllAccess), error::AccessDenied);
  EXPECT_EQ(openWith(*reg, HKEY_CURRENT_USER, "Software\\User Key", access::SetValue), error::AccessDenied);
  EXPECT_EQ(openWith(*reg, HKEY_USERS, "S-1-5-21-0-0-0-1000\\Software", access::Delete), error::AccessDenied);
  RegKey key = 0;
  EXPECT_EQ(reg->createKey(HKEY_CURRENT_USER, "Software\\New", access::KeyRead, key), error::AccessDenied);
  EXPECT_EQ(reg->createKey(HKEY_CURRENT_USER, "Software\\User Key", access::KeyRead, key), error::Success)
      << "creating what exists only opens it";
  reg->closeKey(key);
  const std::uint8_t data[] = "x";
  EXPECT_EQ(reg->setValue(HKEY_CURRENT_USER, "v", regtype::Sz, data, 2), error::AccessDenied) << "not via the root";
  EXPECT_EQ(reg->deleteKey(HKEY_CURRENT_USER, "Software\\User Key"), error::AccessDenied);

  // The other files stay writable.
  EXPECT_EQ(openWith(*reg, HKEY_LOCAL_MACHINE, "Software\\Machine Key", access::KeyAllAccess), error::Success);
  putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Machine Key", "", "changed");
  EXPECT_EQ(reg->flushKey(HKEY_LOCAL_MACHINE), error::Success) << reg->lastSaveError();
}

TEST_F(WineReadOnly, ARunningWineServerOwnsTheRegistry) {
  std::string before = readFile(dir.path() / "system.reg");
  {
    FakeWineServer server(dir.path());
    auto reg = open();
    ASSERT_NE(reg, nullptr);
    EXPECT_TRUE(reg->isReadOnly());
    EXPECT_NE(reg->readOnlyReason().find("Wine is running"), std::string::npos) << reg->readOnlyReason();
    for (RegKey root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG}) {
      EXPECT_EQ(openWith(*reg, root, "", access::KeyRead), error::Success);
      EXPECT_EQ(openWith(*reg, root, "", access::KeyWrite), error::AccessDenied);
    }
    EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE, "Software\\Machine Key", ""), "m");
    EXPECT_EQ(reg->flushKey(HKEY_LOCAL_MACHINE), error::Success) << "nothing to save";
  }
  auto reg = open();
  EXPECT_FALSE(reg->isReadOnly()) << reg->readOnlyReason();
  EXPECT_EQ(readFile(dir.path() / "system.reg"), before);
}

TEST_F(WineReadOnly, ARunningServerIsFoundWhereDebiansWineKeepsIt) {
  std::string recorded = "wine-tw" + std::to_string(::getpid());
  {
    FakeWineServer server(dir.path(), recorded);
    auto reg = open();
    EXPECT_TRUE(reg->isReadOnly());
    EXPECT_EQ(openWith(*reg, HKEY_CURRENT_USER, "Software", access::KeyWrite), error::AccessDenied);
  }
  EXPECT_FALSE(open()->isReadOnly()) << "the record stays in the prefix, but no server runs";
}

TEST_F(WineReadOnly, AServerStartedAfterOpeningStopsTheSave) {
  auto reg = open();
  std::string before = readFile(dir.path() / "user.reg");
  putString(*reg, HKEY_CURRENT_USER, "Software\\User Key", "", "changed");
  {
    FakeWineServer server(dir.path());
    EXPECT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::AccessDenied);
    EXPECT_NE(reg->lastSaveError().find("Wine started"), std::string::npos) << reg->lastSaveError();
    EXPECT_EQ(readFile(dir.path() / "user.reg"), before);
  }
  EXPECT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success) << "the change was kept for a later save";
  EXPECT_TRUE(reg->lastSaveError().empty());
  EXPECT_NE(readFile(dir.path() / "user.reg").find("@=\"changed\""), std::string::npos);
}

TEST_F(WineReadOnly, AFileChangedOnDiskIsNotOverwritten) {
  auto reg = open();
  putString(*reg, HKEY_CURRENT_USER, "Software\\User Key", "", "ours");
  std::string theirs = readFile(dir.path() / "user.reg") + "\n[Software\\\\Theirs] 1700000001\n@=\"t\"\n";
  writeFile(dir.path() / "user.reg", theirs);
  EXPECT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::WriteFault);
  EXPECT_NE(reg->lastSaveError().find("changed on disk"), std::string::npos) << reg->lastSaveError();
  EXPECT_EQ(readFile(dir.path() / "user.reg"), theirs);
  ASSERT_EQ(reg->discardUnflushedChanges(), error::Success);
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "Software\\User Key", ""), "u");
}

TEST_F(WineReadOnly, AFailedSaveLeavesTheOldFileAndKeepsTheChanges) {
  auto reg = open();
  std::string before = readFile(dir.path() / "user.reg");
  putString(*reg, HKEY_CURRENT_USER, "Software\\User Key", "", std::string(4096, 'x'));
  putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Machine Key", "", "saved");

  // Files may not grow past 512 bytes for a moment: writing the new user.reg fails, even as root.
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 512;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  long status = reg->flushKey(HKEY_CURRENT_USER);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(status, error::WriteFault);
  EXPECT_EQ(reg->lastSaveResult().status, SaveResult::Status::WriteFailed);
  EXPECT_NE(reg->lastSaveError().find("user.reg"), std::string::npos) << reg->lastSaveError();
  EXPECT_EQ(readFile(dir.path() / "user.reg"), before);
  EXPECT_NE(readFile(dir.path() / "system.reg").find("@=\"saved\""), std::string::npos) << "the small file was saved";
  for (auto &entry : fs::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();

  ASSERT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success) << reg->lastSaveError();
  EXPECT_NE(readFile(dir.path() / "user.reg").find(std::string(4096, 'x')), std::string::npos);
}

TEST_F(WineReadOnly, DiscardAfterAPartlyFailedSaveKeepsWhatWasSaved) {
  auto reg = open();
  putString(*reg, HKEY_CURRENT_USER, "Software\\User Key", "", std::string(4096, 'x'));
  putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Machine Key", "", "saved");
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 512;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  long status = reg->flushKey(HKEY_CURRENT_USER);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  ASSERT_EQ(status, error::WriteFault);
  ASSERT_EQ(reg->discardUnflushedChanges(), error::Success);
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "Software\\User Key", ""), "u");
  EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE, "Software\\Machine Key", ""), "saved");
}

TEST_F(WineReadOnly, OpeningReadOnlyRefusesEveryChange) {
  auto reg = open(WineRegistryOptions{true, false});
  EXPECT_TRUE(reg->isReadOnly());
  EXPECT_EQ(reg->readOnlyReason(), "The registry was opened read-only.");
  EXPECT_EQ(openWith(*reg, HKEY_LOCAL_MACHINE, "Software", access::KeyAllAccess), error::AccessDenied);
  EXPECT_EQ(openWith(*reg, HKEY_LOCAL_MACHINE, "Software", 0x02000000u), error::Success)
      << "MAXIMUM_ALLOWED gets what may be had";
  const std::uint8_t data[] = "x";
  EXPECT_EQ(reg->setValue(HKEY_LOCAL_MACHINE, "v", regtype::Sz, data, 2), error::AccessDenied);
}

} // namespace

namespace {

/// Runs `work` in a child process and says whether it ended within `seconds`: a registry open
/// that waits on a named pipe forever must show as a failure, not hang the test program.
bool endsInTime(const std::function<void()> &work, int seconds = 10) {
  const pid_t child = ::fork();
  if (child == 0) {
    work();
    ::_exit(0);
  }
  for (int waited = 0; waited < seconds * 100; ++waited) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    ::usleep(10000);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return false;
}

TEST_F(WineReadOnly, SpecialFilesInPlaceOfRegistryFilesAreRefusedBeforeOpening) {
  const struct {
    const char *file;
    const char *said;
  } cases[] = {{"system.reg", "a named pipe"}, {"user.reg", "a named pipe"}, {"userdef.reg", "a named pipe"}};
  for (const auto &c : cases) {
    const fs::path path = dir.path() / c.file;
    const std::string saved = readFile(path);
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    RegistryLoadResult result;
    EXPECT_TRUE(endsInTime([&] {
      auto reg = openWineRegistry(dir.path().string(), result);
      if (reg || result.status != RegistryLoadResult::Status::NotAFile) ::_exit(1);
      if (result.description().find(path.string()) == std::string::npos) ::_exit(2);
      if (result.description().find(c.said) == std::string::npos) ::_exit(3);
    })) << c.file;
    fs::remove(path);
    writeFile(path, saved);
  }

  // A link that leads nowhere in place of user.reg is not an empty HKEY_CURRENT_USER.
  fs::remove(dir.path() / "user.reg");
  fs::create_symlink(dir.path() / "gone.reg", dir.path() / "user.reg");
  RegistryLoadResult result;
  EXPECT_EQ(openWineRegistry(dir.path().string(), result), nullptr);
  EXPECT_EQ(result.status, RegistryLoadResult::Status::NotAFile);
  EXPECT_NE(result.description().find("user.reg"), std::string::npos) << result.description();
  EXPECT_NE(result.description().find("link to a file that does not exist"), std::string::npos)
      << result.description();
}

TEST_F(WineReadOnly, ARunningServerIsFoundWithoutThePrefixsRecordOfIt) {
  std::string recorded = "wine-tw" + std::to_string(::getpid()) + "m";
  FakeWineServer server(dir.path(), recorded);
  // The record that Debian's Wine leaves in the prefix is moved away, or a pipe takes its place.
  fs::rename(dir.path() / "wineserver", dir.path() / "wineserver.moved");
  auto reg = open();
  ASSERT_NE(reg, nullptr);
  EXPECT_TRUE(reg->isReadOnly());
  ASSERT_EQ(::mkfifo((dir.path() / "wineserver").c_str(), 0600), 0);
  EXPECT_TRUE(endsInTime([&] {
    RegistryLoadResult result;
    auto again = openWineRegistry(dir.path().string(), result);
    if (!again || !again->isReadOnly()) ::_exit(1);
  }));
}

TEST_F(WineReadOnly, ARefusedSaveTellsTheFileAndTheCauseAsValues) {
  auto reg = open();
  putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Machine Key", "", "ours");
  putString(*reg, HKEY_CURRENT_USER, "Software\\User Key", "", "ours");
  const std::string systemBefore = readFile(dir.path() / "system.reg");
  // Another program rewrote user.reg: neither file is written, not even system.reg, whose own
  // check would have passed.
  const std::string theirs = readFile(dir.path() / "user.reg") + "\n[Software\\\\Theirs] 1700000001\n@=\"t\"\n";
  writeFile(dir.path() / "user.reg", theirs);
  EXPECT_EQ(reg->flushKey(HKEY_LOCAL_MACHINE), error::WriteFault);
  const FlushFailure failure = reg->lastFlushFailure();
  EXPECT_EQ(failure.cause, FlushFailure::Cause::ChangedOnDisk);
  EXPECT_EQ(failure.file, (dir.path() / "user.reg").string());
  EXPECT_NE(failure.description().find("user.reg: it changed on disk"), std::string::npos) << failure.description();
  EXPECT_EQ(readFile(dir.path() / "system.reg"), systemBefore);
  EXPECT_EQ(readFile(dir.path() / "user.reg"), theirs);
  ASSERT_EQ(reg->discardUnflushedChanges(), error::Success);
  EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE, "Software\\Machine Key", ""), "m");
  EXPECT_EQ(reg->flushKey(HKEY_LOCAL_MACHINE), error::Success);
  EXPECT_FALSE(reg->lastFlushFailure().failed());
}

} // namespace
