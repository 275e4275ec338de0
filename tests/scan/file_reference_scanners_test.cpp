// The seven file-reference scanners on small hand-made registries and drive C: folders.

#include "ScanTestSupport.h"

#include "registry/uUtils.h"
#include "scan/Scanners.h"

#include <chrono>
#include <filesystem>

using namespace tw::scan;
using namespace tw::scan::test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr const char *AppPathsKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
constexpr const char *UninstallKey =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string under(const char *key, std::string_view name) { return std::string(key) + "\\" + std::string(name); }

using FileReferenceScanners = ScanTest;

TEST_F(FileReferenceScanners, AppPathsReportOnlyReferencesToNothing) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\present.exe]
@="C:\\Tools\\present.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\expanded.exe]
@="%ProgramFiles%\\Foo\\foo.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\folder.exe]
@="C:\\Tools"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\nodefault.exe]
"Path"="C:\\Nowhere"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\gone.exe]
@="C:\\Gone\\gone.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\upper.exe]
@="C:\\TOOLS\\PRESENT.EXE"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\quoted.exe]
@="\"C:\\Gone Too\\app.exe\" /run"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\old.exe]
@="C:\\Tools\\old.exe"
)reg");
  createFile("C:\\Tools\\present.exe");
  createFile("C:\\Program Files\\Foo\\foo.exe");
  // A file exists whatever its last-write time, even one before 1980.
  createFile("C:\\Tools\\old.exe");
  std::filesystem::last_write_time(hostPathOf("C:\\Tools\\old.exe"),
                                   std::chrono::file_clock::from_sys(std::chrono::sys_seconds{}));

  ScanRecord record = runScanner(scanApplicationPaths);
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("Application", under(AppPathsKey, "gone.exe"),
                                  "C:\\Gone\\gone.exe", "c:\\gone\\gone.exe"),
                          rowText("Application", under(AppPathsKey, "quoted.exe"),
                                  "\"C:\\Gone Too\\app.exe\" /run", "c:\\gone too\\app.exe")));
  EXPECT_EQ(record.count(ScanGroupIndex::ApplicationPath), "2");
  // The status label follows the scan entry by entry, in the registry's order.
  EXPECT_EQ(record.statusTexts.size(), 8u);
  EXPECT_EQ(record.statusTexts.front(), under(AppPathsKey, "expanded.exe"));
  EXPECT_TRUE(record.errors.row(0).checked);
  EXPECT_EQ(record.errors.row(0).imageIndex, ErrorRowImage);
}

TEST_F(FileReferenceScanners, WrongValueTypeEndsTheScanWithRowsKeptAndCountUnwritten) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\a.exe]
@="C:\\Gone\\a.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\b.exe]
@=dword:00000001
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\c.exe]
@="C:\\Gone\\c.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gone]
"UninstallString"="C:\\Gone\\uninst.exe"
)reg");
  ScanRecord record = scan({ScanGroupIndex::ApplicationPath, ScanGroupIndex::Uninstall});
  EXPECT_EQ(record.result.kind, ScanEndKind::Failed);
  EXPECT_EQ(record.result.failedGroup, 0);
  EXPECT_EQ(record.result.error, "Invalid data type for ''");
  EXPECT_THAT(record.rows(), ElementsAre(rowText("Application", under(AppPathsKey, "a.exe"),
                                                 "C:\\Gone\\a.exe", "c:\\gone\\a.exe")));
  EXPECT_EQ(record.count(ScanGroupIndex::ApplicationPath), "0");
  EXPECT_EQ(record.count(ScanGroupIndex::Uninstall), "0");
}

TEST_F(FileReferenceScanners, HelpFilesJoinFolderAndNameInBothLocations) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\Help]
"a.hlp"="C:\\Docs"
"b.hlp"="C:\\Docs\\"
"c.hlp"=""
"d.hlp"=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\HTML Help]
"e.chm"="C:\\Docs"
)reg");
  createFile("C:\\Docs\\a.hlp");
  createFile("C:\\windows\\c.hlp"); // found through GuessPath in the Windows folder
  ScanRecord record = runScanner(scanHelpFiles);
  const std::string help = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\Help\\";
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("Help File", help + "b.hlp", "C:\\Docs\\b.hlp", "c:\\docs\\b.hlp"),
                          rowText("Help File", help + "d.hlp", "d.hlp", tw::GetSystemDir() + "d.hlp"),
                          rowText("Help File",
                                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\HTML Help\\e.chm",
                                  "C:\\Docs\\e.chm", "c:\\docs\\e.chm")));
  EXPECT_EQ(record.count(ScanGroupIndex::HelpPath), "3");
}

TEST_F(FileReferenceScanners, StopDuringFirstHelpWalkStillExaminesFirstEntryOfSecond) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\Help]
"b.hlp"="C:\\Docs"
"x.hlp"="C:\\Docs"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\HTML Help]
"e.chm"="C:\\Docs"
"f.chm"="C:\\Docs"
)reg");
  ScanRecord record = runScanner(scanHelpFiles, [](ListScanSession &session, ScanRecord &r) {
    if (r.errors.count() == 1) session.requestStop();
  });
  ASSERT_EQ(record.errors.count(), 2);
  EXPECT_EQ(record.errors.row(0).subItem(1), "C:\\Docs\\b.hlp");
  EXPECT_EQ(record.errors.row(1).subItem(1), "C:\\Docs\\e.chm");
  EXPECT_EQ(record.count(ScanGroupIndex::HelpPath), "2");
}

TEST_F(FileReferenceScanners, FontsByBareNameAreLookedForInTheStandardFontsFolder) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts]
"Arial (TrueType)"="arial.ttf"
"Gone (TrueType)"="gone.ttf"
"Elsewhere (TrueType)"="D:\\Fonts\\x.ttf"
"Empty"=""
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Fonts]
"Old 9x entry"="nine.ttf"
)reg");
  createFile("C:\\windows\\Fonts\\arial.ttf");
  ScanRecord record = runScanner(scanFontFiles);
  const std::string fonts =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\";
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("Font File", fonts + "Gone (TrueType)",
                                  "C:\\WINDOWS\\FONTS\\gone.ttf", "c:\\windows\\fonts\\gone.ttf"),
                          rowText("Font File", fonts + "Elsewhere (TrueType)", "D:\\Fonts\\x.ttf",
                                  "d:\\fonts\\x.ttf")));
  EXPECT_EQ(record.count(ScanGroupIndex::FontPath), "2");
}

TEST_F(FileReferenceScanners, FontCountIsWrittenAfterAStop) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts]
"One"="one.ttf"
"Two"="two.ttf"
)reg");
  ScanRecord record = runScanner(scanFontFiles, [](ListScanSession &session, ScanRecord &r) {
    if (r.errors.count() == 1) session.requestStop();
  });
  EXPECT_EQ(record.errors.count(), 1);
  EXPECT_EQ(record.count(ScanGroupIndex::FontPath), "1");
}

TEST_F(FileReferenceScanners, SharedDllsTestValueNamesAndNeverReadTheData) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDlls]
"C:\\WINDOWS\\System32\\present.dll"=dword:00000001
"C:\\Program Files\\Gone\\gone.dll"=dword:00000002
"C:\\Program Files\\Odd\\odd.dll"=hex:01,02
)reg");
  createFile("C:\\windows\\system32\\present.dll");
  createFile("C:\\Program Files\\Odd\\odd.dll");
  ScanRecord record = runScanner(scanSharedDlls);
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("Shared DLLs",
                                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                                  "SharedDlls\\C:\\Program Files\\Gone\\gone.dll",
                                  "C:\\Program Files\\Gone\\gone.dll",
                                  "c:\\program files\\gone\\gone.dll")));
  EXPECT_EQ(record.count(ScanGroupIndex::SharedDlls), "1");
}

TEST_F(FileReferenceScanners, SharesOfMissingDrivesAreReported) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Services\lanmanserver\Shares]
"Q$"="Path=Q:\\"
"C$"="Path=C:\\"
"Public"="Path=Q:\\Public"
"Q"="Path=Q:\\"
"QQ$"="Path=Q:\\"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Network\LanMan]
"R$"="9x share"
)reg");
  ScanRecord record = runScanner(scanSharedFolders);
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("Shared Folder",
                                  "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\"
                                  "lanmanserver\\Shares\\Q$",
                                  "Q$", "q:\\")));
  EXPECT_EQ(record.count(ScanGroupIndex::SharedFolder), "1");
}

TEST_F(FileReferenceScanners, EventSoundsExamineBothSchemesOfEveryEvent) {
  importReg(R"reg(
[HKEY_CURRENT_USER\AppEvents\Schemes\Apps\.Default\SystemStart\.Current]
@="C:\\Sounds\\start.wav"
[HKEY_CURRENT_USER\AppEvents\Schemes\Apps\.Default\SystemStart\.Default]
@="C:\\Sounds\\gone.wav"
[HKEY_CURRENT_USER\AppEvents\Schemes\Apps\.Default\SystemExit\.Current]
@=""
[HKEY_CURRENT_USER\AppEvents\Schemes\Apps\Explorer\Navigating\.Current]
@="gone2.wav"
[HKEY_CURRENT_USER\AppEvents\Schemes\Apps\Explorer\Navigating\.Modified]
@="C:\\Sounds\\other.wav"
[HKEY_CURRENT_USER\AppEvents\Schemes\Apps\NoEvents]
)reg");
  createFile("C:\\Sounds\\start.wav");
  ScanRecord record = runScanner(scanEventSounds);
  const std::string apps = "HKEY_CURRENT_USER\\AppEvents\\Schemes\\Apps\\";
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("Sound AppEvent", apps + ".Default\\SystemStart\\.Default",
                                  "C:\\Sounds\\gone.wav", "c:\\sounds\\gone.wav"),
                          rowText("Sound AppEvent", apps + "Explorer\\Navigating\\.Current",
                                  "gone2.wav", tw::GetSystemDir() + "gone2.wav")));
  EXPECT_EQ(record.count(ScanGroupIndex::SoundAndAppEvents), "2");
  // Both schemes of each event are shown, whether they exist or not.
  EXPECT_EQ(record.statusTexts.size(), 6u);
}

TEST_F(FileReferenceScanners, EventSoundsIgnoreAStopUntilComplete) {
  importReg(R"reg(
[HKEY_CURRENT_USER\AppEvents\Schemes\Apps\A\One\.Current]
@="C:\\Gone\\1.wav"
[HKEY_CURRENT_USER\AppEvents\Schemes\Apps\B\Two\.Current]
@="C:\\Gone\\2.wav"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gone]
"UninstallString"="C:\\Gone\\uninst.exe"
)reg");
  ScanRecord record = scan({ScanGroupIndex::SoundAndAppEvents, ScanGroupIndex::Uninstall},
                           [](ListScanSession &session, ScanRecord &r) {
                             if (r.errors.count() == 1) session.requestStop();
                           });
  EXPECT_EQ(record.result.kind, ScanEndKind::Stopped);
  EXPECT_EQ(record.errors.count(), 2);
  EXPECT_EQ(record.count(ScanGroupIndex::SoundAndAppEvents), "2");
  EXPECT_EQ(record.count(ScanGroupIndex::Uninstall), "0");
}

TEST_F(FileReferenceScanners, UninstallReportsTheCommandValue) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\{11111111-2222-3333-4444-555555555555}]
"UninstallString"="MsiExec.exe /X{11111111-2222-3333-4444-555555555555}"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gone]
"UninstallString"="\"C:\\Program Files\\Gone\\uninst.exe\" /S"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\NoCommand]
"DisplayName"="No command"
)reg");
  createFile("C:\\windows\\system32\\msiexec.exe");
  ScanRecord record = runScanner(scanUninstallCommands);
  EXPECT_THAT(record.rows(),
              ElementsAre(rowText("Uninstall", under(UninstallKey, "Gone\\UninstallString"),
                                  "\"C:\\Program Files\\Gone\\uninst.exe\" /S",
                                  "c:\\program files\\gone\\uninst.exe")));
  EXPECT_EQ(record.count(ScanGroupIndex::Uninstall), "1");
}

TEST_F(FileReferenceScanners, StopDuringUninstallKeepsRowsAndLeavesCountAtZero) {
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\A]
"UninstallString"="C:\\Gone\\a.exe"
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\B]
"UninstallString"="C:\\Gone\\b.exe"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.xyz]
)reg");
  ScanRecord record = scan({ScanGroupIndex::Uninstall, ScanGroupIndex::FileExtensions},
                           [](ListScanSession &session, ScanRecord &r) {
                             if (r.errors.count() == 1) session.requestStop();
                           });
  EXPECT_EQ(record.result.kind, ScanEndKind::Stopped);
  EXPECT_THAT(record.rows(), ElementsAre(rowText("Uninstall", under(UninstallKey, "A\\UninstallString"),
                                                 "C:\\Gone\\a.exe", "c:\\gone\\a.exe")));
  EXPECT_EQ(record.count(ScanGroupIndex::Uninstall), "0");
  EXPECT_EQ(record.count(ScanGroupIndex::FileExtensions), "0");
}

TEST_F(FileReferenceScanners, MissingLocationsEndScannersWithoutWritingTheirCount) {
  // Nothing but the base registry: every location is missing.
  for (ScannerFunction scanner : {scanApplicationPaths, scanSharedDlls, scanSharedFolders,
                                  scanEventSounds, scanUninstallCommands}) {
    ScanRecord record = runScanner(scanner);
    EXPECT_EQ(record.errors.count(), 0);
    EXPECT_THAT(record.countWrites, IsEmpty());
  }
  // The help and font scanners write their count even then.
  EXPECT_THAT(runScanner(scanHelpFiles).countWrites,
              ElementsAre(static_cast<int>(ScanGroupIndex::HelpPath)));
  EXPECT_THAT(runScanner(scanFontFiles).countWrites,
              ElementsAre(static_cast<int>(ScanGroupIndex::FontPath)));
}

} // namespace
