// Wine's links between the two registry views of a 64-bit prefix, and a 32-bit prefix's one
// view, on the wine backend.

#include "ViewTestSupport.h"

#include "platform/WineRegistry.h"

using namespace tw::platform;
using namespace tw::test;

namespace {

// The text of a Wine link value naming `target` ("\Registry\Machine\...").
std::string linkTo(const std::string &target) {
  std::string hex = "\"SymbolicLinkValue\"=hex(6):";
  const char *digits = "0123456789abcdef";
  for (std::size_t i = 0; i < target.size(); ++i) {
    if (i) hex += ',';
    unsigned char c = static_cast<unsigned char>(target[i]);
    hex += digits[c >> 4];
    hex += digits[c & 15];
    hex += ",00";
  }
  return hex + "\n";
}

// A 64-bit prefix with the links Wine writes for the keys both views share.
class WineLinkedViews : public ::testing::Test {
protected:
  TempDir dir{"linked-views"};
  std::unique_ptr<WineRegistry> reg;
  void open(const std::string &arch) {
    std::string blocks =
        "\n[Software\\\\Classes\\\\.txt] 1\n@=\"txtfile\"\n"
        "\n[Software\\\\Classes\\\\CLSID\\\\{64}] 1\n@=\"sixty-four\"\n"
        "\n[Software\\\\Classes\\\\Wow6432Node\\\\CLSID\\\\{32}] 1\n@=\"thirty-two\"\n"
        "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\App Paths\\\\a.exe] 1\n@=\"C:\\\\a.exe\"\n"
        "\n[Software\\\\Wow6432Node\\\\Classes] 1\n#link\n" +
        linkTo("\\Registry\\Machine\\Software\\Classes\\Wow6432Node") +
        "\n[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\App Paths] 1\n#link\n" +
        linkTo("\\Registry\\Machine\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths");
    writeMinimalPrefix(dir.path(), blocks);
    if (arch != "win64") {
      std::string text = readFile(dir.path() / "system.reg");
      text.replace(text.find("#arch=win64"), 11, "#arch=" + arch);
      writeFile(dir.path() / "system.reg", text);
      for (const char *file : {"user.reg", "userdef.reg"}) {
        std::string other = readFile(dir.path() / file);
        other.replace(other.find("#arch=win64"), 11, "#arch=" + arch);
        writeFile(dir.path() / file, other);
      }
    }
    RegistryLoadResult result;
    WineRegistryOptions options;
    options.ignoreRunningServer = true;
    reg = openWineRegistry(dir.path().string(), result, options);
    ASSERT_TRUE(result) << result.description();
  }
};

TEST_F(WineLinkedViews, SharedKeysAreFollowedThroughTheirLinks) {
  open("win64");
  const std::string appPath = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\a.exe";
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, appPath, Read32), "C:\\a.exe");
  EXPECT_EQ(storedIn(*reg, HKEY_LOCAL_MACHINE, appPath, Read32), "HKLM|" + appPath);
  // HKLM\Software\Classes of the 32-bit view is the classes key itself (Wine links the
  // Wow6432Node's Classes to the classes' Wow6432Node, which is shared).
  EXPECT_EQ(storedIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes", Read32), "HKLM|Software\\Classes");
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{32}", Read32), "thirty-two");
  EXPECT_EQ(storedIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{32}", Read32),
            "HKLM|Software\\Classes\\Wow6432Node\\CLSID\\{32}");
  EXPECT_EQ(readIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes\\.txt", Read32), "txtfile");
  EXPECT_EQ(readIn(*reg, HKEY_CLASSES_ROOT, "CLSID\\{64}", Read64), "sixty-four");
}

TEST_F(WineLinkedViews, AThirtyTwoBitPrefixHasOneView) {
  open("win32");
  EXPECT_FALSE(reg->hasTwoViews());
  EXPECT_EQ(storedIn(*reg, HKEY_CLASSES_ROOT, "CLSID\\{64}", Read32), "HKCR|CLSID\\{64}");
  EXPECT_EQ(storedIn(*reg, HKEY_LOCAL_MACHINE, "Software\\Classes", Read32), "HKLM|Software\\Classes");
}

} // namespace
