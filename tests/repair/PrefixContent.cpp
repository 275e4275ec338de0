#include "PrefixContent.h"

#include "platform/RegistryApi.h"
#include "platform/WineRegistry.h"

#include <filesystem>

namespace tw::test {

namespace api = platform;

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char &c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

std::string canonicalKeyPath(std::string_view keyPath) {
  std::string path = lowerCase(keyPath);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  constexpr std::string_view ClassesRoot = "hkey_classes_root";
  if (path.starts_with(ClassesRoot) &&
      (path.size() == ClassesRoot.size() || path[ClassesRoot.size()] == '\\'))
    path = "hkey_local_machine\\software\\classes" + path.substr(ClassesRoot.size());
  return path;
}

// Links can make a cycle; no key of a generated prefix lies deeper than this.
static constexpr int MaxDepth = 64;

// Wine's CurrentControlSet is a link to ControlSet001: reading both would list every entry twice.
static bool isWineLink(std::string_view canonicalPath) {
  return canonicalPath == "hkey_local_machine\\system\\currentcontrolset";
}

static const char *rootName(api::RegKey root) {
  switch (root) {
  case api::HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
  case api::HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
  case api::HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
  case api::HKEY_USERS: return "HKEY_USERS";
  case api::HKEY_CURRENT_CONFIG: return "HKEY_CURRENT_CONFIG";
  default: return nullptr;
  }
}

// Where the key is stored, as canonicalKeyPath spells it; empty when the registry cannot tell.
static std::string storedPathOf(api::RegistryApi &registry, api::RegKey key) {
  api::RegKey root = 0;
  std::string subKey;
  if (registry.storedKeyPath(key, root, subKey) != api::error::Success || !rootName(root)) return {};
  return canonicalKeyPath(std::string(rootName(root)) + "\\" + subKey);
}

static void readKey(api::RegistryApi &registry, api::RegKey key, const std::string &path,
                    int depth, RegistryContent &content) {
  if (isWineLink(canonicalKeyPath(path))) return;
  RegistryContent::Key &entry = content.keys[canonicalKeyPath(path)];
  entry.path = path;
  entry.storedPath = storedPathOf(registry, key);
  api::RegValue value;
  api::RegValue stored;
  for (std::uint32_t i = 0; registry.enumValue(key, i, value) == api::error::Success; ++i) {
    // The text form alone would hide a change of the stored form (an odd byte, say).
    if (registry.enumValue(key, i, stored, api::DataForm::Raw) != api::error::Success) stored.data.clear();
    const std::string name = lowerCase(value.name);
    entry.values[name] = {value.type, value.data, stored.data};
    entry.valueNames[name] = value.name;
  }
  if (depth >= MaxDepth) return;
  std::string name;
  for (std::uint32_t i = 0; registry.enumKey(key, i, name) == api::error::Success; ++i) {
    api::RegKey child = 0;
    if (registry.openKey(key, name, api::access::KeyRead, child) != api::error::Success) continue;
    readKey(registry, child, path + "\\" + name, depth + 1, content);
    registry.closeKey(child);
  }
}

std::optional<RegistryContent> readPrefixRegistry(const std::string &prefixDir, std::string &problem) {
  api::RegistryLoadResult loaded;
  api::WineRegistryOptions options;
  options.readOnly = true;
  options.ignoreRunningServer = true;
  auto registry = api::openWineRegistry(prefixDir, loaded, options);
  if (!registry) {
    problem = loaded.description();
    return std::nullopt;
  }
  RegistryContent content;
  readKey(*registry, api::HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", 0, content);
  readKey(*registry, api::HKEY_CURRENT_USER, "HKEY_CURRENT_USER", 0, content);
  return content;
}

static std::string describe(const RegistryContent::Value &value) {
  std::string text = "type " + std::to_string(value.type) + ", " + std::to_string(value.stored.size()) + " bytes";
  if (api::isStringType(value.type))
    text += " \"" + std::string(value.data.begin(), value.data.end()) + "\"";
  return text;
}

std::vector<std::string> differences(const RegistryContent &expected, const RegistryContent &actual,
                                     std::size_t limit) {
  std::vector<std::string> lines;
  auto add = [&](std::string line) {
    if (lines.size() < limit) lines.push_back(std::move(line));
  };
  for (const auto &[path, key] : expected.keys) {
    auto found = actual.keys.find(path);
    if (found == actual.keys.end()) {
      add("missing key " + key.path);
      continue;
    }
    for (const auto &[name, value] : key.values) {
      auto other = found->second.values.find(name);
      if (other == found->second.values.end())
        add("missing value " + key.path + " \\ " + key.valueNames.at(name));
      else if (!(other->second == value))
        add("changed value " + key.path + " \\ " + key.valueNames.at(name) + ": expected " +
            describe(value) + ", found " + describe(other->second));
    }
    for (const auto &[name, value] : found->second.values)
      if (!key.values.contains(name)) add("extra value " + key.path + " \\ " + name);
  }
  for (const auto &[path, key] : actual.keys)
    if (!expected.keys.contains(path)) add("extra key " + key.path);
  return lines;
}

std::string scratchFolder() {
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
  return std::filesystem::temp_directory_path().string();
}

} // namespace tw::test
