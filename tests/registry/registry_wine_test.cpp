// The registry layer on a registry kept in a Wine prefix's own files: what a registry that may
// only be read allows, and when changes reach the files.

#include "registry/KeySnapshot.h"
#include "registry/RegistryAccess.h"

#include "platform/Machine.h"
#include "platform/WinePrefix.h"
#include "platform/WineRegistry.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>

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

/// A prefix folder whose registry holds HKEY_LOCAL_MACHINE\Software\Test with one value.
class WinePrefixRegistryTest : public ::testing::Test {
protected:
  fs::path prefix;

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tw-registry-wine-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(pattern.data()));
    prefix = pattern;
    fs::create_directories(prefix / "drive_c/windows/system32");
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
    writeFile(prefix / "system.reg", "WINE REGISTRY Version 2\n"
                                     ";; All keys relative to \\\\Machine\n\n#arch=win32\n\n"
                                     "[Software\\\\Test] 1700000000\n"
                                     "\"v\"=\"x\"\n\n"
                                     "[Software\\\\Test\\\\Sub] 1700000000\n"
                                     "\"w\"=dword:00000001\n");
    writeFile(prefix / "user.reg", "WINE REGISTRY Version 2\n"
                                   ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                                   "#arch=win32\n\n[Software] 1700000000\n");
    writeFile(prefix / "userdef.reg", "WINE REGISTRY Version 2\n"
                                      ";; All keys relative to \\\\User\\\\.Default\n\n"
                                      "#arch=win32\n\n[Software] 1700000000\n");
  }
  void TearDown() override { fs::remove_all(prefix); }

  /// Installs a machine over the prefix with its registry opened as asked.
  void openPrefix(bool readOnly) {
    platform::RegistryLoadResult result;
    platform::WineRegistryOptions options;
    options.readOnly = readOnly;
    options.ignoreRunningServer = true;
    auto registry = platform::openWineRegistry(prefix.string(), result, options);
    ASSERT_TRUE(registry) << result.description();
    platform::installMachine(platform::makeMachine(prefix.string(), std::move(registry)));
  }
};

TEST_F(WinePrefixRegistryTest, ReadOnlyRegistryCanBeReadButNotChanged) {
  openPrefix(/*readOnly=*/true);
  const std::string before = readFile(prefix / "system.reg");
  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);

  EXPECT_TRUE(registry.KeyPathExists("\\Software\\Test"));
  EXPECT_FALSE(registry.OpenRegKey("\\Software\\Test", /*canCreate=*/false)) << "full access is refused";
  EXPECT_FALSE(registry.OpenRegKey("\\Software\\New", /*canCreate=*/true));
  EXPECT_FALSE(registry.hasOpenKey());

  ASSERT_TRUE(registry.OpenRegKeyForRead("\\Software\\Test"));
  EXPECT_EQ(registry.accessMask(), platform::access::KeyRead);
  EXPECT_EQ(registry.ReadText("v"), "x");
  EXPECT_THROW(registry.WriteText("v", "y"), ERegistryException);
  EXPECT_FALSE(registry.DeleteNamedValue("v"));
  registry.CloseRegKey();

  // The later opens keep the read access that worked, and deleting still fails.
  EXPECT_FALSE(registry.DeleteKeyTree("\\Software\\Test"));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Test\\Sub"));
  EXPECT_THROW(RestoreItem("HKEY_LOCAL_MACHINE\\Software\\Test", "v", "rdString", "z"), ERegistryException);
  EXPECT_THROW(RestoreItem("HKEY_LOCAL_MACHINE\\Software\\Test", "v", "rdString", "", "7:610000000000"),
               ERegistryException);
  EXPECT_THROW(RestoreItem("HKEY_LOCAL_MACHINE\\Software\\Fresh", "", "", ""), RestoreError);

  EXPECT_TRUE(FlushRegistry());
  EXPECT_EQ(readFile(prefix / "system.reg"), before);
}

TEST_F(WinePrefixRegistryTest, ChangesReachTheFilesWhenFlushed) {
  openPrefix(/*readOnly=*/false);
  const std::string before = readFile(prefix / "system.reg");
  {
    TRegistry registry;
    registry.CurrentRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenRegKey("\\Software\\Test", false));
    registry.WriteText("added", "C:\\new");
    EXPECT_TRUE(registry.DeleteKeyTree("Sub"));
  }
  EXPECT_EQ(readFile(prefix / "system.reg"), before) << "closing a key does not write the file";

  RegistryFlushResult flushed = FlushRegistry();
  ASSERT_TRUE(flushed) << flushed.description();
  const std::string after = readFile(prefix / "system.reg");
  EXPECT_NE(after.find("\"added\"=\"C:\\\\new\""), std::string::npos) << after;
  EXPECT_EQ(after.find("Sub"), std::string::npos) << after;

  // A registry opened afresh from the files sees the changes.
  openPrefix(/*readOnly=*/false);
  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenRegKeyForRead("\\Software\\Test"));
  EXPECT_EQ(registry.ReadText("added"), "C:\\new");
  EXPECT_FALSE(registry.KeyPathExists("Sub"));
}

TEST_F(WinePrefixRegistryTest, FailedFlushNamesTheFileAndKeepsIt) {
  openPrefix(/*readOnly=*/false);
  const std::string before = readFile(prefix / "system.reg");
  {
    TRegistry registry;
    registry.CurrentRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenRegKey("\\Software\\Test", false));
    registry.WriteText("big", std::string(4096, 'x'));
  }
  // Files may not grow beyond a few bytes for the time of the flush (this also holds for root).
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  RegistryFlushResult flushed = FlushRegistry();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(flushed);
  EXPECT_NE(flushed.description().find("system.reg"), std::string::npos) << flushed.description();
  EXPECT_EQ(readFile(prefix / "system.reg"), before);
}

// Deleting a key tree never follows a link inside it (Wine writes links for the keys both
// registry views share): the key the link leads to keeps everything, the link stays, and so does
// the key holding it; the rest of the tree goes.
TEST_F(WinePrefixRegistryTest, DeletingATreeNeverEmptiesTheKeyALinkLeadsTo) {
  std::string target = "\\Registry\\Machine\\Software\\Target";
  std::string link = "\"SymbolicLinkValue\"=hex(6):";
  for (std::size_t i = 0; i < target.size(); ++i) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "%s%02x,00", i ? "," : "", static_cast<unsigned char>(target[i]));
    link += byte;
  }
  std::ofstream(prefix / "system.reg", std::ios::app)
      << "\n[Software\\\\Target] 1700000000\n\"kept\"=\"yes\"\n"
      << "\n[Software\\\\Target\\\\Inner] 1700000000\n\"deep\"=\"yes\"\n"
      << "\n[Software\\\\Test\\\\Sub\\\\Shared] 1700000000\n#link\n" << link << "\n"
      << "\n[Software\\\\Test\\\\Other\\\\Leaf] 1700000000\n\"gone\"=\"soon\"\n";
  openPrefix(false);
  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenRegKeyForRead("\\Software\\Test\\Sub\\Shared\\Inner"));
  EXPECT_EQ(registry.ReadText("deep"), "yes") << "the link leads to the target";
  registry.CloseRegKey();

  EXPECT_FALSE(registry.DeleteKeyTree("\\Software\\Test"));
  EXPECT_TRUE(registry.KeyPathExists("\\Software\\Target\\Inner"));
  ASSERT_TRUE(registry.OpenRegKeyForRead("\\Software\\Target"));
  EXPECT_EQ(registry.ReadText("kept"), "yes");
  registry.CloseRegKey();
  EXPECT_TRUE(registry.KeyPathExists("\\Software\\Test\\Sub\\Shared\\Inner"));
  EXPECT_FALSE(registry.KeyPathExists("\\Software\\Test\\Other"));
}

} // namespace
} // namespace tw
