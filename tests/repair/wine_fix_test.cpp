// Fixing on a registry kept in a Wine prefix's own files, when one of them cannot be written:
// what reached the disk keeps its record, what did not stays in the registry, in the list, and
// out of the undo store.

#include "repair/Fixing.h"

#include "RepairTestMachine.h"

#include "lists/CheckableList.h"
#include "platform/Machine.h"
#include "platform/WinePrefix.h"
#include "registry/RegistryAccess.h"
#include "registry/XmlStore.h"
#include "scan/ScanLists.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tw::repair {
namespace {

namespace fs = std::filesystem;

/// The test machine's folder made a Wine prefix: system.reg holds HKLM\Software\Gone, user.reg
/// HKCU\Software\Lost, and the machine installed is the prefix's own.
class WineFixTest : public ::testing::Test {
protected:
  test::RepairTestMachine folder;
  fs::path prefix;

  void SetUp() override {
    prefix = folder.folder();
    std::ofstream(prefix / "system.reg") << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
                                            "#arch=win32\n\n[Software\\\\Gone] 1700000000\n\"v\"=\"x\"\n";
    std::ofstream(prefix / "user.reg") << "WINE REGISTRY Version 2\n"
                                          ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                                          "#arch=win32\n\n[Software\\\\Lost] 1700000000\n\"w\"=\"y\"\n";
    platform::PrefixOpenResult opened;
    auto machine = platform::openWinePrefix(prefix.string(), opened);
    ASSERT_TRUE(machine) << opened.description();
    platform::installMachine(std::move(machine));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(prefix / "user.reg", fs::perms::owner_all, ignored);
  }
  std::string fileText(const char *name) const { return test::fileText((prefix / name).string()).value_or(""); }
};

TEST_F(WineFixTest, AFileThatCannotBeWrittenKeepsItsEntriesAndNoRecordOfThem) {
  lists::CheckableList errors(/*sorted=*/true);
  errors.append(test::errorRow("Application", "HKEY_LOCAL_MACHINE\\Software\\Gone", "machine"));
  errors.append(test::errorRow("Application", "HKEY_CURRENT_USER\\Software\\Lost", "user"));
  // user.reg loses its write permission after it was read: system.reg is saved, user.reg is not.
  const std::string userBefore = fileText("user.reg");
  fs::permissions(prefix / "user.reg", fs::perms::owner_read);
  pugi::xml_document store;
  resetXmlDocument(store, UndoStoreRootName);
  const std::string undoStorePath = (prefix / "drive_c/ProgramData/Tidewell Registry Cleaner 2006/Backup.xml").string();
  std::vector<lists::Row> fixed;
  const ActionResult result = fixSelectedErrors(errors, {store, undoStorePath}, &fixed);

  EXPECT_EQ(result.status, ActionResult::Status::RegistryNotSaved);
  EXPECT_NE(result.message.find((prefix / "user.reg").string() + ": it is write-protected"), std::string::npos)
      << result.message;
  EXPECT_NE(result.message.find("1 of the 2 entries were not removed"), std::string::npos) << result.message;
  EXPECT_EQ(result.count, 1);
  ASSERT_EQ(fixed.size(), 1u);
  EXPECT_EQ(fixed[0].subItem(scan::KeyNameSubItem), "HKEY_LOCAL_MACHINE\\Software\\Gone");
  ASSERT_EQ(errors.count(), 1);
  EXPECT_EQ(errors.row(0).subItem(scan::KeyNameSubItem), "HKEY_CURRENT_USER\\Software\\Lost");

  EXPECT_EQ(fileText("system.reg").find("Gone"), std::string::npos);
  EXPECT_EQ(fileText("user.reg"), userBefore);
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, "\\Software\\Lost"));
  pugi::xml_document saved;
  ASSERT_TRUE(loadXmlDocument(saved, undoStorePath, UndoStoreRootName));
  const std::vector<UndoRecord> records = listUndoRecords(saved);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].path, "machine");
}

} // namespace
} // namespace tw::repair
