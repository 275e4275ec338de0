// Reading the registry files again after another process (the registry editor of a restore)
// rewrote them: the registry then holds what the files hold, saves are no longer refused as
// "changed on disk", handles of the old tree are dead, and damaged files leave it as it was.

#include "RegistryTestSupport.h"

#include "platform/WineRegistry.h"

using namespace tw::platform;
using namespace tw::test;
namespace fs = std::filesystem;

namespace {

class WineReload : public ::testing::Test {
protected:
  TempDir dir{"reload"};
  std::unique_ptr<WineRegistry> program; // the running program's registry
  void SetUp() override {
    writeMinimalPrefix(dir.path());
    program = open();
    putString(*program, HKEY_CURRENT_USER, "Software\\Kept", "v", "before");
    putString(*program, HKEY_LOCAL_MACHINE, "Software\\Gone", "v", "x");
    ASSERT_EQ(program->flushKey(HKEY_LOCAL_MACHINE), error::Success);
  }
  std::unique_ptr<WineRegistry> open() {
    RegistryLoadResult result;
    auto reg = openWineRegistry(dir.path().string(), result, WineRegistryOptions{false, true});
    EXPECT_TRUE(result) << result.description();
    return reg;
  }
  /// What a child process does: its own registry over the same files, changed and saved.
  void changeBehindTheProgramsBack() {
    auto child = open();
    putString(*child, HKEY_CURRENT_USER, "Software\\Kept", "v", "restored");
    putString(*child, HKEY_CURRENT_USER, "Software\\New", "w", "from the child");
    RegKey key = 0;
    ASSERT_EQ(child->openKey(HKEY_LOCAL_MACHINE, "Software", access::KeyAllAccess, key), error::Success);
    ASSERT_EQ(child->deleteKey(key, "Gone"), error::Success);
    ASSERT_EQ(child->flushKey(key), error::Success);
    child->closeKey(key);
  }
};

TEST_F(WineReload, AfterAnotherProcessWroteTheFilesTheRegistryHoldsWhatTheyHold) {
  RegKey old = 0;
  ASSERT_EQ(program->openKey(HKEY_CURRENT_USER, "Software\\Kept", access::KeyRead, old), error::Success);
  changeBehindTheProgramsBack();
  // Before reading again, a save would lose the child's work and is refused.
  RegKey key = 0;
  ASSERT_EQ(program->createKey(HKEY_CURRENT_USER, "Software\\Mine", access::KeyAllAccess, key), error::Success);
  EXPECT_NE(program->flushKey(key), error::Success);
  EXPECT_NE(program->lastSaveError().find("changed on disk"), std::string::npos) << program->lastSaveError();
  program->closeKey(key);

  std::string problem;
  ASSERT_EQ(program->reloadBackingStore(&problem), error::Success) << problem;
  EXPECT_EQ(getString(*program, HKEY_CURRENT_USER, "Software\\Kept", "v"), "restored");
  EXPECT_EQ(getString(*program, HKEY_CURRENT_USER, "Software\\New", "w"), "from the child");
  EXPECT_FALSE(keyExists(*program, HKEY_LOCAL_MACHINE, "Software\\Gone"));
  // The unsaved key of the program went with the old tree; so did the handle into it.
  EXPECT_FALSE(keyExists(*program, HKEY_CURRENT_USER, "Software\\Mine"));
  RegValue value;
  EXPECT_EQ(program->queryValue(old, "v", value), error::KeyDeleted);
  program->closeKey(old);

  // A change now saves, and keeps what the child wrote.
  putString(*program, HKEY_CURRENT_USER, "Software\\After", "z", "saved");
  EXPECT_EQ(program->flushKey(HKEY_CURRENT_USER), error::Success);
  EXPECT_EQ(program->lastSaveError(), "");
  auto check = open();
  EXPECT_EQ(getString(*check, HKEY_CURRENT_USER, "Software\\After", "z"), "saved");
  EXPECT_EQ(getString(*check, HKEY_CURRENT_USER, "Software\\New", "w"), "from the child");
}

TEST_F(WineReload, ADamagedFileLeavesTheRegistryAsItWasAndNamesTheFile) {
  writeFile(dir.path() / "user.reg", "WINE REGISTRY Version 2\n[unterminated\n");
  std::string problem;
  EXPECT_NE(program->reloadBackingStore(&problem), error::Success);
  EXPECT_NE(problem.find("user.reg"), std::string::npos) << problem;
  EXPECT_EQ(getString(*program, HKEY_CURRENT_USER, "Software\\Kept", "v"), "before");
  EXPECT_TRUE(keyExists(*program, HKEY_LOCAL_MACHINE, "Software\\Gone"));
}

TEST_F(WineReload, AMemoryRegistryHasNothingToReadAgain) {
  auto memory = allBackends().front().make(dir.path());
  putString(*memory, HKEY_CURRENT_USER, "Software\\X", "v", "kept");
  EXPECT_EQ(memory->reloadBackingStore(), error::Success);
  EXPECT_EQ(getString(*memory, HKEY_CURRENT_USER, "Software\\X", "v"), "kept");
  EXPECT_EQ(memory->readOnlyReason(), "");
}

} // namespace
