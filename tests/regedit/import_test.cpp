// Importing into a registry: what lands where, and that a refused file or a refusing
// registry leaves the registry as it was.

#include "registry/regfile/RegFileExport.h"
#include "registry/regfile/RegFileImport.h"
#include "platform/MemoryRegistry.h"

#include "RegTestSupport.h"

#include <gtest/gtest.h>

using namespace tw;
using namespace tw::regedit;
using namespace tw::regedit::test;
using Status = RegFileResult::Status;
namespace regtype = platform::regtype;

namespace {

const std::string V5 = "Windows Registry Editor Version 5.00\r\n";

/// The whole registry as export text, to compare states before and after.
std::string snapshot(platform::RegistryApi &registry) {
  std::string all;
  for (const char *root : {"HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_USER"}) {
    std::string bytes;
    EXPECT_TRUE(exportRegText(registry, root, bytes));
    all += textOfUtf16File(bytes);
  }
  return all;
}

/// Refuses (with `code`) the call that would make the `failAt`-th change, counting
/// createKey, setValue, deleteKey and deleteValue. With AccessDenied it also refuses to open
/// keys for writing, as a registry that may only be read does.
class FailingRegistry : public ForwardingRegistry {
public:
  FailingRegistry(platform::RegistryApi &inner, int failAt, long code)
      : ForwardingRegistry(inner), m_failAt(failAt), m_code(code) {}
  int changes = 0;

  long openKey(platform::RegKey p, std::string_view s, std::uint32_t a,
               platform::RegKey &r) override {
    if (m_code == platform::error::AccessDenied && (a & platform::access::Modifying))
      return m_code;
    return ForwardingRegistry::openKey(p, s, a, r);
  }
  long createKey(platform::RegKey p, std::string_view s, std::uint32_t a, platform::RegKey &r,
                 bool *c) override {
    return fails() ? m_code : ForwardingRegistry::createKey(p, s, a, r, c);
  }
  long setValue(platform::RegKey k, std::string_view n, std::uint32_t t, const std::uint8_t *d,
                std::size_t s, platform::DataForm f) override {
    return fails() ? m_code : ForwardingRegistry::setValue(k, n, t, d, s, f);
  }
  long deleteKey(platform::RegKey k, std::string_view s) override {
    return fails() ? m_code : ForwardingRegistry::deleteKey(k, s);
  }
  long deleteValue(platform::RegKey k, std::string_view n) override {
    return fails() ? m_code : ForwardingRegistry::deleteValue(k, n);
  }

private:
  int m_failAt;
  long m_code;
  bool fails() { return ++changes == m_failAt; }
};

class RegFileImportTest : public ::testing::Test {
protected:
  std::unique_ptr<platform::RegistryApi> m_registry = platform::makeMemoryRegistry();

  void SetUp() override {
    const RegFileResult base = importRegText(*m_registry, V5 +
                                                              "[HKEY_CURRENT_USER\\Software\\Keep]\r\n"
                                                              "\"v\"=\"old\"\r\n"
                                                              "\"gone\"=dword:1\r\n"
                                                              "[HKEY_CURRENT_USER\\Software\\Tree\\A\\B]\r\n"
                                                              "\"deep\"=hex:01\r\n"
                                                              "[HKEY_CURRENT_USER\\Software\\Tree\\C]\r\n");
    ASSERT_TRUE(base) << base.description();
  }
};

} // namespace

TEST_F(RegFileImportTest, SetsAndDeletesWhatTheFileSays) {
  const RegFileResult result = importRegText(*m_registry,
                                             utf16File(V5 +
                                                       "[HKEY_CURRENT_USER\\Software\\Keep]\r\n"
                                                       "\"v\"=\"new\"\r\n"
                                                       "\"gone\"=-\r\n"
                                                       "\"never there\"=-\r\n"
                                                       "@=\"default\"\r\n"
                                                       "\"e\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                                                       "\"odd\"=hex(1):68,00,69,00\r\n"
                                                       "[-HKEY_CURRENT_USER\\Software\\Tree]\r\n"
                                                       "[-HKEY_CURRENT_USER\\Software\\Never\\There]\r\n"
                                                       "[HKEY_LOCAL_MACHINE\\Software\\New\\Deep]\r\n"
                                                       "\"n\"=dword:0000002a\r\n"),
                                             "changes.reg");
  ASSERT_TRUE(result) << result.description();
  auto &r = *m_registry;
  const platform::RegKey hkcu = platform::HKEY_CURRENT_USER;
  EXPECT_EQ(getRaw(r, hkcu, "Software\\Keep", "v").data, sz(u"new"));
  EXPECT_EQ(getRaw(r, hkcu, "Software\\Keep", "gone").type, 0xFFFFFFFFu);
  EXPECT_EQ(getRaw(r, hkcu, "Software\\Keep", "").data, sz(u"default"));
  const platform::RegValue expand = getRaw(r, hkcu, "Software\\Keep", "e");
  EXPECT_EQ(expand.type, regtype::ExpandSz);
  EXPECT_EQ(expand.data, sz(u"%A%"));
  // String data without its terminating zero stays as the file gives it.
  EXPECT_EQ(getRaw(r, hkcu, "Software\\Keep", "odd").data, bytes({'h', 0, 'i', 0}));
  EXPECT_FALSE(keyExists(r, hkcu, "Software\\Tree"));
  EXPECT_TRUE(keyExists(r, hkcu, "Software"));
  EXPECT_EQ(getRaw(r, platform::HKEY_LOCAL_MACHINE, "Software\\New\\Deep", "n").data,
            bytes({42, 0, 0, 0}));
}

TEST_F(RegFileImportTest, ADamagedFileChangesNothing) {
  const std::string before = snapshot(*m_registry);
  // Every line but the last is good, and the good ones would change a lot.
  const RegFileResult result = importRegText(*m_registry,
                                             V5 + "[-HKEY_CURRENT_USER\\Software\\Tree]\r\n"
                                                  "[HKEY_CURRENT_USER\\Software\\Keep]\r\n"
                                                  "\"v\"=\"changed\"\r\n"
                                                  "[HKEY_LOCAL_MACHINE\\Software\\Added]\r\n"
                                                  "\"h\"=hex:01,02,\\\r\n"
                                                  "  03,zz\r\n",
                                             "damaged.reg");
  EXPECT_EQ(result.status, Status::BadHex);
  EXPECT_EQ(result.line, 7u);
  EXPECT_EQ(result.description(),
            "damaged.reg: line 7: found \"zz\"; expected a hex byte (00 to ff)");
  EXPECT_EQ(snapshot(*m_registry), before);
}

TEST_F(RegFileImportTest, ARefusedChangeMidwayTakesBackTheWholeFile) {
  const std::string text = V5 + "[HKEY_CURRENT_USER\\Software\\Keep]\r\n"
                                "\"v\"=\"changed\"\r\n"
                                "\"w\"=\"added\"\r\n"
                                "[-HKEY_CURRENT_USER\\Software\\Tree]\r\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Added]\r\n"
                                "\"x\"=dword:1\r\n";
  const std::string before = snapshot(*m_registry);
  // The file makes at least six changes; refuse each one in turn.
  for (int failAt = 1; failAt <= 6; ++failAt) {
    FailingRegistry failing(*m_registry, failAt, platform::error::WriteFault);
    const RegFileResult result = importRegText(failing, text, "midway.reg");
    EXPECT_EQ(result.status, Status::RegistryError) << "failing change " << failAt;
    EXPECT_EQ(result.registryError, platform::error::WriteFault);
    EXPECT_NE(result.line, 0u);
    EXPECT_NE(result.description().find("no change of this file was kept"), std::string::npos);
    EXPECT_EQ(snapshot(*m_registry), before) << "failing change " << failAt;
  }
}

TEST_F(RegFileImportTest, AReadOnlyRegistryIsRefusedBeforeAnyChange) {
  const std::string before = snapshot(*m_registry);
  FailingRegistry readOnly(*m_registry, 1, platform::error::AccessDenied);
  const RegFileResult result = importRegText(
      readOnly, V5 + "\r\n[HKEY_CURRENT_USER\\Software\\Keep]\r\n\"v\"=\"changed\"\r\n", "ro.reg");
  EXPECT_EQ(result.status, Status::ReadOnlyRegistry);
  EXPECT_EQ(result.line, 3u);
  EXPECT_EQ(readOnly.changes, 0);
  EXPECT_EQ(snapshot(*m_registry), before);
}

TEST_F(RegFileImportTest, FilesOnDiskAreCheckedBeforeReading) {
  RegFileResult result = importRegFile(*m_registry, "/nonexistent/file.reg");
  EXPECT_EQ(result.status, Status::CannotOpen);
  EXPECT_EQ(result.description().rfind("/nonexistent/file.reg: ", 0), 0u);
  result = importRegFile(*m_registry, "/tmp");
  EXPECT_EQ(result.status, Status::CannotOpen);
  EXPECT_NE(result.description().find("not a regular file"), std::string::npos);
  result = importRegFile(*m_registry, "/dev/null");
  EXPECT_EQ(result.status, Status::CannotOpen);
}
