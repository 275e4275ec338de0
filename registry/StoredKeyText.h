#pragma once
// Naming the key where an entry is stored. A scanner or listing page that reads the 32-bit
// programs' registry view opens its keys by the paths it always uses ("\SOFTWARE\Microsoft\..."),
// but its rows must name where the entries are stored ("\SOFTWARE\Wow6432Node\Microsoft\..."),
// so that fixing, the undo store, the ignore list and the pages' own actions, which know
// nothing of views, work on them unchanged.

#include "registry/RegistryAccess.h"

#include <string>
#include <string_view>

namespace tw {

/// The stored path `storedPath` spelled as `viewPath` (the path that opened the key, with or
/// without its leading backslash) wherever the two name the same keys, with the Wow6432Node
/// names only the stored path has; `storedPath` as it is where they differ otherwise (the key
/// lies behind a link). No leading backslash.
std::string spellStoredPath(std::string_view storedPath, std::string_view viewPath);

/// The key text of the key `registry` has open, which it opened by the absolute path `viewPath`
/// below its current root: the full root name and the stored path (spelled as spellStoredPath
/// spells it), joined by a backslash. The root name and `viewPath` when the registry cannot
/// tell where the key is stored.
std::string storedKeyText(const TRegistry &registry, std::string_view viewPath);

} // namespace tw
