// Moving startup entries on a prefix's own registry files when one of them cannot be written:
// each entry stays where it was, on disk and in the program, and the user is told which file.

#include "tools/uStartup.h"

#include "generator/PrefixGenerator.h"
#include "platform/Machine.h"
#include "platform/WinePrefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::tools {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class WineFilesTest : public ::testing::Test {
protected:
  fs::path root = fs::temp_directory_path() / ("tw-tools-files-" + std::to_string(::getpid()));
  fs::path prefix = root / "prefix";
  lists::CheckableList list;
  StartupStates states;

  void SetUp() override {
    fs::create_directories(root);
    generator::GeneratorOptions options;
    options.seed = 11;
    options.windowsXp = false; // Wine's Windows 7
    options.startupItems = 40;
    const generator::GenerateResult made = generator::generatePrefix(prefix.string(), options);
    ASSERT_TRUE(made) << made.description();
    open();
  }
  void TearDown() override {
    ::chmod((prefix / "system.reg").c_str(), 0644);
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  void open() {
    platform::PrefixOpenResult opened;
    auto machine = platform::openWinePrefix(prefix.string(), opened);
    ASSERT_TRUE(machine) << opened.description();
    platform::installMachine(std::move(machine));
    ASSERT_TRUE(fillStartupList(list, states, startupWindowsKind()));
  }
  int firstRow(std::string_view locationStart, bool checked) const {
    for (int i = 0; i < list.count(); ++i)
      if (list.row(i).checked == checked && list.row(i).subItem(StartupLocationSubItem).starts_with(locationStart))
        return i;
    return -1;
  }
  // Lists the entries afresh; the check box of every row of `item`.
  std::vector<bool> listedStatesOf(const std::string &item) {
    std::vector<bool> found;
    if (!fillStartupList(list, states, startupWindowsKind())) return found;
    for (int i = 0; i < list.count(); ++i)
      if (list.row(i).caption == item) found.push_back(list.row(i).checked);
    return found;
  }
  // Something else writes the file after the program read it, so the program may not save it.
  void changeBehindTheProgram(const char *file) {
    std::ofstream(prefix / file, std::ios::app) << "\n";
  }
};

TEST_F(WineFilesTest, FileThatCannotBeWrittenRefusesApplyAndNamesTheFile) {
  ::chmod((prefix / "system.reg").c_str(), 0444);
  open();
  const std::string userReg = readAll(prefix / "user.reg");
  const int row = firstRow("HKCU\\", true);
  ASSERT_GE(row, 0);
  list.setChecked(row, false);
  repair::ActionResult result = applyStartupChanges(list, states, startupWindowsKind());
  EXPECT_FALSE(result);
  EXPECT_NE(result.message.find((prefix / "system.reg").string()), std::string::npos) << result.message;
  EXPECT_EQ(readAll(prefix / "user.reg"), userReg);
}

TEST_F(WineFilesTest, DisabledEntryStaysWhenItsRecordCannotBeSaved) {
  const int row = firstRow("HKCU\\", true);
  ASSERT_GE(row, 0);
  const std::string item = list.row(row).caption;
  const std::string userReg = readAll(prefix / "user.reg");
  changeBehindTheProgram("system.reg");
  const std::string systemReg = readAll(prefix / "system.reg");
  list.setChecked(row, false);
  repair::ActionResult result = applyStartupChanges(list, states, startupWindowsKind());
  EXPECT_FALSE(result);
  EXPECT_EQ(result.count, 0);
  EXPECT_NE(result.message.find("system.reg"), std::string::npos) << result.message;
  EXPECT_EQ(readAll(prefix / "user.reg"), userReg);
  EXPECT_EQ(readAll(prefix / "system.reg"), systemReg);
  // The program's own view agrees with the files: the entry is still active, and not recorded.
  EXPECT_EQ(listedStatesOf(item), std::vector<bool>{true});
}

TEST_F(WineFilesTest, EnabledEntryStaysRecordedWhenItsValueCannotBeSaved) {
  int row = -1;
  for (int i = 0; i < list.count(); ++i)
    if (!list.row(i).checked && list.row(i).subItem(StartupLocationSubItem).starts_with("HKCU\\")) row = i;
  ASSERT_GE(row, 0) << "the generated prefix has no disabled entry of the user";
  const std::string item = list.row(row).caption;
  const std::string systemReg = readAll(prefix / "system.reg");
  changeBehindTheProgram("user.reg");
  list.setChecked(row, true);
  repair::ActionResult result = applyStartupChanges(list, states, startupWindowsKind());
  EXPECT_FALSE(result);
  EXPECT_NE(result.message.find("user.reg"), std::string::npos) << result.message;
  EXPECT_EQ(readAll(prefix / "system.reg"), systemReg);
  EXPECT_EQ(listedStatesOf(item), std::vector<bool>{false});
}

} // namespace
} // namespace tw::tools
