#include "registry/uUtils.h"

#include "registry/RegistryAccess.h"

#include "TestMachine.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using platform::VersionRecord;

/// A machine like the one the worked examples assume: system folder C:\WINDOWS\system32\,
/// program files folder C:\Program Files\.
class GuessPathTest : public ::testing::Test {
protected:
  test::TestMachine machine;

  void SetUp() override { setProgramFilesDir("C:\\Program Files"); }

  void setProgramFilesDir(std::string_view folder) {
    machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                        "ProgramFilesDir", platform::regtype::Sz, test::textBytes(folder));
  }
};

TEST_F(GuessPathTest, WorkedExamples) {
  EXPECT_EQ(GuessPath("\"C:\\Program Files\\Foo\\foo.exe\" /background"),
            "c:\\program files\\foo\\foo.exe");
  EXPECT_EQ(GuessPath("%SystemRoot%\\system32\\svchost.exe -k netsvcs"),
            "C:\\WINDOWS\\system32\\svchost.exe");
  EXPECT_EQ(GuessPath("%SystemRoot%\\explorer.exe"), "C:\\WINDOWS\\explorer.exe");
  EXPECT_EQ(GuessPath("%ProgramFiles%\\App\\app.exe"), "C:\\Program Files\\app\\app.exe");
  EXPECT_EQ(GuessPath("%SystemRoot%\\system32\\shell32.dll,-22"), "C:\\WINDOWS\\system32\\shell32.dll");
  EXPECT_EQ(GuessPath("C$"), "c:\\");
  EXPECT_EQ(GuessPath("\\\\Server\\Share\\Tool.exe /x"), "\\\\Server\\Share\\Tool.exe /x");
}

TEST_F(GuessPathTest, WorkedExamplesThatDependOnFiles) {
  EXPECT_EQ(GuessPath("rundll32.exe shell32.dll,Control_RunDLL"), "C:\\WINDOWS\\system32\\rundll32.exe");
  EXPECT_EQ(GuessPath("C:\\Foo\\icons,3"), "c:\\foo\\icons");
  EXPECT_EQ(GuessPath("notepad"), "C:\\WINDOWS\\system32\\notepad");
  EXPECT_EQ(GuessPath("c:\\program files\\app\\run me"), "c:\\program");

  machine.createFile("C:\\WINDOWS\\rundll32.exe");
  machine.createFile("C:\\Foo\\icons.exe");
  machine.createFile("C:\\WINDOWS\\system32\\notepad.exe");
  machine.createFile("C:\\program.exe");
  EXPECT_EQ(GuessPath("rundll32.exe shell32.dll,Control_RunDLL"), "C:\\WINDOWS\\rundll32.exe");
  EXPECT_EQ(GuessPath("C:\\Foo\\icons,3"), "c:\\foo\\icons.exe");
  EXPECT_EQ(GuessPath("notepad"), "C:\\WINDOWS\\system32\\notepad.exe");
  EXPECT_EQ(GuessPath("c:\\program files\\app\\run me"), "c:\\program.exe");
}

TEST_F(GuessPathTest, PlaceholdersAreFoundWhateverTheirCase) {
  EXPECT_EQ(GuessPath("%SYSTEMROOT%\\System32\\Drivers\\x.sys"), "C:\\WINDOWS\\system32\\drivers\\x.sys");
  EXPECT_EQ(GuessPath("C:\\\xC3\x84PFEL\\x.TXT \t\r\n"), "c:\\\xC3\x84pfel\\x.txt")
      << "only the letters A to Z are lower-cased; trailing blanks go";
  // The system folder comes from the platform, not from the Windows folder plus "system32".
  machine.setSystemDirectory("D:\\WINNT\\sys");
  EXPECT_EQ(GuessPath("%systemroot%\\system32\\a.dll"), "D:\\WINNT\\sys\\a.dll");
  EXPECT_EQ(GuessPath("%systemroot%\\a.dll"), "D:\\WINNT\\a.dll");
}

TEST_F(GuessPathTest, OnlyTheFirstOccurrenceCounts) {
  EXPECT_EQ(GuessPath("c:\\a.exe\\b.exe"), "c:\\a.exe");
  EXPECT_EQ(GuessPath("c:\\a.dll\\b.dll"), "c:\\a.dll");
  EXPECT_EQ(GuessPath("c:\\x\\a.txt,1,2"), "c:\\x\\a.txt");
  EXPECT_EQ(GuessPath("c:\\x\\a.txt /b /c"), "c:\\x\\a.txt");
  EXPECT_EQ(GuessPath("c:\\x\\tool one two"), "c:\\x\\tool");
  EXPECT_EQ(GuessPath("%systemroot%\\%systemroot%\\a.txt"), "C:\\WINDOWS\\%systemroot%\\a.txt");
}

TEST_F(GuessPathTest, RundllAlwaysGivesTheRundllProgram) {
  EXPECT_EQ(GuessPath("RUNDLL32 advpack.dll,LaunchINFSection c:\\x.inf"),
            "C:\\WINDOWS\\system32\\rundll32.exe");
  EXPECT_EQ(GuessPath("rundll32"), "C:\\WINDOWS\\system32\\rundll32.exe");
}

TEST_F(GuessPathTest, TextsThatLeaveNothing) {
  EXPECT_EQ(GuessPath(""), "");
  // Everything cut away by the switch or the quote: the remaining steps run on the empty text.
  EXPECT_EQ(GuessPath("/s"), "C:\\WINDOWS\\system32\\");
  EXPECT_EQ(GuessPath("\""), "C:\\WINDOWS\\system32\\");
  EXPECT_EQ(GuessPath("$"), ":\\") << "a bare $ is a share without a drive letter";
}

TEST_F(GuessPathTest, ProgramFilesFolderFromTheRegistry) {
  EXPECT_EQ(GetProgramFilesDir(), "C:\\Program Files\\");
  setProgramFilesDir("E:\\Apps\\");
  EXPECT_EQ(GetProgramFilesDir(), "E:\\Apps\\");
  setProgramFilesDir("");
  EXPECT_EQ(GetProgramFilesDir(), "");
  // Without the folder the placeholder is replaced by nothing, and the rest has no drive.
  EXPECT_EQ(GuessPath("%ProgramFiles%\\app\\app.exe"), "C:\\WINDOWS\\system32\\app\\app.exe");

  machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                      "ProgramFilesDir", platform::regtype::Dword, {1, 0, 0, 0});
  EXPECT_EQ(GetProgramFilesDir(), "") << "a number names no folder, and guessing never fails";
}

TEST_F(GuessPathTest, FoldersEndWithABackslash) {
  EXPECT_EQ(GetSystemDir(), "C:\\WINDOWS\\system32\\");
  EXPECT_EQ(GetWindowsDir(), "C:\\WINDOWS\\");
  machine.setSystemDirectory("D:\\WINNT\\system32\\");
  EXPECT_EQ(GetSystemDir(), "D:\\WINNT\\system32\\");
  EXPECT_EQ(GetWindowsDir(), "D:\\WINNT\\");
  machine.setSystemDirectory("C:\\");
  EXPECT_EQ(GetWindowsDir(), "C:\\");
  EXPECT_FALSE(GetTempDir().empty());
  EXPECT_EQ(GetTempDir().back(), '\\');
}

TEST(WindowsKindTest, ClassifiesTheVersionRecord) {
  const struct {
    std::optional<VersionRecord> version;
    int kind;
  } cases[] = {
      {VersionRecord{1, 4, 0, 950}, 1},   {VersionRecord{1, 4, 10, 1998}, 2}, {VersionRecord{1, 4, 90, 3000}, 3},
      {VersionRecord{1, 4, 20, 0}, 0},    {VersionRecord{1, 5, 0, 0}, 0},     {VersionRecord{2, 3, 51, 0}, 4},
      {VersionRecord{2, 4, 0, 1381}, 4},  {VersionRecord{2, 5, 0, 2195}, 5},  {VersionRecord{2, 5, 1, 2600}, 6},
      {VersionRecord{2, 5, 2, 3790}, 7},  {VersionRecord{2, 5, 3, 0}, 0},     {VersionRecord{2, 6, 1, 7601}, 0},
      {VersionRecord{0, 4, 0, 0}, 0},     {VersionRecord{3, 5, 1, 0}, 0},     {std::nullopt, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.version ? std::to_string(c.version->platformId) + " " +
                                 std::to_string(c.version->majorVersion) + "." +
                                 std::to_string(c.version->minorVersion)
                           : "no record");
    EXPECT_EQ(classifyWindowsVersion(c.version), c.kind);
  }
}

TEST_F(GuessPathTest, WindowsKindReadsTheVersionAfresh) {
  EXPECT_EQ(WindowsKind(), 6);
  machine.setVersion(VersionRecord{1, 4, 10, 0});
  EXPECT_EQ(WindowsKind(), 2);
  machine.setVersion(std::nullopt);
  EXPECT_EQ(WindowsKind(), 0);
}

TEST(TextHelpersTest, ReplaceFirstAndCutAtFirst) {
  EXPECT_EQ(ReplaceFirst("ab", "X", "cabab"), "cXab");
  EXPECT_EQ(ReplaceFirst("", "X", "abc"), "abc");
  EXPECT_EQ(CutAtFirst(",a,b", ","), "");
  EXPECT_EQ(CutAtFirst("abc", ""), "abc");
}

} // namespace
} // namespace tw
