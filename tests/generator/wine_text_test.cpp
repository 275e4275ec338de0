// The registry file text the generator writes, held against the rules of Wine's own writer.

#include "generator/HiveImage.h"
#include "generator/WineText.h"
#include "platform/RegistryApi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw::generator::detail {
namespace {

std::string escaped(std::string_view text, char a = '"', char b = '"') {
  std::string out;
  const std::size_t count = appendEscaped(out, text, a, b);
  EXPECT_EQ(count, out.size());
  return out;
}

TEST(WineText, EscapesCharactersAsWineDoes) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"plain text", "plain text"},
      {"C:\\windows", "C:\\\\windows"},
      {"say \"hi\"", "say \\\"hi\\\""},
      // Above 127: the UTF-16 unit in hex, padded to four digits only when a hex digit follows.
      {"\xC3\xA9t\xC3\xA9", "\\xe9t\\xe9"},
      {"\xC3\xA9" "a", "\\x00e9a"},
      {"\xC3\xA9" "7", "\\x00e97"},
      {"\xC3\xA9g", "\\xe9g"},
      {"\xE2\x84\xA2", "\\x2122"},
      // Outside the BMP: two surrogates; only the second can be followed by a hex digit.
      {"\xF0\x9F\x98\x80" "b", "\\xd83d\\xde00b"},
      // Control characters: C escapes where Wine has one, octal otherwise, padded to three
      // digits only when an octal digit follows.
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"\x1b", "\\e"},
      {"\x01", "\\1"},
      {"\x01" "7", "\\0017"},
      {"\x01" "8", "\\18"},
      {std::string("\0x", 2), "\\0x"},
      {std::string("\0" "0", 2), "\\0000"},
      {"\x10", "\\20"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(escaped(c.input), c.expected) << "input: " << c.input;
}

TEST(WineText, EscapesOnlyTheGivenSpecials) {
  EXPECT_EQ(escaped("Recent [2005]", '[', ']'), "Recent \\[2005\\]");
  EXPECT_EQ(escaped("Recent [2005]"), "Recent [2005]");
  EXPECT_EQ(escaped("\"quoted\"", '[', ']'), "\"quoted\"");
}

// Names order as Wine's tree keeps them: lower-cased, a shorter name before a longer one that
// starts with it, and paths component by component.
TEST(WineText, SortKeysFollowWinesOrder) {
  EXPECT_LT(nameSortKey("a_b"), nameSortKey("AA")) << "'_' sorts before letters once lower-cased";
  EXPECT_LT(nameSortKey("Run"), nameSortKey("RunOnce"));
  EXPECT_EQ(nameSortKey("InprocServer32"), nameSortKey("INPROCSERVER32"));
  EXPECT_LT(pathSortKey("A\\c"), pathSortKey("a b")) << "children of A come before the sibling 'a b'";
  EXPECT_LT(pathSortKey("Software\\Classes\\z"), pathSortKey("Software\\Classes2"));
  EXPECT_LT(nameSortKey("C:\\a b"), nameSortKey("C:\\a\\b")) << "in a value name '\\' is a character";
}

std::vector<std::string> keyLines(const std::string &text) {
  std::vector<std::string> lines;
  for (std::size_t pos = text.find("\n["); pos != std::string::npos; pos = text.find("\n[", pos + 1))
    lines.push_back(text.substr(pos + 2, text.find(']', pos) - pos - 2));
  return lines;
}

TEST(HiveImage, WritesKeysInWinesOrderLeavingOutKeysThatOnlyHoldKeys) {
  HiveImage image("REGISTRY\\Machine", 1136073600, 1);
  image.addKey("B").setString("v", "1");
  image.addKey("aa").setString("v", "1");
  image.addKey("A"); // holds only a sub-key: Wine writes no line for it
  image.addKey("a_b").setString("v", "1");
  image.addKey("A\\c").setString("v", "1");
  image.addKey("a b"); // empty and without sub-keys: written, so that it survives a reload
  const std::vector<std::string> expected = {"A\\\\c", "a b", "a_b", "aa", "B"};
  EXPECT_EQ(keyLines(image.text()), expected);
}

TEST(HiveImage, MergesAKeyAddedTwiceInAnyCase) {
  HiveImage image("REGISTRY\\Machine", 1136073600, 1);
  image.addKey("Soft\\X").setString("b", "first").setString("Z", "z");
  image.addKey("SOFT\\x").setString("A", "a").setString("B", "second");
  HiveTextStats stats;
  const std::string text = image.text(&stats);
  EXPECT_EQ(stats.keys, 1u);
  EXPECT_EQ(stats.values, 3u);
  EXPECT_EQ(keyLines(text), std::vector<std::string>{"Soft\\\\X"});
  // Sorted by name; a value set again keeps the name it was created with and takes the new data.
  EXPECT_NE(text.find("\"A\"=\"a\"\n\"b\"=\"second\"\n\"Z\"=\"z\"\n"), std::string::npos) << text;
}

TEST(HiveImage, WritesEveryValueTypeAsWineDoes) {
  namespace regtype = platform::regtype;
  HiveImage image("REGISTRY\\User\\S-1-5-21-0-0-0-1000", 1136073600, 1);
  image.addKey("K")
      .setString("", "default")
      .setExpandString("e", "%SystemRoot%\\x")
      .setMultiString("m", {"one", "two"})
      .setDword("d", 0x1234abcd)
      .setBinary("b", std::string("\x01\xab\x7f", 3))
      .setRaw("n", regtype::None, "")
      .setRaw("q", regtype::Qword, std::string("\x01\x00\x00\x00\x00\x00\x00\x00", 8))
      .setString("empty", "");
  const std::string text = image.text();
  EXPECT_EQ(text.substr(0, text.find("\n[")),
            "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
            "#arch=win64\n");
  const std::string values = text.substr(text.find("#time="));
  EXPECT_EQ(values.substr(values.find('\n') + 1),
            "@=\"default\"\n"
            "\"b\"=hex:01,ab,7f\n"
            "\"d\"=dword:1234abcd\n"
            "\"e\"=str(2):\"%SystemRoot%\\\\x\"\n"
            "\"empty\"=\"\"\n"
            "\"m\"=str(7):\"one\\0two\\0\"\n"
            "\"n\"=hex(0):\n"
            "\"q\"=hex(b):01,00,00,00,00,00,00,00\n");
}

// The time on the key line and the #time line are one FILETIME: seconds since 1970, and the
// full 100 ns count since 1601 in hex.
TEST(HiveImage, KeyTimesAgreeWithEachOther) {
  HiveImage image("REGISTRY\\Machine", 1136073600, 7);
  image.addKey("K").setString("v", "1");
  const std::string text = image.text();
  const std::size_t line = text.find("[K] ");
  ASSERT_NE(line, std::string::npos);
  const unsigned long long seconds = std::stoull(text.substr(line + 4));
  const unsigned long long ticks = std::stoull(text.substr(text.find("#time=") + 6), nullptr, 16);
  EXPECT_EQ(seconds, (ticks - 116444736000000000ull) / 10000000ull);
  EXPECT_GE(seconds, 1136073600u);
  EXPECT_LT(seconds, 1136073600u + 31u * 24 * 3600);
}

// A link value taken from a system.reg that wineboot wrote: the first line holds 17 bytes after
// the 27 characters of its name and type, the next ones 25 bytes each.
TEST(HiveImage, WrapsBinaryDataWhereWineDoes) {
  HiveImage image("REGISTRY\\Machine", 1136073600, 1);
  image.addLink("Software\\Classes\\Wow6432Node\\AppId", "\\Registry\\Machine\\Software\\Classes\\AppId");
  const std::string text = image.text();
  const std::string wineWrote =
      "#link\n"
      "\"SymbolicLinkValue\"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,\\\n"
      "  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,\\\n"
      "  74,00,77,00,61,00,72,00,65,00,5c,00,43,00,6c,00,61,00,73,00,73,00,65,00,73,\\\n"
      "  00,5c,00,41,00,70,00,70,00,49,00,64,00\n";
  EXPECT_NE(text.find(wineWrote), std::string::npos) << text;
  EXPECT_EQ(text.size() - text.find(wineWrote), wineWrote.size()) << "the link is the last block";
}

TEST(HiveImage, BlockSizeIsWhatTheKeyAddsToTheFile) {
  HiveImage image("REGISTRY\\Machine", 1136073600, 3);
  const std::size_t empty = image.text().size();
  HiveKey &key = image.addKey("Software\\Vendor\\Product [1]");
  key.setString("Path", "C:\\Program Files\\Vendor").setBinary("Blob", std::string(100, '\x5a'));
  EXPECT_EQ(image.text().size() - empty, HiveImage::blockSize(key));
}

} // namespace
} // namespace tw::generator::detail
