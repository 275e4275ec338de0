#include "registry/XmlStore.h"
#include "tests/support/ScratchMachine.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace tw {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path &path, std::string_view text) {
  std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

class XmlStoreTest : public ::testing::Test {
protected:
  fs::path folder;
  std::string path;
  pugi::xml_document document;

  void SetUp() override {
    folder = test::makeScratchFolder("xmlstore");
    path = (folder / "Backup.xml").string();
  }
  void TearDown() override { fs::remove_all(folder); }

  /// The files in the folder other than Backup.xml.
  std::vector<fs::path> otherFiles() const {
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(folder))
      if (entry.path().filename() != "Backup.xml") files.push_back(entry.path());
    return files;
  }
};

TEST_F(XmlStoreTest, MissingFileGivesAnEmptyDocument) {
  XmlLoadResult result = loadXmlDocument(document, path, UndoStoreRootName);
  EXPECT_TRUE(result);
  EXPECT_EQ(result.status, XmlLoadResult::Status::Created);
  EXPECT_FALSE(fs::exists(path)) << "nothing is written until the program saves";
  EXPECT_EQ(xmlDocumentText(document), "<?xml version=\"1.0\"?>\n<TidewellRegistryCleaner />\n");
}

TEST_F(XmlStoreTest, DamagedFileIsMovedAsideUnchanged) {
  const std::string damaged = "<?xml version=\"1.0\"?>\n<TidewellRegistryCleaner>\n  <ELEMENT NAME=\"a\" \n";
  writeFile(path, damaged);
  XmlLoadResult result = loadXmlDocument(document, path, UndoStoreRootName);
  EXPECT_FALSE(result);
  EXPECT_EQ(result.status, XmlLoadResult::Status::Malformed);
  // The parser stops at the line break that ends the unfinished tag.
  EXPECT_EQ(result.offset, static_cast<std::ptrdiff_t>(damaged.size() - 1));
  EXPECT_EQ(result.line, 3u);
  EXPECT_EQ(result.column, 21u);

  EXPECT_FALSE(fs::exists(path));
  ASSERT_EQ(otherFiles().size(), 1u);
  EXPECT_EQ(otherFiles()[0].string(), result.movedTo);
  EXPECT_EQ(otherFiles()[0].filename().string().rfind("Backup.xml.damaged-", 0), 0u);
  EXPECT_EQ(readFile(result.movedTo), damaged);

  const std::string description = result.description();
  EXPECT_NE(description.find(path), std::string::npos) << description;
  EXPECT_NE(description.find("line 3, column 21"), std::string::npos) << description;
  EXPECT_NE(description.find(result.movedTo), std::string::npos) << description;
  EXPECT_EQ(xmlDocumentText(document), "<?xml version=\"1.0\"?>\n<TidewellRegistryCleaner />\n");

  // A second damaged file the same second gets a name of its own.
  writeFile(path, damaged);
  XmlLoadResult again = loadXmlDocument(document, path, UndoStoreRootName);
  EXPECT_NE(again.movedTo, result.movedTo);
  EXPECT_EQ(otherFiles().size(), 2u);
  EXPECT_EQ(readFile(again.movedTo), damaged);
}

TEST_F(XmlStoreTest, OtherDocumentsAreNotOurs) {
  const struct {
    const char *text;
    XmlLoadResult::Status status;
  } cases[] = {
      {"<IgnoreList/>", XmlLoadResult::Status::WrongRoot},
      {"<tidewellregistrycleaner/>", XmlLoadResult::Status::WrongRoot},
      {"", XmlLoadResult::Status::Malformed},
      {"<TidewellRegistryCleaner/><TidewellRegistryCleaner/>", XmlLoadResult::Status::Malformed},
      {"<TidewellRegistryCleaner/>text", XmlLoadResult::Status::Malformed},
      {"\xFF\xFE<\0", XmlLoadResult::Status::Malformed},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    writeFile(path, c.text);
    XmlLoadResult result = loadXmlDocument(document, path, UndoStoreRootName);
    EXPECT_EQ(result.status, c.status);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(readFile(result.movedTo), c.text);
    EXPECT_STREQ(document.document_element().name(), UndoStoreRootName);
    EXPECT_FALSE(document.document_element().first_child());
  }
}

TEST_F(XmlStoreTest, FolderUnderTheNameIsLeftAlone) {
  fs::create_directory(path);
  XmlLoadResult result = loadXmlDocument(document, path, UndoStoreRootName);
  EXPECT_EQ(result.status, XmlLoadResult::Status::NotAFile);
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_TRUE(result.movedTo.empty());
  EXPECT_NE(result.description().find("is not a file"), std::string::npos);
  EXPECT_FALSE(saveXmlDocument(document, path));
  EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(XmlStoreTest, EveryTruncationFailsCleanly) {
  pugi::xml_document full;
  resetXmlDocument(full, UndoStoreRootName);
  pugi::xml_node record = appendUndoRecord(full, {"Fonts", "HKEY_LOCAL_MACHINE\\a\\b", "c:\\f.ttf"});
  pugi::xml_node item = record.append_child("ITEM");
  item.append_attribute("SUBKEY").set_value("HKEY_LOCAL_MACHINE\\a");
  item.append_attribute("NAME").set_value("b");
  item.append_attribute("TYPE").set_value("rdString");
  item.append_attribute("VALUE").set_value("c:\\\\f.ttf");
  const std::string text = xmlDocumentText(full);

  for (std::size_t length = 0; length <= text.size(); ++length) {
    XmlLoadResult result = parseXmlDocument(document, std::string_view(text).substr(0, length), path,
                                            UndoStoreRootName);
    if (result) {
      // Only the whole text, or the whole text short of its final line break, is a document.
      EXPECT_GE(length, text.size() - 1);
      EXPECT_EQ(xmlDocumentText(document), text);
    } else {
      EXPECT_EQ(xmlDocumentText(document), "<?xml version=\"1.0\"?>\n<TidewellRegistryCleaner />\n")
          << "length " << length;
    }
  }
}

TEST_F(XmlStoreTest, SaveAndLoadAgainGiveTheSameBytes) {
  resetXmlDocument(document, UndoStoreRootName);
  appendUndoRecord(document, {"Name \"quoted\" & <marked>", "T\\y", "p\xC3\xA4th"});
  ASSERT_TRUE(saveXmlDocument(document, path));
  const std::string saved = readFile(path);

  pugi::xml_document loaded;
  ASSERT_TRUE(loadXmlDocument(loaded, path, UndoStoreRootName));
  auto records = listUndoRecords(loaded);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].name, "Name \"quoted\" & <marked>");
  EXPECT_EQ(records[0].type, "T\\y");
  EXPECT_EQ(records[0].path, "p\xC3\xA4th");
  ASSERT_TRUE(saveXmlDocument(loaded, path));
  EXPECT_EQ(readFile(path), saved);
}

#ifndef _WIN32
// A save that fails half-way is made with a file size limit (setrlimit), which Windows lacks.
TEST_F(XmlStoreTest, FailedSaveKeepsTheOldFile) {
  resetXmlDocument(document, UndoStoreRootName);
  ASSERT_TRUE(saveXmlDocument(document, path));
  const std::string old = readFile(path);
  for (int i = 0; i < 200; ++i) appendUndoRecord(document, {"n", "t", "p"});

  // Files may not grow beyond a few bytes for the time of the save (this also holds for root).
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  platform::SaveResult result = saveXmlDocument(document, path);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(result);
  EXPECT_NE(result.description().find(path), std::string::npos);
  EXPECT_EQ(readFile(path), old);
  EXPECT_TRUE(otherFiles().empty()) << "no temporary file is left behind";
}
#endif

TEST(UndoStoreRecords, AppendListRemoveClear) {
  pugi::xml_document store;
  resetXmlDocument(store, UndoStoreRootName);
  for (const char *name : {"first", "second", "third"}) appendUndoRecord(store, {name, "t", "p"});
  store.document_element().insert_child_before(pugi::node_comment, undoRecordAt(store, 1));
  EXPECT_EQ(xmlDocumentText(store).find("<ELEMENT NAME=\"first\" TYPE=\"t\" PATH=\"p\" />"),
            xmlDocumentText(store).find("<ELEMENT"));

  auto names = [&] {
    std::vector<std::string> result;
    for (const UndoRecord &record : listUndoRecords(store)) result.push_back(record.name);
    return result;
  };
  EXPECT_EQ(names(), (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_TRUE(removeUndoRecord(store, 1));
  EXPECT_EQ(names(), (std::vector<std::string>{"first", "third"}));
  EXPECT_FALSE(removeUndoRecord(store, 2));
  clearUndoRecords(store);
  EXPECT_TRUE(names().empty());
  EXPECT_EQ(xmlDocumentText(store), "<?xml version=\"1.0\"?>\n<TidewellRegistryCleaner />\n");
}

TEST(IgnoreListEntries, FromKeyText) {
  IgnoreEntry entry = ignoreEntryFromKeyText(
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.xyz");
  EXPECT_EQ(entry.root, "HKEY_CURRENT_USER");
  EXPECT_EQ(entry.key, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts");
  EXPECT_EQ(entry.value, ".xyz");

  const std::string sharedDll =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls\\C:\\Program Files\\foo.dll";
  entry = ignoreEntryFromKeyText(sharedDll);
  EXPECT_EQ(entry.key, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls\\C:\\Program Files");
  EXPECT_EQ(entry.value, "foo.dll");
  EXPECT_EQ(entry.root + "\\" + entry.key + "\\" + entry.value, sharedDll);

  entry = ignoreEntryFromKeyText("HKEY_USERS\\x");
  EXPECT_EQ(entry.root, "HKEY_USERS");
  EXPECT_EQ(entry.key, "");
  EXPECT_EQ(entry.value, "x");
  entry = ignoreEntryFromKeyText("alone");
  EXPECT_EQ(entry.root, "");
  EXPECT_EQ(entry.key, "");
  EXPECT_EQ(entry.value, "alone");
}

TEST(IgnoreListEntries, AppendListRemove) {
  pugi::xml_document list;
  resetXmlDocument(list, IgnoreListRootName);
  for (const char *value : {"1", "2", "3", "4", "5"}) appendIgnoreEntry(list, {"HKEY_USERS", "k", value});
  appendIgnoreEntry(list, {"HKEY_USERS", "k", "5"});
  EXPECT_NE(xmlDocumentText(list).find("<ERROR ROOT=\"HKEY_USERS\" KEY=\"k\" VALUE=\"1\" />"), std::string::npos);

  // Removing the second and fourth (from the last to the first) leaves the others in order.
  EXPECT_TRUE(removeIgnoreEntry(list, 3));
  EXPECT_TRUE(removeIgnoreEntry(list, 1));
  EXPECT_FALSE(removeIgnoreEntry(list, 4));
  std::vector<std::string> values;
  for (const IgnoreEntry &entry : listIgnoreEntries(list)) values.push_back(entry.value);
  EXPECT_EQ(values, (std::vector<std::string>{"1", "3", "5", "5"}));
}

TEST(IgnoreListEntries, EveryChildIsAnEntryOrRecord) {
  pugi::xml_document list;
  ASSERT_TRUE(parseXmlDocument(list,
                               "<IgnoreList><ERROR ROOT='a' KEY='b' VALUE='c'/><!-- note -->"
                               "<OTHER ROOT='d' KEY='e' VALUE='f'/><ERROR ROOT='g' VALUE='i'/></IgnoreList>",
                               "ignore.xml", IgnoreListRootName));
  auto entries = listIgnoreEntries(list);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(entries[1].complete);
  EXPECT_EQ(entries[1].root, "d");
  EXPECT_FALSE(entries[2].complete);
  EXPECT_EQ(entries[2].value, "i");

  pugi::xml_document store;
  ASSERT_TRUE(parseXmlDocument(store, "<TidewellRegistryCleaner><ELEMENT NAME='a' TYPE='b'/><Other/></TidewellRegistryCleaner>",
                               "Backup.xml", UndoStoreRootName));
  auto records = listUndoRecords(store);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_FALSE(records[0].complete);
  EXPECT_EQ(records[0].type, "b");
  EXPECT_FALSE(records[1].complete);
}

} // namespace
} // namespace tw
