// Our exports against `wine regedit /e` on a real prefix made by wineboot, and files passed
// both ways between Wine's registry editor and ours. Skipped when wine is not installed.
//
// Wine's registry editor sees the keys its wineserver keeps only in memory (volatile keys:
// HKLM\Hardware, display and device keys, ...). They never reach the prefix's files, so an
// export from the files cannot hold them. That is the one difference the comparison accepts:
// Wine's sections whose keys the saved registry files do not hold are dropped before the
// texts are compared byte for byte.

#include "registry/regfile/RegFileExport.h"
#include "registry/regfile/RegFileImport.h"
#include "platform/MemoryRegistry.h"
#include "platform/WineRegistry.h"

#include "RegTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <unistd.h>

using namespace tw;
using namespace tw::regedit;
using namespace tw::regedit::test;
namespace fs = std::filesystem;
namespace regtype = platform::regtype;

namespace {

bool onPath(const std::string &program) {
  const char *path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0)
      return true;
  return false;
}

std::string shellQuoted(const std::string &text) {
  std::string out = "'";
  for (char c : text)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string readFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string lower(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return text;
}

/// The keys of a prefix's saved registry files, as lower-case native paths
/// ("\registry\machine\software"), with the links among them, read straight from the text.
class SavedKeys {
public:
  void load(const fs::path &file) {
    std::ifstream in(file);
    std::string line;
    std::string base;
    std::string current;
    std::string linkValue;
    bool inLinkValue = false;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      if (line.starts_with(";; All keys relative to ")) {
        base = "\\" + lower(unescape(line.substr(24)));
        add(base);
        continue;
      }
      if (inLinkValue) {
        linkValue += line;
        inLinkValue = !line.empty() && line.back() == '\\';
        if (!inLinkValue)
          m_links[current] = lower(decodeUtf16Hex(linkValue));
        continue;
      }
      if (line.starts_with("[")) {
        std::size_t end = 1;
        while (end < line.size() && line[end] != ']')
          end += line[end] == '\\' ? 2 : 1;
        current = base + "\\" + lower(unescape(line.substr(1, end - 1)));
        add(current);
        continue;
      }
      if (line.starts_with("\"SymbolicLinkValue\"=hex(6):")) {
        linkValue = line.substr(27);
        inLinkValue = !line.empty() && line.back() == '\\';
        if (!inLinkValue)
          m_links[current] = lower(decodeUtf16Hex(linkValue));
      }
    }
  }

  /// True when the native path names a saved key, following links on the way.
  bool holds(const std::string &nativePath) const {
    std::string resolved;
    std::size_t begin = 1;
    const std::string path = lower(nativePath);
    while (begin <= path.size()) {
      std::size_t end = path.find('\\', begin);
      if (end == std::string::npos)
        end = path.size();
      resolved += "\\" + path.substr(begin, end - begin);
      for (int hops = 0; hops < 8; ++hops) {
        const auto link = m_links.find(resolved);
        if (link == m_links.end())
          break;
        resolved = link->second;
      }
      begin = end + 1;
    }
    return m_keys.count(resolved) != 0;
  }

private:
  std::set<std::string> m_keys;
  std::map<std::string, std::string> m_links;

  void add(const std::string &path) {
    for (std::size_t cut = path.find('\\', 1); cut != std::string::npos;
         cut = path.find('\\', cut + 1))
      m_keys.insert(path.substr(0, cut));
    m_keys.insert(path);
  }

  // Wine's file escapes: "\\" for a backslash, "\xNNNN" for a UTF-16 unit outside ASCII
  // (surrogate pairs as two), "\c" for c.
  static std::string unescape(const std::string &text) {
    std::u16string units;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '\\' || i + 1 == text.size()) {
        units += static_cast<char16_t>(static_cast<unsigned char>(text[i]));
        continue;
      }
      const char next = text[++i];
      if (next != 'x') {
        units += static_cast<char16_t>(static_cast<unsigned char>(next));
        continue;
      }
      std::size_t digits = 0;
      unsigned unit = 0;
      while (digits < 4 && i + 1 < text.size() &&
             std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
        unit = unit * 16 + static_cast<unsigned>(std::stoi(std::string(1, text[++i]), nullptr, 16));
        ++digits;
      }
      units += static_cast<char16_t>(unit);
    }
    return textOfUtf16File("\xFF\xFE" + utf16Bytes(units));
  }

  static std::string decodeUtf16Hex(const std::string &hex) {
    std::string bytes;
    std::stringstream in(hex);
    std::string item;
    while (std::getline(in, item, ',')) {
      std::string digits;
      for (char c : item)
        if (std::isxdigit(static_cast<unsigned char>(c)))
          digits += c;
      if (!digits.empty())
        bytes += static_cast<char>(std::stoi(digits, nullptr, 16));
    }
    std::string text = textOfUtf16File("\xFF\xFE" + bytes);
    while (!text.empty() && text.back() == '\0')
      text.pop_back();
    return text;
  }
};

/// The native path of a key text of an export ("HKEY_CLASSES_ROOT\.txt").
std::string nativePath(const std::string &keyText, const std::string &userSid) {
  static const std::pair<const char *, const char *> roots[] = {
      {"HKEY_LOCAL_MACHINE", "\\Registry\\Machine"},
      {"HKEY_USERS", "\\Registry\\User"},
      {"HKEY_CLASSES_ROOT", "\\Registry\\Machine\\Software\\Classes"},
      {"HKEY_CURRENT_CONFIG",
       "\\Registry\\Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current"},
  };
  const std::string root = keyText.substr(0, keyText.find('\\'));
  const std::string rest = keyText.substr(root.size());
  if (root == "HKEY_CURRENT_USER")
    return "\\Registry\\User\\" + userSid + rest;
  for (const auto &[name, native] : roots)
    if (root == name)
      return native + rest;
  return "\\unknown" + rest;
}

/// Wine's export text without the sections of keys that the saved files do not hold. A
/// section is the blank line, the [key] line and the value lines after it.
std::string withoutVolatileKeys(const std::string &text, const SavedKeys &saved,
                                const std::string &userSid, std::size_t &dropped) {
  std::vector<std::string> lines;
  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t end = text.find("\r\n", begin);
    end = end == std::string::npos ? text.size() : end + 2;
    lines.push_back(text.substr(begin, end - begin));
    begin = end;
  }
  auto startsSection = [&](std::size_t i) {
    return lines[i] == "\r\n" && i + 1 < lines.size() && lines[i + 1].starts_with("[");
  };
  std::string out;
  for (std::size_t i = 0; i < lines.size();) {
    if (!startsSection(i)) {
      out += lines[i++];
      continue;
    }
    std::size_t next = i + 2;
    while (next < lines.size() && !startsSection(next) &&
           !(next + 1 == lines.size() && lines[next] == "\r\n"))
      ++next;
    const std::string &keyLine = lines[i + 1];
    if (saved.holds(nativePath(keyLine.substr(1, keyLine.size() - 4), userSid))) {
      for (std::size_t k = i; k < next; ++k)
        out += lines[k];
    } else {
      ++dropped;
    }
    i = next;
  }
  return out;
}

/// Where two UTF-16 files first differ, shown as text with a little context.
std::string firstDifference(const std::string &expectedBytes, const std::string &gotBytes) {
  const std::string a = textOfUtf16File(expectedBytes);
  const std::string b = textOfUtf16File(gotBytes);
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i])
    ++i;
  if (i == a.size() && i == b.size())
    return "the texts are equal; the bytes differ";
  const std::size_t from = i > 200 ? i - 200 : 0;
  return "first difference at text byte " + std::to_string(i) + "\n--- expected:\n" +
         a.substr(from, 400) + "\n--- got:\n" + b.substr(from, 400);
}

/// One `wine reg query` line: name, type and shown data.
std::map<std::string, std::pair<std::string, std::string>> parseRegQuery(const std::string &out) {
  std::map<std::string, std::pair<std::string, std::string>> values;
  std::stringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (!line.starts_with("    "))
      continue;
    line = line.substr(4);
    const std::size_t nameEnd = line.find("    ");
    if (nameEnd == std::string::npos)
      continue;
    const std::size_t typeEnd = line.find("    ", nameEnd + 4);
    const std::string type = line.substr(nameEnd + 4, typeEnd == std::string::npos
                                                         ? std::string::npos
                                                         : typeEnd - nameEnd - 4);
    const std::string data = typeEnd == std::string::npos ? "" : line.substr(typeEnd + 4);
    values[line.substr(0, nameEnd)] = {type, data};
  }
  return values;
}

class WineRegeditTest : public ::testing::Test {
protected:
  static inline fs::path s_prefix;
  static inline std::string s_skip;

  static void SetUpTestSuite() {
    if (!onPath("wine") || !onPath("wineboot") || !onPath("wineserver")) {
      s_skip = "wine is not installed";
      return;
    }
    char pattern[] = "/tmp/tw-regedit-wine-XXXXXX";
    if (!::mkdtemp(pattern)) {
      s_skip = "cannot make a temporary folder";
      return;
    }
    s_prefix = fs::path(pattern) / "prefix";
    const std::string boot = "env WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPREFIX=" +
                             shellQuoted(s_prefix.string()) + " wineboot -i >/dev/null 2>&1";
    // wineboot's own status is not reliable (a missing 32-bit part makes it fail after the
    // prefix is complete); the registry files once the server has ended are what counts.
    [[maybe_unused]] const int ignored = std::system(boot.c_str());
    waitForServer();
    if (!fs::exists(s_prefix / "system.reg") || !fs::exists(s_prefix / "user.reg"))
      s_skip = "wineboot could not make a prefix";
  }

  static void TearDownTestSuite() {
    if (s_prefix.empty())
      return;
    const std::string kill = "env WINEPREFIX=" + shellQuoted(s_prefix.string()) +
                             " wineserver -k >/dev/null 2>&1";
    [[maybe_unused]] const int ignored = std::system(kill.c_str());
    waitForServer();
    fs::remove_all(s_prefix.parent_path());
  }

  void SetUp() override {
    if (!s_skip.empty())
      GTEST_SKIP() << s_skip;
  }

  /// Runs wine with `args` in the prefix; returns its exit status and leaves its output in
  /// `output` when given.
  static int wine(const std::string &args, std::string *output = nullptr) {
    const fs::path log = s_prefix.parent_path() / "wine-output.txt";
    const std::string command = "env WINEDEBUG=-all WINEPREFIX=" + shellQuoted(s_prefix.string()) +
                                " WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 " + args + " >" + shellQuoted(log.string()) + " 2>&1";
    const int status = std::system(command.c_str());
    if (output)
      *output = readFile(log);
    return status;
  }

  /// Waits until the prefix's wineserver has saved the registry and ended.
  static void waitForServer() {
    const std::string wait = "env WINEPREFIX=" + shellQuoted(s_prefix.string()) +
                             " wineserver -w >/dev/null 2>&1";
    [[maybe_unused]] const int ignored = std::system(wait.c_str());
  }

  /// The prefix's registry, opened by our backend once Wine has let go of it.
  static std::unique_ptr<platform::WineRegistry> openRegistry() {
    waitForServer();
    platform::RegistryLoadResult loaded;
    auto registry = platform::openWineRegistry(s_prefix.string(), loaded);
    EXPECT_TRUE(registry) << loaded.description();
    return registry;
  }

  static std::string windowsPath(const fs::path &host) {
    std::string path = "Z:" + host.string();
    for (char &c : path)
      if (c == '/')
        c = '\\';
    return path;
  }

  static fs::path work(const std::string &name) { return s_prefix.parent_path() / name; }

  void exportOfEveryRootEqualsWinesApartFromVolatileKeys();
  void wineImportsOurFileAndExportsItBackUnchanged();
  void ourImportTakesWinesExport();
};

} // namespace

void WineRegeditTest::exportOfEveryRootEqualsWinesApartFromVolatileKeys() {
  const std::vector<std::string> roots = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                          "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                          "HKEY_CURRENT_CONFIG"};
  for (const std::string &root : roots)
    ASSERT_EQ(wine("regedit /e " + shellQuoted(windowsPath(work("wine-" + root + ".reg"))) +
                   " " + root),
              0);
  auto registry = openRegistry();
  ASSERT_TRUE(registry);

  SavedKeys saved;
  for (const char *file : {"system.reg", "user.reg", "userdef.reg"})
    saved.load(s_prefix / file);
  const std::string userHeader = readFile(s_prefix / "user.reg");
  const std::size_t sidAt = userHeader.find("\\\\User\\\\");
  ASSERT_NE(sidAt, std::string::npos);
  const std::string sid =
      userHeader.substr(sidAt + 8, userHeader.find('\n', sidAt) - sidAt - 8);

  for (const std::string &root : roots) {
    const std::string wineBytes = readFile(work("wine-" + root + ".reg"));
    ASSERT_GT(wineBytes.size(), 100u) << root;
    std::size_t dropped = 0;
    const std::string expected =
        utf16File(withoutVolatileKeys(textOfUtf16File(wineBytes), saved, sid, dropped));
    std::string ours;
    ExportGaps gaps;
    ASSERT_TRUE(exportRegText(*registry, root, ours, &gaps)) << root;
    EXPECT_TRUE(gaps.empty()) << root << ": " << (gaps.empty() ? "" : gaps.keys.front());
    EXPECT_TRUE(ours == expected) << root << ": " << firstDifference(expected, ours);
    std::cout << "[          ] " << root << ": " << ours.size() << " bytes equal to Wine's after "
              << dropped << " volatile key sections of Wine's export were dropped\n";
  }
}

void WineRegeditTest::wineImportsOurFileAndExportsItBackUnchanged() {
  const std::string key = "HKEY_CURRENT_USER\\Software\\Tidewell Regedit Test";
  auto memory = platform::makeMemoryRegistry();
  const std::string path = "Software\\Tidewell Regedit Test";
  const platform::RegKey hkcu = platform::HKEY_CURRENT_USER;
  // Wine's server keeps the values of a key sorted by name, so they are created in that
  // order here for Wine's export to come back in the same order.
  std::vector<std::uint8_t> big(120);
  for (std::size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<std::uint8_t>(i);
  setRaw(*memory, hkcu, path, "", regtype::Sz, sz(u"default"));
  setRaw(*memory, hkcu, path, "binary", regtype::Binary, big);
  setRaw(*memory, hkcu, path, "dword", regtype::Dword, bytes({0x2a, 0, 0, 0}));
  setRaw(*memory, hkcu, path, "expand", regtype::ExpandSz, sz(u"%SystemRoot%\\x"));
  setRaw(*memory, hkcu, path, "multi", regtype::MultiSz,
         bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  setRaw(*memory, hkcu, path, "none", regtype::None, {});
  setRaw(*memory, hkcu, path, "qword", regtype::Qword, bytes({1, 0, 0, 0, 0, 0, 0, 0x80}));
  setRaw(*memory, hkcu, path, "sz", regtype::Sz, sz(u"C:\\dir \"q\" x"));
  setRaw(*memory, hkcu, path + "\\Sub Key", "caf\xC3\xA9", regtype::Sz, sz(u"\u20ac"));

  const fs::path ours = work("ours.reg");
  ASSERT_TRUE(exportRegFile(*memory, key, ours.string()));
  // Wine's registry editor takes /s but not the /i of a restore, so /s alone here.
  ASSERT_EQ(wine("regedit /s " + shellQuoted(windowsPath(ours))), 0);

  std::string query;
  ASSERT_EQ(wine("reg query " + shellQuoted(key), &query), 0);
  const auto values = parseRegQuery(query);
  EXPECT_EQ(values.at("sz"), std::make_pair(std::string("REG_SZ"), std::string("C:\\dir \"q\" x")));
  EXPECT_EQ(values.at("expand").first, "REG_EXPAND_SZ");
  EXPECT_EQ(values.at("expand").second, "%SystemRoot%\\x");
  EXPECT_EQ(values.at("multi"), std::make_pair(std::string("REG_MULTI_SZ"), std::string("a\\0b")));
  EXPECT_EQ(values.at("dword"), std::make_pair(std::string("REG_DWORD"), std::string("0x2a")));
  EXPECT_EQ(values.at("qword").first, "REG_QWORD");
  EXPECT_EQ(values.at("binary").first, "REG_BINARY");
  EXPECT_EQ(values.at("binary").second.substr(0, 8), "00010203");
  EXPECT_EQ(values.at("binary").second.size(), 240u);
  EXPECT_EQ(values.at("none").first, "REG_NONE");

  const fs::path back = work("wine-back.reg");
  ASSERT_EQ(wine("regedit /e " + shellQuoted(windowsPath(back)) + " " + shellQuoted(key)), 0);
  const std::string original = readFile(ours);
  const std::string returned = readFile(back);
  EXPECT_TRUE(returned == original) << firstDifference(original, returned);
}

void WineRegeditTest::ourImportTakesWinesExport() {
  const std::string key = "HKEY_CURRENT_USER\\Software\\Tidewell From Wine";
  ASSERT_EQ(wine("reg add " + shellQuoted(key) + " /v text /t REG_SZ /d " +
                 shellQuoted("C:\\Program Files\\x.exe") + " /f"),
            0);
  ASSERT_EQ(wine("reg add " + shellQuoted(key) + " /v list /t REG_MULTI_SZ /d 'one\\0two' /f"),
            0);
  ASSERT_EQ(wine("reg add " + shellQuoted(key + "\\Sub") + " /v bytes /t REG_BINARY /d "
                 "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff /f"),
            0);
  const fs::path exported = work("from-wine.reg");
  ASSERT_EQ(wine("regedit /e " + shellQuoted(windowsPath(exported)) + " " + shellQuoted(key)), 0);
  ASSERT_EQ(wine("reg delete " + shellQuoted(key) + " /f"), 0);

  {
    auto registry = openRegistry();
    ASSERT_TRUE(registry);
    ASSERT_FALSE(keyExists(*registry, platform::HKEY_CURRENT_USER, "Software\\Tidewell From Wine"));
    const RegFileResult imported = importRegFile(*registry, exported.string());
    ASSERT_TRUE(imported) << imported.description();
  }

  std::string query;
  ASSERT_EQ(wine("reg query " + shellQuoted(key) + " /s", &query), 0);
  const auto values = parseRegQuery(query);
  EXPECT_EQ(values.at("text"),
            std::make_pair(std::string("REG_SZ"), std::string("C:\\Program Files\\x.exe")));
  EXPECT_EQ(values.at("list"), std::make_pair(std::string("REG_MULTI_SZ"), std::string("one\\0two")));
  EXPECT_EQ(values.at("bytes"),
            std::make_pair(std::string("REG_BINARY"),
                           std::string("00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF")));
  const fs::path again = work("from-wine-again.reg");
  ASSERT_EQ(wine("regedit /e " + shellQuoted(windowsPath(again)) + " " + shellQuoted(key)), 0);
  const std::string before = readFile(exported);
  const std::string after = readFile(again);
  EXPECT_TRUE(after == before) << firstDifference(before, after);
}

// One test, so that one wineboot prefix serves all three parts even when each test of the
// program runs in a process of its own.
TEST_F(WineRegeditTest, ExportsMatchAndFilesPassBothWays) {
  {
    SCOPED_TRACE("our export of each root against wine regedit /e");
    exportOfEveryRootEqualsWinesApartFromVolatileKeys();
  }
  {
    SCOPED_TRACE("wine regedit /s of our file");
    wineImportsOurFileAndExportsItBackUnchanged();
  }
  {
    SCOPED_TRACE("our import of wine regedit's file");
    ourImportTakesWinesExport();
  }
}
