// The traces scan on a prefix made by Wine's own wineboot, whose user folders are links into a
// home folder: the shell folders are the ones Wine wrote, and a scan with every action checked
// lists only files inside them; a cleanup leaves the home folder alone.

#include "tools/uIE.h"

#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/WinePrefix.h"
#include "registry/uUtils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

namespace tw::tools {
namespace {

namespace fs = std::filesystem;

bool haveWine() { return std::system("command -v wineboot >/dev/null 2>&1 && command -v wine >/dev/null 2>&1") == 0; }

std::string quoted(const std::string &text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

/// The host path of a path below drive C: as Wine's drive link gives it.
fs::path hostOf(const fs::path &prefix, std::string windowsPath) {
  for (char &c : windowsPath)
    if (c == '\\') c = '/';
  return prefix / "drive_c" / windowsPath.substr(3);
}

class ListSink : public TraceScanSink {
public:
  lists::CheckableList files;
  void fileFound(lists::Row row) override { files.append(std::move(row)); }
};

class WineTraces : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!haveWine()) return;
    std::random_device random;
    s_root = fs::temp_directory_path() / ("tw-traces-wine-" + std::to_string(random()));
    // The home folder Wine links the user's folders to; its files must survive everything.
    for (const char *folder : {"home/Desktop", "home/Documents"}) fs::create_directories(s_root / folder);
    for (const char *file : {"home/keep.htm", "home/index.dat", "home/Desktop/index.dat",
                             "home/Documents/notes.url", "home/Documents/cookie.txt"})
      std::ofstream(s_root / file) << "user data";
    const std::string prefix = (s_root / "prefix").string();
    const std::string command = "HOME=" + quoted((s_root / "home").string()) +
                                " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPREFIX=" +
                                quoted(prefix) + " wineboot -i >/dev/null 2>&1; WINEPREFIX=" +
                                quoted(prefix) + " wineserver -w";
    if (std::system(command.c_str()) == 0 && fs::exists(s_root / "prefix" / "system.reg"))
      s_prefix = s_root / "prefix";
  }
  static void TearDownTestSuite() {
    if (s_root.empty()) return;
    std::error_code ignored;
    fs::remove_all(s_root, ignored);
  }

  /// The shell folder values as Wine's own reg reports them, by name.
  static std::map<std::string, std::string> wineShellFolders() {
    const std::string command =
        "HOME=" + quoted((s_root / "home").string()) + " WINEDEBUG=-all WINEPREFIX=" + quoted(s_prefix.string()) +
        " WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders' "
        "2>/dev/null; WINEPREFIX=" + quoted(s_prefix.string()) + " wineserver -w";
    std::map<std::string, std::string> values;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return values;
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe)) {
      std::string line = buffer;
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      const std::size_t type = line.find("    REG_SZ    ");
      if (type == std::string::npos) continue;
      const std::size_t name = line.find_first_not_of(' ');
      values[line.substr(name, type - name)] = line.substr(type + 14);
    }
    pclose(pipe);
    return values;
  }

  static fs::path s_root;
  static fs::path s_prefix;
};

fs::path WineTraces::s_root;
fs::path WineTraces::s_prefix;

TEST_F(WineTraces, ScanListsOnlyFilesInsideWinesShellFolders) {
  if (!haveWine()) GTEST_SKIP() << "wine is not installed";
  ASSERT_FALSE(s_prefix.empty()) << "wineboot did not make a prefix";

  platform::PrefixOpenResult opened;
  auto machine = platform::openWinePrefix(s_prefix.string(), opened);
  ASSERT_TRUE(machine) << opened.description();
  platform::installMachine(std::move(machine));

  // The shell folders are the ones Wine wrote and reads itself.
  std::map<std::string, std::string> folders;
  const std::map<std::string, std::string> wine = wineShellFolders();
  for (const char *name : {"Cache", "Cookies", "Favorites", "History"}) {
    folders[name] = GetShellFolder(name);
    ASSERT_TRUE(wine.contains(name)) << name;
    EXPECT_EQ(folders[name], wine.at(name) + "\\") << name;
    ASSERT_TRUE(fs::is_directory(hostOf(s_prefix, folders[name]))) << folders[name];
  }
  folders["Temp"] = tw::GetTempDir();
  // Wine linked the user's documents into the home folder.
  const std::string profile = folders["Favorites"].substr(0, folders["Favorites"].find("\\Favorites"));
  ASSERT_TRUE(fs::is_symlink(hostOf(s_prefix, profile + "\\Documents"))) << profile;
  ASSERT_TRUE(fs::is_directory(hostOf(s_prefix, folders["Temp"]))) << folders["Temp"];

  // Traces in every folder, and in each a link into the home folder, as Wine makes them.
  std::ofstream(hostOf(s_prefix, folders["Cache"]) / "page.htm") << "x";
  std::ofstream(hostOf(s_prefix, folders["Cookies"]) / "user@example[1].txt") << "x";
  std::ofstream(hostOf(s_prefix, folders["Favorites"]) / "site.url") << "x";
  fs::create_directories(hostOf(s_prefix, folders["History"]) / "History.IE5");
  std::ofstream(hostOf(s_prefix, folders["History"]) / "History.IE5" / "index.dat") << "x";
  std::ofstream(hostOf(s_prefix, folders["Temp"]) / "~tmp1.tmp") << "x";
  for (const auto &[name, folder] : folders) {
    fs::create_directory_symlink(s_root / "home", hostOf(s_prefix, folder) / "Home.txt");
    fs::create_symlink(s_root / "home" / "keep.htm", hostOf(s_prefix, folder) / "linked.url");
  }

  ListSink sink;
  const std::vector<bool> everything(TraceActionCount, true);
  const TraceScanResult result = scanTraces(everything, sink);
  EXPECT_TRUE(result.notices.empty()) << result.notices.front();
  ASSERT_EQ(sink.files.count(), 5);
  const fs::path home = fs::canonical(s_root / "home");
  for (int i = 0; i < sink.files.count(); ++i) {
    const lists::Row &row = sink.files.row(i);
    const std::string path = row.subItem(TraceFullPathSubItem) + row.subItem(TraceFileNameSubItem);
    const fs::path real = fs::canonical(hostOf(s_prefix, path));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(hostOf(s_prefix, path)))) << path;
    EXPECT_NE(real.string().rfind(home.string(), 0), 0u) << path;
    bool inside = false;
    for (const auto &[name, folder] : folders)
      inside |= path.rfind(folder, 0) == 0 &&
                real.string().rfind(fs::canonical(hostOf(s_prefix, folder)).string() + "/", 0) == 0;
    EXPECT_TRUE(inside) << path;
  }

  const TraceCleanupResult cleanup = cleanUpTraces(everything, sink.files);
  EXPECT_EQ(cleanup.deleted, 5);
  for (const char *file : {"home/keep.htm", "home/index.dat", "home/Desktop/index.dat",
                           "home/Documents/notes.url", "home/Documents/cookie.txt"})
    EXPECT_TRUE(fs::exists(s_root / file)) << file;
}

} // namespace
} // namespace tw::tools
