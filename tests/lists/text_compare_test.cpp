#include "platform/TextCompare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using tw::platform::compareLocaleText;

TEST(TextCompare, ErrorTypesSortInTheOrderTheErrorListShows) {
  std::vector<std::string> types = {"Uninstall",        "Start Menu",  "Sound AppEvent",
                                    "Shell Extensions", "Shared Folder", "Shared DLLs",
                                    "Help File",        "Font File",   "File Extensions",
                                    "COM/ActiveX",      "Application"};
  std::sort(types.begin(), types.end(),
            [](const std::string &a, const std::string &b) { return compareLocaleText(a, b) < 0; });
  std::vector<std::string> expected = {"Application",   "COM/ActiveX",      "File Extensions",
                                       "Font File",     "Help File",        "Shared DLLs",
                                       "Shared Folder", "Shell Extensions", "Sound AppEvent",
                                       "Start Menu",    "Uninstall"};
  EXPECT_EQ(types, expected);
}

TEST(TextCompare, CaseComesSecondAndLowerCaseFirst) {
  EXPECT_LT(compareLocaleText("apple", "Banana"), 0);
  EXPECT_GT(compareLocaleText("Banana", "apple"), 0);
  EXPECT_LT(compareLocaleText("abc", "ABC"), 0);
  EXPECT_EQ(compareLocaleText("Same", "Same"), 0);
  EXPECT_LT(compareLocaleText("ab", "abc"), 0);
}

TEST(TextCompare, PunctuationBeforeDigitsBeforeLetters) {
  EXPECT_LT(compareLocaleText("a b", "a1"), 0);
  EXPECT_LT(compareLocaleText("a1", "aa"), 0);
  EXPECT_LT(compareLocaleText("a/b", "a1"), 0);
}
