#include "scan/ScannerSupport.h"

#include "registry/StoredKeyText.h"

#include <algorithm>

namespace tw::scan::detail {

std::optional<std::string> ViewWalks::claim(const WalkRegistry &registry, std::string_view path) {
  const bool view32 = platform::currentView() == platform::ViewKind::Bits32;
  const std::optional<StoredKey> stored = registry.storedKey();
  if (!stored) {
    if (view32) return std::nullopt;
    return registry.rootName() + std::string(path);
  }
  std::string walked = std::to_string(stored->root) + ":" + stored->path;
  std::transform(walked.begin(), walked.end(), walked.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
  if (std::find(m_walked.begin(), m_walked.end(), walked) != m_walked.end()) return std::nullopt;
  m_walked.push_back(std::move(walked));
  // The 64-bit view's rows keep the texts they always had, which ignore lists name.
  if (!view32) return registry.rootName() + std::string(path);
  return storedKeyText(registry, path);
}

} // namespace tw::scan::detail
