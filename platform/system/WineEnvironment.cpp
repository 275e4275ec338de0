#include "platform/system/WineEnvironment.h"

#include "platform/RegistryApi.h"
#include "platform/RegistryView.h"
#include "platform/TextCompare.h"
#include "platform/system/RegistryReading.h"

namespace tw::platform {

using detail::readRegistryText;

static constexpr const char *CurrentVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion";
static constexpr const char *ProfileListKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
static constexpr const char *SystemEnvironmentKey =
    "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
static constexpr const char *UserEnvironmentKey = "Environment";
// The one user of a Wine prefix has this security identifier.
static constexpr const char *WineUserSid = "S-1-5-21-0-0-0-1000";

std::optional<std::string> WineEnvironment::get(std::string_view name) const {
  for (const auto &[key, value] : m_variables)
    if (equalIgnoringAsciiCase(key, name)) return value;
  return std::nullopt;
}

void WineEnvironment::set(std::string_view name, std::string value) {
  for (auto &[key, existing] : m_variables) {
    if (!equalIgnoringAsciiCase(key, name)) continue;
    existing = std::move(value);
    return;
  }
  m_variables.emplace_back(std::string(name), std::move(value));
}

std::string WineEnvironment::expand(std::string_view text) const {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t open = text.find('%', pos);
    if (open == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) {
      pos = open;
      break;
    }
    std::string_view name = text.substr(open + 1, close - open - 1);
    auto value = name.empty() ? std::nullopt : get(name);
    if (value) {
      out += *value;
      pos = close + 1;
    } else {
      // An unset name stays; its closing "%" may open the next name.
      out.append(text.substr(open, close - open));
      pos = close;
    }
  }
  out.append(text.substr(pos));
  return out;
}

static std::string lastComponent(std::string_view path) {
  auto slash = path.find_last_of('\\');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

static std::string profileImagePath(RegistryApi &registry, const WineEnvironment &env) {
  if (auto own = readRegistryText(registry, HKEY_LOCAL_MACHINE,
                                  std::string(ProfileListKey) + "\\" + WineUserSid, "ProfileImagePath"))
    return env.expand(own->text);
  for (const auto &sid : detail::readSubKeyNames(registry, HKEY_LOCAL_MACHINE, ProfileListKey)) {
    if (sid.rfind("S-1-5-21-", 0) != 0) continue;
    if (auto path = readRegistryText(registry, HKEY_LOCAL_MACHINE,
                                     std::string(ProfileListKey) + "\\" + sid, "ProfileImagePath"))
      return env.expand(path->text);
  }
  return {};
}

// Plain strings first, then expandable ones expanded with everything set so far, as Wine
// loads each environment key. The user's PATH is added to the system's.
static void addRegistryVariables(WineEnvironment &env, RegistryApi &registry, RegKey root,
                                 std::string_view path) {
  const auto values = detail::readRegistryTexts(registry, root, path);
  for (int pass = 0; pass < 2; ++pass) {
    const bool expandable = pass == 1;
    for (const auto &[name, value] : values) {
      if (value.expandable != expandable) continue;
      std::string text = expandable ? env.expand(value.text) : value.text;
      if (root == HKEY_CURRENT_USER && equalIgnoringAsciiCase(name, "PATH")) {
        if (auto system = env.get("PATH"); system && !system->empty()) text = system->append(";").append(text);
      }
      env.set(name, std::move(text));
    }
  }
}

WineEnvironment WineEnvironment::fromRegistry(RegistryApi &registry, std::string_view hostUserName) {
  WineEnvironment env;
  env.set("SystemDrive", "C:");
  env.set("SystemRoot", "C:\\windows");
  env.set("windir", "C:\\windows");

  auto profileSetting = [&](const char *name, const char *fallback) {
    auto value = readRegistryText(registry, HKEY_LOCAL_MACHINE, ProfileListKey, name);
    return value && !value->text.empty() ? env.expand(value->text) : std::string(fallback);
  };
  const std::string programData = profileSetting("ProgramData", "C:\\ProgramData");
  env.set("ALLUSERSPROFILE", programData);
  env.set("ProgramData", programData);
  env.set("PUBLIC", profileSetting("Public", "C:\\users\\Public"));

  std::string profile = profileImagePath(registry, env);
  std::string userName = profile.empty() ? std::string(hostUserName) : lastComponent(profile);
  if (profile.empty()) profile = profileSetting("ProfilesDirectory", "C:\\users") + "\\" + userName;
  env.set("USERNAME", userName);
  env.set("USERPROFILE", profile);
  env.set("APPDATA", profile + "\\AppData\\Roaming");
  env.set("LOCALAPPDATA", profile + "\\AppData\\Local");
  if (profile.size() >= 2 && profile[1] == ':') {
    env.set("HOMEDRIVE", profile.substr(0, 2));
    env.set("HOMEPATH", profile.size() > 2 ? profile.substr(2) : "\\");
  }

  auto folderSetting = [&](const char *name, const char *fallback) {
    auto value = readRegistryText(registry, HKEY_LOCAL_MACHINE, CurrentVersionKey, name);
    return value && !value->text.empty() ? env.expand(value->text) : std::string(fallback);
  };
  // A 64-bit prefix records the 32-bit programs' folders too, as Wine hands them over: the
  // x86 and W6432 variables, and ProgramFiles and CommonProgramFiles of the program's own half.
  const bool view32 = registry.hasTwoViews() && currentView() == ViewKind::Bits32;
  auto setFolders = [&](const char *name, const char *setting, const char *fallback, const char *x86Name,
                        const char *w6432Name) {
    const std::string native = folderSetting(setting, fallback);
    const std::string x86 = folderSetting((std::string(setting) + " (x86)").c_str(), "");
    if (x86.empty()) {
      env.set(name, native);
      return;
    }
    env.set(x86Name, x86);
    env.set(w6432Name, native);
    env.set(name, view32 ? x86 : native);
  };
  setFolders("ProgramFiles", "ProgramFilesDir", "C:\\Program Files", "ProgramFiles(x86)", "ProgramW6432");
  setFolders("CommonProgramFiles", "CommonFilesDir", "C:\\Program Files\\Common Files", "CommonProgramFiles(x86)",
             "CommonProgramW6432");

  addRegistryVariables(env, registry, HKEY_LOCAL_MACHINE, SystemEnvironmentKey);
  addRegistryVariables(env, registry, HKEY_CURRENT_USER, UserEnvironmentKey);
  return env;
}

} // namespace tw::platform
