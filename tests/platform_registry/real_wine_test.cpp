// Our reading and writing held against Wine's own, on a prefix made by wineboot. Skipped when
// Wine is not installed. One prefix for the whole program: wineboot takes a minute or more.

#include "RegistryTestSupport.h"

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

std::string quoted(const std::string &text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs a shell command in the prefix's environment and returns what it printed; `status`
// (optional) receives its exit status.
std::string runWine(const fs::path &prefix, const std::string &command, int *status = nullptr) {
  std::string line = "WINEPREFIX=" + quoted(prefix.string()) + " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' " +
                     command + " 2>/dev/null";
  std::string out;
  int result = -1;
  if (FILE *pipe = ::popen(line.c_str(), "r")) {
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    result = ::pclose(pipe);
  }
  if (status) *status = result;
  return out;
}

void stopWine(const fs::path &prefix) {
  runWine(prefix, "wineserver -k");
  runWine(prefix, "wineserver -w");
}

struct Listing {
  std::map<std::string, std::pair<std::string, std::string>> values; // name -> type, data
  std::vector<std::string> subKeys;
  bool found = false;
};

bool isPlainAscii(const std::string &text) {
  for (unsigned char c : text)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

// What "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query KEY" prints: the key (when it has values), its values
// ("    name    TYPE    data"), and the full paths of its sub-keys. Names and values with text
// reg.exe cannot print faithfully (non-ASCII, control characters) are left out.
Listing wineQuery(const fs::path &prefix, const std::string &key) {
  Listing listing;
  int status = -1;
  std::istringstream lines(runWine(prefix, "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query " + quoted(key), &status));
  listing.found = status == 0;
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line.rfind("    ", 0) != 0) {
      // The key itself, or one of its sub-keys: those are one name longer.
      std::size_t keyNames = static_cast<std::size_t>(std::count(key.begin(), key.end(), '\\'));
      std::size_t lineNames = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\\'));
      std::string name = line.substr(line.rfind('\\') + 1);
      if (lineNames == keyNames + 1 && isPlainAscii(name) && name.find('?') == std::string::npos)
        listing.subKeys.push_back(name);
      continue;
    }
    std::string rest = line.substr(4);
    std::size_t typeAt = rest.find("    REG_");
    if (typeAt == std::string::npos) continue; // types reg.exe cannot name
    std::string name = rest.substr(0, typeAt);
    std::string typeAndData = rest.substr(typeAt + 4);
    std::size_t dataAt = typeAndData.find("    ");
    std::string type = typeAndData.substr(0, dataAt);
    std::string data = dataAt == std::string::npos ? "" : typeAndData.substr(dataAt + 4);
    // reg.exe prints what it cannot convert as '?'.
    if (isPlainAscii(name) && isPlainAscii(data) && (name + data).find('?') == std::string::npos)
      listing.values[name] = {type, data};
  }
  return listing;
}

// The same listing through our registry, formatted as reg.exe formats it.
Listing ourQuery(RegistryApi &reg, RegKey root, const std::string &path) {
  Listing listing;
  RegKey key = 0;
  if (reg.openKey(root, path, access::KeyRead, key) != error::Success) return listing;
  listing.found = true;
  RegValue v;
  for (std::uint32_t i = 0; reg.enumValue(key, i, v) == error::Success; ++i) {
    std::string name = v.name.empty() ? "(Default)" : v.name;
    std::string type;
    std::string data;
    char hex[4];
    switch (v.type) {
    case regtype::Sz:
    case regtype::ExpandSz:
      type = v.type == regtype::Sz ? "REG_SZ" : "REG_EXPAND_SZ";
      data.assign(v.data.begin(), v.data.end());
      data = data.substr(0, data.find('\0'));
      break;
    case regtype::MultiSz: {
      type = "REG_MULTI_SZ";
      std::string all(v.data.begin(), v.data.end());
      for (std::size_t at = 0; at < all.size() && all[at] != '\0';) {
        std::size_t end = all.find('\0', at);
        if (!data.empty()) data += "\\0";
        data += all.substr(at, end - at);
        at = end == std::string::npos ? all.size() : end + 1;
      }
      break;
    }
    case regtype::Dword:
      if (v.data.size() != 4) continue;
      type = "REG_DWORD";
      data = "0x" + [&] {
        char b[16];
        std::uint32_t dw = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<std::uint32_t>(v.data[3]) << 24);
        std::snprintf(b, sizeof b, "%x", dw);
        return std::string(b);
      }();
      break;
    case regtype::Binary:
    case regtype::None:
      type = v.type == regtype::Binary ? "REG_BINARY" : "REG_NONE";
      for (std::uint8_t b : v.data) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        data += hex;
      }
      break;
    default: continue;
    }
    if (isPlainAscii(name) && isPlainAscii(data) && (name + data).find('?') == std::string::npos)
      listing.values[name] = {type, data};
  }
  std::string sub;
  for (std::uint32_t i = 0; reg.enumKey(key, i, sub) == error::Success; ++i)
    if (isPlainAscii(sub) && sub.find('?') == std::string::npos) listing.subKeys.push_back(sub);
  reg.closeKey(key);
  return listing;
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
  runWine(prefix, "wineboot -i >/dev/null");
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
      Listing wine = wineQuery(prefix, s.wineName);
      Listing ours = ourQuery(*reg, s.root, s.path);
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

    Listing top = wineQuery(prefix, "HKCU\\Software\\Tidewell Test");
    EXPECT_EQ(top.values["text"], std::make_pair(std::string("REG_SZ"), std::string("C:\\Program Files\\app.exe")));
    EXPECT_EQ(top.values["number"], std::make_pair(std::string("REG_DWORD"), std::string("0x1234abcd")));
    EXPECT_EQ(top.subKeys, std::vector<std::string>{"Nested"});
    Listing nested = wineQuery(prefix, "HKCU\\Software\\Tidewell Test\\Nested");
    EXPECT_EQ(nested.values["bytes"], std::make_pair(std::string("REG_BINARY"), std::string("DEADBEEF")));
    EXPECT_EQ(nested.values["list"], std::make_pair(std::string("REG_MULTI_SZ"), std::string("first\\0second")));
    EXPECT_EQ(nested.values["(Default)"], std::make_pair(std::string("REG_EXPAND_SZ"), expand));
    EXPECT_EQ(wineQuery(prefix, "HKLM\\Software\\Classes\\.tidewell").values["(Default)"].second, "tidewellfile");
    Listing machineKey = wineQuery(prefix, "HKLM\\Software\\Tidewell Test");
    EXPECT_TRUE(machineKey.found);
    EXPECT_TRUE(machineKey.values.empty());
    EXPECT_FALSE(wineQuery(prefix, "HKCU\\AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current").found);

    SCOPED_TRACE("while Wine runs the registry opens read-only");
    runWine(prefix, "wineserver -p 30 >/dev/null &");
    runWine(prefix, "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg query 'HKCU\\Software\\Tidewell Test' >/dev/null");
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
    runWine(prefix, "WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 reg add 'HKCU\\Software\\Tidewell Wine' /v fromwine /d x /f >/dev/null");
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
