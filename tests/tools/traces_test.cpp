#include "tools/uIE.h"

#include "RepairTestMachine.h"

#include "lists/CheckableList.h"
#include "platform/RegistryApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tw::tools {
namespace {

namespace fs = std::filesystem;

/// Collects the rows a scan finds.
class ListSink : public TraceScanSink {
public:
  lists::CheckableList files;
  void fileFound(lists::Row row) override { files.append(std::move(row)); }
};

/// The seven check marks with only the given actions set.
std::vector<bool> only(std::initializer_list<TraceActionIndex> actions) {
  std::vector<bool> checked(TraceActionCount, false);
  for (TraceActionIndex a : actions) checked[static_cast<std::size_t>(a)] = true;
  return checked;
}

std::vector<bool> allFileActions() {
  return only({TraceActionIndex::Cache, TraceActionIndex::Cookies, TraceActionIndex::DownloadedFiles,
               TraceActionIndex::Favorites, TraceActionIndex::History});
}

/// Every row as "Section|File Name|Full Path".
std::vector<std::string> rowsOf(const lists::CheckableList &list) {
  std::vector<std::string> rows;
  for (int i = 0; i < list.count(); ++i)
    rows.push_back(list.row(i).caption + "|" + list.row(i).subItem(TraceFileNameSubItem) + "|" +
                   list.row(i).subItem(TraceFullPathSubItem));
  return rows;
}

class TracesTest : public ::testing::Test {
protected:
  test::RepairTestMachine machine;
  /// A host folder outside the prefix whose files must survive everything.
  fs::path outside;

  void SetUp() override {
    outside = fs::path(machine.folder()) / "host-home";
    machine.importReg(R"([HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Cache"="C:\\users\\me\\Cache"
"Cookies"="C:\\users\\me\\Cookies"
"Favorites"="C:\\users\\me\\Favorites"
"History"="C:\\users\\me\\History"
[HKEY_CURRENT_USER\Environment]
"TEMP"="C:\\users\\me\\Temp"
)");
    for (const char *file : {"Cache/page.htm", "Cache/desktop.ini", "Cache/Content.IE5/AB12/DESKTOP.INI",
                             "Cache/Content.IE5/AB12/pic.jpg", "Cookies/me@example[1].txt",
                             "Cookies/notes.dat", "Cookies/deep.txt/inner[2].txt", "Cookies/other/skip[3].txt",
                             "Temp/~tmp1.tmp", "Temp/sub/~tmp2.tmp", "Favorites/a.url", "Favorites/b.URL",
                             "Favorites/c.lnk", "Favorites/Links/d.url", "History/History.IE5/index.dat",
                             "History/History.IE5/MSHist01/INDEX.DAT", "History/other.dat"})
      makeFile("C:/users/me/" + std::string(file));
    fs::create_directories(outside / "Documents");
    writeHostFile(outside / "Documents" / "thesis.txt");
    writeHostFile(outside / "page.htm");
  }

  /// The host path of a path below drive C: written with slashes ("C:/users/x").
  fs::path hostOf(const std::string &path) const {
    return fs::path(machine.folder()) / "drive_c" / path.substr(3);
  }
  void makeFile(const std::string &path) {
    fs::create_directories(hostOf(path).parent_path());
    writeHostFile(hostOf(path));
  }
  static void writeHostFile(const fs::path &path) { std::ofstream(path) << "data"; }

  lists::CheckableList scan(const std::vector<bool> &checked, TraceScanResult *result = nullptr) {
    ListSink sink;
    TraceScanResult r = scanTraces(checked, sink);
    if (result) *result = r;
    return std::move(sink.files);
  }
};

TEST_F(TracesTest, EverySectionListsWhatItsRulesSay) {
  TraceScanResult result;
  const lists::CheckableList files = scan(allFileActions(), &result);
  EXPECT_TRUE(result.notices.empty());
  EXPECT_EQ(rowsOf(files), (std::vector<std::string>{
                               "Cache files|pic.jpg|C:\\users\\me\\Cache\\Content.IE5\\AB12\\",
                               "Cache files|page.htm|C:\\users\\me\\Cache\\",
                               "Cookie files|inner[2].txt|C:\\users\\me\\Cookies\\deep.txt\\",
                               "Cookie files|me@example[1].txt|C:\\users\\me\\Cookies\\",
                               "Temporary files|~tmp1.tmp|C:\\users\\me\\Temp\\",
                               "Favorite files|a.url|C:\\users\\me\\Favorites\\",
                               "Favorite files|d.url|C:\\users\\me\\Favorites\\Links\\",
                               "History files|index.dat|C:\\users\\me\\History\\History.IE5\\",
                               "History files|INDEX.DAT|C:\\users\\me\\History\\History.IE5\\MSHist01\\",
                           }));
  EXPECT_EQ(result.filesFound, files.count());
  for (int i = 0; i < files.count(); ++i) EXPECT_TRUE(files.row(i).checked);

  EXPECT_EQ(rowsOf(scan(only({TraceActionIndex::History}))).size(), 2u);
  EXPECT_TRUE(scan(only({TraceActionIndex::TypedUrls, TraceActionIndex::AppendCompletion})).isEmpty());
}

TEST_F(TracesTest, MissingFolderValueListsNothing) {
  machine.importReg(R"([HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Cache"=-
"History"=""
)");
  TraceScanResult result;
  EXPECT_TRUE(scan(only({TraceActionIndex::Cache, TraceActionIndex::History}), &result).isEmpty());
  EXPECT_TRUE(result.notices.empty());
}

TEST_F(TracesTest, LinksAreNeitherListedNorEnteredAndTheirFilesSurviveCleanup) {
  fs::create_directory_symlink(outside / "Documents", hostOf("C:/users/me/Cache/Documents"));
  fs::create_symlink(outside / "page.htm", hostOf("C:/users/me/Cache/linked.htm"));
  fs::create_directory_symlink(outside, hostOf("C:/users/me/Favorites/Home"));
  lists::CheckableList files = scan(allFileActions());
  for (const std::string &row : rowsOf(files)) {
    EXPECT_EQ(row.find("thesis"), std::string::npos) << row;
    EXPECT_EQ(row.find("linked"), std::string::npos) << row;
    EXPECT_EQ(row.find("Home"), std::string::npos) << row;
  }
  const TraceCleanupResult cleanup = cleanUpTraces(allFileActions(), files);
  EXPECT_EQ(cleanup.deleted, 9);
  EXPECT_TRUE(files.isEmpty());
  EXPECT_TRUE(fs::exists(outside / "Documents" / "thesis.txt"));
  EXPECT_TRUE(fs::exists(outside / "page.htm"));
  EXPECT_TRUE(fs::is_symlink(hostOf("C:/users/me/Cache/linked.htm")));
  EXPECT_TRUE(fs::exists(hostOf("C:/users/me/Cache/desktop.ini")));
  EXPECT_TRUE(fs::exists(hostOf("C:/users/me/Temp/sub/~tmp2.tmp")));
}

TEST_F(TracesTest, FolderOffTheSystemDriveOrBehindALinkListsNothingAndSaysWhy) {
  fs::create_directory_symlink(outside, fs::path(machine.folder()) / "dosdevices" / "z:");
  fs::create_directories(outside / "Favorites");
  writeHostFile(outside / "Favorites" / "keep.url");
  fs::create_directory_symlink(outside, hostOf("C:/users/me/Linked"));
  machine.importReg(R"([HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Favorites"="Z:\\Favorites"
"Cache"="C:\\users\\me\\Linked"
"History"="C:\\"
"Cookies"="C:\\users\\me\\..\\..\\users\\me\\Cookies"
)");
  TraceScanResult result;
  lists::CheckableList files = scan(allFileActions(), &result);
  EXPECT_EQ(rowsOf(files), std::vector<std::string>{"Temporary files|~tmp1.tmp|C:\\users\\me\\Temp\\"});
  ASSERT_EQ(result.notices.size(), 4u);
  EXPECT_EQ(result.notices[0], "The Cache folder C:\\users\\me\\Linked\\ is reached through the link "
                               "C:\\users\\me\\Linked, so Cache files lists nothing.");
  EXPECT_EQ(result.notices[1], "The Cookies folder C:\\users\\me\\..\\..\\users\\me\\Cookies\\ goes "
                               "through \".\" or \"..\" folders, so Cookie files lists nothing.");
  EXPECT_EQ(result.notices[2], "The Favorites folder Z:\\Favorites\\ is not on drive C:, so Favorite "
                               "files lists nothing.");
  EXPECT_EQ(result.notices[3], "The History folder C:\\\\ is the root of drive C:, so History files "
                               "lists nothing.");
  cleanUpTraces(allFileActions(), files);
  EXPECT_TRUE(fs::exists(outside / "Favorites" / "keep.url"));
  EXPECT_TRUE(fs::exists(outside / "page.htm"));
}

TEST_F(TracesTest, CleanupChecksAgainWhenItDeletes) {
  lists::CheckableList files = scan(only({TraceActionIndex::Cache}));
  ASSERT_EQ(files.count(), 2);
  // Since the scan, the sub-folder became a link out of the cache, and the top file a link to a
  // host file of the same name.
  fs::rename(hostOf("C:/users/me/Cache/Content.IE5"), hostOf("C:/users/me/moved"));
  fs::create_directories(outside / "AB12");
  writeHostFile(outside / "AB12" / "pic.jpg");
  fs::create_directory_symlink(outside, hostOf("C:/users/me/Cache/Content.IE5"));
  fs::remove(hostOf("C:/users/me/Cache/page.htm"));
  fs::create_symlink(outside / "page.htm", hostOf("C:/users/me/Cache/page.htm"));

  const TraceCleanupResult cleanup = cleanUpTraces(only({TraceActionIndex::Cache}), files);
  EXPECT_EQ(cleanup.deleted, 0);
  EXPECT_EQ(cleanup.passedOver, 2);
  EXPECT_TRUE(fs::exists(outside / "AB12" / "pic.jpg"));
  EXPECT_TRUE(fs::is_symlink(hostOf("C:/users/me/Cache/page.htm")));
  EXPECT_TRUE(fs::exists(outside / "page.htm"));
}

TEST_F(TracesTest, CleanupDeletesOnlyCheckedFilesInsideTheirFolder) {
  lists::CheckableList files = scan(only({TraceActionIndex::Favorites}));
  ASSERT_EQ(files.count(), 2);
  files.setChecked(1, false); // d.url stays
  // A row whose path was made to leave its section's folder is never followed.
  lists::Row forged = files.row(0);
  forged.subItems[TraceFullPathSubItem] = "C:\\users\\me\\Favorites\\..\\Cache\\";
  forged.subItems[TraceFileNameSubItem] = "page.htm";
  files.append(forged);
  const TraceCleanupResult cleanup = cleanUpTraces(only({TraceActionIndex::Favorites}), files);
  EXPECT_EQ(cleanup.deleted, 1);
  EXPECT_TRUE(files.isEmpty());
  EXPECT_FALSE(fs::exists(hostOf("C:/users/me/Favorites/a.url")));
  EXPECT_TRUE(fs::exists(hostOf("C:/users/me/Favorites/Links/d.url")));
  EXPECT_TRUE(fs::exists(hostOf("C:/users/me/Cache/page.htm")));
  EXPECT_TRUE(fs::exists(hostOf("C:/users/me/Favorites/b.URL")));
}

TEST_F(TracesTest, RegistryActionsClearTypedAddressesAndSwitchOnCompletion) {
  machine.importReg(R"([HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\TypedURLs]
"url1"="http://example.com/"
"url2"="http://example.org/"
)");
  lists::CheckableList files;
  const TraceCleanupResult cleanup =
      cleanUpTraces(only({TraceActionIndex::TypedUrls, TraceActionIndex::AppendCompletion}), files);
  ASSERT_TRUE(cleanup.result) << cleanup.result.message;
  EXPECT_TRUE(machine.keyExists(platform::HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\TypedURLs"));
  EXPECT_EQ(machine.dump(platform::HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\TypedURLs"),
            std::vector<std::string>{"Software\\Microsoft\\Internet Explorer\\TypedURLs"});
  EXPECT_EQ(machine.value(platform::HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoComplete",
                          "Append Completion"),
            std::make_pair(platform::regtype::Sz, test::textBytes("Yes")));
}

TEST_F(TracesTest, RegistryThatCannotBeWrittenIsReported) {
  machine.setFlushFails(true);
  const repair::ActionResult result = runTraceRegistryActions(only({TraceActionIndex::AppendCompletion}));
  EXPECT_EQ(result.status, repair::ActionResult::Status::RegistryNotSaved);
  EXPECT_TRUE(runTraceRegistryActions(only({TraceActionIndex::Cache})));
}

TEST_F(TracesTest, ActionListHasSevenFixedRows) {
  lists::CheckableList actions;
  fillTraceActions(actions);
  ASSERT_EQ(actions.count(), TraceActionCount);
  EXPECT_EQ(actions.row(0).caption, "Clear the Internet Explorer Typed Address History");
  EXPECT_EQ(checkedTraceActions(actions), (std::vector<bool>{false, false, true, false, true, false, true}));
  EXPECT_EQ(actions.row(6).subItem(1), "History of Visited URLs");
}

} // namespace
} // namespace tw::tools
