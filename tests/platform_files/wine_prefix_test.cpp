// Opening a Wine prefix as the program's machine: the default prefix folder, the failures that
// name what is wrong, and a prefix made by Wine itself, held against what Wine reports.

#include "platform/WinePrefix.h"

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "platform/SystemInfo.h"
#include "platform/WineRegistry.h"

#include "TempPrefix.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tw::platform;

namespace {

class ScopedVariable {
public:
  ScopedVariable(const char *name, const char *value) : m_name(name) {
    if (const char *old = std::getenv(name)) m_old = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedVariable() {
    if (m_old) ::setenv(m_name, m_old->c_str(), 1);
    else ::unsetenv(m_name);
  }
  ScopedVariable(const ScopedVariable &) = delete;
  ScopedVariable &operator=(const ScopedVariable &) = delete;

private:
  const char *m_name;
  std::optional<std::string> m_old;
};

} // namespace

TEST(WinePrefix, DefaultPrefixFolder) {
  {
    ScopedVariable prefix("WINEPREFIX", "/srv/wine/prefix//");
    EXPECT_EQ(defaultPrefixDir(), "/srv/wine/prefix");
  }
  {
    ScopedVariable prefix("WINEPREFIX", "");
    ScopedVariable home("HOME", "/home/tester");
    EXPECT_EQ(defaultPrefixDir(), "/home/tester/.wine");
  }
  {
    ScopedVariable prefix("WINEPREFIX", nullptr);
    ScopedVariable home("HOME", nullptr);
    std::string dir = defaultPrefixDir();
    EXPECT_TRUE(dir.size() > 6 && dir.substr(dir.size() - 6) == "/.wine") << dir;
  }
}

TEST(WinePrefix, OpeningFailsWithAMessageNamingThePrefix) {
  tw::test::TempPrefix prefix;
  PrefixOpenResult result;

  auto missing = prefix.root() / "nothing";
  EXPECT_EQ(openWinePrefix(missing.string(), result), nullptr);
  EXPECT_EQ(result.status, PrefixOpenResult::Status::PrefixMissing);
  EXPECT_NE(result.description().find(missing.string()), std::string::npos) << result.description();

  std::ofstream(prefix.root() / "plain-file") << "x";
  EXPECT_EQ(openWinePrefix((prefix.root() / "plain-file").string(), result), nullptr);
  EXPECT_EQ(result.status, PrefixOpenResult::Status::PrefixMissing);

  // Drives but no registry files: not a prefix (yet).
  EXPECT_EQ(openWinePrefix(prefix.dir(), result), nullptr);
  EXPECT_EQ(result.status, PrefixOpenResult::Status::NotAPrefix);
  EXPECT_NE(result.description().find("system.reg"), std::string::npos) << result.description();

  // A damaged registry file is named, and stays as it was.
  const std::string damaged = "WINE REGISTRY Version 2\n[Software\\\\Broken\n";
  std::ofstream(fs::path(prefix.dir()) / "system.reg") << damaged;
  EXPECT_EQ(openWinePrefix(prefix.dir(), result), nullptr);
  EXPECT_EQ(result.status, PrefixOpenResult::Status::RegistryUnreadable);
  EXPECT_NE(result.description().find("system.reg"), std::string::npos) << result.description();
  std::ifstream in(fs::path(prefix.dir()) / "system.reg");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), damaged);
}

TEST(WinePrefix, TestMachineJoinsAnyRegistryToThePrefixFiles) {
  tw::test::TempPrefix prefix;
  prefix.write("windows/system32/shell32.dll");
  installMachine(makeMachine(prefix.dir(), makeMemoryRegistry()));
  EXPECT_TRUE(machine().files().fileExists("C:\\WINDOWS\\system32\\SHELL32.dll"));
  EXPECT_EQ(machine().system().systemDirectory(), "C:\\windows\\system32");
  RegKey key = 0;
  EXPECT_EQ(machine().registry().createKey(HKEY_CURRENT_USER, "Software\\Tidewell", access::KeyAllAccess, key),
            error::Success);
  installMachine(nullptr);
  EXPECT_FALSE(hasMachine());
}

// ---- A prefix made by Wine itself ------------------------------------------------------------

namespace {

// Runs a shell command and returns what it printed, or nothing when it failed.
std::optional<std::string> runCommand(const std::string &command) {
  FILE *pipe = ::popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  std::array<char, 4096> buffer{};
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.append(buffer.data(), n);
  int status = ::pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

std::string shellQuoted(const std::string &text) { return "'" + text + "'"; }

// One wineboot prefix (making one takes several seconds), with what Wine itself reports about
// it, asked once while the prefix was made. The checks share one test, as the test runner
// starts each test in a process of its own.
class RealWinePrefix : public ::testing::Test {
protected:
  static inline fs::path s_root;
  static inline std::string s_prefix;
  static inline std::string s_skip;
  static inline std::string s_windir, s_sysdir, s_temp, s_cwd, s_version;

  static std::string wineEnv() {
    return "WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPREFIX=" + shellQuoted(s_prefix) + " ";
  }

  static void SetUpTestSuite() {
    if (!runCommand("command -v wine && command -v wineboot && command -v wineserver")) {
      s_skip = "wine is not installed";
      return;
    }
    s_root = fs::temp_directory_path() / ("tw-wineboot-" + std::to_string(::getpid()));
    fs::remove_all(s_root);
    fs::create_directories(s_root);
    s_prefix = (s_root / "prefix").string();
    if (!runCommand(wineEnv() + "wineboot -i >/dev/null 2>&1; " + wineEnv() + "wineserver -w")) {
      s_skip = "wineboot failed";
      return;
    }
    auto reported = runCommand("cd " + shellQuoted(s_prefix + "/drive_c/users") + " && " + wineEnv() +
                               "wine cmd /c 'echo %windir%^|%winsysdir%^|%TEMP%^|%CD%& ver' 2>/dev/null; " +
                               wineEnv() + "wineserver -w");
    if (!reported) {
      s_skip = "wine cmd did not run";
      return;
    }
    std::string text;
    for (char c : *reported)
      if (c != '\r') text += c;
    std::stringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.find('|') != std::string::npos) {
        std::stringstream fields(line);
        std::getline(fields, s_windir, '|');
        std::getline(fields, s_sysdir, '|');
        std::getline(fields, s_temp, '|');
        std::getline(fields, s_cwd, '|');
      } else if (line.find("Version") != std::string::npos || line.find("Windows") != std::string::npos) {
        s_version = line;
      }
    }
  }

  static void TearDownTestSuite() {
    if (!s_prefix.empty()) runCommand(wineEnv() + "wineserver -k >/dev/null 2>&1; " + wineEnv() + "wineserver -w");
    if (!s_root.empty()) fs::remove_all(s_root);
  }

  void SetUp() override {
    if (!s_skip.empty()) GTEST_SKIP() << s_skip;
  }
};

} // namespace

static void checkFolders(const std::string &prefixDir, const std::string &windir, const std::string &sysdir,
                         const std::string &temp, const std::string &cwd) {
  PrefixOpenResult result;
  auto machine = openWinePrefix(prefixDir, result);
  ASSERT_NE(machine, nullptr) << result.description();
  EXPECT_FALSE(result.readOnly()) << result.description();

  EXPECT_EQ(machine->system().windowsDirectory(), windir);
  EXPECT_EQ(machine->system().systemDirectory(), sysdir);
  EXPECT_EQ(machine->system().tempPath(), temp + "\\");
  EXPECT_TRUE(machine->files().directoryExists(machine->system().tempPath()));
  EXPECT_TRUE(machine->files().fileExists(sysdir + "\\NOTEPAD.EXE"));
  EXPECT_TRUE(machine->files().fileExists(windir + "\\regedit.exe"));

  fs::current_path(fs::path(prefixDir) / "drive_c" / "users");
  EXPECT_EQ(machine->files().currentDirectory(), cwd);
}

static void checkVersion(const std::string &prefixDir, const std::string &reported) {
  PrefixOpenResult result;
  auto machine = openWinePrefix(prefixDir, result);
  ASSERT_NE(machine, nullptr) << result.description();
  auto version = machine->system().version();
  ASSERT_TRUE(version.has_value());
  // cmd's "ver" prints "Microsoft Windows <major>.<minor>.<build>".
  const std::string expected = std::to_string(version->majorVersion) + "." + std::to_string(version->minorVersion) +
                               "." + std::to_string(version->buildNumber);
  EXPECT_NE(reported.find(expected), std::string::npos) << "wine says \"" << reported << "\", we say " << expected;
}

TEST_F(RealWinePrefix, AgreesWithWine) {
  {
    SCOPED_TRACE("folders");
    checkFolders(s_prefix, s_windir, s_sysdir, s_temp, s_cwd);
  }
  {
    SCOPED_TRACE("version");
    checkVersion(s_prefix, s_version);
  }
  SCOPED_TRACE("a running wineserver makes the prefix read-only");
  ASSERT_TRUE(runCommand(wineEnv() + "wineserver -p >/dev/null 2>&1"));
  // The server may still be starting when the command returns.
  PrefixOpenResult result;
  std::unique_ptr<Machine> machine;
  for (int attempt = 0; attempt < 100; ++attempt) {
    machine = openWinePrefix(s_prefix, result);
    if (!machine || result.readOnly()) break;
    ::usleep(50'000);
  }
  ASSERT_NE(machine, nullptr) << result.description();
  EXPECT_TRUE(result.readOnly());
  EXPECT_NE(result.description().find("Wine is running"), std::string::npos) << result.description();
  RegKey key = 0;
  EXPECT_NE(machine->registry().createKey(HKEY_CURRENT_USER, "Software\\Tidewell", access::KeyAllAccess, key),
            error::Success);

  runCommand(wineEnv() + "wineserver -k >/dev/null 2>&1; " + wineEnv() + "wineserver -w");
  auto writable = openWinePrefix(s_prefix, result);
  ASSERT_NE(writable, nullptr);
  EXPECT_FALSE(result.readOnly()) << result.description();
}
