// The two registry views of a 64-bit prefix: KEY_WOW64_32KEY and KEY_WOW64_64KEY in opens and
// creates, on every backend.

#include "RegistryTestSupport.h"

#include "platform/MemoryRegistry.h"
#include "ViewTestSupport.h"

#include <algorithm>

using namespace tw::platform;
using namespace tw::test;

namespace {

class RegistryViews : public ::testing::TestWithParam<BackendFactory> {
protected:
  TempDir dir{"views"};
  std::unique_ptr<RegistryApi> reg;
  void SetUp() override {
    reg = GetParam().make(dir.path() / "prefix");
    ASSERT_NE(reg, nullptr);
    // The layout of a 64-bit prefix: each program's settings in its own view.
    putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor\\App", "", "64");
    putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Vendor\\App", "", "32");
    putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Only32", "", "32 only");
    putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{64}\\InprocServer32", "", "a64.dll");
    putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes\\Wow6432Node\\CLSID\\{32}\\InprocServer32", "",
              "a32.dll");
    putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes\\.txt", "", "txtfile");
  }
};

std::string backendName(const ::testing::TestParamInfo<BackendFactory> &info) { return info.param.name; }

TEST_P(RegistryViews, TheFlagsChooseTheView) {
  ASSERT_TRUE(reg->hasTwoViews());
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor\\App", Read32), "32");
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor\\App", Read64), "64");
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor\\App", access::KeyRead), "64");
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Only32", Read32), "32 only");
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Only32", Read64), "<error 2>");
  // A path that names the Wow6432Node itself is not redirected again.
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Vendor\\App", Read32), "32");
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Vendor\\App", Read64), "32");
}

TEST_P(RegistryViews, HandlesKeepTheirView) {
  RegKey software = 0;
  ASSERT_EQ(reg->openKey(HKEY_LOCAL_MACHINE, "Software", Read32, software), error::Success);
  EXPECT_EQ(readIn(*reg, software, "Vendor\\App", access::KeyRead), "32");
  RegKey vendor = 0;
  ASSERT_EQ(reg->openKey(software, "Vendor", access::KeyRead, vendor), error::Success);
  EXPECT_EQ(readIn(*reg, vendor, "App", access::KeyRead), "32");
  reg->closeKey(vendor);
  // The 32-bit view of HKLM\Software lists the 32-bit programs' keys, not Wow6432Node.
  std::vector<std::string> names;
  std::string name;
  for (std::uint32_t i = 0; reg->enumKey(software, i, name) == error::Success; ++i) names.push_back(name);
  EXPECT_NE(std::find(names.begin(), names.end(), "Only32"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "Wow6432Node"), names.end());
  reg->closeKey(software);
  // The 64-bit view lists Wow6432Node, as Windows and Wine's 64-bit tools do.
  auto names64 = subKeyNames(*reg, HKEY_LOCAL_MACHINE, "Software");
  EXPECT_NE(std::find(names64.begin(), names64.end(), "Wow6432Node"), names64.end());
}

TEST_P(RegistryViews, StoredKeysNameTheWow6432Node) {
  EXPECT_EQ(storedIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor\\App", Read32), "HKLM|Software\\Wow6432Node\\Vendor\\App");
  EXPECT_EQ(storedIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor\\App", Read64), "HKLM|Software\\Vendor\\App");
  EXPECT_EQ(storedIn(*reg, HKEY_LOCAL_MACHINE, "SOFTWARE", Read32), "HKLM|Software\\Wow6432Node");
  EXPECT_EQ(storedIn(*reg, HKEY_CLASSES_ROOT, "CLSID\\{32}\\InprocServer32", Read32),
            "HKCR|Wow6432Node\\CLSID\\{32}\\InprocServer32");
  EXPECT_EQ(storedIn(*reg, HKEY_CLASSES_ROOT, "CLSID\\{64}", Read64), "HKCR|CLSID\\{64}");
  // The classes' Wow6432Node lacks the class, and its CLSID key is not shared.
  EXPECT_EQ(storedIn(*reg, HKEY_CLASSES_ROOT, "CLSID\\{64}", Read32), "<error 2>");
  // A name the classes' Wow6432Node does not hold is the one both views share.
  EXPECT_EQ(storedIn(*reg, HKEY_CLASSES_ROOT, ".txt", Read32), "HKCR|.txt");
  // A key reached under HKEY_LOCAL_MACHINE is named under it; the user's under HKEY_CURRENT_USER.
  EXPECT_EQ(storedIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes\\.txt", Read64), "HKLM|Software\\Classes\\.txt");
  putString(*reg, HKEY_CURRENT_USER, "Software\\Mine", "", "x");
  EXPECT_EQ(storedIn(*reg, HKEY_USERS, "S-1-5-21-0-0-0-1000\\Software\\Mine", Read64),
            "HKU|S-1-5-21-0-0-0-1000\\Software\\Mine");
  EXPECT_EQ(storedIn(*reg, HKEY_CURRENT_USER, "Software\\Mine", Read32), "HKCU|Software\\Mine");
  RegKey root = 0;
  std::string path = "unchanged";
  EXPECT_EQ(reg->storedKeyPath(0x1234, root, path), error::InvalidHandle);
  EXPECT_EQ(path, "unchanged");
}

TEST_P(RegistryViews, CreatesGoWhereTheViewStoresThem) {
  RegKey key = 0;
  bool created = false;
  ASSERT_EQ(reg->createKey(HKEY_LOCAL_MACHINE, "Software\\NewVendor\\Tool", access::KeyAllAccess | access::Wow64_32Key,
                           key, &created),
            error::Success);
  EXPECT_TRUE(created);
  reg->closeKey(key);
  EXPECT_TRUE(keyExists(*reg, HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\NewVendor\\Tool"));
  EXPECT_FALSE(keyExists(*reg, HKEY_LOCAL_MACHINE, "Software\\NewVendor"));
  // An existing key of the view opens; nothing is created.
  ASSERT_EQ(reg->createKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\App", access::KeyAllAccess | access::Wow64_32Key, key,
                           &created),
            error::Success);
  EXPECT_FALSE(created);
  RegValue value;
  ASSERT_EQ(reg->queryValue(key, "", value), error::Success);
  EXPECT_STREQ(reinterpret_cast<const char *>(value.data.data()), "32");
  reg->closeKey(key);
  // A class name the classes' Wow6432Node lacks is made in the classes both views share.
  ASSERT_EQ(reg->createKey(HKEY_CLASSES_ROOT, ".new", access::KeyAllAccess | access::Wow64_32Key, key), error::Success);
  reg->closeKey(key);
  EXPECT_TRUE(keyExists(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes\\.new"));
  EXPECT_FALSE(keyExists(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes\\Wow6432Node\\.new"));
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryViews, ::testing::ValuesIn(allBackends()), backendName);

TEST(RegistryOneView, BothFlagsGiveTheOneView) {
  auto reg = makeMemoryRegistry(MemoryRegistryViews::One);
  EXPECT_FALSE(reg->hasTwoViews());
  putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor\\App", "", "only");
  putString(*reg, HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Vendor\\App", "", "stray");
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor\\App", Read32), "only");
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Vendor\\App", Read64), "only");
}

} // namespace
