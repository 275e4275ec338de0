// The managers on a prefix made by wineboot, with a program that a real NSIS installer put
// there: its uninstall entry and Run value are listed as the installer wrote them, the Run value
// is disabled and enabled as Wine's own reg.exe then sees it, and its uninstaller starts through
// Wine and removes it. A second program records the command line Wine hands it.

#include "tools/uAddRemove.h"
#include "tools/uStartup.h"

#include "platform/Machine.h"
#include "platform/Process.h"
#include "platform/WinePrefix.h"
#include "platform/process/CommandLine.h"
#include "registry/RegistryAccess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tw;

namespace {

bool haveTools() {
  return std::system("command -v wine wineboot wineserver makensis >/dev/null 2>&1") == 0;
}

std::string quoted(const std::string &text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command of the test's own (never the program's) and returns what it printed.
std::string shell(const std::string &command, int *status = nullptr) {
  std::string out;
  int result = -1;
  if (FILE *pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    result = ::pclose(pipe);
  }
  if (status) *status = result;
  return out;
}

std::string readAll(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The limit only ends a test whose program never ran; it measures nothing.
bool waitUntil(const std::function<bool()> &done, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

class NsisPrefixTest : public ::testing::Test {
protected:
  static inline fs::path root;
  static inline fs::path prefix;
  static inline std::string setupProblem;

  static void SetUpTestSuite() {
    if (!haveTools()) return;
    root = fs::temp_directory_path() / ("tw-nsis-" + std::to_string(::getpid()));
    prefix = root / "prefix";
    fs::create_directories(root);
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    ::setenv("WINEDEBUG", "-all", 1);
    ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    const std::string data = TIDEWELL_TEST_DATA "/nsis/";
    for (const char *script : {"app.nsi", "recorder.nsi"}) {
      int status = -1;
      shell("cd " + quoted(root.string()) + " && makensis -NOCD -V1 " + quoted(data + script), &status);
      if (status != 0) setupProblem = std::string("makensis failed on ") + script;
    }
    if (!setupProblem.empty()) return;
    shell("wineboot -i && wineserver -w");
    shell("cd " + quoted(root.string()) + " && wine ./tidewell-test-app-setup.exe && wineserver -w");
    std::error_code copied;
    fs::copy_file(root / "recorder.exe", prefix / "drive_c" / "recorder.exe", copied);
    if (copied) setupProblem = "the recorder could not be copied into the prefix: " + copied.message();
    else if (!fs::exists(prefix / "drive_c" / "Program Files" / "Tidewell Test App" / "uninstall.exe"))
      setupProblem = "the installer did not install the program";
  }
  static void TearDownTestSuite() {
    if (root.empty()) return;
    shell("wineserver -k; wineserver -w");
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  void SetUp() override {
    if (!haveTools()) GTEST_SKIP() << "wine or makensis is not installed";
    ASSERT_EQ(setupProblem, "");
    reopen();
  }

  // Opens the prefix afresh, after Wine has written its files.
  void reopen() {
    shell("wineserver -w");
    platform::PrefixOpenResult opened;
    auto machine = platform::openWinePrefix(prefix.string(), opened);
    ASSERT_TRUE(machine) << opened.description();
    ASSERT_FALSE(opened.readOnly()) << opened.readOnlyReason;
    platform::installMachine(std::move(machine));
  }
  // What Wine's reg.exe prints for a query, after which Wine is left to end.
  static std::string wineQuery(const std::string &key) {
    std::string out = shell("WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query " + quoted(key));
    shell("wineserver -w");
    return out;
  }
};

constexpr const char *RunKey = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char *RecordKey = "HKLM\\Software\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\TidewellTestApp";
constexpr const char *InstalledCommand = "\"C:\\Program Files\\Tidewell Test App\\uninstall.exe\"";

TEST_F(NsisPrefixTest, RunValueIsListedDisabledAndEnabledAsWineSeesIt) {
  lists::CheckableList list;
  tools::StartupStates states;
  const int kind = tools::startupWindowsKind();
  ASSERT_EQ(kind, 7); // Wine's Windows 7 or 10
  ASSERT_TRUE(tools::fillStartupList(list, states, kind));
  int row = -1;
  for (int i = 0; i < list.count(); ++i)
    if (list.row(i).caption == "TidewellTestApp") row = i;
  ASSERT_GE(row, 0);
  EXPECT_EQ(list.row(row).subItem(tools::StartupCommandSubItem), std::string(InstalledCommand) + " /tray");
  EXPECT_EQ(list.row(row).subItem(tools::StartupLocationSubItem), std::string(RunKey));
  EXPECT_TRUE(list.row(row).checked);

  list.setChecked(row, false);
  repair::ActionResult applied = tools::applyStartupChanges(list, states, kind);
  ASSERT_TRUE(applied) << applied.message;
  EXPECT_EQ(wineQuery(RunKey).find("TidewellTestApp"), std::string::npos);
  const std::string record = wineQuery(RecordKey);
  EXPECT_NE(record.find("hkey    REG_SZ    HKCU"), std::string::npos) << record;
  EXPECT_NE(record.find(std::string("command    REG_SZ    ") + InstalledCommand + " /tray"), std::string::npos) << record;

  reopen();
  ASSERT_TRUE(tools::fillStartupList(list, states, kind));
  row = -1;
  for (int i = 0; i < list.count(); ++i)
    if (list.row(i).caption == "TidewellTestApp") row = i;
  ASSERT_GE(row, 0);
  EXPECT_FALSE(list.row(row).checked);
  list.setChecked(row, true);
  applied = tools::applyStartupChanges(list, states, kind);
  ASSERT_TRUE(applied) << applied.message;
  const std::string run = wineQuery(RunKey);
  EXPECT_NE(run.find(std::string("TidewellTestApp    REG_SZ    ") + InstalledCommand + " /tray"), std::string::npos) << run;
  int status = 0;
  shell("WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query " + quoted(RecordKey), &status);
  shell("wineserver -w");
  EXPECT_NE(status, 0); // the record is gone
}

TEST_F(NsisPrefixTest, InstalledProgramIsListedAndItsUninstallerRemovesIt) {
  lists::CheckableList list{/*sorted=*/true};
  ASSERT_TRUE(tools::ListUninstallEntries(list));
  int row = -1;
  for (int i = 0; i < list.count(); ++i)
    if (list.row(i).caption == "Tidewell Test App 1.0") row = i;
  ASSERT_GE(row, 0);
  EXPECT_EQ(list.row(row).subItem(tools::UninstallPathSubItem), std::string(InstalledCommand) + " /S");
  EXPECT_EQ(list.row(row).data, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TidewellTestApp");

  list.setChecked(row, true);
  repair::ActionResult started = tools::startCheckedUninstallers(list);
  ASSERT_TRUE(started) << started.message;
  EXPECT_EQ(started.count, 1);
  const fs::path uninstaller = prefix / "drive_c" / "Program Files" / "Tidewell Test App" / "uninstall.exe";
  ASSERT_TRUE(waitUntil([&] { return !fs::exists(uninstaller); }, 120));
  reopen();
  ASSERT_TRUE(tools::ListUninstallEntries(list));
  for (int i = 0; i < list.count(); ++i) EXPECT_NE(list.row(i).caption, "Tidewell Test App 1.0");
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TidewellTestApp"));
}

TEST_F(NsisPrefixTest, NothingIsChangedWhileWineOwnsTheRegistry) {
  {
    // An entry of each kind, whatever the tests before left.
    TRegistry registry;
    registry.CurrentRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(registry.OpenRegKey("Software\\Microsoft\\Windows\\CurrentVersion\\Run", /*canCreate=*/true));
    registry.WriteText("Owned", "C:\\owned.exe");
    registry.CurrentRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenRegKey("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Owned", true));
    registry.WriteText("DisplayName", "Owned");
  }
  ASSERT_TRUE(FlushRegistry());
  // A wineserver that waits for clients, ended however the test ends.
  shell("wineserver -p 60");
  struct StopWine {
    ~StopWine() { shell("wineserver -k; wineserver -w"); }
  } stopWine;
  platform::PrefixOpenResult opened;
  auto machine = platform::openWinePrefix(prefix.string(), opened);
  ASSERT_TRUE(machine) << opened.description();
  EXPECT_TRUE(opened.readOnly());
  platform::installMachine(std::move(machine));

  lists::CheckableList startup;
  tools::StartupStates states;
  const int kind = tools::startupWindowsKind();
  ASSERT_TRUE(tools::fillStartupList(startup, states, kind));
  ASSERT_GT(startup.count(), 0);
  startup.setAllChecked(false);
  repair::ActionResult applied = tools::applyStartupChanges(startup, states, kind);
  EXPECT_FALSE(applied);
  EXPECT_NE(applied.message.find("Wine is running"), std::string::npos) << applied.message;

  lists::CheckableList entries{/*sorted=*/true};
  ASSERT_TRUE(tools::ListUninstallEntries(entries));
  entries.setAllChecked(true);
  const int listed = entries.count();
  repair::ActionResult deleted = tools::DeleteCheckedUninstallEntries(entries);
  EXPECT_FALSE(deleted);
  EXPECT_NE(deleted.message.find("No entry was deleted: Wine is running"), std::string::npos) << deleted.message;
  EXPECT_EQ(entries.count(), listed);
}

TEST_F(NsisPrefixTest, CommandLineReachesTheWindowsProgramAndNoShell) {
  const fs::path touched = root / "touched";
  const fs::path record = prefix / "drive_c" / "record.txt";
  fs::remove(record);
  const std::string arguments = "/S a;b $(touch " + touched.string() + ") `touch " + touched.string() +
                                "` \"q u\" x\\\"y 'single' >out |cat &";
  ASSERT_TRUE(platform::machine().processes().startDetached("\"C:\\recorder.exe\" " + arguments));
  ASSERT_TRUE(waitUntil([&] { return fs::exists(record); }, 120));
  shell("wineserver -w");
  const std::string line = readAll(record);
  std::string_view rest;
  EXPECT_EQ(platform::splitProgram(line, rest), "C:\\recorder.exe");
  EXPECT_EQ(platform::splitArguments(rest), platform::splitArguments(arguments)) << line;
  EXPECT_FALSE(fs::exists(touched));
  EXPECT_FALSE(fs::exists(prefix / "drive_c" / "out"));
}

} // namespace
