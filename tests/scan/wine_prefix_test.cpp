// A full scan of a prefix made by Wine's own wineboot: the scan finishes, and every row it
// reports names a reference that really is missing, checked here without the program's own file
// layer (a separate walk of the prefix's drives) and, for registry-only rows, with Wine's reg.

#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/WinePrefix.h"
#include "scan/ListScanSession.h"
#include "scan/ScanLists.h"
#include "scan/ScanRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>

namespace fs = std::filesystem;
using namespace tw;

namespace {

bool haveWine() { return std::system("command -v wineboot >/dev/null 2>&1 && command -v wine >/dev/null 2>&1") == 0; }

std::string quoted(const std::string &text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string lowerAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

/// The host path of a Windows path on the prefix's drives, found the way Wine finds it (drive
/// links in dosdevices, every name matched without regard to case); nothing when some part of
/// it does not exist. Relative names are taken from the host's current folder.
std::optional<fs::path> resolveOnHost(const fs::path &prefix, const std::string &windowsPath) {
  fs::path at;
  std::string rest;
  if (windowsPath.size() >= 2 && windowsPath[1] == ':') {
    const fs::path drive = prefix / "dosdevices" / (lowerAscii(windowsPath.substr(0, 1)) + ":");
    std::error_code error;
    at = fs::canonical(drive, error);
    if (error) return std::nullopt;
    rest = windowsPath.substr(2);
  } else if (windowsPath.starts_with("\\\\")) {
    return std::nullopt; // a network share is never on the prefix's drives
  } else {
    at = fs::current_path();
    rest = windowsPath;
  }
  std::size_t start = 0;
  while (start <= rest.size()) {
    const std::size_t end = std::min(rest.find('\\', start), rest.size());
    const std::string name = rest.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      at = at.parent_path();
      continue;
    }
    std::error_code error;
    if (!fs::is_directory(at, error)) return std::nullopt;
    std::optional<fs::path> match;
    for (const fs::directory_entry &entry : fs::directory_iterator(at, error)) {
      if (lowerAscii(entry.path().filename().string()) == lowerAscii(name)) {
        match = entry.path();
        break;
      }
    }
    if (!match) return std::nullopt;
    at = *match;
  }
  return at;
}

bool isFileOnHost(const fs::path &prefix, const std::string &path) {
  auto host = resolveOnHost(prefix, path);
  std::error_code error;
  return host && fs::is_regular_file(*host, error);
}

bool isFolderOnHost(const fs::path &prefix, const std::string &path) {
  auto host = resolveOnHost(prefix, path);
  std::error_code error;
  return host && fs::is_directory(*host, error);
}

class WinePrefixScan : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!haveWine()) return;
    std::random_device random;
    s_root = fs::temp_directory_path() / ("tw-scan-wine-" + std::to_string(random()));
    fs::create_directories(s_root);
    const std::string prefix = (s_root / "prefix").string();
    const std::string command = "WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPREFIX=" +
                                quoted(prefix) + " wineboot -i >/dev/null 2>&1; WINEPREFIX=" +
                                quoted(prefix) + " wineserver -w";
    if (std::system(command.c_str()) == 0 && fs::exists(s_root / "prefix" / "system.reg"))
      s_prefix = s_root / "prefix";
  }
  static void TearDownTestSuite() {
    if (s_root.empty()) return;
    std::system(("WINEPREFIX=" + quoted((s_root / "prefix").string()) + " wineserver -k >/dev/null 2>&1").c_str());
    std::error_code ignored;
    fs::remove_all(s_root, ignored);
  }

  /// Whether Wine's own reg finds the key.
  static bool wineFindsKey(const std::string &key) {
    const std::string command = "WINEDEBUG=-all WINEPREFIX=" + quoted(s_prefix.string()) +
                                " WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query " + quoted(key) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }
  /// Whether Wine's own reg lists a sub-key of the key.
  static bool wineFindsSubKey(const std::string &key) {
    const std::string command = "WINEDEBUG=-all WINEPREFIX=" + quoted(s_prefix.string()) +
                                " WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query " + quoted(key) + " 2>/dev/null | grep -qiF " +
                                quoted(key + "\\");
    return std::system(command.c_str()) == 0;
  }

  static fs::path s_root;
  static fs::path s_prefix;
};

fs::path WinePrefixScan::s_root;
fs::path WinePrefixScan::s_prefix;

TEST_F(WinePrefixScan, EveryRowNamesAReferenceThatIsReallyMissing) {
  if (!haveWine()) GTEST_SKIP() << "wine is not installed";
  ASSERT_FALSE(s_prefix.empty()) << "wineboot did not make a prefix";

  platform::PrefixOpenResult opened;
  auto machine = platform::openWinePrefix(s_prefix.string(), opened);
  ASSERT_TRUE(machine) << opened.description();
  platform::installMachine(std::move(machine));

  lists::CheckableList groups;
  lists::CheckableList errors(/*sorted=*/true);
  scan::rebuildScanGroupList(groups);
  scan::ListScanSession session(groups, errors);
  const scan::ScanRunResult result = scan::runScanBody(session);
  EXPECT_EQ(result.kind, scan::ScanEndKind::Completed) << result.error;
  // Every group that runs to its end wrote its count.
  int counted = 0;
  for (int i = 0; i < groups.count(); ++i) counted += std::stoi(groups.row(i).subItem(0));
  EXPECT_EQ(counted, errors.count());

  for (int i = 0; i < errors.count(); ++i) {
    const scan::ErrorRow row = scan::errorRowOf(errors.row(i));
    SCOPED_TRACE(row.errorType + " " + row.keyName + " = " + row.keyValue);
    if (row.errorType == "Start Menu") {
      EXPECT_FALSE(wineFindsSubKey(row.keyName));
    } else if (row.errorType == "File Extensions") {
      const std::string extension = row.keyName.substr(row.keyName.rfind('\\') + 1);
      EXPECT_FALSE(wineFindsKey("HKEY_CLASSES_ROOT\\" + extension));
    } else if (row.errorType == "Shared Folder") {
      EXPECT_FALSE(isFolderOnHost(s_prefix, row.keyValue.substr(0, 1) + ":\\"));
    } else {
      EXPECT_FALSE(isFileOnHost(s_prefix, row.keyValue));
      EXPECT_FALSE(isFolderOnHost(s_prefix, row.keyValue));
      EXPECT_FALSE(isFileOnHost(s_prefix, row.guessPath));
    }
  }
  std::printf("[          ] wineboot prefix: %d rows\n", errors.count());
}

} // namespace
