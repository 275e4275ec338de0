// The uninstall manager without a window: listing the uninstall keys sorted by display name,
// deleting exactly the checked entries, and starting uninstallers through Wine.

#include "tools/uAddRemove.h"

#include "RepairTestMachine.h"

#include "platform/RegistryApi.h"
#include "tests/support/SystemCalls.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tw::tools {
namespace {

namespace fs = std::filesystem;
using platform::HKEY_LOCAL_MACHINE;

const std::string Uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

constexpr const char *Entries = R"reg([HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\{B-GUID}]
"DisplayName"="banana Tools"
"UninstallString"="MsiExec.exe /X{B-GUID}"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Apple]
"DisplayName"="Apple"
"UninstallString"="\"C:\\Program Files\\Apple\\unins000.exe\""
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Apple\Sub]
"x"="y"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Apple2]
"DisplayName"="Apple"
"UninstallString"="C:\\apple2\\remove.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\NoName]
"UninstallString"="C:\\noname\\remove.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\EmptyName]
"DisplayName"=""
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\NoCommand]
"DisplayName"="apple pie"
[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Old32]
"DisplayName"="Cherry (32-bit)"
"UninstallString"="C:\\cherry\\uninst.exe /S"
)reg";

/// "caption|uninstall path|key" of every row.
std::vector<std::string> rowsOf(const lists::CheckableList &list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list.count(); ++i)
    texts.push_back(list.row(i).caption + "|" + list.row(i).subItem(UninstallPathSubItem) + "|" + list.row(i).data);
  return texts;
}

class UninstallTest : public ::testing::Test {
protected:
  test::RepairTestMachine machine;
  lists::CheckableList list{/*sorted=*/true};

  void SetUp() override { machine.importReg(Entries); }
};

TEST_F(UninstallTest, ListsNamedEntriesSortedByDisplayName) {
  ASSERT_TRUE(ListUninstallEntries(list));
  EXPECT_EQ(rowsOf(list), (std::vector<std::string>{
                              "Apple|\"C:\\Program Files\\Apple\\unins000.exe\"|" + Uninstall + "\\Apple",
                              "Apple|C:\\apple2\\remove.exe|" + Uninstall + "\\Apple2",
                              "apple pie||" + Uninstall + "\\NoCommand",
                              "banana Tools|MsiExec.exe /X{B-GUID}|" + Uninstall + "\\{B-GUID}",
                              "Cherry (32-bit)|C:\\cherry\\uninst.exe /S|Software\\Wow6432Node\\Microsoft\\Windows\\"
                              "CurrentVersion\\Uninstall\\Old32",
                          }));
  EXPECT_TRUE(list.checkedRows().empty());
}

TEST_F(UninstallTest, MissingUninstallKeyLeavesTheListAsItIs) {
  list.append({"kept", {"x"}, true, -1, "k"});
  machine.importReg("[-HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\n");
  EXPECT_TRUE(ListUninstallEntries(list));
  ASSERT_EQ(list.count(), 1);
  EXPECT_EQ(list.row(0).caption, "kept");
}

TEST_F(UninstallTest, DisplayNameThatIsNotTextStopsTheListing) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Number]
"DisplayName"=dword:00000001
)");
  repair::ActionResult result = ListUninstallEntries(list);
  EXPECT_FALSE(result);
  EXPECT_EQ(result.message, "Invalid data type for 'DisplayName'");
  EXPECT_EQ(list.count(), 3); // Apple, Apple2 and NoCommand come before Number in the key
}

TEST_F(UninstallTest, DeleteRemovesExactlyTheCheckedEntriesOfOneDisplayName) {
  ASSERT_TRUE(ListUninstallEntries(list));
  list.setChecked(1, true); // the second "Apple"
  list.setChecked(4, true); // the 32-bit entry
  repair::ActionResult result = DeleteCheckedUninstallEntries(list);
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 2);
  EXPECT_TRUE(machine.keyExists(HKEY_LOCAL_MACHINE, Uninstall + "\\Apple\\Sub"));
  EXPECT_FALSE(machine.keyExists(HKEY_LOCAL_MACHINE, Uninstall + "\\Apple2"));
  EXPECT_FALSE(machine.keyExists(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Old32"));
  EXPECT_TRUE(machine.keyExists(HKEY_LOCAL_MACHINE, Uninstall + "\\NoName"));
  EXPECT_EQ(list.count(), 3);
  EXPECT_TRUE(list.checkedRows().empty());
}

TEST_F(UninstallTest, RowsNamingAnythingButOneEntryDeleteNothing) {
  const auto before = machine.dump(HKEY_LOCAL_MACHINE, "Software");
  for (std::string key : {Uninstall, Uninstall + "\\", Uninstall + "\\Apple\\Sub", std::string("Software\\Microsoft"),
                          Uninstall + "x\\Apple", std::string()})
    list.append({"row", {""}, true, -1, key});
  repair::ActionResult result = DeleteCheckedUninstallEntries(list);
  EXPECT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 0);
  EXPECT_EQ(machine.dump(HKEY_LOCAL_MACHINE, "Software"), before);
}

TEST_F(UninstallTest, RegistryThatCannotBeSavedDeletesNothing) {
  ASSERT_TRUE(ListUninstallEntries(list));
  list.setAllChecked(true);
  machine.setFlushFails(true);
  repair::ActionResult result = DeleteCheckedUninstallEntries(list);
  EXPECT_FALSE(result);
  EXPECT_EQ(result.status, repair::ActionResult::Status::RegistryNotSaved);
  EXPECT_EQ(result.count, 0);
  EXPECT_TRUE(machine.keyExists(HKEY_LOCAL_MACHINE, Uninstall + "\\Apple2"));
  EXPECT_EQ(list.count(), 5);
}

// Sets PATH to one folder for the lifetime of the object.
class ScopedPath {
public:
  explicit ScopedPath(const std::string &folder) : m_old(std::getenv("PATH") ? std::getenv("PATH") : "") {
    test::setEnvironment("PATH", folder);
  }
  ~ScopedPath() { test::setEnvironment("PATH", m_old); }
  ScopedPath(const ScopedPath &) = delete;
  ScopedPath &operator=(const ScopedPath &) = delete;

private:
  std::string m_old;
};

std::string readAll(const fs::path &path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool waitForFile(const fs::path &path) {
  for (int i = 0; i < 500; ++i) {
    if (fs::exists(path) && !readAll(path).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

class UninstallerStartTest : public UninstallTest {
protected:
  fs::path bin = fs::path(machine.folder()) / "bin";
  fs::path record = fs::path(machine.folder()) / "record.txt";

  void SetUp() override {
    UninstallTest::SetUp();
    fs::create_directories(bin);
    // A Windows program: its host file begins as executables do.
    for (const char *name : {"Program Files/Apple/unins000.exe", "apple2/remove.exe"}) {
      fs::path file = fs::path(machine.folder()) / "drive_c" / name;
      fs::create_directories(file.parent_path());
      std::ofstream(file, std::ios::binary) << "MZ not really a program";
    }
  }
  void installFakeWine() const {
    // Records each argument on a line of its own, and the prefix.
    std::ofstream(bin / "wine") << "#!/bin/sh\n{ for a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done;"
                                << " printf 'prefix:%s\\n' \"$WINEPREFIX\"; } >> '" << record.string() << "'\n";
    fs::permissions(bin / "wine", fs::perms::owner_all);
  }
};

TEST_F(UninstallerStartTest, WithoutWineNothingStartsAndTheUserIsTold) {
  ScopedPath path(bin.string());
  ASSERT_TRUE(ListUninstallEntries(list));
  list.setAllChecked(true);
  repair::ActionResult result = startCheckedUninstallers(list);
  EXPECT_FALSE(result);
  EXPECT_EQ(result.count, 0);
  EXPECT_NE(result.message.find("Starting uninstallers needs Wine"), std::string::npos) << result.message;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(UninstallerStartTest, CheckedUninstallersStartThroughWineInThePrefix) {
  installFakeWine();
  ScopedPath path(bin.string());
  ASSERT_TRUE(ListUninstallEntries(list));
  list.setChecked(2, true); // "apple pie": no command, starts nothing
  list.setChecked(0, true); // Apple
  repair::ActionResult result = startCheckedUninstallers(list);
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 1);
  ASSERT_TRUE(waitForFile(record));
  EXPECT_EQ(readAll(record), "arg:C:\\Program Files\\Apple\\unins000.exe\nprefix:" + machine.folder() + "\n");

  list.setChecked(0, false);
  list.setChecked(3, true); // banana: MsiExec.exe is not in this prefix
  result = startCheckedUninstallers(list);
  EXPECT_FALSE(result);
  EXPECT_NE(result.message.find("\"banana Tools\" could not be started: MsiExec.exe /X{B-GUID}"), std::string::npos);
}

} // namespace
} // namespace tw::tools
