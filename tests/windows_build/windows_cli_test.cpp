// One prefix, two programs: the Linux tidewell-cli reading the prefix's files, and the Windows
// tidewell-cli.exe running inside the prefix under Wine and asking Wine's advapi32 and kernel32.
// Both must report the same rows; where they differ, one of them is wrong about Windows.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const Wine64 = "/usr/lib/wine/wine64";

std::string quoted(const std::string &text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string wineEnvironment(const fs::path &prefix) {
  return "WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINELOADER=" + std::string(Wine64) +
         " WINEPREFIX=" + quoted(prefix.string()) + " ";
}

// Runs `command` through the shell; its standard output, and its exit status in `status`.
std::string run(const std::string &command, int &status) {
  std::string output;
  FILE *pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    status = -1;
    return output;
  }
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  int raw = ::pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back(); // the Windows program's line ends
    out.push_back(line);
  }
  return out;
}

// What an uninstalled program typically leaves behind, written by Wine's own reg.
const char *const Leftovers = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\App Paths\ghost.exe]
@="C:\\Program Files\\Ghost Writer\\ghost.exe"
"Path"="C:\\Program Files\\Ghost Writer"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\GhostWriter]
"DisplayName"="Ghost Writer 2.1"
"UninstallString"="\"C:\\Program Files\\Ghost Writer\\uninst.exe\" /S"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\SharedDLLs]
"C:\\Program Files\\Ghost Writer\\ghostcore.dll"=dword:00000001

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\Help]
"ghost.hlp"="C:\\Program Files\\Ghost Writer\\"

[HKEY_CLASSES_ROOT\CLSID\{6E2C9F1A-0B4D-4E21-9A57-3C1D2E4F5A61}]
@="Ghost Writer Document"

[HKEY_CLASSES_ROOT\CLSID\{6E2C9F1A-0B4D-4E21-9A57-3C1D2E4F5A61}\InprocServer32]
@="C:\\Program Files\\Ghost Writer\\ghostdoc.dll"

[HKEY_CLASSES_ROOT\.ghost]
@="GhostWriter.Document.2"

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"Ghost Writer Tray"="\"C:\\Program Files\\Ghost Writer\\tray.exe\" -quiet"
)";

class WindowsBuild : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!fs::exists(Wine64) || !fs::exists(TIDEWELL_WINDOWS_CLI_PATH)) return;
    std::random_device random;
    s_root = fs::temp_directory_path() / ("tw-windows-build-" + std::to_string(random()));
    fs::create_directories(s_root);
    const fs::path prefix = s_root / "prefix";
    std::ofstream(s_root / "leftovers.reg", std::ios::binary) << Leftovers;
    int status = 0;
    run(wineEnvironment(prefix) + Wine64 + " wineboot -i >/dev/null 2>&1; " + wineEnvironment(prefix) + Wine64 +
            " reg import " + quoted((s_root / "leftovers.reg").string()) + " >/dev/null 2>&1; " +
            wineEnvironment(prefix) + "wineserver -w",
        status);
    if (fs::exists(prefix / "system.reg")) s_prefix = prefix;
  }
  static void TearDownTestSuite() {
    if (s_root.empty()) return;
    int status = 0;
    run(wineEnvironment(s_root / "prefix") + "wineserver -k >/dev/null 2>&1", status);
    std::error_code ignored;
    fs::remove_all(s_root, ignored);
  }
  void SetUp() override {
    if (!fs::exists(Wine64)) GTEST_SKIP() << "Wine's 64-bit loader is not installed";
    if (!fs::exists(TIDEWELL_WINDOWS_CLI_PATH))
      GTEST_SKIP() << "the Windows build is missing (cmake --preset windows): " << TIDEWELL_WINDOWS_CLI_PATH;
    ASSERT_FALSE(s_prefix.empty()) << "wineboot did not make a prefix";
  }

  static fs::path s_root;
  static fs::path s_prefix;
};

fs::path WindowsBuild::s_root;
fs::path WindowsBuild::s_prefix;

TEST_F(WindowsBuild, ScanUnderWineReportsWhatTheLinuxScanReports) {
  int linuxStatus = -1;
  std::vector<std::string> linuxRows = lines(
      run(std::string(TIDEWELL_CLI_PATH) + " scan --prefix " + quoted(s_prefix.string()) + " 2>/dev/null", linuxStatus));
  // Wine owns the registry while its server runs: the Linux scan above had it to itself.
  int windowsStatus = -1;
  std::vector<std::string> windowsRows =
      lines(run(wineEnvironment(s_prefix) + Wine64 + " " + quoted(TIDEWELL_WINDOWS_CLI_PATH) + " scan 2>/dev/null; " +
                    wineEnvironment(s_prefix) + "wineserver -w",
                windowsStatus));
  EXPECT_EQ(linuxStatus, 0);
  EXPECT_EQ(windowsStatus, 0);

  // Each leftover a scanner looks at is reported (the Run value and the extension's class are
  // not scanned locations of a broken reference).
  for (const char *key : {"App Paths\\ghost.exe", "{6E2C9F1A-0B4D-4E21-9A57-3C1D2E4F5A61}\\InprocServer32",
                          "Help\\ghost.hlp", "SharedDlls\\C:\\Program Files\\Ghost Writer\\ghostcore.dll",
                          "Uninstall\\GhostWriter\\UninstallString"}) {
    bool found = false;
    for (const std::string &row : linuxRows) found = found || row.find(key) != std::string::npos;
    EXPECT_TRUE(found) << key;
  }
  EXPECT_EQ(windowsRows, linuxRows);
}

TEST_F(WindowsBuild, RegistryEditorExportsUnderWineWhatWineWrote) {
  int status = -1;
  const fs::path exported = s_root / "hklm-ghost.reg";
  const std::string regedit =
      fs::path(TIDEWELL_WINDOWS_CLI_PATH).parent_path().parent_path().string() + "/tidewell-regedit/tidewell-regedit.exe";
  ASSERT_TRUE(fs::exists(regedit)) << regedit;
  run(wineEnvironment(s_prefix) + Wine64 + " " + quoted(regedit) + " /e 'Z:" + exported.string() +
          "' 'HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\GhostWriter'; " +
          wineEnvironment(s_prefix) + "wineserver -w",
      status);
  EXPECT_EQ(status, 0);
  std::ifstream in(exported, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 2u) << "nothing exported";
  EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2)) << "UTF-16LE with a byte-order mark";
  std::string narrow;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) narrow += bytes[i];
  EXPECT_NE(narrow.find("Windows Registry Editor Version 5.00"), std::string::npos);
  EXPECT_NE(narrow.find("\"DisplayName\"=\"Ghost Writer 2.1\""), std::string::npos) << narrow;
}

} // namespace
