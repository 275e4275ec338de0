#pragma once
// Private to the scanners: the registry object of one walk, the joining of key texts, and the
// walking of each registry view.

#include "platform/RegistryView.h"
#include "registry/RegistryAccess.h"
#include "registry/ViewedKeys.h"
#include "scan/ScanContext.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::scan::detail {

/// The registry object of one walk. It opens keys for reading: the scan never changes the
/// registry, and asking for full access made every key of a registry that may only be read (a
/// prefix whose wineserver runs, a user without the right to change HKEY_LOCAL_MACHINE) fail to
/// open, so that the scan found nothing and reported a clean registry.
class WalkRegistry : public TRegistry {
public:
  explicit WalkRegistry(RootKey root) : TRegistry(platform::access::KeyRead) { CurrentRoot(root); }
  /// The current root's full name, which begins every key text the walk reports.
  std::string rootName() const { return RootKeyToFullName(CurrentRoot()); }
};

/// `path` + "\" + `name`.
inline std::string joinKey(std::string_view path, std::string_view name) {
  std::string text;
  text.reserve(path.size() + 1 + name.size());
  text.append(path).append(1, '\\').append(name);
  return text;
}

/// How one view's walk of a scanner ended.
enum class WalkEnd {
  Completed,   ///< it ran to its end (or to a stop request where its group still writes the count)
  NotWalked,   ///< its key did not open (or was walked in another view already)
  EndsScanner, ///< a stop request or an entry that did not open ends the whole scanner, count not written
};

/// The keys a scanner's walks have covered, so that a key both views share is walked once.
class ViewWalks {
public:
  /// The key text of the key `registry` has open, which a walk opened by the absolute `path`:
  /// in the 64-bit view the root name and `path`; in the 32-bit view the key where it is
  /// stored (HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\...). Nothing when a walk of this
  /// scanner covered the same stored key already (a key both views share), or when the
  /// registry cannot tell where a key of the 32-bit view is stored.
  std::optional<std::string> claim(const WalkRegistry &registry, std::string_view path) {
    const std::optional<StoredKey> stored = m_keys.claim(registry, path);
    if (!stored) return std::nullopt;
    std::string text = RootKeyToFullName(stored->root);
    if (!stored->path.empty()) text.append(1, '\\').append(stored->path);
    return text;
  }

private:
  ViewedKeys m_keys;
};

/// Runs `walk(ViewWalks &, std::int32_t &counter)` in each view the scan covers (the 64-bit
/// one, then the 32-bit one of a machine with two, with that view's registry objects and file
/// tests), all with one counter, and writes the group's count when a walk completed and none
/// ended the scanner. A stop request keeps a further view from starting.
template <typename Walk>
void walkEachView(ScanContext &context, ScanGroupIndex group, Walk &&walk) {
  ViewWalks walks;
  std::int32_t counter = 0;
  bool completed = false;
  bool first = true;
  for (platform::ViewKind view : context.views()) {
    if (!first && context.stopRequested()) break;
    first = false;
    platform::ViewScope scope(view);
    const WalkEnd end = walk(walks, counter);
    if (end == WalkEnd::EndsScanner) return;
    completed = completed || end == WalkEnd::Completed;
  }
  if (completed) context.writeCount(group, counter);
}

} // namespace tw::scan::detail
