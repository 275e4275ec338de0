// The files of a Wine prefix as a Windows program sees them: drives, names in any case,
// listings with their attributes, existence, changes and the current folder.

#include "platform/files/WineFileSystem.h"
#include "platform/FileView.h"
#include "platform/RegistryView.h"

#include "TempPrefix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <vector>

namespace fs = std::filesystem;
using tw::platform::FoundFile;
using tw::platform::WineFileSystem;
namespace fileattr = tw::platform::fileattr;

namespace {

class WineFileSystemTest : public ::testing::Test {
protected:
  tw::test::TempPrefix prefix;
  WineFileSystem files{prefix.dir()};

  std::vector<FoundFile> list(const std::string &pattern) const {
    std::vector<FoundFile> out;
    auto finder = files.findFiles(pattern);
    while (auto entry = finder->next()) out.push_back(*entry);
    return out;
  }
  std::vector<std::string> names(const std::string &pattern) const {
    std::vector<std::string> out;
    for (const auto &entry : list(pattern)) out.push_back(entry.name);
    return out;
  }
  static void setModified(const fs::path &path, std::time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
  }
  // Sets Wine's DOS attribute record; false when the file system keeps no user attributes.
  static bool setDosRecord(const fs::path &path, const std::string &record) {
    return ::setxattr(path.c_str(), "user.DOSATTRIB", record.data(), record.size(), 0) == 0;
  }
};

} // namespace

TEST_F(WineFileSystemTest, DrivesMapThroughDosdevicesLinks) {
  prefix.write("windows/win.ini");
  std::ofstream(prefix.elsewhere() / "data.txt") << "d";

  EXPECT_EQ(files.hostPath("C:\\windows\\win.ini"), prefix.dir() + "/dosdevices/c:/windows/win.ini");
  EXPECT_TRUE(files.fileExists("c:\\windows\\win.ini"));
  EXPECT_TRUE(files.fileExists("D:\\data.txt"));
  EXPECT_TRUE(files.directoryExists("Z:\\"));
  EXPECT_TRUE(files.directoryExists("z:\\tmp"));
  EXPECT_TRUE(files.fileExists("Z:" + (prefix.elsewhere() / "data.txt").string()));

  // Only mapped letters exist; "com1" beside the drives is no drive.
  EXPECT_FALSE(files.directoryExists("Q:\\"));
  EXPECT_FALSE(files.hostPath("Q:\\").has_value());
  EXPECT_FALSE(files.attributes("Q:\\").has_value());

  // The links are read on every use: a removed drive is gone at once.
  fs::remove(fs::path(prefix.dir()) / "dosdevices" / "d:");
  EXPECT_FALSE(files.fileExists("D:\\data.txt"));
  EXPECT_FALSE(files.directoryExists("D:\\"));
}

TEST_F(WineFileSystemTest, NetworkAndDevicePathsNeverResolve) {
  for (const char *path : {"\\\\server\\share\\tool.exe", "\\\\localhost\\c$\\windows",
                           "\\\\.\\PhysicalDrive0", "\\\\?\\UNC\\server\\share\\x", ""}) {
    EXPECT_FALSE(files.hostPath(path).has_value()) << path;
    EXPECT_FALSE(files.fileExists(path)) << path;
    EXPECT_FALSE(files.directoryExists(path)) << path;
  }
}

TEST_F(WineFileSystemTest, NamesResolveWithoutRegardToCase) {
  prefix.write("Program Files/Common Files/Vendor/Tool.DLL");
  prefix.write("windows/Ärger.txt");

  EXPECT_EQ(files.hostPath("c:\\program files\\COMMON FILES\\vendor\\tool.dll"),
            prefix.dir() + "/dosdevices/c:/Program Files/Common Files/Vendor/Tool.DLL");
  EXPECT_TRUE(files.fileExists("C:\\WINDOWS\\ärger.TXT"));
  EXPECT_TRUE(files.directoryExists("c:\\PROGRAM FILES\\common files"));
  EXPECT_FALSE(files.fileExists("c:\\program files\\common files\\vendor\\tool.exe"));
  EXPECT_FALSE(files.fileExists("c:\\program files\\missing\\vendor\\tool.dll"));
}

TEST_F(WineFileSystemTest, ExactNameWinsOverOtherCases) {
  prefix.write("dir/README.TXT", "upper");
  prefix.write("dir/Readme.txt", "mixed");
  const std::string folder = prefix.dir() + "/dosdevices/c:/dir/";
  EXPECT_EQ(files.hostPath("C:\\dir\\Readme.txt"), folder + "Readme.txt");
  EXPECT_EQ(files.hostPath("C:\\dir\\README.TXT"), folder + "README.TXT");
  // Neither spelling exact: the first in Wine's listing order.
  EXPECT_EQ(files.hostPath("C:\\DIR\\readme.txt"), folder + "README.TXT");
}

TEST_F(WineFileSystemTest, MissingLastComponentNamesWhereItWouldBe) {
  EXPECT_EQ(files.hostPath("C:\\PROGRAM FILES\\New Folder", /*mustExist=*/false),
            prefix.dir() + "/dosdevices/c:/Program Files/New Folder");
  EXPECT_FALSE(files.hostPath("C:\\PROGRAM FILES\\New Folder").has_value());
  EXPECT_FALSE(files.hostPath("C:\\missing\\New Folder", /*mustExist=*/false).has_value());
  EXPECT_FALSE(files.hostPath("C:\\windows\\a*b", /*mustExist=*/false).has_value());
}

TEST_F(WineFileSystemTest, ListingsComeInWineOrderAndHonourThePattern) {
  for (const char *name : {"b.txt", "A.TXT", "c.dat", "README", "_first.txt", "notes.txta"})
    prefix.write(std::string("list/") + name);
  fs::create_directories(prefix.driveC() / "list" / "Sub.txt");

  EXPECT_EQ(names("C:\\list\\*.*"),
            (std::vector<std::string>{".", "..", "_first.txt", "A.TXT", "b.txt", "c.dat",
                                      "notes.txta", "README", "Sub.txt"}));
  EXPECT_EQ(names("c:\\LIST\\*.txt"),
            (std::vector<std::string>{"_first.txt", "A.TXT", "b.txt", "Sub.txt"}));
  EXPECT_EQ(names("C:\\list\\?.TXT"), (std::vector<std::string>{"A.TXT", "b.txt"}));
  // A name without wildcards finds the entry in any case and reports its name on disk.
  EXPECT_EQ(names("C:\\list\\readme"), (std::vector<std::string>{"README"}));
  EXPECT_TRUE(names("C:\\list\\nothing*").empty());
  EXPECT_TRUE(names("C:\\missing\\*.*").empty());
  EXPECT_TRUE(names("C:\\list\\").empty());
  EXPECT_TRUE(names("\\\\server\\share\\*.*").empty());
}

TEST_F(WineFileSystemTest, ListingSkipsDanglingLinks) {
  prefix.write("links/kept.txt");
  fs::create_symlink(prefix.driveC() / "links" / "gone.txt", prefix.driveC() / "links" / "dangling.txt");
  EXPECT_EQ(names("C:\\links\\*.txt"), (std::vector<std::string>{"kept.txt"}));
  EXPECT_FALSE(files.fileExists("C:\\links\\dangling.txt"));
  EXPECT_FALSE(files.attributes("C:\\links\\dangling.txt").has_value());
}

TEST_F(WineFileSystemTest, AttributesAsWineReportsThem) {
  prefix.write("attr/plain.txt", "12345");
  prefix.write("attr/locked.txt");
  prefix.write("attr/.profile");
  fs::create_directories(prefix.driveC() / "attr" / "folder");
  fs::create_directory_symlink(prefix.driveC() / "attr" / "folder", prefix.driveC() / "attr" / "linked");
  ::chmod((prefix.driveC() / "attr" / "locked.txt").c_str(), 0444);

  EXPECT_EQ(files.attributes("C:\\attr\\plain.txt"), fileattr::Archive);
  EXPECT_EQ(files.attributes("C:\\attr\\locked.txt"), fileattr::Archive | fileattr::ReadOnly);
  EXPECT_EQ(files.attributes("C:\\attr\\.profile"), fileattr::Archive | fileattr::Hidden);
  EXPECT_EQ(files.attributes("C:\\attr\\folder"), fileattr::Directory);
  EXPECT_EQ(files.attributes("C:\\attr\\linked"), fileattr::Directory | fileattr::ReparsePoint);
  EXPECT_EQ(files.attributes("C:\\"), fileattr::Directory);
  // The root of the host is a mount point.
  EXPECT_EQ(files.attributes("Z:\\"), fileattr::Directory | fileattr::ReparsePoint);

  for (const auto &entry : list("C:\\attr\\*")) {
    if (entry.name == "." || entry.name == "..") {
      EXPECT_EQ(entry.attributes, fileattr::Directory) << entry.name;
    }
    if (entry.name == "plain.txt") {
      EXPECT_EQ(entry.size, 5u);
    }
    if (entry.name == "folder") {
      EXPECT_EQ(entry.size, 0u);
    }
  }
}

TEST_F(WineFileSystemTest, DosAttributeRecordDecidesHiddenAndSystem) {
  auto hidden = prefix.write("dos/hidden.sys");
  auto dotted = prefix.write("dos/.shown");
  auto odd = prefix.write("dos/odd.txt");
  if (!setDosRecord(hidden, "0x6")) GTEST_SKIP() << "no user extended attributes here";
  ASSERT_TRUE(setDosRecord(dotted, "0x0"));
  ASSERT_TRUE(setDosRecord(odd, "banana"));

  EXPECT_EQ(files.attributes("C:\\dos\\hidden.sys"), fileattr::Archive | fileattr::Hidden | fileattr::System);
  // A record overrides the dot rule, and only hidden and system are taken from it.
  EXPECT_EQ(files.attributes("C:\\dos\\.shown"), fileattr::Archive);
  ASSERT_TRUE(setDosRecord(dotted, "0x31"));
  EXPECT_EQ(files.attributes("C:\\dos\\.shown"), fileattr::Archive);
  EXPECT_EQ(files.attributes("C:\\dos\\odd.txt"), fileattr::Archive);
}

TEST_F(WineFileSystemTest, LastWriteTimeIsAFileTime) {
  auto path = prefix.write("time/a.txt");
  setModified(path, 1'000'000'000); // 2001-09-09 01:46:40 UTC
  auto found = list("C:\\time\\a.txt");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].lastWriteTime, (1'000'000'000ull + 11'644'473'600ull) * 10'000'000ull);
}

TEST_F(WineFileSystemTest, FileAndFolderExistence) {
  prefix.write("exist/file.txt");
  fs::create_directories(prefix.driveC() / "exist" / "folder");

  EXPECT_TRUE(files.fileExists("C:\\exist\\file.txt"));
  EXPECT_FALSE(files.fileExists("C:\\exist\\folder"));
  EXPECT_FALSE(files.fileExists("C:\\exist\\file.txt\\"));
  EXPECT_FALSE(files.fileExists("C:\\exist\\file.txt\\more"));
  EXPECT_FALSE(files.fileExists("C:\\"));
  EXPECT_TRUE(files.directoryExists("C:\\exist\\folder"));
  EXPECT_TRUE(files.directoryExists("C:\\exist\\folder\\"));
  EXPECT_FALSE(files.directoryExists("C:\\exist\\file.txt"));
  EXPECT_FALSE(files.directoryExists("C:\\exist\\fold*"));
}

TEST_F(WineFileSystemTest, FileExistsWhateverItsLastWriteTime) {
  // Files from reproducible builds carry 1970; a broken clock may give any year.
  auto old = prefix.write("times/epoch.dll");
  auto future = prefix.write("times/future.dll");
  setModified(old, 0);
  setModified(future, 7'258'118'400); // 2200-01-01
  EXPECT_TRUE(files.fileExists("C:\\times\\epoch.dll"));
  EXPECT_TRUE(files.fileExists("C:\\times\\future.dll"));
  EXPECT_TRUE(files.fileExists("C:\\TIMES\\EPOCH.DLL"));
  EXPECT_EQ(names("C:\\times\\*.dll"), (std::vector<std::string>{"epoch.dll", "future.dll"}));
}

TEST_F(WineFileSystemTest, WildcardNameExistsWhenTheFirstEntryFoundIsAFile) {
  prefix.write("wild/app.exe");
  fs::create_directories(prefix.driveC() / "wild" / "Data.exe");
  EXPECT_TRUE(files.fileExists("C:\\wild\\a*.exe"));
  EXPECT_FALSE(files.fileExists("C:\\wild\\d*.exe")); // a folder is found first
  EXPECT_FALSE(files.fileExists("C:\\wild\\*"));     // "." comes first
  EXPECT_FALSE(files.fileExists("C:\\wild\\*.dll"));
}

TEST_F(WineFileSystemTest, RelativeNamesAndTheCurrentFolder) {
  prefix.write("users/Tester/notes.txt");
  fs::current_path(prefix.driveC() / "users");
  // Inside drive_c both C: and Z: reach the folder; the deeper mapping wins.
  EXPECT_EQ(files.currentDirectory(), "C:\\users");
  EXPECT_TRUE(files.fileExists("tester\\NOTES.TXT"));
  EXPECT_TRUE(files.fileExists("..\\users\\Tester\\notes.txt"));
  EXPECT_TRUE(files.fileExists("\\users\\tester\\notes.txt"));
  EXPECT_TRUE(files.fileExists("C:tester\\notes.txt"));

  ASSERT_TRUE(files.setCurrentDirectory("c:\\USERS\\tester"));
  EXPECT_EQ(files.currentDirectory(), "C:\\users\\Tester");
  EXPECT_TRUE(files.fileExists("notes.txt"));
  EXPECT_EQ(fs::current_path(), fs::canonical(prefix.driveC() / "users" / "Tester"));

  EXPECT_FALSE(files.setCurrentDirectory("C:\\no such folder"));
  EXPECT_FALSE(files.setCurrentDirectory("C:\\users\\Tester\\notes.txt"));
  EXPECT_EQ(files.currentDirectory(), "C:\\users\\Tester");

  ASSERT_TRUE(files.setCurrentDirectory("D:\\"));
  EXPECT_EQ(files.currentDirectory(), "D:\\");
  fs::current_path(prefix.root());
  EXPECT_EQ(files.currentDirectory(), "Z:" + [&] {
    std::string text = fs::canonical(prefix.root()).string();
    for (char &c : text)
      if (c == '/') c = '\\';
    return text;
  }());
}

TEST_F(WineFileSystemTest, UnreachableCurrentFolderIsTheWindowsFolder) {
  fs::remove(fs::path(prefix.dir()) / "dosdevices" / "z:");
  fs::current_path(prefix.root());
  EXPECT_EQ(files.currentDirectory(), "C:\\windows");
  EXPECT_TRUE(files.directoryExists("system32"));
}

TEST_F(WineFileSystemTest, HostPathsSeenThroughDrives) {
  EXPECT_EQ(files.windowsPathOf((prefix.driveC() / "windows" / "system32").string()), "C:\\windows\\system32");
  EXPECT_EQ(files.windowsPathOf(prefix.driveC().string()), "C:\\");
  EXPECT_EQ(files.windowsPathOf((prefix.elsewhere() / "x" / "y.txt").string()), "D:\\x\\y.txt");
  EXPECT_EQ(files.windowsPathOf("/"), "Z:\\");
  EXPECT_EQ(files.windowsPathOf("/usr/bin"), "Z:\\usr\\bin");
  EXPECT_FALSE(files.windowsPathOf("relative/path").has_value());
}

TEST_F(WineFileSystemTest, DeletingFiles) {
  prefix.write("del/a.txt");
  prefix.write("del/locked.txt");
  fs::create_directories(prefix.driveC() / "del" / "sub");
  ::chmod((prefix.driveC() / "del" / "locked.txt").c_str(), 0444);

  EXPECT_TRUE(files.deleteFile("C:\\DEL\\A.TXT"));
  EXPECT_FALSE(fs::exists(prefix.driveC() / "del" / "a.txt"));
  EXPECT_FALSE(files.deleteFile("C:\\del\\a.txt"));
  // Windows refuses folders and read-only files.
  EXPECT_FALSE(files.deleteFile("C:\\del\\sub"));
  EXPECT_FALSE(files.deleteFile("C:\\del\\locked.txt"));
  EXPECT_TRUE(fs::exists(prefix.driveC() / "del" / "locked.txt"));
  EXPECT_FALSE(files.deleteFile("C:\\del\\*.txt"));
  EXPECT_TRUE(fs::exists(prefix.driveC() / "del" / "locked.txt"));
}

TEST_F(WineFileSystemTest, CreatingAndRemovingFolders) {
  EXPECT_TRUE(files.createDirectory("c:\\program files\\Backup"));
  EXPECT_TRUE(fs::is_directory(prefix.driveC() / "Program Files" / "Backup"));
  EXPECT_FALSE(files.createDirectory("C:\\PROGRAM FILES\\BACKUP")); // exists, in another case
  EXPECT_FALSE(files.createDirectory("C:\\missing\\Backup"));
  EXPECT_FALSE(files.createDirectory("C:\\"));
  EXPECT_FALSE(files.createDirectory("Q:\\new"));

  prefix.write("Program Files/Backup/point/HKEY_USERS.reg");
  EXPECT_FALSE(files.removeDirectory("C:\\Program Files\\Backup\\point"));
  EXPECT_TRUE(files.deleteFile("C:\\Program Files\\Backup\\point\\HKEY_USERS.reg"));
  EXPECT_TRUE(files.removeDirectory("C:\\Program Files\\Backup\\POINT"));
  EXPECT_FALSE(files.directoryExists("C:\\Program Files\\Backup\\point"));
  EXPECT_FALSE(files.removeDirectory("C:\\"));
}

TEST_F(WineFileSystemTest, CachedListingsFollowChangesOnDisk) {
  prefix.write("cache/First.txt");
  // An old folder time makes the listing trusted, so later lookups use the cache.
  setModified(prefix.driveC() / "cache", 1'000'000'000);
  EXPECT_TRUE(files.fileExists("C:\\cache\\FIRST.TXT"));
  EXPECT_GE(files.cachedFolderCount(), 1u);
  EXPECT_TRUE(files.fileExists("C:\\cache\\first.txt"));

  // Changes made behind the program's back change the folder's time.
  fs::rename(prefix.driveC() / "cache" / "First.txt", prefix.driveC() / "cache" / "Second.txt");
  EXPECT_FALSE(files.fileExists("C:\\cache\\FIRST.TXT"));
  EXPECT_TRUE(files.fileExists("C:\\cache\\SECOND.TXT"));
  fs::remove(prefix.driveC() / "cache" / "Second.txt");
  EXPECT_FALSE(files.fileExists("C:\\cache\\SECOND.TXT"));
}

TEST_F(WineFileSystemTest, ChangeWithinOneClockTickIsNotMissed) {
  // The kernel stamps folders with a coarse clock: two changes close together may leave the
  // same modification time. A listing read so soon after a change must not be trusted later.
  prefix.write("tick/One.txt");
  EXPECT_TRUE(files.fileExists("C:\\tick\\ONE.TXT"));
  struct stat before {};
  ASSERT_EQ(::stat((prefix.driveC() / "tick").c_str(), &before), 0);
  prefix.write("tick/Two.txt");
  struct timespec same[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, (prefix.driveC() / "tick").c_str(), same, 0), 0);
  EXPECT_TRUE(files.fileExists("C:\\tick\\TWO.TXT"));
}

TEST_F(WineFileSystemTest, RememberedFoldersFollowRenamesAndReplacements) {
  prefix.write("Memo/Vendor/Tool.dll");
  prefix.write("Memo/Vendor/Other.dll");
  EXPECT_TRUE(files.fileExists("c:\\memo\\vendor\\tool.dll"));
  EXPECT_TRUE(files.fileExists("c:\\memo\\vendor\\other.dll"));

  fs::rename(prefix.driveC() / "Memo" / "Vendor", prefix.driveC() / "Memo" / "Old");
  prefix.write("Memo/VENDOR/tool.dll");
  EXPECT_TRUE(files.fileExists("c:\\memo\\vendor\\tool.dll"));
  EXPECT_FALSE(files.fileExists("c:\\memo\\vendor\\other.dll"));
  EXPECT_TRUE(files.fileExists("c:\\memo\\old\\other.dll"));

  // The same name made anew is another folder.
  fs::remove_all(prefix.driveC() / "Memo" / "VENDOR");
  prefix.write("Memo/VENDOR/new.dll");
  EXPECT_FALSE(files.fileExists("c:\\memo\\vendor\\tool.dll"));
  EXPECT_TRUE(files.fileExists("c:\\memo\\vendor\\NEW.DLL"));
}

TEST_F(WineFileSystemTest, RemovingALinkToAFolderRemovesTheLinkOnly) {
  prefix.write("Program Files/Backup/point/HKEY_USERS.reg");
  fs::create_directories(prefix.elsewhere() / "precious");
  std::ofstream(prefix.elsewhere() / "precious" / "keep.txt") << "keep";
  fs::create_directory_symlink(prefix.elsewhere() / "precious", prefix.driveC() / "Program Files" / "Backup" / "point" / "drive");
  const auto attributes = files.attributes("C:\\Program Files\\Backup\\point\\drive");
  ASSERT_TRUE(attributes);
  EXPECT_EQ(*attributes & (fileattr::Directory | fileattr::ReparsePoint), fileattr::Directory | fileattr::ReparsePoint);
  EXPECT_FALSE(files.deleteFile("C:\\Program Files\\Backup\\point\\drive"));
  EXPECT_TRUE(files.removeDirectory("C:\\Program Files\\Backup\\point\\drive"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(prefix.driveC() / "Program Files" / "Backup" / "point" / "drive")));
  std::string kept;
  std::getline(std::ifstream(prefix.elsewhere() / "precious" / "keep.txt"), kept);
  EXPECT_EQ(kept, "keep");
  // A link to a file is no folder.
  fs::create_symlink(prefix.elsewhere() / "precious" / "keep.txt", prefix.driveC() / "Program Files" / "Backup" / "point" / "file");
  EXPECT_FALSE(files.removeDirectory("C:\\Program Files\\Backup\\point\\file"));
  EXPECT_TRUE(fs::exists(fs::symlink_status(prefix.driveC() / "Program Files" / "Backup" / "point" / "file")));
}

TEST_F(WineFileSystemTest, DeleteFileInsideDeletesOnlyPlainFilesInsideTheFolder) {
  prefix.write("cache/sub/page.htm");
  prefix.write("cache/Upper.HTM");
  prefix.write("cache/locked.htm");
  prefix.write("other/keep.htm");
  std::ofstream(prefix.elsewhere() / "outside.htm") << "d";
  fs::create_directories(prefix.elsewhere() / "linkedfolder");
  std::ofstream(prefix.elsewhere() / "linkedfolder" / "far.htm") << "d";
  fs::create_symlink(prefix.elsewhere() / "outside.htm", prefix.driveC() / "cache" / "link.htm");
  fs::create_directory_symlink(prefix.elsewhere() / "linkedfolder", prefix.driveC() / "cache" / "linked");
  ::chmod((prefix.driveC() / "cache" / "locked.htm").c_str(), 0444);

  EXPECT_EQ(files.attributes("C:\\cache\\link.htm"), fileattr::Archive | fileattr::ReparsePoint);
  EXPECT_FALSE(files.deleteFileInside("C:\\cache", "C:\\other\\keep.htm"));
  EXPECT_FALSE(files.deleteFileInside("C:\\cache", "C:\\cache\\..\\other\\keep.htm"));
  EXPECT_FALSE(files.deleteFileInside("C:\\cache", "C:\\cache"));
  EXPECT_FALSE(files.deleteFileInside("C:\\cache", "D:\\outside.htm"));
  EXPECT_FALSE(files.deleteFileInside("C:\\cache", "C:\\cache\\link.htm"));
  EXPECT_FALSE(files.deleteFileInside("C:\\cache", "C:\\cache\\linked\\far.htm"));
  EXPECT_FALSE(files.deleteFileInside("C:\\cache", "C:\\cache\\sub"));
  EXPECT_FALSE(files.deleteFileInside("C:\\cache", "C:\\cache\\locked.htm"));
  EXPECT_TRUE(fs::exists(prefix.driveC() / "other" / "keep.htm"));
  EXPECT_TRUE(fs::exists(prefix.elsewhere() / "outside.htm"));
  EXPECT_TRUE(fs::exists(prefix.elsewhere() / "linkedfolder" / "far.htm"));
  EXPECT_TRUE(fs::is_symlink(prefix.driveC() / "cache" / "link.htm"));

  EXPECT_TRUE(files.deleteFileInside("c:\\CACHE\\", "C:\\cache\\SUB\\PAGE.htm"));
  EXPECT_TRUE(files.deleteFileInside("C:\\cache", "C:\\cache\\upper.htm"));
  EXPECT_FALSE(fs::exists(prefix.driveC() / "cache" / "sub" / "page.htm"));
  EXPECT_FALSE(fs::exists(prefix.driveC() / "cache" / "Upper.HTM"));
  EXPECT_FALSE(files.fileExists("C:\\cache\\upper.htm")) << "the folder's listing is read again";
}

// A 32-bit program on a 64-bit prefix: its system32 is syswow64, except the folders both halves
// share; sysnative reaches the real system32. On a 32-bit prefix nothing is redirected.
TEST_F(WineFileSystemTest, The32BitViewResolvesSystem32ToSyswow64) {
  using tw::platform::ViewKind;
  using tw::platform::ViewScope;
  prefix.write("windows/system32/only64.dll");
  prefix.write("windows/syswow64/only32.dll");
  prefix.write("windows/system32/drivers/etc/hosts");
  prefix.write("windows/system32/spool/drivers/x.dll");
  prefix.write("windows/system32/catroot2/y.cat");
  WineFileSystem twoViews(prefix.dir(), /*twoViews=*/true);
  {
    ViewScope scope(ViewKind::Bits32);
    EXPECT_TRUE(twoViews.fileExists("C:\\windows\\system32\\only32.dll"));
    EXPECT_TRUE(twoViews.fileExists("c:\\WINDOWS\\System32\\ONLY32.DLL"));
    EXPECT_FALSE(twoViews.fileExists("C:\\windows\\system32\\only64.dll"));
    EXPECT_TRUE(twoViews.fileExists("C:\\windows\\sysnative\\only64.dll"));
    EXPECT_TRUE(twoViews.fileExists("C:\\windows\\system32\\drivers\\etc\\hosts"));
    EXPECT_TRUE(twoViews.fileExists("C:\\windows\\system32\\spool\\drivers\\x.dll"));
    EXPECT_TRUE(twoViews.fileExists("C:\\windows\\system32\\catroot2\\y.cat"));
    EXPECT_TRUE(twoViews.fileExists("C:\\windows\\temp\\..\\system32\\only32.dll"));
    std::vector<std::string> listed;
    auto finder = twoViews.findFiles("C:\\windows\\system32\\*.dll");
    while (auto entry = finder->next()) listed.push_back(entry->name);
    EXPECT_EQ(listed, std::vector<std::string>{"only32.dll"});
  }
  // Outside the scope, and on a prefix with one view, system32 is system32.
  EXPECT_TRUE(twoViews.fileExists("C:\\windows\\system32\\only64.dll"));
  EXPECT_FALSE(twoViews.fileExists("C:\\windows\\system32\\only32.dll"));
  ViewScope scope(ViewKind::Bits32);
  EXPECT_TRUE(files.fileExists("C:\\windows\\system32\\only64.dll"));
}

TEST(FileView, OnlyTheSystemFolderOfTheWindowsFolderMoves) {
  using tw::platform::applyWow64FileView;
  constexpr std::string_view Windows[] = {"WINNT"};
  struct Case {
    std::vector<std::string> in;
    std::vector<std::string> out;
  };
  const Case cases[] = {
      {{"winnt", "System32", "a.dll"}, {"winnt", "syswow64", "a.dll"}},
      {{"WINNT", "system32"}, {"WINNT", "syswow64"}},
      {{"winnt", "SysNative", "b"}, {"winnt", "system32", "b"}},
      {{"winnt", "system32", "LogFiles", "c"}, {"winnt", "system32", "LogFiles", "c"}},
      {{"winnt", "system32", "drivers", "etc"}, {"winnt", "system32", "drivers", "etc"}},
      {{"winnt", "system32", "drivers", "x.sys"}, {"winnt", "syswow64", "drivers", "x.sys"}},
      {{"winnt", "system32", "catroot"}, {"winnt", "system32", "catroot"}},
      {{"other", "system32", "a"}, {"other", "system32", "a"}},
      {{"winnt"}, {"winnt"}},
      {{"winnt", "system"}, {"winnt", "system"}},
  };
  for (const Case &c : cases) {
    std::vector<std::string> path = c.in;
    EXPECT_EQ(applyWow64FileView(path, Windows), c.in != c.out);
    EXPECT_EQ(path, c.out);
  }
}
