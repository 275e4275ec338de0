// Opening a Wine prefix for some roots only: the files no needed root lives in are not read,
// their roots refuse to open, and a save never writes them.

#include "RegistryTestSupport.h"

#include "platform/WineRegistry.h"

#include <sys/stat.h>

using namespace tw::platform;
using namespace tw::test;
namespace fs = std::filesystem;

namespace {

// The bytes and the identity (inode, modification time) of a file, to tell whether a save
// touched it.
struct FileState {
  std::string bytes;
  ino_t inode = 0;
  long long modifiedNs = 0;

  static FileState of(const fs::path &path) {
    struct stat st{};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {readFile(path), st.st_ino, static_cast<long long>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
  }
  bool operator==(const FileState &) const = default;
};

const std::string SystemBlocks = "\n[Software\\\\Vendor] 1796673228\n\"Machine\"=\"kept\"\n"
                                 "\n[Software\\\\Classes\\\\.txt] 1796673228\n@=\"txtfile\"\n";
const std::string UserBlocks = "\n[Software\\\\Mine] 1796673228\n\"Colour\"=\"blue\"\n";
const std::string UserdefBlocks = "\n[Control Panel] 1796673228\n\"Default\"=\"yes\"\n";

class WinePartialLoad : public ::testing::Test {
protected:
  TempDir dir{"partial"};
  void SetUp() override { writeMinimalPrefix(dir.path(), SystemBlocks, UserBlocks, UserdefBlocks); }

  std::unique_ptr<WineRegistry> open(std::optional<std::vector<RegKey>> roots) {
    RegistryLoadResult result;
    WineRegistryOptions options;
    options.ignoreRunningServer = true;
    auto reg = openWineRegistry(dir.path().string(), result, options, roots);
    EXPECT_TRUE(reg) << result.description();
    return reg;
  }

  static long openRoot(RegistryApi &reg, RegKey root) {
    RegKey key = 0;
    long rc = reg.openKey(root, "", access::KeyRead, key);
    if (rc == error::Success) reg.closeKey(key);
    return rc;
  }
};

TEST_F(WinePartialLoad, OnlyTheRootsOfTheFilesReadOpen) {
  struct Case {
    std::vector<RegKey> roots;
    std::vector<RegKey> open;
  };
  const RegKey all[] = {HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER, HKEY_USERS};
  const Case cases[] = {
      {{HKEY_CURRENT_USER}, {HKEY_CURRENT_USER}},
      {{HKEY_USERS}, {HKEY_USERS, HKEY_CURRENT_USER}},
      {{HKEY_CLASSES_ROOT}, {HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG}},
      {{HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER},
       {HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER}},
      {{}, {}},
  };
  for (const Case &c : cases) {
    auto reg = open(c.roots);
    ASSERT_TRUE(reg);
    for (RegKey root : all) {
      const bool loaded = std::find(c.open.begin(), c.open.end(), root) != c.open.end();
      EXPECT_EQ(openRoot(*reg, root), loaded ? error::Success : error::InvalidHandle)
          << "root " << std::hex << root << " with " << c.roots.size() << " roots asked for";
    }
    EXPECT_EQ(reg->readOnlyReason(), "") << "leaving files out does not make the registry read-only";
  }
  auto user = open(std::vector<RegKey>{HKEY_CURRENT_USER});
  EXPECT_EQ(getString(*user, HKEY_CURRENT_USER, "Software\\Mine", "Colour"), "blue");
  auto classes = open(std::vector<RegKey>{HKEY_CLASSES_ROOT});
  EXPECT_EQ(getString(*classes, HKEY_CLASSES_ROOT, ".txt", ""), "txtfile");
  EXPECT_EQ(getString(*classes, HKEY_LOCAL_MACHINE, "Software\\Vendor", "Machine"), "kept");
}

// The guarantee that makes leaving files out safe: whatever is changed and flushed, a file
// that was not read keeps its bytes and is not even rewritten.
TEST_F(WinePartialLoad, SavingWritesOnlyTheFilesRead) {
  const FileState system = FileState::of(dir.path() / "system.reg");
  const FileState userdef = FileState::of(dir.path() / "userdef.reg");
  {
    auto reg = open(std::vector<RegKey>{HKEY_CURRENT_USER});
    ASSERT_TRUE(reg);
    putString(*reg, HKEY_CURRENT_USER, "Software\\Mine", "Shape", "round");
    putString(*reg, HKEY_CURRENT_USER, "Software\\New", "", "added");
    for (RegKey root : {HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_USERS}) {
      RegKey key = 0;
      EXPECT_EQ(reg->createKey(root, "Software\\Intruder", access::KeyAllAccess, key), error::InvalidHandle);
      EXPECT_NE(reg->flushKey(root), error::Success);
    }
    EXPECT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success);
  }
  EXPECT_TRUE(FileState::of(dir.path() / "system.reg") == system) << "system.reg was written";
  EXPECT_TRUE(FileState::of(dir.path() / "userdef.reg") == userdef) << "userdef.reg was written";

  auto whole = open(std::nullopt);
  ASSERT_TRUE(whole);
  EXPECT_EQ(getString(*whole, HKEY_CURRENT_USER, "Software\\Mine", "Shape"), "round");
  EXPECT_EQ(getString(*whole, HKEY_CURRENT_USER, "Software\\Mine", "Colour"), "blue");
  EXPECT_EQ(getString(*whole, HKEY_CURRENT_USER, "Software\\New", ""), "added");
  EXPECT_EQ(getString(*whole, HKEY_LOCAL_MACHINE, "Software\\Vendor", "Machine"), "kept");
  EXPECT_EQ(getString(*whole, HKEY_USERS, ".Default\\Control Panel", "Default"), "yes");
  EXPECT_FALSE(keyExists(*whole, HKEY_LOCAL_MACHINE, "Software\\Intruder"));
}

TEST_F(WinePartialLoad, ChangesOfTheMachineFileLeaveTheUserFilesAlone) {
  const FileState user = FileState::of(dir.path() / "user.reg");
  const FileState userdef = FileState::of(dir.path() / "userdef.reg");
  {
    auto reg = open(std::vector<RegKey>{HKEY_LOCAL_MACHINE});
    ASSERT_TRUE(reg);
    putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor", "Added", "yes");
    EXPECT_EQ(reg->flushKey(HKEY_LOCAL_MACHINE), error::Success);
    // Reading the files again keeps to the same roots.
    std::string problem;
    EXPECT_EQ(reg->reloadBackingStore(&problem), error::Success) << problem;
    EXPECT_EQ(openRoot(*reg, HKEY_CURRENT_USER), error::InvalidHandle);
    EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor", "Added"), "yes");
  }
  EXPECT_TRUE(FileState::of(dir.path() / "user.reg") == user) << "user.reg was written";
  EXPECT_TRUE(FileState::of(dir.path() / "userdef.reg") == userdef) << "userdef.reg was written";
  EXPECT_NE(readFile(dir.path() / "system.reg").find("\"Added\"=\"yes\""), std::string::npos);
}

// A link in a file that is read may lead into one that would be left out; the prefix is then
// read whole, so that the link leads where it leads with every file read.
TEST_F(WinePartialLoad, ALinkIntoAFileLeftOutMakesItRead) {
  // "\Registry\Machine\Software\Vendor" in UTF-16LE.
  std::string target;
  for (char c : std::string("\\Registry\\Machine\\Software\\Vendor")) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "%s%02x,00", target.empty() ? "" : ",", static_cast<unsigned char>(c));
    target += byte;
  }
  writeMinimalPrefix(dir.path(), SystemBlocks,
                     UserBlocks + "\n[Software\\\\Linked] 1796673228\n#link\n\"SymbolicLinkValue\"=hex(6):" + target +
                         "\n");
  auto reg = open(std::vector<RegKey>{HKEY_CURRENT_USER});
  ASSERT_TRUE(reg);
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "Software\\Linked", "Machine"), "kept");
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "Software\\Mine", "Colour"), "blue");
}

TEST_F(WinePartialLoad, AMissingMachineFileIsStillNoPrefix) {
  fs::remove(dir.path() / "system.reg");
  RegistryLoadResult result;
  WineRegistryOptions options;
  options.ignoreRunningServer = true;
  EXPECT_FALSE(openWineRegistry(dir.path().string(), result, options, std::vector<RegKey>{HKEY_CURRENT_USER}));
  EXPECT_EQ(result.status, RegistryLoadResult::Status::FileNotFound) << result.description();
}

} // namespace
