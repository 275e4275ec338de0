// The scan's remembered file tests must answer exactly as the file system does, for every kind
// of path the registry holds, while reading each folder once.

#include "ScanTestSupport.h"

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "scan/ScanContext.h"

#include <fstream>

namespace fs = std::filesystem;
using namespace tw::scan;
using namespace tw::scan::test;

namespace {

class FileProbeTest : public ScanTest {
protected:
  void SetUp() override {
    ScanTest::SetUp();
    createFile("C:\\Apps\\Tool\\tool.exe");
    createFile("C:\\Apps\\Tool\\readme.TXT");
    createFolder("C:\\Apps\\Tool\\Data");
    createFile("C:\\Apps\\Mixed\\File.Dll");
#ifndef _WIN32
    // Names that differ in case only, which a Linux folder holds and a Windows one cannot; as a
    // Windows program the paths naming them find the one file and no folder, by either test.
    createFile("C:\\Apps\\Mixed\\file.dll");
    createFolder("C:\\Apps\\Mixed\\Sub");
#endif
    createFile("C:\\Apps\\Mixed\\SUB");
    createFile("C:\\Apps\\Mixed\\only.exe");
    createFile("C:\\Apps\\Caf\xC3\xA9\\x.exe");
    createFile("C:\\Apps\\Plain\\\xC3\x9C" "ber.exe");
    createFile("C:\\Apps\\Plain\\plain.exe");
    createFile("C:\\Apps\\Plain\\\xC4\xB1" "nfo.txt"); // a dotless i, which some case rules fold to I
    createFolder("C:\\Apps\\Empty");
    createFile("C:\\work\\rel.exe");
    createFile("C:\\work\\Sub Dir\\inner.dll");
#ifndef _WIN32
    // Links, which mingw's library cannot make on Windows: there the paths naming them are missing.
    fs::create_directory_symlink(hostPathOf("C:\\Apps\\Tool"), hostPathOf("C:\\Apps\\Link"));
    fs::create_symlink(hostPathOf("C:\\Apps\\nowhere.exe"), hostPathOf("C:\\Apps\\dangling.exe"));
#endif
    // Relative names resolve in the current folder, here C:\work.
    m_previous = fs::current_path();
    fs::current_path(hostPathOf("C:\\work"));
  }
  void TearDown() override {
    fs::current_path(m_previous);
    ScanTest::TearDown();
  }

  fs::path m_previous;
};

TEST_F(FileProbeTest, AnswersAsTheFileSystemDoes) {
  const char *paths[] = {
      // Plain paths, in every case.
      "C:\\Apps\\Tool\\tool.exe", "c:\\apps\\tool\\TOOL.EXE", "C:\\APPS\\TOOL\\Data",
      "C:\\Apps\\Tool\\data", "C:\\Apps\\Tool", "C:\\Apps", "C:\\Apps\\Tool\\missing.exe",
      "C:\\Apps\\Gone\\tool.exe", "C:\\Apps\\Tool\\tool.exe\\more", "C:\\Apps\\Tool\\readme.txt",
      "Q:\\Apps\\Tool\\tool.exe", "C:\\", "C:", "C:\\Apps\\Empty", "C:\\Apps\\Empty\\x",
      // Names that differ only in case on disk, a folder and a file among them.
      "C:\\Apps\\Mixed\\file.dll", "C:\\Apps\\Mixed\\FILE.DLL", "C:\\Apps\\Mixed\\File.Dll",
      "C:\\Apps\\Mixed\\sub", "C:\\Apps\\Mixed\\Sub", "C:\\Apps\\Mixed\\SUB",
      "C:\\Apps\\Mixed\\sub\\x", "C:\\Apps\\Mixed\\ONLY.exe",
      // Names beyond ASCII, in the path or beside it in the folder.
      "C:\\Apps\\Caf\xC3\xA9\\x.exe", "C:\\Apps\\CAF\xC3\x89\\X.EXE", "C:\\Apps\\Plain\\plain.exe",
      "C:\\Apps\\Plain\\\xC3\xBC" "ber.exe", "C:\\Apps\\Plain\\gone.exe",
      "C:\\Apps\\Plain\\INFO.TXT", "C:\\Apps\\Plain\\info.txt", "C:\\Apps\\Plain\\Info.txt\\x",
      // Links.
      "C:\\Apps\\Link\\tool.exe", "C:\\Apps\\link", "C:\\Apps\\dangling.exe",
      // Trailing dots and spaces, other separators, dots, doubled separators.
      "C:\\Apps\\Tool\\tool.exe.", "C:\\Apps\\Tool\\tool.exe ", "C:\\Apps\\Tool.\\tool.exe",
      "C:\\Apps\\Tool \\tool.exe", "C:\\Apps\\Gone.\\x", "C:\\Apps\\Tool\\...",
      "C:/Apps/Tool/tool.exe", "C:\\Apps\\Tool/Data", "C:\\Apps\\Tool\\..\\Tool\\tool.exe",
      "C:\\Apps\\.\\Tool\\tool.exe", "C:\\Apps\\\\Tool\\tool.exe", "C:\\Apps\\Tool\\",
      "C:\\Apps\\Tool\\Data\\",
      // Wildcards find the first match.
      "C:\\Apps\\Tool\\*.exe", "C:\\Apps\\Tool\\t??l.exe", "C:\\Apps\\Tool\\*.none", "C:\\Apps\\T*",
      // Command lines and quotes.
      "\"C:\\Apps\\Tool\\tool.exe\" /S", "C:\\Apps\\Tool\\tool.exe /S", "C:\\Apps\\Tool\\tool.exe,0",
      "C:\\Apps\\Tool\\tool.exe\t", "C:\\Apps\\<x>", "C:\\Apps\\a|b",
      // Relative names, from the current folder.
      "rel.exe", "REL.EXE", "Sub Dir\\inner.dll", "sub dir", "missing.exe", "Sub Dir\\..\\rel.exe",
      ".\\rel.exe", "..\\work\\rel.exe", "rel.exe /x", "%SystemRoot%\\system32\\x.dll",
      // Rooted on the current drive, network paths, empty text.
      "\\Apps\\Tool\\tool.exe", "\\\\server\\share\\x.exe", "",
  };
  const tw::platform::FileSystem &files = tw::platform::machine().files();
  FileProbe probe(files);
  // Twice each, so that remembered answers are checked as well as first ones.
  for (int round = 0; round < 2; ++round) {
    for (const char *path : paths) {
      EXPECT_EQ(probe.fileExists(path), files.fileExists(path)) << "file: [" << path << "]";
      EXPECT_EQ(probe.directoryExists(path), files.directoryExists(path)) << "folder: [" << path << "]";
    }
  }
}

TEST_F(FileProbeTest, ReadsEachFolderOnceWhateverTheCase) {
  FileProbe probe(tw::platform::machine().files());
  for (int i = 0; i < 200; ++i) {
    const std::string name = "C:\\APPS\\tool\\f" + std::to_string(i) + ".exe";
    EXPECT_FALSE(probe.fileExists(i % 2 ? name : "c:\\apps\\TOOL\\f" + std::to_string(i) + ".exe"));
  }
  EXPECT_TRUE(probe.fileExists("C:\\Apps\\Tool\\tool.exe"));
  // The drive root, C:\Apps and C:\Apps\Tool.
  EXPECT_EQ(probe.lookups(), 3u);
  // A folder that is gone costs nothing more: its parent's listing tells.
  for (int i = 0; i < 50; ++i)
    EXPECT_FALSE(probe.fileExists("C:\\Apps\\Gone" + std::to_string(i) + "\\deeper\\x.exe"));
  EXPECT_EQ(probe.lookups(), 3u);
}

TEST_F(FileProbeTest, GuessedPathsAreWorkedOutOncePerText) {
  createFile("C:\\Program Files\\Foo\\foo.exe");
  importReg(R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\foo.exe]
@="%ProgramFiles%\\Foo\\foo.exe"
)reg");
  FileProbe probe(tw::platform::machine().files());
  const std::string &first = probe.guessPath("%ProgramFiles%\\Foo\\foo.exe");
  EXPECT_EQ(first, "C:\\Program Files\\foo\\foo.exe");
  EXPECT_EQ(&probe.guessPath("%ProgramFiles%\\Foo\\foo.exe"), &first);
  EXPECT_FALSE(IsBrokenReference("%ProgramFiles%\\Foo\\foo.exe", probe));
  EXPECT_TRUE(IsBrokenReference("%ProgramFiles%\\Foo\\gone.exe", probe));
  EXPECT_FALSE(IsBrokenReference("", probe));
  EXPECT_FALSE(IsBrokenReference("C:\\Program Files\\Foo", probe));
  // The test without a scan's memory agrees.
  for (const char *text : {"%ProgramFiles%\\Foo\\foo.exe", "%ProgramFiles%\\Foo\\gone.exe", "",
                           "C:\\Program Files\\Foo", "\"C:\\Program Files\\Foo\\foo.exe\" /x"})
    EXPECT_EQ(IsBrokenReference(text), IsBrokenReference(text, probe)) << text;
}

} // namespace
