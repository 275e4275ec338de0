#pragma once
// Naming the key where an entry is stored. A scanner or listing page that reads the 32-bit
// programs' registry view opens its keys by the paths it always uses ("\SOFTWARE\Microsoft\..."),
// but its rows must name where the entries are stored ("\SOFTWARE\Wow6432Node\Microsoft\..."),
// so that fixing, the undo store, the ignore list and the pages' own actions, which know
// nothing of views, work on them unchanged.

#include "platform/RegistryView.h"
#include "registry/RegistryAccess.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

/// The stored path `storedPath` spelled as `viewPath` (the path that opened the key, with or
/// without its leading backslash) wherever the two name the same keys, with the Wow6432Node
/// names only the stored path has; `storedPath` as it is where they differ otherwise (the key
/// lies behind a link). No leading backslash.
std::string spellStoredPath(std::string_view storedPath, std::string_view viewPath);

/// The registry views a walk over the whole machine covers: the 64-bit view, then on a machine
/// with two (a 64-bit prefix or Windows) the 32-bit one. Each is entered with a
/// platform::ViewScope, so that the walk's registry objects and file tests see that half.
std::vector<platform::ViewKind> machineViews();

/// The keys the walks of one scanner or page have covered in the views, so that a key both
/// views share (a link, a key Windows does not redirect) is walked once.
class ViewedKeys {
public:
  /// Where the key `registry` has open (which it opened by `viewPath`, with or without a
  /// leading backslash, below its current root) is stored: in the 64-bit view the current root
  /// and `viewPath` as given (without its leading backslash); in the 32-bit view the stored key
  /// spelled as spellStoredPath spells it. Nothing when a key stored at the same place was
  /// claimed before, or when the registry cannot tell where a key of the 32-bit view is.
  std::optional<StoredKey> claim(const TRegistry &registry, std::string_view viewPath);

private:
  std::vector<std::string> m_claimed; // "<root handle>:<stored path in upper case>"
};

} // namespace tw
