// Saving a Wine prefix's registry: byte-for-byte round trips, Wine's way of writing changed
// keys, links, and saves that touch only what changed.

#include "RegistryTestSupport.h"

#include "platform/WineRegistry.h"

#include <chrono>
#include <sys/stat.h>

using namespace tw::platform;
using namespace tw::test;
namespace fs = std::filesystem;

namespace {

fs::path fixture(const char *name) { return fs::path(TIDEWELL_TEST_DATA) / "registry" / name; }

TEST(WineSave, FixturesRoundTripByteForByte) {
  for (const char *name : {"awkward-user.reg", "links-system.reg", "utf8-userdef.reg", "minimal-system.reg"}) {
    std::string text = readFile(fixture(name));
    EXPECT_EQ(loadAndWrite(text, false), text) << name;
  }
  // The fixtures Wine wrote come out the same when every key is written afresh: the writer
  // writes as Wine does. (utf8-userdef.reg holds raw UTF-8, which Wine reads but never writes.)
  for (const char *name : {"awkward-user.reg", "links-system.reg", "minimal-system.reg"}) {
    std::string text = readFile(fixture(name));
    EXPECT_EQ(loadAndWrite(text, true), text) << name;
  }
  std::string utf8 = loadAndWrite(readFile(fixture("utf8-userdef.reg")), true);
  EXPECT_NE(utf8.find("[Software\\\\Gr\\xfc\\x00dfe\\\\\\x65e5\\x672c] 1796674191\n"), std::string::npos) << utf8;
  EXPECT_NE(utf8.find("\"\\xdcn\\x00efc\\x00f6d\\xe9\"=\"Gr\\xfc\\x00dfe \\xd834\\xdd1e\"\n"), std::string::npos) << utf8;
}

// Whatever loads comes out of a save as a file that loads to the same tree, and so writes the
// same again. (The fuzzer found a root line ending in carriage returns that did not.)
TEST(WineSave, WrittenFilesAreStableUnderRewriting) {
  const std::string inputs[] = {
      readFile(fixture("regression-root-line-cr.reg")),
      "WINE REGISTRY Version 2\r\n;; All keys relative to REGISTRY\\\\Machine\r\r\n\r\n[K] 1\r\n\"v\"=hex:01,\\\r\n  02\r\n",
      "WINE REGISTRY Version 2\n\n[B\\\\a]\n@=\"unsorted\"\n\n[A]\n\"z\"=\"1\"\n\"a\"=\"2\"\n",
  };
  for (const std::string &text : inputs) {
    ASSERT_TRUE(checkRegistryText(text, "input")) << checkRegistryText(text, "input").description();
    std::string once = loadAndWrite(text, true);
    EXPECT_EQ(loadAndWrite(once, true), once);
    EXPECT_EQ(loadAndWrite(once, false), once);
  }
}

class WineSaveFlush : public ::testing::Test {
protected:
  TempDir dir{"save"};
  std::unique_ptr<WineRegistry> reg;
  void SetUp() override {
    writeMinimalPrefix(dir.path());
    fs::copy_file(fixture("links-system.reg"), dir.path() / "system.reg", fs::copy_options::overwrite_existing);
    fs::copy_file(fixture("awkward-user.reg"), dir.path() / "user.reg", fs::copy_options::overwrite_existing);
    reopen();
  }
  void reopen() {
    reg.reset();
    RegistryLoadResult result;
    reg = openWineRegistry(dir.path().string(), result, WineRegistryOptions{false, true});
    ASSERT_TRUE(result) << result.description();
  }
  static std::uint64_t unixSeconds() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
  }
};

TEST_F(WineSaveFlush, AChangedKeyIsWrittenWithItsNewTimeAndTheRestStays) {
  std::string before = readFile(dir.path() / "user.reg");
  std::uint64_t start = unixSeconds();
  putString(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Fixture\\aB", "new", "v");
  ASSERT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success) << reg->lastSaveError();
  std::uint64_t end = unixSeconds();
  std::string after = readFile(dir.path() / "user.reg");

  const std::string header = "\n[Software\\\\Tidewell Fixture\\\\aB] ";
  std::size_t oldAt = before.find(header);
  std::size_t newAt = after.find(header);
  ASSERT_NE(oldAt, std::string::npos);
  ASSERT_NE(newAt, std::string::npos);
  std::size_t oldEnd = before.find("\n\n", oldAt + 1);
  std::size_t newEnd = after.find("\n\n", newAt + 1);
  EXPECT_EQ(before.substr(0, oldAt), after.substr(0, newAt)) << "keys before it are untouched";
  EXPECT_EQ(before.substr(oldEnd), after.substr(newEnd)) << "keys after it are untouched";

  // "[path] <seconds since 1970>", "#time=<FILETIME in hex>", then the values, as Wine writes.
  std::string block = after.substr(newAt + header.size(), newEnd - newAt - header.size());
  unsigned long long seconds = 0;
  unsigned long long fileTime = 0;
  char valueLine[64] = {};
  ASSERT_EQ(std::sscanf(block.c_str(), "%llu\n#time=%llx\n%63[^\n]", &seconds, &fileTime, valueLine), 3) << block;
  EXPECT_GE(seconds, start);
  EXPECT_LE(seconds, end);
  EXPECT_EQ((fileTime - 116444736000000000ull) / 10000000ull, seconds);
  EXPECT_STREQ(valueLine, "\"new\"=\"v\"");
  EXPECT_EQ(block, std::to_string(seconds) + "\n#time=" + [&] { char b[32]; std::snprintf(b, sizeof b, "%llx", fileTime); return std::string(b); }() + "\n\"new\"=\"v\"");

  // The parent gained nothing visible: keys without values but with sub-keys are not written.
  reopen();
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Fixture\\aB", "new"), "v");
}

TEST_F(WineSaveFlush, OnlyChangedFilesAreRewritten) {
  struct stat systemBefore{}, userdefBefore{}, userBefore{};
  ::stat((dir.path() / "system.reg").c_str(), &systemBefore);
  ::stat((dir.path() / "userdef.reg").c_str(), &userdefBefore);
  ::stat((dir.path() / "user.reg").c_str(), &userBefore);
  ASSERT_EQ(reg->flushKey(HKEY_LOCAL_MACHINE), error::Success) << "nothing to save";
  putDword(*reg, HKEY_CURRENT_USER, "Software\\Fresh", "n", 7);
  ASSERT_EQ(reg->flushKey(HKEY_LOCAL_MACHINE), error::Success);
  struct stat systemAfter{}, userdefAfter{}, userAfter{};
  ::stat((dir.path() / "system.reg").c_str(), &systemAfter);
  ::stat((dir.path() / "userdef.reg").c_str(), &userdefAfter);
  ::stat((dir.path() / "user.reg").c_str(), &userAfter);
  EXPECT_EQ(systemBefore.st_ino, systemAfter.st_ino);
  EXPECT_EQ(userdefBefore.st_ino, userdefAfter.st_ino);
  EXPECT_NE(userBefore.st_ino, userAfter.st_ino) << "user.reg was replaced by a new file";
  EXPECT_EQ(readFile(dir.path() / "system.reg"), readFile(fixture("links-system.reg")));

  // A change undone before the flush still counts as a change of the file, as in Wine.
  std::string user = readFile(dir.path() / "user.reg");
  EXPECT_NE(user.find("\n[Software\\\\Fresh] "), std::string::npos);
  EXPECT_NE(user.find("\"n\"=dword:00000007\n"), std::string::npos);
}

TEST_F(WineSaveFlush, DeletionsReachTheFileAndReloadTheSame) {
  RegKey fixtureKey = 0;
  ASSERT_EQ(reg->openKey(HKEY_CURRENT_USER, "Software\\Tidewell Fixture", access::KeyAllAccess, fixtureKey), 0);
  EXPECT_EQ(reg->deleteKey(fixtureKey, "a_b"), error::Success);
  EXPECT_EQ(reg->deleteValue(fixtureKey, "bin"), error::Success);
  reg->closeKey(fixtureKey);
  ASSERT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success);
  std::string saved = readFile(dir.path() / "user.reg");
  EXPECT_EQ(saved.find("a_b]"), std::string::npos);
  EXPECT_EQ(saved.find("\"bin\"="), std::string::npos);
  reopen();
  EXPECT_FALSE(keyExists(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Fixture\\a_b"));
  EXPECT_EQ(subKeyNames(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Fixture"),
            (std::vector<std::string>{"[bracketed]", "AA", "aB", "Classy", "Grüße"}));
  // Saving the reloaded registry again changes nothing.
  putString(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Fixture\\AA", "", "");
  RegKey aa = 0;
  ASSERT_EQ(reg->openKey(HKEY_CURRENT_USER, "Software\\Tidewell Fixture\\AA", access::KeyAllAccess, aa), 0);
  EXPECT_EQ(reg->deleteValue(aa, ""), error::Success);
  reg->closeKey(aa);
  EXPECT_EQ(loadAndWrite(saved, false), saved);
}

TEST_F(WineSaveFlush, LinksAndRootsResolveThroughTheTree) {
  EXPECT_EQ(getString(*reg, HKEY_CLASSES_ROOT, "txtfile", ""), "Text Document");
  EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE, "Software\\Tidewell\\To Classes\\txtfile", ""), "Text Document");
  EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE, "software\\tidewell\\to classes\\TXTFILE\\shell\\open\\command", ""),
            "\"C:\\windows\\system32\\notepad.exe\" \"%1\"");
  EXPECT_FALSE(keyExists(*reg, HKEY_LOCAL_MACHINE, "Software\\Tidewell\\Loop A")) << "a loop of links ends";
  EXPECT_FALSE(keyExists(*reg, HKEY_LOCAL_MACHINE, "Software\\Tidewell\\Broken")) << "a link to nothing";
  EXPECT_EQ(subKeyNames(*reg, HKEY_LOCAL_MACHINE, "Software\\Tidewell"),
            (std::vector<std::string>{"Broken", "Loop A", "Loop B", "To Classes"}));

  RegKey fonts = 0;
  ASSERT_EQ(reg->openKey(HKEY_CURRENT_CONFIG, "Software\\Fonts", access::KeyRead, fonts), error::Success);
  RegValue v;
  ASSERT_EQ(reg->queryValue(fonts, "LogPixels", v), error::Success);
  EXPECT_EQ(v.data, (std::vector<std::uint8_t>{0x60, 0, 0, 0}));
  reg->closeKey(fonts);

  // A link holds its target and nothing else; writes through it land in the target.
  RegKey link = 0;
  ASSERT_EQ(reg->openKey(HKEY_LOCAL_MACHINE, "Software\\Tidewell\\To Classes", access::KeyAllAccess, link), 0);
  const std::uint8_t text[] = "x";
  EXPECT_EQ(reg->setValue(link, "via link", regtype::Sz, text, 2), error::Success);
  reg->closeKey(link);
  EXPECT_EQ(getString(*reg, HKEY_CLASSES_ROOT, "", "via link"), "x");

  KeyInfo info;
  ASSERT_EQ(reg->openKey(HKEY_CURRENT_USER, "Software\\Tidewell Fixture\\Classy", access::KeyRead, link), 0);
  ASSERT_EQ(reg->queryInfoKey(link, info), error::Success);
  EXPECT_EQ(info.className, "My \"Class\" é");
  EXPECT_EQ(info.lastWriteTime, 0x1dd8686eae7f6aeull);
  reg->closeKey(link);
}

TEST_F(WineSaveFlush, DiscardAfterAFlushReturnsToWhatIsOnDisk) {
  putString(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Fixture", "plain", "first");
  ASSERT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success);
  std::string onDisk = readFile(dir.path() / "user.reg");
  putString(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Fixture", "plain", "second");
  RegKey fixtureKey = 0;
  ASSERT_EQ(reg->openKey(HKEY_CURRENT_USER, "Software\\Tidewell Fixture", access::KeyAllAccess, fixtureKey), 0);
  ASSERT_EQ(reg->deleteKey(fixtureKey, "AA"), error::Success);
  reg->closeKey(fixtureKey);
  ASSERT_EQ(reg->discardUnflushedChanges(), error::Success);
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Fixture", "plain"), "first");
  EXPECT_TRUE(keyExists(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Fixture\\AA"));
  ASSERT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success);
  EXPECT_EQ(readFile(dir.path() / "user.reg"), onDisk) << "nothing left to save";
}

} // namespace
