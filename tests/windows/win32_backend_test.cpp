// The Windows backend against the system it runs on (Wine, in the test run): the registry
// calls, files, system facts, child processes and the atomic save.
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "platform/OpenMachine.h"
#include "platform/Process.h"
#include "platform/RegistryApi.h"
#include "platform/RegistryView.h"
#include "platform/SystemInfo.h"
#include "platform/win32/WideText.h"

#include <gtest/gtest.h>

#include <cctype>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace tw::platform;

namespace {

// windows.h defines the root names as macros for its own handles; ours by value.
constexpr RegKey CurrentUser = 0x80000001u;
constexpr RegKey LocalMachine = 0x80000002u;

std::unique_ptr<Machine> openRunningSystem() {
  PrefixOpenResult result;
  auto machine = openMachine("", result);
  EXPECT_TRUE(result) << result.description();
  return machine;
}

std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// A folder name of its own below the temporary folder: Wine gives a program the same process id
// run after run, so the id alone could name what an earlier, interrupted run left behind.
std::string scratchFolder(Machine &machine, const std::string &tag) {
  return machine.system().tempPath() + "tidewell-" + tag + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(::GetTickCount64()) + "-" + std::to_string(std::random_device()());
}

// A key of its own below HKEY_CURRENT_USER, deleted with everything below it at the end.
class Win32RegistryTest : public ::testing::Test {
protected:
  std::unique_ptr<Machine> machine = openRunningSystem();
  RegistryApi &reg = machine->registry();
  std::string base = "Software\\TidewellWindowsTest-" + std::to_string(::GetCurrentProcessId());

  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, std::wstring(base.begin(), base.end()).c_str()); }

  RegKey create(const std::string &path) {
    RegKey key = 0;
    EXPECT_EQ(reg.createKey(CurrentUser, base + (path.empty() ? "" : "\\" + path), access::KeyAllAccess, key),
              error::Success)
        << path;
    return key;
  }
  void setText(RegKey key, const std::string &name, std::string_view text, std::uint32_t type = regtype::Sz) {
    EXPECT_EQ(reg.setValue(key, name, type, reinterpret_cast<const std::uint8_t *>(text.data()), text.size()),
              error::Success);
  }
};

TEST_F(Win32RegistryTest, TextCrossesAsUtf8AndIsStoredAsUtf16) {
  RegKey key = create("Text");
  setText(key, "Plain", "C:\\Program Files\\App\\app.exe");
  setText(key, "Accented \xC3\xA9t\xC3\xA9", "caf\xC3\xA9 \xE2\x82\xAC");
  setText(key, "Expand", "%SystemRoot%\\x.dll", regtype::ExpandSz);

  RegValue value;
  ASSERT_EQ(reg.queryValue(key, "Accented \xC3\xA9t\xC3\xA9", value), error::Success);
  EXPECT_EQ(value.type, regtype::Sz);
  EXPECT_EQ(value.data, bytesOf(std::string_view("caf\xC3\xA9 \xE2\x82\xAC\0", 10)));
  ASSERT_EQ(reg.queryValue(key, "Accented \xC3\xA9t\xC3\xA9", value, DataForm::Raw), error::Success);
  const std::vector<std::uint8_t> utf16 = {'c', 0, 'a', 0, 'f', 0, 0xE9, 0, ' ', 0, 0xAC, 0x20, 0, 0};
  EXPECT_EQ(value.data, utf16);

  ASSERT_EQ(reg.queryValue(key, "expand", value), error::Success) << "names compare without regard to case";
  EXPECT_EQ(value.type, regtype::ExpandSz);
  EXPECT_EQ(value.name, "expand");

  // The same as the Windows API hands a wide reader.
  HKEY raw = nullptr;
  std::wstring path(base.begin(), base.end());
  path += L"\\Text";
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &raw), ERROR_SUCCESS);
  wchar_t buffer[64] = {};
  DWORD size = sizeof buffer;
  ASSERT_EQ(::RegQueryValueExW(raw, L"Plain", nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size),
            ERROR_SUCCESS);
  ::RegCloseKey(raw);
  EXPECT_EQ(std::wstring(buffer), L"C:\\Program Files\\App\\app.exe");
}

TEST_F(Win32RegistryTest, EnumerationAndKeyInfoGiveNarrowLengths) {
  RegKey key = create("Info");
  RegKey child = create("Info\\b\xC3\xA9ta");
  reg.closeKey(child);
  reg.closeKey(create("Info\\alpha"));
  setText(key, "v\xC3\xA9", "\xE2\x82\xAC\xE2\x82\xAC");
  const std::uint8_t dword[4] = {7, 0, 0, 0};
  ASSERT_EQ(reg.setValue(key, "Count", regtype::Dword, dword, 4), error::Success);

  KeyInfo info;
  ASSERT_EQ(reg.queryInfoKey(key, info), error::Success);
  EXPECT_EQ(info.subKeyCount, 2u);
  EXPECT_EQ(info.valueCount, 2u);
  EXPECT_EQ(info.maxSubKeyNameLength, 5u) << "b\xC3\xA9ta is five bytes of UTF-8";
  EXPECT_EQ(info.maxValueNameLength, 5u) << "Count";
  EXPECT_EQ(info.maxValueDataLength, 7u) << "two euro signs and the terminating zero in UTF-8";

  std::vector<std::string> names;
  std::string name;
  for (std::uint32_t index = 0; reg.enumKey(key, index, name) == error::Success; ++index) names.push_back(name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "b\xC3\xA9ta"}));
  EXPECT_EQ(reg.enumKey(key, 2, name), error::NoMoreItems);

  RegValue value;
  ASSERT_EQ(reg.enumValue(key, 0, value), error::Success);
  EXPECT_EQ(reg.enumValue(key, 2, value), error::NoMoreItems);
}

TEST_F(Win32RegistryTest, LargeDataAndLongNamesAreReadWhole) {
  RegKey key = create("Large");
  std::string big(100000, 'x');
  setText(key, std::string(300, 'n'), big);
  RegValue value;
  ASSERT_EQ(reg.enumValue(key, 0, value), error::Success);
  EXPECT_EQ(value.name, std::string(300, 'n'));
  EXPECT_EQ(value.data.size(), big.size() + 1);
  ASSERT_EQ(reg.queryValue(key, std::string(300, 'n'), value, DataForm::Raw), error::Success);
  EXPECT_EQ(value.data.size(), (big.size() + 1) * 2);
}

TEST_F(Win32RegistryTest, FailuresAreWindowsErrorsAndLeaveResultsAlone) {
  RegKey key = create("Fail");
  reg.closeKey(create("Fail\\Child"));
  RegKey result = 0xDEADBEEF;
  EXPECT_EQ(reg.openKey(key, "Missing", access::KeyRead, result), error::FileNotFound);
  EXPECT_EQ(reg.openKey(0x1234, "Software", access::KeyRead, result), error::InvalidHandle);
  EXPECT_EQ(reg.openKey(0, "Software", access::KeyRead, result), error::InvalidHandle);
  EXPECT_EQ(result, 0xDEADBEEFu);

  RegValue value;
  EXPECT_EQ(reg.queryValue(key, "none", value), error::FileNotFound);
  EXPECT_EQ(reg.deleteValue(key, "none"), error::FileNotFound);
  EXPECT_EQ(reg.deleteKey(key, "Missing"), error::FileNotFound);
  EXPECT_EQ(reg.deleteKey(CurrentUser, base + "\\Fail"), error::AccessDenied) << "it has a sub-key";

  RegKey readOnly = 0;
  ASSERT_EQ(reg.openKey(key, "", access::KeyRead, readOnly), error::Success);
  EXPECT_EQ(reg.setValue(readOnly, "v", regtype::Sz, reinterpret_cast<const std::uint8_t *>("x"), 2),
            error::AccessDenied);
  EXPECT_EQ(reg.closeKey(readOnly), error::Success);
  EXPECT_EQ(reg.closeKey(readOnly), error::InvalidHandle) << "a closed handle is gone";
  EXPECT_EQ(reg.closeKey(LocalMachine), error::Success);
  EXPECT_EQ(reg.discardUnflushedChanges(), error::NotSupported) << "writes reach the system at once";
}

TEST_F(Win32RegistryTest, DeletedKeysAndValuesAreGone) {
  RegKey key = create("Gone");
  setText(key, "v", "1");
  reg.closeKey(create("Gone\\Leaf"));
  EXPECT_EQ(reg.deleteValue(key, "V"), error::Success);
  EXPECT_EQ(reg.deleteKey(key, "leaf"), error::Success);
  KeyInfo info;
  ASSERT_EQ(reg.queryInfoKey(key, info), error::Success);
  EXPECT_EQ(info.subKeyCount, 0u);
  EXPECT_EQ(info.valueCount, 0u);
  EXPECT_EQ(reg.flushKey(key), error::Success);
}

// Under Wine's 64-bit loader the prefix is 64-bit: the 32-bit programs' view is there, and
// keys tell where they are stored.
TEST_F(Win32RegistryTest, TheTwoViewsAndWhereKeysAreStored) {
  ASSERT_TRUE(reg.hasTwoViews());
  auto upper = [](std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string versionKey = "Software\\Microsoft\\Windows\\CurrentVersion";
  RegKey key = 0;
  ASSERT_EQ(reg.openKey(LocalMachine, versionKey, access::KeyRead | access::Wow64_32Key, key), error::Success);
  RegKey root = 0;
  std::string path;
  ASSERT_EQ(reg.storedKeyPath(key, root, path), error::Success);
  EXPECT_EQ(root, LocalMachine);
  EXPECT_EQ(upper(path), "SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION");
  RegValue value;
  ASSERT_EQ(reg.queryValue(key, "ProgramFilesDir", value), error::Success);
  EXPECT_STREQ(reinterpret_cast<const char *>(value.data.data()), "C:\\Program Files (x86)");
  reg.closeKey(key);

  // A key opened relative to one of the 32-bit view, with no view named, stays in that view.
  RegKey software = 0;
  ASSERT_EQ(reg.openKey(LocalMachine, "Software", access::KeyRead | access::Wow64_32Key, software), error::Success);
  ASSERT_EQ(reg.openKey(software, "Microsoft\\Windows\\CurrentVersion", access::KeyRead, key), error::Success);
  ASSERT_EQ(reg.storedKeyPath(key, root, path), error::Success);
  EXPECT_EQ(upper(path), "SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION");
  reg.closeKey(key);
  reg.closeKey(software);

  ASSERT_EQ(reg.openKey(LocalMachine, versionKey, access::KeyRead | access::Wow64_64Key, key), error::Success);
  ASSERT_EQ(reg.storedKeyPath(key, root, path), error::Success);
  EXPECT_EQ(upper(path), "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION");
  ASSERT_EQ(reg.queryValue(key, "ProgramFilesDir", value), error::Success);
  EXPECT_STREQ(reinterpret_cast<const char *>(value.data.data()), "C:\\Program Files");
  reg.closeKey(key);

  ASSERT_EQ(reg.openKey(0x80000000u, "CLSID", access::KeyRead | access::Wow64_32Key, key), error::Success);
  ASSERT_EQ(reg.storedKeyPath(key, root, path), error::Success);
  EXPECT_EQ(root, 0x80000000u);
  EXPECT_EQ(upper(path), "WOW6432NODE\\CLSID");
  reg.closeKey(key);
  ASSERT_EQ(reg.storedKeyPath(CurrentUser, root, path), error::Success);
  EXPECT_EQ(root, CurrentUser);
  EXPECT_EQ(path, "");
}

class Win32FilesTest : public ::testing::Test {
protected:
  std::unique_ptr<Machine> machine = openRunningSystem();
  FileSystem &files = machine->files();
  std::string folder = scratchFolder(*machine, "files");

  void SetUp() override { ASSERT_TRUE(files.createDirectory(folder)); }
  void TearDown() override {
    for (const char *name : {"a.txt", "NoDot", "b.TXT", "saved.xml"}) files.deleteFile(folder + "\\" + name);
    files.removeDirectory(folder + "\\Sub");
    files.removeDirectory(folder);
  }
  void touch(const std::string &name, const std::string &text = "x") {
    FILE *f = _wfopen(std::wstring(folder.begin(), folder.end()).append(L"\\").append(name.begin(), name.end()).c_str(), L"wb");
    ASSERT_NE(f, nullptr) << name;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
};

TEST_F(Win32FilesTest, ListsTestsAndDeletes) {
  touch("a.txt");
  touch("b.TXT");
  touch("NoDot");
  ASSERT_TRUE(files.createDirectory(folder + "\\Sub"));

  std::vector<std::string> txt;
  auto finder = files.findFiles(folder + "\\*.txt");
  while (auto found = finder->next()) txt.push_back(found->name);
  std::sort(txt.begin(), txt.end());
  EXPECT_EQ(txt, (std::vector<std::string>{"a.txt", "b.TXT"}));

  std::vector<std::string> all;
  finder = files.findFiles(folder + "\\*.*");
  while (auto found = finder->next())
    if (found->name != "." && found->name != "..") all.push_back(found->name);
  EXPECT_EQ(all.size(), 4u) << "*.* also matches names without a dot";

  EXPECT_TRUE(files.fileExists(folder + "\\A.TXT"));
  EXPECT_FALSE(files.fileExists(folder + "\\Sub"));
  EXPECT_TRUE(files.directoryExists(folder + "\\sub"));
  ASSERT_TRUE(files.attributes(folder + "\\Sub"));
  EXPECT_TRUE(*files.attributes(folder + "\\Sub") & fileattr::Directory);
  EXPECT_FALSE(files.attributes(folder + "\\missing"));
  EXPECT_EQ(files.hostPath(folder + "\\missing"), std::nullopt);
  EXPECT_TRUE(files.hostPath(folder + "\\missing", false));

  EXPECT_TRUE(files.deleteFile(folder + "\\a.txt"));
  EXPECT_FALSE(files.fileExists(folder + "\\a.txt"));
  EXPECT_FALSE(files.removeDirectory(folder)) << "not empty";
  EXPECT_TRUE(files.removeDirectory(folder + "\\Sub"));
  EXPECT_FALSE(files.findFiles(folder + "\\missing\\*.*")->next());
}

TEST_F(Win32FilesTest, DeleteFileInsideDeletesOnlyPlainFilesBelowTheFolder) {
  ASSERT_TRUE(files.createDirectory(folder + "\\Sub"));
  touch("Sub\\a.txt");
  touch("b.TXT");
  ::SetFileAttributesW(std::wstring(folder.begin(), folder.end()).append(L"\\b.TXT").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(files.deleteFileInside(folder + "\\Sub", folder + "\\b.TXT")) << "outside the folder";
  EXPECT_FALSE(files.deleteFileInside(folder + "\\Sub", folder + "\\Sub\\..\\b.TXT")) << "out through ..";
  EXPECT_FALSE(files.deleteFileInside(folder, folder + "\\b.TXT")) << "write-protected";
  EXPECT_FALSE(files.deleteFileInside(folder, folder + "\\Sub")) << "a folder";
  EXPECT_TRUE(files.fileExists(folder + "\\b.TXT"));
  EXPECT_TRUE(files.deleteFileInside(folder, folder + "\\SUB\\A.TXT"));
  EXPECT_FALSE(files.fileExists(folder + "\\Sub\\a.txt"));
  ::SetFileAttributesW(std::wstring(folder.begin(), folder.end()).append(L"\\b.TXT").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32FilesTest, CurrentFolderRoundTrips) {
  std::string before = files.currentDirectory();
  ASSERT_TRUE(files.setCurrentDirectory(folder));
  EXPECT_EQ(files.currentDirectory(), folder);
  EXPECT_FALSE(files.setCurrentDirectory(folder + "\\missing"));
  EXPECT_EQ(files.currentDirectory(), folder);
  ASSERT_TRUE(files.setCurrentDirectory(before));
}

TEST_F(Win32FilesTest, AtomicSaveReplacesWholeAndRefusesFolders) {
  std::string target = folder + "\\saved.xml";
  ASSERT_TRUE(saveFileAtomically(target, "first"));
  ASSERT_TRUE(saveFileAtomically(target, "second, longer"));
  auto finder = files.findFiles(folder + "\\*.*");
  std::vector<std::string> names;
  while (auto found = finder->next())
    if (found->name != "." && found->name != "..") names.push_back(found->name);
  EXPECT_EQ(names, (std::vector<std::string>{"saved.xml"})) << "no temporary file stays behind";
  EXPECT_EQ(files.attributes(target).has_value(), true);

  ASSERT_TRUE(files.createDirectory(folder + "\\Sub"));
  SaveResult refused = saveFileAtomically(folder + "\\Sub", "x");
  EXPECT_EQ(refused.status, SaveResult::Status::NotARegularFile);
  EXPECT_TRUE(files.directoryExists(folder + "\\Sub"));
}

// Each view has its own system folder, whichever the program's own bitness: a file put in the
// system's own system32 is there in the 64-bit view and not in the 32-bit one (syswow64).
TEST_F(Win32FilesTest, EachViewHasItsOwnSystemFolder) {
  const std::string windows = machine->system().windowsDirectory();
  // A 32-bit program reaches the system's own system32 through sysnative.
  const std::string nativeFolder = windows + (sizeof(void *) == 8 ? "\\system32" : "\\sysnative");
  const std::string probe = "tidewell-view-probe.txt";
  const std::wstring nativeProbe = win32::toWide(nativeFolder + "\\" + probe);
  FILE *f = _wfopen(nativeProbe.c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_TRUE(files.fileExists(windows + "\\system32\\" + probe));
  {
    ViewScope scope(ViewKind::Bits32);
    EXPECT_FALSE(files.fileExists(windows + "\\system32\\" + probe));
    EXPECT_TRUE(files.directoryExists(windows + "\\sysnative"));
    EXPECT_TRUE(files.directoryExists(windows + "\\system32"));
  }
  EXPECT_TRUE(files.deleteFile(windows + "\\system32\\" + probe));
  EXPECT_FALSE(files.fileExists(windows + "\\system32\\" + probe));
}

TEST(Win32System, FoldersAndVersionAreTheSystemOwn) {
  auto machine = openRunningSystem();
  const SystemInfo &system = machine->system();
  std::string systemDir = system.systemDirectory();
  ASSERT_GT(systemDir.size(), 3u);
  EXPECT_NE(systemDir.back(), '\\');
  EXPECT_TRUE(machine->files().directoryExists(systemDir));
  EXPECT_TRUE(machine->files().directoryExists(system.windowsDirectory()));
  ASSERT_FALSE(system.tempPath().empty());
  EXPECT_EQ(system.tempPath().back(), '\\');
  auto version = system.version();
  ASSERT_TRUE(version);
  EXPECT_EQ(version->platformId, 2u);
  std::string self = system.moduleFileName();
  EXPECT_TRUE(machine->files().fileExists(self)) << self;
  EXPECT_EQ(system.programFolder(), self.substr(0, self.find_last_of('\\') + 1));
}

TEST(Win32Processes, ChildrenRunHiddenInTheirFolderAndReportTheirExitCode) {
  auto machine = openRunningSystem();
  ProcessLauncher &processes = machine->processes();
  std::string cmd = machine->system().systemDirectory() + "\\cmd.exe";
  EXPECT_EQ(processes.runHiddenAndWait(cmd, "/c exit 7", ""), 7);
  EXPECT_EQ(processes.runHiddenAndWait("", "\"" + cmd + "\" /c exit 3", ""), 3);
  EXPECT_EQ(processes.runHiddenAndWait("C:\\no\\such\\program.exe", "", ""), std::nullopt);

  std::string folder = scratchFolder(*machine, "cwd");
  ASSERT_TRUE(machine->files().createDirectory(folder));
  EXPECT_EQ(processes.runHiddenAndWait(cmd, "/c echo here> made.txt", folder), 0);
  EXPECT_TRUE(machine->files().fileExists(folder + "\\made.txt")) << "the child ran in the folder it was given";
  machine->files().deleteFile(folder + "\\made.txt");
  machine->files().removeDirectory(folder);
}

TEST(Win32Machine, OpensTheRunningSystemAndNoPrefix) {
  PrefixOpenResult result;
  EXPECT_TRUE(openMachine("", result));
  EXPECT_EQ(result.description(), "opened the running system");
  EXPECT_EQ(openMachine("C:\\some\\prefix", result), nullptr);
  EXPECT_FALSE(result);
  EXPECT_NE(result.description().find("C:\\some\\prefix"), std::string::npos);
}

} // namespace
