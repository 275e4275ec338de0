// Reading Wine's registry file format: every value syntax and escape, and exact faults.

#include "RegistryTestSupport.h"

#include "platform/WineRegistry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace tw::platform;
using namespace tw::test;
using Status = RegistryLoadResult::Status;

namespace {

const std::string Head = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n";

std::vector<std::uint8_t> utf16(std::u16string_view units, bool terminate = true) {
  std::vector<std::uint8_t> bytes;
  for (char16_t u : units) {
    bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  if (terminate) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// Opens a prefix whose system.reg holds `blocks` and returns the raw value of HKLM\Test.
class WineFileValues : public ::testing::Test {
protected:
  TempDir dir{"values"};
  std::unique_ptr<WineRegistry> reg;
  void load(const std::string &blocks) {
    writeMinimalPrefix(dir.path(), "\n[Test] 1700000000\n#time=1d9a0b0c0d0e0f0\n" + blocks);
    RegistryLoadResult result;
    reg = openWineRegistry(dir.path().string(), result, WineRegistryOptions{false, true});
    ASSERT_TRUE(result) << result.description();
  }
  RegValue raw(const std::string &name) {
    RegKey key = 0;
    EXPECT_EQ(reg->openKey(HKEY_LOCAL_MACHINE, "Test", access::KeyRead, key), error::Success);
    RegValue v;
    EXPECT_EQ(reg->queryValue(key, name, v, DataForm::Raw), error::Success) << name;
    reg->closeKey(key);
    return v;
  }
};

TEST_F(WineFileValues, EverySyntaxGivesItsTypeAndData) {
  load("@=\"default\"\n"
       "\"sz\"=\"abc\"\n"
       "\"sz2\"=str:\"abc\"\n"
       "\"expand\"=str(2):\"%X%\"\n"
       "\"multi\"=str(7):\"a\\0b\\0\"\n"
       "\"dword\"=dword:0000002a\n"
       "\"short dword\"=dword:ff\n"
       "\"bin\"=hex:01,02,ff\n"
       "\"empty bin\"=hex:\n"
       "\"none\"=hex(0):\n"
       "\"qword\"=hex(b):01,02,03,04,05,06,07,08\n"
       "\"big type\"=hex(12345678):ff\n"
       "\"continued\"=hex:01,02,\\\n  03,\\\r\n  04\n"
       "\"single digits\"=hex:1,a ,b\n"
       "\"spaced\" = \"x\"\n");
  struct Case {
    const char *name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  const Case cases[] = {
      {"", regtype::Sz, utf16(u"default")},
      {"sz", regtype::Sz, utf16(u"abc")},
      {"sz2", regtype::Sz, utf16(u"abc")},
      {"expand", regtype::ExpandSz, utf16(u"%X%")},
      {"multi", regtype::MultiSz, utf16(std::u16string_view(u"a\0b\0", 4))},
      {"dword", regtype::Dword, {0x2a, 0, 0, 0}},
      {"short dword", regtype::Dword, {0xff, 0, 0, 0}},
      {"bin", regtype::Binary, {1, 2, 0xff}},
      {"empty bin", regtype::Binary, {}},
      {"none", regtype::None, {}},
      {"qword", regtype::Qword, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"big type", 0x12345678u, {0xff}},
      {"continued", regtype::Binary, {1, 2, 3, 4}},
      {"single digits", regtype::Binary, {1, 0xa, 0xb}},
      {"spaced", regtype::Sz, utf16(u"x")},
  };
  for (const Case &c : cases) {
    RegValue v = raw(c.name);
    EXPECT_EQ(v.type, c.type) << c.name;
    EXPECT_EQ(v.data, c.data) << c.name;
  }
  EXPECT_EQ(valueNames(*reg, HKEY_LOCAL_MACHINE, "Test").size(), std::size(cases)) << "values keep file order";
}

TEST_F(WineFileValues, EveryEscapeDecodes) {
  load("\"path\"=\"C:\\\\dir\\\\\\\"q\\\"\\\\\"\n"
       "\"controls\"=\"\\a\\b\\e\\f\\n\\r\\t\\v\"\n"
       "\"quoted\"=\"\\\\\\\"\\[\\]\\q\"\n"
       "\"hex\"=\"\\x41\\x00e9z\\xe9\\x10000\\xg\"\n"
       "\"octal\"=\"\\101\\0\\7x\\0011\\777\"\n"
       "\"utf8\"=\"é☃𝄞\"\n"
       "\"n\\x00e9\\0me\"=\"\"\n");
  EXPECT_EQ(raw("controls").data, utf16(u"\a\b\x1b\f\n\r\t\v"));
  EXPECT_EQ(raw("quoted").data, utf16(u"\\\"[]q"));
  // \x takes up to four hex digits; without any it stands for 'x'.
  EXPECT_EQ(raw("hex").data, utf16(u"A\u00e9z\u00e9\u10000xg"));
  // Octal takes up to three digits.
  EXPECT_EQ(raw("octal").data, utf16(std::u16string_view(u"A\0\7x\0011\u01ff", 7)));
  EXPECT_EQ(raw("utf8").data, utf16(u"é☃\xd834\xdd1e"));
  // The narrow form of the same strings, as the "A" calls give them.
  RegKey key = 0;
  ASSERT_EQ(reg->openKey(HKEY_LOCAL_MACHINE, "Test", access::KeyRead, key), error::Success);
  RegValue v;
  EXPECT_EQ(reg->queryValue(key, std::string("né\0me", 6), v), error::Success) << "escaped names decode";
  const std::pair<const char *, std::string> narrow[] = {
      {"path", std::string("C:\\dir\\\"q\"\\") + '\0'},
      {"quoted", std::string("\\\"[]q") + '\0'},
      {"hex", std::string("A\u00e9z\u00e9\u1000" "0xg") + '\0'},
      {"utf8", std::string("é☃𝄞") + '\0'},
      {"octal", std::string("A\0\7x\001" "1\u01ff", 8) + '\0'},
  };
  for (const auto &[name, expected] : narrow) {
    ASSERT_EQ(reg->queryValue(key, name, v), error::Success) << name;
    EXPECT_EQ(std::string(v.data.begin(), v.data.end()), expected) << name;
  }
}

TEST_F(WineFileValues, KeyNamesDecodeAndSplitOnDoubleBackslashes) {
  writeMinimalPrefix(dir.path(), "\n[Grüße\\\\\\x65e5\\x672c\\\\\\[x\\]] 1700000000\n@=\"1\"\n"
                                 "\n[Plain\\\\Sub] 1700000000\n@=\"2\"\n");
  RegistryLoadResult result;
  reg = openWineRegistry(dir.path().string(), result, WineRegistryOptions{false, true});
  ASSERT_TRUE(result) << result.description();
  EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE, "GRÜSSE\\日本\\[X]", ""), "<error 2>") << "ß does not fold to SS";
  EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE, "grüße\\日本\\[X]", ""), "1");
  EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE, "plain\\SUB", ""), "2");
  EXPECT_EQ(subKeyNames(*reg, HKEY_LOCAL_MACHINE, "Grüße"), std::vector<std::string>{"日本"});
}

struct BadInput {
  const char *what;
  std::string text;
  Status status;
  std::size_t line;
};

// A key read from the file with many values (SharedDLLs, Fonts) finds each by name, in any
// case, and keeps finding the rest as some are deleted.
TEST_F(WineFileValues, ManyValuesLoadedFromTheFileAreFoundByName) {
  std::string block;
  const int count = 200;
  for (int i = 0; i < count; ++i) {
    char number[9];
    std::snprintf(number, sizeof number, "%08x", 1000 + i);
    block += "\"C:\\\\Windows\\\\lib" + std::to_string(i) + ".dll\"=dword:" + number + "\n";
  }
  load(block);
  RegKey key = 0;
  ASSERT_EQ(reg->openKey(HKEY_LOCAL_MACHINE, "Test", access::KeyAllAccess, key), error::Success);
  auto find = [&](int i) {
    RegValue v;
    const long status = reg->queryValue(key, "c:\\WINDOWS\\Lib" + std::to_string(i) + ".DLL", v, DataForm::Raw);
    if (status != error::Success) return -1;
    std::uint32_t n = 0;
    std::memcpy(&n, v.data.data(), 4);
    return static_cast<int>(n);
  };
  for (int i = 0; i < count; ++i) EXPECT_EQ(find(i), 1000 + i) << i;
  for (int i = count - 1; i >= 0; i -= 3)
    ASSERT_EQ(reg->deleteValue(key, "C:\\Windows\\lib" + std::to_string(i) + ".dll"), error::Success) << i;
  for (int i = 0; i < count; ++i) EXPECT_EQ(find(i), (count - 1 - i) % 3 == 0 ? -1 : 1000 + i) << i;
  reg->closeKey(key);
}

TEST(WineFileFaults, EachFaultHasItsStatusAndLine) {
  // Lines 1-4 are the header; the first line of the tail is line 5.
  const std::string key = "\n[K] 1700000000\n"; // key on line 6
  const BadInput cases[] = {
      {"empty file", "", Status::BadHeader, 1},
      {"other version", "WINE REGISTRY Version 3\n", Status::BadHeader, 1},
      {"regedit file", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n", Status::BadHeader, 1},
      {"unknown arch", Head + "#arch=win16\n", Status::BadArchitecture, 5},
      {"two archs", Head + "#arch=win32\n", Status::BadArchitecture, 5},
      {"value first", Head + "\"v\"=\"x\"\n", Status::ValueWithoutKey, 5},
      {"garbage", Head + key + "garbage\n", Status::UnexpectedLine, 7},
      {"nul byte", Head + key + "\"v\"=\"a" + std::string(1, '\0') + "\"\n", Status::UnexpectedLine, 7},
      {"unclosed key", Head + "\n[K 1700000000\n", Status::MalformedKey, 6},
      {"text after key", Head + "\n[K] 17x\n", Status::MalformedKey, 6},
      {"time too large", Head + "\n[K] 99999999999\n", Status::MalformedKey, 6},
      {"empty element", Head + "\n[A\\\\\\\\B] 1\n", Status::MalformedKey, 6},
      {"leading separator", Head + "\n[\\\\A] 1\n", Status::MalformedKey, 6},
      {"long name", Head + "\n[" + std::string(256, 'n') + "] 1\n", Status::MalformedKey, 6},
      {"bad utf-8 in key", Head + "\n[A\xff] 1\n", Status::MalformedKey, 6},
      {"too deep", Head + "\n[" + [] { std::string p = "k"; for (int i = 0; i < 512; ++i) p += "\\\\k"; return p; }() + "] 1\n", Status::TooDeep, 6},
      {"key twice", Head + key + "@=\"1\"\n" + "\n[k] 1\n", Status::DuplicateKey, 9},
      // Faults after a path shared with the line before, which is not read twice.
      {"sub-key twice", Head + "\n[A\\\\B] 1\n[A\\\\B] 1\n", Status::DuplicateKey, 7},
      {"escaped twin of the key before", Head + "\n[A\\\\B] 1\n[A\\\\\\x42] 1\n", Status::DuplicateKey, 7},
      {"bad utf-8 after shared path", Head + "\n[A\\\\B] 1\n[A\\\\B\\\\\xff] 1\n", Status::MalformedKey, 7},
      {"empty element after shared path", Head + "\n[A\\\\B] 1\n[A\\\\B\\\\\\\\C] 1\n", Status::MalformedKey, 7},
      {"text after escaped quote", Head + key + "\"v\"=\"a\\\\\\\"\" junk\n", Status::MalformedValue, 7},
      {"value twice", Head + key + "\"v\"=\"1\"\n\"w\"=\"2\"\n\"V\"=\"3\"\n", Status::DuplicateValue, 9},
      {"default twice", Head + key + "@=\"1\"\n@=\"2\"\n", Status::DuplicateValue, 8},
      {"unclosed string", Head + key + "\"v\"=\"x\n", Status::MalformedValue, 7},
      {"text after string", Head + key + "\"v\"=\"x\" junk\n", Status::MalformedValue, 7},
      {"bad utf-8 in string", Head + key + "\"v\"=\"\xc3\x28\"\n", Status::MalformedValue, 7},
      {"unclosed name", Head + key + "\"v=\"x\"\n", Status::MalformedValue, 7},
      {"no equals", Head + key + "\"v\" \"x\"\n", Status::MalformedValue, 7},
      {"no data", Head + key + "\"v\"=\n", Status::MalformedValue, 7},
      {"unknown str type", Head + key + "\"v\"=str(3):\"x\"\n", Status::MalformedValue, 7},
      {"empty dword", Head + key + "\"v\"=dword:\n", Status::MalformedValue, 7},
      {"nine digit dword", Head + key + "\"v\"=dword:123456789\n", Status::MalformedValue, 7},
      {"bad dword digit", Head + key + "\"v\"=dword:12g\n", Status::MalformedValue, 7},
      {"three digit byte", Head + key + "\"v\"=hex:123\n", Status::MalformedValue, 7},
      {"bad hex byte", Head + key + "\"v\"=hex:01,zz\n", Status::MalformedValue, 7},
      {"bad hex type", Head + key + "\"v\"=hex(1x):00\n", Status::MalformedValue, 7},
      {"unclosed hex type", Head + key + "\"v\"=hex(1:00\n", Status::MalformedValue, 7},
      {"bad continuation", Head + key + "\"v\"=hex:01,\\\n  02,\\\n  zz\n", Status::MalformedValue, 9},
      {"text after backslash", Head + key + "\"v\"=hex:01,\\ x\n", Status::MalformedValue, 7},
      {"cut inside hex", Head + key + "\"v\"=hex:01,\\\n", Status::MalformedValue, 8},
      {"bad time", Head + key + "#time=xyz\n", Status::MalformedOption, 7},
      {"empty time", Head + key + "#time=\n", Status::MalformedOption, 7},
      {"unquoted class", Head + key + "#class=abc\n", Status::MalformedOption, 7},
      {"unclosed class", Head + key + "#class=\"abc\n", Status::MalformedOption, 7},
      {"link with text", Head + key + "#linked\n", Status::MalformedOption, 7},
  };
  for (const BadInput &c : cases) {
    RegistryLoadResult r = checkRegistryText(c.text, "system.reg");
    EXPECT_EQ(r.status, c.status) << c.what << ": " << r.description();
    EXPECT_EQ(r.line, c.line) << c.what << ": " << r.description();
    EXPECT_FALSE(r) << c.what;
    EXPECT_NE(r.description().find("system.reg"), std::string::npos) << c.what;
  }
}

TEST(WineFileFaults, ToleratesWhatWineWritesOrAccepts) {
  const std::string accepted[] = {
      Head,
      "WINE REGISTRY Version 2\n",
      "WINE REGISTRY Version 2\r\n;; comment\r\n\r\n[K] 1\r\n\"v\"=\"x\"\r\n",
      Head + "#some-future-option\n\n[K]\n#future=1\n;comment\n  \"v\"=\"x\"\n",
      Head + "\n[K] 1\n\"v\"=hex:01,\n",
      Head + "\n[]\n@=\"branch itself\"\n",
      Head + "\n[A\\\\B] 1\n\n[A] 1\n@=\"parent after child\"\n",
      Head + "\n[A\\\\B] 1\n[A\\\\B\\\\\\x43] 1\n[A\\\\B\\\\D] 1\n\"v\"=\"a\\\\\\\"b\"\n",
  };
  for (const std::string &text : accepted) {
    RegistryLoadResult r = checkRegistryText(text, "system.reg");
    EXPECT_TRUE(r) << r.description() << "\n" << text;
  }
}

TEST(WineFileFaults, DamagedPrefixDoesNotOpenAndIsLeftAlone) {
  TempDir dir("damaged");
  writeMinimalPrefix(dir.path(), "\n[A] 1\n@=\"ok\"\n", "\n[B] 1\n\"v\"=dword:xyz\n");
  std::string before = readFile(dir.path() / "user.reg");
  RegistryLoadResult result;
  auto reg = openWineRegistry(dir.path().string(), result, WineRegistryOptions{false, true});
  EXPECT_EQ(reg, nullptr);
  EXPECT_EQ(result.status, Status::MalformedValue);
  EXPECT_EQ(result.line, 7u);
  EXPECT_EQ(result.file, (dir.path() / "user.reg").string());
  EXPECT_EQ(readFile(dir.path() / "user.reg"), before);

  // Files the loader cannot read at all.
  std::filesystem::remove(dir.path() / "system.reg");
  reg = openWineRegistry(dir.path().string(), result, WineRegistryOptions{false, true});
  EXPECT_EQ(result.status, Status::FileNotFound);
  std::filesystem::create_directory(dir.path() / "system.reg");
  reg = openWineRegistry(dir.path().string(), result, WineRegistryOptions{false, true});
  EXPECT_EQ(result.status, Status::NotAFile);
  reg = openWineRegistry((dir.path() / "missing").string(), result);
  EXPECT_EQ(result.status, Status::FileNotFound);
  reg = openWineRegistry("/dev/null", result);
  EXPECT_EQ(result.status, Status::NotAFile);
  EXPECT_EQ(reg, nullptr);
}

TEST(WineFileFaults, ArchitecturesMustAgreeAcrossFiles) {
  TempDir dir("arch");
  writeMinimalPrefix(dir.path());
  std::string user = readFile(dir.path() / "user.reg");
  user.replace(user.find("win64"), 5, "win32");
  writeFile(dir.path() / "user.reg", user);
  RegistryLoadResult result;
  EXPECT_EQ(openWineRegistry(dir.path().string(), result, WineRegistryOptions{false, true}), nullptr);
  EXPECT_EQ(result.status, Status::BadArchitecture);
  EXPECT_EQ(result.file, (dir.path() / "user.reg").string());
}

// Every prefix of a valid file either fails with a line inside the prefix, or loads; a
// file cut between two lines loads unless the cut falls inside a continued hex value.
TEST(WineFileFaults, EveryCutOfAValidFileFailsCleanlyOrLoads) {
  for (const char *name : {"awkward-user.reg", "links-system.reg", "utf8-userdef.reg"}) {
    std::string text = readFile(std::filesystem::path(TIDEWELL_TEST_DATA) / "registry" / name);
    ASSERT_FALSE(text.empty()) << name;
    ASSERT_TRUE(checkRegistryText(text, name)) << name;
    for (std::size_t length = 0; length < text.size(); ++length) {
      std::string_view cut(text.data(), length);
      RegistryLoadResult r = checkRegistryText(cut, name);
      std::size_t lines = static_cast<std::size_t>(std::count(cut.begin(), cut.end(), '\n')) + 1;
      if (!r) {
        EXPECT_GE(r.line, 1u) << name << " cut at " << length;
        EXPECT_LE(r.line, lines) << name << " cut at " << length;
      }
      bool betweenLines = length > 0 && text[length - 1] == '\n';
      bool insideHex = length >= 2 && text[length - 2] == '\\';
      if (betweenLines && !insideHex) {
        EXPECT_TRUE(r) << name << " cut at " << length << ": " << r.description();
      }
    }
  }
}

} // namespace
