#include "registry/RegistryAccess.h"

#include "TestMachine.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using platform::regtype::Binary;
using platform::regtype::Dword;
using platform::regtype::ExpandSz;
using platform::regtype::MultiSz;
using platform::regtype::Qword;
using platform::regtype::Sz;

/// The message an ERegistryException thrown by `action` carries, or "no exception".
template <typename Action> std::string registryError(Action action) {
  try {
    action();
  } catch (const ERegistryException &error) {
    return error.what();
  }
  return "no exception";
}

class RegistryAccessTest : public ::testing::Test {
protected:
  test::TestMachine machine;

  /// HKEY_LOCAL_MACHINE\SOFTWARE\Test with a value of every kind the layer tells apart.
  void makeValues() {
    machine.importReg(R"([HKEY_LOCAL_MACHINE\SOFTWARE\Test]
"text"="abc"
"expand"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,78,00,00,00
"number"=dword:fffffffe
"bytes"=hex:01,02,03
"multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"quad"=hex(b):01,00,00,00,00,00,00,00
)");
  }
};

TEST(RegistryAccessRootNames, FullNamesAndShortNames) {
  const struct {
    RootKey root;
    const char *fullName;
    const char *shortName;
  } roots[] = {
      {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},   {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
      {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"}, {HKEY_USERS, "HKEY_USERS", "HKU"},
      {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG", "HKCC"}, {HKEY_DYN_DATA, "HKEY_DYN_DATA", "HKDD"},
  };
  for (const auto &r : roots) {
    SCOPED_TRACE(r.fullName);
    EXPECT_EQ(RootKeyToFullName(r.root), r.fullName);
    EXPECT_EQ(RootKeyToShortName(r.root), r.shortName);
    EXPECT_EQ(ShortNameToRootKey(r.shortName), r.root);
  }
  EXPECT_EQ(RootKeyToFullName(HKEY_PERFORMANCE_DATA), "");
  EXPECT_EQ(RootKeyToShortName(HKEY_PERFORMANCE_DATA), "");
  EXPECT_EQ(RootKeyToFullName(0x12345), "");
}

TEST(RegistryAccessRootNames, OnlyFourFullNamesAreToldApartFromTheClassesRoot) {
  EXPECT_EQ(FullNameToRootKey("HKEY_CURRENT_USER"), HKEY_CURRENT_USER);
  EXPECT_EQ(FullNameToRootKey("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(FullNameToRootKey("HKEY_USERS"), HKEY_USERS);
  EXPECT_EQ(FullNameToRootKey("HKEY_CURRENT_CONFIG"), HKEY_CURRENT_CONFIG);
  EXPECT_EQ(FullNameToRootKey("HKEY_DYN_DATA"), HKEY_CLASSES_ROOT);
  EXPECT_EQ(FullNameToRootKey("hkey_local_machine"), HKEY_CLASSES_ROOT);
  EXPECT_EQ(FullNameToRootKey("HKLM"), HKEY_CLASSES_ROOT);
  EXPECT_EQ(FullNameToRootKey(""), HKEY_CLASSES_ROOT);
  EXPECT_EQ(ShortNameToRootKey("hklm"), 0u);
  EXPECT_EQ(ShortNameToRootKey("HKEY_LOCAL_MACHINE"), 0u);
}

TEST(RegistryAccessKeyText, SplitsAtFirstAndLastBackslash) {
  EXPECT_EQ(RootOfKeyText("HKEY_CURRENT_USER\\Software\\X\\Y"), HKEY_CURRENT_USER);
  EXPECT_EQ(KeyPathOfKeyText("HKEY_CURRENT_USER\\Software\\X\\Y"), "\\Software\\X");
  EXPECT_EQ(LastNameOfKeyText("HKEY_CURRENT_USER\\Software\\X\\Y"), "Y");

  const char *appPath =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\foo.exe";
  EXPECT_EQ(RootOfKeyText(appPath), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(KeyPathOfKeyText(appPath), "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths");
  EXPECT_EQ(LastNameOfKeyText(appPath), "foo.exe");

  // One backslash: no key path. None: no root name, and the whole text is the last name.
  EXPECT_EQ(KeyPathOfKeyText("HKEY_USERS\\x"), "");
  EXPECT_EQ(LastNameOfKeyText("HKEY_USERS\\x"), "x");
  EXPECT_EQ(RootOfKeyText("HKEY_USERS\\x"), HKEY_USERS);
  EXPECT_EQ(RootOfKeyText("HKEY_USERS"), HKEY_CLASSES_ROOT);
  EXPECT_EQ(KeyPathOfKeyText("HKEY_USERS"), "");
  EXPECT_EQ(LastNameOfKeyText("HKEY_USERS"), "HKEY_USERS");
  EXPECT_EQ(LastNameOfKeyText("HKEY_USERS\\a\\"), "");
}

TEST_F(RegistryAccessTest, PathsResolveAgainstRootOrOpenKey) {
  TRegistry registry;
  EXPECT_EQ(registry.CurrentRoot(), HKEY_CURRENT_USER);
  EXPECT_EQ(registry.accessMask(), platform::access::KeyAllAccess);
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);

  ASSERT_TRUE(registry.OpenRegKey("\\SOFTWARE\\A\\B", /*canCreate=*/true));
  EXPECT_EQ(registry.currentPath(), "SOFTWARE\\A\\B");
  EXPECT_TRUE(machine.keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B"));

  // Relative to the open key.
  ASSERT_TRUE(registry.OpenRegKey("C", /*canCreate=*/true));
  EXPECT_EQ(registry.currentPath(), "SOFTWARE\\A\\B\\C");
  EXPECT_TRUE(machine.keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B\\C"));

  // Absolute again, whatever is open.
  ASSERT_TRUE(registry.OpenRegKey("\\SOFTWARE\\A", false));
  EXPECT_EQ(registry.currentPath(), "SOFTWARE\\A");

  // A failed open leaves the open key as it was.
  EXPECT_FALSE(registry.OpenRegKey("Missing", false));
  EXPECT_TRUE(registry.hasOpenKey());
  EXPECT_EQ(registry.currentPath(), "SOFTWARE\\A");
  EXPECT_FALSE(machine.keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\Missing"));

  // An empty path opens the open key again; testing a path leaves the open key alone.
  ASSERT_TRUE(registry.OpenRegKey("", false));
  EXPECT_EQ(registry.currentPath(), "SOFTWARE\\A");
  EXPECT_TRUE(registry.KeyPathExists("B\\C"));
  EXPECT_FALSE(registry.KeyPathExists("\\SOFTWARE\\A\\Nothing"));
  EXPECT_EQ(registry.currentPath(), "SOFTWARE\\A");
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\A\\B"));

  // Without an open key a relative path resolves against the root.
  registry.CloseRegKey();
  EXPECT_FALSE(registry.hasOpenKey());
  EXPECT_EQ(registry.currentPath(), "");
  ASSERT_TRUE(registry.OpenRegKey("SOFTWARE\\A\\B", false));
  EXPECT_EQ(registry.currentPath(), "SOFTWARE\\A\\B");

  // Setting the same root keeps the key open; another root closes it.
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(registry.hasOpenKey());
  registry.CurrentRoot(HKEY_CURRENT_USER);
  EXPECT_FALSE(registry.hasOpenKey());
  EXPECT_FALSE(registry.KeyPathExists("\\SOFTWARE\\A"));
}

TEST_F(RegistryAccessTest, ListsNamesOfTheOpenKeyOnly) {
  makeValues();
  machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", "", Sz, test::textBytes("default"));
  machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Sub1", "v", Sz, test::textBytes("1"));
  machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Sub2", "v", Sz, test::textBytes("2"));

  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(registry.ListSubKeyNames().empty());
  EXPECT_TRUE(registry.ListValueNames().empty());
  EXPECT_FALSE(registry.HasChildKeys());

  ASSERT_TRUE(registry.OpenRegKey("\\SOFTWARE\\Test", false));
  EXPECT_TRUE(registry.HasChildKeys());
  EXPECT_EQ(registry.ListSubKeyNames(), (std::vector<std::string>{"Sub1", "Sub2"}));
  EXPECT_EQ(registry.ListValueNames(),
            (std::vector<std::string>{"text", "expand", "number", "bytes", "multi", "quad", ""}));

  ASSERT_TRUE(registry.OpenRegKey("Sub1", false));
  EXPECT_FALSE(registry.HasChildKeys());
  EXPECT_TRUE(registry.ListSubKeyNames().empty());
}

TEST_F(RegistryAccessTest, ValueKindsAndSizes) {
  makeValues();
  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(registry.ValueKind("text"), RegDataKind::Unknown) << "no key is open";
  EXPECT_EQ(registry.ValueSize("text"), -1) << "no key is open";
  ASSERT_TRUE(registry.OpenRegKey("\\SOFTWARE\\Test", false));

  EXPECT_EQ(registry.ValueKind("text"), RegDataKind::String);
  EXPECT_EQ(registry.ValueKind("expand"), RegDataKind::ExpandString);
  EXPECT_EQ(registry.ValueKind("number"), RegDataKind::Integer);
  EXPECT_EQ(registry.ValueKind("bytes"), RegDataKind::Binary);
  EXPECT_EQ(registry.ValueKind("multi"), RegDataKind::Unknown);
  EXPECT_EQ(registry.ValueKind("quad"), RegDataKind::Unknown);
  EXPECT_EQ(registry.ValueKind("missing"), RegDataKind::Unknown);

  EXPECT_EQ(registry.ValueSize("text"), 4) << "text counts its terminating zero";
  EXPECT_EQ(registry.ValueSize("number"), 4);
  EXPECT_EQ(registry.ValueSize("bytes"), 3);
  EXPECT_EQ(registry.ValueSize("missing"), -1);
}

TEST_F(RegistryAccessTest, ReadsCheckTheKindOfValue) {
  makeValues();
  machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", "cut", Sz, {'a', 'b', 0, 'c', 0});
  machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", "long", Dword, {1, 0, 0, 0, 0});
  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenRegKey("\\SOFTWARE\\Test", false));

  EXPECT_EQ(registry.ReadText("text"), "abc");
  EXPECT_EQ(registry.ReadText("expand"), "%SystemRoot%\\x") << "expandable text stays unexpanded";
  EXPECT_EQ(registry.ReadText("cut"), "ab");
  EXPECT_EQ(registry.ReadText("missing"), "");
  EXPECT_EQ(registryError([&] { registry.ReadText("number"); }), "Invalid data type for 'number'");
  EXPECT_EQ(registryError([&] { registry.ReadText("multi"); }), "Invalid data type for 'multi'");

  EXPECT_EQ(registry.ReadNumber("number"), -2);
  EXPECT_EQ(registryError([&] { registry.ReadNumber("missing"); }),
            "Failed to get data for 'missing'");
  EXPECT_EQ(registryError([&] { registry.ReadNumber("text"); }), "Invalid data type for 'text'");
  EXPECT_EQ(registryError([&] { registry.ReadNumber("long"); }), "Failed to get data for 'long'");

  std::uint8_t buffer[8] = {};
  EXPECT_EQ(registry.ReadBytes("bytes", buffer, sizeof buffer), 3u);
  EXPECT_EQ(buffer[2], 3);
  EXPECT_EQ(registry.ReadBytes("missing", buffer, sizeof buffer), 0u);
  EXPECT_EQ(registry.ReadBytes("quad", buffer, sizeof buffer), 8u) << "unknown kinds read as bytes";
  EXPECT_EQ(registryError([&] { registry.ReadBytes("bytes", buffer, 2); }),
            "Invalid data type for 'bytes'");
  EXPECT_EQ(registryError([&] { registry.ReadBytes("text", buffer, sizeof buffer); }),
            "Invalid data type for 'text'");
  EXPECT_EQ(registry.ReadBytes("bytes"), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(RegistryAccessTest, WritesStoreTheRegistryTypes) {
  TRegistry registry;
  registry.CurrentRoot(HKEY_CURRENT_USER);
  EXPECT_EQ(registryError([&] { registry.WriteText("t", "x"); }), "Failed to set data for 't'")
      << "no key is open";
  ASSERT_TRUE(registry.OpenRegKey("\\Software\\W", true));
  registry.WriteText("t", "x\\y");
  registry.WriteNumber("n", -1);
  const std::uint8_t bytes[] = {0, 255};
  registry.WriteBytes("b", bytes, 2);
  registry.WriteBytes("empty", bytes, 0);

  auto text = machine.rawValue(HKEY_CURRENT_USER, "Software\\W", "t");
  ASSERT_TRUE(text);
  EXPECT_EQ(text->first, Sz);
  EXPECT_EQ(text->second, test::textBytes("x\\y"));
  auto number = machine.rawValue(HKEY_CURRENT_USER, "Software\\W", "n");
  ASSERT_TRUE(number);
  EXPECT_EQ(number->first, Dword);
  EXPECT_EQ(number->second, (std::vector<std::uint8_t>{255, 255, 255, 255}));
  auto binary = machine.rawValue(HKEY_CURRENT_USER, "Software\\W", "b");
  ASSERT_TRUE(binary);
  EXPECT_EQ(binary->first, Binary);
  EXPECT_EQ(binary->second, (std::vector<std::uint8_t>{0, 255}));
  auto empty = machine.rawValue(HKEY_CURRENT_USER, "Software\\W", "empty");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->second.empty());
}

TEST_F(RegistryAccessTest, DeleteKeyTreeRemovesEveryLevel) {
  machine.importReg(R"([HKEY_CURRENT_USER\Software\Keep]
"v"="k"
[HKEY_CURRENT_USER\Software\Gone]
"v"="1"
[HKEY_CURRENT_USER\Software\Gone\A\B\C]
"v"="4"
[HKEY_CURRENT_USER\Software\Gone\A\B2]
"v"="3"
[HKEY_CURRENT_USER\Software\Gone\A2]
"v"="2"
)");

  TRegistry registry;
  registry.CurrentRoot(HKEY_CURRENT_USER);
  ASSERT_TRUE(registry.OpenRegKey("\\Software\\Keep", false));
  EXPECT_TRUE(registry.DeleteKeyTree("\\Software\\Gone"));
  EXPECT_FALSE(machine.keyExists(HKEY_CURRENT_USER, "Software\\Gone"));
  EXPECT_TRUE(machine.keyExists(HKEY_CURRENT_USER, "Software\\Keep"));
  // The caller's open key is still open and in use.
  EXPECT_EQ(registry.currentPath(), "Software\\Keep");
  EXPECT_EQ(registry.ReadText("v"), "k");

  EXPECT_FALSE(registry.DeleteKeyTree("\\Software\\Gone"));
  EXPECT_TRUE(machine.keyExists(HKEY_CURRENT_USER, "Software\\Keep"));
}

TEST_F(RegistryAccessTest, DeleteKeyTreeOfRelativeAndEmptyPaths) {
  machine.setRawValue(HKEY_CURRENT_USER, "Software\\P\\Child\\Grand", "v", Sz, test::textBytes("g"));
  machine.setRawValue(HKEY_CURRENT_USER, "Software\\P\\Other", "v", Sz, test::textBytes("o"));
  TRegistry registry;
  registry.CurrentRoot(HKEY_CURRENT_USER);
  ASSERT_TRUE(registry.OpenRegKey("\\Software\\P", false));

  // An empty path would name the open key itself: nothing is deleted.
  EXPECT_FALSE(registry.DeleteKeyTree(""));
  EXPECT_FALSE(registry.DeleteKeyTree("\\"));
  EXPECT_TRUE(machine.keyExists(HKEY_CURRENT_USER, "Software\\P\\Child\\Grand"));

  EXPECT_TRUE(registry.DeleteKeyTree("Child"));
  EXPECT_FALSE(machine.keyExists(HKEY_CURRENT_USER, "Software\\P\\Child"));
  EXPECT_TRUE(machine.keyExists(HKEY_CURRENT_USER, "Software\\P\\Other"));
}

TEST_F(RegistryAccessTest, DeleteRoutinesDoNothingWhenTheKeyIsMissing) {
  machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\R\\Sub\\Deep", "v", Sz, test::textBytes("d"));
  machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\R", "a", Sz, test::textBytes("a"));
  machine.setRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\R", "b", Sz, test::textBytes("b"));

  DeleteRegValue(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Missing", "a");
  DeleteRegValue(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\R", "a");
  EXPECT_FALSE(machine.rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\R", "a"));
  EXPECT_TRUE(machine.rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\R", "b"));

  DeleteRegKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Missing", "R");
  DeleteRegKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\R", "");
  EXPECT_TRUE(machine.keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\R\\Sub\\Deep"));
  DeleteRegKey(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\R", "Sub");
  EXPECT_FALSE(machine.keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\R\\Sub"));
  EXPECT_TRUE(machine.rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\R", "b"));

  TRegistry registry;
  registry.CurrentRoot(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(registry.DeleteNamedValue("b")) << "no key is open";
  ASSERT_TRUE(registry.OpenRegKey("\\SOFTWARE\\R", false));
  EXPECT_FALSE(registry.DeleteNamedValue("missing"));
  EXPECT_TRUE(registry.DeleteNamedValue("b"));
}

} // namespace
} // namespace tw
