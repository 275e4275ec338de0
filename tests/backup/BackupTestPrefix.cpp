#include "BackupTestPrefix.h"

#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "registry/ProgramFiles.h"
#include "tests/support/ScratchMachine.h"
#include "tests/support/SystemCalls.h"
#ifndef _WIN32
// Generated prefixes are opened by the Wine backend, on Linux only.
#include "generator/PrefixGenerator.h"
#include "platform/WinePrefix.h"
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tw::test {

namespace fs = std::filesystem;

BackupTestPrefix::BackupTestPrefix(Kind kind, std::uint64_t seed) {
  m_root = makeScratchFolder("backup-test");
  m_prefix = m_root / "prefix";
  m_outside = m_root / "outside";
  fs::create_directories(m_outside);
  if (kind == Kind::Generated) {
#ifdef _WIN32
    (void)seed;
    ADD_FAILURE() << "generated prefixes are opened by the Wine backend, which Windows programs lack";
    return;
#else
    generator::GeneratorOptions options;
    options.seed = seed;
    options.brokenShare = 0.3;
    const generator::GenerateResult made = generator::generatePrefix(m_prefix.string(), options);
    EXPECT_TRUE(made) << made.description();
    m_expectedErrors = made.expectedErrors;
    reopen();
    return;
#endif
  }
  fs::create_directories(m_prefix / "drive_c" / "windows" / "system32");
#ifndef _WIN32
  // Drive Z: is the host's root, as in every Wine prefix (and under Wine itself).
  fs::create_directories(m_prefix / "dosdevices");
  fs::create_directory_symlink("/", m_prefix / "dosdevices" / "z:");
#endif
  platform::installMachine(makeScratchMachine(m_prefix, platform::makeMemoryRegistry()));
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
#ifdef _WIN32
  ADD_FAILURE() << "a prefix's registry files are opened by the Wine backend, which Windows programs lack";
#else
  platform::PrefixOpenResult opened;
  auto machine = platform::openWinePrefix(m_prefix.string(), opened);
  ASSERT_TRUE(machine) << opened.description();
  platform::installMachine(std::move(machine));
  setUpProgramFiles(platform::machine());
#endif
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
  setEnvironment(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
  if (m_had)
    setEnvironment(m_name, m_old);
  else
    removeEnvironment(m_name);
}

int runShell(const std::string &command) {
  const int status = std::system(command.c_str());
#ifdef _WIN32
  return status;
#else
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::string shellQuoted(const std::string &text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

} // namespace tw::test
