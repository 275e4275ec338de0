// The scan body over the twelve groups, the error list's order and check marks, and the ignore
// test as AddScanError applies it during a scan.

#include "ScanTestSupport.h"

#include "scan/IgnoreIndex.h"
#include "scan/ScanGroups.h"
#include "scan/ScanLists.h"

#include <pugixml.hpp>

using namespace tw::scan;
using namespace tw::scan::test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using ScanRun = ScanTest;

// One broken entry for each of several groups, written so that the Uninstall group (found
// last) sorts before... nothing: it sorts last, and Application first, whatever the scan order.
constexpr const char *BrokenEverywhere = R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\gone.exe]
@="C:\\Gone\\gone.exe"
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\InprocServer32]
@="C:\\Gone\\com.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDlls]
"C:\\Gone\\shared.dll"=dword:00000001
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gone]
"UninstallString"="C:\\Gone\\uninst.exe"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.xyz]
)reg";

constexpr const char *UninstallKeyText =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gone\\"
    "UninstallString";

std::vector<std::string> captions(const tw::lists::CheckableList &list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list.count(); ++i) texts.push_back(list.row(i).caption);
  return texts;
}

TEST(ScanGroupList, RebuildGivesTheTwelveGroupsCheckedWithZeroCounts) {
  tw::lists::CheckableList groups;
  groups.append({"stale", {"9"}, false, 3});
  rebuildScanGroupList(groups);
  ASSERT_EQ(groups.count(), ScanGroupCount);
  EXPECT_EQ(groups.row(0).caption, "Application Path");
  EXPECT_EQ(groups.row(4).caption, "Most Recently Used List (MRU)");
  EXPECT_EQ(groups.row(11).caption, "File Extensions");
  for (int i = 0; i < groups.count(); ++i) {
    EXPECT_TRUE(groups.row(i).checked);
    EXPECT_EQ(groups.row(i).subItem(GroupCountSubItem), "0");
    EXPECT_EQ(groups.row(i).imageIndex, ScanGroupImage);
  }
  groups.setChecked(3, false);
  groups.setSubItem(3, GroupCountSubItem, "17");
  resetScanGroupCounts(groups);
  EXPECT_EQ(groups.row(3).subItem(GroupCountSubItem), "0");
  EXPECT_FALSE(groups.row(3).checked);
}

TEST_F(ScanRun, OnlyTheMruGroupOrNoGroupFindsNothing) {
  importReg(BrokenEverywhere);
  for (auto groups : {std::vector<ScanGroupIndex>{ScanGroupIndex::MostRecentlyUsed},
                      std::vector<ScanGroupIndex>{}}) {
    ScanRecord record = scan(groups);
    EXPECT_EQ(record.result.kind, ScanEndKind::Completed);
    EXPECT_EQ(record.errors.count(), 0);
    EXPECT_THAT(record.statusTexts, IsEmpty());
    EXPECT_THAT(record.countWrites, IsEmpty());
  }
}

TEST_F(ScanRun, RowsAreSortedByErrorTypeWhateverTheOrderFound) {
  importReg(BrokenEverywhere);
  ScanRecord record = scan({ScanGroupIndex::ApplicationPath, ScanGroupIndex::Clsid,
                            ScanGroupIndex::SharedDlls, ScanGroupIndex::Uninstall,
                            ScanGroupIndex::FileExtensions});
  EXPECT_EQ(record.result.kind, ScanEndKind::Completed);
  EXPECT_THAT(captions(record.errors), ElementsAre("Application", "COM/ActiveX", "File Extensions",
                                                   "Shared DLLs", "Uninstall"));
  EXPECT_THAT(record.countWrites, ElementsAre(0, 1, 6, 10, 11));
  for (int i = 0; i < record.errors.count(); ++i) EXPECT_TRUE(record.errors.row(i).checked);
}

TEST_F(ScanRun, GroupUncheckedDuringTheScanBeforeItsTurnIsSkipped) {
  importReg(BrokenEverywhere);
  ScanRecord record = scan({ScanGroupIndex::ApplicationPath, ScanGroupIndex::Uninstall},
                           [](ListScanSession &, ScanRecord &r) {
                             if (r.errors.count() == 1) r.groups.setChecked(10, false);
                           });
  EXPECT_THAT(captions(record.errors), ElementsAre("Application"));
  EXPECT_EQ(record.count(ScanGroupIndex::Uninstall), "0");
}

TEST_F(ScanRun, IgnoredErrorIsNeitherListedNorCounted) {
  importReg(BrokenEverywhere);
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Other]
"UninstallString"="C:\\Gone\\other.exe"
)reg");
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(
      "<IgnoreList><ERROR ROOT='HKEY_LOCAL_MACHINE' "
      "KEY='Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gone' "
      "VALUE='UninstallString'/></IgnoreList>"));
  m_ignore = std::make_shared<const IgnoreIndex>(IgnoreIndex::fromXml(document));
  ScanRecord record = scan({ScanGroupIndex::Uninstall});
  ASSERT_EQ(record.errors.count(), 1);
  EXPECT_EQ(record.errors.row(0).subItem(KeyNameSubItem),
            "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other\\"
            "UninstallString");
  EXPECT_EQ(record.count(ScanGroupIndex::Uninstall), "1");

  // The same entry in another letter case hides nothing.
  m_ignore = std::make_shared<const IgnoreIndex>(
      std::vector<IgnoreEntry>{{"HKEY_LOCAL_MACHINE",
                                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gone",
                                "UninstallString"}});
  EXPECT_EQ(scan({ScanGroupIndex::Uninstall}).count(ScanGroupIndex::Uninstall), "2");
}

TEST_F(ScanRun, IgnoreListChangedDuringTheScanAppliesToLaterErrors) {
  importReg(BrokenEverywhere);
  ScanRecord record = scan({ScanGroupIndex::ApplicationPath, ScanGroupIndex::Uninstall},
                           [this](ListScanSession &session, ScanRecord &r) {
                             if (r.errors.count() != 1) return;
                             session.setIgnoreList(std::make_shared<const IgnoreIndex>(
                                 std::vector<IgnoreEntry>{tw::scan::IgnoreEntry{
                                     "HKEY_LOCAL_MACHINE",
                                     "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gone",
                                     "UninstallString"}}));
                           });
  EXPECT_THAT(captions(record.errors), ElementsAre("Application"));
  EXPECT_EQ(record.count(ScanGroupIndex::Uninstall), "0");
  EXPECT_THAT(record.countWrites, ElementsAre(0, 10));
}

TEST_F(ScanRun, MalformedIgnoreEntryEndsTheScanAtTheFirstErrorNotHiddenBeforeIt) {
  importReg(BrokenEverywhere);
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(
      "<IgnoreList><ERROR ROOT='HKEY_LOCAL_MACHINE' "
      "KEY='SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths' VALUE='gone.exe'/>"
      "<ERROR ROOT='HKEY_CLASSES_ROOT' KEY='CLSID'/></IgnoreList>"));
  m_ignore = std::make_shared<const IgnoreIndex>(IgnoreIndex::fromXml(document, "ignore.xml"));
  ScanRecord record = scan({ScanGroupIndex::ApplicationPath, ScanGroupIndex::Clsid,
                            ScanGroupIndex::Uninstall});
  EXPECT_EQ(record.result.kind, ScanEndKind::Failed);
  EXPECT_EQ(record.result.failedGroup, 1);
  EXPECT_EQ(record.result.error, "ignore.xml: ignore list entry 2 <ERROR> has no VALUE attribute");
  EXPECT_EQ(record.errors.count(), 0);
  // The Application group ran to its end (its only error was hidden); nothing after CLSID ran.
  EXPECT_THAT(record.countWrites, ElementsAre(0));
}

TEST_F(ScanRun, StopBetweenGroupsEndsTheBody) {
  importReg(BrokenEverywhere);
  ScanRecord record = scan({ScanGroupIndex::ApplicationPath, ScanGroupIndex::SharedDlls},
                           [](ListScanSession &session, ScanRecord &r) {
                             if (!r.countWrites.empty()) session.requestStop();
                           });
  EXPECT_EQ(record.result.kind, ScanEndKind::Stopped);
  EXPECT_THAT(record.countWrites, ElementsAre(0));
  EXPECT_THAT(captions(record.errors), ElementsAre("Application"));
}

TEST(ScanRunTable, EveryGroupButMruHasAScanner) {
  for (const ScanGroup &group : ScanGroups) {
    const bool hasScanner = scannerFor(group.index) != nullptr;
    EXPECT_EQ(hasScanner, !group.errorType.empty()) << group.caption;
  }
}

} // namespace
