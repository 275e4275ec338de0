#include "tools/Toolbar_Unit.h"

#include "RepairTestMachine.h"

#include "lists/CheckableList.h"

#include <gtest/gtest.h>

namespace tw::tools {
namespace {

/// Every row as "Name|Type|Registry Entries|Path", first to last.
std::vector<std::string> rowsOf(const lists::CheckableList &list) {
  std::vector<std::string> rows;
  for (int i = 0; i < list.count(); ++i) {
    const lists::Row &row = list.row(i);
    rows.push_back(row.caption + "|" + row.subItem(AddonTypeSubItem) + "|" +
                   row.subItem(AddonEntriesSubItem) + "|" + row.subItem(AddonPathSubItem));
  }
  return rows;
}

class AddonScanTest : public ::testing::Test {
protected:
  test::RepairTestMachine machine;
  lists::CheckableList addons{/*sorted=*/true};

  void SetUp() override {
    machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Toolbar]
"{00000000-0000-0000-0000-0000000000a1}"=""
"{00000000-0000-0000-0000-0000000000a2}"=""
"NotAToolbar"=""
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Toolbar\WebBrowser]
@="default values give no row"
"ITBarLayout"=hex:01,02
"{00000000-0000-0000-0000-0000000000b1}"=hex:01
"{00000000-0000-0000-0000-0000000000b2}"=hex:01
"{00000000-0000-0000-0000-0000000000b3}"=hex:01
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Ext\Stats\{00000000-0000-0000-0000-0000000000c1}\iexplore]
"Count"=dword:00000001
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Ext\Stats\{00000000-0000-0000-0000-0000000000c2}]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Ext\Stats\{00000000-0000-0000-0000-0000000000c3}]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Ext\Stats\{00000000-0000-0000-0000-0000000000c4}]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Explorer Bars\{00000000-0000-0000-0000-0000000000d1}]
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Explorer Bars\{00000000-0000-0000-0000-0000000000d2}]
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\MenuExt\E&xport to Foo]
@="C:\\Program Files\\Foo\\menu.htm"
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer]
"DownloadUI"="{00000000-0000-0000-0000-0000000000e1}"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000a1}]
@="Foo &Toolbar"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000a1}\InprocServer32]
@="C:\\foo\\footb.exe"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000b1}]
@="&Links"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000b1}\InProcServer32]
@="C:\\windows\\system32\\shdocvw.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000b2}]
@="&&"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000c1}]
@="Helper"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000c1}\InprocServer32]
@="C:\\Helper\\HELPER.DLL"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000c2}]
@="Quoted"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000c2}\InprocServer32]
@="\"C:\\Quoted\\quoted.dll\""
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000c3}]
@="Program"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000c3}\InprocServer32]
@="C:\\Program\\program.exe"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000d1}]
@="Search Bar"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000d1}\InprocServer32]
@="C:\\windows\\system32\\SHDOCVW.DLL"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000d2}]
@="Research"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000d2}\InprocServer32]
@="C:\\Research\\bar.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000e1}]
@="Fetcher Download Manager"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000e1}\InprocServer32]
@="C:\\Fetcher\\fetch.dll"
)");
  }
};

TEST_F(AddonScanTest, ListsEveryKindSortedByName) {
  ASSERT_TRUE(ScanAddons(addons, {}));
  EXPECT_EQ(rowsOf(addons),
            (std::vector<std::string>{
                "(Unknown) Toolbar|Toolbar ALL USER|{00000000-0000-0000-0000-0000000000a2}|",
                "(Unknown) Toolbar|Toolbar CURRENT USER|{00000000-0000-0000-0000-0000000000b3}|",
                "Export to Foo|Menu Extensions|HKEY_CURRENT_USER\\Software\\Microsoft\\Internet "
                "Explorer\\MenuExt|C:\\Program Files\\Foo\\menu.htm",
                "Fetcher Download Manager|Download Handler|{00000000-0000-0000-0000-0000000000e1}|C:\\Fetcher\\fetch.dll",
                "Foo Toolbar Toolbar|Toolbar ALL USER|{00000000-0000-0000-0000-0000000000a1}|C:\\foo\\footb.exe",
                "Helper|Browser Extensions|{00000000-0000-0000-0000-0000000000c1}|C:\\Helper\\HELPER.DLL",
                "Links Toolbar|Toolbar CURRENT USER|{00000000-0000-0000-0000-0000000000b1}|C:\\windows\\system32\\shdocvw.dll",
                "Research|Exp. CURRENT USER|{00000000-0000-0000-0000-0000000000d2}|C:\\Research\\bar.dll",
                "Search Bar|Exp. ALL USER|{00000000-0000-0000-0000-0000000000d1}|C:\\windows\\system32\\SHDOCVW.DLL",
                "Unknown Toolbar Toolbar|Toolbar CURRENT USER|{00000000-0000-0000-0000-0000000000b2}|",
            }));
  for (int i = 0; i < addons.count(); ++i) EXPECT_FALSE(addons.row(i).checked);
  // The exact sub-key name of the menu extension stays with its row.
  EXPECT_EQ(addons.row(2).data, "E&xport to Foo");
}

TEST_F(AddonScanTest, DisplayBoxesChooseTheKinds) {
  AddonKinds kinds;
  kinds.toolbars = false;
  kinds.explorerBars = false;
  kinds.menuExtensions = false;
  ASSERT_TRUE(ScanAddons(addons, kinds));
  EXPECT_EQ(addons.count(), 2); // the extension and the download handler
  addons.setAllChecked(true);
  ASSERT_TRUE(ScanAddons(addons, {}));
  EXPECT_EQ(addons.count(), 10);
  EXPECT_TRUE(addons.checkedRows().empty());

  machine.importReg(R"([HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer]
"DownloadUI"="  "
)");
  kinds = {false, false, true, false, false};
  ASSERT_TRUE(ScanAddons(addons, kinds));
  EXPECT_EQ(addons.count(), 0) << "a blank DownloadUI gives no row";
}

TEST_F(AddonScanTest, ReadValueTextOfEveryKind) {
  machine.importReg(R"([HKEY_CURRENT_USER\Software\Values]
"s"="text"
"x"=hex(2):25,00,41,00,25,00,00,00
"n"=dword:ffffffff
"b"=hex:01,ab,7f
"e"=hex:
"m"=hex(7):61,00,00,00,00,00
)");
  const std::string key = "\\Software\\Values";
  EXPECT_EQ(ReadValueText(HKEY_CURRENT_USER, key, "s"), "text");
  EXPECT_EQ(ReadValueText(HKEY_CURRENT_USER, key, "x"), "%A%");
  EXPECT_EQ(ReadValueText(HKEY_CURRENT_USER, key, "n"), "-1");
  EXPECT_EQ(ReadValueText(HKEY_CURRENT_USER, key, "b"), "01,AB,7F");
  EXPECT_EQ(ReadValueText(HKEY_CURRENT_USER, key, "e"), "");
  EXPECT_EQ(ReadValueText(HKEY_CURRENT_USER, key, "m"), "");
  EXPECT_EQ(ReadValueText(HKEY_CURRENT_USER, key, "missing"), "");
  EXPECT_EQ(ReadValueText(HKEY_CURRENT_USER, "\\Software\\Nowhere", "s"), "");
  EXPECT_EQ(CleanAddonName("&&&"), "Unknown Toolbar");
  EXPECT_EQ(CleanAddonName("A&b&"), "Ab");
}

TEST_F(AddonScanTest, LongBinaryClassNameEndsTheScanButKeepsWhatWasFound) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += (i ? ",00" : "00");
  machine.importReg("[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-0000000000e1}]\n@=hex:" + bytes + "\n");
  addons.append({"stale", {}, false, -1});
  const repair::ActionResult result = ScanAddons(addons, {});
  EXPECT_EQ(result.status, repair::ActionResult::Status::RegistryRefused);
  EXPECT_EQ(result.message, "Invalid data type for ''");
  // Every kind before the download handler is listed; the stale row is gone.
  EXPECT_EQ(addons.count(), 9);
  for (int i = 0; i < addons.count(); ++i) EXPECT_NE(addons.row(i).caption, "stale");
}

TEST_F(AddonScanTest, RowsWithoutIdentityAreNotAdded) {
  AddAddonRow(addons, UserToolbarKind, "Name", " \t", "C:\\x.dll");
  EXPECT_TRUE(addons.isEmpty());
  AddAddonRow(addons, BrowserExtensionKind, " ", " {x} ", "p");
  ASSERT_EQ(addons.count(), 1);
  EXPECT_EQ(addons.row(0).caption, "(Unknown)");
  EXPECT_EQ(addons.row(0).subItem(AddonEntriesSubItem), " {x} ");
}

} // namespace
} // namespace tw::tools
