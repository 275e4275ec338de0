// Generated prefixes with the 32-bit programs' half: the 64-bit half stays what a prefix without
// it holds, the 32-bit entries lie where Wine stores them (Wow6432Node, the shared keys linked),
// and the files of the 32-bit rows are missing where a 32-bit program looks (syswow64) while a
// file of the same name exists in system32. A 32-bit prefix has one view.

#include "LoadedRegistry.h"
#include "TempFolder.h"

#include "generator/CommandLine.h"
#include "generator/PrefixGenerator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tw::generator {
namespace {

using test::LoadedRegistry;
using test::readWholeFile;
using test::TempFolder;
namespace fs = std::filesystem;
using platform::RegKey;

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    out.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return out;
}

std::vector<std::string> field(const std::string &row) {
  std::vector<std::string> fields;
  std::size_t from = 0;
  for (std::size_t tab; (tab = row.find('\t', from)) != std::string::npos; from = tab + 1)
    fields.push_back(row.substr(from, tab - from));
  fields.push_back(row.substr(from));
  return fields;
}

GeneratorOptions options(PrefixArch arch) {
  GeneratorOptions o = GeneratorOptions::demo();
  o.brokenShare = 0.3;
  o.arch = arch;
  return o;
}

bool isWow64Row(const std::string &row) { return row.find("\\Wow6432Node\\") != std::string::npos; }

// A file below drive C: by its Windows path, matched without regard to case as Wine does.
bool existsOnDrive(const std::string &prefix, const std::string &windowsPath) {
  fs::path path = fs::path(prefix) / "drive_c";
  std::string rest = windowsPath.substr(3);
  while (!rest.empty()) {
    const std::size_t slash = rest.find('\\');
    const std::string part = rest.substr(0, slash);
    rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
    std::error_code error;
    bool found = false;
    for (const fs::directory_entry &entry : fs::directory_iterator(path, error)) {
      std::string name = entry.path().filename().string(), wanted = part;
      for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      for (char &c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (name == wanted) {
        path = entry.path();
        found = true;
        break;
      }
    }
    if (!found)
      return false;
  }
  return true;
}

TEST(Wow64Prefix, The64BitHalfIsThePrefixWithoutIt) {
  TempFolder folder;
  ASSERT_TRUE(generatePrefix(folder / "win64", options(PrefixArch::Win64)));
  ASSERT_TRUE(generatePrefix(folder / "wow64", options(PrefixArch::Win64With32Bit)));
  // The per-user files hold nothing of the 32-bit half: its per-user keys are shared.
  EXPECT_EQ(readWholeFile(folder / "win64/user.reg"), readWholeFile(folder / "wow64/user.reg"));
  EXPECT_EQ(readWholeFile(folder / "win64/userdef.reg"), readWholeFile(folder / "wow64/userdef.reg"));

  // Every row of the prefix without the 32-bit half comes back, in the same order within its
  // error type, and before that type's 32-bit rows.
  const std::vector<std::string> plain = lines(readWholeFile(folder / "win64/expected-errors.tsv"));
  const std::vector<std::string> both = lines(readWholeFile(folder / "wow64/expected-errors.tsv"));
  std::map<std::string, std::vector<std::string>> plainByType, nativeByType;
  for (const std::string &row : plain)
    plainByType[field(row)[0]].push_back(row);
  std::map<std::string, bool> seenWow64;
  std::size_t wow64Rows = 0;
  for (const std::string &row : both) {
    const std::string type = field(row)[0];
    if (isWow64Row(row)) {
      seenWow64[type] = true;
      ++wow64Rows;
      continue;
    }
    EXPECT_FALSE(seenWow64[type]) << "a 64-bit row after the 32-bit ones: " << row;
    // App Paths are shared: the 32-bit programs' entries are stored in the 64-bit key.
    if (type != "Application")
      nativeByType[type].push_back(row);
  }
  plainByType.erase("Application");
  EXPECT_EQ(nativeByType, plainByType);
  for (const char *type : {"COM/ActiveX", "Help File", "Shared DLLs", "Shell Extensions", "Uninstall"})
    EXPECT_TRUE(seenWow64[type]) << type;
  EXPECT_GT(wow64Rows, plain.size() / 3);

  const std::string win64 = readWholeFile(folder / "win64/system.reg");
  EXPECT_EQ(win64.find("Wow6432Node"), std::string::npos);
  EXPECT_FALSE(fs::exists(folder / "win64/drive_c/windows/syswow64"));
  EXPECT_TRUE(fs::is_directory(folder / "wow64/drive_c/windows/syswow64"));
  EXPECT_TRUE(fs::is_directory(folder / "wow64/drive_c/Program Files (x86)"));
}

TEST(Wow64Prefix, EntriesLieWhereWineKeepsThem) {
  TempFolder folder;
  const std::string prefix = folder / "p";
  ASSERT_TRUE(generatePrefix(prefix, options(PrefixArch::Win64With32Bit)));
  LoadedRegistry reg(prefix);
  ASSERT_TRUE(reg.loaded());
  const RegKey HKLM = platform::HKEY_LOCAL_MACHINE;

  // The folders each half records, as Wine writes them.
  const std::string cv = "Software\\Microsoft\\Windows\\CurrentVersion";
  EXPECT_EQ(reg.text(HKLM, cv, "ProgramFilesDir"), "C:\\Program Files");
  EXPECT_EQ(reg.text(HKLM, cv, "ProgramFilesDir (x86)"), "C:\\Program Files (x86)");
  EXPECT_EQ(reg.text(HKLM, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir"),
            "C:\\Program Files (x86)");
  EXPECT_EQ(reg.text(HKLM, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir"),
            "C:\\Program Files (x86)\\Common Files");

  // The links: the shared keys read the same from both halves, and the 32-bit classes are
  // reached from Software\Wow6432Node\Classes as from Software\Classes\Wow6432Node.
  EXPECT_EQ(reg.subKeys(HKLM, "Software\\Wow6432Node\\" + cv.substr(9) + "\\App Paths"),
            reg.subKeys(HKLM, cv + "\\App Paths"));
  EXPECT_EQ(reg.subKeys(HKLM, "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList"),
            reg.subKeys(HKLM, "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList"));
  const std::vector<std::string> classes32 = reg.subKeys(HKLM, "Software\\Classes\\Wow6432Node\\CLSID");
  EXPECT_GT(classes32.size(), 100u);
  EXPECT_EQ(reg.subKeys(HKLM, "Software\\Wow6432Node\\Classes\\CLSID"), classes32);
  EXPECT_TRUE(reg.keyExists(HKLM, "Software\\Classes\\Wow6432Node\\TypeLib"));

  // Each 32-bit row names a key or value that exists, and its file is missing from syswow64
  // while system32 holds a file of that name, or lies outside the system folder.
  std::size_t redirected = 0;
  for (const std::string &row : lines(readWholeFile(prefix + "/expected-errors.tsv"))) {
    if (!isWow64Row(row))
      continue;
    SCOPED_TRACE(row);
    const std::vector<std::string> f = field(row);
    ASSERT_EQ(f.size(), 4u);
    const std::string &type = f[0], &keyName = f[1], &value = f[2], &guess = f[3];
    const bool classes = keyName.starts_with("HKEY_CLASSES_ROOT\\");
    const RegKey root = classes ? platform::HKEY_CLASSES_ROOT : HKLM;
    const std::string path = keyName.substr(keyName.find('\\') + 1);
    // A shared library's value is named by its path, backslashes and all.
    const std::string location = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
    const bool library = type == "Shared DLLs";
    const std::string parent = library ? location : path.substr(0, path.rfind('\\'));
    const std::string last = library ? value : path.substr(path.rfind('\\') + 1);
    if (library) {
      EXPECT_EQ(path, location + "\\" + value);
    }
    if (type == "COM/ActiveX") {
      EXPECT_TRUE(path.starts_with("Wow6432Node\\CLSID\\"));
      EXPECT_EQ(reg.text(root, path, ""), value);
    } else if (type == "Uninstall") {
      EXPECT_EQ(reg.text(root, parent, "UninstallString"), value);
    } else if (type == "Shell Extensions") {
      EXPECT_TRUE(reg.valueExists(root, parent, last));
      EXPECT_EQ(reg.text(platform::HKEY_CLASSES_ROOT, "Wow6432Node\\CLSID\\" + last + "\\InprocServer32", ""), value);
    } else {
      EXPECT_TRUE(reg.valueExists(root, parent, last));
    }
    ASSERT_FALSE(guess.empty());
    if (guess.starts_with("\\\\"))
      continue;
    const std::string system = "c:\\windows\\system32\\";
    std::string lowered = guess;
    for (char &c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lowered.starts_with(system)) {
      ++redirected;
      EXPECT_FALSE(existsOnDrive(prefix, "C:\\windows\\syswow64\\" + lowered.substr(system.size())));
      EXPECT_TRUE(existsOnDrive(prefix, guess)) << "the 64-bit system folder holds the file";
    } else {
      EXPECT_FALSE(existsOnDrive(prefix, guess));
    }
  }
  EXPECT_GT(redirected, 0u);
}

TEST(Wow64Prefix, A32BitPrefixHasOneView) {
  TempFolder folder;
  ASSERT_TRUE(generatePrefix(folder / "win64", options(PrefixArch::Win64)));
  ASSERT_TRUE(generatePrefix(folder / "win32", options(PrefixArch::Win32)));
  for (const char *file : {"system.reg", "user.reg", "userdef.reg"}) {
    std::string text = readWholeFile(folder / ("win32/" + std::string(file)));
    EXPECT_NE(text.find("\n#arch=win32\n"), std::string::npos) << file;
    EXPECT_EQ(text.find("Wow6432Node"), std::string::npos) << file;
    // Apart from its #arch line, the same registry as the 64-bit prefix without a 32-bit half.
    text.replace(text.find("#arch=win32"), 11, "#arch=win64");
    EXPECT_EQ(text, readWholeFile(folder / ("win64/" + std::string(file)))) << file;
  }
  EXPECT_EQ(readWholeFile(folder / "win32/expected-errors.tsv"), readWholeFile(folder / "win64/expected-errors.tsv"));
  EXPECT_FALSE(fs::exists(folder / "win32/drive_c/windows/syswow64"));
  EXPECT_NE(readWholeFile(folder / ("win32/" + std::string(OptionsFileName))).find("arch=win32\n"), std::string::npos);
  EXPECT_EQ(readWholeFile(folder / ("win64/" + std::string(OptionsFileName))).find("arch="), std::string::npos)
      << "the default architecture leaves earlier records valid";
}

TEST(Wow64Prefix, CommandLineChoosesTheArchitecture) {
  EXPECT_EQ(parseCommandLine({"dir", "--arch", "wow64"}).options.arch, PrefixArch::Win64With32Bit);
  EXPECT_EQ(parseCommandLine({"dir", "--arch", "win32"}).options.arch, PrefixArch::Win32);
  EXPECT_EQ(parseCommandLine({"dir"}).options.arch, PrefixArch::Win64);
  const CommandLine bad = parseCommandLine({"dir", "--arch", "arm"});
  EXPECT_EQ(bad.action, CommandLine::Action::Error);
  EXPECT_NE(bad.error.find("'arm'"), std::string::npos) << bad.error;
}

} // namespace
} // namespace tw::generator
