// Windows path texts and name matching: how a path text becomes a full path, and which names a
// wildcard pattern selects.

#include "platform/files/NameMatch.h"
#include "platform/files/WindowsPath.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using tw::platform::detail::foldName;
using tw::platform::detail::fullPathOf;
using tw::platform::detail::matchesWildcard;
using tw::platform::detail::nameSortsBefore;

namespace {
struct PathCase {
  const char *path;
  const char *current;
  const char *expected; // nullptr: names nothing
};
} // namespace

TEST(WindowsNames, FullPathsAsWindowsBuildsThem) {
  const PathCase cases[] = {
      {"C:\\windows\\win.ini", "", "C:\\windows\\win.ini"},
      {"c:\\windows", "", "C:\\windows"},
      {"C:/windows/system32", "", "C:\\windows\\system32"},
      {"C:\\windows\\\\system32\\", "", "C:\\windows\\system32"},
      {"C:\\windows\\..\\users\\.\\Public", "", "C:\\users\\Public"},
      {"C:\\..\\..\\windows", "", "C:\\windows"},
      {"C:\\windows\\win.ini.", "", "C:\\windows\\win.ini"},
      {"C:\\windows\\win.ini . .", "", "C:\\windows\\win.ini"},
      {"C:\\windows.\\win.ini", "", "C:\\windows\\win.ini"},
      {"C:\\", "", "C:\\"},
      {"C:", "D:\\work", "C:\\"},
      {"C:", "C:\\work", "C:\\work"},
      {"C:notes.txt", "C:\\work", "C:\\work\\notes.txt"},
      {"C:notes.txt", "D:\\work", "C:\\notes.txt"},
      {"notes.txt", "D:\\work", "D:\\work\\notes.txt"},
      {"..\\notes.txt", "D:\\work\\sub", "D:\\work\\notes.txt"},
      {"\\notes.txt", "D:\\work", "D:\\notes.txt"},
      {"\\\\?\\C:\\windows", "", "C:\\windows"},
      {"\\\\?\\unix\\tmp\\x", "", "\\\\?\\unix\\tmp\\x"},
      {"\\\\server\\share\\file.txt", "C:\\", nullptr},
      {"//server/share/file.txt", "C:\\", nullptr},
      {"\\\\.\\COM1", "C:\\", nullptr},
      {"\\\\?\\UNC\\server\\share", "C:\\", nullptr},
      {"", "C:\\", nullptr},
      {"notes.txt", "", nullptr},
  };
  for (const auto &c : cases) {
    auto full = fullPathOf(c.path, c.current);
    if (!c.expected) {
      EXPECT_FALSE(full.has_value()) << "path \"" << c.path << "\" gave " << full->text();
      continue;
    }
    ASSERT_TRUE(full.has_value()) << "path \"" << c.path << "\"";
    EXPECT_EQ(full->text(), c.expected) << "path \"" << c.path << "\" in \"" << c.current << "\"";
  }
}

namespace {
struct MatchCase {
  const char *name;
  const char *pattern;
  bool matches;
};
} // namespace

TEST(WindowsNames, WildcardTable) {
  const MatchCase cases[] = {
      {"readme.txt", "*", true},
      {"readme.txt", "*.*", true},
      {"README", "*.*", true},          // "*.*" also selects names without a dot
      {"README", "*.txt", false},
      {"notes.TXT", "*.txt", true},      // without regard to case
      {"notes.txt", "*.TXT", true},
      {"notes.txta", "*.txt", false},    // no match through short names
      {"a.b.txt", "*.txt", true},
      {"notes.txt", "notes.*", true},
      {"notes", "notes.*", true},        // trailing ".*" matches nothing
      {"notes", "notes.", true},
      {"notes", "notes*", true},
      {"notesx", "notes", false},
      {"notes", "NOTES", true},
      {"abc", "a?c", true},
      {"ac", "a?c", false},              // "?" is exactly one character
      {"abbc", "a?c", false},
      {"ab", "a?", true},
      {"a", "a?", false},
      {"abc", "*?", true},
      {"abc", "*c", true},
      {"abc", "*b", false},
      {"test1.ta.tornado.txt", "*.t??????.t*", true},
      {"test1.ta.tornado.txt", "t*t", true},
      {"test1.txt", "?est???", false},
      {"hellothisisatest.dat", "h?l?o*t.dat", true},
      {"aaab", "*ab", true},             // the star must give characters back
      {"mississippi", "*sip*", true},
      {"mississippi", "*sipx*", false},
      {"Ärger.txt", "ä*.TXT", true},     // case folding beyond ASCII
      {"größe.dat", "GRÖSSE.dat", false},
      {"日本.txt", "??.txt", true},        // "?" counts characters, not bytes
      {"日本.txt", "?.txt", false},
      {".", "*.*", true},
      {"..", "*", true},
  };
  for (const auto &c : cases)
    EXPECT_EQ(matchesWildcard(c.name, c.pattern), c.matches)
        << "name \"" << c.name << "\" pattern \"" << c.pattern << "\"";
}

TEST(WindowsNames, FoldingKeepsStrayBytesApart) {
  EXPECT_EQ(foldName("Program Files"), foldName("PROGRAM files"));
  EXPECT_EQ(foldName("straße"), foldName("STRAßE"));
  EXPECT_EQ(foldName("Émile"), foldName("émile"));
  // Invalid UTF-8 bytes differ from each other and from every character.
  EXPECT_NE(foldName("a\xE9"), foldName("a\xC9"));
  EXPECT_NE(foldName("a\xE9"), foldName("aé"));
  EXPECT_EQ(foldName("a\xE9"), foldName("A\xE9"));
}

TEST(WindowsNames, ListingOrderIgnoresCaseThenBytes) {
  EXPECT_TRUE(nameSortsBefore("apple", "Banana"));
  EXPECT_TRUE(nameSortsBefore("README.TXT", "Readme.txt"));
  EXPECT_FALSE(nameSortsBefore("Readme.txt", "README.TXT"));
  EXPECT_TRUE(nameSortsBefore("a_b", "ab")); // '_' sorts before letters once upper-cased
}
