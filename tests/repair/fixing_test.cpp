#include "repair/Fixing.h"

#include "repair/UndoTransaction.h"

#include "RepairTestMachine.h"

#include "platform/FileIdentity.h"
#include "platform/RegistryApi.h"
#include "registry/RegistryAccess.h"
#include "registry/XmlStore.h"
#include "tests/support/SystemCalls.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tw::repair {
namespace {

using platform::regtype::Dword;
using platform::regtype::Sz;

constexpr const char *AppPaths = R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths)";
constexpr const char *SharedDlls = R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDlls)";

/// The attributes of an element as "NAME=value" texts, in document order.
std::vector<std::string> attributesOf(pugi::xml_node node) {
  std::vector<std::string> texts;
  for (pugi::xml_attribute attribute : node.attributes())
    texts.push_back(std::string(attribute.name()) + "=" + attribute.value());
  return texts;
}

/// Every item of a record as one text: "SUBKEY|NAME|TYPE|VALUE".
std::vector<std::string> itemsOf(pugi::xml_node record) {
  std::vector<std::string> items;
  for (pugi::xml_node item : record.children())
    items.push_back(std::string(item.attribute("SUBKEY").value()) + "|" + item.attribute("NAME").value() +
                    "|" + item.attribute("TYPE").value() + "|" + item.attribute("VALUE").value());
  return items;
}

class FixingTest : public ::testing::Test {
protected:
  test::RepairTestMachine machine;
  pugi::xml_document store;
  lists::CheckableList errors{/*sorted=*/true};

  void SetUp() override {
    resetXmlDocument(store, UndoStoreRootName);
    machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths]
"foo.exe"="a value named like the key"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\foo.exe]
@="C:\\Program Files\\Foo\\foo.exe"
"Path"="C:\\Program Files\\Foo"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\foo.exe\Sub]
"n"=dword:00001000
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\bar.exe]
@="C:\\bar.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\baz.exe]
@="C:\\baz.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDlls]
"C:\\Program Files\\Common Files\\foo.dll"=dword:00000001
"C:\\Windows\\kept.dll"=dword:00000002
"relative.dll"=dword:00000003
)");
  }

  DocumentFile undoStore() { return {store, machine.pathOf("Backup.xml")}; }

  std::string appPath(const std::string &name) const { return std::string(AppPaths) + "\\" + name; }
  bool appKeyExists(const std::string &name) {
    return machine.keyExists(platform::HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name);
  }
  std::optional<std::pair<std::uint32_t, test::Bytes>> sharedDll(const std::string &name) {
    return machine.value(platform::HKEY_LOCAL_MACHINE,
                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls", name);
  }
  pugi::xml_node record(std::size_t index) { return undoRecordAt(store, index); }
};

TEST_F(FixingTest, KeyRowRecordsTheWholeTreeThenDeletesIt) {
  errors.append(test::errorRow("Application", appPath("foo.exe"), "C:\\Program Files\\Foo\\foo.exe"));
  ActionResult result = fixSelectedErrors(errors, undoStore());
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 1);
  EXPECT_TRUE(errors.isEmpty());

  EXPECT_EQ(attributesOf(record(0)),
            (std::vector<std::string>{"NAME=Application", "TYPE=" + appPath("foo.exe"),
                                      "PATH=C:\\Program Files\\Foo\\foo.exe"}));
  const std::string subKey = R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\foo.exe)";
  EXPECT_EQ(itemsOf(record(0)),
            (std::vector<std::string>{subKey + R"(||rdString|C:\\Program Files\\Foo\\foo.exe)",
                                      subKey + R"(|Path|rdString|C:\\Program Files\\Foo)",
                                      subKey + R"(\Sub|n|rdInteger|00001000)"}));
  EXPECT_EQ(attributesOf(record(0).last_child()),
            (std::vector<std::string>{"SUBKEY=" + subKey + "\\Sub", "NAME=n", "TYPE=rdInteger",
                                      "VALUE=00001000"}));

  EXPECT_FALSE(appKeyExists("foo.exe"));
  // The value of the parent that shares the key's name is not what the row named.
  EXPECT_TRUE(machine.value(platform::HKEY_LOCAL_MACHINE,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", "foo.exe"));
  EXPECT_TRUE(appKeyExists("bar.exe"));
}

TEST_F(FixingTest, TwoRowsNamingOneKey) {
  errors.append(test::errorRow("Application", appPath("bar.exe"), "upper"));
  errors.append(test::errorRow("Application", appPath("bar.exe"), "lower"));
  ASSERT_TRUE(fixSelectedErrors(errors, undoStore()));
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_FALSE(appKeyExists("bar.exe"));

  // The lower row is visited first and takes the key; the upper one then finds only the
  // parent, records the value of that name (there is none) and deletes nothing.
  EXPECT_STREQ(record(0).attribute("PATH").value(), "lower");
  EXPECT_EQ(itemsOf(record(0)), std::vector<std::string>{appPath("bar.exe") + R"(||rdString|C:\\bar.exe)"});
  EXPECT_STREQ(record(1).attribute("PATH").value(), "upper");
  EXPECT_EQ(itemsOf(record(1)), std::vector<std::string>{std::string(AppPaths) + "|bar.exe|rdString|"});
  EXPECT_TRUE(machine.value(platform::HKEY_LOCAL_MACHINE,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", "foo.exe"));
}

TEST_F(FixingTest, ValueRowRecordsAndDeletesOneValue) {
  errors.append(test::errorRow("Application", appPath("foo.exe"), "key row"));
  errors.setChecked(0, false);
  // No key of this name exists, so the last name is a value of App Paths.
  errors.append(test::errorRow("Help File", std::string(AppPaths) + "\\foo.exe\\Path", ""));
  ASSERT_TRUE(fixSelectedErrors(errors, undoStore()));
  EXPECT_EQ(itemsOf(record(0)),
            std::vector<std::string>{std::string(AppPaths) + R"(\foo.exe|Path|rdString|C:\\Program Files\\Foo)"});
  EXPECT_FALSE(machine.value(platform::HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\foo.exe", "Path"));
  EXPECT_TRUE(machine.value(platform::HKEY_LOCAL_MACHINE,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\foo.exe", ""));
}

TEST_F(FixingTest, SharedDllsValueNamesAreWholeFilePaths) {
  const std::string dll = R"(C:\Program Files\Common Files\foo.dll)";
  errors.append(test::errorRow("Shared DLLs", std::string(SharedDlls) + "\\" + dll, dll));
  ASSERT_TRUE(fixSelectedErrors(errors, undoStore()));
  EXPECT_EQ(itemsOf(record(0)), std::vector<std::string>{std::string(SharedDlls) + "|" + dll + "|rdInteger|00000001"});
  EXPECT_FALSE(sharedDll(dll));
  EXPECT_TRUE(sharedDll("C:\\Windows\\kept.dll"));
}

TEST_F(FixingTest, SharedDllsRuleNeedsTheExactCaption) {
  // Another error type cuts the same text at its last backslash: a value "foo.dll" of a key
  // that does not exist, so nothing is recorded and nothing deleted.
  const std::string dll = R"(C:\Program Files\Common Files\foo.dll)";
  errors.append(test::errorRow("Shared DLL", std::string(SharedDlls) + "\\" + dll));
  ASSERT_TRUE(fixSelectedErrors(errors, undoStore()));
  EXPECT_EQ(itemsOf(record(0)), std::vector<std::string>{});
  EXPECT_TRUE(sharedDll(dll));
}

TEST_F(FixingTest, SharedDllsRowWithoutDriveTakesTheWholeText) {
  const std::string keyText = std::string(SharedDlls) + "\\relative.dll";
  EXPECT_EQ(valueNameOfError("Shared DLLs", keyText), keyText);
  EXPECT_EQ(valueNameOfError("Shared DLLs", R"(:\x.dll)"), R"(:\x.dll)");
  EXPECT_EQ(valueNameOfError("Application", keyText), "relative.dll");

  errors.append(test::errorRow("Shared DLLs", keyText));
  ASSERT_TRUE(fixSelectedErrors(errors, undoStore()));
  // The value is looked for in the root itself (no key path is left in front of it).
  ASSERT_EQ(itemsOf(record(0)).size(), 1u);
  EXPECT_EQ(itemsOf(record(0))[0].substr(itemsOf(record(0))[0].find('|')), "|" + keyText + "|rdString|");
  EXPECT_TRUE(sharedDll("relative.dll"));
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(FixingTest, UncheckedRowsStayInTheirOrder) {
  const std::vector<std::string> names = {"bar.exe", "baz.exe", "foo.exe", "gone1.exe", "gone2.exe"};
  for (const std::string &name : names) errors.append(test::errorRow("Application", appPath(name), name));
  errors.setChecked(0, false);
  errors.setChecked(2, false);
  errors.setChecked(4, false);
  ActionResult result = fixSelectedErrors(errors, undoStore());
  ASSERT_TRUE(result);
  EXPECT_EQ(result.count, 2);
  EXPECT_EQ(test::rowTexts(errors),
            (std::vector<std::string>{"Application|" + appPath("bar.exe"), "Application|" + appPath("foo.exe"),
                                      "Application|" + appPath("gone2.exe")}));
  for (int i = 0; i < errors.count(); ++i) EXPECT_FALSE(errors.row(i).checked);
  EXPECT_TRUE(appKeyExists("bar.exe"));
  EXPECT_FALSE(appKeyExists("baz.exe"));
  EXPECT_TRUE(appKeyExists("foo.exe"));
  // Records follow the walk from the bottom: gone1 first, then baz.
  EXPECT_STREQ(record(0).attribute("PATH").value(), "gone1.exe");
  EXPECT_STREQ(record(1).attribute("PATH").value(), "baz.exe");
}

TEST_F(FixingTest, NothingCheckedChangesNothing) {
  errors.append(test::errorRow("Application", appPath("bar.exe")));
  errors.setChecked(0, false);
  ActionResult result = fixSelectedErrors(errors, undoStore());
  EXPECT_TRUE(result);
  EXPECT_EQ(result.count, 0);
  EXPECT_EQ(errors.count(), 1);
  EXPECT_FALSE(test::fileText(machine.pathOf("Backup.xml")));
  EXPECT_EQ(listUndoRecords(store).size(), 0u);
  lists::CheckableList empty(/*sorted=*/true);
  EXPECT_TRUE(fixSelectedErrors(empty, undoStore()));
}

TEST_F(FixingTest, UndoStoreReachesTheDiskWithEveryFix) {
  errors.append(test::errorRow("Application", appPath("bar.exe")));
  ASSERT_TRUE(fixSelectedErrors(errors, undoStore()));
  EXPECT_EQ(test::fileText(machine.pathOf("Backup.xml")), xmlDocumentText(store));

  // A later fix appends behind the earlier records, and the file follows again.
  errors.append(test::errorRow("Application", appPath("baz.exe")));
  ASSERT_TRUE(fixSelectedErrors(errors, undoStore()));
  pugi::xml_document reloaded;
  ASSERT_TRUE(loadXmlDocument(reloaded, machine.pathOf("Backup.xml"), UndoStoreRootName));
  const std::vector<UndoRecord> records = listUndoRecords(reloaded);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].type, appPath("bar.exe"));
  EXPECT_EQ(records[1].type, appPath("baz.exe"));
}

TEST_F(FixingTest, UnsavedUndoStoreTakesEverythingBack) {
  resetXmlDocument(store, UndoStoreRootName);
  appendUndoRecord(store, {"Earlier", "HKEY_CURRENT_USER\\X\\Y", ""});
  const std::string storeBefore = xmlDocumentText(store);
  const auto registryBefore = machine.dump(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft");
  errors.append(test::errorRow("Application", appPath("bar.exe")));
  errors.append(test::errorRow("Application", appPath("foo.exe")));
  errors.append(test::errorRow("Shared DLLs", std::string(SharedDlls) + "\\C:\\Windows\\kept.dll"));
  errors.setChecked(1, false);
  const auto rowsBefore = test::rowTexts(errors);

  ActionResult result = fixSelectedErrors(errors, {store, machine.unreachablePath()});
  EXPECT_FALSE(result);
  EXPECT_EQ(result.status, ActionResult::Status::UndoStoreNotSaved);
  EXPECT_NE(result.message.find("no-such-folder"), std::string::npos) << result.message;
  EXPECT_EQ(result.count, 0);
  EXPECT_EQ(machine.dump(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft"), registryBefore);
  EXPECT_EQ(xmlDocumentText(store), storeBefore);
  EXPECT_EQ(test::rowTexts(errors), rowsBefore);
  EXPECT_TRUE(errors.row(0).checked);
  EXPECT_FALSE(errors.row(1).checked);
}

TEST_F(FixingTest, UnsavedRegistryReportsNothingFixedAndKeepsNoRecord) {
  machine.setFlushFails(true);
  errors.append(test::errorRow("Application", appPath("bar.exe")));
  errors.append(test::errorRow("Application", appPath("baz.exe")));
  const auto rowsBefore = test::rowTexts(errors);
  std::vector<lists::Row> fixed;
  ActionResult result = fixSelectedErrors(errors, undoStore(), &fixed);
  EXPECT_EQ(result.status, ActionResult::Status::RegistryNotSaved);
  // The message names the file and the cause the registry gives, never "saved".
  EXPECT_NE(result.message.find("cannot save /test/system.reg: writing failed"), std::string::npos)
      << result.message;
  EXPECT_NE(result.message.find("Nothing was removed"), std::string::npos) << result.message;
  EXPECT_EQ(result.count, 0);
  EXPECT_TRUE(fixed.empty());
  EXPECT_EQ(test::rowTexts(errors), rowsBefore);
  EXPECT_TRUE(appKeyExists("bar.exe"));
  EXPECT_TRUE(appKeyExists("baz.exe"));
  EXPECT_TRUE(listUndoRecords(store).empty());
  pugi::xml_document reloaded;
  ASSERT_TRUE(loadXmlDocument(reloaded, machine.pathOf("Backup.xml"), UndoStoreRootName));
  EXPECT_TRUE(listUndoRecords(reloaded).empty());
}

TEST_F(FixingTest, RegistryErrorStopsAtItsRowAndKeepsWhatWasDone) {
  machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\broken.exe]
"a"="first"
"long"=hex(4):01,02,03,04,05
)");
  errors.append(test::errorRow("Application", appPath("bar.exe"), "row 0"));
  errors.append(test::errorRow("Application", appPath("broken.exe"), "row 1"));
  errors.append(test::errorRow("Application", appPath("baz.exe"), "row 2"));
  ActionResult result = fixSelectedErrors(errors, undoStore());
  EXPECT_EQ(result.status, ActionResult::Status::RegistryRefused);
  EXPECT_EQ(result.message, "Failed to get data for 'long'");
  EXPECT_EQ(result.count, 1);
  EXPECT_EQ(test::rowTexts(errors), (std::vector<std::string>{"Application|" + appPath("bar.exe"),
                                                              "Application|" + appPath("broken.exe")}));
  EXPECT_FALSE(appKeyExists("baz.exe"));
  EXPECT_TRUE(appKeyExists("broken.exe"));
  EXPECT_TRUE(appKeyExists("bar.exe"));
  // Only the finished record reached the disk: the row the error cut short erased nothing.
  pugi::xml_document reloaded;
  ASSERT_TRUE(loadXmlDocument(reloaded, machine.pathOf("Backup.xml"), UndoStoreRootName));
  const std::vector<UndoRecord> records = listUndoRecords(reloaded);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].path, "row 2");
}

} // namespace
} // namespace tw::repair

namespace tw::repair {
namespace {

/// Sets a string value whose name may hold any byte (a NUL included), as Wine's files allow.
void setNamedValue(platform::RegistryApi &registry, std::string_view keyPath, std::string_view name) {
  platform::RegKey key = 0;
  ASSERT_EQ(registry.createKey(platform::HKEY_LOCAL_MACHINE, keyPath, platform::access::KeyAllAccess, key), 0);
  const std::string data = "data";
  ASSERT_EQ(registry.setValue(key, name, Sz, reinterpret_cast<const std::uint8_t *>(data.c_str()), data.size() + 1), 0);
  registry.closeKey(key);
  ASSERT_EQ(registry.flushKey(platform::HKEY_LOCAL_MACHINE), 0);
}

TEST_F(FixingTest, NamesTheUndoStoreCannotHoldAreNotFixed) {
  const std::string nulName("a\0b", 3);
  setNamedValue(machine.registry(), "SOFTWARE\\N", nulName);
  setNamedValue(machine.registry(), "SOFTWARE\\N\\Tree\\Deep", std::string("x\0y", 3));
  // A value whose name holds a NUL; a key with such a value deep in its tree; an ordinary key.
  errors.append(test::errorRow("Application", "HKEY_LOCAL_MACHINE\\SOFTWARE\\N\\" + nulName, "nul value"));
  errors.append(test::errorRow("Application", "HKEY_LOCAL_MACHINE\\SOFTWARE\\N\\Tree", "nul tree"));
  errors.append(test::errorRow("Application", appPath("bar.exe"), "plain"));
  ActionResult result = fixSelectedErrors(errors, undoStore());
  EXPECT_EQ(result.status, ActionResult::Status::NotRecordable);
  EXPECT_NE(result.message.find("\"a\\0b\""), std::string::npos) << result.message;
  EXPECT_NE(result.message.find("\"x\\0y\""), std::string::npos) << result.message;
  EXPECT_EQ(result.count, 1);
  EXPECT_EQ(errors.count(), 2);
  EXPECT_TRUE(machine.value(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\N", nulName));
  EXPECT_TRUE(machine.value(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\N\\Tree\\Deep", std::string("x\0y", 3)));
  EXPECT_FALSE(appKeyExists("bar.exe"));
  pugi::xml_document reloaded;
  ASSERT_TRUE(loadXmlDocument(reloaded, machine.pathOf("Backup.xml"), UndoStoreRootName));
  ASSERT_EQ(listUndoRecords(reloaded).size(), 1u);
  EXPECT_EQ(listUndoRecords(reloaded)[0].path, "plain");
}

TEST_F(FixingTest, AnotherProgramAtWorkRefusesTheFixAndAChangedUndoStoreIsReadFirst) {
  errors.append(test::errorRow("Application", appPath("bar.exe"), "mine"));
  // Another program holds the lock: the system's lock on its own open of the lock file.
  const std::string folder = machine.pathOf("drive_c/ProgramData/Tidewell Registry Cleaner 2006");
  std::filesystem::create_directories(folder);
  test::ForeignLock other(folder + "/tidewell.lock");
  ASSERT_TRUE(other.held());
  platform::FileIdentity version = platform::fileIdentityOf(machine.pathOf("Backup.xml"));
  ActionResult result = fixSelectedErrors(errors, {store, machine.pathOf("Backup.xml"), &version});
  EXPECT_EQ(result.status, ActionResult::Status::AnotherProgram);
  EXPECT_NE(result.message.find("Another Tidewell Registry Cleaner program is working"), std::string::npos)
      << result.message;
  EXPECT_EQ(result.count, 0);
  EXPECT_EQ(errors.count(), 1);
  EXPECT_TRUE(appKeyExists("bar.exe"));
  EXPECT_FALSE(std::filesystem::exists(machine.pathOf("Backup.xml")));

  // The other program ends (the system drops its lock) after saving a record of its own.
  pugi::xml_document theirs;
  resetXmlDocument(theirs, UndoStoreRootName);
  appendUndoRecord(theirs, {"Application", "their key", "theirs"});
  ASSERT_TRUE(saveXmlDocument(theirs, machine.pathOf("Backup.xml")));
  other.release();
  result = fixSelectedErrors(errors, {store, machine.pathOf("Backup.xml"), &version});
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 1);
  pugi::xml_document reloaded;
  ASSERT_TRUE(loadXmlDocument(reloaded, machine.pathOf("Backup.xml"), UndoStoreRootName));
  const std::vector<UndoRecord> records = listUndoRecords(reloaded);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].path, "theirs");
  EXPECT_EQ(records[1].path, "mine");
  EXPECT_EQ(version, platform::fileIdentityOf(machine.pathOf("Backup.xml")));
}

TEST_F(FixingTest, ATransactionBegunWhileAnotherProgramWorksTakesEverythingBack) {
  // An action that did not ask first (add-on removal, say) erases under a transaction.
  const std::string folder = machine.pathOf("drive_c/ProgramData/Tidewell Registry Cleaner 2006");
  std::filesystem::create_directories(folder);
  test::ForeignLock other(folder + "/tidewell.lock");
  ASSERT_TRUE(other.held());
  UndoTransaction transaction(undoStore());
  fixError(store, "Application", appPath("bar.exe"), "erased");
  // The action sees its erasure; the registry itself is untouched until the commit.
  EXPECT_FALSE(RegKeyExists(platform::HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\bar.exe"));
  EXPECT_TRUE(appKeyExists("bar.exe"));
  const ActionResult result = transaction.commit();
  other.release();
  EXPECT_EQ(result.status, ActionResult::Status::AnotherProgram);
  EXPECT_TRUE(transaction.rolledBack());
  EXPECT_EQ(transaction.takenBack(), std::vector<std::size_t>{0});
  EXPECT_TRUE(appKeyExists("bar.exe"));
  EXPECT_TRUE(listUndoRecords(store).empty());
  EXPECT_FALSE(std::filesystem::exists(machine.pathOf("Backup.xml")));
}

TEST_F(FixingTest, UndoStoreChangedOnDiskIsNeverSavedOver) {
  errors.append(test::errorRow("Application", appPath("bar.exe"), "mine"));
  platform::FileIdentity version = platform::fileIdentityOf(machine.pathOf("Backup.xml"));
  // Saved by a caller that does not read changes again (no version): refused all the same
  // when the file is not the version the document was read from.
  pugi::xml_document theirs;
  resetXmlDocument(theirs, UndoStoreRootName);
  appendUndoRecord(theirs, {"Application", "their key", "theirs"});
  ASSERT_TRUE(saveXmlDocument(theirs, machine.pathOf("Backup.xml")));
  const std::string problem = saveDocumentFile({store, machine.pathOf("Backup.xml"), &version}, "Backup.xml");
  EXPECT_NE(problem.find("another program changed it"), std::string::npos) << problem;
  EXPECT_NE(problem.find(machine.pathOf("Backup.xml")), std::string::npos) << problem;
  pugi::xml_document reloaded;
  ASSERT_TRUE(loadXmlDocument(reloaded, machine.pathOf("Backup.xml"), UndoStoreRootName));
  EXPECT_EQ(listUndoRecords(reloaded).size(), 1u);
}

} // namespace
} // namespace tw::repair
