#include "registry/ViewedKeys.h"

#include "platform/Machine.h"
#include "platform/RegistryApi.h"
#include "platform/TextCompare.h"

#include <algorithm>

#include <vector>

namespace tw {

static std::vector<std::string_view> namesOf(std::string_view path) {
  std::vector<std::string_view> names;
  while (!path.empty()) {
    std::size_t cut = path.find('\\');
    if (cut != 0) names.push_back(path.substr(0, cut));
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return names;
}


static std::string joinNames(const std::vector<std::string_view> &names) {
  std::string joined;
  for (std::string_view name : names) {
    if (!joined.empty()) joined += '\\';
    joined.append(name);
  }
  return joined;
}

std::string spellStoredPath(std::string_view storedPath, std::string_view viewPath) {
  const std::vector<std::string_view> stored = namesOf(storedPath);
  const std::vector<std::string_view> view = namesOf(viewPath);
  std::string spelled;
  std::size_t v = 0;
  for (std::string_view name : stored) {
    std::string_view use = name;
    if (v < view.size() && platform::equalIgnoringAsciiCase(name, view[v])) use = view[v++];
    else if (!platform::equalIgnoringAsciiCase(name, "Wow6432Node")) return joinNames(stored);
    if (!spelled.empty()) spelled += '\\';
    spelled.append(use);
  }
  if (v != view.size()) return joinNames(stored);
  return spelled;
}

std::vector<platform::ViewKind> machineViews() {
  std::vector<platform::ViewKind> views{platform::ViewKind::Bits64};
  if (platform::machine().registry().hasTwoViews()) views.push_back(platform::ViewKind::Bits32);
  return views;
}

static std::string_view withoutLeadingBackslash(std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  return path;
}

std::optional<StoredKey> ViewedKeys::claim(const TRegistry &registry, std::string_view viewPath) {
  const bool view32 = platform::currentView() == platform::ViewKind::Bits32;
  const std::optional<StoredKey> stored = registry.storedKey();
  if (!stored && view32) return std::nullopt;
  if (stored) {
    std::string claimed = std::to_string(stored->root) + ":" + stored->path;
    std::transform(claimed.begin(), claimed.end(), claimed.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    if (std::find(m_claimed.begin(), m_claimed.end(), claimed) != m_claimed.end()) return std::nullopt;
    m_claimed.push_back(std::move(claimed));
  }
  // The 64-bit view's keys keep the spelling they always had, which ignore lists name.
  if (!view32) return StoredKey{registry.CurrentRoot(), std::string(withoutLeadingBackslash(viewPath))};
  if (stored->root != registry.CurrentRoot()) return stored;
  return StoredKey{stored->root, spellStoredPath(stored->path, viewPath)};
}

} // namespace tw
