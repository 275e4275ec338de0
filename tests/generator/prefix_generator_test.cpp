// Generated prefixes: repeatable, loadable by the program's own Wine registry reader, and with a
// manifest that agrees with both the registry and the files on drive C:.

#include "LoadedRegistry.h"
#include "TempFolder.h"

#include "generator/PrefixGenerator.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "platform/RegistryApi.h"
#include "platform/WinePrefix.h"
#include "platform/WineRegistry.h"
#include "registry/uUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tw::generator {
namespace {

using test::LoadedRegistry;
using test::readWholeFile;
using test::TempFolder;
namespace fs = std::filesystem;
using platform::RegKey;
using platform::RegistryApi;

struct Row {
  std::string errorType, keyName, keyValue, guessPath;
};

std::vector<Row> readManifest(const std::string &prefix) {
  std::vector<Row> rows;
  const std::string text = readWholeFile(prefix + "/" + ExpectedErrorsFileName);
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
      fields.push_back(line.substr(from, tab - from));
    fields.push_back(line.substr(from));
    EXPECT_EQ(fields.size(), 4u) << "line: " << line;
    if (fields.size() == 4)
      rows.push_back({fields[0], fields[1], fields[2], fields[3]});
  }
  return rows;
}

std::map<std::string, std::size_t> rowsPerType(const std::vector<Row> &rows) {
  std::map<std::string, std::size_t> counts;
  for (const Row &row : rows)
    ++counts[row.errorType];
  return counts;
}

std::size_t rounded(std::size_t count, double share) {
  return static_cast<std::size_t>(std::llround(static_cast<double>(count) * share));
}

GeneratorOptions smallOptions(std::uint64_t seed = 5) {
  GeneratorOptions o;
  o.seed = seed;
  o.brokenShare = 0.25;
  o.classes = 60;
  o.appPaths = 30;
  o.helpFiles = 24;
  o.fonts = 20;
  o.sharedDlls = 30;
  o.shares = 10;
  o.soundEvents = 24;
  o.uninstall = 30;
  o.menuOrder = 20;
  o.shellExtensions = 20;
  o.fileExts = 30;
  o.startupItems = 10;
  o.addons = 15;
  o.traceFiles = 10;
  return o;
}

GenerateResult generate(const std::string &dir, const GeneratorOptions &options) {
  GenerateResult result = generatePrefix(dir, options);
  EXPECT_TRUE(result) << result.description();
  return result;
}

// ---------------------------------------------------------------------------------------------
// Reading the generated registry through the program's own Wine registry reader.

RegKey rootOf(const std::string &keyText) {
  const std::string root = keyText.substr(0, keyText.find('\\'));
  if (root == "HKEY_LOCAL_MACHINE")
    return platform::HKEY_LOCAL_MACHINE;
  if (root == "HKEY_CURRENT_USER")
    return platform::HKEY_CURRENT_USER;
  if (root == "HKEY_CLASSES_ROOT")
    return platform::HKEY_CLASSES_ROOT;
  ADD_FAILURE() << "unexpected root in " << keyText;
  return 0;
}
std::string belowRoot(const std::string &keyText) { return keyText.substr(keyText.find('\\') + 1); }
std::string parentOf(const std::string &path) { return path.substr(0, path.rfind('\\')); }
std::string lastOf(const std::string &path) { return path.substr(path.rfind('\\') + 1); }

// Checks that the registry holds the entry a manifest row names, with the data the row shows.
void expectRowMatchesRegistry(LoadedRegistry &reg, const Row &row) {
  SCOPED_TRACE(row.errorType + " | " + row.keyName);
  const RegKey root = rootOf(row.keyName);
  const std::string path = belowRoot(row.keyName);
  const std::string &type = row.errorType;
  if (type == "Application" || type == "COM/ActiveX" || type == "Sound AppEvent") {
    EXPECT_EQ(reg.text(root, path, ""), row.keyValue);
  } else if (type == "Uninstall") {
    EXPECT_EQ(lastOf(path), "UninstallString");
    EXPECT_EQ(reg.text(root, parentOf(path), "UninstallString"), row.keyValue);
  } else if (type == "Help File") {
    const std::optional<std::string> folder = reg.text(root, parentOf(path), lastOf(path));
    ASSERT_TRUE(folder);
    const std::string separator = folder->empty() || folder->back() == '\\' ? "" : "\\";
    EXPECT_EQ(*folder + separator + lastOf(path), row.keyValue);
  } else if (type == "Font File") {
    const std::optional<std::string> file = reg.text(root, parentOf(path), lastOf(path));
    ASSERT_TRUE(file);
    const bool bare = file->find_first_of("\\:") == std::string::npos;
    EXPECT_EQ(bare ? "C:\\WINDOWS\\FONTS\\" + *file : *file, row.keyValue);
  } else if (type == "Shared DLLs") {
    const std::string location = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
    EXPECT_EQ(path, location + "\\" + row.keyValue);
    EXPECT_TRUE(reg.valueExists(root, location, row.keyValue));
  } else if (type == "Shared Folder") {
    EXPECT_TRUE(reg.valueExists(root, parentOf(path), lastOf(path)));
    EXPECT_TRUE(reg.valueExists(root, "System\\CurrentControlSet\\Services\\lanmanserver\\Shares", lastOf(path)))
        << "CurrentControlSet links to ControlSet001";
    EXPECT_EQ(row.keyValue, lastOf(path));
  } else if (type == "Shell Extensions") {
    EXPECT_TRUE(reg.valueExists(root, parentOf(path), lastOf(path)));
    EXPECT_EQ(reg.text(platform::HKEY_CLASSES_ROOT, "CLSID\\" + lastOf(path) + "\\InprocServer32", ""),
              row.keyValue);
  } else if (type == "Start Menu") {
    const std::optional<platform::KeyInfo> info = reg.info(root, path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->subKeyCount, 0u);
    EXPECT_EQ(row.keyValue, lastOf(path));
    EXPECT_EQ(row.guessPath, "{null value}");
  } else if (type == "File Extensions") {
    EXPECT_TRUE(reg.keyExists(root, path));
    EXPECT_FALSE(reg.keyExists(platform::HKEY_CLASSES_ROOT, lastOf(path)));
    EXPECT_EQ(row.keyValue, "");
    EXPECT_EQ(row.guessPath, "");
  } else {
    ADD_FAILURE() << "unknown error type";
  }
}

// ---------------------------------------------------------------------------------------------

TEST(Prefix, SameOptionsGiveTheSameBytes) {
  TempFolder folder;
  const GeneratorOptions options = smallOptions(17);
  generate(folder / "a", options);
  generate(folder / "b", options);
  for (const char *name : {"system.reg", "user.reg", "userdef.reg", ExpectedErrorsFileName}) {
    const std::string a = readWholeFile(folder / "a/" + name);
    EXPECT_FALSE(a.empty()) << name;
    EXPECT_EQ(a, readWholeFile(folder / "b/" + name)) << name;
  }
  generate(folder / "c", smallOptions(18));
  EXPECT_NE(readWholeFile(folder / "a/system.reg"), readWholeFile(folder / "c/system.reg"));
  EXPECT_NE(readWholeFile(folder / "a/" + ExpectedErrorsFileName),
            readWholeFile(folder / "c/" + ExpectedErrorsFileName));
}

TEST(Prefix, LaysOutDrivesAsWinebootDoes) {
  TempFolder folder;
  const std::string prefix = folder / "p";
  generate(prefix, smallOptions());
  EXPECT_EQ(fs::read_symlink(prefix + "/dosdevices/c:"), fs::path("../drive_c"));
  EXPECT_EQ(fs::read_symlink(prefix + "/dosdevices/z:"), fs::path("/"));
  for (const char *sub : {"drive_c/windows/system32", "drive_c/windows/Fonts", "drive_c/Program Files",
                          "drive_c/users/user/Temp"})
    EXPECT_TRUE(fs::is_directory(prefix + "/" + sub)) << sub;
  const std::string system = readWholeFile(prefix + "/system.reg");
  EXPECT_TRUE(system.starts_with("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n"));
  EXPECT_TRUE(readWholeFile(prefix + "/userdef.reg").starts_with(
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\.Default\n"));
}

TEST(Prefix, BrokenEntriesFollowTheOptions) {
  TempFolder folder;
  const GeneratorOptions o = smallOptions();
  generate(folder / "p", o);
  const std::map<std::string, std::size_t> counts = rowsPerType(readManifest(folder / "p"));
  const double p = o.brokenShare;
  const auto count = [&](const char *type) { return counts.count(type) ? counts.at(type) : 0u; };
  EXPECT_EQ(count("Application"), rounded(o.appPaths, p));
  EXPECT_EQ(count("Help File"), rounded(o.helpFiles, p));
  EXPECT_EQ(count("Font File"), rounded(o.fonts, p));
  EXPECT_EQ(count("Shared DLLs"), rounded(o.sharedDlls, p));
  EXPECT_EQ(count("Shared Folder"), rounded(o.shares, p));
  EXPECT_EQ(count("Shell Extensions"), rounded(o.shellExtensions, p));
  EXPECT_EQ(count("Start Menu"), rounded(o.menuOrder, p));
  EXPECT_EQ(count("Uninstall"), rounded(o.uninstall, p));
  EXPECT_EQ(count("File Extensions"), rounded(o.fileExts, p));
  // An event can lose both of its sounds, a class its server and its icon; shell extensions
  // and add-ons are classes too.
  EXPECT_GE(count("Sound AppEvent"), rounded(o.soundEvents, p));
  EXPECT_LE(count("Sound AppEvent"), 2 * rounded(o.soundEvents, p));
  EXPECT_GE(count("COM/ActiveX"), rounded(o.classes, p) + rounded(o.shellExtensions, p));

  GeneratorOptions none = o;
  none.brokenShare = 0;
  generate(folder / "none", none);
  EXPECT_TRUE(readManifest(folder / "none").empty());

  GeneratorOptions all = o;
  all.brokenShare = 1;
  all.shares = 40;
  generate(folder / "all", all);
  const std::map<std::string, std::size_t> allCounts = rowsPerType(readManifest(folder / "all"));
  EXPECT_EQ(allCounts.at("Application"), all.appPaths);
  EXPECT_EQ(allCounts.at("Shared Folder"), 24u) << "one broken share per drive letter the prefix leaves free";
}

TEST(Prefix, RegistryLoadsWithTheCountsAsked) {
  TempFolder folder;
  const GeneratorOptions o = GeneratorOptions::demo();
  generate(folder / "p", o);
  LoadedRegistry reg(folder / "p");
  ASSERT_TRUE(reg.loaded()) << reg.loadError();
  const auto subKeys = [&](RegKey root, const std::string &path) {
    const std::optional<platform::KeyInfo> info = reg.info(root, path);
    return info ? info->subKeyCount : 0u;
  };
  const auto values = [&](RegKey root, const std::string &path) {
    const std::optional<platform::KeyInfo> info = reg.info(root, path);
    return info ? info->valueCount : 0u;
  };
  const RegKey hklm = platform::HKEY_LOCAL_MACHINE;
  const RegKey hkcu = platform::HKEY_CURRENT_USER;
  const std::string cv = "Software\\Microsoft\\Windows\\CurrentVersion";
  EXPECT_EQ(subKeys(hklm, cv + "\\App Paths"), o.appPaths);
  EXPECT_EQ(subKeys(hklm, cv + "\\Uninstall"), o.uninstall);
  EXPECT_EQ(subKeys(hkcu, cv + "\\Explorer\\FileExts"), o.fileExts);
  EXPECT_EQ(values(hklm, cv + "\\SharedDlls"), o.sharedDlls);
  EXPECT_EQ(values(hklm, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"), o.fonts);
  EXPECT_EQ(values(hklm, cv + "\\Shell Extensions\\Approved"), o.shellExtensions);
  EXPECT_EQ(values(hklm, "System\\ControlSet001\\Services\\lanmanserver\\Shares"), o.shares);
  EXPECT_EQ(values(hklm, "Software\\Microsoft\\Windows\\Help") +
                values(hklm, "Software\\Microsoft\\Windows\\HTML Help"),
            o.helpFiles);
  EXPECT_GE(subKeys(platform::HKEY_CLASSES_ROOT, "CLSID"), o.classes + o.addons);
  EXPECT_EQ(reg.text(hklm, cv, "ProgramFilesDir"), "C:\\Program Files");
  EXPECT_EQ(reg.text(hklm, "Software\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion"), "5.1");
}

TEST(Prefix, EveryExpectedRowNamesWhatTheRegistryHolds) {
  TempFolder folder;
  GeneratorOptions o = GeneratorOptions::demo();
  o.brokenShare = 0.3;
  generate(folder / "p", o);
  const std::vector<Row> rows = readManifest(folder / "p");
  ASSERT_EQ(rowsPerType(rows).size(), 11u) << "every error type is represented";
  LoadedRegistry reg(folder / "p");
  ASSERT_TRUE(reg.loaded()) << reg.loadError();
  for (const Row &row : rows)
    expectRowMatchesRegistry(reg, row);
}

// The rows' files must be missing on drive C:, and the entries that are not in the manifest must
// be intact by the same test the scan applies: the text or its guessed path names a file, or the
// text names a folder. Checked for the kinds that name a file in one value.
TEST(Prefix, ManifestAgreesWithTheFilesOnDisk) {
  TempFolder folder;
  const std::string prefix = folder / "p";
  GeneratorOptions o = GeneratorOptions::demo();
  o.brokenShare = 0.3;
  generate(prefix, o);
  platform::PrefixOpenResult opened;
  std::unique_ptr<platform::Machine> machine = platform::openWinePrefix(prefix, opened);
  ASSERT_TRUE(machine) << opened.description();
  platform::installMachine(std::move(machine));
  platform::FileSystem &files = platform::machine().files();
  const auto broken = [&](const std::string &v) {
    return !v.empty() && !files.fileExists(v) && !files.fileExists(GuessPath(v)) && !files.directoryExists(v);
  };

  std::set<std::string> expected;
  for (const Row &row : readManifest(prefix)) {
    if (row.guessPath.empty() || row.guessPath == "{null value}")
      continue;
    SCOPED_TRACE(row.keyName);
    EXPECT_TRUE(broken(row.keyValue));
    EXPECT_EQ(GuessPath(row.keyValue), row.guessPath);
    expected.insert(row.errorType + "|" + row.keyName + "|" + row.keyValue + "|" + row.guessPath);
  }

  // The same rows, found afresh from the registry for three kinds.
  RegistryApi &registry = platform::machine().registry();
  const auto each = [&](const std::string &path, bool subKeys, auto &&visit) {
    RegKey key = 0;
    ASSERT_EQ(registry.openKey(platform::HKEY_LOCAL_MACHINE, path, platform::access::KeyRead, key), 0);
    for (std::uint32_t i = 0;; ++i) {
      std::string name;
      platform::RegValue value;
      const long status = subKeys ? registry.enumKey(key, i, name) : registry.enumValue(key, i, value);
      if (status != platform::error::Success)
        break;
      visit(subKeys ? name : value.name);
    }
    registry.closeKey(key);
  };
  LoadedRegistry reg(prefix);
  ASSERT_TRUE(reg.loaded());
  std::set<std::string> found;
  const auto examine = [&](const std::string &type, const std::string &keyText, const std::string &v) {
    if (broken(v))
      found.insert(type + "|" + keyText + "|" + v + "|" + GuessPath(v));
  };
  const std::string cv = "Software\\Microsoft\\Windows\\CurrentVersion";
  each(cv + "\\App Paths", true, [&](const std::string &name) {
    examine("Application", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name,
            reg.text(platform::HKEY_LOCAL_MACHINE, cv + "\\App Paths\\" + name, "").value_or(""));
  });
  each(cv + "\\Uninstall", true, [&](const std::string &name) {
    examine("Uninstall", "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name +
                             "\\UninstallString",
            reg.text(platform::HKEY_LOCAL_MACHINE, cv + "\\Uninstall\\" + name, "UninstallString").value_or(""));
  });
  each(cv + "\\SharedDlls", false, [&](const std::string &name) {
    examine("Shared DLLs", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls\\" + name,
            name);
  });
  std::set<std::string> expectedOfKinds;
  for (const std::string &row : expected)
    if (row.starts_with("Application|") || row.starts_with("Uninstall|") || row.starts_with("Shared DLLs|"))
      expectedOfKinds.insert(row);
  EXPECT_FALSE(expectedOfKinds.empty());
  EXPECT_EQ(found, expectedOfKinds);
}

TEST(Prefix, PaddingReachesTheSizeAndChangesNoRow) {
  TempFolder folder;
  GeneratorOptions o = smallOptions();
  generate(folder / "plain", o);
  o.systemMegabytes = 3;
  const GenerateResult padded = generate(folder / "padded", o);
  const std::uintmax_t size = fs::file_size(folder / "padded/system.reg");
  EXPECT_EQ(size, padded.systemRegBytes);
  EXPECT_GE(size, 3u * 1024 * 1024);
  EXPECT_LT(size, 3u * 1024 * 1024 + 4096) << "stops within one key of the target";
  EXPECT_EQ(readWholeFile(folder / "plain/" + ExpectedErrorsFileName),
            readWholeFile(folder / "padded/" + ExpectedErrorsFileName));
  EXPECT_EQ(readWholeFile(folder / "plain/user.reg"), readWholeFile(folder / "padded/user.reg"));
  LoadedRegistry reg(folder / "padded");
  EXPECT_TRUE(reg.loaded()) << reg.loadError();
}

TEST(Prefix, LeavesAnExistingRegistryAloneUnlessTold) {
  TempFolder folder;
  const std::string prefix = folder / "p";
  fs::create_directory(prefix);
  { std::ofstream(prefix + "/user.reg") << "the user's own registry"; }
  const GenerateResult refused = generatePrefix(prefix, smallOptions());
  EXPECT_EQ(refused.status, GenerateResult::Status::PrefixExists);
  EXPECT_NE(refused.description().find("user.reg"), std::string::npos) << refused.description();
  EXPECT_EQ(readWholeFile(prefix + "/user.reg"), "the user's own registry");
  EXPECT_FALSE(fs::exists(prefix + "/drive_c"));
  EXPECT_FALSE(fs::exists(prefix + "/system.reg"));

  GeneratorOptions overwrite = smallOptions();
  overwrite.overwrite = true;
  generate(prefix, overwrite);
  EXPECT_TRUE(readWholeFile(prefix + "/user.reg").starts_with("WINE REGISTRY Version 2\n"));
}

TEST(Prefix, RefusesBadOptionsAndBadFolders) {
  TempFolder folder;
  const auto with = [](auto change) {
    GeneratorOptions o = smallOptions();
    change(o);
    return o;
  };
  const GeneratorOptions bad[] = {
      with([](GeneratorOptions &o) { o.brokenShare = -0.1; }),
      with([](GeneratorOptions &o) { o.brokenShare = 1.5; }),
      with([](GeneratorOptions &o) { o.brokenShare = std::numeric_limits<double>::quiet_NaN(); }),
      with([](GeneratorOptions &o) { o.userName = ""; }),
      with([](GeneratorOptions &o) { o.userName = "a/b"; }),
      with([](GeneratorOptions &o) { o.userName = ".."; }),
      with([](GeneratorOptions &o) { o.systemMegabytes = 100000; }),
      with([](GeneratorOptions &o) { o.classes = 1'000'000'000; }),
  };
  for (const GeneratorOptions &o : bad) {
    const GenerateResult result = generatePrefix(folder / "bad", o);
    EXPECT_EQ(result.status, GenerateResult::Status::BadOptions) << result.description();
    EXPECT_FALSE(fs::exists(folder / "bad"));
  }

  { std::ofstream(folder / "file") << "x"; }
  EXPECT_EQ(generatePrefix(folder / "file", smallOptions()).status, GenerateResult::Status::CannotCreate);
  EXPECT_EQ(generatePrefix(folder / "missing/parent", smallOptions()).status,
            GenerateResult::Status::CannotCreate);
  EXPECT_EQ(readWholeFile(folder / "file"), "x");
}

TEST(Prefix, EnsureReusesOnlyAPrefixMadeWithTheSameOptions) {
  TempFolder folder;
  const std::string prefix = folder / "p";
  bool reused = true;
  ASSERT_TRUE(ensurePrefix(prefix, smallOptions(), &reused));
  EXPECT_FALSE(reused);
  const std::string manifest = readWholeFile(prefix + "/" + ExpectedErrorsFileName);
  { std::ofstream(prefix + "/drive_c/marker") << "kept"; }

  ASSERT_TRUE(ensurePrefix(prefix, smallOptions(), &reused));
  EXPECT_TRUE(reused);
  EXPECT_EQ(readWholeFile(prefix + "/drive_c/marker"), "kept");

  ASSERT_TRUE(ensurePrefix(prefix, smallOptions(6), &reused));
  EXPECT_FALSE(reused);
  EXPECT_NE(readWholeFile(prefix + "/" + ExpectedErrorsFileName), manifest);
  EXPECT_EQ(readWholeFile(prefix + "/" + OptionsFileName), describeOptions(smallOptions(6)));

  // A registry this generator did not make is never replaced.
  const std::string foreign = folder / "foreign";
  fs::create_directory(foreign);
  { std::ofstream(foreign + "/system.reg") << "someone's registry"; }
  EXPECT_EQ(ensurePrefix(foreign, smallOptions()).status, GenerateResult::Status::PrefixExists);
  EXPECT_EQ(readWholeFile(foreign + "/system.reg"), "someone's registry");
}

} // namespace
} // namespace tw::generator
