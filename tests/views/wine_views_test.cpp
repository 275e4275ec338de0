// Both registry views held against Wine with its 32-bit part installed, on one prefix made by
// wineboot: each view reads what Wine's tools of that view read and writes what they then read;
// a real 32-bit NSIS installer registers a program in the 32-bit view, and once its folder is
// removed by hand the scan reports every entry it left, in either view, and none while it was
// installed; fixing them, closing and restoring gives the registry back. Last, the generator's
// 32-bit half replaces the registry and Wine's tools of each side find its entries where their
// side looks. Skipped without wine, its 32-bit part or makensis.

#include "ViewsSupport.h"

#include "generator/PrefixGenerator.h"
#include "platform/WineRegistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <filesystem>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tw::test {
namespace {

using namespace platform;

bool haveTools() {
  return std::system("command -v wine wineboot wineserver makensis >/dev/null 2>&1") == 0 &&
         fs::exists("/usr/lib/wine/wine64");
}

constexpr const char *DocumentClass = "{5D1E2B7C-3A4F-4E8B-9C21-7F0A6B3D2E11}";
constexpr const char *ShellClass = "{8B4C1D2E-6F7A-4B3C-A1D9-2E5F8C7B6A02}";
constexpr const char *ProxyClass = "{2A9F6E4D-1C3B-4D5E-8F7A-9B0C1D2E3F03}";
constexpr const char *InstallFolder = "C:\\Program Files (x86)\\Tidewell Views App";

// A row that names the test program or one of its classes.
bool isOurs(const ScanRow &row) {
  const std::string all = lowered(row.keyName + "\t" + row.keyValue + "\t" + row.guessPath);
  for (const char *mark : {"tidewell views", "viewsapp", "viewscore", "viewsshext", "viewsps", DocumentClass,
                           ShellClass, ProxyClass})
    if (all.find(lowered(mark)) != std::string::npos) return true;
  return false;
}

class WineViews : public ::testing::Test {
protected:
  static inline fs::path root;
  static inline fs::path prefix;
  static inline std::string setupProblem;
  static inline std::vector<ScanRow> freshRows;
  static inline bool freshScanCompleted = false;

  static void SetUpTestSuite() {
    if (!haveTools()) return;
    root = fs::temp_directory_path() / ("tw-views-" + std::to_string(::getpid()));
    prefix = root / "prefix";
    fs::create_directories(root);
    int status = -1;
    runInPrefix(prefix, "cd " + quoted(root.string()) + " && makensis -NOCD -V1 " +
                            quoted(TIDEWELL_TEST_DATA "/nsis/views-app.nsi"), &status);
    if (status != 0) {
      setupProblem = "makensis failed on views-app.nsi";
      return;
    }
    runInPrefix(prefix, "wineboot -i >/dev/null && wineserver -w", &status);
    if (!fs::exists(prefix / "system.reg")) setupProblem = "wineboot made no prefix";
    else if (!fs::exists(prefix / "drive_c/windows/syswow64/kernel32.dll"))
      setupProblem = "no 32-bit Wine: wineboot filled no syswow64 (is wine32 installed?)";
    if (!setupProblem.empty()) return;
    freshRows = scanPrefix(prefix, &freshScanCompleted);
  }
  static void TearDownTestSuite() {
    if (root.empty()) return;
    runInPrefix(prefix, "wineserver -k; wineserver -w");
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  void SetUp() override {
    if (!haveTools()) GTEST_SKIP() << "wine, its 64-bit loader or makensis is not installed";
    ASSERT_EQ(setupProblem, "");
  }

  static std::unique_ptr<WineRegistry> openRegistry() {
    RegistryLoadResult loaded;
    auto reg = openWineRegistry(prefix.string(), loaded);
    EXPECT_TRUE(loaded) << loaded.description();
    return reg;
  }
};

TEST_F(WineViews, EachViewReadsWhatWinesToolsOfThatViewRead) {
  struct Sample {
    RegKey root;
    std::string path;
    std::string wineName;
  };
  const Sample samples[] = {
      {HKEY_LOCAL_MACHINE, "Software", "HKLM\\Software"},
      {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion"},
      {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion"},
      {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths"},
      {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"},
      {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{0000031A-0000-0000-C000-000000000046}", "HKLM\\Software\\Classes\\CLSID\\{0000031A-0000-0000-C000-000000000046}"},
      {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager\\Environment", "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"},
      {HKEY_CLASSES_ROOT, "CLSID", "HKCR\\CLSID"},
      {HKEY_CLASSES_ROOT, "txtfile\\shell\\open\\command", "HKCR\\txtfile\\shell\\open\\command"},
      {HKEY_CLASSES_ROOT, "TypeLib", "HKCR\\TypeLib"},
      {HKEY_CURRENT_USER, "Control Panel\\Desktop", "HKCU\\Control Panel\\Desktop"},
      {HKEY_CURRENT_USER, "Control Panel\\International", "HKCU\\Control Panel\\International"},
      {HKEY_USERS, ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
       "HKU\\.Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
      {HKEY_USERS, "S-1-5-21-0-0-0-1000\\Control Panel\\Mouse", "HKU\\S-1-5-21-0-0-0-1000\\Control Panel\\Mouse"},
      {HKEY_CURRENT_CONFIG, "Software\\Fonts", "HKCC\\Software\\Fonts"},
  };
  auto reg = openRegistry();
  ASSERT_NE(reg, nullptr);
  WineSession wine(prefix);
  std::vector<std::string> keys;
  for (const Sample &s : samples) keys.push_back(s.wineName);
  for (const bool thirtyTwoBit : {true, false}) {
    SCOPED_TRACE(thirtyTwoBit ? "32-bit view against plain wine" : "64-bit view against the 64-bit loader");
    const std::vector<Listing> listings = wineQueries(prefix, keys, thirtyTwoBit);
    ASSERT_EQ(listings.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const Sample &s = samples[i];
      const Listing &theirs = listings[i];
      const Listing ours = ourQuery(*reg, s.root, s.path, thirtyTwoBit ? View32 : View64);
      ASSERT_TRUE(theirs.found) << s.wineName;
      EXPECT_TRUE(ours.found) << s.wineName;
      EXPECT_EQ(ours.values, theirs.values) << s.wineName;
      EXPECT_EQ(ours.subKeys, theirs.subKeys) << s.wineName;
      EXPECT_FALSE(theirs.values.empty() && theirs.subKeys.empty()) << s.wineName << " is an empty sample";
    }
  }
  // The samples tell the views apart: each half names its own program folder.
  const std::string cv = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion";
  EXPECT_EQ(wineQuery(prefix, cv, true).values["ProgramFilesDir"].second, "C:\\Program Files (x86)");
  EXPECT_EQ(wineQuery(prefix, cv, false).values["ProgramFilesDir"].second, "C:\\Program Files");
}

TEST_F(WineViews, EachViewWritesWhatWinesToolsOfThatViewRead) {
  const std::string guid = "{7E1D0C3B-2A49-4F58-8E67-D5C4B3A29180}";
  {
    auto reg = openRegistry();
    ASSERT_NE(reg, nullptr);
    const auto put = [&](RegKey parent, const std::string &path, std::uint32_t view, const std::string &name,
                         const std::string &text) {
      RegKey key = 0;
      ASSERT_EQ(reg->createKey(parent, path, access::KeyAllAccess | view, key), error::Success) << path;
      ASSERT_EQ(reg->setValue(key, name, regtype::Sz, reinterpret_cast<const std::uint8_t *>(text.c_str()),
                              static_cast<std::uint32_t>(text.size() + 1)),
                error::Success);
      reg->closeKey(key);
    };
    put(HKEY_LOCAL_MACHINE, "Software\\Tidewell Views", View32, "view", "32");
    put(HKEY_LOCAL_MACHINE, "Software\\Tidewell Views", View64, "view", "64");
    put(HKEY_CLASSES_ROOT, "CLSID\\" + guid + "\\InprocServer32", View32, "", "C:\\windows\\system32\\x.dll");
    put(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tidewellviews.exe", View32, "",
        "C:\\Program Files (x86)\\x.exe");
    put(HKEY_CURRENT_USER, "Software\\Tidewell Views", View32, "user", "shared");
    ASSERT_EQ(reg->flushKey(HKEY_LOCAL_MACHINE), error::Success);
    ASSERT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success);
  }
  const auto value = [&](const std::string &key, const std::string &name, bool thirtyTwoBit) {
    return wineQuery(prefix, key, thirtyTwoBit).values[name].second;
  };
  std::optional<WineSession> wine(prefix);
  EXPECT_EQ(value("HKLM\\Software\\Tidewell Views", "view", true), "32");
  EXPECT_EQ(value("HKLM\\Software\\Tidewell Views", "view", false), "64");
  EXPECT_EQ(value("HKLM\\Software\\Wow6432Node\\Tidewell Views", "view", false), "32");
  EXPECT_EQ(value("HKCR\\CLSID\\" + guid + "\\InprocServer32", "(Default)", true), "C:\\windows\\system32\\x.dll");
  EXPECT_FALSE(wineQuery(prefix, "HKCR\\CLSID\\" + guid, false).found) << "a 32-bit class is not a 64-bit one";
  // Keys both views share are one key.
  EXPECT_EQ(value("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tidewellviews.exe", "(Default)", false),
            "C:\\Program Files (x86)\\x.exe");
  EXPECT_EQ(value("HKCU\\Software\\Tidewell Views", "user", false), "shared");

  // And what Wine's 32-bit tools write, our 32-bit view reads.
  runInPrefix(prefix, "wine reg add 'HKLM\\Software\\Tidewell Wine32' /v from /d wine32 /f >/dev/null");
  wine.reset();
  auto reg = openRegistry();
  ASSERT_NE(reg, nullptr);
  EXPECT_EQ(ourQuery(*reg, HKEY_LOCAL_MACHINE, "Software\\Tidewell Wine32", View32).values["from"].second, "wine32");
  EXPECT_FALSE(ourQuery(*reg, HKEY_LOCAL_MACHINE, "Software\\Tidewell Wine32", View64).found);
  EXPECT_TRUE(ourQuery(*reg, HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Tidewell Wine32", View64).found);
}

TEST_F(WineViews, NoRowOfTheFreshPrefixNamesAFileIn32BitProgramsReach) {
  ASSERT_TRUE(freshScanCompleted);
  const fs::path sysWow64 = prefix / "drive_c/windows/syswow64";
  std::set<std::string> present;
  for (const fs::directory_entry &entry : fs::directory_iterator(sysWow64))
    present.insert(lowered(entry.path().filename().string()));
  ASSERT_GT(present.size(), 100u);
  for (const ScanRow &row : freshRows) {
    if (lowered(row.keyName).find("\\wow6432node\\") == std::string::npos) continue;
    SCOPED_TRACE(row.line());
    const std::string guess = lowered(row.guessPath);
    for (const char *folder : {"c:\\windows\\system32\\", "c:\\windows\\syswow64\\"}) {
      if (guess.starts_with(folder)) {
        EXPECT_FALSE(present.count(guess.substr(std::string(folder).size())));
      }
    }
  }
}

TEST_F(WineViews, A32BitInstallersEntriesAreReportedOnceItsFolderIsGone) {
  int status = -1;
  runInPrefix(prefix, "cd " + quoted(root.string()) + " && wine ./tidewell-views-setup.exe; wineserver -w", &status);
  const fs::path installed = prefix / "drive_c/Program Files (x86)/Tidewell Views App";
  ASSERT_TRUE(fs::exists(installed / "viewsapp.dll")) << "the installer did not install the program";
  ASSERT_TRUE(fs::exists(prefix / "drive_c/windows/syswow64/viewsps.dll"));
  {
    WineSession wine(prefix);
    ASSERT_TRUE(wineQuery(prefix, "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TidewellViewsApp", false).found)
        << "the installer wrote the 32-bit view";
  }

  {
    SCOPED_TRACE("installed: nothing of it is reported");
    bool completed = false;
    for (const ScanRow &row : scanPrefix(prefix, &completed)) EXPECT_FALSE(isOurs(row)) << row.line();
    EXPECT_TRUE(completed);
  }

  fs::remove_all(installed);
  const std::string folder = InstallFolder;
  const std::set<std::string> expected = {
      "COM/ActiveX|hkey_classes_root\\wow6432node\\clsid\\" + lowered(DocumentClass) + "\\inprocserver32|" + folder + "\\viewsapp.dll",
      "COM/ActiveX|hkey_classes_root\\wow6432node\\clsid\\" + lowered(DocumentClass) + "\\defaulticon|" + folder + "\\viewsapp.exe,0",
      "COM/ActiveX|hkey_classes_root\\wow6432node\\clsid\\" + lowered(ShellClass) + "\\inprocserver32|" + folder + "\\viewsshext.dll",
      "Shell Extensions|hkey_local_machine\\software\\wow6432node\\microsoft\\windows\\currentversion\\shell extensions\\approved\\" +
          lowered(ShellClass) + "|" + folder + "\\viewsshext.dll",
      "Help File|hkey_local_machine\\software\\wow6432node\\microsoft\\windows\\help\\viewsapp.hlp|" + folder + "\\viewsapp.hlp",
      "Shared DLLs|hkey_local_machine\\software\\wow6432node\\microsoft\\windows\\currentversion\\shareddlls\\" +
          lowered(folder) + "\\viewscore.dll|" + folder + "\\viewscore.dll",
      "Application|hkey_local_machine\\software\\microsoft\\windows\\currentversion\\app paths\\viewsapp.exe|" + folder + "\\viewsapp.exe",
      "Uninstall|hkey_local_machine\\software\\wow6432node\\microsoft\\windows\\currentversion\\uninstall\\tidewellviewsapp\\uninstallstring|\"" +
          folder + "\\uninstall.exe\"",
  };
  std::multiset<std::string> found;
  bool completed = false;
  for (const ScanRow &row : scanPrefix(prefix, &completed))
    if (isOurs(row)) found.insert(row.errorType + "|" + lowered(row.keyName) + "|" + row.keyValue);
  EXPECT_TRUE(completed);
  // Each entry once: a key both views share is reported by one of them. The class served from
  // syswow64 is intact.
  EXPECT_THAT(found, ::testing::UnorderedElementsAreArray(expected.begin(), expected.end()));

  const RepairCycle cycle = fixAndRestoreEverything(prefix);
  ASSERT_EQ(cycle.problem, "");
  EXPECT_GE(cycle.fixedRows, expected.size());
  EXPECT_EQ(cycle.restoredRecords, cycle.fixedRows);
  EXPECT_FALSE(cycle.changedByFix.empty());
  EXPECT_THAT(cycle.leftAfterRestore, ::testing::IsEmpty());
  // Wine reads the restored 32-bit entries where the installer wrote them.
  WineSession wine(prefix);
  EXPECT_EQ(wineQuery(prefix, "HKCR\\CLSID\\" + std::string(DocumentClass) + "\\InprocServer32", true).values["(Default)"].second,
            folder + "\\viewsapp.dll");
}

// Runs last: it replaces the prefix's registry with a generated one.
TEST_F(WineViews, WinesToolsFindTheGeneratedHalvesWhereTheirSideLooks) {
  generator::GeneratorOptions options = generator::GeneratorOptions::demo();
  options.arch = generator::PrefixArch::Win64With32Bit;
  options.overwrite = true;
  const generator::GenerateResult made = generator::generatePrefix(prefix.string(), options);
  ASSERT_TRUE(made) << made.description();

  // The first 32-bit row of each kind, and where a 32-bit program finds its entry: the same key
  // text without Wow6432Node.
  struct Probe {
    std::string key32;   ///< the key a 32-bit program opens
    std::string stored;  ///< where it is stored, as the 64-bit side sees it
    std::string name;    ///< the value looked at
    std::string data;    ///< its data, when the row shows it whole
  };
  std::vector<Probe> probes;
  std::set<std::string> kinds;
  for (const std::string &line : fileLines(prefix / generator::ExpectedErrorsFileName)) {
    std::vector<std::string> f;
    for (std::size_t from = 0, tab = 0; tab != std::string::npos; from = tab + 1) {
      tab = line.find('\t', from);
      f.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
    }
    const std::size_t node = f[1].find("\\Wow6432Node");
    if (f.size() != 4 || node == std::string::npos || !kinds.insert(f[0]).second) continue;
    const std::string key32 = f[1].substr(0, node) + f[1].substr(node + 12);
    if (f[0] == "COM/ActiveX") probes.push_back({key32, f[1], "(Default)", f[2]});
    else if (f[0] == "Uninstall")
      probes.push_back({key32.substr(0, key32.rfind('\\')), f[1].substr(0, f[1].rfind('\\')), "UninstallString", f[2]});
    else if (f[0] == "Shared DLLs") {
      const std::string location = "\\SharedDlls\\";
      probes.push_back({key32.substr(0, key32.find(location) + location.size() - 1),
                        f[1].substr(0, f[1].find(location) + location.size() - 1), f[2], ""});
    } else {
      probes.push_back({key32.substr(0, key32.rfind('\\')), f[1].substr(0, f[1].rfind('\\')),
                        key32.substr(key32.rfind('\\') + 1), ""});
    }
  }
  EXPECT_EQ(kinds, (std::set<std::string>{"COM/ActiveX", "Help File", "Shared DLLs", "Shell Extensions", "Uninstall"}));
  std::vector<std::string> keys32, stored;
  for (const Probe &p : probes) {
    keys32.push_back(p.key32);
    stored.push_back(p.stored);
  }
  const std::vector<Listing> seen32 = wineQueries(prefix, keys32, true);
  const std::vector<Listing> seenStored = wineQueries(prefix, stored, false);
  const std::vector<Listing> seen64 = wineQueries(prefix, keys32, false);
  ASSERT_EQ(seen32.size(), probes.size());
  for (std::size_t i = 0; i < probes.size(); ++i) {
    SCOPED_TRACE(probes[i].stored);
    for (const Listing *listing : {&seen32[i], &seenStored[i]}) {
      ASSERT_TRUE(listing->values.count(probes[i].name)) << probes[i].name;
      if (!probes[i].data.empty()) {
        EXPECT_EQ(listing->values.at(probes[i].name).second, probes[i].data);
      }
    }
    EXPECT_FALSE(seen64[i].values.count(probes[i].name)) << "the 64-bit side has an entry of its own there";
  }
  runInPrefix(prefix, "wineserver -w");
}

} // namespace
} // namespace tw::test
