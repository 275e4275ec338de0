#include "repair/IgnoreList.h"

#include "RepairTestMachine.h"

#include "registry/XmlStore.h"
#include "scan/IgnoreIndex.h"

#include <gtest/gtest.h>

namespace tw::repair {
namespace {

constexpr const char *FileExts =
    R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts)";

class IgnoreListTest : public ::testing::Test {
protected:
  test::RepairTestMachine machine;
  pugi::xml_document document;
  lists::CheckableList entries;
  lists::CheckableList errors{/*sorted=*/true};
  std::shared_ptr<const scan::IgnoreIndex> published;
  int publications = 0;

  void SetUp() override { resetXmlDocument(document, IgnoreListRootName); }

  IgnoreListFile ignoreList(std::string path = {}) {
    if (path.empty()) path = machine.pathOf("ignore.xml");
    return {{document, path}, [this](std::shared_ptr<const scan::IgnoreIndex> index) {
              published = std::move(index);
              ++publications;
            }};
  }

  /// The entries of the file on disk, "ROOT|KEY|VALUE".
  std::vector<std::string> savedEntries() {
    pugi::xml_document saved;
    EXPECT_TRUE(loadXmlDocument(saved, machine.pathOf("ignore.xml"), IgnoreListRootName));
    std::vector<std::string> texts;
    for (const IgnoreEntry &entry : listIgnoreEntries(saved))
      texts.push_back(entry.root + "|" + entry.key + "|" + entry.value);
    return texts;
  }
  std::vector<std::string> rowValues() {
    std::vector<std::string> values;
    for (int i = 0; i < entries.count(); ++i) values.push_back(entries.row(i).subItem(1));
    return values;
  }
};

TEST_F(IgnoreListTest, ErrorRowsMoveToTheListAndStopBeingReported) {
  errors.append(test::errorRow("File Extensions", std::string(FileExts) + "\\.xyz"));
  errors.append(test::errorRow("File Extensions", std::string(FileExts) + "\\.abc"));
  errors.setChecked(1, false);
  ActionResult result = addErrorsToIgnoreList(errors, entries, ignoreList());
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 1);
  EXPECT_EQ(test::rowTexts(errors), std::vector<std::string>{"File Extensions|" + std::string(FileExts) + "\\.abc"});

  pugi::xml_node entry = document.document_element().first_child();
  EXPECT_STREQ(entry.name(), "ERROR");
  std::vector<std::string> attributes;
  for (pugi::xml_attribute attribute : entry.attributes())
    attributes.push_back(std::string(attribute.name()) + "=" + attribute.value());
  EXPECT_EQ(attributes, (std::vector<std::string>{
                            "ROOT=HKEY_CURRENT_USER",
                            "KEY=Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts",
                            "VALUE=.xyz"}));
  EXPECT_EQ(savedEntries().size(), 1u);
  ASSERT_EQ(entries.count(), 1);
  EXPECT_EQ(entries.row(0).caption, "HKEY_CURRENT_USER");

  ASSERT_EQ(publications, 1);
  EXPECT_TRUE(published->ignores(std::string(FileExts) + "\\.xyz"));
  EXPECT_FALSE(published->ignores(std::string(FileExts) + "\\.XYZ"));
  EXPECT_FALSE(published->ignores(std::string(FileExts) + "\\.abc"));
}

TEST_F(IgnoreListTest, SharedDllsKeyTextsStillMatchWhenCut) {
  const std::string keyText =
      R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDlls\C:\Program Files\x.dll)";
  errors.append(test::errorRow("Shared DLLs", keyText));
  ASSERT_TRUE(addErrorsToIgnoreList(errors, entries, ignoreList()));
  EXPECT_EQ(entries.row(0).subItem(1), "x.dll");
  EXPECT_TRUE(published->ignores(keyText));
}

TEST_F(IgnoreListTest, RemoveSecondAndFourthOfFive) {
  for (const char *value : {"1", "2", "3", "4", "5"})
    ASSERT_TRUE(addTypedIgnoreEntry(entries, ignoreList(), "HKEY_CURRENT_USER", "Software", value));
  ASSERT_EQ(rowValues(), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  entries.setChecked(1, true);
  entries.setChecked(3, true);
  ActionResult result = removeCheckedIgnoreEntries(entries, ignoreList());
  ASSERT_TRUE(result);
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(rowValues(), (std::vector<std::string>{"1", "3", "5"}));
  EXPECT_EQ(savedEntries(), (std::vector<std::string>{"HKEY_CURRENT_USER|Software|1",
                                                      "HKEY_CURRENT_USER|Software|3",
                                                      "HKEY_CURRENT_USER|Software|5"}));
  EXPECT_FALSE(published->ignores("HKEY_CURRENT_USER\\Software\\2"));
  EXPECT_TRUE(published->ignores("HKEY_CURRENT_USER\\Software\\3"));
}

TEST_F(IgnoreListTest, TypedEntryIsKeptAsTypedUnlessAFieldIsEmpty) {
  ActionResult result = addTypedIgnoreEntry(entries, ignoreList(), "HKCU", "\\Soft ware ", " v");
  ASSERT_TRUE(result);
  EXPECT_EQ(result.count, 1);
  EXPECT_EQ(savedEntries(), std::vector<std::string>{"HKCU|\\Soft ware | v"});

  // An empty field adds nothing, but the file is still written and the page listed anew.
  ASSERT_TRUE(removeCheckedIgnoreEntries(entries, ignoreList())); // nothing checked
  std::remove(machine.pathOf("ignore.xml").c_str());
  entries.clear();
  result = addTypedIgnoreEntry(entries, ignoreList(), "HKEY_CURRENT_USER", "Software", "");
  ASSERT_TRUE(result);
  EXPECT_EQ(result.count, 0);
  EXPECT_EQ(savedEntries(), std::vector<std::string>{"HKCU|\\Soft ware | v"});
  EXPECT_EQ(entries.count(), 1);
  EXPECT_EQ(publications, 1);
}

TEST_F(IgnoreListTest, TwinEntriesEachHideTheError) {
  for (int i = 0; i < 2; ++i)
    ASSERT_TRUE(addTypedIgnoreEntry(entries, ignoreList(), "HKEY_CURRENT_USER", "Software", "twin"));
  ASSERT_EQ(entries.count(), 2);
  entries.setChecked(0, true);
  ASSERT_TRUE(removeCheckedIgnoreEntries(entries, ignoreList()));
  EXPECT_EQ(entries.count(), 1);
  EXPECT_TRUE(published->ignores("HKEY_CURRENT_USER\\Software\\twin"));
}

TEST_F(IgnoreListTest, RemoveOnAnEmptyPageDoesNothing) {
  appendIgnoreEntry(document, {"HKEY_CURRENT_USER", "Software", "not listed yet"});
  ActionResult result = removeCheckedIgnoreEntries(entries, ignoreList());
  EXPECT_TRUE(result);
  EXPECT_FALSE(test::fileText(machine.pathOf("ignore.xml")));
  EXPECT_EQ(listIgnoreEntries(document).size(), 1u);
  EXPECT_EQ(publications, 0);
}

TEST_F(IgnoreListTest, UnsavedFileKeepsTheChangeInMemory) {
  errors.append(test::errorRow("File Extensions", std::string(FileExts) + "\\.xyz"));
  ActionResult result = addErrorsToIgnoreList(errors, entries, ignoreList(machine.unreachablePath()));
  EXPECT_EQ(result.status, ActionResult::Status::IgnoreListNotSaved);
  EXPECT_NE(result.message.find("no-such-folder"), std::string::npos) << result.message;
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_EQ(entries.count(), 1);
  ASSERT_TRUE(published);
  EXPECT_TRUE(published->ignores(std::string(FileExts) + "\\.xyz"));
}

TEST_F(IgnoreListTest, DamagedEntryIsListedSoItCanBeRemoved) {
  appendIgnoreEntry(document, {"HKEY_CURRENT_USER", "Software", "good"});
  pugi::xml_node damaged = document.document_element().append_child("ERROR");
  damaged.append_attribute("ROOT").set_value("HKEY_CURRENT_USER");
  damaged.append_attribute("VALUE").set_value("no key");
  ActionResult result = refreshIgnoreList(entries, document);
  EXPECT_EQ(result.status, ActionResult::Status::RecordDamaged);
  EXPECT_NE(result.message.find("entry 2"), std::string::npos) << result.message;
  ASSERT_EQ(entries.count(), 2);
  EXPECT_EQ(entries.row(1).subItem(1), "no key");

  entries.setChecked(1, true);
  ASSERT_TRUE(removeCheckedIgnoreEntries(entries, ignoreList()));
  EXPECT_EQ(savedEntries(), std::vector<std::string>{"HKEY_CURRENT_USER|Software|good"});
  ASSERT_TRUE(published);
  EXPECT_FALSE(published->hasMalformedEntry());
}

} // namespace
} // namespace tw::repair
