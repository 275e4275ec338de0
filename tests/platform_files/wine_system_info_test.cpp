// The system facts of a Wine prefix: folders, the temp folder from the prefix's environment,
// the version Wine would report, the running program and the program folder.

#include "platform/system/WineSystemInfo.h"

#include "platform/MemoryRegistry.h"
#include "platform/RegistryApi.h"
#include "platform/files/WineFileSystem.h"
#include "platform/system/WineEnvironment.h"
#include "platform/system/WineVersion.h"

#include "RegistryFixture.h"

#include "platform/RegistryView.h"
#include "TempPrefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using namespace tw::platform;
using tw::test::setRegistryDword;
using tw::test::setRegistryText;

namespace {

constexpr const char *ProfileKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000";
constexpr const char *SystemEnvKey = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char *NtKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";

class WineSystemInfoTest : public ::testing::Test {
protected:
  tw::test::TempPrefix prefix;
  std::unique_ptr<RegistryApi> registry = makeMemoryRegistry();
  WineFileSystem files{prefix.dir()};
  WineSystemInfo system{*registry, files};

  std::string programExe() const {
    std::string module = system.moduleFileName();
    return module.substr(module.find_last_of('\\') + 1) + ".exe";
  }
};

struct VersionTriple {
  std::uint32_t platformId, major, minor;
  bool operator==(const VersionTriple &) const = default;
};

VersionTriple triple(const std::optional<VersionRecord> &v) {
  return v ? VersionTriple{v->platformId, v->majorVersion, v->minorVersion} : VersionTriple{99, 99, 99};
}

std::ostream &operator<<(std::ostream &out, const VersionTriple &t) {
  return out << t.platformId << "/" << t.major << "." << t.minor;
}

} // namespace

TEST_F(WineSystemInfoTest, FixedFolders) {
  EXPECT_EQ(system.systemDirectory(), "C:\\windows\\system32");
  EXPECT_EQ(system.windowsDirectory(), "C:\\windows");
}

TEST_F(WineSystemInfoTest, TempFolderAsWineWritesIt) {
  // A fresh Wine prefix stores the user's folder in plain text.
  setRegistryText(*registry, HKEY_CURRENT_USER, "Environment", "TEMP", "C:\\users\\root\\Temp");
  setRegistryText(*registry, HKEY_CURRENT_USER, "Environment", "TMP", "C:\\users\\root\\Temp");
  EXPECT_EQ(system.tempPath(), "C:\\users\\root\\Temp\\");
}

TEST_F(WineSystemInfoTest, TempFolderExpandedWithTheProfileOfThePrefix) {
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, ProfileKey, "ProfileImagePath", "%SystemDrive%\\users\\Tester",
                  regtype::ExpandSz);
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, SystemEnvKey, "TEMP", "%SystemRoot%\\temp", regtype::ExpandSz);
  setRegistryText(*registry, HKEY_CURRENT_USER, "Environment", "TEMP", "%USERPROFILE%\\AppData\\Local\\Temp",
                  regtype::ExpandSz);
  EXPECT_EQ(system.tempPath(), "C:\\users\\Tester\\AppData\\Local\\Temp\\");
  EXPECT_EQ(system.environment().get("LOCALAPPDATA"), "C:\\users\\Tester\\AppData\\Local");
  EXPECT_EQ(system.environment().get("username"), "Tester");
}

TEST_F(WineSystemInfoTest, TempFolderChoiceFollowsGetTempPath) {
  // The system's setting counts when the user has none.
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, SystemEnvKey, "TEMP", "%SystemRoot%\\temp", regtype::ExpandSz);
  EXPECT_EQ(system.tempPath(), "C:\\windows\\temp\\");
  // The user's TEMP overrides it, and TMP comes before TEMP.
  setRegistryText(*registry, HKEY_CURRENT_USER, "Environment", "TEMP", "C:\\user-temp");
  EXPECT_EQ(system.tempPath(), "C:\\user-temp\\");
  setRegistryText(*registry, HKEY_CURRENT_USER, "Environment", "TMP", "D:\\tmp\\");
  EXPECT_EQ(system.tempPath(), "D:\\tmp\\");
}

TEST_F(WineSystemInfoTest, TempFolderWithoutSettingsIsTheProfileFolder) {
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, ProfileKey, "ProfileImagePath", "C:\\users\\Tester");
  EXPECT_EQ(system.tempPath(), "C:\\users\\Tester\\");
}

TEST(WineEnvironment, ExpandsAsExpandEnvironmentStrings) {
  WineEnvironment env;
  env.set("SystemRoot", "C:\\windows");
  env.set("B", "bee");
  EXPECT_EQ(env.expand("%SYSTEMROOT%\\temp"), "C:\\windows\\temp");
  EXPECT_EQ(env.expand("%systemroot%%systemroot%"), "C:\\windowsC:\\windows");
  EXPECT_EQ(env.expand("%NOPE%\\x"), "%NOPE%\\x");
  // The closing "%" of an unset name may open the next one.
  EXPECT_EQ(env.expand("%NOPE%B%"), "%NOPEbee");
  EXPECT_EQ(env.expand("100%"), "100%");
  EXPECT_EQ(env.expand("%%"), "%%");
  EXPECT_EQ(env.expand(""), "");
}

TEST_F(WineSystemInfoTest, VersionFromWineSetting) {
  struct Case {
    const char *setting;
    VersionTriple expected;
  };
  const Case cases[] = {
      {"win95", {1, 4, 0}},  {"win98", {1, 4, 10}},   {"winme", {1, 4, 90}},  {"nt40", {2, 4, 0}},
      {"nt351", {2, 3, 51}}, {"win2k", {2, 5, 0}},    {"win2000", {2, 5, 0}}, {"winxp", {2, 5, 1}},
      {"win2003", {2, 5, 2}}, {"vista", {2, 6, 0}},   {"win7", {2, 6, 1}},    {"win10", {2, 10, 0}},
      {"win31", {0, 3, 10}},
  };
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, NtKey, "CurrentVersion", "6.1");
  for (const auto &c : cases) {
    setRegistryText(*registry, HKEY_CURRENT_USER, "Software\\Wine", "Version", c.setting);
    EXPECT_EQ(triple(system.version()), c.expected) << c.setting;
  }
}

TEST_F(WineSystemInfoTest, VersionSettingPerProgramComesFirst) {
  setRegistryText(*registry, HKEY_CURRENT_USER, "Software\\Wine", "Version", "winxp");
  setRegistryText(*registry, HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\other.exe", "Version", "win95");
  EXPECT_EQ(triple(system.version()), (VersionTriple{2, 5, 1}));
  setRegistryText(*registry, HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\" + programExe(), "Version", "win98");
  EXPECT_EQ(triple(system.version()), (VersionTriple{1, 4, 10}));
}

TEST_F(WineSystemInfoTest, UnknownVersionSettingFallsBackToTheRegistry) {
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, NtKey, "CurrentVersion", "5.2");
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, NtKey, "CurrentBuildNumber", "3790");
  // Wine compares the setting's spelling exactly.
  for (const char *setting : {"WinXP", "windows 98", ""}) {
    setRegistryText(*registry, HKEY_CURRENT_USER, "Software\\Wine", "Version", setting);
    auto v = system.version();
    ASSERT_TRUE(v.has_value()) << setting;
    EXPECT_EQ(triple(v), (VersionTriple{2, 5, 2})) << setting;
    EXPECT_EQ(v->buildNumber, 3790u);
  }
}

TEST_F(WineSystemInfoTest, VersionFromRegistryValues) {
  EXPECT_FALSE(system.version().has_value());

  setRegistryText(*registry, HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "VersionNumber",
                  "4.10.2222");
  auto nineX = system.version();
  ASSERT_TRUE(nineX.has_value());
  EXPECT_EQ(triple(nineX), (VersionTriple{1, 4, 10}));
  EXPECT_EQ(nineX->buildNumber, 0x040A08AEu);

  // The NT family's values come before the 9x family's.
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, NtKey, "CurrentVersion", "5.1");
  EXPECT_EQ(triple(system.version()), (VersionTriple{2, 5, 1}));

  // The numeric values count only when both are there.
  setRegistryDword(*registry, HKEY_LOCAL_MACHINE, NtKey, "CurrentMajorVersionNumber", 10);
  EXPECT_EQ(triple(system.version()), (VersionTriple{2, 5, 1}));
  setRegistryDword(*registry, HKEY_LOCAL_MACHINE, NtKey, "CurrentMinorVersionNumber", 0);
  EXPECT_EQ(triple(system.version()), (VersionTriple{2, 10, 0}));
}

TEST_F(WineSystemInfoTest, ModuleFileNameSeenThroughADrive) {
  const std::string module = system.moduleFileName();
  std::string expected = "Z:" + fs::canonical("/proc/self/exe").string();
  for (char &c : expected)
    if (c == '/') c = '\\';
  EXPECT_EQ(module, expected);
  EXPECT_TRUE(files.fileExists(module));
}

TEST_F(WineSystemInfoTest, ProgramFolderIsCreatedInsideThePrefix) {
  EXPECT_EQ(system.programFolder(), "C:\\ProgramData\\Tidewell Registry Cleaner 2006\\");
  EXPECT_TRUE(fs::is_directory(prefix.driveC() / "ProgramData" / "Tidewell Registry Cleaner 2006"));
  std::ofstream(prefix.driveC() / "ProgramData" / "Tidewell Registry Cleaner 2006" / "Backup.xml") << "<x/>";
  EXPECT_EQ(system.programFolder(), "C:\\ProgramData\\Tidewell Registry Cleaner 2006\\");
  EXPECT_TRUE(fs::exists(prefix.driveC() / "ProgramData" / "Tidewell Registry Cleaner 2006" / "Backup.xml"));
}

// A 64-bit prefix records the x86 folders; a program gets those of its own half, as Wine sets
// the variables of a 32-bit program.
TEST_F(WineSystemInfoTest, ProgramFoldersOfEachHalf) {
  const char *versionKey = "Software\\Microsoft\\Windows\\CurrentVersion";
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, versionKey, "ProgramFilesDir", "C:\\Program Files");
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, versionKey, "ProgramFilesDir (x86)", "C:\\Program Files (x86)");
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, versionKey, "CommonFilesDir", "C:\\Program Files\\Common Files");
  setRegistryText(*registry, HKEY_LOCAL_MACHINE, versionKey, "CommonFilesDir (x86)",
                  "C:\\Program Files (x86)\\Common Files");
  const auto native = system.environment();
  EXPECT_EQ(native.expand("%ProgramFiles%|%ProgramW6432%|%ProgramFiles(x86)%"),
            "C:\\Program Files|C:\\Program Files|C:\\Program Files (x86)");
  tw::platform::ViewScope scope(tw::platform::ViewKind::Bits32);
  const auto x86 = system.environment();
  EXPECT_EQ(x86.expand("%ProgramFiles%|%CommonProgramFiles%|%CommonProgramW6432%"),
            "C:\\Program Files (x86)|C:\\Program Files (x86)\\Common Files|C:\\Program Files\\Common Files");
}
