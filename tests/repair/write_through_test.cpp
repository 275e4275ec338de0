// Fixing on a registry that writes every change through at once, as advapi32
// does: nothing may be erased before its record is in Backup.xml on disk, and when the undo store
// cannot be saved the registry is not touched at all.

#include "repair/Fixing.h"

#include "RepairTestMachine.h"

#include "platform/RegistryApi.h"
#include "registry/XmlStore.h"

#include <gtest/gtest.h>

namespace tw::repair {
namespace {

constexpr const char *AppPaths = R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths)";
constexpr const char *AppPathsKey = R"(SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths)";

class WriteThroughTest : public ::testing::Test {
protected:
  test::RepairTestMachine machine;
  pugi::xml_document store;
  lists::CheckableList errors{/*sorted=*/true};
  /// What reached the registry's deletion calls, each with the records Backup.xml held on disk
  /// at that moment.
  std::vector<std::pair<std::string, std::size_t>> erasures;

  void SetUp() override {
    resetXmlDocument(store, UndoStoreRootName);
    machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\foo.exe]
@="C:\\Program Files\\Foo\\foo.exe"
"Path"="C:\\Program Files\\Foo"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\foo.exe\Sub]
"n"=dword:00001000
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\bar.exe]
@="C:\\bar.exe"
"Extra"="x"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\baz.exe]
@="C:\\baz.exe"
)");
    machine.setWritesThrough(true);
    machine.onErase([this](const std::string &what) {
      pugi::xml_document onDisk;
      const std::size_t records =
          loadXmlDocument(onDisk, machine.pathOf("Backup.xml"), UndoStoreRootName) ? listUndoRecords(onDisk).size() : 0;
      erasures.emplace_back(what, records);
    });
  }

  DocumentFile undoStore() { return {store, machine.pathOf("Backup.xml")}; }
  std::string appPath(const std::string &name) const { return std::string(AppPaths) + "\\" + name; }
  bool appKeyExists(const std::string &name) {
    return machine.keyExists(platform::HKEY_LOCAL_MACHINE, std::string(AppPathsKey) + "\\" + name);
  }
  /// Records of Backup.xml on disk, by key text.
  std::vector<std::string> recordsOnDisk() {
    pugi::xml_document onDisk;
    std::vector<std::string> types;
    if (!loadXmlDocument(onDisk, machine.pathOf("Backup.xml"), UndoStoreRootName)) return types;
    for (const UndoRecord &record : listUndoRecords(onDisk)) types.push_back(record.type);
    return types;
  }
};

TEST_F(WriteThroughTest, EveryErasureWaitsForItsRecordOnDisk) {
  // Visited from the last row: the value Extra, the key bar.exe twice, then foo.exe.
  errors.append(test::errorRow("Application", appPath("foo.exe")));
  errors.append(test::errorRow("Application", appPath("bar.exe")));
  errors.append(test::errorRow("Application", appPath("bar.exe")));
  errors.append(test::errorRow("Application", appPath("bar.exe") + "\\Extra"));
  const ActionResult result = fixSelectedErrors(errors, undoStore());
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.count, 4);
  EXPECT_TRUE(errors.isEmpty());
  // The value Extra, bar.exe, foo.exe\Sub, foo.exe: each only once all four records were on disk.
  ASSERT_EQ(erasures.size(), 4u);
  for (const auto &[what, records] : erasures) EXPECT_EQ(records, 4u) << what;
  EXPECT_FALSE(appKeyExists("foo.exe"));
  EXPECT_FALSE(appKeyExists("bar.exe"));
  EXPECT_TRUE(appKeyExists("baz.exe"));

  // The records are those of a registry that erases at once: the value deleted first is not
  // recorded again with its key, and the second row naming bar.exe finds it gone.
  const std::string bar = appPath("bar.exe");
  ASSERT_EQ(listUndoRecords(store).size(), 4u);
  auto items = [&](std::size_t index) {
    std::vector<std::string> texts;
    for (pugi::xml_node item : undoRecordAt(store, index).children())
      texts.push_back(std::string(item.attribute("SUBKEY").value()) + "|" + item.attribute("NAME").value() + "|" +
                      item.attribute("VALUE").value());
    return texts;
  };
  EXPECT_EQ(items(0), std::vector<std::string>{bar + "|Extra|x"});
  EXPECT_EQ(items(1), std::vector<std::string>{bar + R"(||C:\\bar.exe)"});
  EXPECT_EQ(items(2), std::vector<std::string>{std::string(AppPaths) + "|bar.exe|"});
  EXPECT_EQ(items(3).size(), 3u);
  EXPECT_EQ(recordsOnDisk().size(), 4u);
}

TEST_F(WriteThroughTest, UnsavedUndoStoreLeavesTheRegistryUntouched) {
  const auto registryBefore = machine.dump(platform::HKEY_LOCAL_MACHINE, AppPathsKey);
  errors.append(test::errorRow("Application", appPath("foo.exe")));
  errors.append(test::errorRow("Application", appPath("bar.exe") + "\\Extra"));
  const auto rowsBefore = test::rowTexts(errors);
  const ActionResult result = fixSelectedErrors(errors, {store, machine.unreachablePath()});
  EXPECT_EQ(result.status, ActionResult::Status::UndoStoreNotSaved);
  EXPECT_NE(result.message.find("Nothing was removed"), std::string::npos) << result.message;
  EXPECT_TRUE(erasures.empty());
  EXPECT_EQ(machine.dump(platform::HKEY_LOCAL_MACHINE, AppPathsKey), registryBefore);
  EXPECT_EQ(test::rowTexts(errors), rowsBefore);
  EXPECT_TRUE(listUndoRecords(store).empty());
}

TEST_F(WriteThroughTest, RefusedErasureKeepsItsRowAndDropsItsRecord) {
  // The registry lets bar.exe be opened for deletion but refuses the deletion itself.
  machine.refuseDeletesOf("bar.exe");
  errors.append(test::errorRow("Application", appPath("bar.exe")));
  errors.append(test::errorRow("Application", appPath("baz.exe")));
  std::vector<lists::Row> fixed;
  const ActionResult result = fixSelectedErrors(errors, undoStore(), &fixed);
  EXPECT_EQ(result.status, ActionResult::Status::RegistryNotSaved);
  EXPECT_NE(result.message.find(appPath("bar.exe") + " could not be removed: access is denied"), std::string::npos)
      << result.message;
  EXPECT_NE(result.message.find("1 of the 2 entries were not removed"), std::string::npos) << result.message;
  EXPECT_EQ(result.count, 1);
  ASSERT_EQ(fixed.size(), 1u);
  EXPECT_EQ(fixed[0].subItem(0), appPath("baz.exe"));
  EXPECT_EQ(test::rowTexts(errors), std::vector<std::string>{"Application|" + appPath("bar.exe")});
  EXPECT_TRUE(appKeyExists("bar.exe"));
  EXPECT_FALSE(appKeyExists("baz.exe"));
  EXPECT_EQ(recordsOnDisk(), std::vector<std::string>{appPath("baz.exe")});
}

TEST_F(WriteThroughTest, PartlyErasedKeyKeepsItsRecord) {
  // foo.exe\Sub goes, foo.exe itself is refused: what is gone can only come back from the record.
  machine.refuseDeletesOf("foo.exe");
  errors.append(test::errorRow("Application", appPath("foo.exe")));
  const ActionResult result = fixSelectedErrors(errors, undoStore());
  EXPECT_EQ(result.status, ActionResult::Status::RegistryNotSaved);
  EXPECT_TRUE(appKeyExists("foo.exe"));
  EXPECT_FALSE(appKeyExists("foo.exe\\Sub"));
  EXPECT_EQ(recordsOnDisk(), std::vector<std::string>{appPath("foo.exe")});
  EXPECT_TRUE(errors.isEmpty());
}

} // namespace
} // namespace tw::repair
