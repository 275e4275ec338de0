// The Windows rules every registry backend keeps, run against each backend.

#include "RegistryTestSupport.h"

#include <cctype>
#include <chrono>
#include <map>
#include <random>
#include <cstring>
#include <thread>

using namespace tw::platform;
using namespace tw::test;

namespace {

class RegistrySemantics : public ::testing::TestWithParam<BackendFactory> {
protected:
  TempDir dir{"semantics"};
  std::unique_ptr<RegistryApi> reg;
  void SetUp() override {
    reg = GetParam().make(dir.path() / "prefix");
    ASSERT_NE(reg, nullptr);
  }
  RegKey open(RegKey root, const std::string &path, std::uint32_t access) {
    RegKey key = 0;
    EXPECT_EQ(reg->openKey(root, path, access, key), error::Success) << path;
    return key;
  }
  RegKey create(RegKey root, const std::string &path) {
    RegKey key = 0;
    EXPECT_EQ(reg->createKey(root, path, access::KeyAllAccess, key), error::Success) << path;
    return key;
  }
};

std::string backendName(const ::testing::TestParamInfo<BackendFactory> &info) { return info.param.name; }

TEST_P(RegistrySemantics, RootsAreMappedAsOnAWinePrefix) {
  putString(*reg, HKEY_CLASSES_ROOT, ".txt", "", "txtfile");
  EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes\\.txt", ""), "txtfile");

  putString(*reg, HKEY_CURRENT_CONFIG, "Software\\Fonts", "LogPixels", "96");
  EXPECT_EQ(getString(*reg, HKEY_LOCAL_MACHINE,
                      "System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts", "LogPixels"),
            "96");

  putString(*reg, HKEY_CURRENT_USER, "Software\\Tidewell", "Mode", "user");
  EXPECT_EQ(getString(*reg, HKEY_USERS, "S-1-5-21-0-0-0-1000\\Software\\Tidewell", "Mode"), "user");

  auto users = subKeyNames(*reg, HKEY_USERS, "");
  EXPECT_NE(std::find(users.begin(), users.end(), ".Default"), users.end());
  EXPECT_NE(std::find(users.begin(), users.end(), "S-1-5-21-0-0-0-1000"), users.end());
}

TEST_P(RegistrySemantics, FailedOpensLeaveTheResultAlone) {
  struct Case {
    RegKey parent;
    std::string path;
    long expected;
  };
  const Case cases[] = {
      {HKEY_LOCAL_MACHINE, "Software\\NoSuchKey", error::FileNotFound},
      {HKEY_LOCAL_MACHINE, "NoSuchKey\\Below", error::FileNotFound},
      {0x1234, "Software", error::InvalidHandle},
      {0, "Software", error::InvalidHandle},
      {HKEY_PERFORMANCE_DATA, "", error::InvalidHandle},
      {HKEY_LOCAL_MACHINE, "\\Software", 161},
  };
  for (const Case &c : cases) {
    RegKey result = 0xDEADBEEF;
    EXPECT_EQ(reg->openKey(c.parent, c.path, access::KeyRead, result), c.expected) << c.path;
    EXPECT_EQ(result, 0xDEADBEEFu) << c.path;
  }
}

TEST_P(RegistrySemantics, EachCallChecksTheRightOfItsHandle) {
  putString(*reg, HKEY_CURRENT_USER, "Rights\\Child", "", "");
  putString(*reg, HKEY_CURRENT_USER, "Rights", "v", "x");
  const std::uint8_t dw[4] = {1, 0, 0, 0};
  struct Case {
    const char *what;
    std::uint32_t access;
    std::function<long(RegKey)> call;
  };
  const Case cases[] = {
      {"query value", access::QueryValue, [&](RegKey k) { RegValue v; return reg->queryValue(k, "v", v); }},
      {"enumerate values", access::QueryValue, [&](RegKey k) { RegValue v; return reg->enumValue(k, 0, v); }},
      {"query info", access::QueryValue, [&](RegKey k) { KeyInfo i; return reg->queryInfoKey(k, i); }},
      {"enumerate keys", access::EnumerateSubKeys, [&](RegKey k) { std::string n; return reg->enumKey(k, 0, n); }},
      {"set value", access::SetValue, [&](RegKey k) { return reg->setValue(k, "n", regtype::Dword, dw, 4); }},
      {"delete value", access::SetValue, [&](RegKey k) { return reg->deleteValue(k, "v"); }},
      {"create key", access::CreateSubKey, [&](RegKey k) { RegKey r; long s = reg->createKey(k, "New", access::KeyRead, r); if (s == 0) reg->closeKey(r); return s; }},
  };
  for (const Case &c : cases) {
    RegKey without = open(HKEY_CURRENT_USER, "Rights", access::KeyAllAccess & ~c.access);
    EXPECT_EQ(c.call(without), error::AccessDenied) << c.what;
    reg->closeKey(without);
    RegKey with = open(HKEY_CURRENT_USER, "Rights", c.access);
    EXPECT_EQ(c.call(with), error::Success) << c.what;
    reg->closeKey(with);
    putString(*reg, HKEY_CURRENT_USER, "Rights", "v", "x"); // restore what delete value took
  }
}

TEST_P(RegistrySemantics, DeletingKeysFollowsTheWindowsRules) {
  putString(*reg, HKEY_CURRENT_USER, "Tree\\Branch\\Leaf", "v", "x");
  RegKey tree = open(HKEY_CURRENT_USER, "Tree", access::KeyRead);
  EXPECT_EQ(reg->deleteKey(tree, "Branch"), error::AccessDenied) << "a key with sub-keys stays";
  EXPECT_EQ(reg->deleteKey(tree, "Missing"), error::FileNotFound);
  EXPECT_EQ(reg->deleteKey(tree, ""), error::AccessDenied) << "the handle lacks the delete right";

  RegKey leaf = open(HKEY_CURRENT_USER, "Tree\\Branch\\Leaf", access::KeyRead);
  EXPECT_EQ(reg->deleteKey(tree, "branch\\LEAF"), error::Success);
  RegValue v;
  EXPECT_EQ(reg->queryValue(leaf, "v", v), error::KeyDeleted);
  std::string name;
  EXPECT_EQ(reg->enumKey(leaf, 0, name), error::KeyDeleted);
  RegKey below = 0xABCD;
  EXPECT_EQ(reg->openKey(leaf, "x", access::KeyRead, below), error::KeyDeleted);
  EXPECT_EQ(below, 0xABCDu);
  EXPECT_EQ(reg->closeKey(leaf), error::Success);
  EXPECT_EQ(reg->closeKey(leaf), error::InvalidHandle);

  RegKey branch = open(HKEY_CURRENT_USER, "Tree\\Branch", access::KeyAllAccess);
  EXPECT_EQ(reg->deleteKey(branch, ""), error::Success) << "a key may delete itself with the delete right";
  EXPECT_FALSE(keyExists(*reg, HKEY_CURRENT_USER, "Tree\\Branch"));
  reg->closeKey(branch);
  reg->closeKey(tree);

  EXPECT_EQ(reg->deleteKey(HKEY_CLASSES_ROOT, ""), error::AccessDenied) << "roots are never deleted";
  EXPECT_EQ(reg->closeKey(HKEY_LOCAL_MACHINE), error::Success);
  EXPECT_EQ(reg->closeKey(HKEY_LOCAL_MACHINE), error::Success);
}

TEST_P(RegistrySemantics, NamesCompareWithoutCaseAndKeepTheirCase) {
  putString(*reg, HKEY_CURRENT_USER, "Case\\MixedCase", "ValueName", "1");
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "CASE\\mixedcase", "VALUENAME"), "1");
  putString(*reg, HKEY_CURRENT_USER, "case\\MIXEDCASE", "valuename", "2");
  EXPECT_EQ(subKeyNames(*reg, HKEY_CURRENT_USER, "Case"), std::vector<std::string>{"MixedCase"});
  EXPECT_EQ(valueNames(*reg, HKEY_CURRENT_USER, "Case\\MixedCase"), std::vector<std::string>{"ValueName"});
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "Case\\MixedCase", "ValueName"), "2");
  // Non-ASCII letters fold too.
  putString(*reg, HKEY_CURRENT_USER, "Case\\Ärger", "Ö", "3");
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "case\\äRGER", "ö"), "3");
}

TEST_P(RegistrySemantics, SubKeysEnumerateSortedAndValuesInCreationOrder) {
  for (const char *name : {"b", "ANSI_X", "_auto", "a", "Zeta", "ansi"})
    putString(*reg, HKEY_CURRENT_USER, std::string("Order\\") + name, "", "");
  // Wine sorts by the lower-case form, so '_' (0x5F) comes before every letter.
  EXPECT_EQ(subKeyNames(*reg, HKEY_CURRENT_USER, "Order"),
            (std::vector<std::string>{"_auto", "a", "ansi", "ANSI_X", "b", "Zeta"}));
  for (const char *name : {"z", "B", "a", ""}) putString(*reg, HKEY_CURRENT_USER, "Order", name, "");
  EXPECT_EQ(valueNames(*reg, HKEY_CURRENT_USER, "Order"), (std::vector<std::string>{"z", "B", "a", ""}));
}

TEST_P(RegistrySemantics, StringDataCrossesInBothForms) {
  RegKey key = create(HKEY_CURRENT_USER, "Forms");
  const std::string text = "Grüße";
  ASSERT_EQ(reg->setValue(key, "s", regtype::Sz, reinterpret_cast<const std::uint8_t *>(text.data()), text.size()),
            error::Success)
      << "a missing terminating zero is added";
  RegValue raw;
  ASSERT_EQ(reg->queryValue(key, "s", raw, DataForm::Raw), error::Success);
  const std::vector<std::uint8_t> utf16 = {'G', 0, 'r', 0, 0xFC, 0, 0xDF, 0, 'e', 0, 0, 0};
  EXPECT_EQ(raw.data, utf16);
  RegValue narrow;
  ASSERT_EQ(reg->queryValue(key, "s", narrow), error::Success);
  EXPECT_EQ(std::string(narrow.data.begin(), narrow.data.end()), text + '\0');

  const std::string multi("one\0two\0\0", 9);
  ASSERT_EQ(reg->setValue(key, "m", regtype::MultiSz, reinterpret_cast<const std::uint8_t *>(multi.data()),
                          multi.size()),
            error::Success);
  ASSERT_EQ(reg->queryValue(key, "m", raw, DataForm::Raw), error::Success);
  EXPECT_EQ(raw.data.size(), 18u);
  ASSERT_EQ(reg->queryValue(key, "m", narrow), error::Success);
  EXPECT_EQ(std::string(narrow.data.begin(), narrow.data.end()), multi);

  // Raw data is kept exactly, even a string that is not terminated.
  const std::uint8_t odd[3] = {'a', 0, 'b'};
  ASSERT_EQ(reg->setValue(key, "odd", regtype::Sz, odd, 3, DataForm::Raw), error::Success);
  ASSERT_EQ(reg->queryValue(key, "odd", raw, DataForm::Raw), error::Success);
  EXPECT_EQ(raw.data, std::vector<std::uint8_t>(odd, odd + 3));

  const std::uint8_t bin[4] = {0, 0xFF, 0x10, 0};
  ASSERT_EQ(reg->setValue(key, "b", regtype::Binary, bin, 4), error::Success);
  ASSERT_EQ(reg->queryValue(key, "b", narrow), error::Success);
  EXPECT_EQ(narrow.type, regtype::Binary);
  EXPECT_EQ(narrow.data, std::vector<std::uint8_t>(bin, bin + 4));
  reg->closeKey(key);
}

TEST_P(RegistrySemantics, CreateReportsWhatItMadeAndOpensWhatExists) {
  RegKey key = 0;
  bool created = false;
  ASSERT_EQ(reg->createKey(HKEY_CURRENT_USER, "Made\\In\\One\\Go", access::KeyAllAccess, key, &created),
            error::Success);
  EXPECT_TRUE(created);
  reg->closeKey(key);
  ASSERT_EQ(reg->createKey(HKEY_CURRENT_USER, "made\\in", access::KeyRead, key, &created), error::Success);
  EXPECT_FALSE(created);
  EXPECT_EQ(subKeyNames(*reg, HKEY_CURRENT_USER, "Made\\In"), std::vector<std::string>{"One"});
  RegKey again = 0;
  ASSERT_EQ(reg->openKey(key, "", access::KeyRead, again), error::Success) << "an empty path reopens";
  EXPECT_NE(again, key);
  reg->closeKey(again);
  reg->closeKey(key);
  EXPECT_EQ(reg->createKey(HKEY_CURRENT_USER, std::string(256, 'k'), access::KeyAllAccess, key),
            error::InvalidParameter);
}

TEST_P(RegistrySemantics, KeyInfoCountsAndMeasures) {
  putString(*reg, HKEY_CURRENT_USER, "Info\\abc", "", "");
  putString(*reg, HKEY_CURRENT_USER, "Info\\abcdef", "", "");
  putString(*reg, HKEY_CURRENT_USER, "Info", "name", "ééé"); // 7 bytes of UTF-8, 8 of UTF-16
  putDword(*reg, HKEY_CURRENT_USER, "Info", "longer-name", 5);
  RegKey key = open(HKEY_CURRENT_USER, "Info", access::KeyRead);
  KeyInfo info;
  ASSERT_EQ(reg->queryInfoKey(key, info), error::Success);
  EXPECT_EQ(info.subKeyCount, 2u);
  EXPECT_EQ(info.maxSubKeyNameLength, 6u);
  EXPECT_EQ(info.valueCount, 2u);
  EXPECT_EQ(info.maxValueNameLength, 11u);
  EXPECT_EQ(info.maxValueDataLength, 8u);
  EXPECT_NE(info.lastWriteTime, 0u);

  std::uint64_t before = info.lastWriteTime;
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  putDword(*reg, HKEY_CURRENT_USER, "Info", "longer-name", 5);
  ASSERT_EQ(reg->queryInfoKey(key, info), error::Success);
  EXPECT_EQ(info.lastWriteTime, before) << "setting the same data changes nothing";
  putDword(*reg, HKEY_CURRENT_USER, "Info", "longer-name", 6);
  ASSERT_EQ(reg->queryInfoKey(key, info), error::Success);
  EXPECT_GT(info.lastWriteTime, before);
  reg->closeKey(key);
}

TEST_P(RegistrySemantics, EnumerationEndsWithNoMoreItems) {
  putString(*reg, HKEY_CURRENT_USER, "Ends\\Only", "v", "");
  RegKey key = open(HKEY_CURRENT_USER, "Ends", access::KeyRead);
  std::string name = "unchanged";
  EXPECT_EQ(reg->enumKey(key, 1, name), error::NoMoreItems);
  EXPECT_EQ(name, "unchanged");
  RegValue v;
  EXPECT_EQ(reg->enumValue(key, 0, v), error::NoMoreItems);
  EXPECT_EQ(reg->queryValue(key, "missing", v), error::FileNotFound);
  EXPECT_EQ(reg->deleteValue(HKEY_CURRENT_USER, "missing"), error::FileNotFound);
  reg->closeKey(key);
}

TEST_P(RegistrySemantics, DiscardTakesBackEverythingSinceTheLastFlush) {
  putString(*reg, HKEY_CURRENT_USER, "Keep\\Old", "v", "flushed");
  putString(*reg, HKEY_CURRENT_USER, "Keep", "gone later", "1");
  ASSERT_EQ(reg->flushKey(HKEY_CURRENT_USER), error::Success);

  putString(*reg, HKEY_CURRENT_USER, "Keep\\Old", "v", "changed");
  putString(*reg, HKEY_CURRENT_USER, "Keep\\Old", "added", "x");
  RegKey keep = open(HKEY_CURRENT_USER, "Keep", access::KeyAllAccess);
  ASSERT_EQ(reg->deleteValue(keep, "gone later"), error::Success);
  RegKey old = open(HKEY_CURRENT_USER, "Keep\\Old", access::KeyRead);
  RegKey fresh = create(HKEY_CURRENT_USER, "Keep\\Fresh\\Deeper");
  ASSERT_EQ(reg->deleteKey(keep, "Old"), error::Success);
  RegKey other = 0;
  ASSERT_EQ(reg->createKey(HKEY_CURRENT_USER, "Keep\\Other", access::KeyRead, other), error::Success);

  ASSERT_EQ(reg->discardUnflushedChanges(), error::Success);
  EXPECT_EQ(subKeyNames(*reg, HKEY_CURRENT_USER, "Keep"), std::vector<std::string>{"Old"});
  EXPECT_EQ(valueNames(*reg, HKEY_CURRENT_USER, "Keep\\Old"), std::vector<std::string>{"v"});
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "Keep\\Old", "v"), "flushed");
  EXPECT_EQ(getString(*reg, HKEY_CURRENT_USER, "Keep", "gone later"), "1");
  RegValue v;
  EXPECT_EQ(reg->queryValue(fresh, "", v), error::KeyDeleted) << "a key made after the flush is gone";
  EXPECT_EQ(reg->queryValue(old, "v", v), error::Success) << "a key deleted after the flush is back";
  EXPECT_EQ(reg->queryValue(other, "", v), error::KeyDeleted) << "the slot of the deleted key was not reused";
  reg->closeKey(other);
  reg->closeKey(fresh);
  reg->closeKey(old);
  reg->closeKey(keep);
}

// Keys with many sub-keys are looked up through an index of their own, which must follow
// every creation, deletion and discard.
TEST_P(RegistrySemantics, ManySubKeysStayFindable) {
  RegKey parent = create(HKEY_CURRENT_USER, "Many");
  const int count = 300;
  for (int i = 0; i < count; ++i) {
    RegKey child = 0;
    ASSERT_EQ(reg->createKey(parent, "Child" + std::to_string(i), access::KeyAllAccess, child), error::Success);
    reg->closeKey(child);
  }
  ASSERT_EQ(reg->flushKey(parent), error::Success);
  for (int i = 0; i < count; i += 3) ASSERT_EQ(reg->deleteKey(parent, "child" + std::to_string(i)), error::Success);
  for (int i = 0; i < count; ++i)
    EXPECT_EQ(keyExists(*reg, HKEY_CURRENT_USER, "Many\\CHILD" + std::to_string(i)), i % 3 != 0) << i;
  EXPECT_EQ(subKeyNames(*reg, HKEY_CURRENT_USER, "Many").size(), static_cast<std::size_t>(count - count / 3));
  ASSERT_EQ(reg->discardUnflushedChanges(), error::Success);
  for (int i = 0; i < count; ++i) EXPECT_TRUE(keyExists(*reg, HKEY_CURRENT_USER, "Many\\child" + std::to_string(i))) << i;
  EXPECT_FALSE(keyExists(*reg, HKEY_CURRENT_USER, "Many\\Child300"));
  reg->closeKey(parent);
}

// Keys with many values find them through an index by position, which must follow removals
// (each moves the later values down a place), additions, replacements and a discard, while the
// values keep their order.
TEST_P(RegistrySemantics, ManyValuesStayFindableInTheirOrder) {
  RegKey key = create(HKEY_CURRENT_USER, "Shared");
  const int count = 300;
  auto name = [](int i) { return "C:\\Program Files\\App\\lib" + std::to_string(i) + ".dll"; };
  std::vector<std::string> expected; // names in enumeration order
  std::map<std::string, std::string> data;
  for (int i = 0; i < count; ++i) {
    putString(*reg, HKEY_CURRENT_USER, "Shared", name(i), std::to_string(i));
    expected.push_back(name(i));
    data[name(i)] = std::to_string(i);
  }
  ASSERT_EQ(reg->flushKey(key), error::Success);
  const std::vector<std::string> original = expected;

  auto checkAll = [&](const std::string &when) {
    EXPECT_EQ(valueNames(*reg, HKEY_CURRENT_USER, "Shared"), expected) << when;
    for (int i = 0; i < count + 20; ++i) {
      RegValue v;
      std::string upper = name(i);
      for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      const long status = reg->queryValue(key, upper, v);
      auto it = data.find(name(i));
      if (it == data.end()) {
        EXPECT_EQ(status, error::FileNotFound) << when << ": " << name(i);
        continue;
      }
      ASSERT_EQ(status, error::Success) << when << ": " << name(i);
      EXPECT_EQ(std::string(reinterpret_cast<const char *>(v.data.data())), it->second) << when << ": " << name(i);
    }
  };
  checkAll("after loading");

  // More removals than the index keeps pending before it renumbers, from the front, the back
  // and the middle, with lookups in between.
  std::mt19937 random(2006);
  for (int round = 0; round < 3; ++round) {
    for (int n = 0; n < 50; ++n) {
      const std::size_t at = random() % expected.size();
      ASSERT_EQ(reg->deleteValue(key, expected[at]), error::Success) << expected[at];
      data.erase(expected[at]);
      expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(at));
    }
    ASSERT_EQ(reg->deleteValue(key, expected.front()), error::Success);
    data.erase(expected.front());
    expected.erase(expected.begin());
    ASSERT_EQ(reg->deleteValue(key, expected.back()), error::Success);
    data.erase(expected.back());
    expected.pop_back();
    // Added while removals are pending, and one replaced in place.
    for (int i = count + round * 5; i < count + round * 5 + 5; ++i) {
      putString(*reg, HKEY_CURRENT_USER, "Shared", name(i), "new " + std::to_string(i));
      expected.push_back(name(i));
      data[name(i)] = "new " + std::to_string(i);
    }
    putString(*reg, HKEY_CURRENT_USER, "Shared", expected[expected.size() / 2], "replaced");
    data[expected[expected.size() / 2]] = "replaced";
    checkAll("round " + std::to_string(round));
  }

  ASSERT_EQ(reg->discardUnflushedChanges(), error::Success);
  expected = original;
  data.clear();
  for (int i = 0; i < count; ++i) data[name(i)] = std::to_string(i);
  checkAll("after the discard");
  reg->closeKey(key);
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistrySemantics, ::testing::ValuesIn(allBackends()), backendName);

} // namespace
