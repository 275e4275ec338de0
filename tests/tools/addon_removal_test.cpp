#include "tools/Toolbar_Unit.h"

#include "RepairTestMachine.h"

#include "lists/CheckableList.h"
#include "registry/XmlStore.h"
#include "repair/RestoreHistory.h"

#include <gtest/gtest.h>

namespace tw::tools {
namespace {

constexpr const char *Fixture = R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Toolbar]
"{00000000-0000-0000-0000-0000000000a1}"=""
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Toolbar\WebBrowser]
"{00000000-0000-0000-0000-0000000000b1}"=hex:01,02
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Ext\Stats\{00000000-0000-0000-0000-0000000000c1}\iexplore]
"Count"=dword:00000007
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Explorer Bars\{00000000-0000-0000-0000-0000000000d1}]
"BarSize"=hex:01
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Explorer Bars\{00000000-0000-0000-0000-0000000000d2}]
"BarSize"=hex:02
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\MenuExt\E&xport to Foo]
@="C:\\foo\\menu.htm"
"Contexts"=dword:00000022
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\MenuExt\Export to Foo]
@="C:\\other\\menu.htm"
[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer]
"DownloadUI"="{00000000-0000-0000-0000-0000000000e1}"
"Other"="stays"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000a1}]
@="Links"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000a1}\InprocServer32]
@="C:\\mine\\links.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000b1}]
@="&Links"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000b1}\InProcServer32]
@="C:\\windows\\system32\\shdocvw.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000c1}]
@="Helper"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000c1}\InprocServer32]
@="C:\\Helper\\helper.dll"
"ThreadingModel"="Apartment"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000d1}]
@="Search"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000d1}\InprocServer32]
@="D:\\Elsewhere\\SHDOCVW.DLL"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000d2}]
@="Research"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000d2}\InprocServer32]
@="C:\\Research\\bar.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000e1}]
@="Fetcher Download Manager"
[HKEY_CLASSES_ROOT\CLSID\{00000000-0000-0000-0000-0000000000e1}\InprocServer32]
@="C:\\Fetcher\\fetch.dll"
)";

constexpr std::uint32_t HKCR = HKEY_CLASSES_ROOT;
constexpr std::uint32_t HKCU = HKEY_CURRENT_USER;
constexpr std::uint32_t HKLM = HKEY_LOCAL_MACHINE;

class AddonRemovalTest : public ::testing::Test {
protected:
  test::RepairTestMachine machine;
  pugi::xml_document store;
  lists::CheckableList addons{/*sorted=*/true};
  std::string storePath;

  void SetUp() override {
    resetXmlDocument(store, UndoStoreRootName);
    storePath = machine.pathOf("Backup.xml");
    machine.importReg(Fixture);
    ASSERT_TRUE(ScanAddons(addons, {}));
  }

  /// Checks the row named `name` (of the kind `type`, when given).
  void check(const std::string &name, std::string_view type = {}) {
    for (int i = 0; i < addons.count(); ++i)
      if (addons.row(i).caption == name && (type.empty() || addons.row(i).subItem(AddonTypeSubItem) == type)) {
        addons.setChecked(i, true);
        return;
      }
    FAIL() << "no row " << name;
  }

  AddonRemovalResult remove() { return RemoveCheckedAddons({store, storePath}, addons); }

  /// Restores every record of the undo store as the history page does.
  void restoreAll() {
    lists::CheckableList history;
    ASSERT_TRUE(repair::refreshHistory(history, store));
    history.setAllChecked(true);
    ASSERT_TRUE(repair::restoreCheckedRecords(history, {store, storePath}));
  }

  std::vector<std::string> recordNames() {
    std::vector<std::string> names;
    for (const UndoRecord &r : listUndoRecords(store)) names.push_back(r.name + "|" + r.type + "|" + r.path);
    return names;
  }
};

TEST_F(AddonRemovalTest, NothingCheckedChangesNothing) {
  const auto before = machine.dump(HKLM, "Software");
  const AddonRemovalResult removal = remove();
  EXPECT_TRUE(removal.result);
  EXPECT_TRUE(removal.refusals.empty());
  EXPECT_TRUE(listUndoRecords(store).empty());
  EXPECT_FALSE(test::fileText(storePath)) << "nothing to record, nothing saved";
  EXPECT_EQ(machine.dump(HKLM, "Software"), before);
}

TEST_F(AddonRemovalTest, CurrentUserLinksToolbarIsRefusedWhileTheMachineOneGoes) {
  check("Links Toolbar", UserToolbarKind);
  check("Links Toolbar", MachineToolbarKind);
  const AddonRemovalResult removal = remove();
  ASSERT_TRUE(removal.result) << removal.result.message;
  EXPECT_EQ(removal.refusals, std::vector<std::string>{std::string(BuiltInToolbarRefusal)});
  // Two records, the refused one empty; both rows share the name, the later row is visited first.
  ASSERT_EQ(recordNames(), (std::vector<std::string>{
                               "Links Toolbar|Toolbar CURRENT USER|C:\\windows\\system32\\shdocvw.dll",
                               "Links Toolbar|Toolbar ALL USER|C:\\mine\\links.dll"}));
  EXPECT_TRUE(undoRecordAt(store, 0).children().empty());
  EXPECT_TRUE(machine.keyExists(HKCR, "CLSID\\{00000000-0000-0000-0000-0000000000b1}"));
  EXPECT_TRUE(machine.value(HKCU, "Software\\Microsoft\\Internet Explorer\\Toolbar\\WebBrowser",
                            "{00000000-0000-0000-0000-0000000000b1}"));
  EXPECT_FALSE(machine.keyExists(HKCR, "CLSID\\{00000000-0000-0000-0000-0000000000a1}"));
  EXPECT_FALSE(machine.value(HKLM, "Software\\Microsoft\\Internet Explorer\\Toolbar",
                             "{00000000-0000-0000-0000-0000000000a1}"));
  // Backup.xml on disk holds both records.
  const auto saved = test::fileText(storePath);
  ASSERT_TRUE(saved);
  EXPECT_NE(saved->find("C:\\\\mine\\\\links.dll"), std::string::npos);
}

TEST_F(AddonRemovalTest, SystemExplorerBarsAreRefusedInAnyCaseAndFolder) {
  check("Search");
  check("Research");
  const AddonRemovalResult removal = remove();
  ASSERT_TRUE(removal.result);
  EXPECT_EQ(removal.refusals, std::vector<std::string>{std::string(BuiltInExplorerBarRefusal)});
  EXPECT_TRUE(machine.keyExists(HKLM, "Software\\Microsoft\\Internet Explorer\\Explorer Bars\\{00000000-0000-0000-0000-0000000000d1}"));
  EXPECT_FALSE(machine.keyExists(HKLM, "Software\\Microsoft\\Internet Explorer\\Explorer Bars\\{00000000-0000-0000-0000-0000000000d2}"));
  EXPECT_FALSE(machine.keyExists(HKCR, "CLSID\\{00000000-0000-0000-0000-0000000000d2}"));
}

TEST_F(AddonRemovalTest, TwoRefusalsComeInReverseNameOrder) {
  check("Search");
  check("Links Toolbar", UserToolbarKind);
  const AddonRemovalResult removal = remove();
  EXPECT_EQ(removal.refusals, (std::vector<std::string>{std::string(BuiltInExplorerBarRefusal),
                                                        std::string(BuiltInToolbarRefusal)}));
  EXPECT_EQ(removal.result.count, 2);
}

TEST_F(AddonRemovalTest, DownloadHandlerAndExtensionComeBackFromTheHistory) {
  const auto classesBefore = machine.dump(HKCR, "CLSID");
  const auto statsBefore = machine.dump(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats");
  check("Fetcher Download Manager");
  check("Helper");
  ASSERT_TRUE(remove().result);
  EXPECT_FALSE(machine.keyExists(HKCR, "CLSID\\{00000000-0000-0000-0000-0000000000e1}"));
  EXPECT_FALSE(machine.value(HKCU, "Software\\Microsoft\\Internet Explorer", "DownloadUI"));
  EXPECT_TRUE(machine.value(HKCU, "Software\\Microsoft\\Internet Explorer", "Other"));
  EXPECT_FALSE(machine.keyExists(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\{00000000-0000-0000-0000-0000000000c1}"));
  EXPECT_FALSE(machine.keyExists(HKCR, "CLSID\\{00000000-0000-0000-0000-0000000000c1}"));

  restoreAll();
  EXPECT_EQ(machine.dump(HKCR, "CLSID"), classesBefore);
  EXPECT_EQ(machine.dump(HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats"), statsBefore);
  EXPECT_EQ(machine.value(HKCU, "Software\\Microsoft\\Internet Explorer", "DownloadUI"),
            std::make_pair(platform::regtype::Sz, test::textBytes("{00000000-0000-0000-0000-0000000000e1}")));
  ASSERT_TRUE(ScanAddons(addons, {}));
  EXPECT_EQ(addons.count(), 8);
}

TEST_F(AddonRemovalTest, MenuExtensionRemovesOnlyItsOwnSubKey) {
  const auto before = machine.dump(HKCU, "Software\\Microsoft\\Internet Explorer\\MenuExt");
  // Both sub-keys show as "Export to Foo"; the row of the one with "&" is the one with its page.
  for (int i = 0; i < addons.count(); ++i)
    if (addons.row(i).data == "E&xport to Foo") addons.setChecked(i, true);
  ASSERT_TRUE(remove().result);
  EXPECT_FALSE(machine.keyExists(HKCU, "Software\\Microsoft\\Internet Explorer\\MenuExt\\E&xport to Foo"));
  EXPECT_TRUE(machine.keyExists(HKCU, "Software\\Microsoft\\Internet Explorer\\MenuExt\\Export to Foo"));
  EXPECT_TRUE(machine.keyExists(HKCU, "Software\\Microsoft\\Internet Explorer\\MenuExt"));
  restoreAll();
  EXPECT_EQ(machine.dump(HKCU, "Software\\Microsoft\\Internet Explorer\\MenuExt"), before);
}

TEST_F(AddonRemovalTest, MenuExtensionWithoutItsNameIsFoundAgainOnlyWhenUnambiguous) {
  lists::CheckableList rows(/*sorted=*/true);
  rows.append({"Export to Foo", {std::string(MenuExtensionKind), std::string(MenuExtensionIdentity), ""}, true, -1});
  const auto before = machine.dump(HKCU, "Software\\Microsoft\\Internet Explorer\\MenuExt");
  ASSERT_TRUE(RemoveCheckedAddons({store, storePath}, rows).result);
  EXPECT_EQ(machine.dump(HKCU, "Software\\Microsoft\\Internet Explorer\\MenuExt"), before)
      << "two sub-keys show as that name: nothing is deleted";
}

TEST_F(AddonRemovalTest, UnsavedUndoStoreErasesNothing) {
  const auto before = machine.dump(HKCR, "CLSID");
  check("Helper");
  check("Fetcher Download Manager");
  const AddonRemovalResult removal = RemoveCheckedAddons({store, machine.unreachablePath()}, addons);
  EXPECT_EQ(removal.result.status, repair::ActionResult::Status::UndoStoreNotSaved);
  EXPECT_EQ(removal.result.count, 0);
  EXPECT_TRUE(listUndoRecords(store).empty());
  EXPECT_EQ(machine.dump(HKCR, "CLSID"), before);
  EXPECT_TRUE(machine.value(HKCU, "Software\\Microsoft\\Internet Explorer", "DownloadUI"));
}

TEST_F(AddonRemovalTest, OnARegistryThatWritesThroughNothingIsErasedBeforeItsRecordIsOnDisk) {
  machine.setWritesThrough(true);
  // Each deletion that reaches the registry, with the records Backup.xml holds on disk then.
  std::vector<std::pair<std::string, std::size_t>> erasures;
  machine.onErase([&](const std::string &what) {
    pugi::xml_document onDisk;
    erasures.emplace_back(what, loadXmlDocument(onDisk, storePath, UndoStoreRootName) ? listUndoRecords(onDisk).size() : 0);
  });
  const auto classesBefore = machine.dump(HKCR, "CLSID");
  check("Helper");
  check("Fetcher Download Manager");
  AddonRemovalResult removal = RemoveCheckedAddons({store, machine.unreachablePath()}, addons);
  EXPECT_EQ(removal.result.status, repair::ActionResult::Status::UndoStoreNotSaved);
  EXPECT_TRUE(erasures.empty());
  EXPECT_EQ(machine.dump(HKCR, "CLSID"), classesBefore);

  removal = remove();
  ASSERT_TRUE(removal.result) << removal.result.message;
  EXPECT_EQ(removal.result.count, 2);
  // Two class keys with a sub-key each, the Stats key with one, and DownloadUI.
  EXPECT_EQ(erasures.size(), 7u);
  for (const auto &[what, records] : erasures) EXPECT_EQ(records, 2u) << what;
  EXPECT_FALSE(machine.keyExists(HKCR, "CLSID\\{00000000-0000-0000-0000-0000000000c1}"));
  EXPECT_FALSE(machine.value(HKCU, "Software\\Microsoft\\Internet Explorer", "DownloadUI"));
  restoreAll();
  EXPECT_EQ(machine.dump(HKCR, "CLSID"), classesBefore);
}

TEST_F(AddonRemovalTest, ClassIdentifierWithABackslashDeletesNoOtherKey) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Toolbar]
"{00000000-0000-0000-0000-0000000000c1}\\InprocServer32"=""
)");
  ASSERT_TRUE(ScanAddons(addons, {}));
  for (int i = 0; i < addons.count(); ++i)
    if (addons.row(i).subItem(AddonEntriesSubItem).find("\\Inproc") != std::string::npos) addons.setChecked(i, true);
  ASSERT_EQ(addons.checkedRows().size(), 1u);
  ASSERT_TRUE(remove().result);
  EXPECT_TRUE(machine.keyExists(HKCR, "CLSID\\{00000000-0000-0000-0000-0000000000c1}\\InprocServer32"));
  EXPECT_FALSE(machine.value(HKLM, "Software\\Microsoft\\Internet Explorer\\Toolbar",
                             "{00000000-0000-0000-0000-0000000000c1}\\InprocServer32"));
}

} // namespace
} // namespace tw::tools
