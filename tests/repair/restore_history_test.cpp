#include "repair/RestoreHistory.h"

#include "repair/Fixing.h"

#include "RepairTestMachine.h"

#include "platform/RegistryApi.h"
#include "registry/XmlStore.h"

#include <gtest/gtest.h>

#include <map>

namespace tw::repair {
namespace {

using namespace platform::regtype;
using test::Bytes;

constexpr platform::RegKey HKLM = platform::HKEY_LOCAL_MACHINE;

class RestoreHistoryTest : public ::testing::Test {
protected:
  test::RepairTestMachine machine;
  pugi::xml_document store;
  lists::CheckableList history;

  void SetUp() override { resetXmlDocument(store, UndoStoreRootName); }

  DocumentFile undoStore() { return {store, machine.pathOf("Backup.xml")}; }

  /// Fixes one key row per name (keys below HKLM\SOFTWARE\T), as "Fix Selected" would.
  void fixKeys(const std::vector<std::string> &names) {
    lists::CheckableList errors(/*sorted=*/true);
    for (const std::string &name : names)
      errors.append(test::errorRow("Uninstall", "HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\" + name, name));
    // The walk runs from the bottom, so list them reversed to get records in `names` order.
    std::vector<lists::Row> reversed;
    for (int i = errors.count() - 1; i >= 0; --i) reversed.push_back(errors.row(i));
    lists::CheckableList ordered(/*sorted=*/false);
    ordered.appendRows(std::move(reversed));
    ActionResult result = fixSelectedErrors(ordered, undoStore());
    ASSERT_TRUE(result) << result.message;
  }

  /// What the program sees after it was closed and started again: the saved file, loaded.
  void reopen() {
    ASSERT_TRUE(loadXmlDocument(store, machine.pathOf("Backup.xml"), UndoStoreRootName));
    ASSERT_TRUE(refreshHistory(history, store));
  }

  std::vector<std::string> recordPaths() {
    std::vector<std::string> paths;
    for (const UndoRecord &record : listUndoRecords(store)) paths.push_back(record.path);
    return paths;
  }
  std::vector<std::string> rowPaths() {
    std::vector<std::string> paths;
    for (int i = 0; i < history.count(); ++i) paths.push_back(history.row(i).subItem(1));
    return paths;
  }
};

TEST_F(RestoreHistoryTest, RefreshShowsEveryRecordInOrder) {
  appendUndoRecord(store, {"Application", "HKEY_LOCAL_MACHINE\\A\\b", "C:\\b.exe"});
  appendUndoRecord(store, {"IE toolbar", "Toolbar", "C:\\t.dll"});
  store.document_element().append_child(pugi::node_comment).set_value("hand-edited");
  ActionResult result = refreshHistory(history, store);
  ASSERT_TRUE(result);
  ASSERT_EQ(history.count(), 2);
  EXPECT_EQ(history.row(0).caption, "Application");
  EXPECT_EQ(history.row(0).subItems, (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\A\\b", "C:\\b.exe"}));
  EXPECT_EQ(history.row(1).caption, "IE toolbar");
  EXPECT_FALSE(history.row(0).checked);

  // A record without its attributes is still listed, so that it can be restored or cleared.
  store.document_element().append_child("ELEMENT").append_attribute("NAME").set_value("half");
  result = refreshHistory(history, store);
  EXPECT_EQ(result.status, ActionResult::Status::RecordDamaged);
  EXPECT_NE(result.message.find("record 3"), std::string::npos) << result.message;
  ASSERT_EQ(history.count(), 3);
  EXPECT_EQ(history.row(2).caption, "half");
  EXPECT_EQ(history.row(2).subItem(0), "");
}

TEST_F(RestoreHistoryTest, EveryKindOfValueAndKeyComesBackExactly) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\T\Kinds]
@="default"
"text"="plain"
"backslash"="C:\\dir\\file.exe"
"unc"="\\\\server\\share"
"accents"="Grüße, café"
"empty"=""
"expand"=hex(2):25,00,53,00,59,00,53,00,54,00,45,00,4d,00,52,00,4f,00,4f,00,54,00,25,00,00,00
"number"=dword:00001000
"max"=dword:ffffffff
"zero"=dword:00000000
"one byte"=hex:7f
"bin26"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19
"bin27"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,1a
"no bytes"=hex:
"multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"none"=hex(0):01,02
"qword"=hex(b):01,00,00,00,00,00,00,00
[HKEY_LOCAL_MACHINE\SOFTWARE\T\Kinds\Child]
"inner"="x"
[HKEY_LOCAL_MACHINE\SOFTWARE\T\Kinds\Child\Valueless]
)");
  const auto before = [&](const char *name) { return machine.value(HKLM, "SOFTWARE\\T\\Kinds", name); };
  std::map<std::string, std::optional<std::pair<std::uint32_t, Bytes>>> original;
  for (const char *name : {"", "text", "backslash", "unc", "accents", "empty", "expand", "number", "max", "zero",
                           "one byte", "bin26", "bin27", "no bytes", "multi", "none", "qword"})
    original[name] = before(name);

  fixKeys({"Kinds"});
  ASSERT_FALSE(machine.keyExists(HKLM, "SOFTWARE\\T\\Kinds"));
  reopen();
  ASSERT_EQ(history.count(), 1);
  history.setChecked(0, true);
  ActionResult result = restoreCheckedRecords(history, undoStore());
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 1);

  // Every value comes back with its type and data, the expandable, multi-string, untyped and
  // 64-bit ones included, and so does the key that held no values.
  for (const auto &[name, value] : original) {
    ASSERT_TRUE(value.has_value()) << name;
    EXPECT_EQ(machine.value(HKLM, "SOFTWARE\\T\\Kinds", name), value) << "value '" << name << "'";
  }
  EXPECT_EQ(machine.value(HKLM, "SOFTWARE\\T\\Kinds", "expand"),
            std::make_pair(ExpandSz, test::textBytes("%SYSTEMROOT%")));
  EXPECT_EQ(machine.value(HKLM, "SOFTWARE\\T\\Kinds\\Child", "inner"), std::make_pair(Sz, test::textBytes("x")));
  EXPECT_TRUE(machine.keyExists(HKLM, "SOFTWARE\\T\\Kinds\\Child\\Valueless"));
  EXPECT_TRUE(history.isEmpty());
  EXPECT_EQ(listUndoRecords(store).size(), 0u);
}

TEST_F(RestoreHistoryTest, VanishedKeysComeBackWithTheirParents) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\T\Deep\Er\Est]
"v"=dword:00000007
)");
  fixKeys({"Deep"});
  // Recorded items name only the key that held values; its parents went with the fix too.
  machine.importReg("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\n");
  ASSERT_FALSE(machine.keyExists(HKLM, "SOFTWARE\\T"));
  reopen();
  history.setChecked(0, true);
  ASSERT_TRUE(restoreCheckedRecords(history, undoStore()));
  EXPECT_EQ(machine.value(HKLM, "SOFTWARE\\T\\Deep\\Er\\Est", "v"), std::make_pair(Dword, Bytes{7, 0, 0, 0}));
}

TEST_F(RestoreHistoryTest, CheckedRecordsGoAndTheRestKeepTheirOrder) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\T\r0]
"v"="0"
[HKEY_LOCAL_MACHINE\SOFTWARE\T\r1]
"v"="1"
[HKEY_LOCAL_MACHINE\SOFTWARE\T\r2]
"v"="2"
[HKEY_LOCAL_MACHINE\SOFTWARE\T\r3]
"v"="3"
)");
  fixKeys({"r0", "r1", "r2", "r3"});
  reopen();
  ASSERT_EQ(rowPaths(), (std::vector<std::string>{"r0", "r1", "r2", "r3"}));
  history.setChecked(1, true);
  history.setChecked(3, true);
  ActionResult result = restoreCheckedRecords(history, undoStore());
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(rowPaths(), (std::vector<std::string>{"r0", "r2"}));
  EXPECT_EQ(recordPaths(), (std::vector<std::string>{"r0", "r2"}));
  EXPECT_TRUE(machine.keyExists(HKLM, "SOFTWARE\\T\\r1"));
  EXPECT_TRUE(machine.keyExists(HKLM, "SOFTWARE\\T\\r3"));
  EXPECT_FALSE(machine.keyExists(HKLM, "SOFTWARE\\T\\r0"));
  // The restore reached the file as well.
  pugi::xml_document saved;
  ASSERT_TRUE(loadXmlDocument(saved, machine.pathOf("Backup.xml"), UndoStoreRootName));
  EXPECT_EQ(xmlDocumentText(saved), xmlDocumentText(store));
}

TEST_F(RestoreHistoryTest, DamagedRecordIsNotWrittenAndStaysWhileTheOthersGoOn) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\T\r0]
"v"="0"
[HKEY_LOCAL_MACHINE\SOFTWARE\T\r1]
"a"="1a"
"b"="1b"
[HKEY_LOCAL_MACHINE\SOFTWARE\T\r2]
"v"="2"
)");
  fixKeys({"r0", "r1", "r2"});
  // The second item of record 1 loses its VALUE: none of its items is written back.
  undoRecordAt(store, 1).last_child().remove_attribute("VALUE");
  ASSERT_TRUE(refreshHistory(history, store));
  history.setAllChecked(true);
  ActionResult result = restoreCheckedRecords(history, undoStore());
  EXPECT_EQ(result.status, ActionResult::Status::RecordDamaged);
  EXPECT_NE(result.message.find("lacks its VALUE attribute"), std::string::npos) << result.message;
  EXPECT_NE(result.message.find("position 1"), std::string::npos) << result.message;
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(recordPaths(), (std::vector<std::string>{"r1"}));
  EXPECT_EQ(rowPaths(), (std::vector<std::string>{"r1"}));
  EXPECT_TRUE(machine.keyExists(HKLM, "SOFTWARE\\T\\r2"));
  EXPECT_TRUE(machine.keyExists(HKLM, "SOFTWARE\\T\\r0"));
  EXPECT_FALSE(machine.keyExists(HKLM, "SOFTWARE\\T\\r1"));
}

TEST_F(RestoreHistoryTest, UnsavedRegistryPutsTheRecordsBack) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\T\r0]
"v"="0"
[HKEY_LOCAL_MACHINE\SOFTWARE\T\r1]
"v"="1"
[HKEY_LOCAL_MACHINE\SOFTWARE\T\r2]
"v"="2"
)");
  fixKeys({"r0", "r1", "r2"});
  const std::string storeBefore = xmlDocumentText(store);
  const std::string fileBefore = test::fileText(machine.pathOf("Backup.xml")).value_or("");
  ASSERT_TRUE(refreshHistory(history, store));
  history.setChecked(0, true);
  history.setChecked(2, true);
  machine.setFlushFails(true);
  ActionResult result = restoreCheckedRecords(history, undoStore());
  EXPECT_EQ(result.status, ActionResult::Status::RegistryNotSaved);
  EXPECT_EQ(result.count, 0);
  EXPECT_EQ(xmlDocumentText(store), storeBefore);
  EXPECT_EQ(test::fileText(machine.pathOf("Backup.xml")), fileBefore);
  EXPECT_EQ(rowPaths(), (std::vector<std::string>{"r0", "r1", "r2"}));
  EXPECT_FALSE(machine.keyExists(HKLM, "SOFTWARE\\T\\r0"));
  EXPECT_FALSE(machine.keyExists(HKLM, "SOFTWARE\\T\\r2"));
}

TEST_F(RestoreHistoryTest, UnsavedUndoStoreStillRestores) {
  machine.importReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\r0]\n\"v\"=\"0\"\n");
  fixKeys({"r0"});
  ASSERT_TRUE(refreshHistory(history, store));
  history.setChecked(0, true);
  ActionResult result = restoreCheckedRecords(history, {store, machine.unreachablePath()});
  EXPECT_EQ(result.status, ActionResult::Status::UndoStoreNotSaved);
  EXPECT_EQ(result.count, 1);
  EXPECT_TRUE(machine.keyExists(HKLM, "SOFTWARE\\T\\r0"));
  EXPECT_TRUE(history.isEmpty());
}

TEST_F(RestoreHistoryTest, ClearEmptiesTheStoreAndItsFile) {
  appendUndoRecord(store, {"a", "b", "c"});
  appendUndoRecord(store, {"d", "e", "f"});
  ASSERT_TRUE(refreshHistory(history, store));
  ActionResult result = clearHistory(history, undoStore());
  ASSERT_TRUE(result);
  EXPECT_EQ(result.count, 2);
  EXPECT_TRUE(history.isEmpty());
  pugi::xml_document saved;
  ASSERT_TRUE(loadXmlDocument(saved, machine.pathOf("Backup.xml"), UndoStoreRootName));
  EXPECT_STREQ(saved.document_element().name(), UndoStoreRootName);
  EXPECT_FALSE(saved.document_element().first_child());
}

TEST_F(RestoreHistoryTest, ClearThatCannotBeSavedKeepsTheRecords) {
  appendUndoRecord(store, {"a", "b", "c"});
  appendUndoRecord(store, {"d", "e", "f"});
  const std::string before = xmlDocumentText(store);
  ASSERT_TRUE(refreshHistory(history, store));
  ActionResult result = clearHistory(history, {store, machine.unreachablePath()});
  EXPECT_EQ(result.status, ActionResult::Status::UndoStoreNotSaved);
  EXPECT_EQ(xmlDocumentText(store), before);
  EXPECT_EQ(history.count(), 2);
}

TEST_F(RestoreHistoryTest, CheckAllToggle) {
  EXPECT_EQ(toggleHistoryChecks(history, "Ch&eck All"), "Ch&eck All");
  appendUndoRecord(store, {"a", "b", "c"});
  appendUndoRecord(store, {"d", "e", "f"});
  ASSERT_TRUE(refreshHistory(history, store));
  EXPECT_EQ(toggleHistoryChecks(history, "Ch&eck All"), "Unch&eck All");
  EXPECT_EQ(history.checkedRows(), (std::vector<int>{0, 1}));
  EXPECT_EQ(toggleHistoryChecks(history, "Unch&eck All"), "Ch&eck All");
  EXPECT_TRUE(history.checkedRows().empty());
  // Any caption but the exact "Ch&eck All" unchecks.
  history.setChecked(1, true);
  EXPECT_EQ(toggleHistoryChecks(history, "Check All"), "Ch&eck All");
  EXPECT_TRUE(history.checkedRows().empty());
}

} // namespace
} // namespace tw::repair

namespace tw::repair {
namespace {

/// Appends an ITEM with the given attributes, in order ("SUBKEY", text, ...).
void appendItem(pugi::xml_node record, std::initializer_list<std::pair<const char *, const char *>> attributes) {
  pugi::xml_node item = record.append_child("ITEM");
  for (const auto &[name, value] : attributes) item.append_attribute(name).set_value(value);
}

TEST_F(RestoreHistoryTest, RecordsThatCannotBeWrittenBackExactlyStayAndTheRestGoesOn) {
  const auto record = [this](const char *path) { return appendUndoRecord(store, {"Test", "key", path}); };
  appendItem(record("good"), {{"SUBKEY", "HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\good"}, {"NAME", "v"},
                              {"TYPE", "rdString"}, {"VALUE", "ok"}});
  appendItem(record("unknown type"), {{"SUBKEY", "HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\u"}, {"NAME", "v"},
                                      {"TYPE", "rdMultiString"}, {"VALUE", "x"}});
  record("no item");
  appendItem(record("not hex"), {{"SUBKEY", "HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\n"}, {"NAME", "v"},
                                 {"TYPE", "rdInteger"}, {"VALUE", "12G4"}});
  appendItem(record("unknown root"), {{"SUBKEY", "HKEY_DYN_DATA\\SOFTWARE\\T\\d"}, {"NAME", "v"},
                                      {"TYPE", "rdString"}, {"VALUE", "x"}});
  pugi::xml_node mixed = record("mixed");
  appendItem(mixed, {{"SUBKEY", "HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\m"}, {"NAME", "a"}, {"TYPE", "rdString"},
                     {"VALUE", "first"}});
  appendItem(mixed, {{"SUBKEY", "HKEY_LOCAL_MACHINE\\SOFTWARE\\T\\m"}, {"NAME", "b"}, {"TYPE", "rdQword"},
                     {"VALUE", "1"}});
  ASSERT_TRUE(refreshHistory(history, store));
  history.setAllChecked(true);
  std::vector<lists::Row> restored;
  ActionResult result = restoreCheckedRecords(history, undoStore(), &restored);
  EXPECT_EQ(result.status, ActionResult::Status::RecordDamaged);
  for (const char *said : {"'rdMultiString'", "holds no ITEM", "'12G4' is not a hexadecimal number",
                           "'HKEY_DYN_DATA'", "'rdQword'", "\"Test\" of key (position 5)"})
    EXPECT_NE(result.message.find(said), std::string::npos) << said << " in\n" << result.message;
  EXPECT_EQ(result.count, 1);
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_EQ(restored[0].subItem(1), "good");
  EXPECT_EQ(recordPaths(), (std::vector<std::string>{"unknown type", "no item", "not hex", "unknown root", "mixed"}));
  EXPECT_EQ(rowPaths(), recordPaths());
  EXPECT_EQ(machine.value(HKLM, "SOFTWARE\\T\\good", "v"), std::make_pair(Sz, test::textBytes("ok")));
  // Nothing of the others was written, not even the sound first item of the mixed record, and
  // nothing went to the classes root in place of an unknown one.
  for (const char *key : {"SOFTWARE\\T\\u", "SOFTWARE\\T\\n", "SOFTWARE\\T\\m", "SOFTWARE\\Classes\\SOFTWARE"})
    EXPECT_FALSE(machine.keyExists(HKLM, key)) << key;
  pugi::xml_document saved;
  ASSERT_TRUE(loadXmlDocument(saved, machine.pathOf("Backup.xml"), UndoStoreRootName));
  EXPECT_EQ(listUndoRecords(saved).size(), 5u);
}

} // namespace
} // namespace tw::repair
