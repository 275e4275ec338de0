#include "registry/StoredKeyText.h"

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

static bool sameAsciiName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
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
    if (v < view.size() && sameAsciiName(name, view[v])) use = view[v++];
    else if (!sameAsciiName(name, "Wow6432Node")) return joinNames(stored);
    if (!spelled.empty()) spelled += '\\';
    spelled.append(use);
  }
  if (v != view.size()) return joinNames(stored);
  return spelled;
}

std::string storedKeyText(const TRegistry &registry, std::string_view viewPath) {
  const std::optional<StoredKey> stored = registry.storedKey();
  if (!stored) return RootKeyToFullName(registry.CurrentRoot()) + std::string(viewPath);
  // A key stored under another root (through a link) is named where it is.
  std::string path = stored->root == registry.CurrentRoot() ? spellStoredPath(stored->path, viewPath) : stored->path;
  std::string text = RootKeyToFullName(stored->root);
  if (!path.empty()) text.append(1, '\\').append(path);
  return text;
}

} // namespace tw
