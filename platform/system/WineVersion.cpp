#include "platform/system/WineVersion.h"

#include "platform/RegistryApi.h"
#include "platform/system/RegistryReading.h"

#include <string>

namespace tw::platform {

namespace {
struct NamedVersion {
  std::string_view name;
  VersionRecord record;
};
} // namespace

static constexpr std::uint32_t Win32s = 0, Win9x = 1, WinNT = 2;

// Wine's table of the versions its setting may name; the build numbers of the 9x family carry
// the version in their high word, as those systems report it.
static constexpr NamedVersion WineVersions[] = {
    {"win20", {Win32s, 2, 0, 0}},         {"win30", {Win32s, 3, 0, 0}},
    {"win31", {Win32s, 3, 10, 0}},        {"win95", {Win9x, 4, 0, 0x40003B6}},
    {"win98", {Win9x, 4, 10, 0x40A08AE}}, {"winme", {Win9x, 4, 90, 0x45A0BB8}},
    {"nt351", {WinNT, 3, 51, 1057}},      {"nt40", {WinNT, 4, 0, 1381}},
    {"win2000", {WinNT, 5, 0, 2195}},     {"win2k", {WinNT, 5, 0, 2195}},
    {"nt2k", {WinNT, 5, 0, 2195}},        {"nt2000", {WinNT, 5, 0, 2195}},
    {"winxp", {WinNT, 5, 1, 2600}},       {"winxp64", {WinNT, 5, 2, 3790}},
    {"win2003", {WinNT, 5, 2, 3790}},     {"win2k3", {WinNT, 5, 2, 3790}},
    {"vista", {WinNT, 6, 0, 6002}},       {"winvista", {WinNT, 6, 0, 6002}},
    {"win2008", {WinNT, 6, 0, 6002}},     {"win2k8", {WinNT, 6, 0, 6002}},
    {"win2008r2", {WinNT, 6, 1, 7601}},   {"win2k8r2", {WinNT, 6, 1, 7601}},
    {"win7", {WinNT, 6, 1, 7601}},        {"win8", {WinNT, 6, 2, 9200}},
    {"win81", {WinNT, 6, 3, 9600}},       {"win10", {WinNT, 10, 0, 19043}},
    {"win11", {WinNT, 10, 0, 22000}},
};

static constexpr const char *WineKey = "Software\\Wine";
static constexpr const char *NtVersionKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";
static constexpr const char *Win9xVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion";

std::optional<VersionRecord> versionOfWineSetting(std::string_view name) {
  for (const auto &entry : WineVersions)
    if (entry.name == name) return entry.record;
  return std::nullopt;
}

// The number at the start of `text` as wcstoul reads it: blanks skipped, digits up to the first
// other character, 0 when there are none.
static std::uint32_t leadingNumber(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  if (pos < text.size() && text[pos] == '+') ++pos;
  std::uint64_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + static_cast<std::uint64_t>(text[pos] - '0');
    if (value > 0xFFFFFFFFu) value = 0xFFFFFFFFu;
    ++pos;
  }
  return static_cast<std::uint32_t>(value);
}

static std::optional<VersionRecord> settingUnder(RegistryApi &registry, const std::string &key) {
  auto value = detail::readRegistryText(registry, HKEY_CURRENT_USER, key, "Version");
  if (!value) return std::nullopt;
  return versionOfWineSetting(value->text);
}

static std::optional<VersionRecord> ntRegistryVersion(RegistryApi &registry) {
  VersionRecord record;
  auto major = detail::readRegistryDword(registry, HKEY_LOCAL_MACHINE, NtVersionKey, "CurrentMajorVersionNumber");
  auto minor = detail::readRegistryDword(registry, HKEY_LOCAL_MACHINE, NtVersionKey, "CurrentMinorVersionNumber");
  if (major && minor) {
    record.majorVersion = *major;
    record.minorVersion = *minor;
  }
  if (record.majorVersion == 0) {
    auto text = detail::readRegistryText(registry, HKEY_LOCAL_MACHINE, NtVersionKey, "CurrentVersion");
    if (!text) return std::nullopt;
    record.majorVersion = leadingNumber(text->text);
    record.minorVersion = 0;
    if (auto dot = text->text.find('.'); dot != std::string::npos)
      record.minorVersion = leadingNumber(std::string_view(text->text).substr(dot + 1));
  }
  if (record.majorVersion == 0) return std::nullopt;
  record.platformId = WinNT;
  if (auto build = detail::readRegistryText(registry, HKEY_LOCAL_MACHINE, NtVersionKey, "CurrentBuildNumber"))
    record.buildNumber = leadingNumber(build->text);
  return record;
}

static std::optional<VersionRecord> win9xRegistryVersion(RegistryApi &registry) {
  auto text = detail::readRegistryText(registry, HKEY_LOCAL_MACHINE, Win9xVersionKey, "VersionNumber");
  if (!text) return std::nullopt;
  std::string_view rest = text->text;
  VersionRecord record;
  record.majorVersion = leadingNumber(rest);
  if (auto dot = rest.find('.'); dot != std::string_view::npos) {
    rest = rest.substr(dot + 1);
    record.minorVersion = leadingNumber(rest);
    if (auto second = rest.find('.'); second != std::string_view::npos)
      record.buildNumber = leadingNumber(rest.substr(second + 1));
  }
  if (record.majorVersion == 0) return std::nullopt;
  record.platformId = Win9x;
  record.buildNumber |= ((record.majorVersion & 0xFF) << 24) | ((record.minorVersion & 0xFF) << 16);
  return record;
}

std::optional<VersionRecord> readWineVersion(RegistryApi &registry, std::string_view programName) {
  if (!programName.empty()) {
    if (auto v = settingUnder(registry, std::string(WineKey) + "\\AppDefaults\\" + std::string(programName)))
      return v;
  }
  if (auto v = settingUnder(registry, WineKey)) return v;
  if (auto v = ntRegistryVersion(registry)) return v;
  return win9xRegistryVersion(registry);
}

} // namespace tw::platform
