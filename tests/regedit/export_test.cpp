// Exporting from a registry: order, key texts, failures, and the round trip through import.

#include "registry/regfile/RegFileExport.h"
#include "registry/regfile/RegFileImport.h"
#include "platform/MemoryRegistry.h"

#include "RegTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace tw;
using namespace tw::regedit;
using namespace tw::regedit::test;
using Status = RegFileResult::Status;
namespace regtype = platform::regtype;

namespace {

const std::string V5 = "Windows Registry Editor Version 5.00\r\n";
constexpr platform::RegKey HKCU = platform::HKEY_CURRENT_USER;

std::string exported(platform::RegistryApi &registry, std::string_view key) {
  std::string bytes;
  const RegFileResult result = exportRegText(registry, key, bytes);
  EXPECT_TRUE(result) << result.description();
  return bytes;
}

/// Every kind of value and name the format has to carry, below HKCU\Software\Kinds.
void fillWithEveryKind(platform::RegistryApi &r) {
  const std::string k = "Software\\Kinds";
  setRaw(r, HKCU, k, "", regtype::Sz, sz(u"default"));
  setRaw(r, HKCU, k, "quote\" back\\ cr\r lf\n", regtype::Sz, sz(u"\"\\\r\n;[]="));
  setRaw(r, HKCU, k, "empty", regtype::Sz, sz(u""));
  setRaw(r, HKCU, k, "no zero", regtype::Sz, bytes({'a', 0, 'b', 0}));
  setRaw(r, HKCU, k, "odd", regtype::Sz, bytes({'a', 0, 'b'}));
  setRaw(r, HKCU, k, "inner zero", regtype::Sz, bytes({'a', 0, 0, 0, 'b', 0, 0, 0}));
  setRaw(r, HKCU, k, "nothing", regtype::Sz, {});
  setRaw(r, HKCU, k, "\xF0\x9F\x98\x80 caf\xC3\xA9", regtype::Sz, sz(u"\u20ac \U0001F600"));
  setRaw(r, HKCU, k, "dword", regtype::Dword, bytes({0xef, 0xbe, 0xad, 0xde}));
  setRaw(r, HKCU, k, "short dword", regtype::Dword, bytes({1, 2, 3}));
  setRaw(r, HKCU, k, "expand", regtype::ExpandSz, sz(u"%SystemRoot%\\x"));
  setRaw(r, HKCU, k, "expand no zero", regtype::ExpandSz, bytes({'%', 0}));
  setRaw(r, HKCU, k, "multi", regtype::MultiSz, bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  setRaw(r, HKCU, k, "none", regtype::None, {});
  setRaw(r, HKCU, k, "qword", regtype::Qword, bytes({1, 2, 3, 4, 5, 6, 7, 8}));
  setRaw(r, HKCU, k, "custom", 0xffff0007u, bytes({7, 0}));
  std::vector<std::uint8_t> big(1000);
  for (std::size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<std::uint8_t>(i * 7);
  setRaw(r, HKCU, k, "big", regtype::Binary, big);
  setRaw(r, HKCU, k, std::string(300, 'n'), regtype::Binary, bytes({1, 2, 3}));
  setRaw(r, HKCU, k + "\\Sub]Key\\Deeper", "x", regtype::Dword, bytes({1, 0, 0, 0}));
  setRaw(r, HKCU, k + "\\\xC3\x84rger", "", regtype::Sz, sz(u"\u00c4"));
}

std::filesystem::path tempFile(const char *name) {
  return std::filesystem::temp_directory_path() /
         (std::string("tw-regedit-") + std::to_string(::getpid()) + "-" + name);
}

std::string readFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(RegFileExport, WritesKeysDepthFirstWithValuesBeforeSubKeys) {
  auto registry = platform::makeMemoryRegistry();
  setRaw(*registry, HKCU, "Software\\T", "first", regtype::Sz, sz(u"1"));
  setRaw(*registry, HKCU, "Software\\T", "second", regtype::Sz, sz(u"2"));
  setRaw(*registry, HKCU, "Software\\T\\b\\inner", "v", regtype::Dword, bytes({1, 0, 0, 0}));
  setRaw(*registry, HKCU, "Software\\T\\A", "v", regtype::Dword, bytes({2, 0, 0, 0}));
  setRaw(*registry, HKCU, "Software\\T\\C", "v", regtype::Dword, bytes({3, 0, 0, 0}));
  // The key text is written as the caller spells it; trailing backslashes are dropped.
  EXPECT_EQ(textOfUtf16File(exported(*registry, "hkey_current_user\\Software\\T\\")),
            V5 + "\r\n[hkey_current_user\\Software\\T]\r\n"
                 "\"first\"=\"1\"\r\n"
                 "\"second\"=\"2\"\r\n"
                 "\r\n[hkey_current_user\\Software\\T\\A]\r\n\"v\"=dword:00000002\r\n"
                 "\r\n[hkey_current_user\\Software\\T\\b]\r\n"
                 "\r\n[hkey_current_user\\Software\\T\\b\\inner]\r\n\"v\"=dword:00000001\r\n"
                 "\r\n[hkey_current_user\\Software\\T\\C]\r\n\"v\"=dword:00000003\r\n"
                 "\r\n");
}

TEST(RegFileExport, WithoutAKeyWritesTheMachineAndTheUsers) {
  auto registry = platform::makeMemoryRegistry();
  setRaw(*registry, platform::HKEY_LOCAL_MACHINE, "M", "m", regtype::Sz, sz(u"1"));
  const std::string text = textOfUtf16File(exported(*registry, ""));
  const std::size_t machine = text.find("\r\n[HKEY_LOCAL_MACHINE]\r\n");
  const std::size_t value = text.find("\r\n[HKEY_LOCAL_MACHINE\\M]\r\n\"m\"=\"1\"\r\n");
  const std::size_t users = text.find("\r\n[HKEY_USERS]\r\n");
  EXPECT_EQ(machine, V5.size());
  EXPECT_LT(machine, value);
  EXPECT_LT(value, users);
  EXPECT_NE(users, std::string::npos);
}

TEST(RegFileExport, UnknownRootsAndMissingKeysFailWithoutTouchingTheFile) {
  auto registry = platform::makeMemoryRegistry();
  std::string bytes = "left alone";
  RegFileResult result = exportRegText(*registry, "HKEY_NOWHERE", bytes);
  EXPECT_EQ(result.status, Status::KeyNotFound);
  EXPECT_TRUE(bytes.empty());
  result = exportRegText(*registry, "HKLM", bytes);
  EXPECT_EQ(result.status, Status::KeyNotFound);
  result = exportRegText(*registry, "HKEY_CURRENT_USER\\No\\Such\\Key", bytes);
  EXPECT_EQ(result.status, Status::KeyNotFound);
  EXPECT_NE(result.description().find("HKEY_CURRENT_USER\\No\\Such\\Key"), std::string::npos);

  const auto path = tempFile("kept.reg");
  std::ofstream(path) << "old content";
  result = exportRegFile(*registry, "HKEY_CURRENT_USER\\No", path.string());
  EXPECT_EQ(result.status, Status::KeyNotFound);
  EXPECT_EQ(readFile(path), "old content");
  result = exportRegFile(*registry, "HKEY_CURRENT_USER", "/nonexistent-folder/x.reg");
  EXPECT_EQ(result.status, Status::CannotWrite);
  EXPECT_NE(result.description().find("/nonexistent-folder/x.reg"), std::string::npos);
  std::filesystem::remove(path);
}

TEST(RegFileExport, RoundTripThroughImportKeepsEveryByte) {
  auto original = platform::makeMemoryRegistry();
  fillWithEveryKind(*original);
  const std::string first = exported(*original, "HKEY_CURRENT_USER");

  auto copy = platform::makeMemoryRegistry();
  const RegFileResult imported = importRegText(*copy, first, "first.reg");
  ASSERT_TRUE(imported) << imported.description();
  const std::string second = exported(*copy, "HKEY_CURRENT_USER");
  EXPECT_EQ(textOfUtf16File(second), textOfUtf16File(first));
  EXPECT_EQ(second, first);

  // Equal texts could hide the same loss twice; the awkward values must hold their bytes.
  for (const char *name : {"no zero", "odd", "inner zero", "nothing", "short dword",
                           "expand no zero", "multi", "none", "custom"}) {
    const platform::RegValue want = getRaw(*original, HKCU, "Software\\Kinds", name);
    const platform::RegValue got = getRaw(*copy, HKCU, "Software\\Kinds", name);
    EXPECT_EQ(got.type, want.type) << name;
    EXPECT_EQ(got.data, want.data) << name;
  }
}

TEST(RegFileExport, ExportsToAFileAtomically) {
  auto registry = platform::makeMemoryRegistry();
  fillWithEveryKind(*registry);
  // Large enough that the text passes to the file in several pieces.
  setRaw(*registry, HKCU, "Software\\Large", "blob", regtype::Binary,
         std::vector<std::uint8_t>(700000, 0x5a));
  const auto path = tempFile("export.reg");
  std::ofstream(path) << "older export";
  const RegFileResult result = exportRegFile(*registry, "HKEY_CURRENT_USER\\Software", path.string());
  ASSERT_TRUE(result) << result.description();
  EXPECT_EQ(readFile(path), exported(*registry, "HKEY_CURRENT_USER\\Software"));
  std::filesystem::remove(path);
}

TEST(RegFileExport, KeysThatCannotBeOpenedAreListedAndVanishedOnesSkipped) {
  auto inner = platform::makeMemoryRegistry();
  setRaw(*inner, HKCU, "T\\Locked\\Below", "v", regtype::Sz, sz(u"hidden"));
  setRaw(*inner, HKCU, "T\\Vanished", "v", regtype::Sz, sz(u"gone"));
  setRaw(*inner, HKCU, "T\\Open", "v", regtype::Sz, sz(u"seen"));
  // Refuses "Locked" and pretends "Vanished" went away between listing and opening.
  class Refusing : public ForwardingRegistry {
  public:
    using ForwardingRegistry::ForwardingRegistry;
    long openKey(platform::RegKey p, std::string_view s, std::uint32_t a,
                 platform::RegKey &r) override {
      if (s == "Locked")
        return platform::error::AccessDenied;
      if (s == "Vanished")
        return platform::error::FileNotFound;
      return ForwardingRegistry::openKey(p, s, a, r);
    }
  } registry(*inner);

  std::string bytes;
  ExportGaps gaps;
  const RegFileResult result = exportRegText(registry, "HKEY_CURRENT_USER\\T", bytes, &gaps);
  ASSERT_TRUE(result) << result.description();
  EXPECT_EQ(textOfUtf16File(bytes), V5 + "\r\n[HKEY_CURRENT_USER\\T]\r\n"
                                         "\r\n[HKEY_CURRENT_USER\\T\\Open]\r\n\"v\"=\"seen\"\r\n"
                                         "\r\n");
  ASSERT_EQ(gaps.keys.size(), 1u);
  EXPECT_EQ(gaps.keys[0], "HKEY_CURRENT_USER\\T\\Locked: it cannot be opened (access denied "
                          "(error 5))");
}
