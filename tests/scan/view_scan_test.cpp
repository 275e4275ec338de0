// The scan of a 64-bit machine covers the 32-bit programs' half too: their registry view under
// Wow6432Node with their file view (system32 is syswow64, %ProgramFiles% the x86 folder).

#include "ScanTestSupport.h"

#include "platform/Machine.h"
#include "platform/MemoryRegistry.h"
#include "platform/RegistryApi.h"
#include "tests/support/ScratchMachine.h"
#include "registry/RegistryAccess.h"
#include "scan/Scanners.h"

#include <algorithm>

using namespace tw;
using namespace tw::scan;
using namespace tw::scan::test;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

constexpr const char *Uninstall64 = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char *Uninstall32 =
    "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// A 64-bit prefix's two halves: the 32-bit programs' folders and settings beside the 64-bit ones.
constexpr const char *TwoHalves = R"reg(
[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion]
"ProgramFilesDir"="C:\\Program Files (x86)"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gone64]
"UninstallString"="C:\\Gone64\\uninst.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Expanded64]
"UninstallString"="%ProgramFiles%\\Vendor\\uninst.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\System64]
"UninstallString"="C:\\windows\\system32\\only32.exe"
[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Gone32]
"UninstallString"="C:\\Gone32\\uninst.exe"
[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Expanded32]
"UninstallString"="%ProgramFiles%\\Vendor\\uninst.exe"
[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\System32]
"UninstallString"="C:\\windows\\system32\\only32.exe"
[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Catroot32]
"UninstallString"="C:\\windows\\system32\\catroot\\shared.cat"
)reg";

class ViewScan : public ScanTest {
protected:
  void SetUp() override {
    ScanTest::SetUp();
    importReg(TwoHalves);
    // The 32-bit program's files: in the x86 program folder and in syswow64.
    createFile("C:\\Program Files (x86)\\Vendor\\uninst.exe");
    createFile("C:\\windows\\syswow64\\only32.exe");
    createFile("C:\\windows\\system32\\catroot\\shared.cat");
  }
};

TEST_F(ViewScan, EachHalfIsTestedWithItsOwnFiles) {
  ScanRecord record = runScanner(scanUninstallCommands);
  EXPECT_THAT(record.rows(),
              UnorderedElementsAre(
                  rowText("Uninstall", std::string(Uninstall64) + "\\Expanded64\\UninstallString",
                          "%ProgramFiles%\\Vendor\\uninst.exe", "C:\\Program Files\\vendor\\uninst.exe"),
                  rowText("Uninstall", std::string(Uninstall64) + "\\Gone64\\UninstallString",
                          "C:\\Gone64\\uninst.exe", "c:\\gone64\\uninst.exe"),
                  rowText("Uninstall", std::string(Uninstall64) + "\\System64\\UninstallString",
                          "C:\\windows\\system32\\only32.exe", "c:\\windows\\system32\\only32.exe"),
                  rowText("Uninstall", std::string(Uninstall32) + "\\Gone32\\UninstallString",
                          "C:\\Gone32\\uninst.exe", "c:\\gone32\\uninst.exe")));
  // The count covers both halves and is written once, when the 32-bit half is done.
  EXPECT_EQ(record.count(ScanGroupIndex::Uninstall), "4");
  EXPECT_EQ(record.countWrites, std::vector<int>{static_cast<int>(ScanGroupIndex::Uninstall)});
}

TEST_F(ViewScan, ClassesOfThe32BitHalfNameTheirWow6432Node) {
  importReg(R"reg(
[HKEY_CLASSES_ROOT\CLSID\{11111111-0000-0000-0000-000000000064}\InprocServer32]
@="C:\\Gone\\sixtyfour.dll"
[HKEY_CLASSES_ROOT\Wow6432Node\CLSID\{11111111-0000-0000-0000-000000000032}\InprocServer32]
@="C:\\Gone\\thirtytwo.dll"
[HKEY_CLASSES_ROOT\Wow6432Node\CLSID\{11111111-0000-0000-0000-000000000033}\InprocServer32]
@="%SystemRoot%\\system32\\only32.exe"
)reg");
  ScanRecord record = runScanner(scanComClasses);
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("COM/ActiveX",
                                  "HKEY_CLASSES_ROOT\\CLSID\\{11111111-0000-0000-0000-000000000064}\\InprocServer32",
                                  "C:\\Gone\\sixtyfour.dll", "c:\\gone\\sixtyfour.dll"),
                          rowText("COM/ActiveX",
                                  "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{11111111-0000-0000-0000-000000000032}"
                                  "\\InprocServer32",
                                  "C:\\Gone\\thirtytwo.dll", "c:\\gone\\thirtytwo.dll")));
  EXPECT_EQ(record.count(ScanGroupIndex::Clsid), "2");
}

TEST_F(ViewScan, KeysBothHalvesShareAreReportedOnce) {
  // Without a Wow6432Node of its own, the classes' CLSID key is the one both halves see; the
  // user's settings are never redirected.
  importReg(R"reg(
[HKEY_CLASSES_ROOT\CLSID\{22222222-0000-0000-0000-000000000000}\LocalServer32]
@="C:\\Gone\\server.exe"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.nothing]
"Application"="x"
)reg");
  ScanRecord record = scan({ScanGroupIndex::Clsid, ScanGroupIndex::FileExtensions});
  EXPECT_EQ(record.rows().size(), 2u);
  EXPECT_EQ(record.count(ScanGroupIndex::Clsid), "1");
  EXPECT_EQ(record.count(ScanGroupIndex::FileExtensions), "1");
}

TEST_F(ViewScan, ARowOfThe32BitHalfNamesTheValueToErase) {
  ScanRecord record = runScanner(scanUninstallCommands);
  const std::string keyText = std::string(Uninstall32) + "\\Gone32\\UninstallString";
  const std::vector<std::string> rows = record.rows();
  ASSERT_NE(std::find(rows.begin(), rows.end(),
                      rowText("Uninstall", keyText, "C:\\Gone32\\uninst.exe", "c:\\gone32\\uninst.exe")),
            rows.end());
  // Fixing, the undo store and the ignore list take the row's key text apart and work on it
  // with no view: it names the stored value itself.
  DeleteRegValue(RootOfKeyText(keyText), KeyPathOfKeyText(keyText), LastNameOfKeyText(keyText));
  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenRegKey("\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gone32", false));
  EXPECT_EQ(registry.ValueSize("UninstallString"), -1);
  ScanRecord again = runScanner(scanUninstallCommands);
  EXPECT_EQ(again.rows().size(), rows.size() - 1);
  EXPECT_EQ(again.count(ScanGroupIndex::Uninstall), "3");
}

TEST_F(ViewScan, AThirtyTwoBitPrefixHasOneHalf) {
  platform::installMachine(
      tw::test::makeScratchMachine(m_prefix, platform::makeMemoryRegistry(platform::MemoryRegistryViews::One)));
  importReg(BaseRegistry);
  importReg(TwoHalves);
  ScanRecord record = runScanner(scanUninstallCommands);
  // Wow6432Node is just a key there, which no scanner walks; system32 is system32.
  EXPECT_EQ(record.count(ScanGroupIndex::Uninstall), "3");
  for (const std::string &row : record.rows()) EXPECT_EQ(row.find("Wow6432Node"), std::string::npos) << row;
}

} // namespace
