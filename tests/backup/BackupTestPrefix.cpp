#include "BackupTestPrefix.h"

#include "generator/PrefixGenerator.h"
#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "platform/WinePrefix.h"
#include "registry/ProgramFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>

namespace tw::test {

namespace fs = std::filesystem;

BackupTestPrefix::BackupTestPrefix(Kind kind, std::uint64_t seed) {
  std::random_device random;
  m_root = fs::temp_directory_path() / ("tw-backup-test-" + std::to_string(random()));
  m_prefix = m_root / "prefix";
  m_outside = m_root / "outside";
  fs::create_directories(m_outside);
  if (kind == Kind::Generated) {
    generator::GeneratorOptions options;
    options.seed = seed;
    options.brokenShare = 0.3;
    const generator::GenerateResult made = generator::generatePrefix(m_prefix.string(), options);
    EXPECT_TRUE(made) << made.description();
    m_expectedErrors = made.expectedErrors;
    reopen();
    return;
  }
  fs::create_directories(m_prefix / "dosdevices");
  fs::create_directories(m_prefix / "drive_c" / "windows" / "system32");
  fs::create_directory_symlink("../drive_c", m_prefix / "dosdevices" / "c:");
  fs::create_directory_symlink("/", m_prefix / "dosdevices" / "z:");
  platform::installMachine(platform::makeMachine(m_prefix.string(), platform::makeMemoryRegistry()));
  setUpProgramFiles(platform::machine());
}

BackupTestPrefix::~BackupTestPrefix() {
  std::error_code ignored;
  // Folders a test made unwritable must be writable again to be removed.
  for (auto it = fs::recursive_directory_iterator(m_root, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored))
    if (!it->is_symlink(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(m_root, ignored);
}

void BackupTestPrefix::reopen() {
  platform::PrefixOpenResult opened;
  auto machine = platform::openWinePrefix(m_prefix.string(), opened);
  ASSERT_TRUE(machine) << opened.description();
  platform::installMachine(std::move(machine));
  setUpProgramFiles(platform::machine());
}

std::string BackupTestPrefix::backupFolder() const { return programFilesOf(platform::machine()).backupFolder; }

fs::path BackupTestPrefix::backupHostFolder() const {
  return m_prefix / "drive_c" / "ProgramData" / "Tidewell Registry Cleaner 2006" / "Backup";
}

void BackupTestPrefix::writeFile(const fs::path &path, std::string_view content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string BackupTestPrefix::readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

ScopedEnvironment::ScopedEnvironment(const char *name, const std::string &value) : m_name(name) {
  if (const char *old = std::getenv(name)) {
    m_had = true;
    m_old = old;
  }
  ::setenv(name, value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
  if (m_had)
    ::setenv(m_name.c_str(), m_old.c_str(), 1);
  else
    ::unsetenv(m_name.c_str());
}

int runShell(const std::string &command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string shellQuoted(const std::string &text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

} // namespace tw::test
