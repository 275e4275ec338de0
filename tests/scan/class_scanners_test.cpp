// The COM class, start-menu order, shell extension and file extension scanners.

#include "ScanTestSupport.h"

#include "registry/uUtils.h"
#include "scan/Scanners.h"

using namespace tw::scan;
using namespace tw::scan::test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using ClassScanners = ScanTest;

constexpr const char *Clsid = "HKEY_CLASSES_ROOT\\CLSID\\";

TEST_F(ClassScanners, ComClassesReportEachBrokenServerKey) {
  importReg(R"reg(
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\InprocServer32]
@="%SystemRoot%\\system32\\shell32.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000002-0000-0000-0000-000000000000}\DefaultIcon]
@="C:\\Gone\\app.exe,0"
[HKEY_CLASSES_ROOT\CLSID\{00000003-0000-0000-0000-000000000000}\PersistentHandler]
@="{00000001-0000-0000-0000-000000000000}"
[HKEY_CLASSES_ROOT\CLSID\NotAClassId\InprocServer32]
@="C:\\Gone\\plain.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000004-0000-0000-0000-000000000000}\InprocServer32]
@="C:\\Gone\\four.dll"
"ThreadingModel"="Both"
[HKEY_CLASSES_ROOT\CLSID\{00000004-0000-0000-0000-000000000000}\DefaultIcon]
@="C:\\Gone\\four.dll,-1"
[HKEY_CLASSES_ROOT\CLSID\{00000005-0000-0000-0000-000000000000}\LocalServer]
@="C:\\Gone\\five.exe /automation"
[HKEY_CLASSES_ROOT\CLSID\{00000006-0000-0000-0000-000000000000}]
@="A class without servers"
[HKEY_CLASSES_ROOT\CLSID\{00000007-0000-0000-0000-000000000000}\InprocServer32]
@="C:\\Program Files\\Seven"
)reg");
  createFile("C:\\windows\\system32\\shell32.dll");
  createFolder("C:\\Program Files\\Seven");
  ScanRecord record = runScanner(scanComClasses);
  const std::string four = std::string(Clsid) + "{00000004-0000-0000-0000-000000000000}";
  EXPECT_THAT(
      record.rows(),
      ElementsAre(rowText("COM/ActiveX", std::string(Clsid) + "{00000002-0000-0000-0000-000000000000}\\DefaultIcon",
                          "C:\\Gone\\app.exe,0", "c:\\gone\\app.exe"),
                  // Server keys in their fixed order: DefaultIcon before InprocServer32.
                  rowText("COM/ActiveX", four + "\\DefaultIcon", "C:\\Gone\\four.dll,-1",
                          "c:\\gone\\four.dll"),
                  rowText("COM/ActiveX", four + "\\InprocServer32", "C:\\Gone\\four.dll",
                          "c:\\gone\\four.dll"),
                  rowText("COM/ActiveX", std::string(Clsid) + "{00000005-0000-0000-0000-000000000000}\\LocalServer",
                          "C:\\Gone\\five.exe /automation", "c:\\gone\\five.exe")));
  EXPECT_EQ(record.count(ScanGroupIndex::Clsid), "4");
  // One status text per class, whatever it holds.
  EXPECT_EQ(record.statusTexts.size(), 8u);
}

TEST_F(ClassScanners, ComServerKeysAreFoundWhateverTheirCase) {
  // The key text names the server key as the scanner asks for it.
  importReg(R"reg(
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\defaulticon]
@="C:\\Gone\\icon.exe,1"
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\INPROCSERVER32]
@="C:\\Gone\\one.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\Implemented Categories]
)reg");
  ScanRecord record = runScanner(scanComClasses);
  const std::string one = std::string(Clsid) + "{00000001-0000-0000-0000-000000000000}";
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("COM/ActiveX", one + "\\DefaultIcon", "C:\\Gone\\icon.exe,1",
                                  "c:\\gone\\icon.exe"),
                          rowText("COM/ActiveX", one + "\\InprocServer32", "C:\\Gone\\one.dll",
                                  "c:\\gone\\one.dll")));
}

TEST_F(ClassScanners, ComClassValueOfWrongTypeFailsEvenOutsideBraces) {
  importReg(R"reg(
[HKEY_CLASSES_ROOT\CLSID\Plain\LocalServer32]
@=hex:00,01
)reg");
  EXPECT_THROW(runScanner(scanComClasses), std::exception);
}

TEST_F(ClassScanners, ComClassStopEndsAfterTheWholeClass) {
  importReg(R"reg(
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\LocalServer32]
@="C:\\Gone\\a.exe"
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\InprocServer32]
@="C:\\Gone\\a.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000002-0000-0000-0000-000000000000}\LocalServer32]
@="C:\\Gone\\b.exe"
)reg");
  ScanRecord record = runScanner(scanComClasses, [](ListScanSession &session, ScanRecord &r) {
    if (r.errors.count() == 1) session.requestStop();
  });
  EXPECT_EQ(record.errors.count(), 2);
  EXPECT_THAT(record.countWrites, IsEmpty());
}

TEST_F(ClassScanners, StartMenuEntriesWithoutSubKeysAreReported) {
  importReg(R"reg(
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu2\Programs\Games]
"Order"=hex:08,00
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu2\Programs\Tools]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu2\Programs\Tools\Sub]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\Programs\Old]
)reg");
  ScanRecord record = runScanner(scanStartMenuOrder);
  const std::string order =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\";
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("Start Menu", order + "Start Menu2\\Programs\\Games", "Games",
                                  "{null value}"),
                          rowText("Start Menu", order + "Start Menu\\Programs\\Old", "Old",
                                  "{null value}")));
  EXPECT_EQ(record.count(ScanGroupIndex::ObsoleteStartMenu), "2");
  EXPECT_THAT(record.statusTexts, IsEmpty());
}

TEST_F(ClassScanners, StartMenuSecondWalkRunsAfterAStop) {
  importReg(R"reg(
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu2\Programs\A]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu2\Programs\B]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\Programs\C]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\Programs\D]
)reg");
  ScanRecord record = runScanner(scanStartMenuOrder, [](ListScanSession &session, ScanRecord &r) {
    if (r.errors.count() == 1) session.requestStop();
  });
  ASSERT_EQ(record.errors.count(), 2);
  EXPECT_EQ(record.errors.row(0).subItem(1), "A");
  EXPECT_EQ(record.errors.row(1).subItem(1), "C");
  EXPECT_EQ(record.count(ScanGroupIndex::ObsoleteStartMenu), "2");
}

TEST_F(ClassScanners, ShellExtensionsNameTheApprovalUnderTheMachineRoot) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
"{00000001-0000-0000-0000-000000000000}"="Gone extension"
"{00000002-0000-0000-0000-000000000000}"="Present extension"
"{00000003-0000-0000-0000-000000000000}"="Approved, never registered"
"{00000004-0000-0000-0000-000000000000}"="Registered without a server"
[HKEY_CLASSES_ROOT\CLSID\{00000001-0000-0000-0000-000000000000}\InprocServer32]
@="C:\\Gone\\ext.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000002-0000-0000-0000-000000000000}\InprocServer32]
@="%SystemRoot%\\system32\\shell32.dll"
[HKEY_CLASSES_ROOT\CLSID\{00000004-0000-0000-0000-000000000000}]
@="No server"
)reg");
  createFile("C:\\windows\\system32\\shell32.dll");
  ScanRecord record = runScanner(scanShellExtensions);
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("Shell Extensions",
                                  "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                                  "Shell Extensions\\Approved\\{00000001-0000-0000-0000-000000000000}",
                                  "C:\\Gone\\ext.dll", "c:\\gone\\ext.dll")));
  EXPECT_EQ(record.count(ScanGroupIndex::ShellExtensions), "1");
}

TEST_F(ClassScanners, FileExtensionsWithoutAClassRootEntryAreReported) {
  importReg(R"reg(
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.xyz\OpenWithList]
"a"="gone.exe"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.txt]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.Doc]
[HKEY_CLASSES_ROOT\.txt]
@="txtfile"
[HKEY_CLASSES_ROOT\.doc]
)reg");
  ScanRecord record = runScanner(scanFileExtensions);
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("File Extensions",
                                  "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                                  "Explorer\\FileExts\\.xyz",
                                  "", "")));
  EXPECT_EQ(record.count(ScanGroupIndex::FileExtensions), "1");
}

} // namespace
