// Our reading and writing held against Wine's own, on a prefix made by wineboot. Skipped when
// Wine is not installed. One prefix for the whole program: wineboot takes a minute or more.

#include "RegistryTestSupport.h"
#include "WineListing.h"

#include "platform/WineRegistry.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

using namespace tw::platform;
using namespace tw::test;
namespace fs = std::filesystem;

namespace {

bool haveWine() { return std::system("command -v wine wineboot wineserver >/dev/null 2>&1") == 0; }

void stopWine(const fs::path &prefix) {
  runInPrefix(prefix, "wineserver -k");
  runInPrefix(prefix, "wineserver -w");
}

std::unique_ptr<WineRegistry> openPrefix(const fs::path &prefix) {
  RegistryLoadResult result;
  auto reg = openWineRegistry(prefix.string(), result);
  EXPECT_TRUE(result) << result.description();
  return reg;
}

TEST(RealWine, ReadsAndWritesTheRegistryAsWineDoes) {
  if (!haveWine()) GTEST_SKIP() << "wine is not installed";
  TempDir dir("wine");
  fs::path prefix = dir.path() / "prefix";
  runInPrefix(prefix, "wineboot -i >/dev/null");
  stopWine(prefix);
  ASSERT_TRUE(fs::exists(prefix / "system.reg")) << "wineboot made no prefix";

  {
    SCOPED_TRACE("Wine's files come out of a load and a save byte for byte");
    for (const char *name : {"system.reg", "user.reg", "userdef.reg"}) {
      std::string text = readFile(prefix / name);
      EXPECT_EQ(loadAndWrite(text, false), text) << name;
      EXPECT_EQ(loadAndWrite(text, true), text) << name << " written afresh";
    }
  }

  auto reg = openPrefix(prefix);
  ASSERT_NE(reg, nullptr);
  EXPECT_FALSE(reg->isReadOnly()) << reg->readOnlyReason();

  {
    SCOPED_TRACE("values and sub-keys read through every root equal what reg.exe lists");
    struct Sample {
      RegKey root;
      std::string path;
      std::string wineName;
    };
    const Sample samples[] = {
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion"},
        {HKEY_LOCAL_MACHINE, "Software\\Classes\\MIME\\Database\\Charset", "HKLM\\Software\\Classes\\MIME\\Database\\Charset"},
        {HKEY_CURRENT_USER, "Control Panel\\Desktop", "HKCU\\Control Panel\\Desktop"},
        {HKEY_CURRENT_USER, "Control Panel\\International", "HKCU\\Control Panel\\International"},
        {HKEY_CLASSES_ROOT, "txtfile\\shell\\open\\command", "HKCR\\txtfile\\shell\\open\\command"},
        {HKEY_CLASSES_ROOT, "CLSID", "HKCR\\CLSID"},
        {HKEY_USERS, ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
         "HKU\\.Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"},
        {HKEY_USERS, "S-1-5-21-0-0-0-1000\\Control Panel\\Mouse", "HKU\\S-1-5-21-0-0-0-1000\\Control Panel\\Mouse"},
        {HKEY_CURRENT_CONFIG, "Software\\Fonts", "HKCC\\Software\\Fonts"},
    };
    for (const Sample &s : samples) {
      Listing wine = wineQuery(prefix, s.wineName, /*thirtyTwoBit=*/false);
      Listing ours = ourQuery(*reg, s.root, s.path, 0);
      ASSERT_TRUE(wine.found) << s.wineName;
      ASSERT_TRUE(ours.found) << s.wineName;
      EXPECT_EQ(ours.values, wine.values) << s.wineName;
      EXPECT_EQ(ours.subKeys, wine.subKeys) << s.wineName;
      EXPECT_FALSE(wine.values.empty() && wine.subKeys.empty()) << s.wineName << " is an empty sample";
    }
    stopWine(prefix);
  }

  {
    SCOPED_TRACE("what we write and flush is what Wine reads");
    // Every Wine start stamps a few keys anew and saves them, so read the files again.
    reg = openPrefix(prefix);
    ASSERT_NE(reg, nullptr);
    const std::string multi("first\0second\0\0", 14);
    const std::uint8_t bytes[] = {0xde, 0xad, 0xbe, 0xef};
    RegKey key = 0;
    ASSERT_EQ(reg->createKey(HKEY_CURRENT_USER, "Software\\Tidewell Test\\Nested", access::KeyAllAccess, key), 0);
    putString(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Test", "text", "C:\\Program Files\\app.exe");
    putDword(*reg, HKEY_CURRENT_USER, "Software\\Tidewell Test", "number", 0x1234abcd);
    ASSERT_EQ(reg->setValue(key, "bytes", regtype::Binary, bytes, 4), error::Success);
    ASSERT_EQ(reg->setValue(key, "list", regtype::MultiSz, reinterpret_cast<const std::uint8_t *>(multi.data()),
                            multi.size()),
              error::Success);
    const std::string expand = "%SystemRoot%\\x";
    ASSERT_EQ(reg->setValue(key, "", regtype::ExpandSz, reinterpret_cast<const std::uint8_t *>(expand.c_str()),
                            expand.size() + 1),
              error::Success);
    reg->closeKey(key);
    putString(*reg, HKEY_CLASSES_ROOT, ".tidewell", "", "tidewellfile");
    putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Tidewell Test", "gone", "x");
    ASSERT_EQ(reg->deleteValue(HKEY_LOCAL_MACHINE, "Software\\Tidewell Test"), error::FileNotFound);
    RegKey machine = 0;
    ASSERT_EQ(reg->openKey(HKEY_LOCAL_MACHINE, "Software\\Tidewell Test", access::KeyAllAccess, machine), 0);
    ASSERT_EQ(reg->deleteValue(machine, "gone"), error::Success);
    reg->closeKey(machine);
    ASSERT_EQ(reg->deleteKey(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current"), error::Success);
    ASSERT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success) << reg->lastSaveError();

    Listing top = wineQuery(prefix, "HKCU\\Software\\Tidewell Test", false);
    EXPECT_EQ(top.values["text"], std::make_pair(std::string("REG_SZ"), std::string("C:\\Program Files\\app.exe")));
    EXPECT_EQ(top.values["number"], std::make_pair(std::string("REG_DWORD"), std::string("0x1234abcd")));
    EXPECT_EQ(top.subKeys, std::vector<std::string>{"Nested"});
    Listing nested = wineQuery(prefix, "HKCU\\Software\\Tidewell Test\\Nested", false);
    EXPECT_EQ(nested.values["bytes"], std::make_pair(std::string("REG_BINARY"), std::string("DEADBEEF")));
    EXPECT_EQ(nested.values["list"], std::make_pair(std::string("REG_MULTI_SZ"), std::string("first\\0second")));
    EXPECT_EQ(nested.values["(Default)"], std::make_pair(std::string("REG_EXPAND_SZ"), expand));
    EXPECT_EQ(wineQuery(prefix, "HKLM\\Software\\Classes\\.tidewell", false).values["(Default)"].second, "tidewellfile");
    Listing machineKey = wineQuery(prefix, "HKLM\\Software\\Tidewell Test", false);
    EXPECT_TRUE(machineKey.found);
    EXPECT_TRUE(machineKey.values.empty());
    EXPECT_FALSE(wineQuery(prefix, "HKCU\\AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current", false).found);

    SCOPED_TRACE("while Wine runs the registry opens read-only");
    runInPrefix(prefix, "wineserver -p 30 >/dev/null &");
    runInPrefix(prefix, "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query 'HKCU\\Software\\Tidewell Test' >/dev/null");
    auto whileRunning = openPrefix(prefix);
    ASSERT_NE(whileRunning, nullptr);
    EXPECT_TRUE(whileRunning->isReadOnly());
    EXPECT_NE(whileRunning->readOnlyReason().find("Wine is running"), std::string::npos);
    RegKey refused = 0;
    EXPECT_EQ(whileRunning->openKey(HKEY_CURRENT_USER, "Software", access::KeyWrite, refused), error::AccessDenied);
    whileRunning.reset();
    // The server is found where Wine keeps it, not through the prefix's record of it, which a
    // Debian Wine writes and another Wine does not.
    if (fs::exists(prefix / "wineserver")) {
      fs::rename(prefix / "wineserver", prefix / "wineserver.moved");
      auto withoutRecord = openPrefix(prefix);
      ASSERT_NE(withoutRecord, nullptr);
      EXPECT_TRUE(withoutRecord->isReadOnly());
      withoutRecord.reset();
      fs::rename(prefix / "wineserver.moved", prefix / "wineserver");
    }

    SCOPED_TRACE("Wine writes the keys we wrote exactly as we wrote them");
    std::string ours = readFile(prefix / "user.reg");
    runInPrefix(prefix, "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg add 'HKCU\\Software\\Tidewell Wine' /v fromwine /d x /f >/dev/null");
    stopWine(prefix);
    std::string wines = readFile(prefix / "user.reg");
    auto block = [](const std::string &text, const std::string &header) {
      std::size_t at = text.find("\n[" + header + "] ");
      if (at == std::string::npos) return std::string();
      return text.substr(at, text.find("\n\n", at + 1) - at);
    };
    for (const char *header : {"Software\\\\Tidewell Test", "Software\\\\Tidewell Test\\\\Nested"}) {
      EXPECT_FALSE(block(ours, header).empty()) << header;
      EXPECT_EQ(block(wines, header), block(ours, header)) << header;
    }
    EXPECT_FALSE(block(wines, "Software\\\\Tidewell Wine").empty());
    EXPECT_EQ(loadAndWrite(wines, true), wines) << "and we write what Wine wrote";
  }
  reg.reset();
  auto after = openPrefix(prefix);
  ASSERT_NE(after, nullptr);
  EXPECT_FALSE(after->isReadOnly()) << after->readOnlyReason();
  EXPECT_EQ(getString(*after, HKEY_CURRENT_USER, "Software\\Tidewell Wine", "fromwine"), "x");
}

} // namespace
