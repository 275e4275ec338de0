// How names compare and how Wine's registry files escape text.

#include "platform/registry/RegistryText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

using namespace tw::platform::detail;

namespace {

TEST(RegistryText, NamesSortAsWineSortsThem) {
  // Wine compares the lower-case UTF-16 forms, unit by unit, shorter first on a tie.
  const std::vector<std::pair<std::string, std::string>> ordered = {
      {"_auto", "ANSI"},      // '_' (0x5F) sorts before every letter
      {"a", "B"},             //
      {"ab", "ABC"},          //
      {"[x]", "a"},           // '[' (0x5B) too
      {"z", "ä"},             // U+00E4 after every ASCII letter
      {"abcdefghiJ", "ABCDEFGHIk"},         // case differs before and inside the last word
      {"ABCDEFGH", "abcdefghA"},            //
      {"Software\\Classes1", "SOFTWARE\\classes2"}, //
      {"𝄞", "\xee\x80\x80"}, // a surrogate pair (D834 DD1E) before U+E000, unlike code point order
  };
  for (const auto &[low, high] : ordered) {
    EXPECT_LT(compareNames(low, high), 0) << low << " < " << high;
    EXPECT_GT(compareNames(high, low), 0) << high << " > " << low;
  }
  EXPECT_EQ(compareNames("Grüße", "GRÜSSE") == 0, false) << "no expansion of ß";
  EXPECT_TRUE(sameName("Ärger ÉTÉ", "ärger été"));
  EXPECT_TRUE(sameName("ΑΒΓ", "αβγ"));
  EXPECT_FALSE(sameName("İ", "i")) << "Windows keeps the dotted capital I apart";
  EXPECT_FALSE(sameName("\u212a", "k")) << "nor the Kelvin sign from k";
}

TEST(RegistryText, NamesThatCompareEqualHashEqually) {
  // Every length around the eight bytes the hash takes at a time, ASCII and not.
  const std::vector<std::pair<std::string, std::string>> same = {
      {"", ""},
      {"InprocServer32", "INPROCSERVER32"},
      {"{0000002F-0000-0000-C000-000000000046}", "{0000002f-0000-0000-c000-000000000046}"},
      {"[@Z`a{]", "[@z`A{]"},
      {"Ärger ÉTÉ", "ärger été"},
      {"abcdefgÄ", "ABCDEFGä"},
      {"ΑΒΓ and more ASCII", "αβγ AND MORE ascii"},
  };
  for (const auto &[a, b] : same) {
    ASSERT_TRUE(sameName(a, b)) << a;
    EXPECT_EQ(hashName(a), hashName(b)) << a << " / " << b;
  }
  // The characters around the letters are not folded onto them.
  EXPECT_NE(hashName("@[`{"), hashName("`{@["));
  EXPECT_NE(hashName("a"), hashName(std::string_view("a\0", 2)));
  EXPECT_NE(hashName("a"), hashName("A "));
}

// Wine's own case table, where Wine is installed: our folding must agree with it on every
// unit of the Basic Multilingual Plane.
TEST(RegistryText, CaseFoldingAgreesWithWinesTable) {
  const char *path = "/usr/share/wine/nls/l_intl.nls";
  FILE *file = std::fopen(path, "rb");
  if (!file) GTEST_SKIP() << path << " not found (Wine is not installed)";
  std::vector<std::uint16_t> words(1 << 16);
  std::size_t count = std::fread(words.data(), 2, words.size(), file);
  std::fclose(file);
  ASSERT_GT(count, 3u);
  // Layout as Wine's server reads it: offset, upper-case table size, lower-case table.
  std::size_t offset = words[0];
  offset += words[offset];
  ++offset;
  ASSERT_LT(offset, count);
  const std::uint16_t *table = &words[offset];
  auto wineLower = [&](unsigned c) {
    return static_cast<char16_t>(c + table[table[table[c >> 8] + ((c >> 4) & 0x0F)] + (c & 0x0F)]);
  };
  int differences = 0;
  for (unsigned c = 0; c < 0x10000; ++c) {
    if (foldCase(static_cast<char16_t>(c)) == wineLower(c)) continue;
    if (++differences <= 10) ADD_FAILURE() << std::hex << "U+" << c << ": ours " << +foldCase(static_cast<char16_t>(c)) << ", Wine's " << +wineLower(c);
  }
  EXPECT_EQ(differences, 0);
}

TEST(RegistryText, EscapedTextDecodesToWhatWasEscaped) {
  // Random text rich in the characters the escaping treats specially.
  using namespace std::string_literals;
  const std::u16string alphabet = u"\0\x01\x07\x1b\x1f 07a9fFgx\\\"[]\x7f\x80\u00e9\u2603\xd834\xdd1e\xdc00\xffff"s;
  std::mt19937 random(20061);
  for (int round = 0; round < 2000; ++round) {
    std::u16string units(random() % 12, u'\0');
    for (char16_t &u : units) u = alphabet[random() % alphabet.size()];
    for (const char *specials : {"\"\"", "[]"}) {
      std::string escaped;
      appendEscaped(escaped, units.data(), units.size(), specials);
      escaped.push_back(specials[0] == '[' ? ']' : '"');
      std::u16string back;
      EscapedDecode d = decodeEscaped(escaped, escaped.back(), [&back](char16_t u) { back.push_back(u); });
      ASSERT_EQ(d.status, EscapedDecode::Status::Ok) << escaped;
      ASSERT_EQ(d.end, escaped.size()) << escaped;
      ASSERT_EQ(back, units) << escaped;
    }
  }
}

TEST(RegistryText, EscapesAsWineDoes) {
  struct Case {
    std::u16string units;
    std::string escaped;
  };
  const Case cases[] = {
      {u"\u00e9a", "\\x00e9a"},   // four digits when a hex digit follows
      {u"\u00e9g", "\\xe9g"},     // as few as needed otherwise
      {std::u16string(u"\x01" "1", 2), "\\0011"}, // three octal digits when an octal digit follows
      {std::u16string(u"\x02" "8", 2), "\\28"},
      {u"\a\b\t\n\v\f\r\x1b", "\\a\\b\\t\\n\\v\\f\\r\\e"},
      {u"\\\"[", "\\\\\\\"["},
      {u"\xd834\xdd1e", "\\xd834\\xdd1e"},
  };
  for (const Case &c : cases) {
    std::string out;
    appendEscaped(out, c.units.data(), c.units.size(), "\"\"");
    EXPECT_EQ(out, c.escaped);
  }
}

TEST(RegistryText, Utf8ConversionsKeepLoneSurrogates) {
  const std::u16string units = u"a\xd800z\xdc00\xd834\xdd1e";
  std::string wtf8;
  appendUtf8(wtf8, units.data(), units.size());
  EXPECT_TRUE(isValidWtf8(wtf8));
  std::u16string back;
  appendUtf16(back, wtf8);
  EXPECT_EQ(back, units);
  std::u16string replaced;
  appendUtf16(replaced, "a\xff" "b\xc3");
  EXPECT_EQ(replaced, u"a\ufffdb\ufffd");
  EXPECT_FALSE(isValidWtf8("\xc0\x80")) << "overlong";
}

} // namespace
