// The listing pages on a 64-bit machine: the 32-bit programs' startup entries, uninstall entries
// and add-ons are listed beside the 64-bit ones, named where they are stored, and each page's
// actions work on that stored key.

#include "tools/Toolbar_Unit.h"
#include "tools/uAddRemove.h"
#include "tools/uStartup.h"

#include "RepairTestMachine.h"

#include "lists/CheckableList.h"
#include "registry/XmlStore.h"
#include "repair/RestoreHistory.h"

#include <gtest/gtest.h>

namespace tw::tools {
namespace {

constexpr std::uint32_t HKCR = HKEY_CLASSES_ROOT;
constexpr std::uint32_t HKLM = HKEY_LOCAL_MACHINE;

const std::string Run64 = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string Run32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";

constexpr const char *TwoHalves = R"reg([HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion]
"CurrentVersion"="6.1"
"CurrentBuildNumber"="7601"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run]
"Native"="C:\\native.exe"
[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run]
"Tray32"="C:\\Program Files (x86)\\Tray\\tray.exe"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"Mine"="C:\\mine.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Native]
"DisplayName"="Native tool"
[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Tray]
"DisplayName"="Tray (32-bit)"
"UninstallString"="C:\\Program Files (x86)\\Tray\\uninst.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Toolbar]
"{00000000-0000-0000-0000-000000000064}"=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Microsoft\Internet Explorer\Toolbar]
"{00000000-0000-0000-0000-000000000032}"=""
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-000000000064}]
@="Wide Bar"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-000000000064}\InprocServer32]
@="C:\\wide\\bar.dll"
[HKEY_CLASSES_ROOT\Wow6432Node\CLSID\{00000000-0000-0000-0000-000000000032}]
@="Narrow Bar"
[HKEY_CLASSES_ROOT\Wow6432Node\CLSID\{00000000-0000-0000-0000-000000000032}\InprocServer32]
@="C:\\Program Files (x86)\\narrow\\bar.dll"
)reg";

class ViewPages : public ::testing::Test {
protected:
  test::RepairTestMachine machine;
  void SetUp() override { machine.importReg(TwoHalves); }
  std::optional<std::string> text(std::uint32_t root, const std::string &key, const std::string &name) {
    auto v = machine.value(root, key, name);
    if (!v) return std::nullopt;
    return std::string(v->second.begin(), v->second.end() - 1);
  }
};

TEST_F(ViewPages, StartupListsThe32BitRunKeyWhereItIsStoredAndMovesItsEntriesThere) {
  lists::CheckableList list;
  StartupStates states;
  ASSERT_TRUE(fillStartupList(list, states, startupWindowsKind()));
  std::vector<std::string> rows;
  for (int i = 0; i < list.count(); ++i)
    rows.push_back(list.row(i).caption + "|" + list.row(i).subItem(StartupLocationSubItem));
  // The user's Run key is the same key in both views: listed once.
  EXPECT_EQ(rows, (std::vector<std::string>{"Native|HKLM\\" + Run64, "Tray32|HKLM\\" + Run32, "Mine|HKCU\\" + Run64}));

  list.setChecked(1, false);
  ASSERT_TRUE(applyStartupChanges(list, states, startupWindowsKind()));
  EXPECT_FALSE(text(HKLM, Run32, "Tray32"));
  EXPECT_EQ(text(HKLM, Run64, "Native"), "C:\\native.exe");
  const std::string record = "Software\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\Tray32";
  EXPECT_EQ(text(HKLM, record, "key"), Run32);

  ASSERT_TRUE(fillStartupList(list, states, startupWindowsKind()));
  ASSERT_EQ(list.count(), 3);
  EXPECT_EQ(list.row(2).caption, "Tray32");
  EXPECT_EQ(list.row(2).subItem(StartupLocationSubItem), "HKLM\\" + Run32);
  list.setChecked(2, true);
  ASSERT_TRUE(applyStartupChanges(list, states, startupWindowsKind()));
  EXPECT_EQ(text(HKLM, Run32, "Tray32"), "C:\\Program Files (x86)\\Tray\\tray.exe");
  EXPECT_FALSE(text(HKLM, Run64, "Tray32"));
}

TEST_F(ViewPages, UninstallListsBothHalvesAndDeletesTheStoredEntry) {
  lists::CheckableList list{/*sorted=*/true};
  ASSERT_TRUE(ListUninstallEntries(list));
  ASSERT_EQ(list.count(), 2);
  EXPECT_EQ(list.row(1).caption, "Tray (32-bit)");
  EXPECT_EQ(list.row(1).data, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tray");
  list.setChecked(1, true);
  ASSERT_TRUE(DeleteCheckedUninstallEntries(list));
  EXPECT_FALSE(machine.keyExists(HKLM, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tray"));
  EXPECT_TRUE(machine.keyExists(HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Native"));
  ASSERT_EQ(list.count(), 1);
}

TEST_F(ViewPages, AddOnsOfThe32BitHalfAreRemovedAndRestoredWhereTheyAreStored) {
  lists::CheckableList addons{/*sorted=*/true};
  ASSERT_TRUE(ScanAddons(addons, {}));
  ASSERT_EQ(addons.count(), 2);
  EXPECT_EQ(addons.row(0).caption, "Narrow Bar Toolbar");
  EXPECT_EQ(addons.row(0).subItem(AddonPathSubItem), "C:\\Program Files (x86)\\narrow\\bar.dll");
  EXPECT_EQ(addons.row(1).caption, "Wide Bar Toolbar");

  const auto wideBefore = machine.dump(HKCR, "CLSID");
  const auto narrowBefore = machine.dump(HKCR, "Wow6432Node\\CLSID");
  const auto toolbarsBefore = machine.dump(HKLM, "SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer\\Toolbar");
  pugi::xml_document store;
  resetXmlDocument(store, UndoStoreRootName);
  const std::string storePath = machine.pathOf("Backup.xml");
  addons.setChecked(0, true);
  ASSERT_TRUE(RemoveCheckedAddons({store, storePath}, addons).result);
  EXPECT_FALSE(machine.keyExists(HKCR, "Wow6432Node\\CLSID\\{00000000-0000-0000-0000-000000000032}"));
  EXPECT_FALSE(machine.value(HKLM, "SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer\\Toolbar",
                             "{00000000-0000-0000-0000-000000000032}"));
  EXPECT_EQ(machine.dump(HKCR, "CLSID"), wideBefore);

  lists::CheckableList history;
  ASSERT_TRUE(repair::refreshHistory(history, store));
  history.setAllChecked(true);
  ASSERT_TRUE(repair::restoreCheckedRecords(history, {store, storePath}));
  EXPECT_EQ(machine.dump(HKCR, "Wow6432Node\\CLSID"), narrowBefore);
  EXPECT_EQ(machine.dump(HKLM, "SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer\\Toolbar"), toolbarsBefore);
}

} // namespace
} // namespace tw::tools
