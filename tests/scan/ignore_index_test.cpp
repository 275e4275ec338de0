// The ignore test: exact, case-sensitive match of ROOT\KEY\VALUE against an error's key text,
// whatever the entries' element names, and the failure when the test reaches a malformed entry.

#include "scan/IgnoreIndex.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

using tw::scan::IgnoreEntry;
using tw::scan::IgnoreIndex;
using tw::scan::IgnoreListError;

namespace {

constexpr const char *AppKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\foo.exe";

IgnoreIndex indexOf(const char *xml) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_string(xml)) << xml;
  return IgnoreIndex::fromXml(document, "ignore.xml");
}

TEST(IgnoreIndex, MatchesWholeTextExactly) {
  IgnoreIndex index = indexOf(
      "<IgnoreList><ERROR ROOT='HKEY_LOCAL_MACHINE' "
      "KEY='SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths' VALUE='foo.exe'/></IgnoreList>");
  EXPECT_TRUE(index.ignores(AppKey));
  // Case, prefixes and extensions of the text do not match.
  EXPECT_FALSE(index.ignores(
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\FOO.EXE"));
  EXPECT_FALSE(index.ignores(
      "hkey_local_machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\foo.exe"));
  EXPECT_FALSE(index.ignores(
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\foo.ex"));
  EXPECT_FALSE(index.ignores(std::string(AppKey) + "\\x"));
  EXPECT_FALSE(index.ignores(""));
}

TEST(IgnoreIndex, EmptyListsIgnoreNothing) {
  EXPECT_FALSE(IgnoreIndex().ignores(AppKey));
  EXPECT_FALSE(indexOf("<IgnoreList/>").ignores(AppKey));
  EXPECT_FALSE(IgnoreIndex::fromXml(pugi::xml_node()).ignores(AppKey));
  pugi::xml_document empty;
  EXPECT_FALSE(IgnoreIndex::fromXml(empty).ignores(AppKey));
}

TEST(IgnoreIndex, AnyElementNameCountsButOtherNodesDoNot) {
  IgnoreIndex index = indexOf(
      "<IgnoreList><!-- hand-edited --><Other ROOT='A' KEY='B' VALUE='C'/><?pi x?>"
      "<ERROR ROOT='D' KEY='E\\F' VALUE='G'/></IgnoreList>");
  EXPECT_TRUE(index.ignores("A\\B\\C"));
  EXPECT_TRUE(index.ignores("D\\E\\F\\G"));
  EXPECT_FALSE(index.hasMalformedEntry());
  EXPECT_EQ(index.reachableTextCount(), 2u);
}

TEST(IgnoreIndex, EntryTakenFromTheDocumentOrItsRootElement) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string("<IgnoreList><ERROR ROOT='R' KEY='K' VALUE='V'/></IgnoreList>"));
  EXPECT_TRUE(IgnoreIndex::fromXml(document).ignores("R\\K\\V"));
  EXPECT_TRUE(IgnoreIndex::fromXml(document.document_element()).ignores("R\\K\\V"));
}

TEST(IgnoreIndex, SharedDllEntrySplitAtFirstAndLastBackslashStillMatches) {
  // An entry made from a row whose last name is a file path holds part of the path in KEY.
  const std::string keyText = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                              "SharedDlls\\C:\\Program Files\\Gone\\gone.dll";
  IgnoreIndex index({{"HKEY_LOCAL_MACHINE",
                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls\\C:\\Program "
                      "Files\\Gone",
                      "gone.dll"}});
  EXPECT_TRUE(index.ignores(keyText));
}

TEST(IgnoreIndex, EmptyAttributesAreComposedAsEmptyText) {
  // An empty KEY gives two backslashes in a row, which no key text holds.
  IgnoreIndex index = indexOf("<IgnoreList><ERROR ROOT='HKEY_CURRENT_USER' KEY='' VALUE='x'/>"
                              "<ERROR ROOT='' KEY='' VALUE=''/></IgnoreList>");
  EXPECT_FALSE(index.hasMalformedEntry());
  EXPECT_TRUE(index.ignores("HKEY_CURRENT_USER\\\\x"));
  EXPECT_FALSE(index.ignores("HKEY_CURRENT_USER\\x"));
  EXPECT_TRUE(index.ignores("\\\\"));
}

TEST(IgnoreIndex, DuplicateEntriesCountOnce) {
  IgnoreIndex index({{"R", "K", "V"}, {"R", "K", "V"}});
  EXPECT_TRUE(index.ignores("R\\K\\V"));
  EXPECT_EQ(index.reachableTextCount(), 1u);
}

// A malformed entry fails the test for every error that no earlier entry hides; an error that an
// earlier entry hides never reaches it, and entries after it are never reached.
TEST(IgnoreIndex, MalformedEntryFailsOnlyWhenReached) {
  IgnoreIndex index = indexOf("<IgnoreList>"
                              "<ERROR ROOT='R' KEY='K' VALUE='early'/>"
                              "<ERROR ROOT='R' VALUE='broken'/>"
                              "<ERROR ROOT='R' KEY='K' VALUE='late'/>"
                              "</IgnoreList>");
  EXPECT_TRUE(index.hasMalformedEntry());
  EXPECT_TRUE(index.ignores("R\\K\\early"));
  EXPECT_THROW(index.ignores("R\\K\\late"), IgnoreListError);
  EXPECT_THROW(index.ignores("R\\K\\anything"), IgnoreListError);
  EXPECT_EQ(index.reachableTextCount(), 1u);
}

TEST(IgnoreIndex, MalformedEntryMessageNamesFileEntryAndAttribute) {
  struct Case {
    const char *xml;
    const char *message;
  } cases[] = {
      {"<IgnoreList><ERROR KEY='K' VALUE='V'/></IgnoreList>",
       "ignore.xml: ignore list entry 1 <ERROR> has no ROOT attribute"},
      {"<IgnoreList><ERROR ROOT='R' KEY='K' VALUE='V'/><Item ROOT='R' VALUE='V'/></IgnoreList>",
       "ignore.xml: ignore list entry 2 <Item> has no KEY attribute"},
      {"<IgnoreList><!-- c --><ERROR ROOT='R' KEY='K'/></IgnoreList>",
       "ignore.xml: ignore list entry 1 <ERROR> has no VALUE attribute"},
      // Attribute names are case-sensitive, as the document's are.
      {"<IgnoreList><ERROR root='R' key='K' value='V'/></IgnoreList>",
       "ignore.xml: ignore list entry 1 <ERROR> has no ROOT attribute"},
  };
  for (const Case &c : cases) {
    IgnoreIndex index = indexOf(c.xml);
    try {
      index.ignores("X\\Y\\Z");
      ADD_FAILURE() << "no error for " << c.xml;
    } catch (const IgnoreListError &error) {
      EXPECT_STREQ(error.what(), c.message) << c.xml;
    }
  }
}

TEST(IgnoreIndex, EntriesFromListKeepMissingApartFromEmpty) {
  std::vector<IgnoreEntry> entries = {{"R", "K", std::string()}, {"R", std::nullopt, "V"}};
  IgnoreIndex index(entries);
  EXPECT_TRUE(index.ignores("R\\K\\"));
  EXPECT_THROW(index.ignores("R\\K\\V"), IgnoreListError);

  pugi::xml_document document;
  ASSERT_TRUE(document.load_string("<L><E ROOT='R' VALUE=''/></L>"));
  std::vector<IgnoreEntry> read = IgnoreIndex::entriesFromXml(document);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].root, std::optional<std::string>("R"));
  EXPECT_EQ(read[0].key, std::nullopt);
  EXPECT_EQ(read[0].value, std::optional<std::string>(""));
}

} // namespace
